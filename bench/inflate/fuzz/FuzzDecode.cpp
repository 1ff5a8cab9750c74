// libFuzzer target over the archive's input paths: raw inflate, the legacy
// decoders (shrink, reduce, implode) and the header reader (end record,
// central directory, local-header scan) of TZipReader on a stream in
// memory. The first byte picks the path. Build and run with fuzz.sh.
#include "archive/ZipDecode.h"
#include "archive/ZipReader.h"
#include "platform/rtl/Streams.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace zorbel;
    if (size < 3)
        return 0;
    const uint8_t mode = data[0] % 3;
    std::vector<uint8_t> out;
    switch (mode) {
    case 0: // raw deflate, with an output limit
        DecodeBuffer(8, 0, data + 1, size - 1, 1 << 22, out);
        break;
    case 1: { // methods 1 to 6 with their flag bits
        const int method = 1 + data[1] % 6;
        const uint16_t flags = data[2];
        DecodeBuffer(method, flags, data + 3, size - 3, 1 << 20, out);
        break;
    }
    default: { // the directory of an archive in memory
        TZipReader reader;
        auto *stream = new TMemoryStream; // the reader frees its source stream
        stream->Write(data + 1, static_cast<int64_t>(size - 1));
        stream->SetPosition(0);
        reader.SetSourceStream(stream);
        reader.SetIncompleteZipMode(data[1] & 1 ? TIncompleteZipMode::izAssumeBad : TIncompleteZipMode::izAssumeMulti);
        try {
            reader.ReadDirectory();
            for (int i = 0; i < reader.Count(); ++i) {
                (void)reader.GetFilename(i);
                (void)reader.GetFileComment(i);
            }
            (void)reader.GetZipComment();
        } catch (const Exception &) {
        }
        break;
    }
    }
    return 0;
}
