#include "core/ZorbSearch.h"

#include "core/ZorbText.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"
#include "platform/rtl/StrUtils.h"
#include "platform/sqltable/Query.h"

namespace zorbel {

const QStringList &HistFindFieldNames()
{
    static const QStringList names = {U("Примеч."), U("Дата"),  U("Статья"), U("Приход"), U("Расход"),
                                      U("Цена"),    U("Курс"),  U("Кто"),    U("Где")};
    return names;
}

bool IsHistNumberField(int field) { return field >= hfDt && field <= hfRate; }
bool HistFieldHasComparison(int field) { return field == hfDate || IsHistNumberField(field); }
bool HistFieldHasButton(int field) { return field == hfDate || field == hfItem || field == hfPerson || field == hfFirm; }

bool HistFindHasValue(int field, const THistFindValues &values)
{
    return HistFieldHasButton(field) || !values.Text.isEmpty();
}

QString LikePattern(const QString &text, bool *escaped)
{
    QString pattern;
    bool any = false;
    for (QChar c : AnsiLowerCase(text)) {
        if (c == QLatin1Char('^') || c == QLatin1Char('%') || c == QLatin1Char('_')) {
            pattern += QLatin1Char('^');
            any = true;
        }
        pattern += c;
    }
    if (escaped)
        *escaped = any;
    return QLatin1Char('%') + pattern + QLatin1Char('%');
}

void PrepareHistFind(TQuery &find, int field, const THistFindValues &values)
{
    static const char *const numberColumns[] = {"dt", "ct", "price", "rate"};
    QString op = values.Op.isEmpty() ? QStringLiteral("=") : values.Op.left(1);
    if (op != QLatin1String("=") && op != QLatin1String(">") && op != QLatin1String("<"))
        op = QStringLiteral("=");
    QString condition;
    QString paramLine = QStringLiteral(":p");
    find.Close();
    QStringList &sql = find.SQL();
    while (sql.size() < 4)
        sql << QString();
    auto setLines = [&] {
        sql[2] = condition;
        sql[3] = paramLine;
    };
    // The notes search folds and matches the note of every row in the
    // account's period: one pass over the table beats a key search that
    // fetches each row from elsewhere, so there the key columns are kept off
    // the index ("+"); the other searches match few rows through the key.
    const QString keyed = QStringLiteral("where id_account=:id and (date_real");
    const QString scanned = QStringLiteral("where +id_account=:id and (+date_real");
    if (field == hfNote)
        sql[1].replace(keyed, scanned);
    else
        sql[1].replace(scanned, keyed);
    switch (field) {
    case hfNote: {
        bool escaped = false;
        QString pattern = LikePattern(values.Text, &escaped);
        condition = QStringLiteral("lower(comment) like ");
        if (escaped)
            paramLine = QStringLiteral(":p  escape '^'");
        setLines();
        find.ParamByName(QStringLiteral("p"))->SetAsString(pattern);
        break;
    }
    case hfDate:
        condition = QStringLiteral("date_real") + op;
        setLines();
        find.ParamByName(QStringLiteral("p"))->SetAsDateTime(values.Date);
        break;
    case hfItem:
        condition = values.Level == 3 ? QStringLiteral("level3=")
                    : values.Level == 2 ? QStringLiteral("level2=") : QStringLiteral("level1=");
        setLines();
        find.ParamByName(QStringLiteral("p"))->SetAsSmallInt(values.Item);
        break;
    case hfPerson:
    case hfFirm:
        condition = field == hfPerson ? QStringLiteral("id_Person=") : QStringLiteral("id_Firm=");
        setLines();
        find.ParamByName(QStringLiteral("p"))->SetAsSmallInt(field == hfPerson ? values.Person : values.Firm);
        break;
    default: {
        const double value = StrToFloat(values.Text); // raises on a text that is no number
        condition = QString::fromLatin1(numberColumns[field - hfDt]) + op;
        setLines();
        find.ParamByName(QStringLiteral("p"))->SetAsFloat(value);
        break;
    }
    }
}

int NextMatchingNode(const QStringList &texts, int selected, const QString &text)
{
    if (selected < 0 || selected >= texts.size() || text.isEmpty())
        return -1;
    const QString needle = AnsiLowerCase(text);
    auto matches = [&](int i) { return AnsiLowerCase(texts[i]).contains(needle); };
    for (int i = selected + 1; i < texts.size(); ++i)
        if (matches(i))
            return i;
    for (int i = 0; i <= selected; ++i)
        if (matches(i))
            return i;
    return -1;
}

int FirstNodeByName(const QStringList &texts, const QString &typed)
{
    if (typed.isEmpty())
        return -1;
    const QString needle = AnsiLowerCase(typed);
    for (int i = 0; i < texts.size(); ++i)
        if (AnsiLowerCase(texts[i]).startsWith(needle))
            return i;
    for (int i = 0; i < texts.size(); ++i)
        if (AnsiLowerCase(texts[i]).contains(needle))
            return i;
    return -1;
}

TNumberKey NumberFieldKey(QChar key, const QString &text, int selStart, int selLength, QChar decimal)
{
    const bool selection = selLength > 0;
    if (key == u'>' || key == u'<' || key == u'=')
        return TNumberKey::Comparison;
    if (key == u'-') {
        if (text.contains(u'-'))
            return selection ? TNumberKey::ClearThenType : TNumberKey::Drop;
        return selection || selStart == 0 ? TNumberKey::Type : TNumberKey::Drop;
    }
    if (key == decimal) {
        if (text.contains(decimal))
            return selection ? TNumberKey::ClearThenType : TNumberKey::Drop;
        return TNumberKey::Type;
    }
    if (key.unicode() < 32 || (key >= u'0' && key <= u'9'))
        return TNumberKey::Type;
    return TNumberKey::Drop;
}

QString TextNotFoundMessage(const QString &text)
{
    const QString quoted = text.isEmpty() ? QString() : QLatin1Char('"') + text + QLatin1Char('"');
    return U("Текст\n") + quoted + U("\nне найден.");
}

QString HitCounter(int row, int count) { return QStringLiteral("%1/%2").arg(row).arg(count); }

void BuildNotesQuery(TQuery &comm, const TNotesQuery &o)
{
    comm.Close();
    QStringList sql;
    sql << QStringLiteral("Select Comment, count(*) cnt from tb_hist where not comment is null")
        << QStringLiteral("and (date_real between :d1 and :d2)");
    if (o.OnlyCurrentAccount)
        sql << QStringLiteral("and id_account=%1").arg(o.Account);
    if (!o.WholeBase) {
        if (o.Level3 >= 1)
            sql << QStringLiteral("and level3=%1").arg(o.Level3);
        else if (o.Level2 >= 1)
            sql << QStringLiteral("and level2=%1").arg(o.Level2);
        else if (o.Level1 != 0)
            sql << QStringLiteral("and level1=%1").arg(o.Level1);
    }
    bool escaped = false;
    QString pattern;
    if (!o.Text.isEmpty()) {
        pattern = LikePattern(o.Text, &escaped);
        sql << QStringLiteral(" and lower(Comment) like :txt") + (escaped ? QStringLiteral(" escape '^'") : QString());
    }
    sql << QStringLiteral("group by Comment");
    comm.SQL() = sql;
    comm.ParamByName(QStringLiteral("d1"))->SetAsDate(o.Begin);
    comm.ParamByName(QStringLiteral("d2"))->SetAsDate(o.End);
    if (!o.Text.isEmpty())
        comm.ParamByName(QStringLiteral("txt"))->SetAsString(pattern);
}

// The names the list shows (the category levels, person, firm, the account
// and the other account of a transfer) come by left joins in the one query,
// read as each row is fetched; a missing name shows empty, as a lookup that
// finds nothing does. The account condition (line 2) is an integer the
// program formats; the period is bound.
QStringList MarksQueryText()
{
    return {QStringLiteral("Select h.*, i1.ITM Itm1, i2.ITM Itm2, i3.ITM Itm3, p.NAME Pers, f.FIRM Firm, "
                           "a.ACCOUNT Acnt, r.ACCOUNT Ac_Ref from tb_hist h "
                           "left join tb_items i1 on i1.ID_ITM=h.level1 left join tb_items i2 on i2.ID_ITM=h.level2 "
                           "left join tb_items i3 on i3.ID_ITM=h.level3 left join tb_person p on p.ID_PERSON=h.ID_Person "
                           "left join tb_firm f on f.ID_FIRM=h.ID_Firm left join tb_account a on a.ID_ACCOUNT=h.ID_Account "
                           "left join tb_account r on r.ID_ACCOUNT=h.Ref_Account"),
            QStringLiteral("where not h.B is null"), QString(),
            QStringLiteral("and (h.date_real between :d1 and :d2) "), QStringLiteral("order by h.date_real")};
}

void PrepareMarksQuery(TQuery &mark, bool allAccounts, int account, TDateTime begin, TDateTime end)
{
    mark.Close();
    QStringList &sql = mark.SQL();
    while (sql.size() < 5)
        sql << QString();
    sql[2] = allAccounts ? QString() : QStringLiteral("and h.id_account=%1").arg(account);
    mark.ParamByName(QStringLiteral("d1"))->SetAsDate(begin);
    mark.ParamByName(QStringLiteral("d2"))->SetAsDate(end);
}

TMarkTotals SumMarks(TDataSet &mark)
{
    TMarkTotals t;
    TField *dt = mark.FindField(QStringLiteral("Dt"));
    TField *ct = mark.FindField(QStringLiteral("Ct"));
    TField *qdt = mark.FindField(QStringLiteral("Qdt"));
    TField *qct = mark.FindField(QStringLiteral("Qct"));
    for (mark.First(); !mark.Eof(); mark.Next()) {
        ++t.Count;
        if (dt) t.Dt += MoneyToUnits(dt->AsFloat());
        if (ct) t.Ct += MoneyToUnits(ct->AsFloat());
        if (qdt) t.Qdt += MoneyToUnits(qdt->AsFloat());
        if (qct) t.Qct += MoneyToUnits(qct->AsFloat());
    }
    mark.First();
    return t;
}

QString FormatMarkSum(int64_t units)
{
    return FormatFloat(QStringLiteral("#,##0.00"), UnitsToMoney(units)).trimmed();
}

} // namespace zorbel
