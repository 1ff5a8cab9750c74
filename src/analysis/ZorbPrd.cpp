#include "analysis/ZorbPrd.h"

namespace zorbel {

TQprd::TQprd()
{
    SetupPrintoutLayout(*this, true);
    Options = unsigned(TBandReportOption::FirstPageHeader) | unsigned(TBandReportOption::LastPageFooter);
    const TPrnFont f10{10}, f10b{10, true}, f9{9}, f9b{9, true};
    const auto right = TAlignment::taRightJustify;

    RepBand1 = &AddPrintoutBand(*this, rbPageHeader, 7, QStringLiteral("RepBand1"));
    PlaceSysData(*RepBand1, QStringLiteral("RepSysData3"), qrsDateTime, QString(), 1, 1, 60, 5, f10);
    PlaceSysData(*RepBand1, QStringLiteral("RepSysData2"), qrsPageNumber, QStringLiteral("стр "), 120, 1, 37, 5, f10,
                 TAlignment::taCenter);
    PlaceSysData(*RepBand1, QStringLiteral("RepSysData4"), qrsDetailCount, QStringLiteral("строк: "), 215, 1, 61, 5,
                 f10, right);

    // Number, date, then twelve number columns of 20 mm.
    const char *fields[] = {"dt",   "ct",     "bal",  "rest", "price", "dty",
                            "cty",  "baly",   "pricey", "rate", "qdt",   "qct"};
    const QString titles[] = {QStringLiteral("Приход"),      QStringLiteral("Расход"),      QStringLiteral("Баланс"),
                              QStringLiteral("Остаток"),     QStringLiteral("Цена"),        QStringLiteral("Приход у.е."),
                              QStringLiteral("Расход у.е."), QStringLiteral("Баланс у.е."), QStringLiteral("Цена у.е."),
                              QStringLiteral("Курс"),        QStringLiteral("Кол.+"),       QStringLiteral("Кол.-")};
    auto colLeft = [](int i) { return 36.0 + i * 20.0; };

    // Two-line titles: "Приход у.е." is wider than its column.
    RepBand3 = &AddPrintoutBand(*this, rbColumnHeader, 10, QStringLiteral("RepBand3"));
    PlaceLabel(*RepBand3, QString(), QStringLiteral("№"), 1, 1, 9, 4.5, f10b);
    RepLDate = &PlaceLabel(*RepBand3, QStringLiteral("RepLDate"), QStringLiteral("Дата"), 10, 1, 25, 4.5, f10b,
                           TAlignment::taCenter);
    for (int i = 0; i < 12; ++i) {
        TRepLabel &l = PlaceLabel(*RepBand3, QString(), titles[i], colLeft(i), 0.5, 19.5, 9, f10b, right);
        l.WordWrap = true;
        l.SetCaption(titles[i]); // wrapped again with word wrap on
        if (i == 10)
            RepLQ1 = &l, l.Name = QStringLiteral("RepLQ1");
        if (i == 11)
            RepLQ2 = &l, l.Name = QStringLiteral("RepLQ2");
    }

    RepBandet = &AddPrintoutBand(*this, rbDetail, 5, QStringLiteral("RepBandet"));
    RepSysData1 = &PlaceSysData(*RepBandet, QStringLiteral("RepSysData1"), qrsDetailNo, QString(), 1, 0.5, 9, 4, f9);
    RepDBDate = &PlaceDBText(*RepBandet, QStringLiteral("RepDBDate"), nullptr, QStringLiteral("vr"), QString(), 10,
                             0.5, 25, 4, f9, TAlignment::taCenter);
    DetailTexts.push_back(RepDBDate);
    for (int i = 0; i < 12; ++i)
        DetailTexts.push_back(&PlaceDBText(*RepBandet, QStringLiteral("RepDB") + QString::fromLatin1(fields[i]), nullptr,
                                           QString::fromLatin1(fields[i]), QString(), colLeft(i), 0.5, 19.5, 4, f9));

    RepBand5 = &AddPrintoutBand(*this, rbSummary, 7, QStringLiteral("RepBand5"));
    const QString money = QStringLiteral("# ### ### ##0.00");
    struct TSum {
        int Column;
        TPrnFont Font;
        QString Mask;
    };
    const TSum sums[] = {{0, f10b, money}, {1, f10b, money},  {2, f10b, money},           {5, f9b, money},
                         {6, f9b, money},  {7, f9b, money},   {10, f10b, QStringLiteral("0.00")},
                         {11, f10b, QStringLiteral("0.00")}};
    for (const TSum &s : sums) {
        const QString field = QString::fromLatin1(fields[s.Column]);
        Sums.push_back(&PlaceExpr(*RepBand5, QStringLiteral("RepE") + field, QStringLiteral("Sum(%1)").arg(field), s.Mask,
                                  colLeft(s.Column), 1, 19.5, 5, s.Font));
    }
}

void TQprd::SetDataSet(TDataSet *dataSet)
{
    DataSets.clear();
    if (dataSet)
        DataSets.push_back(dataSet);
    MainController.DataSet = dataSet;
    for (TRepDBText *t : DetailTexts)
        t->DataSet = dataSet;
}

} // namespace zorbel
