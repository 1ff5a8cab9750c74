#include "core/ZorbCopAc.h"

namespace zorbel {

TFormCopAc::TFormCopAc()
{
    SetName(QStringLiteral("FormCopAc"));
    SetCaption(QStringLiteral("Переместить строку на счёт"));
    SetPosition(TPosition::poScreenCenter);
    SetClientWidth(401);
    SetClientHeight(206);
    Lb = new TListBox(this, QStringLiteral("Lb"));
    Lb->SetBounds(8, 8, 385, 156);
    ButOk = new TButton(this, QStringLiteral("ButOk"));
    ButOk->SetCaption(QStringLiteral("OK"));
    ButOk->SetDefault(true);
    ButOk->SetModalResult(mrOk);
    ButOk->SetBounds(236, 174, 75, 25);
    ButCancel = new TButton(this, QStringLiteral("ButCancel"));
    ButCancel->SetCaption(QStringLiteral("Отмена"));
    ButCancel->SetCancel(true);
    ButCancel->SetModalResult(mrCancel);
    ButCancel->SetBounds(318, 174, 75, 25);
    Lb->OnDblClick = [this](TObject *s) { LbDblClick(s); };
    DoCreate();
}

TFormCopAc::~TFormCopAc() { DoDestroy(); }

void TFormCopAc::LbDblClick(TObject *) { SetModalResult(mrOk); }

} // namespace zorbel
