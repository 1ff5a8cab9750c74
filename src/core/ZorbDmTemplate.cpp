// The template data set: the archive the build embeds, unpacked through the
// zip reader. Kept apart from the module's other units because the archive's
// headers and the window layer's headers both name the dialog results.
#include "archive/ZipReader.h"
#include "core/ZorbDm.h"
#include "platform/rtl/Streams.h"
#include "template/ZorbDat.h"

#include <memory>

namespace zorbel {

int TDm::ExtractTemplate(TZipReader &Zip)
{
    const QByteArray bytes = ZorbDatArchive();
    if (bytes.isEmpty())
        return 0;
    auto stream = std::make_unique<TMemoryStream>();
    stream->Write(bytes.constData(), bytes.size());
    stream->Seek(0, 0);
    Zip.SetSourceStream(stream.release()); // the component frees it on closing
    int count = 0;
    try {
        count = Zip.ExtractFiles();
    } catch (const Exception &) {
        count = 0;
    }
    Zip.CloseArchive();
    return count;
}

} // namespace zorbel
