// The main window's searches.
//   Ledger: the history search dialog (Shift+F3) runs QFind, the notes search
//   (Ctrl+F3) runs QcomFind; at most one of them is open and F3 steps through
//   its hits, wrapping after the last. With neither open, F3 scans the
//   ledger's visible columns for HistFindText (Ctrl+F asks for it).
//   Categories: finding (F4) and moving a category by name through the search
//   dialog in its tree mode, and F3 to the next name holding the last text.
// Also the calculator command (F9 of the search and packet windows) and the
// card's note picker.
#include "core/TulnDlg.h"
#include "core/ZorbCalc.h"
#include "core/ZorbComm.h"
#include "core/ZorbDlg.h"
#include "core/ZorbMain.h"
#include "core/ZorbRefFind.h"
#include "core/ZorbSearch.h"
#include "core/ZorbText.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/StrUtils.h"

#include <QProcess>

namespace zorbel {

namespace {

const char *const kOnlyOneRow = "Найдена только одна строка!";

} // namespace

void TFormMain::BuildFindCommands()
{
    mFind = mMoney->Add(QStringLiteral("mFind"), U("Поис&к..."));
    PmHist->Add(QStringLiteral("N50"), QStringLiteral("-"));
    mpFind = PmHist->Add(QStringLiteral("mpFind"), U("Поиск в исто&рии..."), ShortCut(VK_F3, ssShift));
    mpFindText = PmHist->Add(QStringLiteral("mpFindText"), U("&Поиск текста..."), ShortCut('F', ssCtrl));
    mpFindTextNext = PmHist->Add(QStringLiteral("mpFindTextNext"), U("Найти даль&ше"), ShortCut(VK_F3, 0));
    mpFindComment =
        PmHist->Add(QStringLiteral("mpFindComment"), U("Поиск в примечания&х..."), ShortCut(VK_F3, ssCtrl));
    mFind->OnClick = mpFind->OnClick = [this](TObject *s) { mpFindClick(s); };
    mpFindText->OnClick = [this](TObject *s) { mpFindTextClick(s); };
    mpFindTextNext->OnClick = [this](TObject *s) { mpFindTextNextClick(s); };
    mpFindComment->OnClick = [this](TObject *s) { mpFindCommentClick(s); };

    for (TMenuItem *m : {mCategoryFind, mpCategoryFind, mpFindNextItm, mCategoryMove, mpCategoryMove})
        m->SetVisible(true);
    mCategoryFind->OnClick = mpCategoryFind->OnClick = [this](TObject *s) { mCategoryFindClick(s); };
    mpFindNextItm->OnClick = [this](TObject *s) { mpFindNextItmClick(s); };
    mCategoryMove->OnClick = mpCategoryMove->OnClick = [this](TObject *s) { mCategoryMoveClick(s); };

    // F4 on the money page finds a category, whatever has the focus.
    SetKeyPreview(true);
    TKeyEvent previous = OnKeyDown;
    OnKeyDown = [this, previous](TObject *Sender, WORD &Key, TShiftState Shift) {
        if (Key == VK_F4 && KeyModifiers(Shift) == 0 && Pg->ActivePageIndex() == 0 && Dm &&
            Dm->Tb_Items.Active()) {
            Key = 0;
            mCategoryFindClick(Sender);
            return;
        }
        if (previous)
            previous(Sender, Key, Shift);
    };
}

void TFormMain::ApplyFindMenuState(const TMenuState &State)
{
    mFind->SetEnabled(State.mFind);
    mpFind->SetEnabled(State.mpFind);
    mpFindText->SetEnabled(State.mpFindText);
    mpFindTextNext->SetEnabled(State.mpFindTextNext);
    mpFindComment->SetEnabled(State.mpFindComment);
}

bool TFormMain::LedgerHasRows() const
{
    return Dm && Dm->Tb_Hist.Active() && !Dm->Tb_Hist.IsEmpty();
}

bool TFormMain::ShowFindHit(TDataSet &Query)
{
    if (!Dm || !Query.Active() || Query.IsEmpty())
        return false;
    return Dm->Tb_Hist.FindKey({Query.FieldByName(QStringLiteral("id_account"))->AsVariant(),
                                Query.FieldByName(QStringLiteral("date_real"))->AsVariant(),
                                Query.FieldByName(QStringLiteral("date_create"))->AsVariant()});
}

// ---------------------------------------------------------------- history search

void TFormMain::mpFindClick(TObject *)
{
    if (!LedgerHasRows())
        return;
    TTable &hist = Dm->Tb_Hist;
    Dm->QcomFind.Close();
    TQuery &find = Dm->QFind;
    find.Close();
    find.ParamByName(QStringLiteral("d1"))->SetAsDate(PeriodBegin);
    find.ParamByName(QStringLiteral("d2"))->SetAsDate(PeriodEnd);
    find.ParamByName(QStringLiteral("id"))->SetValue(hist.FieldByName(QStringLiteral("Id_Account"))->AsVariant());

    TFormDlg dlg(*this);
    dlg.SetHistorySearch();
    dlg.EdFnd->SetText(HistFindText);
    dlg.ButEq->SetCaption(HistFindOp.isEmpty() ? QStringLiteral("=") : HistFindOp);
    const auto field = [&hist](const char *name) { return hist.FieldByName(QString::fromLatin1(name)); };
    if (HistFindDate > 0)
        dlg.FindDate = HistFindDate;
    else
        dlg.FindDate = field("Date_Real")->IsNull() ? Date() : field("Date_Real")->AsDateTime();
    // The remembered person or firm, else the operation's, else the current row of its book.
    const auto preset = [&field](int remembered, const char *own, TTable &book, const char *key) {
        if (remembered >= 1)
            return remembered;
        if (!field(own)->IsNull())
            return field(own)->AsInteger();
        return book.Active() && !book.IsEmpty() ? book.FieldByName(QString::fromLatin1(key))->AsInteger() : 0;
    };
    dlg.FindFirm = preset(HistFindFirm, "ID_Firm", Dm->Tb_Firm, "ID_FIRM");
    dlg.FindPerson = preset(HistFindPerson, "ID_Person", Dm->Tb_Person, "ID_PERSON");
    if (HistFindItem >= 1 && HistFindLevel >= 1) {
        dlg.FindItem = HistFindItem;
        dlg.SetFindLevel(HistFindLevel);
    } else {
        const auto filled = [&field](const char *name) { return !field(name)->IsNull() && field(name)->AsInteger() >= 1; };
        const int level = filled("Level3") ? 3 : filled("Level2") ? 2 : 1;
        dlg.FindItem = field(level == 3 ? "Level3" : level == 2 ? "Level2" : "Level1")->AsInteger();
        dlg.SetFindLevel(level);
    }
    dlg.CbFnd->SetItemIndex(HistFindField);
    dlg.ShowModal();

    HistFindField = std::max(0, dlg.CbFnd->ItemIndex());
    if (!dlg.EdFnd->Text().isEmpty() && find.Active())
        HistFindText = dlg.EdFnd->Text();
    HistFindOp = dlg.ButEq->Caption().left(1);
    HistFindDate = dlg.FindDate;
    HistFindLevel = dlg.FindLevel();
    HistFindItem = dlg.FindItem;
    HistFindFirm = dlg.FindFirm;
    HistFindPerson = dlg.FindPerson;
}

// ---------------------------------------------------------------- text search and F3

void TFormMain::mpFindTextClick(TObject *Sender)
{
    if (!LedgerHasRows())
        return;
    Dm->QcomFind.Close();
    Dm->QFind.Close();
    QString text = HistFindText;
    if (!InputLine(U("Поиск текста"), U("Образец поиска"), text, false) || text.isEmpty())
        return;
    Repaint();
    HistFindText = text;
    mpFindTextNextClick(Sender);
}

void TFormMain::StepFindQuery(TQuery &Query, const QString &Text)
{
    if (!ShowFindHit(Query)) {
        ShowNotice(TextNotFoundMessage(Text), false);
        return;
    }
    if (Query.RecordCount() == 1) {
        ShowNotice(U(kOnlyOneRow), false);
        return;
    }
    Query.Next();
    if (Query.Eof())
        Query.First();
}

void TFormMain::mpFindTextNextClick(TObject *Sender)
{
    if (!LedgerHasRows())
        return;
    Repaint();
    if (Dm->QcomFind.Active()) {
        StepFindQuery(Dm->QcomFind, Dm->QcomFind.ParamByName(QStringLiteral("com"))->AsString());
        return;
    }
    if (Dm->QFind.Active()) {
        StepFindQuery(Dm->QFind, HistFindText);
        return;
    }
    if (HistFindText.isEmpty()) {
        mpFindTextClick(Sender);
        return;
    }
    TTable &hist = Dm->Tb_Hist;
    bool sameRow = false;
    int found = -1;
    Screen().SetCursor(crHourGlass);
    try {
        found = FindNextLedgerRow(hist, HistFindText, &sameRow); // the grid is not repainted per row
    } catch (...) {
        Screen().SetCursor(crDefault);
        throw;
    }
    Screen().SetCursor(crDefault);
    if (found < 0) {
        ShowNotice(TextNotFoundMessage(HistFindText), false);
        return;
    }
    DBG->SetSelectedField(hist.Fields()[found]);
    if (sameRow)
        ShowNotice(U(kOnlyOneRow), false);
}

// ---------------------------------------------------------------- notes

void TFormMain::mpFindCommentClick(TObject *)
{
    if (!LedgerHasRows())
        return;
    Dm->QFind.Close();
    TFormComm form(*Dm, *this);
    form.NotesPeriodBegin = PeriodBegin;
    form.NotesPeriodEnd = PeriodEnd;
    form.DBGComm->SetFont(DBG->Font());
    form.DBGComm->SetTitleFont(DBG->TitleFont());
    form.RbAll->SetChecked(true);
    form.HideScope();
    form.OnlyCurrentAccount = true;
    form.Ed->SetText(HistFindText);
    if (form.ShowModal() != mrOk)
        return;
    if (!form.Ed->Text().isEmpty())
        HistFindText = form.Ed->Text();
    TQuery &com = Dm->QcomFind;
    com.Close();
    const QString note = form.ChosenNote();
    if (!note.isEmpty()) {
        com.ParamByName(QStringLiteral("d1"))->SetAsDate(PeriodBegin);
        com.ParamByName(QStringLiteral("d2"))->SetAsDate(PeriodEnd);
        com.ParamByName(QStringLiteral("id"))->SetValue(
            Dm->Tb_Hist.FieldByName(QStringLiteral("Id_Account"))->AsVariant());
        com.ParamByName(QStringLiteral("com"))->SetAsString(AnsiLowerCase(note));
        try {
            com.Open();
        } catch (const Exception &) {
            // a search that cannot run shows nothing
        }
    }
    if (com.Active())
        mpFindTextNextClick(nullptr);
}

bool TFormMain::PickNote(QString &Note)
{
    if (!Dm)
        return false;
    TFormComm form(*Dm, *this);
    form.NotesPeriodBegin = AllBegin;
    form.NotesPeriodEnd = AllEnd;
    if (TFormCard *card = Card()) {
        form.DBGComm->SetFont(card->font());
        form.DBGComm->SetTitleFont(card->font());
    }
    if (form.ShowModal() != mrOk)
        return false;
    // OK on an empty list chooses nothing (the list holds no empty note), so
    // the note typed on the card is not wiped.
    const QString chosen = form.ChosenNote();
    if (chosen.isEmpty())
        return false;
    Note = chosen;
    return true;
}

void TFormMain::WireCardSearches(TFormCard *CardForm)
{
    CardForm->PickNote = [this](QString &Note) { return PickNote(Note); };
    CardForm->OpenSystemCalculator = [this] { mCalcClick(nullptr); };
}

// ---------------------------------------------------------------- calculator

void TFormMain::mCalcClick(TObject *)
{
    // The program's own calculator serves unless the user named another program.
    const QString program = Calc.trimmed();
    if (!IsOwnCalculator(program) && (StartProgram ? StartProgram(program) : QProcess::startDetached(program, {})))
        return;
    TFormCalc calc;
    calc.KeepOpen = true;
    calc.ShowModal();
}

// ---------------------------------------------------------------- categories

void TFormMain::mCategoryFindClick(TObject *)
{
    TTreeView *tree = ShownTree();
    if (!tree || !Dm || !Dm->Tb_Items.Active())
        return;
    TTreeNode *before = tree->Selected();
    TFormDlg dlg(*this);
    dlg.SetCaption(U("Поиск статьи"));
    dlg.SearchTree = tree;
    if (!CategoryFindText.isEmpty())
        dlg.Ed->SetText(CategoryFindText);
    if (dlg.ShowModal() == mrOk) {
        CategoryFindText = dlg.Ed->Text();
        if (isVisible())
            tree->SetFocus();
        return;
    }
    tree->FullCollapse();
    if (before)
        tree->SetSelected(before);
}

void TFormMain::mCategoryMoveClick(TObject *)
{
    TTreeView *tree = FocusedTree();
    if (!tree)
        tree = ShownTree();
    TTreeNode *source = tree ? tree->Selected() : nullptr;
    if (!source || tree->Items().Count() < 2)
        return;
    TFormDlg dlg(*this);
    dlg.SetCaption(U("Перемещение ") + source->Text());
    dlg.LabMove->SetVisible(true);
    dlg.PanBut->SetHint(U("Применяйте   DragDrop!  "));
    dlg.SearchTree = tree;
    if (dlg.ShowModal() != mrOk) {
        tree->SetSelected(source);
        return;
    }
    if (!dlg.Ed->Text().isEmpty()) {
        TTreeNode *target = tree->Selected();
        if (!target) {
            ShowNotice(U("Цель не найдена!"), false);
            return;
        }
        MoveCategory(source, target, MoveAsChild);
    } else if (source->Level() > 0) {
        // Beside the first root that is not the transfer category: a root.
        for (int i = 0; i < tree->Items().Count(); ++i) {
            TTreeNode *node = tree->Items()[i];
            if (node->Level() == 0 && node->Data() != -1) {
                MoveCategory(source, node, MoveBeside);
                break;
            }
        }
    }
    tree->AlphaSort();
}

void TFormMain::mpFindNextItmClick(TObject *Sender)
{
    if (CategoryFindText.isEmpty()) {
        mCategoryFindClick(Sender);
        return;
    }
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
