// The import window driven as a user drives it: files made the way users
// make them (a spreadsheet saved as tab-separated text by LibreOffice, a
// bank statement in CSV), the three steps, and the ledger, the categories
// and the balance checked against sums computed from the source rows.
// Malformed files give a message or a preview, never a crash or a hang.
#include "ImportFixture.h"

#include "analysis/ZorbImp.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/Money.h"
#include "platform/widgets/ModalScript.h"
#include "support/FaultEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace zorbel::test {
namespace {

class TFakeHost : public TImportHost {
public:
    TDateTime EntryDate() const override { return EncodeDate(2024, 6, 15); }
    void UpdateBalances(bool WithOpening, int64_t Amount) override
    {
        ++balanceUpdates;
        opening = WithOpening;
        amount = Amount;
    }
    void BuildCategoryTree(bool Expense) override { (Expense ? expenseTrees : incomeTrees)++; }
    int balanceUpdates = 0, expenseTrees = 0, incomeTrees = 0;
    bool opening = false;
    int64_t amount = -1;
};

// A source row of a test file: what a user keeps in a spreadsheet.
struct TSourceRow {
    int Y, M, D;
    const char *Path;  // category path, levels joined by ':'
    double Expense;    // shown negative in the spreadsheet
    double Income;
    const char *Person;
    const char *Firm;
    const char *Note;
};

const TSourceRow SourceRows[] = {
    {2024, 2, 1, "Еда:Хлеб", 1234.5, 0, "Иванов И.И.", "Магазин", "батон \"Нарезной\""},
    {2024, 2, 2, "Еда", 99.99, 0, "Петрова А.", "Рынок", ""},
    {2024, 2, 3, "Статья дохода:Зарплата", 0, 50000, "", "Работа", "аванс"},
    {2024, 2, 4, "Дом:Ремонт:Краска", 2500, 0, "Петрова А.", "", ""},
    {2024, 2, 5, "Дом:Ремонт:Кисти", 150.25, 0, "", "", ""},
    {2024, 2, 6, "Статья дохода:Пенсия", 0, 3000, "", "", "от бабушки"},
};

QString Xml(const QString &text) { return text.toHtmlEscaped(); }

// The source rows as a flat OpenDocument spreadsheet with Russian number and
// date formats, expenses negative with grouped thousands.
QByteArray Spreadsheet()
{
    QString x = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\" "
        "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" office:version=\"1.2\" "
        "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:automatic-styles>"
        "<number:number-style style:name=\"N1\" number:language=\"ru\" number:country=\"RU\"><number:number "
        "number:decimal-places=\"2\" number:min-decimal-places=\"2\" number:min-integer-digits=\"1\" "
        "number:grouping=\"true\"/></number:number-style>"
        "<number:date-style style:name=\"D1\" number:language=\"ru\" number:country=\"RU\"><number:day "
        "number:style=\"long\"/><number:text>.</number:text><number:month number:style=\"long\"/>"
        "<number:text>.</number:text><number:year number:style=\"long\"/></number:date-style>"
        "<style:style style:name=\"cN\" style:family=\"table-cell\" style:data-style-name=\"N1\"/>"
        "<style:style style:name=\"cD\" style:family=\"table-cell\" style:data-style-name=\"D1\"/>"
        "</office:automatic-styles><office:body><office:spreadsheet><table:table table:name=\"Лист1\">");
    const auto text = [](const QString &t) {
        return QStringLiteral("<table:table-cell office:value-type=\"string\"><text:p>") + Xml(t) +
               QStringLiteral("</text:p></table:table-cell>");
    };
    const auto number = [](double v) {
        return v == 0 ? QStringLiteral("<table:table-cell/>")
                      : QStringLiteral("<table:table-cell table:style-name=\"cN\" office:value-type=\"float\" "
                                       "office:value=\"%1\"/>")
                            .arg(v, 0, 'f', 2);
    };
    x += QStringLiteral("<table:table-row>");
    for (const char *h : {"Дата", "Статья", "Расход", "Приход", "Кто", "Где", "Примечание"})
        x += text(U(h));
    x += QStringLiteral("</table:table-row>");
    for (const TSourceRow &r : SourceRows) {
        x += QStringLiteral("<table:table-row><table:table-cell table:style-name=\"cD\" office:value-type=\"date\" "
                            "office:date-value=\"%1-%2-%3\"/>")
                 .arg(r.Y)
                 .arg(r.M, 2, 10, QLatin1Char('0'))
                 .arg(r.D, 2, 10, QLatin1Char('0'));
        x += text(U(r.Path)) + number(-r.Expense) + number(r.Income) + text(U(r.Person)) + text(U(r.Firm)) +
             text(U(r.Note)) + QStringLiteral("</table:table-row>");
    }
    x += QStringLiteral("</table:table></office:spreadsheet></office:body></office:document>");
    return x.toUtf8();
}

// The spreadsheet saved as tab-separated text by LibreOffice itself in each
// character set the tests read, by its number: 34 Windows-1251, 76 UTF-8,
// 65535 LibreOffice's "Unicode" (UTF-16, as a spreadsheet's "Unicode text").
// The conversions run once for the whole program, side by side, each
// LibreOffice with a profile of its own.
class TSavedSheets {
public:
    static constexpr int Charsets[] = {34, 76, 65535};

    static const TSavedSheets &Get()
    {
        static const TSavedSheets sheets;
        return sheets;
    }
    QString File(int charset) const { return dir_.path() + QStringLiteral("/%1/sheet.txt").arg(charset); }
    QString Failure; // why a file is missing

private:
    TSavedSheets()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) {
            Failure = QStringLiteral("LibreOffice (soffice) makes the test files");
            return;
        }
        const QString source = dir_.path() + QStringLiteral("/sheet.fods");
        QFile f(source);
        if (!f.open(QIODevice::WriteOnly) || f.write(Spreadsheet()) < 0) {
            Failure = QStringLiteral("cannot write ") + source;
            return;
        }
        f.close();
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int charset : Charsets) {
            const QString folder = dir_.path() + QStringLiteral("/%1").arg(charset);
            auto lo = std::make_unique<QProcess>();
            lo->start(QStringLiteral("soffice"),
                      {QStringLiteral("-env:UserInstallation=file://") + folder + QStringLiteral("/lo-profile"),
                       QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                       QStringLiteral("txt:Text - txt - csv (StarCalc):9,34,%1").arg(charset),
                       QStringLiteral("--outdir"), folder, source});
            runs.push_back(std::move(lo));
        }
        for (size_t i = 0; i < runs.size(); ++i)
            if (!runs[i]->waitForFinished(240000) || !QFile::exists(File(Charsets[i])))
                Failure += QStringLiteral("LibreOffice made no text in character set %1: %2\n")
                               .arg(Charsets[i])
                               .arg(QString::fromLocal8Bit(runs[i]->readAllStandardError()));
    }
    QTemporaryDir dir_;
};

class ImportWindowTest : public ::testing::Test {
protected:
    ImportWindowTest() : scope(env), form(data.Dm, host)
    {
        form.ExecuteOpenDialog = [this](QString &name) {
            name = fileToOpen;
            return !name.isEmpty();
        };
        env.SetNow(QDateTime(QDate(2024, 7, 1), QTime(12, 0)));
    }
    void WriteFile(const QString &name, const QByteArray &bytes)
    {
        fileToOpen = dir.path() + QLatin1Char('/') + name;
        QFile f(fileToOpen);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // Runs step 3, answering Yes and the final notice; returns the notice.
    QString Import()
    {
        TModalScript script;
        script.Press(QStringLiteral("Yes")).Press(QStringLiteral("OK"));
        form.ButImpClick(nullptr);
        EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
        return script.Seen().size() == 2 ? script.Seen()[1].Text : QString();
    }
    // Checks the ledger against the source rows: every row written once
    // with its amount and date, and the balance moved by their sum.
    void ExpectSourceRowsWritten(double restBefore)
    {
        int64_t change = 0;
        for (const TSourceRow &r : SourceRows)
            change += MoneyToUnits(r.Income) - MoneyToUnits(r.Expense);
        EXPECT_EQ(MoneyToUnits(data.Rest()) - MoneyToUnits(restBefore), change);
        const QStringList ops = data.Select(QStringLiteral(
            "SELECT Date_Real, coalesce(Ct, 0), coalesce(Dt, 0), Kind, Level1 IS NOT NULL FROM Tb_Hist "
            "ORDER BY Date_Real"));
        ASSERT_EQ(ops.size(), int(std::size(SourceRows)));
        for (size_t i = 0; i < std::size(SourceRows); ++i) {
            const TSourceRow &r = SourceRows[i];
            const QStringList cells = ops[int(i)].split(u'|');
            EXPECT_EQ(cells[0].toInt(), int(EncodeDate(r.Y, r.M, r.D))) << i;
            EXPECT_DOUBLE_EQ(cells[1].toDouble(), r.Expense) << i;
            EXPECT_DOUBLE_EQ(cells[2].toDouble(), r.Income) << i;
            EXPECT_EQ(cells[3], QStringLiteral("1"));
            EXPECT_EQ(cells[4], QStringLiteral("1")) << i; // every row has its category path
        }
        // The categories of the source paths, at their places.
        const int house = data.Id("Дом");
        const int repair = data.Id("Ремонт", house);
        EXPECT_GE(data.Id("Краска", repair), 0);
        EXPECT_GE(data.Id("Кисти", repair), 0);
        EXPECT_GE(data.Id("Зарплата", 1), 0);
        EXPECT_EQ(data.Select(QStringLiteral("SELECT C FROM Tb_Items WHERE ID_ITM = %1").arg(data.Id("Пенсия", 1))),
                  QStringList{QStringLiteral("+")});
        EXPECT_EQ(data.Select(QStringLiteral("SELECT COUNT(*) FROM Tb_Items WHERE ITM = '") + U("Ремонт") +
                              QStringLiteral("'")),
                  QStringList{QStringLiteral("1")});
        // New people and firms once each; the existing ones reused.
        EXPECT_EQ(data.Select(QStringLiteral("SELECT Name FROM TB_Person ORDER BY Name")),
                  (QStringList{U("Иванов И.И."), U("Петрова А.")}));
        EXPECT_EQ(data.Select(QStringLiteral("SELECT Firm FROM Tb_Firm ORDER BY Firm")),
                  (QStringList{U("Магазин"), U("Работа"), U("Рынок")}));
        EXPECT_EQ(data.Select(QStringLiteral("SELECT Comment FROM Tb_Hist WHERE Date_Real = %1")
                                  .arg(int(EncodeDate(2024, 2, 1)))),
                  QStringList{U("батон \"Нарезной\"")});
    }

    // Orders the column list as a user does, selecting an entry and pressing
    // the up button until the names stand first in this order.
    void ArrangeColumns(const QStringList &order)
    {
        for (int i = 0; i < order.size(); ++i) {
            const int at = form.Columns().indexOf(order[i]);
            ASSERT_GE(at, i) << order[i].toStdString();
            form.Lb->SetItemIndex(at);
            for (int k = at; k > i; --k)
                form.ButUpClick(nullptr);
        }
        ASSERT_EQ(form.Columns().mid(0, order.size()), order);
    }
    // Each written row's category path by its note, as "A>B>C"; a level
    // that is not the child of the one above reads "?".
    QStringList BookedPaths()
    {
        return data.Select(QStringLiteral(
            "SELECT h.Comment || '=' || coalesce(i1.ITM, '~') || coalesce('>' || i2.ITM, '') || "
            "coalesce('>' || i3.ITM, '') || CASE WHEN i1.ID_ITM IS NULL OR i1.ID_REF IS NOT NULL OR "
            "(h.Level2 IS NOT NULL AND i2.ID_REF IS NOT i1.ID_ITM) OR (h.Level3 IS NOT NULL AND "
            "(h.Level2 IS NULL OR i3.ID_REF IS NOT i2.ID_ITM)) THEN '?' ELSE '' END FROM Tb_Hist h LEFT JOIN Tb_Items i1 ON "
            "i1.ID_ITM = h.Level1 LEFT JOIN Tb_Items i2 ON i2.ID_ITM = h.Level2 LEFT JOIN Tb_Items i3 ON "
            "i3.ID_ITM = h.Level3 ORDER BY h.Date_Real, h.Comment"));
    }
    int HistRows() { return data.Select(QStringLiteral("SELECT COUNT(*) FROM Tb_Hist")).value(0).toInt(); }

    // Steps 1 to 3 over the spreadsheet saved as tab text in a character set.
    void ImportSpreadsheet(int charset)
    {
        const TSavedSheets &sheets = TSavedSheets::Get();
        ASSERT_TRUE(sheets.Failure.isEmpty()) << sheets.Failure.toStdString();
        fileToOpen = sheets.File(charset);
        host.ImpList = QStringLiteral("0;1;5;4;10;11;9");
        form.FormShow(nullptr);
        form.EdCSV->SetText(QStringLiteral("t"));
        form.ButLoadClick(nullptr);
        EXPECT_EQ(form.LabRecs->Caption(), QStringLiteral("7"));
        EXPECT_TRUE(form.M->Text().contains(U("Ремонт:Краска")));
        form.ButTestClick(nullptr);
        EXPECT_TRUE(form.PanRes->Caption().startsWith(U("Всего / К импорту = 7 / 6 строк")))
            << form.PanRes->Caption().toStdString();
        const double rest = data.Rest();
        EXPECT_EQ(Import(), U("Импорт произведён!"));
        EXPECT_EQ(host.balanceUpdates, 1);
        EXPECT_TRUE(host.opening);
        EXPECT_EQ(host.expenseTrees, 1);
        EXPECT_EQ(host.incomeTrees, 1);
        EXPECT_EQ(form.Caption(), U("Импорт расходов и приходов"));
        ExpectSourceRowsWritten(rest);
    }

    TFaultEnv env; // today is 1 July 2024
    TSysEnvScope scope;
    QTemporaryDir dir;
    TImportDataSet data;
    TFakeHost host;
    TFormImp form;
    QString fileToOpen;
};

TEST_F(ImportWindowTest, ASpreadsheetSavedAsWindows1251TabTextImportsWhole)
{
    ImportSpreadsheet(34);
}

TEST_F(ImportWindowTest, ASpreadsheetSavedAsUtf8TabTextImportsWhole)
{
    ImportSpreadsheet(76);
}

// A spreadsheet's "Unicode text": UTF-16, little-endian with its mark.
TEST_F(ImportWindowTest, ASpreadsheetSavedAsUnicodeTabTextImportsWhole)
{
    QFile f(TSavedSheets::Get().File(65535));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << TSavedSheets::Get().Failure.toStdString();
    const QByteArray bytes = f.readAll();
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE")) << bytes.left(8).toHex().toStdString();
    ASSERT_TRUE(bytes.contains(QByteArray("\t\0", 2)));
    ImportSpreadsheet(65535);
}

TEST_F(ImportWindowTest, ABankStatementInCsvWithQuotesAndAHeaderImports)
{
    // As a bank exports it: Windows-1251, ";" between quoted fields, a
    // header, decimal commas, grouped thousands, expenses with a minus, the
    // category path in three columns.
    WriteFile(QStringLiteral("bank.csv"),
              UnicodeToWin1251(U("\"Дата\";\"Категория\";\"Группа\";\"Статья\";\"Расход\";\"Приход\";\"Кто\";\"Примечание\"\r\n"
                                 "\"05.03.2024\";\"Статья расхода\";\"Еда\";\"Хлеб\";\"-1 234,56\";\"\";\"иванов и.и.\";\"Оплата; карта *1234\"\r\n"
                                 "\"06.03.2024\";\"\";\"Еда\";\"\";\"-10,00\";\"\";\"Новиков\";\"\"\r\n"
                                 "\"07.03.2024\";\"Статья дохода\";\"Зарплата\";\"\";\"\";\"100 000,00\";\"Новиков\";\"за февраль\"\r\n")));
    host.ImpList = QStringLiteral("0;1;2;3;5;4;10;9");
    form.FormShow(nullptr);
    form.ButLoadClick(nullptr);
    EXPECT_EQ(form.LabRecs->Caption(), QStringLiteral("4"));
    form.ButTestClick(nullptr);
    EXPECT_EQ(form.PanRes->Caption(),
              U("Всего / К импорту = 4 / 3 строки ... Приход = 100\u00a0000,00  Расход = 1\u00a0244,56"));
    const double rest = data.Rest();
    EXPECT_EQ(Import(), U("Импорт произведён!"));
    EXPECT_EQ(MoneyToUnits(data.Rest()) - MoneyToUnits(rest),
              MoneyToUnits(100000.0) - MoneyToUnits(1234.56) - MoneyToUnits(10.0));
    const int food = data.Id("Еда", 0);
    EXPECT_EQ(data.Select(QStringLiteral("SELECT Level1, Level2, Level3, Comment FROM Tb_Hist ORDER BY Date_Real")),
              (QStringList{QStringLiteral("0|%1|%2|").arg(food).arg(data.Id("Хлеб", food)) + U("Оплата; карта *1234"),
                           QStringLiteral("0|%1|~|~").arg(food),
                           QStringLiteral("1|%1|~|").arg(data.Id("Зарплата", 1)) + U("за февраль")}));
    // The new person is created once for the two rows naming him.
    EXPECT_EQ(data.Select(QStringLiteral("SELECT COUNT(*) FROM TB_Person")), QStringList{QStringLiteral("2")});
    EXPECT_EQ(host.expenseTrees, 0); // no category was created
}

// The re-import of a path from a UTF-16 file (little-endian with its mark)
// into a data set whose first "Прочее" is a root: the line books to
// Подарки's own Прочее, as the preview shows.
TEST_F(ImportWindowTest, AReimportedPathFromUtf16BooksToItsChild)
{
    data.Select(QStringLiteral("DELETE FROM Tb_Items WHERE ID_ITM > 1"));
    data.Dm.Tb_Items.Close();
    data.Dm.Tb_Items.Open();
    host.ImpList = QStringLiteral("0;1;9;4;5");
    const auto utf16 = [](const QString &text) {
        QByteArray bytes("\xFF\xFE");
        for (QChar c : text) {
            bytes.append(char(c.unicode() & 0xFF));
            bytes.append(char(c.unicode() >> 8));
        }
        return bytes;
    };
    form.FormShow(nullptr);
    WriteFile(QStringLiteral("first.txt"), utf16(U("10.01.2026;Прочее;первый;;3,00\r\n11.01.2026;Подарки:Прочее;второй;;4,00\r\n")));
    form.ButLoadClick(nullptr);
    form.ButTestClick(nullptr);
    EXPECT_EQ(Import(), U("Импорт произведён!"));
    const int gifts = data.Id("Подарки"), giftsOther = data.Id("Прочее", gifts);
    ASSERT_GE(giftsOther, 0);
    ASSERT_LT(data.Id("Прочее"), giftsOther);

    form.TabImp.EmptyTable();
    WriteFile(QStringLiteral("second.txt"), utf16(U("20.01.2026;Подарки:Прочее;дубль-тест;;5,00\r\n")));
    form.ButLoadClick(nullptr);
    form.ButTestClick(nullptr);
    ASSERT_EQ(form.TabImp.RecordCount(), 1);
    form.TabImp.First();
    EXPECT_EQ(form.TabImp.FieldByName(QStringLiteral("Level2"))->AsInteger(), giftsOther);
    EXPECT_EQ(Import(), U("Импорт произведён!"));
    EXPECT_EQ(data.Select(QStringLiteral("SELECT Level1, Level2, Level3 FROM Tb_Hist WHERE Comment = '") +
                          U("дубль-тест") + QStringLiteral("'")),
              QStringList{QStringLiteral("%1|%2|~").arg(gifts).arg(giftsOther)});
}

// The window's road with a data set that already holds the roots «Прочее»
// and «Транспорт» (and Статья расхода › Продукты) when step 2 reads a
// Windows-1251 bank file in the field order a user sets: every path books
// where its text puts it, also a new name written before a known root, on
// the first import and on the re-import; a root the file creates on one line
// is the one a later line names; two known names that are no branch are
// refused, and the user is told why; a negative income is an expense.
TEST_F(ImportWindowTest, EveryPathBooksWhereItsTextPutsIt)
{
    data.Select(QStringLiteral("DELETE FROM Tb_Items WHERE ID_ITM > 1"));
    data.Dm.Tb_Items.Close();
    data.Dm.Tb_Items.Open();
    data.AddItem("Прочее", 0, 0, "-");
    data.AddItem("Транспорт", 0, 0, "-");
    data.AddItem("Продукты", 1, TImportDataSet::ExpenseRoot, "-");
    form.show(); // shown, as the refused cell's hint is read from the grid
    ArrangeColumns({U("Дата"), U("Статья1"), U("Примеч."), U("Приход"), U("Расход")});
    const auto file = [](const char *text) {
        return UnicodeToWin1251(U(text).replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
    };
    WriteFile(QStringLiteral("bank.csv"), file("\"15.01.2026\";\"Подарки:Прочее\";\"Ёлочные игрушки\";\"\";\"1 050,00\"\n"
                                               "\"16.01.2026\";\"Хобби:Транспорт\";\"Журнал\";\"\";\"250,00\"\n"
                                               "\"17.01.2026\";\"Транспорт:Продукты\";\"Не туда\";\"\";\"99,00\"\n"
                                               "\"20.02.2025\";\"Дача:Транспорт:Бензин\";\"Канистра\";\"\";\"123 456 789,01\"\n"
                                               "\"03.03.2026\";\"Продукты:Статья расхода\";\"Хлеб\";\"\";\"87,50\"\n"
                                               "\"04.03.2026\";\"Транспорт:Такси\";\"Такси\";\"\";\"300,00\"\n"
                                               "\"31.12.2025\";\"Прочее\";\"Возврат\";\"-9 876 543 210,98\";\"\"\n"
                                               "\"05.05.2024\";\"Подарки\";\"Открытка\";\"\";\"10,00\"\n"
                                               "\"06.05.2024\";\"Статья дохода\";\"Аванс\";\"500 000 000,00\";\"\"\n"));
    form.ButLoadClick(nullptr);
    form.ButTestClick(nullptr);
    EXPECT_EQ(form.PanRes->Caption(),
              U("Всего / К импорту = 9 / 8 строк ... Приход = 500\u00a0000\u00a0000,00  Расход = "
                "10\u00a0000\u00a0001\u00a0697,49"));
    TVemtMemTable &tab = form.TabImp;
    const auto row = [&](int n) {
        tab.SetRecNo(n);
        QStringList cells;
        for (const char *f : {"Itm1", "Itm2", "Itm3", "Dt", "Ct"})
            cells.append(tab.FieldByName(QString::fromLatin1(f))->AsString());
        return cells.join(u'|');
    };
    EXPECT_EQ(row(1), U("Подарки|Прочее|||1050")); // the preview shows the levels as written
    EXPECT_EQ(row(2), U("Хобби|Транспорт|||250"));
    EXPECT_EQ(row(7), U("Прочее||||9876543210,98")); // the refund is an expense
    tab.SetRecNo(3);
    EXPECT_EQ(tab.FieldByName(QStringLiteral("Level2"))->AsInteger(), LevelInconsistent);
    // The refused cell says why, in its hint.
    QCoreApplication::processEvents();
    QAbstractItemModel *model = form.DBGImp->View()->model();
    const QString why = model->data(model->index(2, 2), Qt::ToolTipRole).toString();
    EXPECT_TRUE(why.contains(U("«Статья расхода › Продукты»"))) << why.toStdString();
    EXPECT_TRUE(model->data(model->index(1, 2), Qt::ToolTipRole).toString().isEmpty());

    const double rest = data.Rest();
    const QString notice = Import();
    EXPECT_TRUE(notice.startsWith(U("Импорт произведён!"))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(why)) << notice.toStdString();
    EXPECT_EQ(MoneyToUnits(data.Rest()) - MoneyToUnits(rest),
              MoneyToUnits(500000000.0) - MoneyToUnits(10000001697.49));
    const QStringList booked{U("Открытка=Подарки"),
                             U("Аванс=Статья дохода"),
                             U("Канистра=Дача>Транспорт>Бензин"),
                             U("Возврат=Прочее"),
                             U("Ёлочные игрушки=Подарки>Прочее"),
                             U("Журнал=Хобби>Транспорт"),
                             U("Хлеб=Статья расхода>Продукты"),
                             U("Такси=Транспорт>Такси")};
    EXPECT_EQ(BookedPaths(), booked);
    EXPECT_EQ(data.Select(QStringLiteral("SELECT coalesce(Dt, '~'), Ct FROM Tb_Hist WHERE Comment = '") + U("Возврат") +
                          QStringLiteral("'")),
              QStringList{QStringLiteral("~|9876543210.98")});
    const QStringList items = data.Select(QStringLiteral("SELECT * FROM Tb_Items ORDER BY ID_ITM"));

    // The re-import books to the categories the first one made, and makes none.
    WriteFile(QStringLiteral("again.csv"), file("\"15.01.2027\";\"Подарки:Прочее\";\"снова игрушки\";\"\";\"1,00\"\n"
                                                "\"16.01.2027\";\"Хобби:Транспорт\";\"снова журнал\";\"\";\"2,00\"\n"
                                                "\"17.01.2027\";\"Дача:Транспорт:Бензин\";\"снова канистра\";\"\";\"3,00\"\n"));
    form.ButLoadClick(nullptr);
    form.ButTestClick(nullptr);
    EXPECT_EQ(Import(), U("Импорт произведён!"));
    EXPECT_EQ(BookedPaths().mid(booked.size()), (QStringList{U("снова игрушки=Подарки>Прочее"),
                                                             U("снова журнал=Хобби>Транспорт"),
                                                             U("снова канистра=Дача>Транспорт>Бензин")}));
    EXPECT_EQ(data.Select(QStringLiteral("SELECT * FROM Tb_Items ORDER BY ID_ITM")), items);
    form.hide();
}

// Step 2 shows what step 3 will write, and no repeated step books a line
// twice: the same file loaded and previewed twice, step 3 pressed again,
// step 2 run again over lines already written, a file loaded after step 2,
// and a write that failed, then its retry. The account's caption follows
// every write.
TEST_F(ImportWindowTest, ARepeatedStepNeverBooksALineTwice)
{
    host.ImpList = QStringLiteral("0;1;5");
    form.FormShow(nullptr);
    const QString account = form.PanAcc->Caption();
    ASSERT_EQ(account, U("Мой первый счёт = 0 $"));
    WriteFile(QStringLiteral("a.csv"), UnicodeToWin1251(U("01.02.2024;Хлеб;10,00\n02.02.2024;Хлеб;20,00\n"
                                                          "03.02.2024;ПЕРЕВОД;1,00\n")));
    for (int i = 0; i < 2; ++i) {
        form.ButLoadClick(nullptr);
        form.ButTestClick(nullptr);
    }
    EXPECT_EQ(form.PanRes->Caption(), U("Всего / К импорту = 3 / 2 строки ... Приход = 0,00  Расход = 30,00"));
    EXPECT_TRUE(Import().startsWith(U("Импорт произведён!")));
    EXPECT_EQ(HistRows(), 2);
    EXPECT_EQ(form.PanAcc->Caption(), U("Мой первый счёт = -30 $"));
    // What stays in the preview is what was not written.
    EXPECT_EQ(form.TabImp.RecordCount(), 1);
    EXPECT_EQ(form.PanRes->Caption(), U("Всего / К импорту = 1 / 0 строк ... Приход = 0,00  Расход = 0,00"));

    // Step 3 again: nothing is left to write, and the user is told so.
    {
        TModalScript script;
        script.Press(QStringLiteral("OK"));
        form.ButImpClick(nullptr);
        ASSERT_EQ(script.Seen().size(), 1u);
        EXPECT_EQ(script.Seen()[0].Text, U("В таблице нет строк для записи."));
    }
    // Step 2 again over the lines just written: step 3 asks before writing
    // them a second time, and No writes nothing.
    form.ButTestClick(nullptr);
    {
        TModalScript script;
        script.Press(QStringLiteral("No"));
        form.ButImpClick(nullptr);
        ASSERT_EQ(script.Seen().size(), 1u);
        EXPECT_EQ(script.Seen()[0].Text, U("Эти строки уже записаны в Zorbel. Записать их ещё раз?"));
    }
    EXPECT_EQ(HistRows(), 2);

    // Another file loaded after step 2: step 3 waits for a new step 2.
    WriteFile(QStringLiteral("b.csv"), UnicodeToWin1251(U("05.02.2024;Хлеб;5,00\n")));
    form.ButLoadClick(nullptr);
    {
        TModalScript script;
        script.Press(QStringLiteral("OK"));
        form.ButImpClick(nullptr);
        ASSERT_EQ(script.Seen().size(), 1u);
        EXPECT_TRUE(script.Seen()[0].Text.startsWith(U("Текст в окне изменён после шага 2"))) <<
            script.Seen()[0].Text.toStdString();
    }
    EXPECT_EQ(HistRows(), 2);

    // A write that fails leaves nothing and keeps the preview; its retry
    // writes each line once.
    form.ButTestClick(nullptr);
    auto saved = data.Dm.Tb_Account.BeforePost;
    data.Dm.Tb_Account.BeforePost = [](TDataSet *) { throw Exception(QStringLiteral("disk full")); };
    EXPECT_TRUE(Import().startsWith(U("Импорт не выполнен, в данные ничего не записано.")));
    data.Dm.Tb_Account.BeforePost = saved;
    EXPECT_EQ(HistRows(), 2);
    EXPECT_EQ(form.TabImp.RecordCount(), 1);
    EXPECT_EQ(form.PanAcc->Caption(), U("Мой первый счёт = -30 $"));
    EXPECT_TRUE(Import().startsWith(U("Импорт произведён!")));
    EXPECT_EQ(HistRows(), 3);
    EXPECT_EQ(form.PanAcc->Caption(), U("Мой первый счёт = -35 $"));
    EXPECT_FALSE(form.ButImp->isEnabled());
}

// Step 3's progress in the caption changes once per hundred rows, and the
// caption comes back at the end.
TEST_F(ImportWindowTest, TheProgressCaptionChangesInSteps)
{
    host.ImpList = QStringLiteral("0;1;5");
    form.FormShow(nullptr);
    QStringList lines;
    for (int i = 0; i < 250; ++i)
        lines << QStringLiteral("%1.03.2024;").arg(1 + i % 28) + U("Хлеб;1,00");
    form.M->SetText(lines.join(u'\n'));
    form.ButTestClick(nullptr);
    QStringList captions;
    QObject::connect(&form, &QWidget::windowTitleChanged, [&](const QString &title) { captions << title; });
    EXPECT_EQ(Import(), U("Импорт произведён!"));
    EXPECT_EQ(captions, (QStringList{QStringLiteral("100"), QStringLiteral("200"), U("Импорт расходов и приходов")}));
    EXPECT_EQ(HistRows(), 250);
}

// One line of binary bytes (NULs among them) in a readable file: the other
// lines import, the damaged one is a marked row that is not imported, its
// text in the note.
TEST_F(ImportWindowTest, OneBinaryLineAmongGoodOnesIsMarkedAndTheRestImports)
{
    QByteArray binary("\x00\x01PK\x03\x04\x00\x00\x14\x00\x08\x08\x00\x00\xe3\xb3\x00\xff\x07", 20);
    WriteFile(QStringLiteral("damaged.csv"),
              UnicodeToWin1251(U("01.02.2024;Еда;10,00\r\n02.02.2024;Еда;20,00\r\n")) + binary + "\r\n" +
                  UnicodeToWin1251(U("03.02.2024;Еда;30,50\r\n")));
    host.ImpList = QStringLiteral("0;1;5");
    form.FormShow(nullptr);
    {
        TModalScript none; // no message: the file loads
        form.ButLoadClick(nullptr);
        EXPECT_TRUE(none.Seen().empty()) << none.Seen()[0].Text.toStdString();
    }
    EXPECT_EQ(form.LabRecs->Caption(), QStringLiteral("4"));
    EXPECT_TRUE(form.M->Text().contains(QChar(ImportDamageMark)));
    form.ButTestClick(nullptr);
    EXPECT_EQ(form.PanRes->Caption(), U("Всего / К импорту = 4 / 3 строки ... Приход = 0,00  Расход = 60,50"));
    TVemtMemTable &tab = form.TabImp;
    tab.First();
    tab.MoveBy(2);
    EXPECT_TRUE(tab.FieldByName(QStringLiteral("rCt"))->AsBoolean());
    EXPECT_TRUE(tab.FieldByName(QStringLiteral("Ct"))->IsNull());
    EXPECT_TRUE(tab.FieldByName(QStringLiteral("Comment"))->AsString().contains(QStringLiteral("PK")));
    const double rest = data.Rest();
    EXPECT_EQ(Import(), U("Импорт произведён!"));
    EXPECT_EQ(MoneyToUnits(rest) - MoneyToUnits(data.Rest()), MoneyToUnits(60.5));
    EXPECT_EQ(data.Select(QStringLiteral("SELECT COUNT(*) FROM Tb_Hist")), QStringList{QStringLiteral("3")});
}

TEST_F(ImportWindowTest, MalformedFilesGiveAMessageOrAPreview)
{
    host.ImpList = QStringLiteral("0;1;5");
    form.FormShow(nullptr);
    // Binary bytes: a message, and the memo stays as it was.
    form.M->SetText(QStringLiteral("kept"));
    WriteFile(QStringLiteral("picture.csv"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    {
        TModalScript script;
        script.Press(QStringLiteral("OK"));
        form.ButLoadClick(nullptr);
        ASSERT_EQ(script.Seen().size(), 1u);
        EXPECT_TRUE(script.Seen()[0].Text.contains(U("не текстовый")));
    }
    EXPECT_EQ(form.M->Text(), QStringLiteral("kept"));

    // A read that fails: a message, and nothing changes.
    WriteFile(QStringLiteral("good.csv"), "01.02.2024;;5,00\n");
    env.FailCall(TSysOp::Read, 1, EIO);
    {
        TModalScript script;
        script.Press(QStringLiteral("OK"));
        form.ButLoadClick(nullptr);
        ASSERT_EQ(script.Seen().size(), 1u);
        EXPECT_TRUE(script.Seen()[0].Text.startsWith(U("Не удалось прочитать файл")));
    }
    env.Heal();
    EXPECT_EQ(form.M->Text(), QStringLiteral("kept"));

    // One huge line: a message.
    WriteFile(QStringLiteral("huge.csv"), QByteArray(5 * 1024 * 1024, '7'));
    {
        TModalScript script;
        script.Press(QStringLiteral("OK"));
        form.ButLoadClick(nullptr);
        ASSERT_EQ(script.Seen().size(), 1u);
        EXPECT_TRUE(script.Seen()[0].Text.contains(U("Строка 1 длиннее")));
    }

    // Control characters and stray bytes in a line: a preview row that says
    // nothing was read from it.
    WriteFile(QStringLiteral("odd.csv"), QByteArray("\x01\x02;\xff\xfe;\x7f\n01.02.2024;;5,00\n"));
    form.ButLoadClick(nullptr);
    form.ButTestClick(nullptr);
    EXPECT_EQ(form.TabImp.RecordCount(), 2);
    EXPECT_TRUE(form.PanRes->Caption().startsWith(U("Всего / К импорту = 2 / 1 строка")));

    // 100,000 lines: a preview of every one.
    QByteArray many;
    for (int i = 0; i < 100000; ++i)
        many += QByteArray::number(1 + i % 28) + ".02.2024;" + (i % 2 ? "Хлеб" : "Еда") + ";1,00\n";
    WriteFile(QStringLiteral("many.csv"), many);
    form.TabImp.EmptyTable();
    form.ButLoadClick(nullptr);
    EXPECT_EQ(form.LabRecs->Caption(), QStringLiteral("100000"));
    QElapsedTimer timer;
    timer.start();
    form.ButTestClick(nullptr);
    EXPECT_EQ(form.TabImp.RecordCount(), 100000);
    EXPECT_TRUE(form.PanRes->Caption().contains(U("100000 / 100000 строк")));
    EXPECT_LT(timer.elapsed(), 60000);
}

TEST_F(ImportWindowTest, TheColumnMapIsEditedAndRememberedOnClose)
{
    host.ImpList = QStringLiteral("12;99;x;0");
    host.ImpDelims = QStringLiteral(".") + QChar(1) + QStringLiteral("/") + QChar(1) + QStringLiteral("2") + QChar(1) +
                     QStringLiteral("|");
    // The layout is read when the window shows; Esc closes it, and closing
    // remembers the edited layout.
    TModalScript script;
    script.Then([&](TForm &f) {
        EXPECT_EQ(form.Columns().mid(0, 3), (QStringList{U("Курс"), U("Дата"), U("Статья1")}));
        EXPECT_EQ(form.Lb->ItemIndex(), 0);
        EXPECT_EQ(form.EdNum->Text(), QStringLiteral("."));
        EXPECT_EQ(form.EdDate->Text(), QStringLiteral("/"));
        EXPECT_EQ(form.CbDate->ItemIndex(), 2);
        EXPECT_EQ(form.EdItm->Text(), QStringLiteral("|"));

        form.ButUpClick(nullptr); // not past the top
        EXPECT_EQ(form.Lb->ItemIndex(), 0);
        form.ButDownClick(nullptr);
        EXPECT_EQ(form.Columns().mid(0, 2), (QStringList{U("Дата"), U("Курс")}));
        EXPECT_EQ(form.Lb->ItemIndex(), 1);
        form.ButAddSkipClick(nullptr); // "---" before the selected entry
        EXPECT_EQ(form.Columns().mid(0, 3), (QStringList{U("Дата"), U("---"), U("Курс")}));
        form.Lb->SetItemIndex(2);
        form.ButDelSkipClick(nullptr); // only "---" is deleted
        EXPECT_EQ(form.Lb->Count(), 14);
        WORD key = VK_INSERT;
        form.LbKeyDown(nullptr, key, 0);
        EXPECT_EQ(form.Lb->Count(), 15);
        key = VK_DELETE;
        form.LbKeyDown(nullptr, key, 0);
        form.Lb->SetItemIndex(1);
        form.ButDelSkipClick(nullptr);
        EXPECT_EQ(form.Lb->Count(), 13);
        EXPECT_EQ(form.Lb->ItemIndex(), 0); // the entry before
        SendKeyToFocus(f, Qt::Key_Escape);
    });
    form.ShowModal();
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(host.ImpList.startsWith(QStringLiteral("0;12;1;"))) << host.ImpList.toStdString();
    EXPECT_EQ(host.ImpDelims, QStringLiteral(".") + QChar(1) + QStringLiteral("/") + QChar(1) + QStringLiteral("2") +
                                  QChar(1) + QStringLiteral("|"));
}

TEST_F(ImportWindowTest, ClearingDeletingAndCancellingTheWrite)
{
    host.ImpList = QStringLiteral("0;1;4;5");
    form.FormShow(nullptr);
    EXPECT_FALSE(form.ButImp->isEnabled());
    form.M->SetText(U("01.02.2024;Хлеб;;1,00\n02.02.2024;Хлеб;;2,00\n03.02.2024;Нечто;;3,00\nзаголовок"));
    form.ButTestClick(nullptr);
    EXPECT_TRUE(form.ButImp->isEnabled());
    EXPECT_TRUE(form.mDelImp->Enabled());

    // Cancelling the question writes nothing.
    {
        TModalScript script;
        script.Press(QStringLiteral("No"));
        form.ButImpClick(nullptr);
    }
    EXPECT_EQ(data.Select(QStringLiteral("SELECT COUNT(*) FROM Tb_Hist")), QStringList{QStringLiteral("0")});
    EXPECT_EQ(host.balanceUpdates, 0);

    // Deleting the second row recounts the rest.
    form.TabImp.SetRecNo(2);
    {
        TModalScript script;
        script.Press(QStringLiteral("Yes"));
        form.mDelImpClick(nullptr);
    }
    EXPECT_EQ(form.TabImp.RecordCount(), 3);
    EXPECT_EQ(form.TabImp.RecNo(), 1);
    EXPECT_EQ(form.PanRes->Caption(), U("Всего / К импорту = 3 / 2 строки ... Приход = 0,00  Расход = 4,00"));

    // Clearing asks first.
    {
        TModalScript script;
        script.Press(QStringLiteral("No")).Press(QStringLiteral("Yes"));
        form.ButClearClick(nullptr);
        EXPECT_EQ(form.TabImp.RecordCount(), 3);
        form.ButClearClick(nullptr);
    }
    EXPECT_EQ(form.TabImp.RecordCount(), 0);
    EXPECT_EQ(form.PanRes->Caption(), QString());
    EXPECT_FALSE(form.ButImp->isEnabled());
    EXPECT_FALSE(form.mClearImp->Enabled());

    // With an empty memo step 2 asks for a file instead.
    form.M->SetText(QString());
    bool asked = false;
    form.ExecuteOpenDialog = [&](QString &) { return asked = true, false; };
    form.ButTestClick(nullptr);
    EXPECT_TRUE(asked);
}

TEST_F(ImportWindowTest, MarkedCellsAreColoured)
{
    host.ImpList = QStringLiteral("0;1;4;5");
    form.FormShow(nullptr);
    form.resize(2400, 600);
    form.M->SetText(U("01.02.;Хлеб;;1,00\n01.02.2024;Нечто;;2,00\n01.02.2024;Хлеб"));
    form.ButTestClick(nullptr);
    form.show();
    QTableView *view = form.DBGImp->View();
    view->clearSelection();
    form.TabImp.Last(); // the marks of the other rows show in their own colours
    QCoreApplication::processEvents();
    const QImage image = view->viewport()->grab().toImage();
    // A cell's colour is its background's: the colour most of its pixels
    // have, wherever its text's glyphs fall in whatever font.
    const auto colourAt = [&](int row, int column) {
        const QRect cell = view->visualRect(view->model()->index(row, column)).adjusted(1, 1, -1, -1);
        std::map<QRgb, int> counts;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                ++counts[image.pixel(x, y)];
        const auto most = std::max_element(counts.begin(), counts.end(),
                                           [](const auto &a, const auto &b) { return a.second < b.second; });
        return QColor(most->first);
    };
    // Colours compare within the rounding of the screen's colour depth.
    const auto near = [](const QColor &a, const QColor &b) {
        return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
               std::abs(a.blue() - b.blue()) <= 2;
    };
    const QColor green(0xD0, 0xE7, 0xD1); // 13756112, stored as BGR
    const QColor pink(0xFC, 0xD0, 0xCD);  // 13488636, stored as BGR
    // The unreadable date took the earlier of today and the entry date.
    form.TabImp.First();
    EXPECT_EQ(form.TabImp.FieldByName(QStringLiteral("Date_Real"))->AsDateTime(), host.EntryDate());
    form.TabImp.Last();
    QCoreApplication::processEvents();
    EXPECT_TRUE(near(colourAt(0, 0), green)); // fallback date
    EXPECT_TRUE(near(colourAt(1, 1), green)); // a category not found
    EXPECT_TRUE(near(colourAt(2, 4), pink));  // no amount, also in the selected row
    EXPECT_TRUE(near(colourAt(2, 5), pink));
    EXPECT_FALSE(near(colourAt(1, 2), green)); // an unmarked cell
    form.hide();
}

} // namespace
} // namespace zorbel::test
