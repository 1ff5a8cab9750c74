// The account dialog and the add/edit command that runs it.
#include "core/ZorbAdd.h"

#include "core/TulnDlg.h"
#include "core/ZorbAccounts.h"
#include "core/ZorbDm.h"
#include "core/ZorbRates.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/sqltable/Sqlite.h"
#include "platform/widgets/DBCtrls.h"
#include "platform/widgets/StdCtrls.h"
#include "platform/rtl/Money.h"

namespace zorbel {

TFormAdd::TFormAdd(TDm &dm) : dm_(dm)
{
    SetName(QStringLiteral("FormAdd"));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    SetClientWidth(330);
    SetClientHeight(200);
    const auto label = [this](const char *name, const char *caption, int left, int top) {
        auto *l = new TLabel(this, QString::fromLatin1(name));
        l->SetBounds(left, top, 100, 16);
        l->SetCaption(U(caption)); // the label then fits its caption
        return l;
    };
    LabAccount = label("LabAccount", "Наименование", 12, 12);
    DBAccount = new TDBEdit(this, QStringLiteral("DBAccount"));
    DBAccount->SetBounds(12, 30, 200, 22);
    LabCur = label("LabCur", "Валюта", 12, 60);
    LabCurNote = label("LabCurNote", "(выбрать или вписать)", 70, 60);
    DBCur = new TDBComboBox(this, QStringLiteral("DBCur"));
    DBCur->SetBounds(12, 78, 200, 22);
    LabBeg = label("LabBeg", "Нач. сумма", 12, 108);
    DBBeg = new TDBEdit(this, QStringLiteral("DBBeg"));
    DBBeg->SetBounds(12, 126, 95, 22);
    LabRate = label("LabRate", "Курс", 117, 108);
    DBRate = new TDBEdit(this, QStringLiteral("DBRate"));
    DBRate->SetBounds(117, 126, 95, 22);
    ChGroup = new TCheckBox(this, QStringLiteral("ChGroup"));
    ChGroup->SetCaption(U("Группа"));
    ChGroup->SetBounds(12, 162, 90, 20);
    ChDef = new TCheckBox(this, QStringLiteral("ChDef"));
    ChDef->SetCaption(U("По умолчанию"));
    ChDef->SetBounds(105, 162, 120, 20);
    ButOk = new TButton(this, QStringLiteral("ButOk"));
    ButOk->SetCaption(QStringLiteral("OK"));
    ButOk->SetBounds(235, 30, 80, 25);
    ButOk->SetDefault(true);
    ButOk->OnClick = [this](TObject *Sender) { ButOkClick(Sender); };
    ButCancel = new TButton(this, QStringLiteral("ButCancel"));
    ButCancel->SetCaption(U("Отмена"));
    ButCancel->SetBounds(235, 65, 80, 25);
    ButCancel->SetCancel(true);
    ButCancel->SetModalResult(2);
    DBAccount->SetDataSource(&dm_.DataAccount);
    DBAccount->SetDataField(QStringLiteral("Account"));
    DBCur->SetDataSource(&dm_.DataAccount);
    DBCur->SetDataField(QStringLiteral("Currency"));
    DBBeg->SetDataSource(&dm_.DataAccount);
    DBBeg->SetDataField(QStringLiteral("Beg"));
    DBRate->SetDataSource(&dm_.DataAccount);
    DBRate->SetDataField(QStringLiteral("Rate"));
    DoCreate();
}

TFormAdd::~TFormAdd() { DoDestroy(); }

void TFormAdd::FillCur()
{
    DBCur->Items().Clear();
    dm_.Db.ReleaseStatements();
    TSqliteStatement st(dm_.Db.Db(), QStringLiteral("select currency from tb_account order by account"));
    QStringList seen;
    while (st.Step()) {
        const QString c = st.ColumnText(0);
        if (!c.isEmpty() && !seen.contains(c)) {
            seen << c;
            DBCur->Items().Add(c);
        }
    }
}

namespace {

// The edit still shows its field's value as it stands (as displayed or as
// edited): the user left it alone. Such a value is written back exactly as
// stored, never as the shown text, which the window's format rounds (a rate
// of 0,0125 shows as 0,01 and would move every у.е. total).
bool ShowsField(TDBEdit *Edit, const TField *Field)
{
    const QString text = Edit->Text().trimmed();
    return text == Field->DisplayText().trimmed() || text == Field->Text().trimmed();
}

} // namespace

void TFormAdd::ButOkClick(TObject *)
{
    ButOk->SetFocus(); // the edits write what was typed to the row
    TTable &acc = dm_.Tb_Account;
    TField *rateField = acc.FieldByName(QStringLiteral("Rate"));
    TField *begField = acc.FieldByName(QStringLiteral("Beg"));
    const bool rateKept = ShowsField(DBRate, rateField);
    const bool begKept = ShowsField(DBBeg, begField);
    TAccountField field = TAccountField::None;
    // A rate left alone is checked as stored, a typed one as typed.
    const QString rateText =
        rateKept ? (rateField->IsNull() ? QString() : FloatToStr(rateField->AsFloat())) : DBRate->Text();
    const QString message = CheckAccountEntry(DBAccount->Text(), DBCur->Text(), rateText, field);
    if (!message.isEmpty()) {
        ShowNotice(message, false);
        switch (field) {
        case TAccountField::Name: DBAccount->SetFocus(); break;
        case TAccountField::Currency: DBCur->SetFocus(); break;
        default: DBRate->SetFocus(); break;
        }
        return;
    }
    double begValue = 0;
    if (!begKept) {
        QString beg = DBBeg->Text().trimmed();
        beg.replace(u'.', FormatSettings().DecimalSeparator).replace(u',', FormatSettings().DecimalSeparator);
        if (!beg.isEmpty() && !TryStrToFloat(beg, begValue)) {
            ShowNotice(U("Надо указать число!"), false);
            DBBeg->SetFocus();
            return;
        }
        if (!MoneyInRange(begValue)) {
            ShowNotice(MoneyRangeMessage(), false);
            DBBeg->SetFocus();
            return;
        }
    }
    acc.FieldByName(QStringLiteral("Account"))->SetAsString(DBAccount->Text().trimmed());
    acc.FieldByName(QStringLiteral("Currency"))->SetAsString(DBCur->Text().trimmed());
    if (!rateKept) {
        double rate = 0;
        if (ReadRate(rateText, rate))
            rateField->SetAsFloat(rate);
        else
            rateField->Clear();
    }
    // A new account left without an opening sum opens with 0.
    if (!begKept || (begField->IsNull() && acc.State() == dsInsert))
        begField->SetAsFloat(begValue);
    SetModalResult(1);
}

int EditAccount(TDm &dm, bool Adding, TAccountTotals &Totals)
{
    TFormAdd form(dm);
    const bool fewAccounts = dm.Tb_Account.RecordCount() < 2;
    form.DBCur->SetEnabled(Adding || fewAccounts);
    if (form.DBCur->isEnabled())
        form.FillCur();
    form.SetCaption(Adding ? U("Добавление счёта") : U("Редактирование счёта"));
    const TAccountEdit edit = BeginAccountEdit(dm, Adding);
    form.ChDef->SetChecked(edit.Default);
    form.ChGroup->SetChecked(edit.Group);
    form.ChDef->SetEnabled(!edit.Default); // the mark can be given here, never taken away
    const int result = form.ShowModal();
    Totals = result == 1 ? FinishAccountEdit(dm, edit, form.ChDef->Checked(), form.ChGroup->Checked())
                         : CancelAccountEdit(dm);
    return result;
}

} // namespace zorbel
