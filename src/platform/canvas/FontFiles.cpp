// Font files through fontconfig, the system's font matching.
#include "platform/canvas/FontFiles.h"

#include "platform/system/SysFiles.h"

#include <fontconfig/fontconfig.h>

namespace zorbel {

QByteArray FontFileData(const QString &family, bool bold, bool italic)
{
    FcPattern *pattern = FcPatternCreate();
    if (!pattern)
        return {};
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(name.constData()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return {};
    QByteArray data;
    FcChar8 *file = nullptr;
    int index = 0;
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    // A collection (index above 0) is no single font program.
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file && index == 0)
        ReadWholeFile(QString::fromUtf8(reinterpret_cast<const char *>(file)), ReadBound::FontFile, data);
    FcPatternDestroy(match);
    return data;
}

bool IsTrueTypeOutlineFont(const QByteArray &data)
{
    if (data.size() < 12)
        return false;
    const auto tag = data.left(4);
    if (tag != QByteArray("\x00\x01\x00\x00", 4) && tag != "true")
        return false;
    // The glyph outlines live in the 'glyf' table.
    const int tables = (uchar(data[4]) << 8) | uchar(data[5]);
    for (int t = 0; t < tables && 12 + 16 * t + 4 <= data.size(); ++t)
        if (data.mid(12 + 16 * t, 4) == "glyf")
            return true;
    return false;
}

} // namespace zorbel
