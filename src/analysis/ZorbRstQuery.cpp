// Period stepping and query building of the results window.
//
// Every query of the window is a fixed head (lines 0.. of RstQueryHead), the
// condition lines built here, and a tail. Ids of boxes are the program's own
// integers and go into the text; the comment pattern and the numbers typed in
// the conditions dialog are bound as parameters (:cmt, :n_dt, ...), so quotes
// and wildcards typed by the user never change the statement.
#include "analysis/ZorbRstQuery.h"

#include "analysis/ZorbAnalysisTables.h"
#include "platform/dataset/DataSet.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/StrUtils.h"
#include "platform/sqltable/Query.h"
#include "platform/sqltable/Sqlite.h"

#include <map>

namespace zorbel {

// ---- period ---------------------------------------------------------------

namespace {

TDateTime FirstOfMonth(TDateTime D)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(D, y, m, d);
    return EncodeDate(y, m, 1);
}

} // namespace

void RstApplyPeriod(TRstPeriod &P, int Step, TDateTime EntryDate, TDateTime Today)
{
    const int sign = Step == -1 ? -1 : 1;
    const bool stepping = Step == -1 || Step == 0;
    int y = 0, m = 0, d = 0;
    switch (P.Kind) {
    case rpWhole:
        P.FromDate = P.FirstDate;
        P.ToDate = P.LastDate;
        break;
    case rpYear:
        if (stepping)
            P.FromDate = IncMonth(P.FromDate, 12 * sign);
        DecodeDate(P.FromDate, y, m, d);
        P.FromDate = EncodeDate(y, 1, 1);
        P.ToDate = EncodeDate(y, 12, 31);
        break;
    case rpQuarter:
        if (stepping)
            P.FromDate = IncMonth(P.FromDate, 3 * sign);
        P.FromDate = FirstOfMonth(P.FromDate);
        P.ToDate = FirstOfMonth(IncMonth(P.FromDate, 3)) - 1;
        break;
    case rpMonth:
        if (stepping)
            P.FromDate = IncMonth(P.FromDate, sign);
        P.FromDate = FirstOfMonth(P.FromDate);
        P.ToDate = FirstOfMonth(IncMonth(P.FromDate, 1)) - 1;
        break;
    case rpWeek:
        if (stepping)
            P.FromDate += 7 * sign;
        P.ToDate = P.FromDate + 6;
        break;
    case rpDay:
        if (EntryDate > P.FromDate && EntryDate < P.ToDate)
            P.FromDate = EntryDate;
        else if (stepping)
            P.FromDate += sign;
        P.ToDate = P.FromDate;
        break;
    default:
        break;
    }
    if (P.FromDate == 0 || P.ToDate == 0) {
        P.FromDate = Today;
        P.ToDate = Today;
    }
}

void RstSetPeriodKind(TRstPeriod &P, int Kind, TDateTime EntryDate, TDateTime Today)
{
    if (Kind != P.Kind)
        P.Kind = Kind;
    else if (Kind > rpWhole && P.FromDate == P.FirstDate)
        P.FromDate = Today;
    RstApplyPeriod(P, 1, EntryDate, Today);
}

// ---- conditions -----------------------------------------------------------

QString WrapIncludeExclude(const QString &Line, const TRstBox &Box)
{
    return Box.Exclude ? QStringLiteral("and not(") + Line + QLatin1Char(')') : QStringLiteral("and ") + Line;
}

QString NumericCondition(const QString &Text, const QString &Name, int Compare, const QString &ParamName,
                         std::vector<std::pair<QString, Variant>> &Params)
{
    double v = 0;
    if (!TryStrToCurr(Text, v))
        return QString();
    const QString p = QLatin1Char(':') + ParamName;
    QString line;
    switch (Compare) {
    case rcEqual:
        line = v == 0 ? QStringLiteral(" and (%1=%2 or %1 is null)").arg(Name, p)
                      : QStringLiteral(" and %1=%2").arg(Name, p);
        break;
    case rcGreater:
        line = QStringLiteral(" and %1>%2").arg(Name, p);
        break;
    case rcLess:
        line = QStringLiteral(" and %1<%2").arg(Name, p);
        break;
    case rcNotEqual:
        // Not equal to 0 means a value that is set and not 0.
        line = v == 0 ? QStringLiteral(" and (%1<>%2 and not %1 is null)").arg(Name, p)
                      : QStringLiteral(" and (%1<>%2 or %1 is null)").arg(Name, p);
        break;
    default:
        return QString();
    }
    Params.emplace_back(ParamName, Variant(v));
    return line;
}

namespace {

constexpr int kCompareCount = 4;
const char *const kCompareText[kCompareCount] = {"=", ">", "<", "#"};

struct TNumberRowInfo {
    const char *Field; // column of tb_hist
    const char *Param; // bound parameter
    const char *Label; // the dialog row's label
};
// Numeric rows of the conditions dialog, in the order of TRstNumberRow.
constexpr TNumberRowInfo kNumberRows[rnCount] = {
    {"Dt", "n_dt", "Приход"},          {"Ct", "n_ct", "Расход"},        {"Price", "n_price", "Цена"},
    {"Rate", "n_rate", "Курс"},        {"QDt", "n_qdt", "Кол-во прих."}, {"QCt", "n_qct", "Кол-во расх."},
};

QString CompareText(int Compare)
{
    return Compare >= 0 && Compare < kCompareCount ? QString::fromLatin1(kCompareText[Compare]) : QString();
}

void BoxLine(QStringList &Lines, const TRstBox &Box, const char *Column)
{
    if (!Box.Ticked)
        return;
    const QString col = QString::fromLatin1(Column);
    const QString line = Box.Caption.isEmpty() ? col + QStringLiteral(" is null")
                                               : col + QLatin1Char('=') + QString::number(Box.Tag);
    Lines << WrapIncludeExclude(line, Box);
}

void CommentLines(const TRstConditions &C, TRstSql &S)
{
    if (C.Comment.isEmpty())
        return;
    const QString lower = AnsiLowerCase(C.Comment);
    QString p = lower;
    QString e;
    if (p.contains(QLatin1Char('%')) || p.contains(QLatin1Char('_'))) {
        // The escape character itself is doubled first, so a typed "^" stays literal.
        p.replace(QLatin1Char('^'), QStringLiteral("^^"));
        p.replace(QLatin1Char('%'), QStringLiteral("^%"));
        p.replace(QLatin1Char('_'), QStringLiteral("^_"));
        e = QStringLiteral("  escape '^'");
    }
    p = QLatin1Char('%') + p + QLatin1Char('%');
    switch (C.CommentCompare) {
    case rcGreater:
        S.Lines << QStringLiteral(" and lower(Comment) > :cmt");
        S.Params.emplace_back(QStringLiteral("cmt"), Variant(lower));
        break;
    case rcLess:
        S.Lines << QStringLiteral(" and lower(Comment) < :cmt");
        S.Params.emplace_back(QStringLiteral("cmt"), Variant(lower));
        break;
    case rcNotEqual:
        S.Lines << QStringLiteral(" and (lower(Comment) not like :cmt") + e + QStringLiteral(" or Comment is null)");
        S.Params.emplace_back(QStringLiteral("cmt"), Variant(p));
        break;
    default:
        S.Lines << QStringLiteral(" and lower(Comment) like :cmt") + e;
        S.Params.emplace_back(QStringLiteral("cmt"), Variant(p));
        break;
    }
    S.ExtendCaption = QStringLiteral("Примеч.") + CompareText(C.CommentCompare) + C.Comment;
    S.ExtraCount = 1;
}

} // namespace

TRstSql BuildRstSql(const TRstConditions &C)
{
    TRstSql S;
    // Grouping column and name lookup.
    switch (C.Distribution) {
    case TRstDistribution::Items:
        if (!C.Itm1.Ticked) {
            S.GroupColumn = QStringLiteral("level1");
        } else if (!C.Itm2.Ticked) {
            if (C.Itm1.Tag == -1 && C.Acc.Ticked) {
                S.GroupColumn = QStringLiteral("ref_account");
                S.Lookup = TRstLookup::Accounts;
                S.CorrAccounts = true;
            } else {
                S.GroupColumn = QStringLiteral("level2");
            }
        } else {
            // Two levels fix the third as the group; all three fix one item,
            // which the deepest level shows as its single row.
            S.GroupColumn = QStringLiteral("level3");
        }
        break;
    case TRstDistribution::Accounts:
        S.GroupColumn = QStringLiteral("id_account");
        S.Lookup = TRstLookup::Accounts;
        break;
    case TRstDistribution::Persons:
        S.GroupColumn = QStringLiteral("id_person");
        S.Lookup = TRstLookup::Persons;
        break;
    case TRstDistribution::Firms:
        S.GroupColumn = QStringLiteral("id_firm");
        S.Lookup = TRstLookup::Firms;
        break;
    }

    // Account or group of accounts.
    if (C.Acc.Ticked) {
        if (C.AccGroup) {
            if (!C.GroupAccounts.empty()) {
                S.Lines << (C.Acc.Exclude ? QStringLiteral("and not(") : QStringLiteral(" and ("));
                for (size_t i = 0; i < C.GroupAccounts.size(); ++i) {
                    S.AccCaption += QLatin1Char('*');
                    S.Lines << QStringLiteral("id_account=%1").arg(C.GroupAccounts[i]);
                    if (i + 1 < C.GroupAccounts.size())
                        S.Lines << QStringLiteral("or");
                }
                S.Lines << QStringLiteral(")");
            }
        } else {
            S.Lines << WrapIncludeExclude(QStringLiteral("id_account=%1").arg(C.Acc.Tag), C.Acc);
        }
    }
    BoxLine(S.Lines, C.Itm1, "level1");
    BoxLine(S.Lines, C.Itm2, "level2");
    BoxLine(S.Lines, C.Itm3, "level3");
    BoxLine(S.Lines, C.Pers, "id_person");
    BoxLine(S.Lines, C.Firm, "id_firm");

    // Extra conditions of the dialog.
    CommentLines(C, S);
    for (int i = 0; i < rnCount; ++i) {
        const TRstNumber &n = C.Numbers[size_t(i)];
        const QString line = NumericCondition(n.Text, QString::fromLatin1(kNumberRows[i].Field), n.Compare,
                                              QString::fromLatin1(kNumberRows[i].Param), S.Params);
        if (line.isEmpty())
            continue;
        S.Lines << line;
        ++S.ExtraCount;
        if (S.ExtendCaption.isEmpty())
            S.ExtendCaption = QString::fromUtf8(kNumberRows[i].Label) + CompareText(n.Compare) + n.Text;
    }
    if (!S.ExtendCaption.isEmpty())
        S.ExtendHint = QStringLiteral("Всего условий ") + QString::number(S.ExtraCount);
    else
        S.ExtendCaption = QStringLiteral("Дополнительно...");
    if (S.ExtraCount > 1)
        S.ExtendCaption += QStringLiteral("  ...");

    if (C.Kind == 0)
        S.Lines << QStringLiteral(" and kind='1'");
    else if (C.Kind == 1)
        S.Lines << QStringLiteral(" and kind='2'");
    if (C.Mark)
        S.Lines << (C.MarkTag == 1 ? QStringLiteral(" and (B is null)") : QStringLiteral(" and (not B is null)"));
    if (C.Trans)
        S.Lines << QStringLiteral(" and level1<>-1 ");
    return S;
}

namespace {

// The terms of the day, month and year queries' sums and averages, in their order.
QString TermColumns()
{
    return QStringLiteral("dt,ct,price*10,dt/rate,ct/rate,10*price/rate,rate*10,qdt,qct");
}

} // namespace

QStringList RstQueryHead(TRstQueryKind Kind)
{
    switch (Kind) {
    case TRstQueryKind::Res:
        return {QStringLiteral("Select "), QStringLiteral("level1"), QStringLiteral("id,"),
                QStringLiteral("sum(dt) sdt,sum(ct) sct,"), QStringLiteral("sum(dt/rate) sdr,sum(ct/rate) scr,"),
                QStringLiteral("sum(qdt) sdq,sum(qct) scq"), QStringLiteral("from tb_hist "),
                QStringLiteral("where (date_real between :d1 and :d2) ")};
    case TRstQueryKind::Hs:
        return {QStringLiteral("Select DATE_REAL,dt,ct,level1,level2,level3,"),
                QStringLiteral("price,id_person,id_firm,comment,rate,qdt,qct,id_account,ref_account,kind,"
                               "date_create,dt/rate rdt,ct/rate rct,b"),
                QStringLiteral("from tb_hist "), QStringLiteral("where (date_real between :d1 and :d2) ")};
    case TRstQueryKind::Sm:
        return {QStringLiteral("select count(*) cnt,"),
                QStringLiteral("sum(dt) sdt,avg(dt) adt,min(dt) mdt,max(dt) xdt,"),
                QStringLiteral("sum(ct) sct,avg(ct) act,min(ct) mct,max(ct) xct,"),
                QStringLiteral("sum(qdt) sqdt,avg(qdt) aqdt,min(qdt) mqdt,max(qdt) xqdt,"),
                QStringLiteral("sum(qct) sqct,avg(qct) aqct,min(qct) mqct,max(qct) xqct,"),
                QStringLiteral("sum(dt/rate) sdtr,avg(dt/rate) adtr,min(dt/rate) mdtr,max(dt/rate) xdtr,"),
                QStringLiteral("sum(ct/rate) sctr,avg(ct/rate) actr,min(ct/rate) mctr,max(ct/rate) xctr"),
                QStringLiteral("from tb_hist"), QStringLiteral("where (date_real between :d1 and :d2) ")};
    case TRstQueryKind::BegSum:
        return {QStringLiteral("Select Sum(dt),Sum(ct),sum(dt/rate),sum(ct/rate),sum(qdt),sum(qct) from tb_hist"),
                QStringLiteral("where date_real between :d1 and :d2")};
    case TRstQueryKind::Day:
        return {QStringLiteral("Select date_real,sum(dt) dt,sum(ct) ct,avg(price*10)/10 price,sum(dt/rate) dty,"
                               "sum(ct/rate) cty,"),
                QStringLiteral("avg(10*price/rate)/10 pricey,avg(rate*10)/10 rate,sum(qdt) qdt,sum(qct) qct"),
                QStringLiteral("from tb_hist "), QStringLiteral("where (date_real between :d1 and :d2) ")};
    case TRstQueryKind::Mn:
        return {QStringLiteral("Select yr,mn,sum(dt) dt,sum(ct) ct,avg(price*10)/10 price,sum(dt/rate) dty,"
                               "sum(ct/rate) cty, "),
                QStringLiteral("avg(10*price/rate)/10 pricey,avg(rate*10)/10 rate,sum(qdt) qdt,sum(qct) qct"),
                QStringLiteral("from tb_hist "),
                QStringLiteral("where (date_real between :d1 and :d2) and (not mn is null)")};
    case TRstQueryKind::Yr:
        return {QStringLiteral("Select yr,sum(dt) dt,sum(ct) ct,avg(price*10)/10 price,sum(dt/rate) dty,"
                               "sum(ct/rate) cty, "),
                QStringLiteral("avg(10*price/rate)/10 pricey,avg(rate*10)/10 rate,sum(qdt) qdt,sum(qct) qct"),
                QStringLiteral("from tb_hist "),
                QStringLiteral("where (date_real between :d1 and :d2) and (not yr is null)")};
    case TRstQueryKind::DayTerms:
        return {QStringLiteral("Select date_real,") + TermColumns(), QStringLiteral("from tb_hist "),
                QStringLiteral("where (date_real between :d1 and :d2) ")};
    case TRstQueryKind::MnTerms:
        return {QStringLiteral("Select yr,mn,") + TermColumns(), QStringLiteral("from tb_hist "),
                QStringLiteral("where (date_real between :d1 and :d2) and (not mn is null)")};
    case TRstQueryKind::ResTerms:
        return {QStringLiteral("Select "), QStringLiteral("level1"), QStringLiteral(",dt,ct,dt/rate,ct/rate,qdt,qct"),
                QStringLiteral("from tb_hist "), QStringLiteral("where (date_real between :d1 and :d2) ")};
    case TRstQueryKind::YrTerms:
        return {QStringLiteral("Select yr,") + TermColumns(), QStringLiteral("from tb_hist "),
                QStringLiteral("where (date_real between :d1 and :d2) and (not yr is null)")};
    }
    return {};
}

void ApplyRstConditions(TQuery &Q, TRstQueryKind Kind, const TRstSql &Sql, TDateTime D1, TDateTime D2,
                        const QString &HsOrder)
{
    Q.Close();
    QStringList text = RstQueryHead(Kind);
    if (Kind == TRstQueryKind::Res || Kind == TRstQueryKind::ResTerms)
        text[1] = Sql.GroupColumn;
    text << Sql.Lines;
    switch (Kind) {
    case TRstQueryKind::Res:
        text << QStringLiteral("group by ") + Sql.GroupColumn;
        break;
    case TRstQueryKind::Hs:
        text << (HsOrder.isEmpty() ? QStringLiteral("order by date_real") : HsOrder);
        break;
    case TRstQueryKind::Day:
        text << QStringLiteral("group by date_real");
        break;
    case TRstQueryKind::Mn:
        text << QStringLiteral("group by yr,mn");
        break;
    case TRstQueryKind::Yr:
        text << QStringLiteral("group by yr");
        break;
    default:
        break;
    }
    Q.SQL() = text;
    Q.ParamByName(QStringLiteral("d1"))->SetAsDate(D1);
    Q.ParamByName(QStringLiteral("d2"))->SetAsDate(D2);
    for (const auto &[name, value] : Sql.Params) {
        TParam *p = Q.ParamByName(name);
        if (value.VarType() == varString)
            p->SetAsString(value.AsString());
        else
            p->SetAsFloat(value.AsDouble());
    }
}

// ---- grouped totals -------------------------------------------------------

TRstTotals ReadRstTotals(TDataSet &Qres)
{
    static const char *const sums[] = {"sdt", "sct", "sdr", "scr", "sdq", "scq"};
    TField *id = Qres.FieldByName(QStringLiteral("id"));
    std::array<TField *, 6> in{};
    for (size_t i = 0; i < 6; ++i)
        in[i] = Qres.FieldByName(QString::fromLatin1(sums[i]));
    TRstTotals rows;
    for (Qres.First(); !Qres.Eof(); Qres.Next()) {
        TRstTotalRow r;
        if (!id->IsNull())
            r.Id = id->AsInteger();
        for (size_t i = 0; i < 6; ++i)
            if (!in[i]->IsNull())
                r.Sums[i] = in[i]->AsFloat();
        rows.push_back(r);
    }
    return rows;
}

std::optional<TRstTotals> FoldRstTotals(TDatabase &Db, const TRstSql &Sql, TDateTime D1, TDateTime D2)
{
    TQuery q;
    q.SetDatabase(&Db);
    ApplyRstConditions(q, TRstQueryKind::ResTerms, Sql, D1, D2);
    std::map<std::optional<int64_t>, std::array<TEngineSum, 6>> groups;
    // The grouped query's id is a small integer: a group beyond its range is
    // left to the query.
    const auto keyOf = [](const TSqliteStatement &St, std::optional<int64_t> &Key) {
        return WholeKey(St, 0, Key) && !(Key && (*Key < -32768 || *Key > 32767));
    };
    if (!FoldTerms(q, 1, keyOf, groups))
        return std::nullopt;
    TRstTotals rows;
    rows.reserve(groups.size());
    for (const auto &[key, g] : groups) {
        TRstTotalRow r;
        if (key)
            r.Id = int(*key);
        for (size_t i = 0; i < 6; ++i) {
            if (g[i].Overflow)
                return std::nullopt; // the engine's sum fails: the query reports it
            r.Sums[i] = g[i].Sum();
        }
        rows.push_back(r);
    }
    return rows;
}

} // namespace zorbel
