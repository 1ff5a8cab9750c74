// The tree-membership dialog: a row of five boxes above OK and Cancel.
#include "core/ZorbTree.h"

namespace zorbel {

TFormTree::TFormTree()
{
    SetName(QStringLiteral("FormTree"));
    SetCaption(QString::fromUtf8("Деревья"));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    SetClientWidth(220);
    SetClientHeight(80);
    TCheckBox **targets[] = {&Ch1, &Ch2, &Ch3, &Ch4, &Ch5};
    for (int i = 0; i < 5; ++i) {
        auto *box = new TCheckBox(this, QStringLiteral("Ch%1").arg(i + 1));
        box->SetCaption(QString::number(i + 1));
        box->SetBounds(12 + i * 40, 10, 36, 20);
        *targets[i] = box;
    }
    ButOk = new TButton(this, QStringLiteral("ButOk"));
    ButOk->SetCaption(QStringLiteral("OK"));
    ButOk->SetDefault(true);
    ButOk->SetModalResult(mrOk);
    ButOk->SetBounds(28, 44, 76, 26);
    ButCancel = new TButton(this, QStringLiteral("ButCancel"));
    ButCancel->SetCaption(QString::fromUtf8("Отмена"));
    ButCancel->SetCancel(true);
    ButCancel->SetModalResult(mrCancel);
    ButCancel->SetBounds(116, 44, 76, 26);
    DoCreate();
}

TFormTree::~TFormTree() { DoDestroy(); }

int TFormTree::Bits() const
{
    int bits = 0;
    const auto all = boxes();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i]->Checked())
            bits |= 1 << i;
    return bits;
}

void TFormTree::SetBits(int Bits)
{
    const auto all = boxes();
    for (size_t i = 0; i < all.size(); ++i)
        all[i]->SetChecked((Bits & (1 << i)) != 0);
}

} // namespace zorbel
