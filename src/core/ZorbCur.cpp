// The rates window: the currency box, the list of rates by date, the rate of
// one date by hand and the import of many from a file.
#include "core/ZorbCur.h"

#include "core/TulnDlg.h"
#include "platform/system/SysPaths.h"
#include "core/ZorbMain.h"
#include "core/ZorbRates.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"
#include "platform/sqltable/Sqlite.h"

#include <QFileDialog>
#include <QFileInfo>

#include <cmath>

namespace zorbel {
namespace {

// Line 2 of Qrate's text is the parenthesised list of account identifiers.
constexpr int RateIdLine = 2;

QStringList RateQueryText()
{
    return {QStringLiteral("select date_real DateRate, avg(rate) Rate "),
            QStringLiteral("from tb_hist where id_account in "), QStringLiteral("(0)"),
            QStringLiteral("group by date_real"), QStringLiteral("order by 1 desc")};
}

QString IdLine(const std::vector<int> &ids)
{
    QStringList parts;
    for (int id : ids)
        parts << QString::number(id);
    return u'(' + parts.join(u',') + u')';
}

} // namespace

TFormCur::TFormCur(TFormMain &Main) : main_(Main), dm_(*Main.Dm)
{
    SetName(QStringLiteral("FormCur"));
    SetCaption(U("Курсы валют"));
    SetKeyPreview(true);
    SetPosition(TPosition::poScreenCenter);
    SetClientWidth(250);
    SetClientHeight(260);
    PanRate = new TPanel(this, QStringLiteral("PanRate"));
    PanRate->SetAlign(TAlign::alTop);
    PanRate->SetHeight(32);
    PanRate->SetAlignment(TAlignment::taRightJustify);
    CbRate = new TComboBox(PanRate, QStringLiteral("CbRate"));
    CbRate->SetStyle(TComboBoxStyle::csDropDownList);
    CbRate->SetBounds(4, 5, 100, 22);
    ButSel = new TSpeedButton(PanRate, QStringLiteral("ButSel"));
    ButSel->SetCaption(QStringLiteral("..."));
    ButSel->SetHint(U("Выбрать файл для загрузки курсов"));
    ButSel->SetBounds(108, 4, 26, 24);
    Qrate.SetDatabase(&dm_.Db);
    Qrate.SQL() = RateQueryText();
    DsRate.SetDataSet(&Qrate);
    DBGRate = new TDBGrid(this, QStringLiteral("DBGRate"));
    DBGRate->SetAlign(TAlign::alClient);
    DBGRate->SetReadOnly(true);
    DBGRate->SetOptions({dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgRowSelect,
                         dgAlwaysShowSelection});
    DBGRate->SetDataSource(&DsRate);
    for (const auto &[field, title, width] :
         {std::tuple{"DateRate", "Дата", 90}, std::tuple{"Rate", "Курс", 100}}) {
        TColumn *c = DBGRate->Columns().Add();
        c->SetFieldName(QString::fromLatin1(field));
        c->SetTitleCaption(U(title));
        c->SetWidth(width);
    }
    ExecuteOpenDialog = [this](const QString &Title, QString &FileName) {
        FileName = QFileDialog::getOpenFileName(this, Title, ShownName(FileName),
                                                QStringLiteral("Text files (*.txt *.TXT);;DBF files (*.dbf *.DBF)"));
        FileName = ReachableDialogName(FileName);
        return !FileName.isEmpty();
    };
    OnShow = [this](TObject *s) { FormShow(s); };
    OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { FormKeyDown(s, k, sh); };
    CbRate->OnChange = [this](TObject *s) { CbRateChange(s); };
    DBGRate->OnDblClick = [this](TObject *s) { DBGRateDblClick(s); };
    ButSel->OnClick = [this](TObject *s) { ButSelClick(s); };
    DoCreate();
}

TFormCur::~TFormCur()
{
    Qrate.Close();
    DoDestroy();
}

QString TFormCur::OpenDialogTitle() const
{
    return U("Выберите файл для загрузки курсов валюты ") + CbRate->Text();
}

void TFormCur::FormShow(TObject *)
{
    DBGRate->SetFont(main_.GridFont);
    DBGRate->SetFontColor(main_.GridFontColor);
    CbRate->SetFont(main_.GridFont);
    const std::function<void(TObject *)> change = CbRate->OnChange;
    CbRate->OnChange = nullptr;
    CbRate->Items().Clear();
    {
        dm_.Db.ReleaseStatements();
        TSqliteStatement st(dm_.Db.Db(), QStringLiteral("select distinct currency from tb_account"));
        while (st.Step())
            if (!st.ColumnText(0).isEmpty())
                CbRate->Items().Add(st.ColumnText(0));
    }
    const QString current = dm_.Tb_Account.Active() && !dm_.Tb_Account.IsEmpty()
                                ? dm_.Tb_Account.FieldByName(QStringLiteral("Currency"))->AsString()
                                : QString();
    const int at = CbRate->Items().IndexOf(current);
    CbRate->SetItemIndex(at >= 0 ? at : (CbRate->Items().Count() > 0 ? 0 : -1));
    CbRate->OnChange = change;
    CbRateChange(CbRate);
}

void TFormCur::CbRateChange(TObject *)
{
    ids_ = CbRate->ItemIndex() >= 0 ? CurrencyAccounts(dm_, CbRate->Text()) : std::vector<int>{};
    PanRate->SetCaption(AccountCountText(int(ids_.size())));
    Qrate.Close();
    if (!ids_.empty()) {
        Qrate.SQL()[RateIdLine] = IdLine(ids_);
        ReopenRates(0);
    }
}

void TFormCur::ReopenRates(double Date)
{
    Qrate.Close();
    if (ids_.empty())
        return;
    Qrate.Open();
    if (TField *f = Qrate.FindField(QStringLiteral("DateRate")))
        f->SetDisplayFormat(QStringLiteral("dd.mm.yyyy"));
    if (!(Date > 0))
        return;
    Qrate.DisableControls();
    Qrate.First();
    while (!Qrate.Eof() && std::trunc(Qrate.FieldByName(QStringLiteral("DateRate"))->AsDateTime()) != Date)
        Qrate.Next();
    if (Qrate.Eof())
        Qrate.First();
    Qrate.EnableControls();
}

void TFormCur::DBGRateDblClick(TObject *)
{
    if (!Qrate.Active() || Qrate.IsEmpty())
        return;
    const TDateTime date = std::trunc(Qrate.FieldByName(QStringLiteral("DateRate"))->AsDateTime());
    const QString shown = Qrate.FieldByName(QStringLiteral("Rate"))->AsString();
    QString text = shown;
    // The text shown is the average of the day's rates: confirmed unchanged,
    // it writes nothing, and operations of that day keep rates of their own.
    if (!InputLine(U("Изменение курса на ") + FormatDateTime(QStringLiteral("dd.mm.yyyy"), date), U("Введите число"),
                   text, false) ||
        text.trimmed().isEmpty() || text.trimmed() == shown.trimmed())
        return;
    double rate = 0;
    // A rate of 0 or below is refused too: operations divide by their rate.
    if (!ReadRate(text, rate)) {
        ShowNotice(U("Неверное число."), false);
        return;
    }
    SetDayRate(dm_, ids_, date, rate);
    dm_.SetModified(true);
    dm_.Tb_Hist.Refresh();
    ReopenRates(date);
}

void TFormCur::ButSelClick(TObject *)
{
    if (ids_.empty())
        return;
    QString file;
    if (!ExecuteOpenDialog(OpenDialogTitle(), file))
        return;
    if (AskDialog(U("Импортировать курсы для\r") + CbRate->Text() + u'?', TMsgDlgType::mtConfirmation, mbYes | mbNo,
                  false) != mrYes)
        return;
    int changed = 0;
    QString error;
    {
        THourGlass wait;
        const QString ext = QFileInfo(file).suffix().toLower();
        if (ext == u"txt")
            changed = ImportRatesText(dm_, ids_, file, error);
        else if (ext == u"dbf")
            changed = ImportRatesDbf(dm_, ids_, file, error);
        dm_.Tb_Hist.Refresh();
        ReopenRates(0);
        if (changed > 0)
            dm_.SetModified(true);
    }
    if (!error.isEmpty()) {
        ShowNotice(error, false);
        return;
    }
    ShowNotice(U("Изменены курсы для ") + QString::number(changed) + U(" дней"), false);
}

void TFormCur::FormKeyDown(TObject *, WORD &Key, TShiftState Shift)
{
    if (Shift != TShiftState{})
        return;
    if (Key == VK_ESCAPE) {
        SetModalResult(mrCancel);
        Key = 0;
    } else if (Key == VK_RETURN && DBGRate->Focused()) {
        DBGRateDblClick(DBGRate);
        Key = 0;
    }
}

} // namespace zorbel
