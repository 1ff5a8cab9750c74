// Batch entry without its window, on the fixture data set: packet digits, the
// packet's total, and writing a packet row by row, checked against the
// sqlite3 shell reading the same file (operations and the account's Rest),
// with planned dates, switched-off options, a line whose post fails, a
// category outside any root and a balance write that fails.
#include "ZorbDmFixture.h"
#include "platform/rtl/StrUtils.h"

#include "core/ZorbDm.h"
#include "core/ZorbPacket.h"
#include "core/ZorbPost.h"
#include "support/FaultEnv.h"
#include "support/PageCache.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

class PacketData : public ::testing::Test {
protected:
    PacketData()
    {
        dm.Db.SetParams({QStringLiteral("PATH=") + dir.path()});
        MakeFixture(dir.path());
        EXPECT_TRUE(dm.OpenDataSet({}).Opened);
        EXPECT_TRUE(dm.Tb_Account.Locate("Id_Account", Variant(1), {}));
        dm.Tb_Hist.SetRange({1}, {1});
    }
    QString Sqlite(const QString &sql) { return SqliteShell(dm.Db.FileName(), sql); }
    // Adds an expense category under the root 0 in packet 5; returns its id.
    int AddLine(const QString &name, const Variant &sum, const QString &comment, const QString &s = QString())
    {
        TTable &t = dm.Tb_Items;
        t.Append();
        t.FieldByName("Itm")->SetAsString(name);
        t.FieldByName("Id_Ref")->SetAsInteger(0);
        t.FieldByName("Lev")->SetAsInteger(1);
        t.FieldByName("C")->SetAsString("-");
        t.FieldByName("Grp")->SetAsString("5");
        t.FieldByName("Sm")->SetAsVariant(sum);
        t.FieldByName("Pr")->SetAsFloat(2.5);
        t.FieldByName("Qn")->SetAsFloat(3);
        t.FieldByName("Id_Prs")->SetAsInteger(1);
        t.FieldByName("Id_Frm")->SetAsInteger(2);
        t.FieldByName("Comm")->SetAsString(comment);
        if (!s.isEmpty())
            t.FieldByName("S")->SetAsString(s);
        t.Post();
        return t.FieldByName("Id_Itm")->AsInteger();
    }
    // Ten lines to write (sums 10.25, 20.25 .. 100.25), a zero and a negative line.
    void TenLines()
    {
        for (int i = 1; i <= 10; ++i)
            AddLine(U("Покупка %1").arg(i), Variant(i * 10 + 0.25), U("Заметка №%1 «ёжик»").arg(i));
        AddLine(U("Нулевая"), Variant(0.0), U("ноль"));
        AddLine(U("Отрицательная"), Variant(-40.0), U("минус"));
        AddLine(U("Выключенная"), Variant(70.0), U("выкл"), "N");
    }
    double RestNow() { return Sqlite("select rest from tb_account not indexed where id_account=1").toDouble(); }

    QTemporaryDir dir;
    TDm dm;
    const TDateTime today = D(2024, 3, 10);
};

TEST(PacketDigits, MembershipAndTheRememberedPacket)
{
    EXPECT_EQ(RemovePacketDigit("132", 3), "12");
    EXPECT_EQ(RemovePacketDigit("12", 3), "12");
    EXPECT_EQ(AddPacketDigit("12", 3), "123");
    EXPECT_EQ(AddPacketDigit("123", 3), "123");
    EXPECT_EQ(AddPacketDigit("", 0), "0");
    EXPECT_EQ(AddPacketDigit("0123456789", 5), "0123456789");
    EXPECT_EQ(PacketFromSetting(12), 1);
    EXPECT_EQ(PacketFromSetting(-1), 1);
    EXPECT_EQ(PacketFromSetting(0), 0);
    EXPECT_EQ(PacketFromSetting(9), 9);
}

TEST_F(PacketData, TotalCountsOnlyLinesThatAreWritten)
{
    AddLine(U("Сто"), Variant(100.0), QString());
    AddLine(U("Ноль"), Variant(0.0), QString());
    AddLine(U("Полсотни"), Variant(50.0), QString());
    AddLine(U("Выкл"), Variant(30.0), QString(), "N");
    AddLine(U("Минус"), Variant(-25.0), QString());
    ASSERT_TRUE(OpenPacket(dm, 5));
    EXPECT_EQ(dm.Qgrp.RecordCount(), 5);
    int count = 0;
    EXPECT_DOUBLE_EQ(dm.SumPacket(count), 150);
    EXPECT_EQ(count, 2);
    // Packet 2 of the fixture: Хлеб is switched off.
    ASSERT_TRUE(OpenPacket(dm, 2));
    EXPECT_DOUBLE_EQ(dm.SumPacket(count), 210);
    EXPECT_EQ(count, 3);
}

TEST_F(PacketData, TenLinesWrittenRowByRowAndTheBalanceFollows)
{
    TenLines();
    const double before = RestNow();
    ASSERT_TRUE(OpenPacket(dm, 5));
    int count = 0;
    EXPECT_DOUBLE_EQ(dm.SumPacket(count), 552.5);
    EXPECT_EQ(count, 10);
    const TDateTime entry = D(2024, 3, 5);
    const TPacketResult r = WritePacketLines(dm, 5, entry, today, {});
    EXPECT_EQ(r.Written, 10);
    EXPECT_TRUE(r.Realised);
    EXPECT_TRUE(r.NotWritten.isEmpty());
    EXPECT_EQ(r.Delta, -5525000);
    EXPECT_FALSE(dm.Qgrp.Active());
    EXPECT_TRUE(dm.Modified());

    const QString rows = Sqlite(QString("select i.itm, h.ct, h.kind, h.level1, h.level2, ifnull(h.level3,'-'), "
                                        "h.price, h.qdt, h.id_person, h.id_firm, h.comment, h.rate, h.yr, h.mn "
                                        "from tb_hist h not indexed join tb_items i not indexed on i.id_itm=h.level2 "
                                        "where h.id_account=1 and h.date_real=%1 order by h.date_create")
                                    .arg(qint64(entry)));
    QStringList expected;
    for (int i = 1; i <= 10; ++i)
        expected << U("Покупка %1|%2|1|0|%3|-|2.5|3.0|1|2|Заметка №%1 «ёжик»|1.0|2024|3")
                        .arg(i)
                        .arg(i * 10 + 0.25)
                        .arg(dm.Tb_Items.Lookup("Itm", Variant(U("Покупка %1").arg(i)), "Id_Itm").AsInteger());
    EXPECT_EQ(rows.split('\n'), expected);
    // Creation stamps are unique within the day.
    EXPECT_EQ(Sqlite(QString("select count(distinct date_create) from tb_hist not indexed where id_account=1 and date_real=%1")
                         .arg(qint64(entry))),
              "10");
    const double written = Sqlite(QString("select sum(ct) from tb_hist not indexed where id_account=1 and date_real=%1")
                                      .arg(qint64(entry)))
                               .toDouble();
    EXPECT_NEAR(RestNow(), before - written, 1e-9);
    EXPECT_NEAR(RestNow(), before - 552.5, 1e-9);
    // The categories keep the values they showed.
    EXPECT_EQ(Sqlite("select count(*) from tb_items not indexed where grp collate binary='5' and dte is null"), "13");
}

TEST_F(PacketData, FutureEntryDateWritesPlannedRowsAndKeepsTheBalance)
{
    TenLines();
    const double before = RestNow();
    const TPacketResult r = WritePacketLines(dm, 5, D(2024, 3, 11), today, {});
    EXPECT_EQ(r.Written, 10);
    EXPECT_FALSE(r.Realised);
    EXPECT_EQ(r.Delta, 0);
    EXPECT_EQ(Sqlite(QString("select group_concat(distinct kind collate binary) from tb_hist not indexed where date_real=%1")
                         .arg(qint64(D(2024, 3, 11)))),
              "2");
    EXPECT_DOUBLE_EQ(RestNow(), before);
}

TEST_F(PacketData, OptionsOffLeaveTheirFieldsEmpty)
{
    AddLine(U("Хлебушек"), Variant(12.0), U("Батон"));
    TPacketOptions off;
    off.Mem_Price = off.Mem_Quant = off.Mem_Prs = off.Mem_Frm = off.Mem_Comm = off.Mem_Rate = false;
    ASSERT_EQ(WritePacketLines(dm, 5, D(2024, 3, 1), today, off).Written, 1);
    EXPECT_EQ(Sqlite(QString("select ct, ifnull(price,'-'), ifnull(qdt,'-'), ifnull(id_person,'-'), "
                             "ifnull(id_firm,'-'), ifnull(comment,'-'), ifnull(rate,'-') from tb_hist not indexed where date_real=%1")
                         .arg(qint64(D(2024, 3, 1)))),
              "12.0|-|-|-|-|-|-");
}

TEST_F(PacketData, RateIsTheDaysAverageWhenTheAccountHasOne)
{
    // Account 1 has operations of rates 1 and 3 on 10 January 2024.
    EXPECT_DOUBLE_EQ(DayRate(dm, 1, D(2024, 1, 10)), 2);
    EXPECT_DOUBLE_EQ(DayRate(dm, 1, D(2024, 1, 11)), 0);
    AddLine(U("Хлебушек"), Variant(12.0), QString());
    ASSERT_EQ(WritePacketLines(dm, 5, D(2024, 1, 10), today, {}).Written, 1);
    EXPECT_EQ(Sqlite("select rate from tb_hist not indexed where ct=12.0"), "2.0");
}

// An account without a rate gives rows without one: a rate of 0 would be
// refused by the card, so such an operation could not be edited.
// The day's rate cannot be read: a failure, never a rate of 0 (which would
// put the account's rate in the day's place in a packet, a copy or a move).
TEST_F(PacketData, AnUnreadableDayRateIsAFailureNotZero)
{
    test::TFaultEnv env;
    TSysEnvScope scope(env);
    // The ledger's open cursor holds the pages it stands on, which are the
    // day's pages in so small a data set: released, so that the rate is read.
    dm.Db.ReleaseStatements();
    test::DropPageCache(dm.Db);
    env.FailCall(TSysOp::Read, 1, EIO);
    EXPECT_THROW(DayRate(dm, 1, D(2024, 1, 10)), Exception);
    EXPECT_DOUBLE_EQ(DayRate(dm, 1, D(2024, 1, 10)), 2); // the next read succeeds
}

TEST_F(PacketData, AnAccountWithoutARateGivesRowsWithoutOne)
{
    dm.Tb_Account.Edit();
    dm.Tb_Account.FieldByName("Rate")->Clear();
    dm.Tb_Account.Post();
    AddLine(U("Хлебушек"), Variant(12.0), QString());
    ASSERT_EQ(WritePacketLines(dm, 5, D(2024, 1, 10), today, {}).Written, 1);
    EXPECT_EQ(Sqlite("select ifnull(rate,'-') from tb_hist not indexed where ct=12.0"), "-");
}

TEST_F(PacketData, FailingLineIsNamedAndLeftOutOfTheBalance)
{
    TenLines();
    const double before = RestNow();
    // The post of the 30.25 line fails.
    dm.Tb_Hist.BeforePost = [](TDataSet *d) {
        if (d->FieldByName("Ct")->AsFloat() == 30.25)
            throw EDatabaseError("disk full");
    };
    const TPacketResult r = WritePacketLines(dm, 5, D(2024, 3, 5), today, {});
    EXPECT_EQ(r.Written, 9);
    EXPECT_EQ(r.NotWritten, QStringList{U("Покупка 3")});
    EXPECT_EQ(r.Delta, -5222500);
    EXPECT_EQ(Sqlite(QString("select count(*), sum(ct) from tb_hist not indexed where date_real=%1").arg(qint64(D(2024, 3, 5)))),
              "9|522.25");
    EXPECT_NEAR(RestNow(), before - 522.25, 1e-9);
}

TEST_F(PacketData, LineOutsideAnyRootIsSkipped)
{
    // Сирота (40) hangs under the missing category 99.
    ASSERT_TRUE(dm.Tb_Items.FindKey({Variant(int16_t(40))}));
    dm.Tb_Items.Edit();
    dm.Tb_Items.FieldByName("Grp")->SetAsString("5");
    dm.Tb_Items.FieldByName("Sm")->SetAsFloat(99);
    dm.Tb_Items.Post();
    AddLine(U("Хлебушек"), Variant(12.0), QString());
    const TPacketResult r = WritePacketLines(dm, 5, D(2024, 3, 5), today, {});
    EXPECT_EQ(r.Written, 1);
    EXPECT_TRUE(r.NotWritten.isEmpty());
    EXPECT_EQ(r.Delta, -120000);
}

TEST_F(PacketData, FailingBalanceUndoesTheWholePacket)
{
    TenLines();
    const double before = RestNow();
    const QString count = Sqlite("select count(*) from tb_hist not indexed");
    ASSERT_GE(dm.Tb_Hist.RecordCount(), 2);
    dm.Tb_Hist.First();
    dm.Tb_Hist.Next(); // the row the person stands on
    const std::string stoodOn = dm.Tb_Hist.FieldByName("Date_Create")->AsString().toStdString();
    dm.Tb_Account.BeforePost = [](TDataSet *) { throw EDatabaseError("locked"); };
    EXPECT_THROW(WritePacketLines(dm, 5, D(2024, 3, 5), today, {}), EDatabaseError);
    EXPECT_EQ(Sqlite("select count(*) from tb_hist not indexed"), count);
    EXPECT_DOUBLE_EQ(RestNow(), before);
    EXPECT_DOUBLE_EQ(dm.Tb_Account.FieldByName("Rest")->AsFloat(), before);
    // The ledger shows what is stored: none of the rolled-back rows.
    EXPECT_EQ(QString::number(dm.Tb_Hist.RecordCount()), Sqlite("select count(*) from tb_hist not indexed where id_account=1"));
    EXPECT_EQ(dm.Tb_Hist.FieldByName("Date_Create")->AsString().toStdString(), stoodOn);
    EXPECT_FALSE(dm.Tb_Hist.Locate("Date_Real", Variant::FromDate(D(2024, 3, 5)), {}));
}

TEST_F(PacketData, EmptyPacketWritesNothing)
{
    const QString count = Sqlite("select count(*) from tb_hist not indexed");
    const TPacketResult r = WritePacketLines(dm, 7, D(2024, 3, 5), today, {});
    EXPECT_EQ(r.Written, 0);
    EXPECT_EQ(Sqlite("select count(*) from tb_hist not indexed"), count);
}

} // namespace
} // namespace zorbel::test
