// Sub-detail bands under their masters, and the report's band switches.
#include "RepReportSupport.h"

#include "platform/sqltable/Database.h"
#include "platform/sqltable/Query.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

struct MasterDetail : ListReport {
    std::unique_ptr<TVemtMemTable> lines = std::make_unique<TVemtMemTable>();
    TRepSubDetail *sub = nullptr;
    MasterDetail()
    {
        lines->SetName(QStringLiteral("L"));
        lines->FieldDefs().Add(QStringLiteral("line"), ftString, 20);
        lines->Open();
        for (const char *t : {"а", "б"}) {
            lines->Append();
            lines->FieldByName(QStringLiteral("line"))->SetAsString(QString::fromUtf8(t));
            lines->Post();
        }
        Rows(3);
        Add(rbDetail, 50).Add(Expr(QStringLiteral("nm"), 0, 0));
        auto s = std::make_unique<TRepSubDetail>();
        s->Size.Length = 40;
        s->Size.Width = 1900;
        sub = &report.AddBand(std::move(s));
        sub->Controller.DataSet = lines.get();
        sub->Add(Expr(QStringLiteral("line"), 100, 0));
    }
};

TEST(RepSubDetail, PrintsItsRecordsAfterOrBeforeEachMasterRecordWithHeaderAndFooter)
{
    MasterDetail r;
    r.Run();
    EXPECT_EQ(r.Texts(1), (QStringList{"Строка 1", "а", "б", "Строка 2", "а", "б", "Строка 3", "а", "б"}));
    // The sub-detail's rows lie below the master's, band after band.
    const std::vector<PageText> p = r.Page(1);
    ASSERT_EQ(p.size(), 9u);
    EXPECT_NEAR(p[1].Y - p[0].Y, 50, 3);
    EXPECT_NEAR(p[2].Y - p[1].Y, 40, 3);

    r.sub->SetHasHeader(true);
    r.sub->SetHasFooter(true);
    ASSERT_TRUE(r.sub->HasHeader());
    EXPECT_EQ(r.sub->HeaderBand()->BandType, rbGroupHeader);
    EXPECT_EQ(r.sub->FooterBand()->BandType, rbGroupFooter);
    r.sub->HeaderBand()->Size.Length = 30;
    r.sub->HeaderBand()->Add(Text(QStringLiteral("шапка"), 0, 0));
    r.sub->FooterBand()->Size.Length = 30;
    r.sub->FooterBand()->Add(Text(QStringLiteral("итог"), 0, 0));
    r.sub->Controller.PrintBefore = true;
    r.Run();
    EXPECT_EQ(r.Texts(1).mid(0, 5), (QStringList{"шапка", "а", "б", "итог", "Строка 1"}));
    EXPECT_EQ(r.Texts(1).size(), 15);
    // Switching the header off frees it; the run goes on without it.
    r.sub->SetHasHeader(false);
    EXPECT_FALSE(r.sub->HasHeader());
    r.Run();
    EXPECT_EQ(r.Texts(1).mid(0, 4), (QStringList{"а", "б", "итог", "Строка 1"}));
}

TEST(RepSubDetail, AnEmptySubDatasetPrintsItsEmptyBandsOnlyWhenAsked)
{
    MasterDetail r;
    r.lines->First();
    while (!r.lines->Eof())
        r.lines->Delete();
    r.sub->Controller.PrintIfEmpty = false;
    r.sub->Add(Text(QStringLiteral("пусто"), 500, 0));
    r.Run();
    EXPECT_EQ(r.Texts(1), (QStringList{"Строка 1", "Строка 2", "Строка 3"}));
    r.sub->Controller.PrintIfEmpty = true;
    r.Run();
    // The detail band prints once per master with empty fields.
    EXPECT_EQ(r.printer().RecordedPages(), 1);
    EXPECT_EQ(r.Texts(1), (QStringList{"Строка 1", "пусто", "Строка 2", "пусто", "Строка 3", "пусто"}));
}

TEST(RepSubDetail, NestedSubDetailsAndCircularMastersRefused)
{
    MasterDetail r;
    auto inner = std::make_unique<TRepSubDetail>();
    inner->Size.Length = 30;
    inner->Size.Width = 1900;
    TRepSubDetail &in = r.report.AddBand(std::move(inner));
    ASSERT_TRUE(in.SetMaster(r.sub));
    int n = 0;
    in.Controller.OnNeedData = [&](bool &more) { more = (n++ % 2) == 0; };
    in.Add(Text(QStringLiteral("вложенный"), 200, 0));
    EXPECT_FALSE(r.sub->SetMaster(&in)); // in's master is sub already
    EXPECT_FALSE(in.SetMaster(&in));
    r.Run();
    EXPECT_EQ(r.Texts(1).mid(0, 6),
              (QStringList{"Строка 1", "а", "вложенный", "б", "вложенный", "Строка 2"}));
}

TEST(RepQueryParams, AParameterNamedLikeAReportVariableIsRefreshedBeforeTheRun)
{
    QTemporaryDir dir;
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("R"));
    db.SetParams({QStringLiteral("PATH=") + dir.path()});
    db.Open();
    auto exec = [&](const QString &sql) {
        TQuery q;
        q.SetDatabase(&db);
        q.SQL() = QStringList{sql};
        q.ExecSQL();
    };
    exec(QStringLiteral("create table NUMS (N integer, NM char(20), D date)"));
    for (int i = 1; i <= 5; ++i)
        exec(QStringLiteral("insert into NUMS (N, NM, D) values (%1, 'число %1', %2)").arg(i).arg(46000 + i));
    TQuery q;
    q.SetDatabase(&db);
    q.SQL() = QStringList{QStringLiteral("select NM from NUMS where N <= :LIMIT and NM <> :Pagenumber order by N")};
    q.ParamByName(QStringLiteral("LIMIT"))->SetAsInteger(1);
    q.ParamByName(QStringLiteral("Pagenumber"))->SetAsString(QStringLiteral("x"));
    q.Open();

    ListReport r;
    r.report.DataSets = {&q};
    r.report.MainController.DataSet = &q;
    r.report.Functions.DefineVariable(QStringLiteral("LIMIT"), QStringLiteral("3"));
    r.Add(rbDetail, 50).Add(Expr(QStringLiteral("NM"), 0, 0));
    r.Run();
    // LIMIT became 3; PAGENUMBER is an integer and leaves the string parameter alone.
    EXPECT_EQ(r.Texts(1), (QStringList{"число 1", "число 2", "число 3"}));
    EXPECT_EQ(q.ParamByName(QStringLiteral("LIMIT"))->AsInteger(), 3);
    EXPECT_EQ(q.ParamByName(QStringLiteral("Pagenumber"))->AsString(), QStringLiteral("x"));

    // Without a matching variable the query runs as it was opened.
    r.report.Functions.DeleteVariable(QStringLiteral("LIMIT"));
    q.ParamByName(QStringLiteral("LIMIT"))->SetAsInteger(2);
    q.Close();
    q.Open();
    r.Run();
    EXPECT_EQ(r.Texts(1), (QStringList{"число 1", "число 2"}));
}

TEST(RepBandSwitches, CreateFindAndFreeBandsAndClearReferencesToThem)
{
    TBandReport report;
    TBandReportBands &bands = report.BandSwitches;
    EXPECT_FALSE(bands.HasTitle());
    bands.SetHasTitle(true);
    bands.SetHasDetail(true);
    bands.SetHasPageFooter(true);
    bands.SetHasSummary(true);
    ASSERT_TRUE(bands.HasTitle());
    EXPECT_EQ(bands.GetBand(1)->Name, QStringLiteral("TitleBand1"));
    EXPECT_EQ(bands.GetBand(4)->BandType, rbDetail);
    EXPECT_EQ(bands.GetBand(5), nullptr);
    EXPECT_EQ(bands.GetBand(6)->BandType, rbPageFooter);
    EXPECT_EQ(bands.GetBand(9)->BandType, rbSummary);
    EXPECT_FALSE(bands.HasPageHeader());
    EXPECT_FALSE(bands.HasColumnHeader());
    EXPECT_EQ(report.Bands().size(), 4u);
    bands.SetHasTitle(true); // already there: no second one
    EXPECT_EQ(report.Bands().size(), 4u);

    // A group footer and a link pointing at a freed band are cleared.
    auto &g = report.AddBand(std::make_unique<TRepGroup>());
    g.FooterBand = static_cast<TRepBand *>(bands.GetBand(7));
    bands.GetBand(1)->SetLinkBand(bands.GetBand(7));
    bands.SetHasSummary(false);
    EXPECT_FALSE(bands.HasSummary());
    EXPECT_EQ(g.FooterBand, nullptr);
    EXPECT_EQ(bands.GetBand(1)->LinkBand(), nullptr);
    EXPECT_EQ(report.Bands().size(), 4u);
}

} // namespace
} // namespace zorbel::test
