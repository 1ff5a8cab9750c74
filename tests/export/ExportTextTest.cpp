// The text grid writers (CSV, plain text) and the spreadsheet writer, read
// back by Python's csv module and xlrd and by LibreOffice; positions grouped
// into columns and lines; failures that must leave no file behind.
#include "ExportSupport.h"
#include "export/ExportFilters.h"
#include "export/ExportText.h"
#include "export/ExportXls.h"
#include "support/FaultEnv.h"

#include <QJsonArray>
#include <gtest/gtest.h>

#include <random>

namespace zorbel::test {
namespace {

// Rows of a CSV file read as Windows-1251 by Python's csv module.
QJsonArray CsvRows(const QString &file, const QString &delimiter = QStringLiteral(","))
{
    return PythonJson(QStringLiteral("import csv,json,sys\n"
                                     "with open(sys.argv[1], encoding='cp1251', newline='') as f:\n"
                                     "    print(json.dumps(list(csv.reader(f, delimiter=sys.argv[2]))))"),
                      {file, delimiter})
        .array();
}

QStringList Strings(const QJsonValue &row)
{
    QStringList s;
    for (const QJsonValue &v : row.toArray())
        s << v.toString();
    return s;
}

TEST(ExportCsv, AReportReadsBackCellByCellInCp1251)
{
    ExportReport r(60); // two pages
    TRepCommaSeparatedFilter csv(r.Path(QStringLiteral("report.csv")));
    r.Export(csv);
    const QByteArray bytes = FileBytes(csv.OutputName);
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_TRUE(bytes.contains("\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), bytes.count('\n')); // CR LF only

    const QJsonArray rows = CsvRows(csv.OutputName);
    int details = 0, width = -1;
    for (const QJsonValue &row : rows) {
        const QStringList cells = Strings(row);
        if (width < 0)
            width = int(cells.size());
        EXPECT_EQ(cells.size(), width); // every page has the same columns here
        for (int i = 1; i <= 60; ++i)
            if (cells.contains(ExportReport::Name(i))) {
                ++details;
                EXPECT_TRUE(cells.contains(AmountText(ExportReport::Amount(i)))) << cells.join('|').toStdString();
                EXPECT_TRUE(cells.contains(ExportReport::Date(i))) << cells.join(QLatin1Char(0x7c)).toStdString();
            }
    }
    EXPECT_EQ(details, 60);
    EXPECT_EQ(width, 3); // name, amount, date columns; title and heading fall into them
    const QStringList first = Strings(rows.first());
    EXPECT_EQ(first.first(), QStringLiteral("Расходы за март"));
    EXPECT_TRUE(Strings(rows.last()).contains(AmountText(1234.5 * 60 * 61 / 2)));
}

TEST(ExportCsv, CellsAreQuotedWithQuotesDoubledAndTheSeparatorShared)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("g.csv"));
    TRepCSVFilter component; // the separator is the program's, set by the component
    TRepCSVFilter::SetSeparator(u';');
    {
        TRepCommaSeparatedFilter csv(file);
        csv.BeginDocument(2100, 2970, QFont());
        csv.FinishPage();
        csv.BeginNextPage();
        const QFont f;
        // Three columns (100.2 and 99.8 share one), two lines; one cell missing.
        csv.PutText(100.2, 50, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("a \"b\""));
        csv.PutText(300, 50, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("c;d"));
        csv.PutText(99.8, 80, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("e"));
        csv.PutText(200, 80, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("f"));
        csv.PutText(300, 80, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("g"));
        csv.PutText(200.6, 80, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("later, a column of its own"));
        csv.FinishPage();
        csv.BeginNextPage();
        csv.FinishPage(); // an empty page writes nothing
        csv.EndDocument();
    }
    TRepCSVFilter::SetSeparator(u',');
    EXPECT_EQ(FileBytes(file), QByteArray("\"a \"\"b\"\"\";\"\";\"\";\"c;d\"\r\n"
                                          "\"e\";\"f\";\"later, a column of its own\";\"g\"\r\n"));
    EXPECT_EQ(CsvRows(file, QStringLiteral(";")),
              QJsonArray({QJsonArray({"a \"b\"", "", "", "c;d"}), QJsonArray({"e", "f", "later, a column of its own", "g"})}));
}

TEST(ExportCsv, PositionsGroupByWholeTenthsAndSkipTheEdges)
{
    TRepPositions p;
    p.BeginUpdate();
    for (double x : {100.4, 100.6, 99.8, 0.0, -5.0, 50.0, 9999999.0, 100.2})
        p.AddPosition(x);
    p.EndUpdate();
    EXPECT_EQ(p.GetPosition(50), 1);
    EXPECT_EQ(p.GetPosition(100.4), 2);
    EXPECT_EQ(p.GetPosition(100.2), 2); // rounds to 100 as 100.4 did
    EXPECT_EQ(p.GetPosition(99.8), 2);
    EXPECT_EQ(p.GetPosition(100.6), 3);
    EXPECT_EQ(p.GetPosition(0), 0);
    EXPECT_EQ(p.GetPosition(-5), 0);
    EXPECT_EQ(p.GetPosition(9999999), 0);
    EXPECT_EQ(p.GetPosition(77), 0);
    EXPECT_EQ(p.Highest(), 3);
}

TEST(ExportText, LinesKeepTheirColumnsAndALongReportExportsWhole)
{
    ExportReport r(200);
    TRepAsciiExportFilter text(r.Path(QStringLiteral("report.txt")));
    r.Export(text);
    const QJsonArray lines =
        PythonJson(QStringLiteral("import json,sys\n"
                                  "print(json.dumps(open(sys.argv[1], encoding='cp1251', newline='').read().split('\\r\\n')))"),
                   {text.OutputName})
            .array();
    ASSERT_GT(lines.size(), 200);
    EXPECT_EQ(lines.last().toString(), QString()); // ends with CR LF
    int found = 0;
    qsizetype dateColumn = -1;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].toString();
        for (int i = 1; i <= 200; ++i)
            if (line.contains(ExportReport::Name(i) + QLatin1Char(' '))) {
                ++found;
                EXPECT_TRUE(line.contains(AmountText(ExportReport::Amount(i))));
                const qsizetype at = line.indexOf(ExportReport::Date(i));
                if (dateColumn < 0)
                    dateColumn = at;
                EXPECT_EQ(at, dateColumn); // one column for the dates
            }
        EXPECT_FALSE(line.isEmpty() && n + 1 < lines.size()) << "empty lines are not written";
    }
    EXPECT_EQ(found, 200);
}

TEST(ExportText, RightAlignedTextEndsAtItsColumnAndLaterTextMovesRight)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("t.txt"));
    TRepAsciiExportFilter text(file);
    QFont f;
    f.setPointSize(10);
    text.BeginDocument(2100, 2970, f);
    text.FinishPage();
    text.BeginNextPage();
    const double cw = 10 * PointInTenthMM; // one column = cw / 1.7
    text.PutText(20 * cw / 1.7, 0, f, clBlack, 0, TAlignment::taRightJustify, QStringLiteral("12345"));
    text.PutText(30 * cw / 1.7, 0, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("Z"));
    text.PutText(2 * cw / 1.7, cw, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("абвгд"));
    text.PutText(4 * cw / 1.7, cw, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("XY"));
    // Far below the paper's lines: still written, nothing fails.
    text.PutText(0, 400 * cw, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("низ"));
    text.FinishPage();
    text.EndDocument();
    // "XY" would overwrite "вг": it moves right past "абвгд" and a blank,
    // and the columns right of it move along (the right-aligned "12345" and
    // "Z" keep their distance).
    EXPECT_EQ(FileBytes(file), UnicodeToWin1251(QStringLiteral("                  12345          Z\r\n"
                                                               " абвгд XY\r\n"
                                                               "низ\r\n")));
}

// The texts of line, in the order given, each whole and apart from the one
// before by a blank at least.
::testing::AssertionResult ApartInOrder(const QString &line, const QStringList &texts)
{
    qsizetype at = 0;
    for (const QString &t : texts) {
        const qsizetype found = line.indexOf(t, at);
        if (found < 0)
            return ::testing::AssertionFailure() << t.toStdString() << " not whole after " << at << " in '"
                                                 << line.toStdString() << "'";
        if (at > 0 && found == at)
            return ::testing::AssertionFailure() << t.toStdString() << " touches the text before in '"
                                                 << line.toStdString() << "'";
        for (qsizetype k = at; k < found; ++k)
            if (line[k] != u' ')
                return ::testing::AssertionFailure() << "'" << line.toStdString() << "' has other text before "
                                                     << t.toStdString();
        at = found + t.size();
    }
    return ::testing::AssertionSuccess();
}

TEST(ExportText, TextsOfALineNeverOverlapAndColumnsStayAligned)
{
    // A table: a name column, then right-aligned figure columns each eight
    // characters wide, some figures far wider than their column.
    using T = TRepAsciiExportFilter::TPlacedText;
    std::vector<T> texts;
    std::vector<QStringList> expected;
    std::mt19937 random(48);
    for (qsizetype line = 0; line < 40; ++line) {
        QStringList row{QStringLiteral("Статья %1").arg(line)};
        texts.push_back({line, 0, 0, row.first()});
        for (int column = 0; column < 6; ++column) {
            const QString figure = random() % 4 == 0 ? QStringLiteral("-123 456 789,12") : QStringLiteral("%1,00").arg(random() % 1000);
            const qsizetype edge = 20 + 8 * column;
            texts.push_back({line, edge, edge - figure.size(), figure});
            row << figure;
        }
        expected.push_back(row);
    }
    // Two texts at one place: the later one follows.
    texts.push_back({40, 5, 5, QStringLiteral("первый")});
    texts.push_back({40, 5, 5, QStringLiteral("второй")});
    expected.push_back({QStringLiteral("первый"), QStringLiteral("второй")});
    const std::vector<QString> lines = TRepAsciiExportFilter::LayOut(texts);
    ASSERT_EQ(lines.size(), expected.size());
    std::vector<qsizetype> ends;
    for (size_t l = 0; l < lines.size(); ++l) {
        EXPECT_TRUE(ApartInOrder(lines[l], expected[l])) << l;
        if (l < 40)
            ends.push_back(lines[l].size()); // the last column's right edge
    }
    // The last column ends at one place on every line of the table.
    EXPECT_EQ(std::count(ends.begin(), ends.end(), ends.front()), qsizetype(ends.size()));
}

// Rows of an XLS file by xlrd: [[type, value]...] per row, with the sheet's
// size and code page.
QJsonObject XlsRead(const QString &file)
{
    return PythonJson(QStringLiteral("import json,sys,xlrd\n"
                                     "b = xlrd.open_workbook(sys.argv[1])\n"
                                     "s = b.sheet_by_index(0)\n"
                                     "rows = [[[c.ctype, c.value] for c in s.row(i)] for i in range(s.nrows)]\n"
                                     "print(json.dumps({'rows': rows, 'nrows': s.nrows, 'ncols': s.ncols,"
                                     " 'encoding': b.encoding}))"),
                      {file})
        .object();
}

TEST(ExportXls, NumbersAreNumbersAndTextsReadBackInXlrdAndLibreOffice)
{
    ExportReport r(40);
    TRepXLSFilter xls(r.Path(QStringLiteral("report.xls")));
    r.Export(xls);
    const QByteArray bytes = FileBytes(xls.OutputName);
    ASSERT_GE(bytes.size(), 4);
    EXPECT_EQ(bytes.right(4), QByteArray("\x0A\x00\x00\x00", 4));

    const QJsonObject book = XlsRead(xls.OutputName);
    EXPECT_EQ(book.value("encoding").toString(), QStringLiteral("cp1251"));
    const QJsonArray rows = book.value("rows").toArray();
    EXPECT_EQ(book.value("nrows").toInt(), rows.size());
    EXPECT_EQ(book.value("ncols").toInt(), 3);
    // DIMENSIONS names the rows and columns the cells occupy.
    int dimensions = 0;
    const auto u16 = [&bytes](qsizetype i) { return int(uchar(bytes[i])) | int(uchar(bytes[i + 1])) << 8; };
    for (qsizetype at = 0; at + 4 <= bytes.size(); at += 4 + u16(at + 2))
        if (u16(at) == 0x0200 && at + 14 <= bytes.size()) {
            ++dimensions;
            EXPECT_EQ(u16(at + 4), 0);
            EXPECT_EQ(u16(at + 6), rows.size());
            EXPECT_EQ(u16(at + 8), 0);
            EXPECT_EQ(u16(at + 10), 3);
        }
    EXPECT_EQ(dimensions, 1);
    int details = 0;
    for (const QJsonValue &row : rows) {
        const QJsonArray cells = row.toArray();
        for (int i = 1; i <= 40; ++i)
            if (cells.at(0).toArray().at(1).toString() == ExportReport::Name(i)) {
                ++details;
                // The amount's reference point (its right edge) lies right of the date.
                EXPECT_EQ(cells.at(2).toArray().at(0).toInt(), 2); // XL_CELL_NUMBER
                EXPECT_DOUBLE_EQ(cells.at(2).toArray().at(1).toDouble(), ExportReport::Amount(i));
                EXPECT_EQ(cells.at(1).toArray(), QJsonArray({1, ExportReport::Date(i)})); // a date stays a label
            }
    }
    EXPECT_EQ(details, 40);
    EXPECT_EQ(rows.first().toArray().at(0).toArray().at(1).toString(), QStringLiteral("Расходы за март"));
    // One endless page: the heading is there once.
    int headings = 0;
    for (const QJsonValue &row : rows)
        headings += row.toArray().at(0).toArray().at(1).toString() == QStringLiteral("Статья");
    EXPECT_EQ(headings, 1);

    const QString csv = SofficeConvert(xls.OutputName, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"),
                                       r.dir.path());
    ASSERT_FALSE(csv.isEmpty());
    const QString sheet = QString::fromUtf8(FileBytes(csv));
    EXPECT_TRUE(sheet.contains(QStringLiteral("Расходы за март")));
    const QStringList lines = sheet.split(QStringLiteral("\n"));
    const auto last = std::find_if(lines.begin(), lines.end(),
                                   [](const QString &l) { return l.contains(ExportReport::Name(40)); });
    ASSERT_NE(last, lines.end());
    EXPECT_TRUE(last->trimmed().endsWith(QStringLiteral(",49380"))) << last->toStdString();
}

// A progress window that only remembers the captions it was given.
struct CaptionWindow : TRepMessageTarget {
    static inline QStringList Captions;
    void PostMessage(unsigned, intptr_t, intptr_t) override {}
    void SendMessage(unsigned, intptr_t, intptr_t) override {}
    void SetStatusCaption(const QString &caption) override { Captions << caption; }
};

TEST(ExportXls, TheProgressWindowSaysTheSpreadsheetIsBeingWritten)
{
    CaptionWindow::Captions.clear();
    const TRepProgressFactory kept = RepProgressWindowFactory();
    RepProgressWindowFactory() = [](TRepPrinter &) { return std::make_unique<CaptionWindow>(); };
    ExportReport r(5);
    TRepXLSFilter xls(r.Path(QStringLiteral("report.xls")));
    r.Export(xls);
    TRepCommaSeparatedFilter csv(r.Path(QStringLiteral("report.csv")));
    r.Export(csv);
    RepProgressWindowFactory() = kept;
    EXPECT_EQ(CaptionWindow::Captions, QStringList{QStringLiteral("Writing XLS file...")});
}

TEST(ExportXls, LabelsAreCutNumbersCleanedAndTooManyRowsLeaveNoFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("s.xls"));
    const QFont f;
    {
        TRepXLSFilter xls(file);
        xls.BeginDocument(2100, 2970, f);
        xls.FinishPage();
        xls.BeginNextPage();
        xls.PutText(100, 100, f, clBlack, 0, TAlignment::taLeftJustify, QString(300, QChar(u'Ж')));
        xls.PutText(100, 200, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("1\u00A0234,50"));
        xls.PutText(200, 200, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("12 штук"));
        xls.PutText(300, 200, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("-7"));
        xls.FinishPage();
        xls.EndDocument();
    }
    const QByteArray bytes = FileBytes(file);
    // The 255-character label: record length 8 + 255.
    EXPECT_TRUE(bytes.contains(QByteArray("\x04\x00\x07\x01", 4)));
    const QJsonArray rows = XlsRead(file).value("rows").toArray();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].toArray()[0].toArray()[1].toString(), QString(255, QChar(u'Ж')));
    EXPECT_EQ(rows[1].toArray()[0].toArray(), QJsonArray({2, 1234.5}));
    EXPECT_EQ(rows[1].toArray()[1].toArray(), QJsonArray({1, "12 штук"}));
    EXPECT_EQ(rows[1].toArray()[2].toArray(), QJsonArray({2, -7}));

    // More rows than a sheet holds: a clear error, and no file at all.
    {
        TRepXLSFilter xls(dir.filePath(QStringLiteral("big.xls")));
        xls.BeginDocument(2100, 2970, f);
        xls.BeginNextPage();
        for (int i = 1; i <= TRepXLSFilter::MaxRows + 1; ++i)
            xls.PutText(100, i, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("x"));
        try {
            xls.FinishPage();
            ADD_FAILURE() << "too many rows were accepted";
        } catch (const ERangeError &e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("65535"))) << e.what();
        }
    } // the Save command frees the writer
    EXPECT_EQ(FilesIn(dir.path()), QStringList{QStringLiteral("s.xls")});
}

TEST(ExportXls, FiguresAsTheProgramWritesThemAreNumbersShownTheSameWay)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("f.xls"));
    const QFont f;
    // Text, the number, the format that shows it as written.
    struct TFigure {
        QString Text;
        double Value;
        const char *Format;
    };
    const TFigure figures[] = {
        {QStringLiteral("  859 133,89"), 859133.89, "#,##0.00"},
        {QStringLiteral("-1 420 909,06"), -1420909.06, "#,##0.00"},
        {QStringLiteral("- 3 262 024,90"), -3262024.9, "#,##0.00;- #,##0.00"},
        {QStringLiteral("123\u00A0456\u00A0789,125"), 123456789.125, "#,##0.000"},
        {QStringLiteral("7,5"), 7.5, "0.0"},
        {QStringLiteral("2024"), 2024, "0"},
    };
    {
        TRepXLSFilter xls(file);
        xls.BeginDocument(2100, 2970, f);
        xls.BeginNextPage();
        double y = 100;
        for (const TFigure &g : figures)
            xls.PutText(100, y += 100, f, clBlack, 0, TAlignment::taRightJustify, g.Text);
        // Not figures: labels as before.
        xls.PutText(100, y += 100, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("12 штук"));
        xls.PutText(100, y += 100, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("01.02.2024"));
        xls.PutText(100, y += 100, f, clBlack, 0, TAlignment::taLeftJustify, QStringLiteral("12 34"));
        xls.FinishPage();
        xls.EndDocument();
    }
    const QJsonArray cells =
        PythonJson(QStringLiteral("import json,sys,xlrd\n"
                                  "b = xlrd.open_workbook(sys.argv[1], formatting_info=True)\n"
                                  "s = b.sheet_by_index(0)\n"
                                  "out = []\n"
                                  "for r in range(s.nrows):\n"
                                  "    c = s.cell(r, 0)\n"
                                  "    fmt = b.format_map[b.xf_list[c.xf_index].format_key].format_str\n"
                                  "    out.append([c.ctype, c.value, fmt])\n"
                                  "print(json.dumps(out))"),
                   {file})
            .array();
    ASSERT_EQ(cells.size(), 9);
    for (int i = 0; i < 6; ++i) {
        const QJsonArray c = cells[i].toArray();
        EXPECT_EQ(c[0].toInt(), 2) << figures[i].Text.toStdString(); // XL_CELL_NUMBER
        EXPECT_DOUBLE_EQ(c[1].toDouble(), figures[i].Value) << figures[i].Text.toStdString();
        EXPECT_EQ(c[2].toString(), QString::fromLatin1(figures[i].Format)) << figures[i].Text.toStdString();
    }
    EXPECT_EQ(cells[6].toArray()[1].toString(), QStringLiteral("12 штук"));
    EXPECT_EQ(cells[7].toArray()[1].toString(), QStringLiteral("01.02.2024"));
    EXPECT_EQ(cells[8].toArray()[1].toString(), QStringLiteral("12 34"));
    // LibreOffice sums them: the total of a column of figures is a number.
    const QString csv = SofficeConvert(file, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false"),
                                       dir.path());
    ASSERT_FALSE(csv.isEmpty());
    const QStringList rows = QString::fromUtf8(FileBytes(csv)).split(QLatin1Char('\n'));
    ASSERT_GE(rows.size(), 6);
    EXPECT_EQ(rows[1].trimmed().remove(QLatin1Char('"')).toDouble(), -1420909.06) << rows[1].toStdString();
}

TEST(ExportFiles, AFailingWriteReportsItAndLeavesNoFile)
{
    ExportReport r(30);
    r.report.CreateReport();
    const QString keep = r.Path(QStringLiteral("old.csv"));
    {
        QFile f(keep);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents");
    }
    for (TSysOp op : {TSysOp::Open, TSysOp::Write, TSysOp::Flush, TSysOp::Rename}) {
        TFaultEnv env;
        env.FailCall(op, 1, ENOSPC, true);
        TSysEnvScope scope(env);
        std::vector<std::unique_ptr<TRepExportFilter>> writers;
        writers.push_back(std::make_unique<TRepCommaSeparatedFilter>(keep));
        writers.push_back(std::make_unique<TRepAsciiExportFilter>(r.Path(QStringLiteral("new.txt"))));
        writers.push_back(std::make_unique<TRepXLSFilter>(r.Path(QStringLiteral("new.xls"))));
        for (auto &w : writers)
            EXPECT_THROW(r.report.ExportToFilter(*w), EStreamError) << int(op);
        EXPECT_TRUE(r.report.Available);
    }
    EXPECT_EQ(FilesIn(r.dir.path()), QStringList{QStringLiteral("old.csv")});
    EXPECT_EQ(FileBytes(keep), QByteArray("old contents"));

    // A folder that cannot be written.
    TRepCommaSeparatedFilter nowhere(QStringLiteral("/proc/zorbel-no/such.csv"));
    EXPECT_THROW(r.report.ExportToFilter(nowhere), EFCreateError);
}

TEST(ExportLibrary, TheProgramsWritersAreListedOnceInOrder)
{
    RegisterExportFilters();
    RegisterExportFilters();
    QStringList names;
    for (const TRepExportFilterLibraryEntry &e : ExportFilterLibrary().Registered())
        names << e.EntryCaption + QLatin1Char('/') + e.FileExt;
    EXPECT_GE(names.size(), 3);
    EXPECT_EQ(names.mid(0, 3), (QStringList{"Text file/TXT", "Comma Separated/CSV", "HTML document/HTM"}));
    EXPECT_EQ(names.count(QStringLiteral("Excel spreadsheet/XLS")), 1);
    const auto writer = ExportFilterLibrary().CreateForIndex(3, QStringLiteral("x.csv"));
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->GetDescriptionText(), QStringLiteral("Comma separated text file"));
    EXPECT_EQ(writer->OutputName, QStringLiteral("x.csv"));
}

} // namespace
} // namespace zorbel::test
