// libFuzzer target: the input is a report file. The page list loads it,
// fetches every page (at most 64) and plays each onto a small image, and the
// texts are enumerated. A crash, sanitizer report or hang is a finding; a
// clean ERepFileError or EMetafileError is the expected answer to damage.
#include "report/RepStore.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

using namespace zorbel;

namespace {

QGuiApplication *App()
{
    static int argc = 1;
    static char name[] = "replfuzz";
    static char *argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
    return &app;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    App();
    static QTemporaryDir scratch;
    const QString path = scratch.filePath("input.rep");
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char *>(Data), qint64(Size));
    }
    TRepPageList list;
    try {
        list.LoadFromFile(path);
    } catch (const Exception &) {
        return 0;
    }
    QImage image(60, 80, QImage::Format_RGB32);
    for (int n = 1; n <= std::min(list.StoredPages(), 64); ++n) {
        try {
            std::unique_ptr<TMetafile> page = list.GetPage(n);
            if (!page)
                abort(); // a listed page must come back or fail cleanly
            QPainter painter(&image);
            PlayMetafile(painter, page->Data(), QRectF(image.rect()));
            EnumMetafileTexts(page->Data(), [](const TMetafileText &) {});
        } catch (const ERepFileError &) {
        } catch (const EMetafileError &) {
        }
    }
    return 0;
}
