// Steps 2 and 3 of the import without the window: the preview rows with
// their marks and counts, then the written operations, the created people,
// firms and categories, the balance, and the all-or-nothing transaction.
#include "ImportFixture.h"

#include "analysis/ZorbImpPreview.h"
#include "analysis/ZorbImpWrite.h"
#include "memtable/VemtMemTable.h"
#include "platform/rtl/Exceptions.h"

namespace zorbel::test {
namespace {

class ImportWriteTest : public ::testing::Test {
protected:
    ImportWriteTest()
    {
        OpenImportTable(tab);
        settings.Columns = QStringList{U("Дата"), U("Статья1"), U("Расход"), U("Приход"), U("Кто"), U("Где"),
                                       U("Примеч."), U("Цена")};
        fallback = EncodeDate(2024, 6, 30);
    }
    TImportSummary Preview(const QStringList &lines)
    {
        return BuildImportPreview(tab, lines, settings, TImportCatalog::FromDataModule(data.Dm), fallback);
    }
    // The preview row n (from 1) as "field=value" for the named fields.
    QString Row(int n, const QStringList &fields)
    {
        tab.SetRecNo(n);
        QStringList out;
        for (const QString &f : fields) {
            const TField *field = tab.FieldByName(f);
            out.append(f + QLatin1Char('=') + (field->IsNull() ? QStringLiteral("~") : field->AsString()));
        }
        return out.join(QLatin1Char(' '));
    }
    int HistCount() { return data.Select(QStringLiteral("SELECT COUNT(*) FROM Tb_Hist")).value(0).toInt(); }

    TImportDataSet data;
    TVemtMemTable tab;
    TImportSettings settings;
    TDateTime fallback = 0;
};

TEST_F(ImportWriteTest, PreviewMarksWhatItCannotReadAndCountsTheRest)
{
    const TImportSummary s = Preview({
        U("Дата;Статья;Расход;Приход;Кто;Где;Примечание"), // header: no amount
        U("01.02.2024;Хлеб;1 234,50;;Иванов И.И.;Магазин;батон"),
        U("01.02.;Хлеб;10,00"),                            // a date with a missing part
        U("02.02.2024;Хлеб;12.50"),                        // a point that is no thousands separator
        U("03.02.2024;Хлеб;5,00;7,00;Петров"),             // both amounts: an expense
        U("   "),                                          // blank: skipped
        U("04.02.2024;ПЕРЕВОД;3,00"),                      // transfer: not importable
        U("05.02.2024;Зарплата;;100,00;;Новая фирма"),
        U("06.02.2024;Хлеб;1;;;;;12.5"),                   // unreadable price
    });
    EXPECT_EQ(tab.RecordCount(), 8);
    EXPECT_EQ(s.Importable, 4);
    EXPECT_EQ(s.ExpenseUnits, 12495000); // 1234.50 + 10 + 5
    EXPECT_EQ(s.IncomeUnits, 1000000);
    EXPECT_EQ(Row(1, {"rCt", "Ct", "Dt", "Level1"}), QStringLiteral("rCt=True Ct=~ Dt=~ Level1=~"));
    EXPECT_EQ(Row(2, {"Date_Real", "rdate", "Ct", "Itm1", "Itm2", "Itm3", "ID_Person", "Comment"}),
              U("Date_Real=01.02.2024 rdate=~ Ct=1234,5 Itm1=Статья расхода Itm2=Еда Itm3=Хлеб ID_Person=1 "
                "Comment=батон"));
    EXPECT_EQ(Row(3, {"Date_Real", "rdate"}), QStringLiteral("Date_Real=30.06.2024 rdate=False"));
    EXPECT_EQ(Row(4, {"Ct", "rCt"}), QStringLiteral("Ct=~ rCt=True"));
    EXPECT_EQ(Row(5, {"Ct", "Dt", "Pers", "ID_Person"}), U("Ct=5 Dt=~ Pers=Петров ID_Person=-50"));
    EXPECT_EQ(Row(6, {"Level1"}), QStringLiteral("Level1=-100"));
    EXPECT_EQ(Row(7, {"Dt", "Level1", "Level2", "ID_Firm"}),
              QStringLiteral("Dt=100 Level1=1 Level2=%1 ID_Firm=-50").arg(data.Id("Зарплата", 1)));
    EXPECT_EQ(Row(8, {"rCt", "Price"}), QStringLiteral("rCt=True Price=~"));
    EXPECT_EQ(ImportSummaryLine(8, s), U("Всего / К импорту = 8 / 4 строки ... Приход = 100,00  Расход = 1\u00a0249,50"));

    // Running step 2 again appends: the rows double.
    Preview({U("01.02.2024;Хлеб;1,00")});
    EXPECT_EQ(tab.RecordCount(), 9);
    EXPECT_EQ(CountImportable(tab).Importable, 5);
}

TEST_F(ImportWriteTest, WritingPostsOperationsAndMovesTheBalanceByWhatWasWritten)
{
    const double rest = data.Rest();
    Preview({U("01.03.2024;Хлеб;10,00"), U("02.03.2024;Хлеб;10,00;;Сидоров"), U("03.03.2024;Хлеб;10,00;;Сидоров"),
             U("04.03.2024;Зарплата;;5,00"), U("05.03.2024;;;"), U("06.03.2024;ПЕРЕВОД;1,00")});
    const TImportWriteResult r = WriteImport(data.Dm, tab);
    EXPECT_EQ(r.Written, 4);
    EXPECT_EQ(r.Failed, 0);
    EXPECT_EQ(r.BalanceChange(), -250000);
    EXPECT_DOUBLE_EQ(data.Rest(), rest - 25.0);
    const QStringList persons = data.Select(QStringLiteral("SELECT Id_Person FROM TB_Person WHERE Name = '")
                                            + U("Сидоров") + QStringLiteral("'"));
    ASSERT_EQ(persons.size(), 1); // two rows named him: one person
    const int food = data.Id("Еда", 0), bread = data.Id("Хлеб", food);
    const QStringList rows = data.Select(QStringLiteral(
        "SELECT Date_Real, Yr, Mn, Kind, Dt, Ct, Level1, Level2, Level3, ID_Person FROM Tb_Hist ORDER BY Date_Real"));
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0], QStringLiteral("%1|2024|3|1|~|10.0|0|%2|%3|~")
                           .arg(int(EncodeDate(2024, 3, 1))).arg(food).arg(bread));
    EXPECT_TRUE(rows[1].endsWith(QLatin1Char('|') + persons[0]));
    EXPECT_TRUE(rows[3].startsWith(QStringLiteral("%1|2024|3|1|5.0|~|1|").arg(int(EncodeDate(2024, 3, 4)))));
    EXPECT_FALSE(r.CategoriesCreated);
}

TEST_F(ImportWriteTest, ALongNoteReachesTheLedgerWhole)
{
    const QString note = QString(150, u'ж') + QStringLiteral("end");
    Preview({U("01.03.2024;Хлеб;10,00;;;;") + note});
    EXPECT_EQ(WriteImport(data.Dm, tab).Written, 1);
    EXPECT_EQ(data.Select(QStringLiteral("SELECT Comment FROM Tb_Hist")), QStringList{note});
}

TEST_F(ImportWriteTest, NewCategoriesHangAtTheirPlaceWithTheRowsKind)
{
    Preview({U("01.03.2024;Еда:Новинка;1,00"), U("01.03.2024;Зарплата:Премия;;2,00"),
             U("01.03.2024;Еда:Прочее2;1,00"), U("01.03.2024;Зарплата:Прочее2;;1,00"),
             U("01.03.2024;Новая ветка:Новая группа;3,00"), U("01.03.2024;Новая ветка:Новая группа;4,00"),
             U("01.03.2024;Статья дохода;1,00")});
    const TImportWriteResult r = WriteImport(data.Dm, tab);
    EXPECT_EQ(r.Written, 7);
    EXPECT_TRUE(r.CategoriesCreated);
    const int food = data.Id("Еда", 0), salary = data.Id("Зарплата", 1);
    EXPECT_EQ(data.Select(QStringLiteral("SELECT LEV, C FROM Tb_Items WHERE ID_ITM = %1").arg(data.Id("Новинка", food))),
              QStringList{QStringLiteral("2|-")});
    EXPECT_EQ(data.Select(QStringLiteral("SELECT LEV, C FROM Tb_Items WHERE ID_ITM = %1").arg(data.Id("Премия", salary))),
              QStringList{QStringLiteral("2|+")});
    // One name under two parents stays two categories.
    EXPECT_GE(data.Id("Прочее2", food), 0);
    EXPECT_GE(data.Id("Прочее2", salary), 0);
    EXPECT_NE(data.Id("Прочее2", food), data.Id("Прочее2", salary));
    // A new branch is created once, and its rows carry the whole path.
    const int branch = data.Id("Новая ветка");
    const int group = data.Id("Новая группа", branch);
    ASSERT_GE(group, 0);
    EXPECT_EQ(data.Select(QStringLiteral("SELECT COUNT(*) FROM Tb_Items WHERE ITM = '") + U("Новая группа") +
                          QStringLiteral("'")),
              QStringList{QStringLiteral("1")});
    EXPECT_EQ(data.Select(QStringLiteral("SELECT COUNT(*) FROM Tb_Hist WHERE Level1 = %1 AND Level2 = %2")
                              .arg(branch).arg(group)),
              QStringList{QStringLiteral("2")});
    EXPECT_EQ(data.Select(QStringLiteral("SELECT COUNT(*) FROM Tb_Hist WHERE Level1 IS NULL")),
              QStringList{QStringLiteral("0")});
    // The income root named by an expense row is widened, not duplicated.
    EXPECT_EQ(data.Select(QStringLiteral("SELECT ID_ITM, C FROM Tb_Items WHERE ITM = '") + U("Статья дохода") +
                          QStringLiteral("'")),
              QStringList{QStringLiteral("1|0")});
}

// An empty data set gets the root "Прочее" and "Подарки:Прочее" from a first
// file; a second file names "Подарки:Прочее" again. The first "Прочее" by id
// is the root: looked up alone it would leave level 2 empty while the
// preview still showed the name.
TEST_F(ImportWriteTest, AReimportedPathBooksToTheChildNotToARootNamesake)
{
    data.Select(QStringLiteral("DELETE FROM Tb_Items WHERE ID_ITM > 1")); // only the two roots
    data.Dm.Tb_Items.Close();
    data.Dm.Tb_Items.Open();
    settings.Columns = QStringList{U("Дата"), U("Статья1"), U("Примеч."), U("Приход"), U("Расход")};
    Preview({U("10.01.2026;Прочее;первый;;3,00"), U("11.01.2026;Подарки:Прочее;второй;;4,00")});
    ASSERT_EQ(WriteImport(data.Dm, tab).Written, 2);
    const int root = data.Id("Прочее"), gifts = data.Id("Подарки"), giftsOther = data.Id("Прочее", gifts);
    ASSERT_GE(root, 0);
    ASSERT_GE(giftsOther, 0);
    ASSERT_LT(root, giftsOther);
    const QString booked = QStringLiteral("SELECT Level1, Level2, Level3 FROM Tb_Hist WHERE Comment = '%1'");
    EXPECT_EQ(data.Select(booked.arg(U("второй"))), QStringList{QStringLiteral("%1|%2|~").arg(gifts).arg(giftsOther)});

    tab.EmptyTable();
    const TImportSummary summary = Preview({U("20.01.2026;Подарки:Прочее;дубль-тест;;5,00")});
    EXPECT_EQ(summary.Importable, 1);
    EXPECT_EQ(Row(1, {U("Itm1"), U("Itm2"), U("Level1"), U("Level2"), U("Level3")}),
              QStringLiteral("Itm1=%1 Itm2=%2 Level1=%3 Level2=%4 Level3=~")
                  .arg(U("Подарки"), U("Прочее")).arg(gifts).arg(giftsOther));
    ASSERT_EQ(WriteImport(data.Dm, tab).Written, 1);
    EXPECT_EQ(data.Select(booked.arg(U("дубль-тест"))),
              QStringList{QStringLiteral("%1|%2|~").arg(gifts).arg(giftsOther)});
    EXPECT_FALSE(WriteImport(data.Dm, tab).CategoriesCreated); // found, not made again
}

TEST_F(ImportWriteTest, AFailedOperationIsLeftOutOfTheBalanceAndCounted)
{
    const double rest = data.Rest();
    Preview({U("01.03.2024;Хлеб;10,00;;;;ok"), U("02.03.2024;Хлеб;99,00;;;;refused"),
             U("03.03.2024;Хлеб;1,00;;;;ok")});
    // The database itself refuses one row (a trigger of the connection's
    // own: a data file's triggers never run).
    data.Dm.Db.Db().Exec(QStringLiteral("CREATE TEMP TRIGGER refuse BEFORE INSERT ON Tb_Hist WHEN NEW.Comment = "
                                        "'refused' BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    const TImportWriteResult r = WriteImport(data.Dm, tab);
    EXPECT_EQ(r.Written, 2);
    EXPECT_EQ(r.Failed, 1);
    EXPECT_DOUBLE_EQ(data.Rest(), rest - 11.0);
    EXPECT_EQ(HistCount(), 2);
}

TEST_F(ImportWriteTest, AnErrorThatEndsThePassLeavesNothingBehind)
{
    const double rest = data.Rest();
    const QStringList items = data.Select(QStringLiteral("SELECT * FROM Tb_Items ORDER BY ID_ITM"));
    Preview({U("01.03.2024;Новая:Ветка;10,00;;Новый человек;Новая фирма"), U("02.03.2024;Хлеб;1,00")});
    auto saved = data.Dm.Tb_Account.BeforePost;
    data.Dm.Tb_Account.BeforePost = [](TDataSet *) { throw Exception(QStringLiteral("disk full")); };
    EXPECT_THROW(WriteImport(data.Dm, tab), Exception);
    data.Dm.Tb_Account.BeforePost = saved;
    EXPECT_EQ(HistCount(), 0);
    EXPECT_EQ(data.Select(QStringLiteral("SELECT * FROM Tb_Items ORDER BY ID_ITM")), items);
    EXPECT_EQ(data.Select(QStringLiteral("SELECT COUNT(*) FROM TB_Person")), QStringList{QStringLiteral("1")});
    EXPECT_EQ(data.Select(QStringLiteral("SELECT COUNT(*) FROM Tb_Firm")), QStringList{QStringLiteral("1")});
    EXPECT_DOUBLE_EQ(data.Rest(), rest);
    EXPECT_EQ(data.Dm.Tb_Account.State(), dsBrowse);
    // The same preview writes whole once the cause is gone.
    EXPECT_EQ(WriteImport(data.Dm, tab).Written, 2);
    EXPECT_DOUBLE_EQ(data.Rest(), rest - 11.0);
}

// The import writes its rows by statement, past Tb_Hist's post, and keeps the
// same bounds: a row whose amount was made larger than the money bound after
// it was read is not written; rows that would take the balance past the
// balance bound make the whole import fail with the Russian reason.
TEST_F(ImportWriteTest, TheBoundsHoldForImportedRowsToo)
{
    const double rest = data.Rest();
    Preview({U("01.03.2024;Хлеб;10,00"), U("02.03.2024;Хлеб;1,00")});
    tab.SetRecNo(1);
    tab.Edit();
    tab.FieldByName(QStringLiteral("Price"))->SetAsFloat(2e11);
    tab.Post();
    const TImportWriteResult r = WriteImport(data.Dm, tab);
    EXPECT_EQ(r.Written, 1);
    EXPECT_EQ(r.Failed, 1);
    EXPECT_EQ(data.Select(QStringLiteral("SELECT COUNT(*) FROM Tb_Hist WHERE Price > 1e11")),
              QStringList{QStringLiteral("0")});
    EXPECT_DOUBLE_EQ(data.Rest(), rest - 1.0);

    tab.EmptyTable();
    QStringList lines;
    for (int i = 0; i < 6; ++i)
        lines << U("03.03.2024;Зарплата;;99999999999,00");
    Preview(lines);
    const int before = HistCount();
    try {
        WriteImport(data.Dm, tab);
        ADD_FAILURE() << "imported";
    } catch (const EConvertError &e) {
        EXPECT_TRUE(e.Message().contains(U("остаток счёта"))) << e.Message().toStdString();
    }
    EXPECT_EQ(HistCount(), before);
    EXPECT_DOUBLE_EQ(data.Rest(), rest - 1.0);
}

} // namespace
} // namespace zorbel::test
