#include "platform/widgets/Dialogs.h"

#include "platform/widgets/StdCtrls.h"

#include <QFontDialog>

namespace zorbel {

TFontForm::TFontForm(const QFont &font)
{
    SetName(QStringLiteral("FontDlg"));
    SetCaption(QStringLiteral("Шрифт"));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    Chooser = new QFontDialog(this);
    Chooser->setObjectName(QStringLiteral("Chooser"));
    // A widget inside the window, without buttons or a window of its own.
    Chooser->setWindowFlags(Qt::Widget);
    Chooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    Chooser->setCurrentFont(font);
    const QSize hint = Chooser->sizeHint();
    Chooser->setGeometry(0, 0, hint.width(), hint.height());
    Chooser->show();
    ButOk = new TButton(this, QStringLiteral("ButOk"));
    ButOk->SetCaption(QStringLiteral("OK"));
    ButOk->SetDefault(true);
    ButOk->SetModalResult(mrOk);
    ButOk->SetBounds(hint.width() - 170, hint.height() + 6, 80, 25);
    ButCancel = new TButton(this, QStringLiteral("ButCancel"));
    ButCancel->SetCaption(QStringLiteral("Отмена"));
    ButCancel->SetCancel(true);
    ButCancel->SetModalResult(mrCancel);
    ButCancel->SetBounds(hint.width() - 85, hint.height() + 6, 80, 25);
    SetClientWidth(hint.width());
    SetClientHeight(hint.height() + 38);
    DoCreate();
}

TFontForm::~TFontForm() { DoDestroy(); }

QFont TFontForm::SelectedFont() const { return Chooser->currentFont(); }

bool TFontDialog::Execute()
{
    TFontForm form(font_);
    if (form.ShowModal() != mrOk)
        return false;
    font_ = form.SelectedFont();
    return true;
}

} // namespace zorbel
