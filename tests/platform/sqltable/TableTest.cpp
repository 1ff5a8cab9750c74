// TTable: index order, ranges, key searches, locate, filters, posts, restructure and lookups.
#include "SqlFixture.h"

#include "platform/sqltable/Sqlite.h"

#include <QDir>

using namespace zorbel;
using namespace zorbel::test;

namespace {

class TableTest : public SqlFixture {
protected:
    void SetUp() override
    {
        SqlFixture::SetUp();
        for (TTable *t : {&acc, &hist}) {
            t->SetDatabase(&db);
        }
        acc.SetTableName(QStringLiteral("Tb_Account.DB"));
        acc.SetIndexFieldNames(QStringLiteral("ACCOUNT"));
        hist.SetTableName(QStringLiteral("Tb_Hist"));
        acc.Open();
        hist.Open();
    }
    // One column of every row, in cursor order.
    static QStringList Column(TDataSet &ds, const char *field)
    {
        QStringList out;
        for (ds.First(); !ds.Eof(); ds.Next())
            out << Text(ds.FieldByName(QString::fromUtf8(field)));
        return out;
    }
    // The fixture's stamp number of the current operation.
    int StampNo()
    {
        for (int n = 1; n <= 10; ++n)
            if (std::abs(hist.FieldByName(QStringLiteral("Date_Create"))->AsDateTime() - Stamp(n)) < 1e-9)
                return n;
        return -1;
    }
    QStringList Stamps()
    {
        QStringList out;
        for (hist.First(); !hist.Eof(); hist.Next())
            out << QString::number(StampNo());
        return out;
    }
    QString Scalar(const QString &sql)
    {
        const QStringList rows = Select({sql});
        return rows.isEmpty() ? QStringLiteral("<none>") : rows.front();
    }
    TTable acc, hist;
};

} // namespace

TEST_F(TableTest, IndexOrderFollowsRussianCollationAndPrimaryKey)
{
    EXPECT_EQ(Column(acc, "Account"), QStringList({"Банк Ёлка", "Доллары", "евро счёт", "Ёжик", "Кошелёк"}));
    acc.SetIndexFieldNames(QString());
    EXPECT_EQ(Column(acc, "Id_Account"), QStringList({"1", "2", "3", "4", "5"}));
    // Primary key of four fields; equal dates ordered by the stamp.
    EXPECT_EQ(Stamps(), QStringList({"1", "10", "2", "3", "5", "4", "8", "9", "5", "7"}));
    EXPECT_EQ(hist.RecordCount(), 10);
    hist.Last();
    EXPECT_EQ(StampNo(), 7);
    hist.Prior();
    EXPECT_EQ(hist.RecNo(), 9);

    TTable log;
    log.SetDatabase(&db);
    log.SetTableName(QStringLiteral("Tb_Log"));
    log.SetIndexName(QStringLiteral("IND_REMIND"));
    log.Open();
    EXPECT_EQ(Column(log, "Note"), QStringList({"Оплатить", "Просто запись", "Взнос", "Будущее"}));
    EXPECT_THROW(log.SetIndexName(QStringLiteral("NO_SUCH")), EDatabaseError);
    EXPECT_EQ(log.IndexName(), "IND_REMIND"); // the order stays
    EXPECT_EQ(Column(log, "Note").front(), "Оплатить");
}

TEST_F(TableTest, RangesWithPartialKeys)
{
    hist.SetRange({1}, {1});
    EXPECT_EQ(Stamps(), QStringList({"1", "10", "2", "3", "5", "4"}));
    EXPECT_EQ(hist.RecordCount(), 6);
    hist.SetRange({1, D(2024, 1, 12)}, {1, D(2024, 2, 10)});
    EXPECT_EQ(Stamps(), QStringList({"2", "3", "5"}));
    // Explicit nulls in a bound sort before every value.
    hist.SetRange({1, D(2024, 1, 15)}, {1, D(2024, 2, 5), Variant::Null()});
    EXPECT_EQ(Stamps(), QStringList({"2", "3"}));
    hist.SetRange({1, D(2024, 1, 15), Variant::Null()}, {1, D(2024, 2, 5)});
    EXPECT_EQ(Stamps(), QStringList({"2", "3", "5"}));
    hist.SetRange({4}, {4});
    EXPECT_TRUE(hist.IsEmpty());
    EXPECT_TRUE(hist.Bof() && hist.Eof());
    hist.CancelRange();
    EXPECT_EQ(hist.RecordCount(), 10);
}

// Through the key buffers every key field takes part: those not assigned
// are null, and a null sorts before every value. The ledger's range relies
// on it: an end key (account, last day + 1) stops before that day's rows,
// and (account + 1) before the next account's rows.
TEST_F(TableTest, KeyBufferRangesCompareUnassignedFieldsAsNull)
{
    auto applyRange = [&](std::vector<Variant> start, std::vector<Variant> end) {
        const char *names[] = {"Id_Account", "Date_Real"};
        hist.SetRangeStart();
        for (size_t i = 0; i < start.size(); ++i)
            hist.FieldByName(QString::fromUtf8(names[i]))->SetValue(start[i]);
        hist.SetRangeEnd();
        for (size_t i = 0; i < end.size(); ++i)
            hist.FieldByName(QString::fromUtf8(names[i]))->SetValue(end[i]);
        hist.ApplyRange();
    };
    applyRange({1}, {2}); // the whole period of account 1
    EXPECT_EQ(Stamps(), QStringList({"1", "10", "2", "3", "5", "4"}));
    // Lifted to reach another account's row by its key, then applied again.
    hist.CancelRange();
    TQuery leg;
    leg.SetDatabase(&db);
    leg.SQL() << QStringLiteral("select id_account,date_real,date_create,kind from tb_hist where id_account=3");
    leg.Open();
    ASSERT_TRUE(hist.FindKey({leg.Fields()[0]->AsVariant(), leg.Fields()[1]->AsVariant(), leg.Fields()[2]->AsVariant(),
                              leg.Fields()[3]->AsVariant()}));
    EXPECT_EQ(StampNo(), 5);
    hist.ApplyRange();
    EXPECT_EQ(hist.RecordCount(), 6);
    applyRange({1, Variant::FromDate(D(2024, 1, 15))}, {1, Variant::FromDate(D(2024, 2, 5))});
    EXPECT_EQ(Stamps(), QStringList({"2", "3"})); // 5 Feb itself is past the end key
    applyRange({1, Variant::FromDate(D(2024, 1, 10))}, {1, Variant::FromDate(D(2024, 2, 20) + 1)});
    EXPECT_EQ(Stamps(), QStringList({"1", "10", "2", "3", "5", "4"}));
    applyRange({3}, {3}); // only rows whose later key fields are null
    EXPECT_TRUE(hist.IsEmpty());
    // A bound without any assigned field is open.
    hist.SetRangeStart();
    hist.SetRangeEnd();
    hist.FieldByName(QStringLiteral("Id_Account"))->SetAsInteger(2);
    hist.ApplyRange();
    EXPECT_EQ(Stamps(), QStringList({"1", "10", "2", "3", "5", "4"}));
}

TEST_F(TableTest, FindKeyAndFindNearest)
{
    ASSERT_TRUE(hist.FindKey({2}));
    EXPECT_EQ(StampNo(), 8);
    EXPECT_EQ(hist.RecNo(), 7);
    EXPECT_FALSE(hist.FindKey({4}));
    EXPECT_EQ(StampNo(), 8); // unchanged
    hist.FindNearest({1, D(2024, 2, 4)});
    EXPECT_EQ(StampNo(), 5);
    hist.FindNearest({9});
    EXPECT_EQ(StampNo(), 7); // past the end: the last row
    hist.SetKey();
    hist.FieldByName(QStringLiteral("Id_Account"))->SetAsInteger(3);
    ASSERT_TRUE(hist.GotoKey());
    EXPECT_EQ(hist.FieldByName(QStringLiteral("Dt"))->AsFloat(), 10.0);

    acc.FindNearest({QStringLiteral("д")});
    EXPECT_EQ(acc.FieldByName(QStringLiteral("Account"))->AsString(), "Доллары");
    acc.FindNearest({QStringLiteral("ж")});
    EXPECT_EQ(acc.FieldByName(QStringLiteral("Account"))->AsString(), "Кошелёк"); // Ё sorts before Ж
    EXPECT_TRUE(acc.FindKey({QStringLiteral("Ёжик")}));
    EXPECT_FALSE(acc.FindKey({QStringLiteral("ёжик")})); // keys match exactly

    // With no row to stand on (an empty range, as in an empty table) the
    // searches find nothing and leave the table empty; they raise nothing.
    hist.SetRange({4}, {4});
    hist.FindNearest({4, D(2024, 1, 1)});
    EXPECT_TRUE(hist.Bof() && hist.Eof());
    hist.SetKey();
    hist.FieldByName(QStringLiteral("Id_Account"))->SetAsInteger(4);
    hist.GotoNearest();
    EXPECT_TRUE(hist.IsEmpty());
    EXPECT_FALSE(hist.FindKey({4}));
    hist.CancelRange();
    EXPECT_EQ(hist.RecordCount(), 10);
}

TEST_F(TableTest, LocateOptionsNullsAndTextAgainstNumbers)
{
    auto id = [&] { return acc.FieldByName(QStringLiteral("Id_Account"))->AsInteger(); };
    EXPECT_FALSE(acc.Locate(QStringLiteral("Account"), QStringLiteral("ёжик"), {}));
    ASSERT_TRUE(acc.Locate(QStringLiteral("Account"), QStringLiteral("ёжик"), {loCaseInsensitive}));
    EXPECT_EQ(id(), 5);
    ASSERT_TRUE(acc.Locate(QStringLiteral("Account"), QStringLiteral("Банк"), {loPartialKey}));
    EXPECT_EQ(id(), 2);
    EXPECT_FALSE(acc.Locate(QStringLiteral("Account"), QStringLiteral("БАНК ё"), {loPartialKey}));
    ASSERT_TRUE(acc.Locate(QStringLiteral("Account"), QStringLiteral("БАНК ё"), {loPartialKey, loCaseInsensitive}));
    EXPECT_EQ(id(), 2);
    // The first match in the current order ("ACCOUNT"): Банк Ёлка before Ёжик and Кошелёк.
    ASSERT_TRUE(acc.Locate(QStringLiteral("Currency;Rate"), VarArrayOf({QStringLiteral("руб"), 1}), {}));
    EXPECT_EQ(id(), 2);
    ASSERT_TRUE(acc.Locate(QStringLiteral("Beg"), Variant::Null(), {}));
    EXPECT_EQ(id(), 5);
    ASSERT_TRUE(acc.Locate(QStringLiteral("C"), QString(), {})); // empty text finds the nulls
    EXPECT_EQ(id(), 2);
    ASSERT_TRUE(acc.Locate(QStringLiteral("Id_Account"), QStringLiteral("3"), {}));
    EXPECT_EQ(acc.FieldByName(QStringLiteral("Account"))->AsString(), "Доллары");
    const Variant rest = acc.Lookup(QStringLiteral("Id_Account"), 1, QStringLiteral("Rest"));
    EXPECT_EQ(rest.AsDouble(), 1500.0);
}

TEST_F(TableTest, FiltersComparingNumbersWithQuotedTextAndNulls)
{
    hist.SetFilter(QStringLiteral("id_person='1'"));
    hist.SetFiltered(true);
    EXPECT_EQ(Stamps(), QStringList({"1", "10"}));
    hist.SetFilter(QStringLiteral("id_person=null"));
    EXPECT_EQ(hist.RecordCount(), 7);
    hist.SetFilter(QStringLiteral("Kind = '2' and Ct > 500"));
    EXPECT_EQ(Stamps(), QStringList({"9"}));
    hist.SetRange({1}, {1});
    EXPECT_TRUE(hist.IsEmpty());
    hist.SetFiltered(false);
    EXPECT_EQ(hist.RecordCount(), 6);

    TTable family;
    family.SetDatabase(&db);
    family.SetTableName(QStringLiteral("TB_Family"));
    family.SetFilter(QStringLiteral("id_person='3'"));
    family.SetFiltered(true);
    family.Open();
    EXPECT_EQ(Column(family, "Name"), QStringList({"Петя"}));
    acc.SetFilter(QStringLiteral("id_Account<>'1'"));
    acc.SetFiltered(true);
    EXPECT_EQ(acc.RecordCount(), 4);
    ASSERT_FALSE(acc.Locate(QStringLiteral("Id_Account"), 1, {})); // filtered out
    // Case-blind and partial texts, functions and lists.
    acc.SetFilterOptions({foCaseInsensitive});
    acc.SetFilter(QStringLiteral("Account = 'ЁЖ*'"));
    EXPECT_EQ(Column(acc, "Account"), QStringList({"Ёжик"}));
    acc.SetFilterOptions({});
    acc.SetFilter(QStringLiteral("Account = 'ЁЖ*'"));
    EXPECT_TRUE(acc.IsEmpty());
    acc.SetFilter(QStringLiteral("upper(Currency) = 'РУБ' and Id_Account in (1, 2, 4)"));
    EXPECT_EQ(Column(acc, "Account"), QStringList({"Банк Ёлка", "Кошелёк"}));
    acc.SetFilter(QStringLiteral("C = ''"));
    EXPECT_EQ(acc.RecordCount(), 4);
}

TEST_F(TableTest, PostsAndDeletesAreSeenByTheNextQuery)
{
    hist.SetRange({1}, {1});
    hist.Append();
    hist.FieldByName(QStringLiteral("Id_Account"))->SetAsInteger(1);
    hist.FieldByName(QStringLiteral("Date_Real"))->SetAsDateTime(D(2024, 1, 12));
    hist.FieldByName(QStringLiteral("Date_Create"))->SetAsDateTime(Stamp(20));
    hist.FieldByName(QStringLiteral("Kind"))->SetAsString(QStringLiteral("1"));
    hist.FieldByName(QStringLiteral("Ct"))->SetAsFloat(7);
    hist.Post();
    EXPECT_EQ(hist.RecNo(), 3); // in key order after the two rows of the 10th
    EXPECT_EQ(Scalar(QStringLiteral("select count(*), sum(ct) from tb_hist where id_account=1 and kind='1'")), "6|1287");

    acc.Locate(QStringLiteral("Id_Account"), 3, {});
    acc.Edit();
    acc.FieldByName(QStringLiteral("Rest"))->SetAsFloat(-12.5);
    acc.Post();
    EXPECT_EQ(Scalar(QStringLiteral("select rest from tb_account where id_account=3")), "-12.5");

    hist.First(); // stamp 1
    hist.Delete();
    EXPECT_EQ(StampNo(), 10); // the following row
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from tb_hist")), "10");
    // A change made by a query shows after Refresh.
    Exec({QStringLiteral("delete from tb_hist where id_account=1 and kind='2'")});
    hist.Refresh();
    EXPECT_EQ(hist.RecordCount(), 5);
    // Even when the current row itself went away.
    ASSERT_TRUE(hist.Locate(QStringLiteral("Kind;Ct"), VarArrayOf({QStringLiteral("1"), 250}), {}));
    Exec({QStringLiteral("delete from tb_hist where ct=250")});
    hist.Refresh();
    EXPECT_EQ(hist.RecordCount(), 4);
    EXPECT_EQ(StampNo(), 5); // the row that followed
    // And when every row of the range went away.
    Exec({QStringLiteral("delete from tb_hist where id_account=1")});
    EXPECT_NO_THROW(hist.Refresh());
    EXPECT_TRUE(hist.IsEmpty());
    EXPECT_EQ(hist.RecordCount(), 0);
}

TEST_F(TableTest, RefreshAfterARolledBackInsertStandsOnARowThatExists)
{
    hist.SetRange({1}, {1});
    const int before = hist.RecordCount();
    db.Db().Exec(QStringLiteral("BEGIN"));
    hist.Append();
    hist.FieldByName(QStringLiteral("Id_Account"))->SetAsInteger(1);
    hist.FieldByName(QStringLiteral("Date_Real"))->SetAsDateTime(D(2024, 1, 12));
    hist.FieldByName(QStringLiteral("Date_Create"))->SetAsDateTime(Stamp(20));
    hist.FieldByName(QStringLiteral("Kind"))->SetAsString(QStringLiteral("1"));
    hist.Post();
    EXPECT_EQ(hist.RecordCount(), before + 1);
    db.ReleaseStatements();
    db.Db().Exec(QStringLiteral("ROLLBACK"));
    // The current row is gone: Refresh moves to a row that is still there.
    hist.Refresh();
    EXPECT_EQ(hist.RecordCount(), before);
    EXPECT_NE(StampNo(), 20);
}

TEST_F(TableTest, BookmarkOfADeletedRowIsInvalid)
{
    ASSERT_TRUE(hist.FindKey({3}));
    const TBookmark mark = hist.GetBookmark();
    hist.Next();
    EXPECT_TRUE(hist.BookmarkValid(mark));
    hist.GotoBookmark(mark);
    EXPECT_EQ(StampNo(), 5);
    hist.Delete();
    EXPECT_FALSE(hist.BookmarkValid(mark));
    EXPECT_THROW(hist.GotoBookmark(mark), EDatabaseError);
    EXPECT_EQ(StampNo(), 7);
}

TEST_F(TableTest, SixteenBitRangeWidthCutsAndEmptyTextAsNull)
{
    acc.Append();
    acc.FieldByName(QStringLiteral("Account"))->SetAsString(QString(40, u'Ж'));
    acc.FieldByName(QStringLiteral("Currency"))->SetAsString(QStringLiteral("руб"));
    acc.FieldByName(QStringLiteral("Rest"))->SetAsFloat(0);
    acc.FieldByName(QStringLiteral("C"))->SetAsString(QString());
    EXPECT_ANY_THROW(acc.FieldByName(QStringLiteral("Id_Account"))->SetAsInteger(40000));
    acc.FieldByName(QStringLiteral("Id_Account"))->SetAsInteger(32767);
    acc.Post();
    EXPECT_EQ(Scalar(QStringLiteral("select length(account), c is null from tb_account where id_account=32767")), "30|1");

    // The storage rule itself, as queries and restructures use it.
    const TColumnDef shortCol{QStringLiteral("Id"), TColumnKind::Short, 0, false};
    EXPECT_THROW(StoredValue(shortCol, 32768), EDatabaseError);
    EXPECT_THROW(StoredValue(shortCol, QStringLiteral("-40000")), EDatabaseError);
    EXPECT_EQ(StoredValue(shortCol, -32768).AsInteger(), -32768);
    const TColumnDef alpha{QStringLiteral("A"), TColumnKind::Alpha, 3, false};
    EXPECT_EQ(StoredValue(alpha, QStringLiteral("абвгд")).AsString(), "абв");
    EXPECT_TRUE(StoredValue(alpha, QString()).IsNull());
    const TColumnDef date{QStringLiteral("D"), TColumnKind::Date, 0, false};
    EXPECT_EQ(StoredValue(date, Variant::FromDate(45000.75)).AsDate(), 45000.0);
    // A stamp is stored as given; its whole millisecond is a key search's
    // second try.
    const TColumnDef stamp{QStringLiteral("S"), TColumnKind::Timestamp, 0, false};
    EXPECT_EQ(StoredValue(stamp, Variant::FromDate(45000.0 + 0.4 / 86400000)).AsDate(), 45000.0 + 0.4 / 86400000);
    EXPECT_EQ(WholeMsValue(stamp, Variant::FromDate(45000.0 + 0.4 / 86400000)).AsDate(), 45000.0);
}

TEST_F(TableTest, TimestampsSetThroughAFieldCompareExactly)
{
    // A stamp set through a field keeps its fraction of a millisecond (a row
    // given the stamp of a row of a file written elsewhere, as a transfer's
    // receiving leg is, must hold it to the bit); the value the field reads
    // finds it by equality, as Qtrans does, and its whole millisecond does not.
    hist.Append();
    hist.FieldByName(QStringLiteral("Id_Account"))->SetAsInteger(5);
    hist.FieldByName(QStringLiteral("Date_Real"))->SetAsDateTime(D(2024, 4, 1));
    const TDateTime stamp = Stamp(30) + 0.3 / 86400000.0;
    hist.FieldByName(QStringLiteral("Date_Create"))->SetAsDateTime(stamp);
    EXPECT_EQ(hist.FieldByName(QStringLiteral("Date_Create"))->AsDateTime(), stamp);
    hist.FieldByName(QStringLiteral("Ct"))->SetAsFloat(1);
    hist.Post();
    EXPECT_EQ(hist.FieldByName(QStringLiteral("Date_Create"))->AsDateTime(), stamp);
    TQuery q;
    q.SetDatabase(&db);
    q.SQL() << QStringLiteral("Select Ct from tb_hist where date_create=:date_create");
    for (const TDateTime wanted : {stamp, Stamp(30)}) {
        q.Close();
        q.ParamByName(QStringLiteral("date_create"))->SetAsDateTime(wanted);
        q.Open();
        EXPECT_EQ(Rows(q), wanted == stamp ? QStringList({"1"}) : QStringList()) << wanted;
    }
}

// Files written by other tools hold creation stamps that are no whole
// millisecond. Such a row reads its stamp as stored, is found by it through
// every search (key, locate, a query's parameter, a transfer's two legs by
// their shared stamp), and keeps it bit for bit when another field is
// written; the whole millisecond nearest to it finds no row. A stamp that is
// a whole millisecond is still found by a value off in its last bits, as one
// kept in a memory table is.
TEST_F(TableTest, StampsThatAreNoWholeMillisecondAreFoundAndKeptExactly)
{
    // Rows 2 (account 1 alone) and the transfer pair 5/6 get fractions of a
    // millisecond; the pair keeps one stamp for both legs.
    Exec({QStringLiteral("update tb_hist set date_create = date_create + 0.37 / 86400000.0 where ct = 900 or dt = 10")});
    Exec({QStringLiteral("update tb_hist set date_create = date_create + 0.123456 / 86400000.0 where dt = 5000")});
    hist.Close();
    hist.Open();
    const auto stored = [&](const char *where) {
        TSqliteStatement st(db.Db(), QStringLiteral("select date_create from tb_hist where ") + QString::fromUtf8(where));
        EXPECT_TRUE(st.Step()) << where;
        return st.ColumnDouble(0);
    };
    struct TCase {
        const char *Where;
        int Account;
        TDateTime Day;
        const char *Kind;
    };
    const TCase cases[] = {{"dt = 5000", 1, D(2024, 1, 15), "1"},
                           {"ct = 900", 1, D(2024, 2, 5), "1"},
                           {"dt = 10", 3, D(2024, 2, 5), "1"}};
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Where);
        const double exact = stored(c.Where);
        ASSERT_NE(exact * 86400000.0, std::round(exact * 86400000.0));
        const std::vector<Variant> key = {c.Account, Variant::FromDate(c.Day), Variant::FromDate(exact),
                                          QString::fromUtf8(c.Kind)};
        ASSERT_TRUE(hist.FindKey(key));
        EXPECT_EQ(hist.FieldByName(QStringLiteral("Date_Create"))->AsDateTime(), exact);
        EXPECT_EQ(hist.FieldByName(QStringLiteral("Date_Create"))->AsVariant().AsDate(), exact);
        hist.First();
        ASSERT_TRUE(hist.Locate(QStringLiteral("Id_Account;Date_Create;Kind"),
                                VarArrayOf({c.Account, Variant::FromDate(exact), QString::fromUtf8(c.Kind)}), {}));
        // The whole millisecond is another stamp: no row holds it.
        const double rounded = std::round(exact * 86400000.0) / 86400000.0;
        EXPECT_FALSE(hist.FindKey({c.Account, Variant::FromDate(c.Day), Variant::FromDate(rounded),
                                   QString::fromUtf8(c.Kind)}));
        // Writing another field leaves the stamp as it was.
        ASSERT_TRUE(hist.FindKey(key));
        hist.Edit();
        hist.FieldByName(QStringLiteral("Comment"))->SetAsString(QStringLiteral("правка"));
        hist.Post();
        EXPECT_EQ(stored(c.Where), exact);
        // A query finds the row by the stamp its field reads, as the
        // transfer's receiving leg is found by the sending leg's stamp.
        ASSERT_TRUE(hist.FindKey(key));
        TQuery q;
        q.SetDatabase(&db);
        q.SQL() << QStringLiteral("select count(*) from tb_hist where date_create=:date_create");
        q.ParamByName(QStringLiteral("date_create"))
            ->SetAsDateTime(hist.FieldByName(QStringLiteral("Date_Create"))->AsDateTime());
        q.Open();
        EXPECT_EQ(q.Fields()[0]->AsInteger(), c.Account == 1 && c.Kind[0] == '1' && c.Day == D(2024, 1, 15) ? 1 : 2);
    }
    // A whole-millisecond stamp searched by a value a bit off from it.
    const double whole = stored("ct = 250");
    ASSERT_EQ(whole * 86400000.0, std::round(whole * 86400000.0));
    EXPECT_TRUE(hist.FindKey({1, Variant::FromDate(D(2024, 2, 3)), Variant::FromDate(std::nextafter(whole, 1e9)),
                              QStringLiteral("1")}));
    EXPECT_TRUE(hist.Locate(QStringLiteral("Date_Create"), Variant::FromDate(std::nextafter(whole, 0.0)), {}));
}

TEST_F(TableTest, CreateExistsDeleteWidenAndPack)
{
    TTable t;
    t.SetDatabase(&db);
    t.SetTableName(QStringLiteral("Tb_Tmp"));
    EXPECT_FALSE(t.Exists());
    t.FieldDefs().Add(QStringLiteral("Id"), ftSmallint, 0, true);
    t.FieldDefs().Add(QStringLiteral("Comment"), ftString, 50);
    t.IndexDefs().Add(QString(), QStringLiteral("Id"), {ixPrimary});
    t.CreateTable();
    EXPECT_TRUE(t.Exists());
    t.Open();
    t.AppendRecord({1, QString(50, u'а')});
    t.AppendRecord({2, QStringLiteral("б")});
    EXPECT_EQ(t.FieldByName(QStringLiteral("Comment"))->Size(), 50);
    // Restructure and pack while other tables are in the middle of a walk.
    hist.First();
    hist.Next();
    t.RestructureTextField(QStringLiteral("COMMENT"), 200);
    EXPECT_TRUE(t.Active());
    EXPECT_THROW(t.RestructureTextField(QStringLiteral("Comment"), 200), EDatabaseError);
    EXPECT_TRUE(t.Active()); // opened again after the failure
    t.Close();
    EXPECT_THROW(SetTextFieldWidth(db.Db(), QStringLiteral("Tb_Tmp"), QStringLiteral("Id"), 200), EDatabaseError);
    try {
        SetTextFieldWidth(db.Db(), QStringLiteral("Tb_Tmp"), QStringLiteral("Nope"), 200);
        ADD_FAILURE();
    } catch (const EDatabaseError &e) {
        EXPECT_EQ(e.Message(), "Поле не найдено");
    }
    try {
        SetTextFieldWidth(db.Db(), QStringLiteral("Tb_Tmp"), QStringLiteral("Comment"), 200);
        ADD_FAILURE();
    } catch (const EDatabaseError &e) {
        EXPECT_EQ(e.Message(), "Ничего не сделано");
    }
    t.Open();
    EXPECT_EQ(t.FieldByName(QStringLiteral("Comment"))->Size(), 200);
    EXPECT_EQ(t.RecordCount(), 2);
    t.Edit();
    t.FieldByName(QStringLiteral("Comment"))->SetAsString(QString(120, u'в'));
    t.Post();
    EXPECT_EQ(t.FieldByName(QStringLiteral("Comment"))->AsString().size(), 120);
    EXPECT_TRUE(t.FindKey({1})); // the key survived the restructure
    t.Close();

    Exec({QStringLiteral("delete from tb_hist where id_account=2")});
    db.Pack();
    hist.Next(); // the walk goes on where it was
    EXPECT_EQ(StampNo(), 2);
    EXPECT_EQ(hist.RecNo(), 3);
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from tb_account")), "5");
    t.DeleteTable();
    EXPECT_FALSE(t.Exists());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"Zorbel.db"}));
}

TEST_F(TableTest, ClosingTheDatabaseClosesItsDataSets)
{
    TQuery q;
    q.SetDatabase(&db);
    q.SQL() << QStringLiteral("select * from tb_firm");
    q.Open();
    EXPECT_EQ(TDatabase::SqlDecimalSeparator(), u'.');
    db.Close();
    EXPECT_FALSE(acc.Active());
    EXPECT_FALSE(hist.Active());
    EXPECT_FALSE(q.Active());
    EXPECT_THROW(acc.Open(), EDatabaseError);

    // A database destroyed before its open tables closes them first.
    auto early = std::make_unique<TDatabase>();
    early->SetParams({QStringLiteral("PATH=") + dir.path()});
    early->Open();
    TTable t;
    t.SetDatabase(early.get());
    t.SetTableName(QStringLiteral("Tb_Firm"));
    t.Open();
    early.reset();
    EXPECT_FALSE(t.Active());
}

TEST_F(TableTest, LookupSeesRangeAndFilterAndKeepsTheCurrentRecord)
{
    const auto id = [&] { return acc.FieldByName(QStringLiteral("Id_Account"))->AsInteger(); };
    ASSERT_TRUE(acc.Locate(QStringLiteral("Id_Account"), 3, {}));
    const Variant two = acc.Lookup(QStringLiteral("Id_Account"), 2, QStringLiteral("Account;Currency"));
    ASSERT_TRUE(two.IsArray());
    EXPECT_EQ(two[0].AsString(), "Банк Ёлка");
    EXPECT_EQ(two[1].AsString(), "руб");
    EXPECT_TRUE(VarIsClear(acc.Lookup(QStringLiteral("Id_Account"), 99, QStringLiteral("Account"))));
    EXPECT_EQ(id(), 3);
    // A calculated or unknown result field is still answered or refused as before.
    EXPECT_THROW(acc.Lookup(QStringLiteral("Id_Account"), 2, QStringLiteral("NoSuchField")), EDatabaseError);
    // Rows outside the filter are not found.
    acc.SetFilter(QStringLiteral("Currency = 'руб'"));
    acc.SetFiltered(true);
    EXPECT_TRUE(VarIsClear(acc.Lookup(QStringLiteral("Id_Account"), 3, QStringLiteral("Account"))));
    EXPECT_EQ(acc.Lookup(QStringLiteral("Id_Account"), 5, QStringLiteral("Account")).AsString(), "Ёжик");
    acc.SetFiltered(false);
    // Nor rows outside the range.
    hist.SetRange({Variant(int16_t(1))}, {Variant(int16_t(1))});
    hist.First();
    const int stamp = StampNo();
    EXPECT_TRUE(VarIsClear(hist.Lookup(QStringLiteral("Id_Account"), 2, QStringLiteral("Kind"))));
    EXPECT_FALSE(VarIsClear(hist.Lookup(QStringLiteral("Id_Account"), 1, QStringLiteral("Kind"))));
    EXPECT_EQ(StampNo(), stamp);
}

// Answers are kept by the key's value: text keys, a text for a number key,
// several results of one key and a reopened table must all stay right.
TEST_F(TableTest, KeptLookupAnswersByTextAndByNumberSeeWritesAndReopening)
{
    const auto lookup = [&](const char *key, const Variant &value, const char *result) {
        const Variant v = acc.Lookup(QString::fromLatin1(key), value, QString::fromLatin1(result));
        return VarIsClear(v) ? QStringLiteral("<none>") : v.AsString();
    };
    EXPECT_EQ(lookup("Account", QStringLiteral("Доллары"), "Id_Account"), "3");
    EXPECT_EQ(lookup("Account", QStringLiteral("Доллары"), "Currency"), "$");
    EXPECT_EQ(lookup("Id_Account", QStringLiteral("3"), "Account"), "Доллары");
    EXPECT_EQ(lookup("Id_Account", 3, "Account"), "Доллары");
    EXPECT_EQ(lookup("ID_ACCOUNT", int16_t(3), "Currency"), "$");
    ASSERT_TRUE(acc.Locate(QStringLiteral("Id_Account"), 3, {}));
    acc.Edit();
    acc.FieldByName(QStringLiteral("Account"))->SetAsString(QStringLiteral("Доллары США"));
    acc.FieldByName(QStringLiteral("Currency"))->SetAsString(QStringLiteral("USD"));
    acc.Post();
    EXPECT_EQ(lookup("Account", QStringLiteral("Доллары"), "Id_Account"), "<none>");
    EXPECT_EQ(lookup("Account", QStringLiteral("Доллары США"), "Currency"), "USD");
    EXPECT_EQ(lookup("Id_Account", QStringLiteral("3"), "Account"), "Доллары США");
    EXPECT_EQ(lookup("ID_ACCOUNT", int16_t(3), "Currency"), "USD");
    // More distinct keys than answers are kept: the known ones stay right.
    for (int id = 1; id < 20000; ++id) {
        if (id % 4000 == 3) {
            ASSERT_EQ(lookup("Id_Account", 3, "Account"), "Доллары США") << id;
        } else if (id > 5) {
            ASSERT_EQ(lookup("Id_Account", id, "Account"), "<none>") << id;
        }
    }
    acc.Close();
    acc.SetIndexFieldNames(QStringLiteral("Currency;Account"));
    acc.Open();
    EXPECT_EQ(lookup("Id_Account", 3, "Account"), "Доллары США");
    const Variant both = acc.Lookup(QStringLiteral("Account"), QStringLiteral("Ёжик"), QStringLiteral("Id_Account;Currency"));
    ASSERT_TRUE(both.IsArray());
    EXPECT_EQ(both[0].AsInteger(), 5);
    EXPECT_EQ(both[1].AsString(), "руб");
}

// Lookups keep their statements prepared between calls: they must still see
// every write, nulls, a walk of another table in progress, and a packed file.
TEST_F(TableTest, KeptLookupStatementsSeeWritesAndSurviveWalksAndPacks)
{
    const auto name = [&](const Variant &id) {
        const Variant v = acc.Lookup(QStringLiteral("Id_Account"), id, QStringLiteral("Account"));
        return VarIsClear(v) ? QStringLiteral("<none>") : v.AsString();
    };
    EXPECT_EQ(name(2), "Банк Ёлка");
    ASSERT_TRUE(acc.Locate(QStringLiteral("Id_Account"), 2, {}));
    acc.Edit();
    acc.FieldByName(QStringLiteral("Account"))->SetAsString(QStringLiteral("Банк Сосна"));
    acc.Post();
    EXPECT_EQ(name(2), "Банк Сосна");
    EXPECT_TRUE(VarIsClear(acc.Lookup(QStringLiteral("Id_Account"), Variant::Null(), QStringLiteral("Account"))));
    EXPECT_EQ(name(3), "Доллары"); // the null key's statement did not take the place of the valued one

    // Looking up every operation's account during a walk leaves the walk intact.
    QStringList walked;
    for (hist.First(); !hist.Eof(); hist.Next())
        walked << QString::number(StampNo()) + u':' + name(hist.FieldByName(QStringLiteral("Id_Account"))->AsInteger());
    EXPECT_EQ(walked, QStringList({"1:Кошелёк", "10:Кошелёк", "2:Кошелёк", "3:Кошелёк", "5:Кошелёк", "4:Кошелёк",
                                   "8:Банк Сосна", "9:Банк Сосна", "5:Доллары", "7:Доллары"}));

    db.Pack();
    EXPECT_EQ(name(5), "Ёжик");
    ASSERT_TRUE(acc.Locate(QStringLiteral("Id_Account"), 5, {}));
    acc.Delete();
    EXPECT_TRUE(VarIsClear(acc.Lookup(QStringLiteral("Id_Account"), 5, QStringLiteral("Account"))));
    // A new order prepares new statements.
    acc.SetIndexFieldNames(QStringLiteral("Currency;Account"));
    EXPECT_EQ(name(4), "евро счёт");
}

// Calculated and lookup values of every kind read back as written, per
// record: cut to the field's size, cut at a NUL, null where this record's
// calculation left them unset (never the previous record's value), exact to
// the millisecond for times, through OnValidate, and as native buffers.
TEST_F(TableTest, ComputedFieldsReadBackAsWrittenOnEveryRecord)
{
    TTable t, names;
    for (TTable *x : {&t, &names}) {
        x->SetDatabase(&db);
        x->SetTableName(QStringLiteral("Tb_Account"));
    }
    t.SetIndexFieldNames(QStringLiteral("Id_Account"));
    TField *id = t.AddField<TSmallintField>(QStringLiteral("Id_Account"));
    // A stored field narrower than its column reads its first characters.
    TField *account = t.AddField<TStringField>(QStringLiteral("Account"), fkData, 5);
    TField *rate = t.AddField<TFloatField>(QStringLiteral("Rate"));
    TField *name = t.AddField<TStringField>(QStringLiteral("Name"), fkLookup, 4);
    name->SetLookupDataSet(&names);
    name->SetKeyFields(QStringLiteral("Id_Account"));
    name->SetLookupKeyFields(QStringLiteral("Id_Account"));
    name->SetLookupResultField(QStringLiteral("Account"));
    TField *note = t.AddField<TStringField>(QStringLiteral("Note"), fkCalculated, 10);
    TField *twice = t.AddField<TFloatField>(QStringLiteral("Twice"), fkCalculated);
    TField *number = t.AddField<TIntegerField>(QStringLiteral("Number"), fkCalculated);
    TField *when = t.AddField<TDateTimeField>(QStringLiteral("When"), fkCalculated);
    TField *day = t.AddField<TDateField>(QStringLiteral("Day"), fkCalculated);
    TField *flag = t.AddField<TBooleanField>(QStringLiteral("Flag"), fkCalculated);
    TField *checked = t.AddField<TStringField>(QStringLiteral("Checked"), fkCalculated, 3);
    const TDateTime base = EncodeDate(2024, 3, 1);
    checked->OnValidate = [](TField *f) {
        if (f->AsString() == QLatin1String("bad"))
            throw EDatabaseError(QStringLiteral("refused"));
    };
    t.OnCalcFields = [&](TDataSet *) {
        const int n = id->AsInteger();
        if (n == 1)
            note->SetAsString(QString::fromUtf8("один\0два", 8));
        if (n == 2)
            note->SetAsString(QStringLiteral("0123456789abc"));
        if (n != 4) {
            twice->SetAsFloat(rate->AsFloat() * 2);
            number->SetAsInteger(-n * 1000);
            // 0.4 ms past the whole second: a time keeps whole milliseconds.
            when->SetAsDateTime(base + n + (10 * 3600 + 0.0004) / 86400.0);
            day->SetAsDateTime(base + n);
            flag->SetAsBoolean(n % 2 == 0);
        }
        try {
            checked->SetAsString(n == 3 ? QStringLiteral("bad") : QStringLiteral("ok") + QString::number(n));
        } catch (const EDatabaseError &) {
        }
    };
    names.Open();
    t.Open();
    QStringList rows;
    for (t.First(); !t.Eof(); t.Next()) {
        QStringList cells;
        for (TField *f : {account, name, note, twice, number, when, day, flag, checked})
            cells << (f->IsNull() ? QStringLiteral("null") : QString()) + f->AsString();
        rows << cells.join(u'|');
    }
    EXPECT_EQ(rows, QStringList({
                        "Кошел|Коше|один|2|-1000|02.03.2024 10:00:00|02.03.2024|False|ok1",
                        "Банк |Банк|0123456789|2|-2000|03.03.2024 10:00:00|03.03.2024|True|ok2",
                        "Долла|Долл|null|180|-3000|04.03.2024 10:00:00|04.03.2024|False|null",
                        "евро |евро|null|null|null|null|null|null|ok4",
                        "Ёжик|Ёжик|null|2|-5000|06.03.2024 10:00:00|06.03.2024|False|ok5",
                    }));

    // The time reads back rounded to the millisecond, as a stored time does.
    ASSERT_TRUE(t.Locate(QStringLiteral("Id_Account"), 2, {}));
    EXPECT_EQ(when->AsDateTime(), TimeStampToDateTime(DateTimeToTimeStamp(base + 2 + 10.0 / 24)));
    // The native buffer of a text: its characters and a terminating NUL.
    std::vector<char16_t> chars(size_t(name->DataSize() / 2) + 1, u'x');
    ASSERT_TRUE(name->GetData(chars.data()));
    EXPECT_EQ(QString::fromUtf16(chars.data()), "Банк");
    EXPECT_FALSE(note->IsNull());
    // Editing recalculates from the edited values.
    t.Edit();
    rate->SetAsFloat(4);
    t.Post();
    EXPECT_EQ(twice->AsFloat(), 8);
    EXPECT_EQ(name->AsString(), "Банк");
    t.Close();
    t.Open();
    ASSERT_TRUE(t.Locate(QStringLiteral("Id_Account"), 3, {}));
    EXPECT_TRUE(note->IsNull());
    EXPECT_EQ(number->AsInteger(), -3000);
}

TEST_F(TableTest, ATransactionScopeLeftByAFailureKeepsNothingAndAWalkReadsOn)
{
    const QStringList stamps = Stamps();
    hist.First();
    hist.Next(); // a walk under way when the change begins
    const int walked = StampNo();
    ASSERT_TRUE(acc.Locate(QStringLiteral("Id_Account"), Variant(2), {}));
    try {
        TTransactionScope outer(db, {&acc});
        {
            TTransactionScope inner(db); // a savepoint inside the outer one
            db.Db().Exec(QStringLiteral("DELETE FROM Tb_Hist WHERE Id_Account=3"));
            inner.Commit();
        }
        acc.Edit();
        acc.FieldByName(QStringLiteral("Rest"))->SetAsFloat(1);
        acc.Post();
        throw EDatabaseError(QStringLiteral("disk full"));
    } catch (const EDatabaseError &) {
    }
    // The account shows its stored rest again, the deleted rows are back,
    // and the walk goes on from its row to the end.
    EXPECT_EQ(Text(acc.FieldByName(QStringLiteral("Rest"))), QStringLiteral("20000"));
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(Scalar(QStringLiteral("SELECT count(*) FROM Tb_Hist WHERE Id_Account=3")), QStringLiteral("2"));
    EXPECT_EQ(StampNo(), walked);
    QStringList rest{QString::number(walked)};
    for (hist.Next(); !hist.Eof(); hist.Next())
        rest << QString::number(StampNo());
    EXPECT_EQ(rest, stamps.mid(1));
}
