// The operations list's edit dialog and the writing of one edited row.
//
//   [x] Дата     [dd.mm.yyyy]         [x] Кто     [............v]
//   [x] Статья   [category name]      [x] Где     [............v]
//   [x] Цена     [.....]              [x] Примеч. [..................]
//   [x] Кол-во   [.....]              [x] Курс    [.....]
//                                   [ OK ] [Отмена] [&All]
#include "analysis/ZorbEd.h"

#include "analysis/ZorbFilt.h"
#include "core/TulnDlg.h"
#include "core/ZorbDm.h"
#include "core/ZorbText.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Money.h"

#include <tuple>

namespace zorbel {

bool FindOperationRow(TTable &Hist, const TOperationKey &Key)
{
    return Hist.FindKey({Variant(int16_t(Key.Account)), Variant::FromDate(Key.DateReal),
                         Variant::FromDate(Key.DateCreate), Variant(Key.Kind)});
}

bool GroupEditRow(TDm &Dm, const TOperationKey &Key, const TGroupEditValues &V)
{
    TTable &h = Dm.Tb_Hist;
    if (!FindOperationRow(h, Key))
        return false;
    if (h.FieldByName(U("Level1"))->AsInteger() < 0 && !h.FieldByName(U("Level1"))->IsNull())
        return false;
    const auto set = [&h](const char *Name, int64_t Units) {
        TField *f = h.FieldByName(U(Name));
        if (Units == 0)
            f->Clear();
        else
            f->SetAsFloat(UnitsToMoney(Units));
    };
    try {
        h.Edit();
        if (V.Date) {
            h.FieldByName(U("Date_Real"))->SetAsDateTime(V.DateValue);
            // Yr and Mn follow the new date: the year-by-category and the
            // limits figures select operations by them, and a moved
            // operation must count in its new month.
            int y = 0, m = 0, d = 0;
            DecodeDate(V.DateValue, y, m, d);
            h.FieldByName(U("Yr"))->SetAsInteger(y);
            h.FieldByName(U("Mn"))->SetAsInteger(m);
        }
        if (V.Price)
            set("Price", V.PriceUnits);
        if (V.Rate)
            set("Rate", V.RateUnits);
        if (V.Quant) {
            if (!h.FieldByName(U("Ct"))->IsNull())
                set("Qdt", V.QuantUnits);
            else if (!h.FieldByName(U("Dt"))->IsNull())
                set("Qct", V.QuantUnits);
        }
        if (V.Comm) {
            if (V.Comment.isEmpty())
                h.FieldByName(U("Comment"))->Clear();
            else
                h.FieldByName(U("Comment"))->SetAsString(V.Comment);
        }
        for (const auto &[flag, id, name] : {std::tuple{V.Pers, V.PersId, "Id_Person"}, {V.Firm, V.FirmId, "Id_Firm"}}) {
            if (!flag)
                continue;
            if (id)
                h.FieldByName(U(name))->SetAsInteger(*id);
            else
                h.FieldByName(U(name))->Clear();
        }
        int l1 = 0, l2 = 0, l3 = 0;
        if (V.Itm && V.ItmId >= 0 && Dm.GetCategoryLevels(int16_t(V.ItmId), l1, l2, l3)) {
            h.FieldByName(U("Level1"))->SetAsInteger(l1);
            for (const auto &[name, level] : {std::pair{"Level2", l2}, std::pair{"Level3", l3}}) {
                if (level < 0)
                    h.FieldByName(U(name))->Clear();
                else
                    h.FieldByName(U(name))->SetAsInteger(level);
            }
        }
        h.Post();
    } catch (...) {
        h.Cancel();
        throw;
    }
    return true;
}

namespace {

// One row of the dialog: its check box, its label and the place of its editor.
TCheckBox *Row(QWidget *Parent, const char *Name, const char *Caption, int Index)
{
    const int top = 8 + Index * 32;
    auto *c = new TCheckBox(Parent, U(Name));
    c->SetBounds(8, top + 2, 20, 20);
    auto *l = new TLabel(Parent);
    l->SetCaption(U(Caption));
    l->SetBounds(30, top + 4, 70, 16);
    return c;
}

constexpr int EditorLeft = 104, EditorWidth = 340;

template <class T> T *Editor(QWidget *Parent, const char *Name, int Index, int Width = EditorWidth)
{
    auto *e = new T(Parent, U(Name));
    e->SetBounds(EditorLeft, 8 + Index * 32, Width, 24);
    return e;
}

} // namespace

TFormEd::TFormEd(TDm &Dm, bool AdminMode) : dm_(Dm), admin_(AdminMode)
{
    SetName(U("FormEd"));
    SetCaption(U("Редактирование операции"));
    SetClientWidth(452);
    SetClientHeight(300);
    ChDate = Row(this, "ChDate", "Дата", 0);
    ChItm = Row(this, "ChItm", "Статья", 1);
    ChPrice = Row(this, "ChPrice", "Цена", 2);
    ChQuant = Row(this, "ChQuant", "Кол-во", 3);
    ChPers = Row(this, "ChPers", "Кто", 4);
    ChFirm = Row(this, "ChFirm", "Где", 5);
    ChComm = Row(this, "ChComm", "Примеч.", 6);
    ChRate = Row(this, "ChRate", "Курс", 7);
    ButDate = Editor<TButton>(this, "ButDate", 0, 120);
    ButItm = Editor<TButton>(this, "ButItm", 1);
    ButItm->SetTag(-100);
    EdPrice = Editor<TEdit>(this, "EdPrice", 2, 120);
    EdQuant = Editor<TEdit>(this, "EdQuant", 3, 120);
    CbPers = Editor<TComboBox>(this, "CbPers", 4);
    CbPers->SetStyle(TComboBoxStyle::csDropDownList);
    CbFirm = Editor<TComboBox>(this, "CbFirm", 5);
    CbFirm->SetStyle(TComboBoxStyle::csDropDownList);
    EdComm = Editor<TEdit>(this, "EdComm", 6);
    EdRate = Editor<TEdit>(this, "EdRate", 7, 120);
    ButOk = new TButton(this, U("ButOk"));
    ButOk->SetCaption(U("OK"));
    ButOk->SetDefault(true);
    ButOk->SetEnabled(false);
    ButOk->SetBounds(196, 268, 75, 25);
    ButCancel = new TButton(this, U("ButCancel"));
    ButCancel->SetCaption(U("Отмена"));
    ButCancel->SetCancel(true);
    ButCancel->SetModalResult(mrCancel);
    ButCancel->SetBounds(279, 268, 75, 25);
    ButAll = new TButton(this, U("ButAll"));
    ButAll->SetCaption(U("&All"));
    ButAll->SetEnabled(false);
    ButAll->SetBounds(362, 268, 75, 25);

    for (TCheckBox *c : {ChDate, ChItm, ChPrice, ChQuant, ChPers, ChFirm, ChComm, ChRate})
        c->OnClick = [this](TObject *) { UpdateButtons(); };
    for (TEdit *e : {EdPrice, EdQuant, EdRate})
        e->OnKeyPress = [this](TObject *s, QChar &k) { NumberKeyPress(s, k); };
    for (TComboBox *c : {CbPers, CbFirm})
        c->OnKeyDown = [c](TObject *, WORD &Key, TShiftState) {
            if (Key == VK_DELETE) {
                c->SetItemIndex(0);
                Key = 0;
            }
        };
    ButDate->OnClick = [this](TObject *) {
        const TDateTime d = AskDate ? AskDate(DateValue) : -2000000;
        if (d > -1000000 && d != DateValue)
            SetDate(d);
    };
    ButItm->OnClick = [this](TObject *) {
        int id = int(ButItm->Tag());
        QString name;
        if (PickCategory && PickCategory(id, name)) {
            ButItm->SetCaption(name);
            ButItm->SetTag(id);
        }
    };
    ButOk->OnClick = [this](TObject *) {
        TGroupEditValues v;
        if (Values(v))
            SetModalResult(mrOk);
    };
    ButAll->OnClick = [this](TObject *s) { ButAllClick(s); };
    OnShow = [this](TObject *s) { FormShow(s); };
}

TFormEd::~TFormEd() = default;

void TFormEd::SetDate(TDateTime D)
{
    DateValue = D;
    ButDate->SetCaption(FormatDateTime(U("dd.mm.yyyy"), D));
}

void TFormEd::SelectId(TComboBox *Box, std::optional<int> Id)
{
    Box->SetItemIndex(0);
    for (int i = 1; Id && i < Box->Items().Count(); ++i)
        if (Box->Items().Objects(i) == *Id)
            Box->SetItemIndex(i);
}

void TFormEd::RememberRowValues()
{
    row_ = TRowValues{EdPrice->Text(), EdQuant->Text(), EdRate->Text(), EdComm->Text(), DateValue, ButItm->Tag(),
                      CbPers->ItemIndex(), CbFirm->ItemIndex()};
}

void TFormEd::DropUnchanged(TGroupEditValues &V) const
{
    if (!row_)
        return;
    V.Price = V.Price && EdPrice->Text() != row_->Price;
    V.Quant = V.Quant && EdQuant->Text() != row_->Quant;
    V.Rate = V.Rate && EdRate->Text() != row_->Rate;
    V.Comm = V.Comm && EdComm->Text() != row_->Comment;
    V.Date = V.Date && DateValue != row_->Date;
    V.Itm = V.Itm && ButItm->Tag() != row_->Itm;
    V.Pers = V.Pers && CbPers->ItemIndex() != row_->Pers;
    V.Firm = V.Firm && CbFirm->ItemIndex() != row_->Firm;
}

void TFormEd::FormShow(TObject *)
{
    if (!admin_) {
        ButAll->SetVisible(false);
        for (TCheckBox *c : {ChDate, ChItm, ChPrice, ChQuant, ChPers, ChFirm, ChComm, ChRate}) {
            c->SetChecked(true);
            c->SetVisible(false);
        }
    }
    UpdateButtons();
}

void TFormEd::UpdateButtons()
{
    bool any = false;
    for (TCheckBox *c : {ChDate, ChItm, ChPrice, ChQuant, ChPers, ChFirm, ChComm, ChRate})
        any = any || c->Checked();
    ButOk->SetEnabled(any);
    ButAll->SetEnabled(any);
}

void TFormEd::NumberKeyPress(TObject *Sender, QChar &Key)
{
    auto *edit = dynamic_cast<TEdit *>(Sender);
    if (!edit)
        return;
    if (Key == u',' || Key == u'.' || Key == QChar(0x0431) || Key == QChar(0x044E)) // б, ю: the same key
        Key = FormatSettings().DecimalSeparator;
    FilterNumberKey(edit, Key);
}

bool TFormEd::Values(TGroupEditValues &V)
{
    V = {};
    // Each number is taken to 1/10000 (to the nearest unit), so the row
    // holds what the money arithmetic holds. A text that is no number is
    // refused in Russian rather than silently taken as 0 (clearing the field):
    // a typo must not wipe the price or rate of every row of the list. A
    // number the arithmetic cannot hold is refused likewise.
    const auto number = [](TCheckBox *Box, TEdit *Edit, bool &Flag, int64_t &Units) {
        Flag = Box->Checked();
        if (!Flag || Edit->Text().trimmed().isEmpty())
            return true;
        double value = 0;
        if (!TryStrToFloat(Edit->Text().trimmed(), value)) {
            ShowNotice(U("Должно быть число или пусто!"), false);
        } else if (!MoneyInRange(value)) {
            ShowNotice(MoneyRangeMessage(), false);
        } else {
            Units = MoneyToUnits(value);
            return true;
        }
        Edit->SetFocus();
        return false;
    };
    if (!number(ChPrice, EdPrice, V.Price, V.PriceUnits) || !number(ChQuant, EdQuant, V.Quant, V.QuantUnits) ||
        !number(ChRate, EdRate, V.Rate, V.RateUnits))
        return false;
    V.Date = ChDate->Checked();
    V.DateValue = DateValue;
    V.Itm = ChItm->Checked();
    V.ItmId = int(ButItm->Tag());
    V.Pers = ChPers->Checked();
    const auto id = [](TComboBox *Box) {
        return Box->ItemIndex() > 0 ? std::optional<int>(int(Box->Items().Objects(Box->ItemIndex()))) : std::nullopt;
    };
    V.PersId = id(CbPers);
    V.Firm = ChFirm->Checked();
    V.FirmId = id(CbFirm);
    V.Comm = ChComm->Checked();
    V.Comment = EdComm->Text();
    return true;
}

QStringList TFormEd::ChangeList() const
{
    QStringList list;
    if (ChDate->Checked())
        list << U("Дата = ") + ButDate->Caption();
    if (ChItm->Checked() && ButItm->Tag() >= 0)
        list << U("Статья = ") + ButItm->Caption();
    if (ChPrice->Checked() && !EdPrice->Text().isEmpty())
        list << U("Цена = ") + EdPrice->Text();
    if (ChQuant->Checked() && !EdQuant->Text().isEmpty())
        list << U("Количество = ") + EdQuant->Text();
    if (ChPers->Checked())
        list << U("Кто = ") + CbPers->currentText();
    if (ChFirm->Checked())
        list << U("Где = ") + CbFirm->currentText();
    if (ChComm->Checked())
        list << U("Примеч = ") + EdComm->Text();
    if (ChRate->Checked() && !EdRate->Text().isEmpty())
        list << U("Курс = ") + EdRate->Text();
    return list;
}

void TFormEd::ButAllClick(TObject *)
{
    if (AllRows <= 0)
        return;
    TGroupEditValues v;
    if (!Values(v))
        return;
    if (AskDialog(U("Вы точно уверены, что хотите редактировать ") + QString::number(AllRows) + U(" строк?") +
                      u'\r' + ChangeList().join(u'\r'),
                  TMsgDlgType::mtConfirmation, mbYes | mbNo, false) != mrYes)
        return;
    if (AskDialog(U("Хорошенько подумайте - назад возврата не будет!") + u'\r' + U("Продолжать???"), TMsgDlgType::mtWarning,
                  mbOK | mbCancel, false) != mrOk)
        return;
    SetModalResult(mrAll);
}

} // namespace zorbel
