// Grid export: comma/text files and BIFF4 worksheets read back by Python's
// csv module, xlrd and LibreOffice; quoting, code page, splitting into
// several files, the used range and write failures.
#include "core/ZorbGridExport.h"
#include "memtable/VemtMemTable.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/DateTime.h"
#include "platform/system/SysEnv.h"
#include "support/ChildProcess.h"
#include "support/FaultEnv.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace zorbel {

namespace {

QString S(const char *text) { return QString::fromUtf8(text); }

// Runs a program; its standard output as UTF-8, "exit N: ..." when it fails.
QString RunProgram(const QString &program, const QStringList &args, const QString &workDir = QString())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PYTHONIOENCODING"), QStringLiteral("utf-8"));
    test::TChildOptions options;
    options.TimeoutMs = 180000;
    options.WorkDir = workDir;
    options.Environment = env.toStringList();
    const test::TChildRun p = test::RunChild(program, args, options);
    EXPECT_TRUE(p.Finished) << program.toStdString();
    QString out = QString::fromUtf8(p.Out);
    if (p.ExitCode != 0)
        ADD_FAILURE() << program.toStdString() << ": " << out.toStdString() << p.Err.toStdString();
    if (p.ExitCode != 0)
        return QStringLiteral("exit %1: %2 %3").arg(p.ExitCode).arg(out, QString::fromUtf8(p.Err));
    return out;
}

// The system's Python, which has xlrd (a private interpreter may not).
const QString Python = QStringLiteral("/usr/bin/python3");

class GridExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        table.FieldDefs().Add(QStringLiteral("Date_Real"), ftDate);
        table.FieldDefs().Add(QStringLiteral("Itm"), ftString, 60);
        table.FieldDefs().Add(QStringLiteral("Dt"), ftFloat);
        table.FieldDefs().Add(QStringLiteral("Qty"), ftInteger);
        table.FieldDefs().Add(QStringLiteral("Kind"), ftString, 1);
        table.FieldDefs().Add(QStringLiteral("Secret"), ftString, 20);
        table.Open();
        layout.Columns = {
            {true, S("Дата"), QStringLiteral("Date_Real"), table.FieldByName(QStringLiteral("Date_Real")),
             TExportAlign::Center, 70},
            {true, S("Статья"), QStringLiteral("Itm"), table.FieldByName(QStringLiteral("Itm")),
             TExportAlign::Left, 150},
            {true, S("Приход"), QStringLiteral("Dt"), table.FieldByName(QStringLiteral("Dt")),
             TExportAlign::Right, 80},
            {true, S("Кол"), QStringLiteral("Qty"), table.FieldByName(QStringLiteral("Qty")),
             TExportAlign::Right, 40},
            {true, S("В"), QStringLiteral("kind"), table.FieldByName(QStringLiteral("Kind")),
             TExportAlign::Center, 20},
            {false, S("Скрыто"), QStringLiteral("Secret"), table.FieldByName(QStringLiteral("Secret")),
             TExportAlign::Left, 33},
        };
        layout.Font = {QStringLiteral("Tahoma"), 9, true, false, false, false, 0x0000FF};
        layout.TitleFont = {QStringLiteral("Tahoma"), 8, false, true, false, false, 0x00FF00};
    }
    void Add(const QVariant &date, const QString &itm, const QVariant &dt, int qty, const QString &kind,
             const QString &secret = QString())
    {
        table.Append();
        if (date.isValid())
            table.FieldByName(QStringLiteral("Date_Real"))->SetAsDateTime(EncodeDate(date.toDate().year(), date.toDate().month(), date.toDate().day()));
        table.FieldByName(QStringLiteral("Itm"))->SetAsString(itm);
        if (dt.isValid())
            table.FieldByName(QStringLiteral("Dt"))->SetAsFloat(dt.toDouble());
        table.FieldByName(QStringLiteral("Qty"))->SetAsInteger(qty);
        table.FieldByName(QStringLiteral("Kind"))->SetAsString(kind);
        table.FieldByName(QStringLiteral("Secret"))->SetAsString(secret);
        table.Post();
    }
    void AddSample()
    {
        Add(QDate(2024, 3, 5), S("Продукты; хлеб"), 120.5, 3, QStringLiteral("1"), QStringLiteral("x"));
        Add(QVariant(), S("Кавычки \"в\" тексте"), QVariant(), -7, QStringLiteral("2"));
        Add(QDate(1999, 12, 31), S("Строка\nвторая"), 0.0, 0, QStringLiteral("1"));
        Add(QDate(2024, 1, 1), QString(), 1e9, 2000000000, QStringLiteral("1"));
    }
    QString Path(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/gridexp-XXXXXX")};
    TVemtMemTable table;
    TGridExportLayout layout;
};

TEST(GridExportSeparator, SettingGivesTheSeparator)
{
    EXPECT_EQ(ExportSeparator(QStringLiteral("t")), QChar(9));
    EXPECT_EQ(ExportSeparator(QString()), QLatin1Char(';'));
    EXPECT_EQ(ExportSeparator(QStringLiteral(",")), QLatin1Char(','));
    EXPECT_EQ(ExportSeparator(QStringLiteral("|x")), QLatin1Char('|'));
}

TEST(GridExportNames, FurtherFilesTakeTheirNumberBeforeTheExtension)
{
    EXPECT_EQ(XlsPartFileName(QStringLiteral("/a/b.c/ledger.xls"), 2), QStringLiteral("/a/b.c/ledger2.xls"));
    EXPECT_EQ(XlsPartFileName(QStringLiteral("/a/ledger"), 3), QStringLiteral("/a/ledger3"));
}

TEST_F(GridExport, CommaFileReadsBackWithPythonCsv)
{
    AddSample();
    table.Last();
    const int last = table.RecNo();
    ASSERT_GT(last, 1);
    QString file = Path(QStringLiteral("ledger.csv"));
    QString error;
    ASSERT_TRUE(SaveGridDelimited(&table, layout, QLatin1Char(';'), file, &error)) << error.toStdString();
    EXPECT_EQ(table.RecNo(), last); // the grid stays on the row it stood on
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith(UnicodeToWin1251(S("Дата;Статья;Приход;Кол;В\r\n"))));
    // Compare through Python's own view of each cell.
    const char *check =
        "import csv,sys\n"
        "rows=list(csv.reader(open(sys.argv[1],encoding='cp1251',newline=''),delimiter=';'))\n"
        "assert len(rows)==5, rows\n"
        "assert all(len(r)==5 for r in rows), rows\n"
        "assert rows[0]==['Дата','Статья','Приход','Кол','В'], rows[0]\n"
        "assert rows[1][1]=='Продукты; хлеб' and rows[1][2] in ('120.5','120,5') and rows[1][3]=='3' and rows[1][4]==' ', rows[1]\n"
        "assert rows[2][0]=='' and rows[2][1]=='Кавычки \"в\" тексте' and rows[2][2]=='' and rows[2][3]=='-7' and rows[2][4]=='?', rows[2]\n"
        "assert rows[3][1]=='Строка\\nвторая' and rows[3][2]=='0', rows[3]\n"
        "assert rows[4][1]=='' and rows[4][3]=='2000000000', rows[4]\n"
        "print('ok')\n";
    EXPECT_EQ(RunProgram(Python, {QStringLiteral("-c"), QString::fromUtf8(check), file}).trimmed(), QStringLiteral("ok"));
}

TEST_F(GridExport, TabSeparatedTextAndCharactersOutsideTheCodePage)
{
    Add(QDate(2024, 3, 5), S("Евро € и иероглиф 字"), 1.0, 1, QStringLiteral("1"));
    QString file = Path(QStringLiteral("ledger.txt"));
    ASSERT_TRUE(SaveGridDelimited(&table, layout, ExportSeparator(QStringLiteral("t")), file, nullptr));
    const char *check =
        "import csv,sys\n"
        "rows=list(csv.reader(open(sys.argv[1],encoding='cp1251',newline=''),delimiter='\\t'))\n"
        "assert len(rows)==2 and len(rows[1])==5, rows\n"
        "assert rows[1][1]=='Евро € и иероглиф ?', rows[1]\n"
        "print('ok')\n";
    EXPECT_EQ(RunProgram(Python, {QStringLiteral("-c"), QString::fromUtf8(check), file}).trimmed(), QStringLiteral("ok"));
}

TEST_F(GridExport, FailedWriteReportsAndKeepsTheOldFile)
{
    AddSample();
    QString file = Path(QStringLiteral("ledger.csv"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents");
    }
    test::TFaultEnv env;
    env.FailCall(TSysOp::Write, 1, ENOSPC, true);
    TSysEnvScope scope(env);
    QString error;
    EXPECT_FALSE(SaveGridDelimited(&table, layout, QLatin1Char(';'), file, &error));
    EXPECT_TRUE(error.startsWith(S("Не удалось записать файл"))) << error.toStdString();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("old contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary file left

    error.clear();
    QString xls = Path(QStringLiteral("new.xls"));
    EXPECT_FALSE(ExportGridToXls(&table, layout, xls, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(xls));
}

// Reads a worksheet with xlrd and prints each cell as type:value. xlrd holds
// files of this format to Excel 4's 16384 rows; later spreadsheet programs
// take 65536, as the split files need, so the reader is given that limit.
QString XlrdDump(const QString &file)
{
    const char *script =
        "import xlrd,xlrd.sheet,sys\n"
        "init=xlrd.sheet.Sheet.__init__\n"
        "def big(self,*a,**k):\n"
        "  init(self,*a,**k)\n"
        "  self.utter_max_rows=65536\n"
        "xlrd.sheet.Sheet.__init__=big\n"
        "b=xlrd.open_workbook(sys.argv[1],formatting_info=True)\n"
        "s=b.sheet_by_index(0)\n"
        "print(s.nrows, s.ncols)\n"
        "for r in range(min(s.nrows,8)):\n"
        "  print('|'.join('%d:%s'%(c.ctype,c.value) for c in s.row(r)))\n"
        "for r in range(max(s.nrows-1,0),s.nrows):\n"
        "  print('last', '|'.join('%d:%s'%(c.ctype,c.value) for c in s.row(r)))\n";
    return RunProgram(Python, {QStringLiteral("-c"), QString::fromUtf8(script), file});
}

TEST_F(GridExport, WorksheetReadsBackWithXlrd)
{
    AddSample();
    table.First();
    table.Next(); // the position is kept over a spreadsheet export
    QString file = Path(QStringLiteral("ledger.xls"));
    QString error;
    ASSERT_TRUE(ExportGridToXls(&table, layout, file, &error)) << error.toStdString();
    EXPECT_EQ(table.RecNo(), 2);
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("ledger2.xls"))));
    QStringList lines = XlrdDump(file).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 6) << lines.join(QLatin1Char('\n')).toStdString();
    // The hidden column is in the worksheet; 5 rows, 6 columns.
    EXPECT_EQ(lines[0], QStringLiteral("5 6"));
    EXPECT_EQ(lines[1], S("1:Дата|1:Статья|1:Приход|1:Кол|1:В|1:Скрыто"));
    // Date 5.3.2024 is day 45356; ctype 3 is a date through the dd/mm/yy format.
    EXPECT_EQ(lines[2], S("3:45356.0|1:Продукты; хлеб|2:120.5|2:3.0|1:1|1:x"));
    // Null date and amount are blanks (6), a negative integer survives.
    EXPECT_EQ(lines[3], S("6:|1:Кавычки \"в\" тексте|6:|2:-7.0|1:2|6:"));
    EXPECT_EQ(lines[4], S("3:36525.0|1:Строка\nвторая|2:0.0|2:0.0|1:1|6:").split(QLatin1Char('\n'))[0]);
    // An integer too large for an RK value is written as a number.
    EXPECT_TRUE(lines.join(QLatin1Char('\n')).contains(QStringLiteral("2:2000000000.0")));
}

TEST_F(GridExport, WorksheetHeaderAndUsedRange)
{
    AddSample();
    table.First();
    QByteArray bytes = BuildXlsFile(&table, layout);
    EXPECT_TRUE(bytes.startsWith(QByteArray::fromHex("0904060000001000000042000200e304800008000000000000000000")));
    EXPECT_TRUE(bytes.endsWith(QByteArray::fromHex("0a000000")));
    // The palette holds the title font, fixed, font, grid, frame and window colours.
    QByteArray palette = QByteArray::fromHex("92001a000600") + QByteArray::fromHex("00ff0000") +
                         QByteArray::fromHex("c0c0c000") + QByteArray::fromHex("ff000000") +
                         QByteArray::fromHex("ffffff00") + QByteArray::fromHex("00000000") +
                         QByteArray::fromHex("ffffff00");
    EXPECT_EQ(bytes.mid(28, palette.size()), palette);
    // The grid's font: 9 pt bold, colour index 10, "Tahoma".
    EXPECT_TRUE(bytes.contains(QByteArray::fromHex("31020d00b40001000a0006") + "Tahoma"));
    EXPECT_TRUE(bytes.contains(QByteArray::fromHex("31020d00a00002000800 06") + "Tahoma"));
    // Column 1 is 150 pixels wide: 5400 units.
    EXPECT_TRUE(bytes.contains(QByteArray::fromHex("7d000c00010001001815 0f0000000000")));
    // DIMENSIONS: rows 0..4 (limit 5), columns 0..5 (limit 6).
    EXPECT_TRUE(bytes.contains(QByteArray::fromHex("00020a0000000500000006000000")));
}

TEST_F(GridExport, SeventyThousandRowsSplitIntoTwoCompleteFiles)
{
    table.DisableControls();
    for (int i = 0; i < 70000; ++i)
        Add(QDate(2020, 1, 1).addDays(i % 3000), S("Строка %1").arg(i), i * 0.25, i, QStringLiteral("1"));
    table.EnableControls();
    QString file = Path(QStringLiteral("big.xls"));
    ASSERT_TRUE(ExportGridToXls(&table, layout, file));
    ASSERT_TRUE(QFile::exists(Path(QStringLiteral("big2.xls"))));
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("big3.xls"))));
    QStringList first = XlrdDump(file).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList second = XlrdDump(Path(QStringLiteral("big2.xls"))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    EXPECT_EQ(first[0], QStringLiteral("65001 6"));
    EXPECT_TRUE(first.last().contains(S("Строка 64999"))) << first.last().toStdString();
    EXPECT_EQ(second[0], QStringLiteral("5001 6"));
    EXPECT_EQ(second[1], S("1:Дата|1:Статья|1:Приход|1:Кол|1:В|1:Скрыто"));
    EXPECT_TRUE(second[2].contains(S("Строка 65000"))) << second[2].toStdString();
    EXPECT_TRUE(second.last().contains(S("Строка 69999|2:17499.75|2:69999.0"))) << second.last().toStdString();
}

TEST_F(GridExport, LibreOfficeOpensTheWorksheet)
{
    AddSample();
    QString file = Path(QStringLiteral("lo.xls"));
    ASSERT_TRUE(ExportGridToXls(&table, layout, file));
    RunProgram(QStringLiteral("soffice"),
        {QStringLiteral("-env:UserInstallation=file://") + Path(QStringLiteral("lo-profile")),
         QStringLiteral("--headless"), QStringLiteral("--convert-to"),
         QStringLiteral("csv:Text - txt - csv (StarCalc):59,34,76"), QStringLiteral("--outdir"), dir.path(), file});
    QFile f(Path(QStringLiteral("lo.csv")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << "LibreOffice did not convert the worksheet";
    QStringList rows = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(rows.size(), 5);
    EXPECT_EQ(rows[0].trimmed(), S("Дата;Статья;Приход;Кол;В;Скрыто"));
    EXPECT_TRUE(rows[1].startsWith(QStringLiteral("05/03/24;"))) << rows[1].toStdString();
    EXPECT_TRUE(rows[1].contains(S("\"Продукты; хлеб\";120.5;3;1;x"))) << rows[1].toStdString();
}

} // namespace
} // namespace zorbel
