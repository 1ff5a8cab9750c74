// Rates on the operations of one currency's accounts.
//
// A rates text file holds one date and rate a line, e.g.
//   Дата;Курс            header: begins with a word, skipped
//   15.01.2024;95,50     date, a separator, the rate
//   16.01.2024 USD 95.75 anything between date and rate is ignored
// The rate may use either decimal separator: "95.50" is 95,50, never 50.
#include "core/ZorbRates.h"

#include "platform/sqltable/Database.h"
#include "core/ZorbDm.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/DbfReader.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/sqltable/Sqlite.h"
#include "platform/system/SysFiles.h"
#include "platform/rtl/Money.h"
#include "platform/rtl/StrUtils.h"

#include <QStringDecoder>
#include <cstring>
#include <cmath>

namespace zorbel {
namespace {

// The accounts' identifiers as "1,4,7" for an "in (...)" list: integers the
// program formats itself, so the list is safe in the text; dates and rates
// are bound values.
QString IdList(const std::vector<int> &Ids)
{
    QStringList parts;
    for (int id : Ids)
        parts << QString::number(id);
    return parts.join(u',');
}

// A letter in the sense of the rates file: Latin letters and everything from
// U+00C0 up (the Russian letters of Windows-1251 and of UTF-8 alike).
bool IsLetter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c.unicode() >= 0xC0;
}

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Operations of the accounts Ids on Date.
int64_t CountDay(TDm &dm, const QString &ids, TDateTime Date)
{
    TSqliteStatement st(dm.Db.Db(),
                        QStringLiteral("select count(*) from tb_hist where id_account in (%1) and date_real=?1").arg(ids));
    st.BindInt(1, int64_t(std::trunc(Date)));
    return st.Step() ? st.ColumnInt(0) : 0;
}

int WriteDay(TDm &dm, const QString &ids, TDateTime Date, double Rate)
{
    TSqliteStatement st(dm.Db.Db(),
                        QStringLiteral("update tb_hist set rate=?1 where id_account in (%1) and date_real=?2").arg(ids));
    st.BindDouble(1, Rate);
    st.BindInt(2, int64_t(std::trunc(Date)));
    st.Step();
    return int(dm.Db.Db().Changes());
}

} // namespace

namespace {

// Reads a rates file within its bound; on failure Error names the file and why.
bool ReadRatesFile(const QString &FileName, QByteArray &Bytes, QString &Error)
{
    const TReadResult read = ReadWholeFile(FileName, ReadBound::RatesFile, Bytes);
    if (read.Ok())
        return true;
    Error = QString::fromUtf8("Не удалось прочитать файл ") + ShownName(FileName) + u'\r' + ReadFaultText(read);
    return false;
}

} // namespace

bool ReadRate(const QString &Text, double &Rate)
{
    QString t = Text.trimmed();
    const QChar sep = FormatSettings().DecimalSeparator;
    t.replace(u',', sep).replace(u'.', sep);
    double v = 0;
    if (t.isEmpty() || !TryStrToFloat(t, v) || !MoneyInRange(v) || !(v > 0))
        return false;
    Rate = v;
    return true;
}

std::vector<int> CurrencyAccounts(TDm &dm, const QString &Currency)
{
    // The currency is a bound value: a name with a quote in it finds its
    // accounts like any other.
    dm.Db.ReleaseStatements();
    TSqliteStatement st(dm.Db.Db(), QStringLiteral("select id_account from tb_account where currency=?1 order by 1"));
    st.BindText(1, Currency);
    std::vector<int> ids;
    while (st.Step())
        ids.push_back(int(st.ColumnInt(0)));
    return ids;
}

QString AccountCountText(int Count)
{
    return CountText(Count, U("счёт"), U("счёта"), U("счетов")) + u' ';
}

int SetDayRate(TDm &dm, const std::vector<int> &Ids, TDateTime Date, double Rate)
{
    if (Ids.empty())
        return 0;
    dm.Db.ReleaseStatements();
    return WriteDay(dm, IdList(Ids), Date, Rate);
}

bool ParseRateLine(const QString &Line, TDayRate &Day)
{
    const QString line = Line.trimmed();
    if (line.isEmpty())
        return false;
    const QChar dateSep = FormatSettings().DateSeparator;
    qsizetype i = 0;
    while (i < line.size() && (IsDigit(line[i]) || line[i] == dateSep))
        ++i;
    if (i == line.size() || IsLetter(line[i]))
        return false;
    const QString dateText = line.left(i).trimmed();
    const QString rest = line.mid(i + 1).trimmed();
    if (rest.isEmpty() || dateText.isEmpty())
        return false;
    // The rate is the run of digits and separators at the end of the line.
    qsizetype j = rest.size();
    while (j > 0 && (IsDigit(rest[j - 1]) || rest[j - 1] == u',' || rest[j - 1] == u'.'))
        --j;
    if (j > 0 && (IsLetter(rest[j - 1]) || rest[j - 1] == u'-'))
        return false; // a word, or a negative rate
    const QString number = rest.mid(j).trimmed();
    TDateTime date = 0;
    if (!TryStrToDate(dateText, date) || !(date > 0))
        return false;
    double rate = 0;
    if (!ReadRate(number, rate))
        return false;
    Day.Date = date;
    Day.Rate = rate;
    return true;
}

int ApplyRates(TDm &dm, const std::vector<int> &Ids, const std::vector<TDayRate> &Days)
{
    if (Ids.empty() || Days.empty())
        return 0;
    const QString ids = IdList(Ids);
    int changed = 0;
    try {
        TTransactionScope tr(dm.Db);
        for (const TDayRate &d : Days) {
            if (CountDay(dm, ids, d.Date) > 0) {
                WriteDay(dm, ids, d.Date, d.Rate);
                ++changed;
            }
        }
        tr.Commit();
    } catch (const Exception &) {
        return 0; // rolled back: nothing was changed
    }
    return changed;
}

int ImportRatesText(TDm &dm, const std::vector<int> &Ids, const QString &FileName, QString &Error)
{
    QByteArray bytes;
    if (!ReadRatesFile(FileName, bytes, Error))
        return 0;
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = Win1251ToUnicode(bytes);
    std::vector<TDayRate> days;
    for (const QString &line : text.split(u'\n')) {
        TDayRate d;
        if (ParseRateLine(line, d))
            days.push_back(d);
    }
    return ApplyRates(dm, Ids, days);
}

int ImportRatesDbf(TDm &dm, const std::vector<int> &Ids, const QString &FileName, QString &Error)
{
    QByteArray bytes;
    if (!ReadRatesFile(FileName, bytes, Error))
        return 0;
    const TDbfReader table(bytes);
    if (!table.Ok()) {
        Error = QString::fromUtf8("Файл повреждён или не является таблицей dBASE (%1):\r%2").arg(table.Error(), FileName);
        return 0;
    }
    const auto &fields = table.Fields();
    if (fields.size() < 2 || !std::strchr("DT", fields.front().Type) || !std::strchr("NFBY", fields.back().Type)) {
        Error = QString::fromUtf8("В таблице нужны дата в первом поле и курс в последнем:\r") + FileName;
        return 0;
    }
    std::vector<TDayRate> days;
    for (int i = 0; i < table.RecordCount(); ++i) {
        if (table.Deleted(i))
            continue;
        const Variant date = table.Value(i, 0);
        const Variant rate = table.Value(i, int(fields.size()) - 1);
        // A record without a date names no day (read as day 0 it would reach
        // operations dated 30.12.1899), and a blank rate or one not above 0
        // would make every у.е. figure of its day infinite or of the wrong
        // sign: such a record is skipped, as the same rate typed by hand or
        // read from a text file is refused.
        if (date.IsNull() || rate.IsNull() || !(date.AsDate() > 0) || !(rate.AsDouble() > 0))
            continue;
        days.push_back({std::trunc(date.AsDate()), rate.AsDouble()});
    }
    return ApplyRates(dm, Ids, days);
}

} // namespace zorbel
