// The real main window offscreen over a small ledger: the data set's first
// account and a second one ("Банк Ёлка"), operations the test adds in
// AddOperations, the first account shown for the whole period. Helpers add
// operations and move to one by its note.
#pragma once

#include "core/ZorbMain.h"

#include "ZorbSandbox.h"
#include "core/ZorbDm.h"
#include "core/ZorbText.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace zorbel {

class TLedgerWindowTest : public testing::Test {
protected:
    // The test's operations, added before the window is shown.
    virtual void AddOperations() = 0;

    void SetUp() override
    {
        f = std::make_unique<TFormMain>(QStringList{}, box.Path("program"));
        ASSERT_TRUE(f->ReadyToRun());
        dm = f->Dm.get();
        dm->Tb_Account.First();
        acc1 = dm->Tb_Account.FieldByName("Id_Account")->AsInteger();
        TTable &a = dm->Tb_Account;
        a.Append();
        a.FieldByName("Account")->SetAsString(U("Банк Ёлка"));
        a.FieldByName("Currency")->SetAsString(U("руб"));
        a.FieldByName("Rate")->SetAsFloat(1);
        a.FieldByName("Rest")->SetAsFloat(0);
        a.Post();
        acc2 = a.FieldByName("Id_Account")->AsInteger();
        AddOperations();
        f->Show();
        QApplication::setActiveWindow(f.get());
        ASSERT_TRUE(dm->Tb_Account.Locate("Id_Account", Variant(acc1), {}));
        f->CbPer->SetItemIndex(0); // the whole period
        f->CbPerClick(f->CbPer);
    }
    void TearDown() override
    {
        dm->SetModified(false);
        f->mCloseNotSaveClick(f.get());
    }
    // A plain operation of account acc: income dt, expense ct (0: none).
    void Op(int acc, TDateTime date, double dt, double ct, const QString &comment)
    {
        TTable &t = dm->Tb_Hist;
        t.Append();
        t.FieldByName("Id_Account")->SetAsInteger(acc);
        t.FieldByName("Date_Real")->SetAsDateTime(date);
        t.FieldByName("Kind")->SetAsString("1");
        if (dt)
            t.FieldByName("Dt")->SetAsFloat(dt);
        if (ct)
            t.FieldByName("Ct")->SetAsFloat(ct);
        t.FieldByName("Level1")->SetAsInteger(0);
        t.FieldByName("Comment")->SetAsString(comment);
        t.Post();
    }
    void GoTo(const QString &comment) { ASSERT_TRUE(dm->Tb_Hist.Locate("Comment", Variant(comment), {})); }
    QString Current() const { return dm->Tb_Hist.FieldByName("Comment")->AsString(); }

    TSandbox box;
    std::unique_ptr<TFormMain> f;
    TDm *dm = nullptr;
    int acc1 = 0, acc2 = 0;
};

} // namespace zorbel
