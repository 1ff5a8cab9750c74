// libFuzzer target: the input is a dBASE table held in memory; the reader
// parses it and, when it accepts it, reads every value of every record. Any
// crash, sanitizer report or hang is a finding.
#include "platform/rtl/DbfReader.h"

#include <cstdint>
#include <cstdlib>

using namespace zorbel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const TDbfReader table(QByteArray(reinterpret_cast<const char *>(Data), qsizetype(Size)));
    if (!table.Ok())
        return table.Error().isEmpty() ? (std::abort(), 0) : 0;
    for (int r = 0; r < table.RecordCount(); ++r) {
        (void)table.Deleted(r);
        for (int f = 0; f < int(table.Fields().size()); ++f) {
            const Variant v = table.Value(r, f);
            if (!v.IsNull())
                (void)v.AsString();
        }
    }
    return 0;
}
