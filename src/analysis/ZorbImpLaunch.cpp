// The main window's import command (see ZorbImpLaunch.h).
#include "analysis/ZorbImpLaunch.h"

#include "analysis/ZorbImp.h"
#include "core/ZorbMain.h"

#include <memory>

namespace zorbel {

namespace {

// The main window behind the import window's host interface.
class TMainImportHost : public TImportHost {
public:
    explicit TMainImportHost(TFormMain &main) : main_(main)
    {
        ImpList = main.ImpList;
        ImpDelims = main.ImpDelims;
        ImportDir = LastImportDir();
    }
    ~TMainImportHost() override
    {
        main_.ImpList = ImpList;
        main_.ImpDelims = ImpDelims;
        LastImportDir() = ImportDir;
    }
    TDateTime EntryDate() const override { return main_.EntryDate; }
    void UpdateBalances(bool WithOpening, int64_t Amount) override { main_.UpdateBalances(WithOpening, Amount); }
    void BuildCategoryTree(bool Expense) override
    {
        main_.BuildCategoryTree(Expense ? main_.TvCt : main_.TvDt, !Expense, true, false, true);
    }

private:
    // The import folder is kept while the program runs.
    static QString &LastImportDir()
    {
        static QString dir;
        return dir;
    }
    TFormMain &main_;
};

} // namespace

void OpenImportWindow(TFormMain &Main)
{
    if (!Main.Dm || !Main.Dm->Tb_Account.Active())
        return; // no data set is open
    TMainImportHost host(Main);
    auto form = std::make_unique<TFormImp>(*Main.Dm, host, &Main);
    FormImp = form.get();
    struct TReset {
        ~TReset() { FormImp = nullptr; }
    } reset;
    form->EdCSV->SetText(Main.CSV);
    form->CbDate->SetItemIndex(0);
    form->ShowModal();
    const QString csv = form->EdCSV->Text();
    if (!csv.isEmpty())
        Main.CSV = csv.left(1);
}

} // namespace zorbel
