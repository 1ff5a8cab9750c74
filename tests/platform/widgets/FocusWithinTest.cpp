// Entering and leaving composite controls (a tree, a grid) and plain ones in
// one window: the control that loses the focus hears of it before the one
// that gains it, whichever of them was made first.
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"
#include "platform/widgets/TreeView.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace zorbel {
namespace {

TEST(FocusWithinTest, TheControlLeftHearsOfItBeforeTheControlEntered)
{
    TForm form;
    form.resize(400, 300);
    // The grid is made before the tree, as in the main window's layout the
    // order of making says nothing about the order of the focus.
    auto *grid = new TDBGrid(&form, QStringLiteral("DBG"));
    grid->SetBounds(150, 0, 250, 250);
    auto *tree = new TTreeView(&form, QStringLiteral("TvCt"));
    tree->SetBounds(0, 0, 145, 250);
    tree->Items().AddObject(nullptr, QStringLiteral("Еда"), 1);
    auto *edit = new TEdit(&form, QStringLiteral("Ed"));
    edit->SetBounds(0, 260, 200, 24);
    QStringList log;
    for (TControl *c : std::initializer_list<TControl *>{grid, tree, edit}) {
        const QString name = c->Widget()->objectName();
        c->OnEnter = [&log, name](TObject *) { log << name + QStringLiteral(" enter"); };
        c->OnExit = [&log, name](TObject *) { log << name + QStringLiteral(" exit"); };
    }
    form.show();
    QApplication::setActiveWindow(&form);
    edit->SetFocus();
    log.clear();

    tree->SetFocus();
    grid->SetFocus();
    tree->SetFocus();
    edit->SetFocus();
    grid->SetFocus();
    edit->SetFocus();
    EXPECT_EQ(log, (QStringList{"Ed exit", "TvCt enter", "TvCt exit", "DBG enter", "DBG exit", "TvCt enter",
                                "TvCt exit", "Ed enter", "Ed exit", "DBG enter", "DBG exit", "Ed enter"}));
}

} // namespace
} // namespace zorbel
