// The calculator window: layout, keypad and the evaluation step that
// normalises the typed text, evaluates it and reports a failure with the
// caret where reading stopped.
//
//   +-------------------------------+
//   | PanTop: [Ed                 ] |
//   +-------------------------------+
//   | PanBut: 7 8 9 / (             |
//   |         4 5 6 * )             |
//   |         1 2 3 - C             |
//   |         0 , ^ + [ Ok  = ]     |
//   +-------------------------------+
#include "core/ZorbCalc.h"

#include "core/TulnDlg.h"
#include "core/ZorbCalcParser.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"

namespace zorbel {
namespace {

constexpr int KeySize = 28, KeyGap = 4, EdLeft = 8, OkExtra = 16;

// The keypad, row by row: caption, control name.
struct TKeyDef {
    const char *Caption;
    const char *Name;
};
constexpr TKeyDef KeyRows[4][5] = {
    {{"7", "But7"}, {"8", "But8"}, {"9", "But9"}, {"/", "ButDiv"}, {"(", "ButOpen"}},
    {{"4", "But4"}, {"5", "But5"}, {"6", "But6"}, {"*", "ButMul"}, {")", "ButClose"}},
    {{"1", "But1"}, {"2", "But2"}, {"3", "But3"}, {"-", "ButMinus"}, {"C", "ButDel"}},
    {{"0", "But0"}, {",", "ButDec"}, {"^", "ButPow"}, {"+", "ButPlus"}, {nullptr, nullptr}},
};

} // namespace

TFormCalc::TFormCalc()
{
    SetName(QStringLiteral("FormCalc"));
    SetCaption(QStringLiteral("2*(2+3)-8/(5-3)"));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    SetKeyPreview(true);

    PanTop = new TPanel(this, QStringLiteral("PanTop"));
    // The edit spans the keypad and the wider "Ok  =" key of its last row.
    PanTop->SetBounds(0, 0, 5 * KeySize + 4 * KeyGap + OkExtra + 2 * EdLeft, 36);
    Ed = new TEdit(PanTop, QStringLiteral("Ed"));
    Ed->SetBounds(EdLeft, 6, 5 * KeySize + 4 * KeyGap + OkExtra, 24);

    PanBut = new TPanel(this, QStringLiteral("PanBut"));
    PanBut->SetBevelOuter(TBevelCut::bvNone);
    PanBut->SetBounds(0, 36, PanTop->Width(), 4 * (KeySize + KeyGap) + KeyGap);
    ButDec = ButDel = nullptr;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 5; ++col) {
            const TKeyDef &def = KeyRows[row][col];
            if (!def.Caption)
                continue;
            auto *key = new TButton(PanBut, QString::fromLatin1(def.Name));
            key->SetCaption(QString::fromLatin1(def.Caption));
            key->SetBounds(EdLeft + col * (KeySize + KeyGap), KeyGap + row * (KeySize + KeyGap), KeySize, KeySize);
            key->setFocusPolicy(Qt::NoFocus); // the edit keeps its caret and selection
            key->OnClick = [this](TObject *s) { ButDecClick(s); };
            Keys.push_back(key);
            if (key->Name() == u"ButDec")
                ButDec = key;
            if (key->Name() == u"ButDel")
                ButDel = key;
        }
    ButOk = new TButton(PanBut, QStringLiteral("ButOk"));
    ButOk->SetCaption(QStringLiteral("Ok  ="));
    ButOk->SetHint(QStringLiteral("Расчёт"));
    ButOk->SetBounds(EdLeft + 4 * (KeySize + KeyGap), KeyGap + 3 * (KeySize + KeyGap), KeySize + OkExtra, KeySize);
    ButOk->setFocusPolicy(Qt::NoFocus);
    ButOk->OnClick = [this](TObject *s) { ButOkClick(s); };

    PanTop->OnResize = [this](TObject *s) { PanTopResize(s); };
    OnCreate = [this](TObject *s) { FormCreate(s); };
    OnShow = [this](TObject *s) { FormShow(s); };
    OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { FormKeyDown(s, k, sh); };
    Ed->OnKeyPress = [this](TObject *s, QChar &k) { EdKeyPress(s, k); };
    DoCreate();
}

TFormCalc::~TFormCalc() { DoDestroy(); }

void TFormCalc::FormCreate(TObject *)
{
    // The window's frame is not counted: the client area holds the edit and the keypad.
    SetClientWidth(2 * Ed->Left() + Ed->Width());
    SetClientHeight(PanBut->Top() + ButOk->Top() + ButOk->Height() + KeyGap);
    PanTop->SetWidth(ClientWidth());
    PanBut->SetWidth(ClientWidth());
}

void TFormCalc::PanTopResize(TObject *)
{
    Ed->SetWidth(PanTop->Width() - 2 * Ed->Left());
}

void TFormCalc::FormShow(TObject *)
{
    ButDec->SetCaption(QString(FormatSettings().DecimalSeparator));
    Ed->SetFocus();
    if (!Ed->Text().isEmpty()) {
        Ed->deselect();
        Ed->SetSelStart(Ed->Text().size());
    }
}

void TFormCalc::FormKeyDown(TObject *, WORD &Key, TShiftState)
{
    if (Key == VK_ESCAPE) {
        Key = 0;
        SetModalResult(mrCancel);
    }
}

void TFormCalc::EdKeyPress(TObject *, QChar &Key)
{
    if (IsSeparatorKey(Key))
        Key = FormatSettings().DecimalSeparator;
    else if (Key == u'\r') {
        Key = QChar();
        CalculateExpression();
    }
}

void TFormCalc::ButOkClick(TObject *) { CalculateExpression(); }

void TFormCalc::ButDecClick(TObject *Sender)
{
    auto *key = dynamic_cast<TButton *>(Sender);
    if (!key)
        return;
    const QString caption = key->Caption();
    if (caption == u"C") {
        if (!Ed->hasSelectedText() && Ed->cursorPosition() > 0)
            Ed->cursorBackward(true);
        if (Ed->hasSelectedText()) // at the start with nothing selected there is nothing to delete
            Ed->del();
        return;
    }
    if (Ed->hasSelectedText() && (caption == u"(" || caption == u")"))
        Ed->insert(u'(' + Ed->selectedText() + u')');
    else
        Ed->insert(caption); // replaces the selection, with undo
}

void TFormCalc::CalculateExpression()
{
    ResultText.clear();
    int pos = 1;
    const QString text = AddLeadingZeros(NormaliseExpression(Ed->Text()));
    Ed->SetText(text);
    if (text.isEmpty()) {
        SetModalResult(mrCancel);
        return;
    }
    try {
        ResultText = FloatToStr(double(ParseExpression(text, pos)));
    } catch (const Exception &e) {
        ResultText.clear();
        ShowNotice(e.Message(), false);
        Ed->SetFocus();
        Ed->SetSelStart(std::min<int>(pos, int(text.size())));
        return;
    }
    if (!KeepOpen) {
        SetModalResult(mrOk);
        return;
    }
    Ed->SetFocus();
    if (Ed->Text() != ResultText) {
        Ed->SetText(ResultText);
        Ed->SetSelStart(ResultText.size());
    } else {
        Ed->SelectAll();
    }
}

} // namespace zorbel
