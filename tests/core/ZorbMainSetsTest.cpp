// The settings window on the real main window: it shows the options, OK gives
// them to the main window at once (bars, formats, fonts spread to the other
// grids and trees), Cancel keeps them but not the column changes that act at
// once, the registry removal, and the next start reading what was saved.
#include "core/ZorbMain.h"
#include "core/ZorbCard.h"
#include "ZorbSandbox.h"
#include "core/ZorbSets.h"
#include "core/ZorbText.h"
#include "platform/system/Registry.h"
#include "platform/widgets/Dialogs.h"
#include "platform/widgets/ModalScript.h"
#include "support/Environment.h"

#include <QApplication>
#include <QFontDialog>
#include <QTabBar>
#include <gtest/gtest.h>

namespace zorbel {
namespace {

class MainSets : public testing::Test {
protected:
    void SetUp() override
    {
        f = std::make_unique<TFormMain>(QStringList{}, box.Path("program"));
        ASSERT_TRUE(f->ReadyToRun());
    }
    void TearDown() override
    {
        if (f) {
            f->Dm->SetModified(false);
            f->mCloseNotSaveClick(f.get());
        }
    }
    // Opens the settings window; Step drives it.
    QStringList Settings(const std::function<void(TFormSets &)> &Step,
                         const std::function<void(TModalScript &)> &More = {})
    {
        TModalScript script;
        script.Then([&](TForm &w) { Step(dynamic_cast<TFormSets &>(w)); });
        if (More)
            More(script);
        f->mSetsClick(f->mSets);
        EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
        QStringList texts;
        for (const auto &seen : script.Seen())
            texts << (seen.Text.isEmpty() ? seen.Caption : seen.Text);
        return texts;
    }
    // A font dialog step choosing Font.
    static TModalScript::TStep ChooseFont(const QFont &Font)
    {
        return [Font](TForm &w) {
            auto &d = dynamic_cast<TFontForm &>(w);
            d.Chooser->setCurrentFont(Font);
            d.ButOk->Click();
        };
    }

    TSandbox box;
    std::unique_ptr<TFormMain> f;
};

// The four page tabs show their whole captions, however narrow the window
// was made (the designed width is too narrow for them in larger fonts).
TEST_F(MainSets, PageTabsShowTheirWholeCaptions)
{
    f->Show();
    Settings([](TFormSets &s) {
        s.SetBounds(s.Left(), s.Top(), 300, s.Height());
        QApplication::processEvents();
        auto *tabs = s.Pg->findChild<QTabBar *>();
        ASSERT_NE(tabs, nullptr);
        ASSERT_EQ(tabs->count(), 4);
        for (int i = 0; i < tabs->count(); ++i)
            EXPECT_GE(tabs->tabRect(i).width(), tabs->fontMetrics().horizontalAdvance(tabs->tabText(i)))
                << tabs->tabText(i).toStdString();
        EXPECT_LE(tabs->tabRect(3).right(), s.Pg->width());
        s.ButCancel->Click();
    });
}

// At its designed size, with the frame a window manager puts around it, the
// window shows every group and control of every page whole, above the OK panel.
TEST_F(MainSets, EveryPageFitsTheWindowAtItsDesignedSize)
{
    f->Show();
    Settings([](TFormSets &s) {
        // The window's own area at its designed height under a desktop's
        // title bar and borders.
        s.resize(s.width(), 565 - 24);
        QApplication::processEvents();
        for (int i = 0; i < s.Pg->PageCount(); ++i) {
            s.Pg->SetActivePageIndex(i);
            QApplication::processEvents();
            QWidget *page = s.Pg->Pages(i);
            ASSERT_NE(page, nullptr);
            for (QWidget *child : page->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
                if (child->isVisibleTo(page)) {
                    EXPECT_LE(child->geometry().bottom(), page->height())
                        << "page " << i << ": " << child->objectName().toStdString() << " "
                        << child->metaObject()->className();
                }
            }
        }
        s.ButCancel->Click();
    });
}

TEST_F(MainSets, ShowsTheOptionsAndOkGivesThemToTheMainWindow)
{
    f->Show();
    QFont serif(QStringLiteral("Liberation Sans"), 13);
    serif.setBold(true);
    serif.setItalic(true);
    QFont mono(QStringLiteral("Liberation Mono"), 9);
    Settings(
        [&](TFormSets &s) {
            EXPECT_EQ(s.Caption(), U("Настройки и установки"));
            EXPECT_EQ(s.Pg->ActivePageIndex(), 0);
            EXPECT_EQ(s.Pg->PageCount(), 4);
            // The defaults of a first start.
            EXPECT_TRUE(s.ChBar->Checked());
            EXPECT_TRUE(s.ChStatus->Checked());
            EXPECT_TRUE(s.ChSum->Checked() && s.ChComm->Checked());
            EXPECT_EQ(s.EdCSV->Text(), ";");
            // The stored default stands for the program's own calculator,
            // which the empty box says.
            EXPECT_EQ(s.EdCalc->Text(), "");
            EXPECT_EQ(s.EdCalc->placeholderText(), U("встроенный калькулятор программы"));
            // What the page says of this system is true here: the settings
            // are a file, and the reserve copies are where it names.
            EXPECT_EQ(s.ButReg->Caption(), U("Удалить Zorbel-записи: настройки и связь с *.den-файлами"));
            QStringList texts;
            for (const TLabel *l : s.ShSystem->findChildren<TLabel *>())
                texts << l->text();
            const QString all = texts.join(u'|');
            EXPECT_FALSE(all.contains("Zorbel.exe") || all.contains(U("регистр"))) << all.toStdString();
            EXPECT_TRUE(all.contains(AbsoluteName(DefaultReserveFolder()))) << all.toStdString();
            EXPECT_EQ(s.EdDate->Text(), "dd.mm.yy ddd");
            EXPECT_EQ(s.CbPrice->ItemIndex(), 3);
            EXPECT_EQ(s.CbPrice->Text(), U("всегда 2 цифры"));
            EXPECT_EQ(s.CbQuant->Text(), U("\"как есть\""));
            EXPECT_EQ(s.CbCor->Text(), U("не надо"));
            EXPECT_EQ(s.CbDay1->Text(), U("Сегодня"));
            EXPECT_TRUE(s.ButReg->isEnabled());
            EXPECT_EQ(s.LbFld->Count(), f->DBG->Columns().Count());
            EXPECT_EQ(s.EdDisplay->Text(), f->DBG->Columns()[0]->TitleCaption());
            // Change a little of everything.
            s.ChBar->SetChecked(false);
            s.ChStatus->SetChecked(false);
            s.ChSum->SetChecked(false);
            s.EdCSV->SetText(QStringLiteral("t"));
            s.EdFlag->SetText(QStringLiteral("*"));
            s.EdDate->SetText(QStringLiteral("dd.mm.yyyy"));
            s.CbPrice->SetItemIndex(5);
            s.CbQuant->SetItemIndex(2);
            s.CbCor->SetItemIndex(3);
            s.CbDay2->SetItemIndex(2);
            s.ChAdmin->SetChecked(true);
            s.ChEscape->SetChecked(true);
            s.ButFontGrid->Click();
            s.ButFontTitle->Click();
            // The chosen font keeps bold, not italic.
            EXPECT_TRUE(s.ButFontGrid->Font().bold());
            EXPECT_FALSE(s.ButFontGrid->Font().italic());
            s.ButOk->Click();
        },
        [&](TModalScript &m) { m.Then(ChooseFont(serif)).Then(ChooseFont(mono)); });

    EXPECT_FALSE(f->ShowBar);
    EXPECT_FALSE(f->PanTop->Visible());
    EXPECT_FALSE(f->ShowStatus);
    EXPECT_FALSE(f->Sb->Visible());
    EXPECT_FALSE(f->Mem_Sum);
    EXPECT_EQ(f->CSV, "t");
    EXPECT_EQ(f->Rem_Flag, "*");
    EXPECT_EQ(f->DateForm, "dd.mm.yyyy");
    EXPECT_EQ(f->Calc, "calc.exe"); // left empty: still the own calculator
    EXPECT_EQ(f->Format_Prc, 5);
    EXPECT_EQ(f->PrcFormat, "#,##0");
    EXPECT_EQ(f->Format_Qnt, 2);
    EXPECT_EQ(f->QntFormat, "0.000");
    EXPECT_EQ(f->AutoCor, 3);
    EXPECT_EQ(f->Day2, 2);
    EXPECT_TRUE(f->Escape);
    EXPECT_TRUE(f->AdminMode);
    EXPECT_TRUE(f->mEmpty->Visible());
    // The fonts reach every grid, the trees and the status bar.
    EXPECT_EQ(f->GridFont.family(), serif.family());
    EXPECT_EQ(f->DBG->View()->font().family(), serif.family());
    EXPECT_EQ(f->DBGPerson->View()->font().family(), serif.family());
    EXPECT_EQ(f->DBGLog->View()->font().pointSize(), 13);
    EXPECT_EQ(f->DBGRem->TitleFont().family(), mono.family());
    EXPECT_EQ(f->TvCt->Font().family(), mono.family());
    EXPECT_EQ(f->Sb->Font().family(), mono.family());
    EXPECT_TRUE(f->PanAcRest->Font().bold());
    ASSERT_NE(f->Card(), nullptr);
    EXPECT_EQ(f->Card()->GridFont.family(), serif.family()) << "the card's data controls follow the ledger";

    // The status bar back: shown at once.
    Settings([](TFormSets &s) {
        s.ChStatus->SetChecked(true);
        s.ButOk->Click();
    });
    EXPECT_TRUE(f->ShowStatus);
    EXPECT_TRUE(f->Sb->Visible());
    EXPECT_FALSE(f->PanTop->Visible()); // unchanged
}

// The label names the reserve folder whole within its two lines: under the
// home as "~", and a folder too long for them shortened in its middle, with
// the whole name as its hint.
TEST_F(MainSets, TheReserveFolderIsNamedWithinItsLabel)
{
    TFormSets s;
    const QString home = box.Path("home");
    const QString longName = QStringLiteral("/media/") + QString(120, u'д') + QStringLiteral("/Reserve");
    const struct {
        QString Folder, Home, Shown;
    } rows[] = {
        {box.Path("data/zorbel/Reserve/"), "/nowhere", box.Path("data/zorbel/Reserve")},
        {home + "/.local/share/zorbel/Reserve/", home, "~/.local/share/zorbel/Reserve"},
        {"/Reserve", "/", "/Reserve"},
        {longName, "/nowhere", QString(u'…')},
    };
    for (const auto &row : rows) {
        test::TEnvironment env{{"HOME", QFile::encodeName(row.Home)}};
        s.ShowReserveFolder(row.Folder);
        const QString text = s.LbReserve->Caption();
        EXPECT_TRUE(text.startsWith(U("bak1, bak2 (1_имя.bak, 2_имя.bak) - в папке "))) << text.toStdString();
        EXPECT_TRUE(text.endsWith(U(", или в указанном месте:"))) << text.toStdString();
        EXPECT_TRUE(text.contains(row.Shown)) << text.toStdString();
        EXPECT_LE(s.LbReserve->heightForWidth(s.LbReserve->Width()), s.LbReserve->Height()) << text.toStdString();
        EXPECT_EQ(s.LbReserve->Hint(), AbsoluteName(row.Folder));
    }
}

TEST_F(MainSets, CancelKeepsOptionsButNotWhatActedAtOnce)
{
    f->Show();
    const QString title = f->DBG->Columns()[1]->TitleCaption();
    const QStringList seen = Settings(
        [&](TFormSets &s) {
            s.ChSum->SetChecked(false);
            s.ChAdmin->SetChecked(true);
            // Column 1 hidden and renamed at once.
            s.LbFld->SetChecked(1, false);
            s.LbFld->OnClickCheck(s.LbFld);
            s.LbFld->SetItemIndex(1);
            s.LbFld->OnClick(s.LbFld);
            EXPECT_EQ(s.EdDisplay->Text(), title);
            s.EdDisplay->SetText(U("Статья расхода"));
            s.ButColumn->Click();
            EXPECT_FALSE(f->DBG->Columns()[1]->Visible());
            EXPECT_EQ(f->DBG->Columns()[1]->TitleCaption(), U("Статья расхода"));
            s.ButReg->Click(); // answered No
            EXPECT_TRUE(s.ButReg->isEnabled());
            s.ButReg->Click(); // answered Yes
            EXPECT_FALSE(s.ButReg->isEnabled());
            s.SetBounds(s.Left(), s.Top(), 520, 600);
            s.ButCancel->Click();
        },
        [](TModalScript &m) { m.Press("No").Press("Yes"); });
    ASSERT_EQ(seen.size(), 3);
    EXPECT_EQ(seen[1], U("Очистить записи, сделанные программой (её настройки и связь с *.den-файлами)?"));
    EXPECT_TRUE(f->Mem_Sum);
    EXPECT_FALSE(f->AdminMode);
    EXPECT_FALSE(f->mEmpty->Visible());
    EXPECT_TRUE(f->KeepRegistry); // the key is still written at exit
    EXPECT_FALSE(f->DBG->Columns()[1]->Visible());
    EXPECT_EQ(f->DBG->Columns()[1]->TitleCaption(), U("Статья расхода"));
    EXPECT_EQ(f->Sets_Width, 520);
    EXPECT_EQ(f->Sets_Height, 600);
    // Opened again at that size, it keeps it.
    Settings([](TFormSets &s) { s.ButCancel->Click(); });
    EXPECT_EQ(f->Sets_Width, 520);
    EXPECT_EQ(f->Sets_Height, 600);
}

TEST_F(MainSets, SavedOptionsAndColumnsComeBackAtTheNextStart)
{
    Settings([&](TFormSets &s) {
        s.EdCSV->SetText(QStringLiteral(",,,"));
        s.CbRate->SetItemIndex(1);
        s.LbFld->SetChecked(2, false);
        s.LbFld->OnClickCheck(s.LbFld);
        s.LbFld->SetItemIndex(0);
        s.EdDisplay->SetText(U("Когда|где"));
        s.ButColumn->Click();
        s.ButOk->Click();
    });
    const QString field2 = f->DBG->Columns()[2]->FieldName();
    f->SaveSettings(QString());
    f->Dm->SetModified(false);
    f->mCloseNotSaveClick(f.get());
    f.reset();

    f = std::make_unique<TFormMain>(QStringList{}, box.Path("program"));
    ASSERT_TRUE(f->ReadyToRun());
    EXPECT_EQ(f->CSV, ",");
    EXPECT_EQ(f->Format_Rte, 1);
    EXPECT_EQ(f->RteFormat, "0.0000");
    EXPECT_EQ(f->DBG->Columns()[0]->TitleCaption(), U("Когда|где"));
    EXPECT_EQ(f->DBG->Columns()[2]->FieldName(), field2);
    EXPECT_FALSE(f->DBG->Columns()[2]->Visible());
    EXPECT_TRUE(f->DBG->Columns()[1]->Visible());
}

TEST_F(MainSets, RemovingTheRegistryEntriesDeletesTheKeyAtExit)
{
    Settings([](TFormSets &s) {
        s.ButReg->Click();
        s.ButOk->Click();
    },
             [](TModalScript &m) { m.Press("Yes"); });
    EXPECT_FALSE(f->KeepRegistry);
    f->SaveSettings(QString());
    EXPECT_FALSE(TRegistry().KeyExists(SettingsKey()));
}

} // namespace
} // namespace zorbel
