// The results window's query building: the condition lines for the states of
// its boxes and dialog, and the rows the rebuilt queries return on a fixture
// ledger, checked against a plain C++ filter over the same rows. Also the
// period kinds and their stepping.
#include "analysis/ZorbRstQuery.h"
#include "platform/rtl/StrUtils.h"

#include "platform/rtl/FormatSettings.h"
#include "platform/sqltable/Database.h"
#include "platform/sqltable/Query.h"
#include "platform/dataset/Fields.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <optional>

namespace zorbel {
namespace {

using Opt = std::optional<int>;

// ---- condition lines ------------------------------------------------------

TEST(RstSql, FreshWindowGroupsByLevel1WithAccountAndKind)
{
    TRstConditions c;
    c.Acc = {true, false, 3, U("Кошелёк")};
    const TRstSql s = BuildRstSql(c);
    EXPECT_EQ(s.GroupColumn, QStringLiteral("level1"));
    EXPECT_EQ(s.Lines, QStringList({QStringLiteral("and id_account=3"), QStringLiteral(" and kind='1'")}));
    EXPECT_EQ(s.ExtendCaption, U("Дополнительно..."));
    EXPECT_TRUE(s.ExtendHint.isEmpty());
}

TEST(RstSql, AccountGroupGivesOneClausePerAccount)
{
    TRstConditions c;
    c.Acc = {true, false, 0, QStringLiteral("*****")};
    c.AccGroup = true;
    c.GroupAccounts = {1, 2, 3};
    c.Kind = 2;
    TRstSql s = BuildRstSql(c);
    EXPECT_EQ(s.Lines, QStringList({QStringLiteral(" and ("), QStringLiteral("id_account=1"), QStringLiteral("or"),
                                    QStringLiteral("id_account=2"), QStringLiteral("or"),
                                    QStringLiteral("id_account=3"), QStringLiteral(")")}));
    EXPECT_EQ(s.AccCaption, QStringLiteral("***"));
    c.Acc.Exclude = true;
    s = BuildRstSql(c);
    EXPECT_EQ(s.Lines.first(), QStringLiteral("and not("));
    // An empty group adds no line at all.
    c.GroupAccounts.clear();
    EXPECT_TRUE(BuildRstSql(c).Lines.isEmpty());
}

TEST(RstSql, GroupingColumnFollowsTickedLevels)
{
    TRstConditions c;
    c.Kind = 2;
    c.Itm1 = {true, false, 5, U("Еда")};
    EXPECT_EQ(BuildRstSql(c).GroupColumn, QStringLiteral("level2"));
    c.Itm2 = {true, true, 7, U("Хлеб")};
    EXPECT_EQ(BuildRstSql(c).GroupColumn, QStringLiteral("level3"));
    c.Itm3 = {true, false, 0, QString()};
    TRstSql s = BuildRstSql(c);
    // All three ticked: the deepest level, never a stale column.
    EXPECT_EQ(s.GroupColumn, QStringLiteral("level3"));
    EXPECT_EQ(s.Lines, QStringList({QStringLiteral("and level1=5"), QStringLiteral("and not(level2=7)"),
                                    QStringLiteral("and level3 is null")}));
    // The transfer category with an account groups by the other account.
    TRstConditions t;
    t.Itm1 = {true, false, -1, U("Перевод")};
    t.Acc = {true, false, 2, U("Банк")};
    s = BuildRstSql(t);
    EXPECT_EQ(s.GroupColumn, QStringLiteral("ref_account"));
    EXPECT_TRUE(s.CorrAccounts);
    EXPECT_EQ(s.Lookup, TRstLookup::Accounts);
    t.Acc.Ticked = false;
    EXPECT_EQ(BuildRstSql(t).GroupColumn, QStringLiteral("level2"));
    t.Distribution = TRstDistribution::Firms;
    EXPECT_EQ(BuildRstSql(t).GroupColumn, QStringLiteral("id_firm"));
}

TEST(RstSql, CommentIsBoundAndEscaped)
{
    TRstConditions c;
    c.Kind = 2;
    c.Comment = U("50%_Скидка^");
    TRstSql s = BuildRstSql(c);
    ASSERT_EQ(s.Lines.size(), 1);
    EXPECT_EQ(s.Lines[0], QStringLiteral(" and lower(Comment) like :cmt  escape '^'"));
    ASSERT_EQ(s.Params.size(), 1u);
    EXPECT_EQ(s.Params[0].second.AsString(), U("%50^%^_скидка^^%"));
    EXPECT_EQ(s.ExtendCaption, U("Примеч.=50%_Скидка^"));
    EXPECT_EQ(s.ExtendHint, U("Всего условий 1"));
    c.CommentCompare = rcNotEqual;
    c.Comment = U("O'Ко");
    s = BuildRstSql(c);
    EXPECT_EQ(s.Lines[0], QStringLiteral(" and (lower(Comment) not like :cmt or Comment is null)"));
    EXPECT_EQ(s.Params[0].second.AsString(), U("%o'ко%"));
    c.CommentCompare = rcGreater;
    s = BuildRstSql(c);
    EXPECT_EQ(s.Lines[0], QStringLiteral(" and lower(Comment) > :cmt"));
    EXPECT_EQ(s.Params[0].second.AsString(), U("o'ко"));
}

TEST(RstSql, NumericConditions)
{
    FormatSettings().DecimalSeparator = u',';
    std::vector<std::pair<QString, Variant>> p;
    EXPECT_EQ(NumericCondition(QStringLiteral("0"), QStringLiteral("Dt"), rcEqual, QStringLiteral("n"), p),
              QStringLiteral(" and (Dt=:n or Dt is null)"));
    EXPECT_EQ(NumericCondition(QStringLiteral("12,5"), QStringLiteral("Price"), rcNotEqual, QStringLiteral("n"), p),
              QStringLiteral(" and (Price<>:n or Price is null)"));
    EXPECT_EQ(NumericCondition(QStringLiteral("0"), QStringLiteral("Ct"), rcNotEqual, QStringLiteral("n"), p),
              QStringLiteral(" and (Ct<>:n and not Ct is null)"));
    EXPECT_EQ(NumericCondition(QStringLiteral("-3"), QStringLiteral("Rate"), rcLess, QStringLiteral("n"), p),
              QStringLiteral(" and Rate<:n"));
    ASSERT_EQ(p.size(), 4u);
    EXPECT_DOUBLE_EQ(p[1].second.AsDouble(), 12.5);
    // No valid number: no line and nothing bound.
    EXPECT_TRUE(NumericCondition(QStringLiteral("1.2.3"), QStringLiteral("Dt"), rcEqual, QStringLiteral("n"), p).isEmpty());
    EXPECT_TRUE(NumericCondition(QStringLiteral("1'; drop"), QStringLiteral("Dt"), rcEqual, QStringLiteral("n"), p).isEmpty());
    EXPECT_EQ(p.size(), 4u);

    TRstConditions c;
    c.Kind = 2;
    c.Numbers[rnCt] = {QStringLiteral("7"), rcGreater};
    c.Numbers[rnQct] = {QStringLiteral("x"), rcGreater};
    c.Numbers[rnRate] = {QStringLiteral("2"), rcEqual};
    const TRstSql s = BuildRstSql(c);
    EXPECT_EQ(s.Lines, QStringList({QStringLiteral(" and Ct>:n_ct"), QStringLiteral(" and Rate=:n_rate")}));
    EXPECT_EQ(s.ExtendCaption, U("Расход>7  ..."));
    EXPECT_EQ(s.ExtendHint, U("Всего условий 2"));
}

TEST(RstSql, QueriesKeepHeadAndTakeTail)
{
    TRstConditions c;
    c.Mark = true;
    c.MarkTag = 1;
    c.Trans = true;
    const TRstSql s = BuildRstSql(c);
    TQuery q;
    ApplyRstConditions(q, TRstQueryKind::Res, s, 1, 2);
    EXPECT_EQ(q.SQL().size(), 8 + 3 + 1);
    EXPECT_EQ(q.SQL()[1], QStringLiteral("level1"));
    EXPECT_EQ(q.SQL()[8], QStringLiteral(" and kind='1'"));
    EXPECT_EQ(q.SQL()[9], QStringLiteral(" and (B is null)"));
    EXPECT_EQ(q.SQL()[10], QStringLiteral(" and level1<>-1 "));
    EXPECT_EQ(q.SQL().last(), QStringLiteral("group by level1"));
    ApplyRstConditions(q, TRstQueryKind::Hs, s, 1, 2, QStringLiteral("order by dt"));
    EXPECT_EQ(q.SQL().size(), 4 + 3 + 1);
    EXPECT_EQ(q.SQL().last(), QStringLiteral("order by dt"));
    ApplyRstConditions(q, TRstQueryKind::BegSum, s, 0, 1);
    EXPECT_EQ(q.SQL().size(), 2 + 3);
    ApplyRstConditions(q, TRstQueryKind::Mn, s, 0, 1);
    EXPECT_EQ(q.SQL().last(), QStringLiteral("group by yr,mn"));
}

// ---- rows against an independent filter ------------------------------------

struct TRow {
    int Acc;
    TDateTime Date;
    char Kind;
    std::optional<double> Dt, Ct;
    Opt L1, L2, L3, Pers, Firm, Ref;
    std::optional<double> Price;
    std::optional<QString> Comment;
    double Rate;
    bool B;
};

class RstRows : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.SetDatabaseName(QStringLiteral("DbZorb"));
        db.SetParams({QStringLiteral("PATH=") + dir.path()});
        db.Open();
        Exec({QStringLiteral("create table tb_hist (id_account smallint, date_real date, date_create timestamp,"
                             " kind char(1), dt float, ct float, level1 smallint, level2 smallint, level3 smallint,"
                             " price float, id_person smallint, id_firm smallint, ref_account smallint,"
                             " comment varchar(200), qdt float, qct float, rate float, yr smallint, mn smallint,"
                             " b char(1))")});
        const QString comments[] = {U("Хлеб и МОЛОКО"), U("скидка 50% на всё"), U("a_b"), U("Кот's корм"),
                                    U("x^y"), U("ab"), U("Зарплата"), U("курс 5%^2")};
        uint32_t seed = 12345;
        auto next = [&](uint32_t n) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 8) % n;
        };
        const TDateTime start = EncodeDate(2024, 1, 1);
        for (int i = 0; i < 240; ++i) {
            TRow r;
            r.Acc = int(next(3)) + 1;
            r.Date = start + next(730);
            r.Kind = next(4) == 0 ? '2' : '1';
            const bool income = next(3) == 0;
            const double amount = double(next(20)) * 5; // zeros included
            r.Dt = income ? std::optional<double>(amount) : std::nullopt;
            r.Ct = income ? std::nullopt : std::optional<double>(amount);
            const uint32_t cat = next(5);
            if (cat == 0) {
                r.L1 = -1;
                r.Ref = int(next(3)) + 1;
            } else {
                r.L1 = cat <= 2 ? 1 : 2;
                const uint32_t l2 = next(3);
                r.L2 = l2 == 0 ? Opt() : Opt(9 + int(l2));
                if (r.L2) {
                    const uint32_t l3 = next(3);
                    r.L3 = l3 == 0 ? Opt() : Opt(99 + int(l3));
                }
            }
            r.Pers = next(3) == 0 ? Opt() : Opt(int(next(2)) + 1);
            r.Firm = next(3) == 0 ? Opt() : Opt(int(next(2)) + 1);
            r.Price = next(4) == 0 ? std::nullopt : std::optional<double>(double(next(3)) * 12.5);
            const uint32_t cm = next(10);
            r.Comment = cm >= 8 ? std::nullopt : std::optional<QString>(comments[cm]);
            r.Rate = 1 + next(2);
            r.B = next(5) == 0;
            rows.push_back(r);
            Insert(r);
        }
    }
    void Exec(const QStringList &sql)
    {
        TQuery q;
        q.SetDatabase(&db);
        q.SQL() = sql;
        q.ExecSQL();
    }
    void Insert(const TRow &r)
    {
        TQuery q;
        q.SetDatabase(&db);
        q.SQL() = {QStringLiteral("insert into tb_hist (id_account,date_real,kind,dt,ct,level1,level2,level3,price,"
                                  "id_person,id_firm,ref_account,comment,qdt,qct,rate,yr,mn,b) values (:a,:d,:k,:dt,"
                                  ":ct,:l1,:l2,:l3,:pr,:pe,:fi,:re,:cm,:qd,:qc,:ra,:yr,:mn,:b)")};
        auto num = [&](const char *name, std::optional<double> v) {
            TParam *p = q.ParamByName(QString::fromLatin1(name));
            p->SetDataType(ftFloat);
            if (v)
                p->SetAsFloat(*v);
            else
                p->Clear();
        };
        auto opt = [&](const char *name, Opt v) { num(name, v ? std::optional<double>(*v) : std::nullopt); };
        q.ParamByName(QStringLiteral("a"))->SetAsInteger(r.Acc);
        q.ParamByName(QStringLiteral("d"))->SetAsDate(r.Date);
        q.ParamByName(QStringLiteral("k"))->SetAsString(QString(QLatin1Char(r.Kind)));
        num("dt", r.Dt);
        num("ct", r.Ct);
        opt("l1", r.L1);
        opt("l2", r.L2);
        opt("l3", r.L3);
        num("pr", r.Price);
        opt("pe", r.Pers);
        opt("fi", r.Firm);
        opt("re", r.Ref);
        TParam *cm = q.ParamByName(QStringLiteral("cm"));
        cm->SetDataType(ftString);
        if (r.Comment)
            cm->SetAsString(*r.Comment);
        else
            cm->Clear();
        num("qd", r.Dt);
        num("qc", r.Ct);
        num("ra", r.Rate);
        int y = 0, m = 0, d = 0;
        DecodeDate(r.Date, y, m, d);
        q.ParamByName(QStringLiteral("yr"))->SetAsInteger(y);
        q.ParamByName(QStringLiteral("mn"))->SetAsInteger(m);
        TParam *b = q.ParamByName(QStringLiteral("b"));
        b->SetDataType(ftString);
        if (r.B)
            b->SetAsString(QStringLiteral("1"));
        else
            b->Clear();
        q.ExecSQL();
    }

    // SQL's three-valued "column = tag" of a box, include or exclude.
    static bool BoxMatch(const TRstBox &box, Opt v)
    {
        if (!box.Ticked)
            return true;
        if (box.Caption.isEmpty())
            return box.Exclude ? v.has_value() : !v.has_value();
        if (!v)
            return false;
        return box.Exclude ? *v != box.Tag : *v == box.Tag;
    }
    static bool NumMatch(const TRstNumber &n, std::optional<double> v)
    {
        bool ok = false;
        const double x = QString(n.Text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        if (!ok)
            return true; // no valid number, no condition
        switch (n.Compare) {
        case rcEqual:
            return x == 0 ? (!v || *v == 0) : (v && *v == x);
        case rcGreater:
            return v && *v > x;
        case rcLess:
            return v && *v < x;
        default:
            return x == 0 ? (v && *v != 0) : (!v || *v != x);
        }
    }
    static bool Match(const TRow &r, const TRstConditions &c, TDateTime d1, TDateTime d2)
    {
        if (r.Date < d1 || r.Date > d2)
            return false;
        if (c.Acc.Ticked) {
            if (c.AccGroup) {
                const bool in = std::find(c.GroupAccounts.begin(), c.GroupAccounts.end(), r.Acc) !=
                                c.GroupAccounts.end();
                if (!c.GroupAccounts.empty() && in == c.Acc.Exclude)
                    return false;
            } else if ((r.Acc == c.Acc.Tag) == c.Acc.Exclude) {
                return false;
            }
        }
        if (!BoxMatch(c.Itm1, r.L1) || !BoxMatch(c.Itm2, r.L2) || !BoxMatch(c.Itm3, r.L3) ||
            !BoxMatch(c.Pers, r.Pers) || !BoxMatch(c.Firm, r.Firm))
            return false;
        if (!c.Comment.isEmpty()) {
            const QString text = c.Comment.toLower();
            const bool has = r.Comment && r.Comment->toLower().contains(text);
            if (c.CommentCompare == rcEqual && !has)
                return false;
            if (c.CommentCompare == rcNotEqual && has)
                return false;
        }
        if (!NumMatch(c.Numbers[rnDt], r.Dt) || !NumMatch(c.Numbers[rnCt], r.Ct) ||
            !NumMatch(c.Numbers[rnPrice], r.Price))
            return false;
        if ((c.Kind == 0 && r.Kind != '1') || (c.Kind == 1 && r.Kind != '2'))
            return false;
        if (c.Mark && (c.MarkTag == 1 ? r.B : !r.B))
            return false;
        if (c.Trans && r.L1 == -1)
            return false;
        return true;
    }
    static Opt Key(const TRow &r, const QString &column)
    {
        if (column == QStringLiteral("level1"))
            return r.L1;
        if (column == QStringLiteral("level2"))
            return r.L2;
        if (column == QStringLiteral("level3"))
            return r.L3;
        if (column == QStringLiteral("ref_account"))
            return r.Ref;
        if (column == QStringLiteral("id_account"))
            return r.Acc;
        if (column == QStringLiteral("id_person"))
            return r.Pers;
        return r.Firm;
    }
    using TTotals = std::map<Opt, std::pair<double, double>>;

    // Runs the grouped query and the operations list for the state and
    // compares both with the filter.
    void Check(const TRstConditions &c, TDateTime d1, TDateTime d2, const std::string &what)
    {
        const TRstSql s = BuildRstSql(c);
        TTotals expected;
        int count = 0;
        for (const TRow &r : rows)
            if (Match(r, c, d1, d2)) {
                auto &t = expected[Key(r, s.GroupColumn)];
                t.first += r.Dt.value_or(0);
                t.second += r.Ct.value_or(0) / r.Rate;
                ++count;
            }
        TQuery q;
        q.SetDatabase(&db);
        ApplyRstConditions(q, TRstQueryKind::Res, s, d1, d2);
        q.Open();
        TTotals got;
        for (q.First(); !q.Eof(); q.Next()) {
            TField *id = q.FieldByName(QStringLiteral("id"));
            got[id->IsNull() ? Opt() : Opt(id->AsInteger())] = {q.FieldByName(QStringLiteral("sdt"))->AsFloat(),
                                                                 q.FieldByName(QStringLiteral("scr"))->AsFloat()};
        }
        ASSERT_EQ(got.size(), expected.size()) << what;
        for (const auto &[k, v] : expected) {
            ASSERT_TRUE(got.count(k)) << what;
            EXPECT_NEAR(got[k].first, v.first, 1e-6) << what;
            EXPECT_NEAR(got[k].second, v.second, 1e-6) << what;
        }
        TQuery h;
        h.SetDatabase(&db);
        ApplyRstConditions(h, TRstQueryKind::Hs, s, d1, d2);
        h.Open();
        int n = 0;
        TDateTime last = 0;
        for (h.First(); !h.Eof(); h.Next(), ++n) {
            const TDateTime d = h.FieldByName(QStringLiteral("date_real"))->AsFloat();
            EXPECT_GE(d, last) << what;
            last = d;
        }
        EXPECT_EQ(n, count) << what;
        matched += count;
        TQuery sm;
        sm.SetDatabase(&db);
        ApplyRstConditions(sm, TRstQueryKind::Sm, s, d1, d2);
        sm.Open();
        EXPECT_EQ(sm.FieldByName(QStringLiteral("cnt"))->AsInteger(), count) << what;
    }

    QTemporaryDir dir;
    TDatabase db;
    std::vector<TRow> rows;
    int matched = 0; // rows selected over all checked states
};

TEST_F(RstRows, BoxesDistributionsAndMarks)
{
    const TDateTime d1 = EncodeDate(2024, 3, 1), d2 = EncodeDate(2025, 8, 31);
    const TRstDistribution dists[] = {TRstDistribution::Items, TRstDistribution::Accounts,
                                      TRstDistribution::Persons, TRstDistribution::Firms};
    int states = 0;
    for (TRstDistribution dist : dists)
        for (int depth = 0; depth <= 3; ++depth)
            for (int acc = 0; acc < 3; ++acc)
                for (int ex = 0; ex < 4; ++ex)
                    for (int mark = 0; mark < 3; ++mark) {
                        TRstConditions c;
                        c.Distribution = dist;
                        c.Itm1 = {depth >= 1, false, depth == 1 && ex == 3 ? -1 : 1, U("Еда")};
                        c.Itm2 = {depth >= 2, ex == 2, 10, U("Хлеб")};
                        c.Itm3 = {depth >= 3, false, 0, QString()}; // "no third level"
                        c.Acc = {acc > 0, ex == 1, 2, U("Банк")};
                        c.AccGroup = acc == 2;
                        c.GroupAccounts = {1, 3};
                        c.Pers = {ex >= 2, ex == 3, 1, U("Иван")};
                        c.Firm = {ex == 1, false, 0, QString()};
                        c.Kind = mark % 3;
                        c.Mark = mark > 0;
                        c.MarkTag = mark == 1 ? 1 : 0;
                        c.Trans = ex == 0;
                        Check(c, d1, d2, "state " + std::to_string(states));
                        ++states;
                    }
    EXPECT_EQ(states, 4 * 4 * 3 * 4 * 3);
    EXPECT_GT(matched, 2000);
}

TEST_F(RstRows, CommentAndNumberConditions)
{
    FormatSettings().DecimalSeparator = u',';
    const TDateTime d1 = EncodeDate(2024, 1, 1), d2 = EncodeDate(2025, 12, 31);
    const char *comments[] = {"молоко", "50%", "a_b", "Кот's", "x^y", "^", "_", "%", "%^2", "КУРС"};
    for (const char *text : comments)
        for (int cmp : {rcEqual, rcNotEqual}) {
            TRstConditions c;
            c.Kind = 2;
            c.Comment = U(text);
            c.CommentCompare = cmp;
            Check(c, d1, d2, std::string("comment ") + text);
        }
    EXPECT_GT(matched, 300);
    const char *numbers[] = {"0", "25", "12,5", "abc"};
    for (const char *text : numbers)
        for (int cmp : {rcEqual, rcGreater, rcLess, rcNotEqual})
            for (int row : {rnDt, rnCt, rnPrice}) {
                TRstConditions c;
                c.Kind = 2;
                c.Numbers[size_t(row)] = {U(text), cmp};
                Check(c, d1, d2, std::string("number ") + text + " " + std::to_string(cmp));
            }
}

TEST_F(RstRows, OpeningSumsCoverEverythingBefore)
{
    TRstConditions c;
    c.Acc = {true, false, 1, U("Кошелёк")};
    const TRstSql s = BuildRstSql(c);
    const TDateTime from = EncodeDate(2025, 1, 1);
    double dt = 0;
    for (const TRow &r : rows)
        if (r.Date <= from - 1 && r.Acc == 1 && r.Kind == '1')
            dt += r.Dt.value_or(0);
    TQuery q;
    q.SetDatabase(&db);
    ApplyRstConditions(q, TRstQueryKind::BegSum, s, 0, from - 1);
    q.Open();
    EXPECT_NEAR(q.Fields()[0]->AsFloat(), dt, 1e-6);
    EXPECT_GT(dt, 0);
}

// ---- period ---------------------------------------------------------------

TRstPeriod Period(int kind, TDateTime from, TDateTime to = 0)
{
    TRstPeriod p;
    p.Kind = kind;
    p.FromDate = from;
    p.ToDate = to;
    return p;
}

TEST(RstPeriod, QuarterIsThreeMonthsFromTheStartMonth)
{
    TRstPeriod p = Period(rpQuarter, EncodeDate(2024, 11, 15));
    RstApplyPeriod(p, 0, 0, 1);
    EXPECT_EQ(p.FromDate, EncodeDate(2025, 2, 1));
    EXPECT_EQ(p.ToDate, EncodeDate(2025, 4, 30));
    RstApplyPeriod(p, -1, 0, 1);
    EXPECT_EQ(p.FromDate, EncodeDate(2024, 11, 1));
    EXPECT_EQ(p.ToDate, EncodeDate(2025, 1, 31));
}

TEST(RstPeriod, MonthYearWeekAndLeapDays)
{
    TRstPeriod p = Period(rpMonth, EncodeDate(2024, 3, 31));
    RstApplyPeriod(p, -1, 0, 1);
    EXPECT_EQ(p.FromDate, EncodeDate(2024, 2, 1));
    EXPECT_EQ(p.ToDate, EncodeDate(2024, 2, 29));
    p = Period(rpMonth, EncodeDate(2023, 12, 10));
    RstApplyPeriod(p, 0, 0, 1);
    EXPECT_EQ(p.FromDate, EncodeDate(2024, 1, 1));
    EXPECT_EQ(p.ToDate, EncodeDate(2024, 1, 31));
    p = Period(rpMonth, EncodeDate(2024, 12, 5));
    RstApplyPeriod(p, 1, 0, 1);
    EXPECT_EQ(p.ToDate, EncodeDate(2024, 12, 31));
    p = Period(rpYear, EncodeDate(2024, 2, 29));
    RstApplyPeriod(p, 0, 0, 1);
    EXPECT_EQ(p.FromDate, EncodeDate(2025, 1, 1));
    EXPECT_EQ(p.ToDate, EncodeDate(2025, 12, 31));
    p = Period(rpWeek, EncodeDate(2024, 2, 26));
    RstApplyPeriod(p, 0, 0, 1);
    EXPECT_EQ(p.FromDate, EncodeDate(2024, 3, 4));
    EXPECT_EQ(p.ToDate, EncodeDate(2024, 3, 10));
    p = Period(rpDay, EncodeDate(2024, 2, 28), EncodeDate(2024, 2, 28));
    RstApplyPeriod(p, 0, 0, 1);
    EXPECT_EQ(p.FromDate, EncodeDate(2024, 2, 29));
    EXPECT_EQ(p.ToDate, p.FromDate);
}

TEST(RstPeriod, DayJumpsToEntryDateInsideRange)
{
    TRstPeriod p = Period(rpDay, EncodeDate(2024, 1, 1), EncodeDate(2024, 1, 31));
    RstApplyPeriod(p, 0, EncodeDate(2024, 1, 20), 1);
    EXPECT_EQ(p.FromDate, EncodeDate(2024, 1, 20));
    EXPECT_EQ(p.ToDate, p.FromDate);
    // On the bound itself it steps.
    p = Period(rpDay, EncodeDate(2024, 1, 20), EncodeDate(2024, 1, 20));
    RstApplyPeriod(p, -1, EncodeDate(2024, 1, 20), 1);
    EXPECT_EQ(p.FromDate, EncodeDate(2024, 1, 19));
}

TEST(RstPeriod, WholePeriodAndRepeatedKind)
{
    const TDateTime today = EncodeDate(2026, 12, 9);
    TRstPeriod p = Period(rpWhole, 0);
    RstApplyPeriod(p, 1, 0, today);
    // Nothing loaded: both bounds become today.
    EXPECT_EQ(p.FromDate, today);
    EXPECT_EQ(p.ToDate, today);
    p.FirstDate = EncodeDate(2020, 5, 1);
    p.LastDate = EncodeDate(2026, 11, 30);
    RstApplyPeriod(p, 1, 0, today);
    EXPECT_EQ(p.FromDate, p.FirstDate);
    // Ctrl+4 twice: the first operation's month, then the current month.
    RstSetPeriodKind(p, rpMonth, 0, today);
    EXPECT_EQ(p.FromDate, EncodeDate(2020, 5, 1));
    EXPECT_EQ(p.ToDate, EncodeDate(2020, 5, 31));
    RstSetPeriodKind(p, rpMonth, 0, today);
    EXPECT_EQ(p.FromDate, EncodeDate(2026, 12, 1));
    EXPECT_EQ(p.ToDate, EncodeDate(2026, 12, 31));
}

} // namespace
} // namespace zorbel
