// The results window's printouts over fixture tables: what the filled
// layouts put on the recorded pages (rows, sums, balances, captions) in each
// unit and mode, the cases with nothing or little to print, and the preview
// runs of the three commands.
#include "analysis/ZorbRstPrint.h"

#include "PrintCheck.h"

#include "memtable/VemtMemTable.h"
#include "platform/canvas/Metafile.h"
#include "platform/canvas/Printers.h"
#include "platform/rtl/DateTime.h"
#include "platform/widgets/ModalScript.h"
#include "report/RepPreviewForm.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace zorbel {
namespace {

using namespace zorbel::test;

using Rows = std::vector<std::vector<std::pair<const char *, QVariant>>>;

std::unique_ptr<TVemtMemTable> Table(const std::vector<std::pair<const char *, TFieldType>> &defs, const Rows &rows)
{
    auto t = std::make_unique<TVemtMemTable>();
    for (const auto &[name, type] : defs)
        t->FieldDefs().Add(QString::fromLatin1(name), type, type == ftString ? 60 : 0);
    t->Open();
    for (const auto &row : rows) {
        t->Append();
        for (const auto &[name, value] : row) {
            TField *f = t->FieldByName(QString::fromLatin1(name));
            if (value.typeId() == QMetaType::QString)
                f->SetAsString(value.toString());
            else
                f->SetAsFloat(value.toDouble());
        }
        t->Post();
    }
    t->First();
    return t;
}

// Grouped totals: money, common unit and quantity columns per group.
std::unique_ptr<TVemtMemTable> TabRes()
{
    std::vector<std::pair<const char *, TFieldType>> defs{{"id", ftSmallint}, {"nm", ftString}};
    for (const char *f : {"sdt", "sct", "amt", "sdr", "scr", "amr", "sdq", "scq", "amq"})
        defs.push_back({f, ftFloat});
    return Table(defs, {{{"nm", "Продукты"}, {"sdt", 0.0}, {"sct", 1234.5}, {"amt", -1234.5}, {"sdr", 0.0},
                         {"scr", 12.25}, {"amr", -12.25}, {"sdq", 3.0}, {"scq", 7.5}, {"amq", -4.5}},
                        {{"nm", "Зарплата"}, {"sdt", 50000.0}, {"sct", 0.0}, {"amt", 50000.0}, {"sdr", 500.0},
                         {"scr", 0.0}, {"amr", 500.0}, {"sdq", 1.0}, {"scq", 0.0}, {"amq", 1.0}},
                        {{"nm", "Транспорт"}, {"sdt", 0.0}, {"sct", 765.5}, {"amt", -765.5}, {"sdr", 0.0},
                         {"scr", 7.75}, {"amr", -7.75}, {"sdq", 0.0}, {"scq", 2.0}, {"amq", -2.0}}});
}

std::unique_ptr<TVemtMemTable> Qhs(int rows)
{
    Rows data;
    for (int i = 1; i <= rows; ++i)
        data.push_back({{"DATE_REAL", EncodeDate(2026, 1, 1) + i - 1},
                        {"dt", i % 2 ? 0.0 : 100.0 * i},
                        {"ct", i % 2 ? 10.5 * i : 0.0},
                        {"price", 2.0},
                        {"qdt", i % 2 ? 1.0 : 0.0},
                        {"qct", 0.0},
                        {"rdt", i % 2 ? 0.0 : i * 1.0},
                        {"rct", i % 2 ? 0.25 * i : 0.0},
                        {"comment", QStringLiteral("Примечание %1").arg(i)},
                        {"Itms", QStringLiteral("Еда:Хлеб")},
                        {"Pers", "Я"},
                        {"Firm", QStringLiteral("Рынок")}});
    auto t = Table({{"DATE_REAL", ftDate},
                    {"dt", ftFloat},
                    {"ct", ftFloat},
                    {"price", ftFloat},
                    {"qdt", ftFloat},
                    {"qct", ftFloat},
                    {"rdt", ftFloat},
                    {"rct", ftFloat},
                    {"comment", ftString},
                    {"Itms", ftString},
                    {"Pers", ftString},
                    {"Firm", ftString}},
                   data);
    const char *labels[][2] = {{"DATE_REAL", "Дата"}, {"comment", "Комментарий"}, {"Pers", "Кто?"},
                               {"Firm", "Где?"},      {"dt", "Приход"},           {"ct", "Расход"},
                               {"price", "Цена"},     {"qdt", "Кол-во +"},        {"qct", "Кол-во -"}};
    for (const auto &l : labels)
        t->FieldByName(QString::fromLatin1(l[0]))->SetDisplayLabel(QString::fromUtf8(l[1]));
    t->FieldByName(QStringLiteral("DATE_REAL"))->SetDisplayFormat(QStringLiteral("dd.mm.yy"));
    return t;
}

TRstTotalsPrint TotalsState(TDataSet &tab)
{
    TRstTotalsPrint s;
    s.TabRes = &tab;
    s.FromDate = EncodeDate(2026, 1, 1);
    s.ToDate = EncodeDate(2026, 12, 31);
    s.Opening = {1000000, 20000, 55000}; // 100.00, 2.00, 5.50
    s.KindText = QStringLiteral("Статьи");
    return s;
}

TEST(RstPrintTotals, EachUnitPrintsItsColumnsSumsAndBalances)
{
    auto tab = TabRes();
    tab->Next(); // the position is kept across the summing
    TRstTotalsPrint s = TotalsState(*tab);
    s.Unit = 2;
    std::unique_ptr<TQrs> r = MakeTotalsPrintout(s);
    ASSERT_TRUE(r);
    EXPECT_EQ(tab->RecNo(), 2);
    EXPECT_EQ(r->RepDBDt->DataField(), QStringLiteral("sdq"));
    EXPECT_EQ(r->RepDBRs->DataField(), QStringLiteral("amq"));
    EXPECT_EQ(r->RepECt->Expression(), QStringLiteral("Sum(scq)"));
    // Opening quantity 5.5, in 4, out 9.5.
    EXPECT_EQ(r->RepLBeg->Caption(), QStringLiteral("Начало  = 5,50"));
    EXPECT_EQ(r->RepLEnd->Caption(), QStringLiteral("Остаток = 0,00"));
    EXPECT_EQ(r->RepL->Caption(), QStringLiteral("Статьи Обороты за 01.01.2026 - 31.12.2026"));
    int pages = 0;
    const QStringList q = RunTexts(*r, &pages);
    EXPECT_EQ(pages, 1);
    for (const char *t : {"Продукты", "Зарплата", "Транспорт", "7,50", "-4,50", "9,50", "-5,50", "Начало  = 5,50",
                          "Наименование", "Результат", "Ограничения выводимых сумм:", "Кол-во расх:"})
        EXPECT_TRUE(q.contains(QString::fromUtf8(t))) << t;
    // Page decorations shared by the three layouts.
    EXPECT_EQ(r->PreviewInitialState, 2);
    EXPECT_EQ(r->PreviewWidth, 800);
    EXPECT_EQ(r->PreviewHeight, 800);
    EXPECT_EQ(r->PrevInitialZoom, TRepZoomState::qrZoomToWidth);
    EXPECT_TRUE(r->Frame.DrawTop && r->Frame.DrawBottom && r->Frame.DrawLeft && r->Frame.DrawRight);
    EXPECT_TRUE(r->RepBand3->Frame.DrawBottom);
    EXPECT_FALSE(r->RepBand4->Frame.DrawBottom);

    s.Unit = 0;
    r = MakeTotalsPrintout(s);
    const QStringList m = RunTexts(*r);
    for (const char *t : {"1 234,50", "50 000,00", "-765,50", "48 000,00", "2 000,00"})
        EXPECT_TRUE(m.contains(N(t))) << t << " in " << m.join('|').toStdString();
    EXPECT_TRUE(m.contains(QStringLiteral("Остаток = ") + N("48 100,00")));
    EXPECT_TRUE(m.contains(QStringLiteral("Начало  = 100,00")));

    s.Unit = 1;
    r = MakeTotalsPrintout(s);
    EXPECT_EQ(r->RepDBDt->DataField(), QStringLiteral("sdr"));
    EXPECT_EQ(r->RepEDt->Expression(), QStringLiteral("Sum(sdr)"));
    EXPECT_EQ(r->RepLEnd->Caption(), QStringLiteral("Остаток = 482,00"));
}

TEST(RstPrintTotals, BoxesAndConditionsFillTheTitle)
{
    auto tab = TabRes();
    TRstTotalsPrint s = TotalsState(*tab);
    std::unique_ptr<TQrs> r = MakeTotalsPrintout(s);
    EXPECT_EQ(r->RepLItm->Caption(), QString());
    EXPECT_EQ(r->RepLAcc->Caption(), QString());

    s.Items = {TRstPrintBox{QStringLiteral("Еда"), true}, TRstPrintBox{QStringLiteral("Хлеб"), true},
               TRstPrintBox{QStringLiteral("Батон"), true}};
    s.Acc = {QStringLiteral("Кошелёк"), true};
    s.Pers = {QStringLiteral("Я"), false};
    s.Firm = {QStringLiteral("Рынок"), true};
    s.HasConditions = true;
    s.Sdt = {QStringLiteral(">"), QStringLiteral("100")};
    s.Sct = {QStringLiteral("<"), QString()}; // no value: empty
    s.Comm = {QStringLiteral("="), QStringLiteral("чай")};
    s.Rate = {QStringLiteral("#"), QStringLiteral("1")};
    r = MakeTotalsPrintout(s);
    EXPECT_EQ(r->RepLItm->Caption(), QStringLiteral("Еда:Хлеб:Батон"));
    EXPECT_EQ(r->RepLAcc->Caption(), QStringLiteral("Кошелёк"));
    EXPECT_EQ(r->RepLPers->Caption(), QString());
    EXPECT_EQ(r->RepLSdt->Caption(), QStringLiteral(">100"));
    EXPECT_EQ(r->RepLSct->Caption(), QString());
    const QStringList t = RunTexts(*r);
    for (const char *x : {"Еда:Хлеб:Батон", "Кошелёк", "Рынок", ">100", "=чай", "#1"})
        EXPECT_TRUE(t.contains(QString::fromUtf8(x))) << x;

    // A hidden box is left out of the category line.
    s.Items[2].Visible = false;
    EXPECT_EQ(MakeTotalsPrintout(s)->RepLItm->Caption(), QStringLiteral("Еда:Хлеб"));
}

TEST(RstPrintTotals, NothingToPrintWithoutRows)
{
    auto tab = TabRes();
    TRstTotalsPrint s = TotalsState(*tab);
    s.TabRes = nullptr;
    EXPECT_FALSE(MakeTotalsPrintout(s));
    auto empty = Table({{"id", ftSmallint}, {"nm", ftString}, {"sdt", ftFloat}}, {});
    s.TabRes = empty.get();
    EXPECT_FALSE(MakeTotalsPrintout(s));
    s.TabRes = tab.get();
    tab->Close();
    EXPECT_FALSE(MakeTotalsPrintout(s));
}

TRstHistPrint HistState(TDataSet &qhs)
{
    TRstHistPrint s;
    s.Qhs = &qhs;
    s.FromDate = EncodeDate(2026, 1, 1);
    s.ToDate = EncodeDate(2026, 1, 31);
    s.Opening = {5000000, 50000, 0};
    s.ReadSums = [] { return TRstHistSums{3000000, 1050000, 30000, 12500, 20000, 0}; };
    s.AccCaption = QStringLiteral("Кошелёк 500,00 RUR");
    s.QntFormat = QStringLiteral("0.000");
    return s;
}

TEST(RstPrintHist, OperationsTitlesAndBalances)
{
    auto qhs = Qhs(4);
    std::unique_ptr<TQHist> r = MakeHistPrintout(HistState(*qhs));
    ASSERT_TRUE(r);
    const QString res = QStringLiteral("Начало = 500,00             Приход = 300,00             Расход = 105,00"
                                       "             Остаток = 695,00");
    EXPECT_EQ(r->RepLRes->Caption(), res);
    EXPECT_EQ(r->RepL->Caption(), res);
    EXPECT_EQ(r->RepLy->Caption(), QStringLiteral("У.е. Нач.  = 5,00             У.е. Прх.  = 3,00             "
                                                  "У.е. Рсх.  = 1,25             У.е. Ост.  = 6,75"));
    EXPECT_EQ(r->RepLq->Caption(), QStringLiteral("Кол. Нач. = 0,00             Кол. Прх. = 2,00             "
                                                  "Кол. Рсх. = 0,00             Кол. Ост. = 2,00"));
    EXPECT_EQ(r->RepEQ1->Mask, QStringLiteral("0.000"));
    const QStringList t = RunTexts(*r);
    for (const char *x : {"Счет       Кошелёк 500,00 RUR", "Движения за период       01.01.2026 - 31.01.2026",
                          "Комментарий", "Кто?", "Кол-во +", "01.01.26", "04.01.26", "Примечание 3", "Еда:Хлеб",
                          "Рынок", "400,00", "31,50", "600,00", "42,00", "558,00", "2,000"})
        EXPECT_TRUE(t.contains(QString::fromUtf8(x))) << x << " in " << t.join('|').toStdString();
    EXPECT_FALSE(t.contains(QStringLiteral("y.e.+")));
}

TEST(RstPrintHist, CommonUnitColumnsAndAnEmptyList)
{
    auto qhs = Qhs(4);
    TRstHistPrint s = HistState(*qhs);
    s.CommonUnit = true;
    std::unique_ptr<TQHist> r = MakeHistPrintout(s);
    EXPECT_EQ(r->RepDBQ1->DataField(), QStringLiteral("rdt"));
    EXPECT_EQ(r->RepEQ->Expression(), QStringLiteral("Sum(rdt-rct)"));
    const QStringList t = RunTexts(*r);
    for (const char *x : {"y.e.+", "y.e.-", "6,00", "1,00", "5,00"})
        EXPECT_TRUE(t.contains(QString::fromUtf8(x))) << x << " in " << t.join('|').toStdString();

    // An empty list still prints the title and the balances; a failing sums
    // query ends the printout instead of printing its sums as 0.
    auto none = Qhs(0);
    s = HistState(*none);
    s.ReadSums = []() -> TRstHistSums { throw EDatabaseError(QStringLiteral("no sums")); };
    EXPECT_THROW(MakeHistPrintout(s), EDatabaseError);
    s.ReadSums = [] { return TRstHistSums{}; };
    r = MakeHistPrintout(s);
    int pages = 0;
    const QStringList e = RunTexts(*r, &pages);
    EXPECT_EQ(pages, 1);
    const QString res = QStringLiteral("Начало = 500,00             Приход = 0,00             Расход = 0,00"
                                       "             Остаток = 500,00");
    EXPECT_EQ(e.count(res), 2) << e.join('|').toStdString(); // title and summary
    none->Close();
    EXPECT_FALSE(MakeHistPrintout(s));
}

// A sums query that cannot be read raises (it printed zero balances).
TEST(RstPrintHist, SumsQueryReadOrRaised)
{
    auto qsm = Table({{"Sdt", ftFloat}, {"Sct", ftFloat}, {"Sdtr", ftFloat}, {"Sctr", ftFloat}, {"Sqdt", ftFloat},
                      {"Sqct", ftFloat}},
                     {});
    // The memory table keeps no rows across a reopening: all sums read as 0
    // but the query is left closed.
    const TRstHistSums z = ReadHistSums(*qsm);
    EXPECT_EQ(z.Sdt, 0);
    EXPECT_FALSE(qsm->Active());
    auto broken = Table({{"Sdt", ftFloat}}, {{{"Sdt", 1.5}}});
    EXPECT_THROW(ReadHistSums(*broken), Exception); // Sct missing: the whole read fails
    EXPECT_FALSE(broken->Active());
}

std::unique_ptr<TVemtMemTable> TabDyn()
{
    std::vector<std::pair<const char *, TFieldType>> defs{{"vr", ftString}};
    for (const char *f : {"dt", "ct", "bal", "rest", "price", "dty", "cty", "baly", "pricey", "rate", "qdt", "qct"})
        defs.push_back({f, ftFloat});
    Rows rows;
    for (int w = 1; w <= 3; ++w)
        rows.push_back({{"vr", QStringLiteral("%1 нед. 2026").arg(w)}, {"dt", 1000.0 * w}, {"ct", 250.0},
                        {"bal", 1000.0 * w - 250}, {"dty", 10.0 * w}, {"qdt", 1.5}, {"qct", 0.5}});
    return Table(defs, rows);
}

TEST(RstPrintDyn, WeeksHeadedAndSummed)
{
    auto dyn = TabDyn();
    std::unique_ptr<TQprd> r = MakeDynPrintout({dyn.get(), 1});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->RepLDate->Caption(), QStringLiteral("Недели"));
    for (TRepDBText *t : r->DetailTexts)
        EXPECT_EQ(t->DataSet, dyn.get());
    const QStringList t = RunTexts(*r);
    QStringList trimmed;
    for (const QString &x : t)
        trimmed << x.trimmed();
    // Money sums keep the mask's blanks; quantities in "0.00".
    for (const char *x : {"Недели", "1 нед. 2026", "3 нед. 2026", "6 000,00", "750,00", "5 250,00", "60,00", "4,50",
                          "1,50", "Баланс у.е.", "2750"})
        EXPECT_TRUE(trimmed.contains(QString::fromUtf8(x))) << x << " in " << t.join('|').toStdString();
    EXPECT_EQ(MakeDynPrintout({dyn.get(), 3})->RepLDate->Caption(), QStringLiteral("Годы"));
    dyn->Close();
    EXPECT_FALSE(MakeDynPrintout({dyn.get(), 1}));
}

// ---- exports through the writers the layouts carry, printing into a PDF file ----

TEST(RstPrintExport, LayoutsOfferTheirWritersAndExportToSpreadsheetHtmlAndPdf)
{
    const auto before = ExportFilterLibrary().Registered().size();
    auto tab = TabRes();
    auto qhs = Qhs(5);
    QTemporaryDir dir;
    {
        std::unique_ptr<TQrs> totals = MakeTotalsPrintout(TotalsState(*tab));
        std::unique_ptr<TQHist> hist = MakeHistPrintout(HistState(*qhs));
        EXPECT_EQ(ExportFilterLibrary().Registered().size(), before + 12); // six writers each

        const QString xls = dir.filePath(QStringLiteral("totals.xls"));
        ASSERT_TRUE(ExportAs(*totals, QStringLiteral("xls"), xls));
        const QString cells = XlsCells(xls);
        for (const char *x : {"Транспорт", "Зарплата", "Наименование", "Статьи Обороты за 01.01.2026 - 31.12.2026"})
            EXPECT_TRUE(cells.contains(QString::fromUtf8(x))) << x << " in " << cells.toStdString();
        EXPECT_TRUE(cells.contains(QStringLiteral("50000")) || cells.contains(N("50 000,00"))) << cells.toStdString();

        const QString htm = dir.filePath(QStringLiteral("operations.htm"));
        ASSERT_TRUE(ExportAs(*hist, QStringLiteral("htm"), htm));
        const QString text = HtmlText(dir.path());
        for (const char *x : {"Примечание 5", "Кошелёк 500,00 RUR", "Комментарий", "05.01.26"})
            EXPECT_TRUE(text.contains(QString::fromUtf8(x))) << x << " in " << text.toStdString();

        const QString pdf = dir.filePath(QStringLiteral("dynamics.pdf"));
        auto dyn = TabDyn();
        std::unique_ptr<TQprd> d = MakeDynPrintout({dyn.get(), 2});
        EXPECT_EQ(ExportFilterLibrary().Registered().size(), before + 18); // the dynamics carries its six too
        d->PrinterSettings.OutputFile = pdf;
        d->PrintToPrinter();
        ASSERT_TRUE(QFile::exists(pdf));
        const QString printed = Tool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        for (const char *x : {"Месяцы", "2 нед. 2026", "Баланс у.е.", "2750"})
            EXPECT_TRUE(printed.contains(QString::fromUtf8(x))) << x << " in " << printed.toStdString();
    }
    EXPECT_EQ(ExportFilterLibrary().Registered().size(), before); // freed layouts take theirs away
}

// ---- the commands through the preview window ----

class RstPrintCommands : public ::testing::Test {
protected:
    TReportWindowsScope reportWindows;
};

TEST_F(RstPrintCommands, EachCommandPreviewsItsPrintoutAndReturnsWhenClosed)
{
    auto tab = TabRes();
    PreviewWatch totals(QStringLiteral("printout-totals"));
    totals.Arm();
    PrintTotals(TotalsState(*tab)); // background run under a modal preview
    EXPECT_EQ(totals.Pages, 1);
    EXPECT_TRUE(totals.Texts.contains(QStringLiteral("Транспорт")));
    EXPECT_TRUE(tab->ControlsDisabled() == false);

    auto qhs = Qhs(60);
    PreviewWatch hist(QStringLiteral("printout-operations"));
    hist.Arm();
    PrintHist(HistState(*qhs));
    EXPECT_GE(hist.Pages, 2);
    EXPECT_TRUE(hist.Texts.contains(QStringLiteral("Примечание 1")));

    auto dyn = TabDyn();
    PreviewWatch d(QStringLiteral("printout-dynamics"));
    d.Arm();
    PrintDyn({dyn.get(), 2});
    EXPECT_EQ(d.Pages, 1);
    EXPECT_TRUE(d.Texts.contains(QStringLiteral("Месяцы")));

    // Nothing to print: no preview, the command returns at once.
    tab->Close();
    PrintTotals(TotalsState(*tab));
    EXPECT_EQ(OpenPreview(), nullptr);
}

// Figures that cannot be read end a command with a notice in Russian; no
// preview opens with zero totals or with rows left out of the sums (a row of
// the totals that failed to read was dropped, a failed sums query read as 0).
TEST_F(RstPrintCommands, UnreadableFiguresEndTheCommandWithANotice)
{
    std::vector<std::pair<const char *, TFieldType>> defs{{"id", ftSmallint}, {"nm", ftString}};
    for (const char *f : {"sdt", "sct", "amt", "sdr", "scr", "amr", "sdq", "scq", "amq"})
        defs.push_back({f, f == std::string_view("sct") ? ftString : ftFloat});
    auto tab = Table(defs, {{{"nm", "Продукты"}, {"sdt", 10.0}, {"sct", QStringLiteral("1 234,50")}}});
    TModalScript totals;
    totals.Press(QStringLiteral("OK"));
    PrintTotals(TotalsState(*tab));
    EXPECT_TRUE(totals.Finished()) << totals.Errors().join(u'\n').toStdString();
    ASSERT_EQ(totals.Seen().size(), 1u);
    EXPECT_TRUE(totals.Seen()[0].Text.startsWith(PrintFailedText)) << totals.Seen()[0].Text.toStdString();
    EXPECT_FALSE(tab->ControlsDisabled());
    EXPECT_EQ(OpenPreview(), nullptr);

    auto qhs = Qhs(5);
    auto broken = Table({{"Sdt", ftFloat}}, {{{"Sdt", 1.5}}});
    TRstHistPrint hs = HistState(*qhs);
    hs.ReadSums = [&] { return ReadHistSums(*broken); };
    TModalScript hist;
    hist.Press(QStringLiteral("OK"));
    PrintHist(hs);
    EXPECT_TRUE(hist.Finished()) << hist.Errors().join(u'\n').toStdString();
    ASSERT_EQ(hist.Seen().size(), 1u);
    EXPECT_TRUE(hist.Seen()[0].Text.startsWith(PrintFailedText));
    EXPECT_EQ(OpenPreview(), nullptr);
}

} // namespace
} // namespace zorbel
