#include "analysis/ZorbPrh.h"

namespace zorbel {

namespace {

const QString Money = QStringLiteral("#,###,###,##0.00");
const QString MoneySum = QStringLiteral("#,###,###,##0.00#");
// Background of the balance lines.
constexpr TColor BalanceBack = 0xD7DBDB; // RGB(219,219,215)

// Column positions (left, width) in millimetres across the landscape page.
struct TCol {
    double Left, Width;
};
constexpr TCol ColNo{1, 9}, ColDate{10, 19}, ColItems{30, 50}, ColDt{81, 24}, ColCt{106, 24}, ColPrice{131, 18},
    ColQdt{150, 16}, ColQct{167, 16}, ColPers{185, 26}, ColFirm{212, 26}, ColCom{239, 37};

} // namespace

TQHist::TQHist(TDataSet *dataSet)
{
    SetupPrintoutLayout(*this, true);
    Options = unsigned(TBandReportOption::FirstPageHeader) | unsigned(TBandReportOption::LastPageFooter);
    if (dataSet)
        DataSets.push_back(dataSet);
    MainController.DataSet = dataSet;
    const TPrnFont f10{10}, f10b{10, true}, f8{8}, f8b{8, true};
    const auto right = TAlignment::taRightJustify;
    const auto left = TAlignment::taLeftJustify;

    RepBand1 = &AddPrintoutBand(*this, rbPageHeader, 7, QStringLiteral("RepBand1"));
    RepSysData3 = &PlaceSysData(*RepBand1, QStringLiteral("RepSysData3"), qrsDateTime, QString(), 1, 1, 60, 5, f10);
    RepSysData2 = &PlaceSysData(*RepBand1, QStringLiteral("RepSysData2"), qrsPageNumber, QStringLiteral("стр "), 120,
                                1, 37, 5, f10, TAlignment::taCenter);
    RepSysData4 = &PlaceSysData(*RepBand1, QStringLiteral("RepSysData4"), qrsDetailCount, QStringLiteral("строк: "),
                                215, 1, 61, 5, f10, right);

    RepBand2 = &AddPrintoutBand(*this, rbTitle, 20, QStringLiteral("RepBand2"));
    RepLacc = &PlaceLabel(*RepBand2, QStringLiteral("RepLacc"), QString(), 0, 1, 277, 5, f10b, TAlignment::taCenter);
    RepLPer = &PlaceLabel(*RepBand2, QStringLiteral("RepLPer"), QString(), 0, 7, 277, 5, {10, false, true},
                          TAlignment::taCenter);
    RepLRes = &PlaceLabel(*RepBand2, QStringLiteral("RepLRes"), QString(), 1, 13, 275, 5, f10b);
    RepLRes->Transparent = false;
    RepLRes->Color = BalanceBack;

    RepBand3 = &AddPrintoutBand(*this, rbColumnHeader, 6, QStringLiteral("RepBand3"));
    TRepBand &h = *RepBand3;
    auto title = [&](const char *name, const QString &caption, TCol c, TAlignment a) {
        return &PlaceLabel(h, QString::fromLatin1(name), caption, c.Left, 1, c.Width, 4, f8b, a);
    };
    title("", QStringLiteral("№"), ColNo, left);
    RepLabDate = title("RepLabDate", QStringLiteral("Дата"), ColDate, TAlignment::taCenter);
    title("", QStringLiteral("Статьи"), ColItems, left);
    RepLabDt = title("RepLabDt", QStringLiteral("Приход"), ColDt, right);
    RepLabCt = title("RepLabCt", QStringLiteral("Расход"), ColCt, right);
    RepLabPrice = title("RepLabPrice", QStringLiteral("Цена"), ColPrice, right);
    RepLabQdt = title("RepLabQdt", QStringLiteral("Кол.+"), ColQdt, right);
    RepLabQct = title("RepLabQct", QStringLiteral("Кол.-"), ColQct, right);
    RepLabPers = title("RepLabPers", QStringLiteral("Кто"), ColPers, left);
    RepLabFirm = title("RepLabFirm", QStringLiteral("Где"), ColFirm, left);
    RepLabCom = title("RepLabCom", QStringLiteral("Примеч."), ColCom, left);

    RepBand4 = &AddPrintoutBand(*this, rbDetail, 8, QStringLiteral("RepBand4"));
    TRepBand &d = *RepBand4;
    auto data = [&](const char *name, const char *field, const QString &mask, TCol c, TAlignment a) {
        return &PlaceDBText(d, QString::fromLatin1(name), dataSet, QString::fromLatin1(field), mask, c.Left, 0.5,
                            c.Width, 3.5, f8, a);
    };
    RepSysData1 = &PlaceSysData(d, QStringLiteral("RepSysData1"), qrsDetailNo, QString(), ColNo.Left, 0.5, ColNo.Width,
                                3.5, f8);
    RepDBDate = data("RepDBDate", "date_real", QString(), ColDate, TAlignment::taCenter);
    RepDBText1 = data("RepDBText1", "Itms", QString(), ColItems, left);
    RepDBText1->WordWrap = true;
    RepDBText1->Size.Values[TRepPrintableSize::iHeight] = 70; // two lines
    RepDBText6 = data("RepDBText6", "Dt", Money, ColDt, right);
    RepDBText5 = data("RepDBText5", "Ct", Money, ColCt, right);
    RepDBText7 = data("RepDBText7", "price", Money, ColPrice, right);
    RepDBQ1 = data("RepDBQ1", "qdt", QString(), ColQdt, right);
    RepDBQ2 = data("RepDBQ2", "qct", QString(), ColQct, right);
    RepDBText10 = data("RepDBText10", "Pers", QString(), ColPers, left);
    RepDBText11 = data("RepDBText11", "Firm", QString(), ColFirm, left);
    RepDBText12 = data("RepDBText12", "comment", QString(), ColCom, left);
    RepDBText12->WordWrap = true;
    RepDBText12->Size.Values[TRepPrintableSize::iHeight] = 70;

    RepBand5 = &AddPrintoutBand(*this, rbSummary, 31, QStringLiteral("RepBand5"));
    TRepBand &s = *RepBand5;
    auto sum = [&](const char *name, const char *expr, TCol c, double top) {
        return &PlaceExpr(s, QString::fromLatin1(name), QString::fromLatin1(expr), MoneySum, c.Left, top, c.Width, 5,
                          f10b);
    };
    RepEDt = sum("RepEDt", "Sum(dt)", ColDt, 1);
    RepExpr1 = sum("RepExpr1", "Sum(ct)", ColCt, 1);
    RepExpr4 = sum("RepExpr4", "Sum(dt-ct)", ColCt, 6);
    RepEQ1 = sum("RepEQ1", "Sum(qdt)", ColQdt, 1);
    RepEQ2 = sum("RepEQ2", "Sum(qct)", ColQct, 1);
    RepEQ = sum("RepEQ", "Sum(qdt-qct)", ColQct, 6);
    for (TRepExpr *q : {RepEQ1, RepEQ2, RepEQ})
        q->Mask.clear(); // set by the print command
    RepL = &PlaceLabel(s, QStringLiteral("RepL"), QString(), 1, 12, 275, 5, f10b);
    RepLq = &PlaceLabel(s, QStringLiteral("RepLq"), QString(), 1, 18, 275, 5, f10);
    RepLy = &PlaceLabel(s, QStringLiteral("RepLy"), QString(), 1, 24, 275, 5, f10);
    for (TRepLabel *l : {RepL, RepLq, RepLy}) {
        l->Transparent = false;
        l->Color = BalanceBack;
    }
}

} // namespace zorbel
