#include "analysis/ZorbPrn.h"

namespace zorbel {

namespace {

const QString Money = QStringLiteral("#,###,###,##0.00");
const QString MoneySum = QStringLiteral("#,###,###,##0.00#");

} // namespace

TQrs::~TQrs() { WaitForRun(); }

TQrs::TQrs(TDataSet *dataSet)
{
    SetupPrintoutLayout(*this, false);
    Options = unsigned(TBandReportOption::FirstPageHeader);
    ReportTitle = QStringLiteral("Zorbel Report");
    if (dataSet)
        DataSets.push_back(dataSet);
    MainController.DataSet = dataSet;
    const TPrnFont f10{10}, f10b{10, true}, f11b{11, true}, italic{10, false, true};
    const auto right = TAlignment::taRightJustify;

    RepBand1 = &AddPrintoutBand(*this, rbPageHeader, 7, QStringLiteral("RepBand1"));
    RepSysData4 = &PlaceSysData(*RepBand1, QStringLiteral("RepSysData4"), qrsDateTime, QString(), 1, 1, 60, 5, f10);
    RepSysData2 = &PlaceSysData(*RepBand1, QStringLiteral("RepSysData2"), qrsPageNumber, QString(), 80, 1, 30, 5, f10,
                                TAlignment::taCenter);
    RepSysData5 = &PlaceSysData(*RepBand1, QStringLiteral("RepSysData5"), qrsDetailCount, QStringLiteral("строк:"),
                                140, 1, 49, 5, f10, right);

    RepBand5 = &AddPrintoutBand(*this, rbTitle, 70, QStringLiteral("RepBand5"));
    TRepBand &t = *RepBand5;
    const QString names[] = {QStringLiteral("Статья:"), QStringLiteral("Счёт:"), QStringLiteral("Кто:"),
                             QStringLiteral("Где:")};
    TRepLabel **values[] = {&RepLItm, &RepLAcc, &RepLPers, &RepLFirm};
    const QString valueNames[] = {QStringLiteral("RepLItm"), QStringLiteral("RepLAcc"), QStringLiteral("RepLPers"),
                                  QStringLiteral("RepLFirm")};
    for (int i = 0; i < 4; ++i) {
        PlaceLabel(t, QString(), names[i], 2, 2 + i * 6, 18, 5, f10);
        *values[i] = &PlaceLabel(t, valueNames[i], QString(), 20, 2 + i * 6, 72, 5, f10b);
    }
    RepShape1 = &PlaceRectangle(t, QStringLiteral("RepShape1"), 1, 27, 92, 25);
    PlaceLabel(t, QString(), QStringLiteral("Ограничения выводимых сумм:"), 3, 28, 85, 5, italic);
    const QString limits[] = {QStringLiteral("Сумма прихода:"), QStringLiteral("Сумма расхода:"),
                              QStringLiteral("Сумма  результ:")};
    TRepLabel **limitValues[] = {&RepLSdt, &RepLSct, &RepLSrs};
    const QString limitNames[] = {QStringLiteral("RepLSdt"), QStringLiteral("RepLSct"), QStringLiteral("RepLSrs")};
    for (int i = 0; i < 3; ++i) {
        PlaceLabel(t, QString(), limits[i], 3, 34 + i * 6, 32, 5, f10);
        *limitValues[i] = &PlaceLabel(t, limitNames[i], QString(), 36, 34 + i * 6, 55, 5, f10);
    }
    RepShape2 = &PlaceRectangle(t, QStringLiteral("RepShape2"), 96, 2, 93, 50);
    PlaceLabel(t, QString(), QStringLiteral("Дополнительные условия:"), 98, 3, 85, 5, italic);
    const QString extra[] = {QStringLiteral("Примеч.:"), QStringLiteral("Приход:"),     QStringLiteral("Расход:"),
                             QStringLiteral("Цена:"),    QStringLiteral("Курс:"),       QStringLiteral("Кол-во прих:"),
                             QStringLiteral("Кол-во расх:")};
    TRepLabel **extraValues[] = {&RepLComm, &RepLDt, &RepLCt, &RepLPrice, &RepLRate, &RepLQDt, &RepLQct};
    const QString extraNames[] = {QStringLiteral("RepLComm"), QStringLiteral("RepLDt"),   QStringLiteral("RepLCt"),
                                  QStringLiteral("RepLPrice"), QStringLiteral("RepLRate"), QStringLiteral("RepLQDt"),
                                  QStringLiteral("RepLQct")};
    for (int i = 0; i < 7; ++i) {
        PlaceLabel(t, QString(), extra[i], 98, 9 + i * 6, 26, 5, f10);
        *extraValues[i] = &PlaceLabel(t, extraNames[i], QString(), 125, 9 + i * 6, 62, 5, f10);
    }
    RepL = &PlaceLabel(t, QStringLiteral("RepL"), QString(), 0, 55, 190, 6, {11, false, true}, TAlignment::taCenter);
    RepLBeg = &PlaceLabel(t, QStringLiteral("RepLBeg"), QString(), 2, 62, 120, 6, f11b);

    RepBand2 = &AddPrintoutBand(*this, rbColumnHeader, 7, QStringLiteral("RepBand2"));
    PlaceLabel(*RepBand2, QString(), QStringLiteral("Наименование"), 2, 1, 80, 5, f10b);
    PlaceLabel(*RepBand2, QString(), QStringLiteral("Приход"), 85, 1, 34, 5, f10b, right);
    PlaceLabel(*RepBand2, QString(), QStringLiteral("Расход"), 120, 1, 34, 5, f10b, right);
    PlaceLabel(*RepBand2, QString(), QStringLiteral("Результат"), 155, 1, 34, 5, f10b, right);

    RepBand3 = &AddPrintoutBand(*this, rbDetail, 6, QStringLiteral("RepBand3"));
    RepDBName = &PlaceDBText(*RepBand3, QStringLiteral("RepDBName"), dataSet, QStringLiteral("nm"), QString(), 2, 0.5,
                             82, 5, f10, TAlignment::taLeftJustify);
    RepDBDt = &PlaceDBText(*RepBand3, QStringLiteral("RepDBDt"), dataSet, QStringLiteral("sdt"), Money, 85, 0.5, 34, 5,
                           f10);
    RepDBCt = &PlaceDBText(*RepBand3, QStringLiteral("RepDBCt"), dataSet, QStringLiteral("sct"), Money, 120, 0.5, 34, 5,
                           f10);
    RepDBRs = &PlaceDBText(*RepBand3, QStringLiteral("RepDBRs"), dataSet, QStringLiteral("amt"), Money, 155, 0.5, 34, 5,
                           f10);

    RepBand4 = &AddPrintoutBand(*this, rbSummary, 16, QStringLiteral("RepBand4"));
    RepEDt = &PlaceExpr(*RepBand4, QStringLiteral("RepEDt"), QStringLiteral("Sum(sdt)"), MoneySum, 85, 1, 34, 6, f11b);
    RepECt = &PlaceExpr(*RepBand4, QStringLiteral("RepECt"), QStringLiteral("Sum(sct)"), MoneySum, 120, 1, 34, 6, f11b);
    RepERs = &PlaceExpr(*RepBand4, QStringLiteral("RepERs"), QStringLiteral("Sum(amt)"), MoneySum, 155, 1, 34, 6, f11b);
    RepLEnd = &PlaceLabel(*RepBand4, QStringLiteral("RepLEnd"), QString(), 2, 9, 120, 6, f11b);
}

} // namespace zorbel
