// Speed buttons and bit buttons.
#include "platform/widgets/Buttons.h"

namespace zorbel {

TSpeedButton::TSpeedButton(QWidget *parent, const QString &name) : QToolButton(parent), TControl(this)
{
    if (!name.isEmpty())
        SetName(name);
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(this, &QToolButton::clicked, this, [this] {
        if (!pressing_)
            Pressed();
    });
}

void TSpeedButton::SetCaption(const QString &caption)
{
    setText(caption);
    setToolButtonStyle(icon().isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonTextBesideIcon);
}

void TSpeedButton::SetGlyph(const QPixmap &glyph)
{
    setIcon(QIcon(glyph));
    setIconSize(glyph.size());
    setToolButtonStyle(text().isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
}

void TSpeedButton::SetGroupIndex(int group)
{
    groupIndex_ = group;
    setCheckable(group > 0);
}

void TSpeedButton::SetAllowAllUp(bool allow)
{
    allowAllUp_ = allow;
    if (parentWidget())
        for (TSpeedButton *b : parentWidget()->findChildren<TSpeedButton *>(QString(), Qt::FindDirectChildrenOnly))
            if (b->groupIndex_ == groupIndex_)
                b->allowAllUp_ = allow;
}

void TSpeedButton::ReleaseOthers()
{
    if (groupIndex_ <= 0 || !parentWidget())
        return;
    for (TSpeedButton *b : parentWidget()->findChildren<TSpeedButton *>(QString(), Qt::FindDirectChildrenOnly))
        if (b != this && b->groupIndex_ == groupIndex_)
            b->setChecked(false);
}

void TSpeedButton::SetDown(bool down)
{
    if (groupIndex_ <= 0)
        return;
    setChecked(down);
    if (down)
        ReleaseOthers();
}

void TSpeedButton::Pressed()
{
    // Qt has already toggled a checkable button; apply the group's rules.
    if (groupIndex_ > 0) {
        if (!isChecked() && !allowAllUp_)
            setChecked(true);
        if (isChecked())
            ReleaseOthers();
    }
    Fire(OnClick, this);
}

void TSpeedButton::Press()
{
    pressing_ = true;
    if (isCheckable())
        toggle();
    pressing_ = false;
    Pressed();
}

TBitBtn::TBitBtn(QWidget *parent, const QString &name) : TButton(parent, name) {}

void TBitBtn::SetGlyph(const QPixmap &glyph)
{
    setIcon(QIcon(glyph));
    setIconSize(glyph.size());
}

void TBitBtn::SetLayout(TButtonLayout layout)
{
    setLayoutDirection(layout == TButtonLayout::blGlyphRight ? Qt::RightToLeft : Qt::LeftToRight);
}

} // namespace zorbel
