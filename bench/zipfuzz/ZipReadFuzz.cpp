// libFuzzer target: the input is an archive held in memory; the reader lists
// it, fetches its comments and extracts everything into a scratch folder.
// Any crash, sanitizer report or hang is a finding; so is a file written
// outside the destination folder (checked after every input).
#include "archive/ZipDecode.h"
#include "archive/ZipReader.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>

using namespace zorbel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    static QTemporaryDir scratch;
    const QString out = scratch.path() + "/out";

    auto *memory = new TMemoryStream;
    memory->WriteBuffer(Data, int64_t(Size));
    {
        TZipReader zip;
        zip.SetSourceStream(memory);
        zip.SetDestDir(out);
        zip.SetDoAll(true);
        zip.SetOverwriteMode(TUZOverwriteMode::Always);
        zip.SetRecreateDirs(Size % 2 == 1);
        zip.SetIncompleteZipMode(Size % 3 == 0 ? TIncompleteZipMode::izAssumeMulti
                                               : TIncompleteZipMode::izAssumeBad);
        zip.SetDoProcessMessages(false);
        zip.SetPassword("pw");
        // Retry once with another password, then give up.
        zip.OnBadPassword = [](TZipReader *, int, QString &pw) {
            if (pw == "pw")
                pw = "other";
        };
        // Keep the scratch disk small: entries claiming more than 4 MiB are skipped.
        zip.OnStartUnZip = [&zip](TZipReader *, int Index, QString &, bool &Skip) {
            Skip = zip.Entry(Index).UncompressedSize > (4 << 20);
        };
        try {
            zip.ReadDirectory();
            for (int i = 0; i < zip.Count(); ++i) {
                zip.GetFileComment(i);
                zip.GetFilename(i);
                zip.GetDateTime(i);
            }
            zip.GetZipComment();
            zip.ExtractFiles();
        } catch (const Exception &) {
        }
    }
    const QStringList left = QDir(scratch.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (!(left.isEmpty() || left == QStringList{"out"}))
        std::abort(); // something was written outside the destination
    QDir(out).removeRecursively();
    return 0;
}
