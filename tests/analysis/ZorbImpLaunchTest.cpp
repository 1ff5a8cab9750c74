// The main window's import command opens the import window through the
// launcher seam, with the field separator and the layout going in and out.
#include "ImportFixture.h"

#include "analysis/AnalysisWindows.h"
#include "analysis/ZorbImp.h"
#include "core/ZorbLaunch.h"
#include "core/ZorbMain.h"
#include "core/ZorbSandbox.h"
#include "platform/widgets/ModalScript.h"

namespace zorbel::test {
namespace {

TEST(ImportLaunchTest, TheMainWindowsImportCommandOpensTheWindowAndTakesTheSeparatorBack)
{
    TSandbox box;
    RegisterAnalysisWindows();
    TModalScript start;
    start.Press(QStringLiteral("Yes")); // a new data set from the template
    auto main = std::make_unique<TFormMain>(QStringList{}, box.Path("program"));
    ASSERT_TRUE(main->Dm && main->Dm->Tb_Account.Active()) << start.Errors().join(u';').toStdString();

    main->CSV = QStringLiteral("t");
    main->ImpList = QStringLiteral("5;0");
    bool seen = false;
    TModalScript script;
    script.Then([&](TForm &f) {
        auto *imp = qobject_cast<TFormImp *>(&f);
        ASSERT_NE(imp, nullptr);
        seen = true;
        EXPECT_EQ(FormImp.data(), imp);
        EXPECT_EQ(imp->EdCSV->Text(), QStringLiteral("t"));
        EXPECT_EQ(imp->CbDate->ItemIndex(), 0);
        EXPECT_EQ(imp->Columns().mid(0, 2), (QStringList{U("Расход"), U("Дата")}));
        EXPECT_TRUE(imp->PanAcc->Caption().startsWith(U("Мой первый счёт = 0")));
        imp->EdCSV->SetText(QStringLiteral("|"));
        imp->ButDownClick(nullptr);
        imp->Close();
    });
    main->mImport->Click();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_EQ(main->CSV, QStringLiteral("|"));
    EXPECT_TRUE(main->ImpList.startsWith(QStringLiteral("0;5;")));
    EXPECT_TRUE(FormImp.isNull());

    // An import through the main window: the ledger's balance and the
    // category trees follow.
    const auto treeHas = [](TTreeView *tree, const QString &text) {
        for (int i = 0; i < tree->Items().Count(); ++i)
            if (tree->Items()[i]->Text() == text)
                return true;
        return false;
    };
    const double rest = main->Dm->Tb_Account.FieldByName(QStringLiteral("Rest"))->AsFloat();
    main->ImpList = QStringLiteral("0;1;5;4");
    TModalScript import;
    import.Then([](TForm &f) {
              auto &imp = static_cast<TFormImp &>(f);
              imp.EdCSV->SetText(QStringLiteral(";"));
              imp.M->SetText(U("01.01.2024;Новая статья;10,00\n02.01.2024;Доход с продаж;;25,50"));
              imp.ButTestClick(nullptr);
              imp.ButImpClick(nullptr); // answered by the next two steps
              imp.Close();
          })
        .Press(QStringLiteral("Yes"))
        .Press(QStringLiteral("OK"));
    main->mImportClick(main.get());
    EXPECT_TRUE(import.Finished()) << import.Errors().join(u';').toStdString();
    EXPECT_DOUBLE_EQ(main->Dm->Tb_Account.FieldByName(QStringLiteral("Rest"))->AsFloat(), rest + 15.5);
    EXPECT_TRUE(treeHas(main->TvCt, U("Новая статья")));
    EXPECT_TRUE(treeHas(main->TvDt, U("Доход с продаж")));
    AnalysisLaunchers().FormImp = nullptr;
}

} // namespace
} // namespace zorbel::test
