// The main window's searches: F3 in a category tree finds the next category
// whose name holds the last searched text.
#include "core/TulnDlg.h"
#include "core/ZorbMain.h"
#include "core/ZorbSearch.h"
#include "core/ZorbText.h"

namespace zorbel {

void TFormMain::mpFindNextItmClick(TObject *)
{
    if (CategoryFindText.isEmpty())
        return; // the category find dialog comes with the category commands
    TTreeView *tree = mCt->Checked() ? TvCt : TvDt;
    TTreeNode *selected = tree->Selected();
    if (!selected)
        return; // an empty tree or no selection: nothing to start from
    QStringList texts;
    for (int i = 0; i < tree->Items().Count(); ++i)
        texts << tree->Items()[i]->Text();
    const int start = selected->AbsoluteIndex();
    const int found = NextMatchingNode(texts, start, CategoryFindText);
    const QString quoted = QLatin1Char('"') + CategoryFindText + QLatin1Char('"');
    if (found < 0) {
        ShowNotice(U("Статья\n") + quoted + U("\nне найдена!"), false);
        return;
    }
    tree->SetSelected(tree->Items()[found]);
    if (found == start)
        ShowNotice(U("Больше статей\n") + quoted + U("\nне найдено!"), false);
}

} // namespace zorbel
