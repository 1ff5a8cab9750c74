// Reading of delimited import files (see ZorbImpParse.h).
#include "analysis/ZorbImpParse.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/Money.h"
#include "platform/rtl/StrUtils.h"

#include <QStringDecoder>
#include <algorithm>

namespace zorbel {

const std::array<QString, icColumnCount> ImportFieldNames = {
    QStringLiteral("Дата"),     QStringLiteral("Статья1"),  QStringLiteral("Статья2"), QStringLiteral("Статья3"),
    QStringLiteral("Приход"),   QStringLiteral("Расход"),   QStringLiteral("Цена"),    QStringLiteral("Кол-во +"),
    QStringLiteral("Кол-во -"), QStringLiteral("Примеч."),  QStringLiteral("Кто"),     QStringLiteral("Где"),
    QStringLiteral("Курс"),     QStringLiteral("---"),
};

namespace {

QChar FirstChar(const QString &text) { return text.isEmpty() ? QChar() : text.at(0); }

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Reads one field starting at pos; pos ends on the separator after it (or
// the line's end). A field opening with a quote runs to its closing quote;
// text between that quote and the separator is kept as it stands.
QString ReadField(QStringView line, QChar sep, qsizetype &pos)
{
    const qsizetype n = line.size();
    if (pos < n && line[pos] == u'"') {
        QString field;
        qsizetype i = pos + 1;
        while (i < n) {
            if (line[i] == u'"') {
                if (i + 1 < n && line[i + 1] == u'"') {
                    field += u'"';
                    i += 2;
                    continue;
                }
                ++i; // the closing quote
                break;
            }
            field += line[i++];
        }
        const qsizetype end = sep.isNull() ? n : line.indexOf(sep, i);
        const qsizetype stop = end < 0 ? n : end;
        field += line.mid(i, stop - i);
        pos = stop;
        return field;
    }
    const qsizetype end = sep.isNull() ? n : line.indexOf(sep, pos);
    const qsizetype stop = end < 0 ? n : end;
    QString field = line.mid(pos, stop - pos).toString();
    pos = stop;
    return field;
}

} // namespace

TImportFormat TImportFormat::FromTexts(const QString &csv, const QString &num, const QString &date, int order,
                                       const QString &itm)
{
    TImportFormat f;
    f.FieldSep = FirstChar(csv);
    if (f.FieldSep == u't')
        f.FieldSep = u'\t';
    f.DecimalChar = FirstChar(num);
    f.DateSep = FirstChar(date);
    f.DateOrder = order >= idoDayMonthYear && order <= idoMonthDayYear ? order : idoDayMonthYear;
    f.ItemSep = FirstChar(itm);
    return f;
}

void SplitImportFields(QStringView line, QChar sep, std::vector<QString> &fields)
{
    fields.clear();
    qsizetype pos = 0;
    for (;;) {
        fields.push_back(ReadField(line, sep, pos));
        if (pos >= line.size())
            break;
        ++pos; // past the separator; a line ending in one has an empty last field
        if (pos == line.size()) {
            fields.emplace_back();
            break;
        }
    }
}

QString SplitImportField(int N, QStringView line, QChar sep)
{
    if (sep.isNull() || N < 1)
        return {};
    std::vector<QString> fields;
    SplitImportFields(line, sep, fields);
    return size_t(N) <= fields.size() ? fields[size_t(N - 1)] : QString();
}

TDateTime ParseImportDate(QStringView text, QChar sep, int order, bool *unreadable)
{
    const auto fail = [&](bool bad) {
        if (unreadable)
            *unreadable = bad;
        return TDateTime(0);
    };
    const QStringView t = text.trimmed();
    if (t.isEmpty())
        return fail(false);
    if (sep.isNull())
        return fail(true);
    const QList<QStringView> parts = t.split(sep);
    if (parts.size() != 3)
        return fail(true); // a missing or an extra part: never a guessed year
    int value[3];
    for (int i = 0; i < 3; ++i) {
        const QStringView p = parts[i].trimmed();
        if (p.isEmpty() || p.size() > 4)
            return fail(true);
        for (QChar c : p)
            if (!IsDigit(c))
                return fail(true);
        value[i] = p.toInt();
    }
    int day = value[0], month = value[1], year = value[2];
    if (order == idoYearMonthDay) {
        year = value[0];
        day = value[2];
    } else if (order == idoMonthDayYear) {
        month = value[0];
        day = value[1];
    }
    if (day < 1 || day > 31 || month < 1 || month > 12)
        return fail(true);
    if (year < 1000)
        year += 2000;
    TDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result) || result <= 0)
        return fail(true);
    if (unreadable)
        *unreadable = false;
    return result;
}

double ParseImportAmount(QStringView text, QChar decimalChar, bool *unreadable, bool *negative)
{
    if (unreadable)
        *unreadable = false;
    if (negative) {
        bool minus = false;
        *negative = false;
        for (QChar c : text) {
            if (IsDigit(c)) {
                *negative = minus;
                break;
            }
            minus = minus || c == u'-' || c == QChar(0x2212);
        }
    }
    if (text.isEmpty() || decimalChar.isNull())
        return 0;
    const auto bad = [&] {
        if (unreadable)
            *unreadable = true;
        return 0.0;
    };
    QString kept;
    kept.reserve(text.size());
    int decimals = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (IsDigit(c)) {
            kept += c;
        } else if (c == decimalChar) {
            kept += u'.';
            ++decimals;
        } else if ((c == u'.' || c == u',') && i > 0 && IsDigit(text[i - 1]) && i + 1 < n && IsDigit(text[i + 1])) {
            // Between digits a point or comma other than the decimal
            // character can only separate thousands: three digits follow.
            qsizetype digits = 0;
            while (i + 1 + digits < n && IsDigit(text[i + 1 + digits]))
                ++digits;
            if (digits != 3 || decimals > 0)
                return bad();
        }
    }
    if (decimals > 1)
        return bad();
    bool ok = false;
    const double value = kept.toDouble(&ok);
    if (!ok)
        return 0;
    if (!MoneyInRange(value))
        return bad();
    return value;
}

void SplitItemPath(std::array<QString, 3> &names, QChar sep)
{
    if (sep.isNull())
        return;
    int given = 0, which = 0;
    for (int k = 0; k < 3; ++k)
        if (!names[size_t(k)].isEmpty()) {
            ++given;
            which = k;
        }
    if (given != 1)
        return;
    QStringView copy(names[size_t(which)]);
    if (copy.startsWith(sep))
        copy = copy.mid(1);
    const qsizetype first = copy.indexOf(sep);
    if (first < 0)
        return;
    const QStringView rest = copy.mid(first + 1);
    const qsizetype second = rest.indexOf(sep);
    // Each piece is trimmed: a path written "Еда : Хлеб" names the categories
    // "Еда" and "Хлеб"; untrimmed, the blanks would miss them and the import
    // would create look-alike categories with blanks in their names.
    std::array<QString, 3> split;
    split[0] = copy.left(first).trimmed().toString();
    split[1] = (second < 0 ? rest : rest.left(second)).trimmed().toString();
    split[2] = second < 0 ? QString() : rest.mid(second + 1).trimmed().toString();
    names = split;
}

QStringList ImportListNames(const QString &impList)
{
    QStringList names;
    if (!impList.isEmpty()) {
        for (const QString &piece : impList.split(u';')) {
            bool ok = false;
            const int index = piece.toInt(&ok);
            if (ok && index >= 0 && index < icColumnCount)
                names.append(ImportFieldNames[size_t(index)]);
        }
    }
    for (int i = 0; i < icSkip; ++i)
        if (!names.contains(ImportFieldNames[size_t(i)]))
            names.append(ImportFieldNames[size_t(i)]);
    return names;
}

QString ImportListText(const QStringList &names)
{
    QStringList pieces;
    for (const QString &name : names) {
        for (int i = 0; i < icColumnCount; ++i)
            if (ImportFieldNames[size_t(i)] == name) {
                pieces.append(QString::number(i));
                break;
            }
    }
    return pieces.join(u';');
}

int FindColumnPosition(const QStringList &names, const QString &name) { return int(names.indexOf(name)); }

void ParseImportDelims(const QString &text, TImportDelims &delims)
{
    if (text.isEmpty())
        return; // nothing remembered yet: the defaults stand
    const QStringList pieces = text.split(QChar(1));
    delims.Num = pieces[0];
    if (pieces.size() > 1)
        delims.Date = pieces[1];
    if (pieces.size() > 2) {
        bool ok = false;
        const int order = pieces[2].toInt(&ok);
        if (ok && order >= idoDayMonthYear && order <= idoMonthDayYear)
            delims.DateOrder = order;
        else if (!ok)
            delims.DateOrder = 0;
    }
    if (pieces.size() == 4 && !pieces[3].isEmpty())
        delims.Itm = pieces[3];
}

QString ImportDelimsText(const TImportDelims &delims)
{
    const QChar sep(1);
    return delims.Num + sep + delims.Date + sep + QString::number(delims.DateOrder) + sep + delims.Itm;
}

namespace {

// A character that no line of a delimited text holds: the control
// characters but TAB, the Unicode line and paragraph separators (which the
// memo would take for line breaks), and the replacement character that a
// decoder puts for a byte sequence it cannot read. (A surrogate without its
// pair is damage too; the caller sees pairs.)
bool IsDamage(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t') || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029 ||
           u == 0xFFFD;
}

// The text of the bytes and the encoding it was read in: UTF-16 or UTF-8 by
// their byte-order mark (dropped), UTF-8 when the bytes are valid UTF-8
// holding non-ASCII characters, Windows-1251 otherwise.
QString DecodeText(const QByteArray &bytes, TImportEncoding &encoding)
{
    const QByteArrayView view(bytes);
    const auto decode = [&](QStringDecoder::Encoding e, qsizetype skip) {
        QStringDecoder decoder(e, QStringDecoder::Flag::Stateless);
        return QString(decoder(view.sliced(skip)));
    };
    if (view.startsWith("\xFF\xFE")) {
        encoding = TImportEncoding::Utf16;
        return decode(QStringDecoder::Utf16LE, 2);
    }
    if (view.startsWith("\xFE\xFF")) {
        encoding = TImportEncoding::Utf16;
        return decode(QStringDecoder::Utf16BE, 2);
    }
    if (view.startsWith("\xEF\xBB\xBF")) {
        encoding = TImportEncoding::Utf8;
        return decode(QStringDecoder::Utf8, 3);
    }
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return QString::fromLatin1(bytes);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString utf8 = decoder(bytes);
    if (!decoder.hasError()) {
        encoding = TImportEncoding::Utf8;
        return utf8;
    }
    return Win1251ToUnicode(bytes);
}

} // namespace

TImportText DecodeImportFile(const QByteArray &bytes)
{
    TImportText result;
    if (bytes.size() > MaxImportFileBytes) {
        result.Error = QStringLiteral("Файл слишком велик для импорта (больше %1 МБ).")
                           .arg(MaxImportFileBytes / (1024 * 1024));
        return result;
    }
    const QString text = DecodeText(bytes, result.Encoding);
    int readable = 0, damagedLines = 0; // blank ones with control characters count as damaged
    qsizetype damageChars = 0, textChars = 0;
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (start < n) {
        qsizetype end = start;
        while (end < n && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        if (end - start > MaxImportLineLength) {
            result.Error = QStringLiteral("Строка %1 длиннее %2: это не похоже на таблицу для импорта.")
                               .arg(result.Lines.size() + 1)
                               .arg(CountText(MaxImportLineLength, U("знака"), U("знаков"), U("знаков")));
            result.Lines.clear();
            return result;
        }
        QString line = text.mid(start, end - start);
        // A damaged line is kept, each damaged character shown as the
        // replacement character, so that the preview marks it and the other
        // lines still import; a line of nothing but blanks and control
        // characters (padding, an end-of-file mark) is blank.
        bool damaged = false, blank = true;
        for (qsizetype i = 0; i < line.size(); ++i) {
            QChar &c = line[i];
            if (c.isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate()) {
                blank = false;
                textChars += 2;
                ++i;
                continue;
            }
            if (IsDamage(c) || c.isSurrogate()) {
                damaged = true;
                ++damageChars;
                c = QChar::ReplacementCharacter;
            } else if (c > u' ') {
                blank = false;
                ++textChars;
            }
        }
        if (damaged)
            ++damagedLines;
        else if (!blank)
            ++readable;
        if (blank)
            line.clear();
        else if (damaged)
            ++result.Damaged;
        result.Lines.append(line);
        if (end < n && text[end] == u'\r' && end + 1 < n && text[end + 1] == u'\n')
            ++end;
        start = end + 1;
    }
    // Not a text at all (a workbook, an archive, a picture): no fewer damaged
    // lines than readable ones, and a quarter of the characters damaged. A
    // block of zeros in a long file damages a line or two, and they are kept.
    if (damagedLines > 0 && damagedLines >= readable && damageChars * 4 >= damageChars + textChars) {
        result.Error = QStringLiteral("Файл не текстовый: в нём есть нулевые байты. Сохраните таблицу "
                                      "как текст с разделителями (CSV) и загрузите снова.");
        result.Lines.clear();
    }
    return result;
}

} // namespace zorbel
