// Menu items, main menus and popup menus.
#include "platform/widgets/Menus.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>

namespace zorbel {

// Defined with the menus: the control layer knows menus only by name.
bool TControl::ShowPopupMenu(QPoint localPos, QPoint globalPos)
{
    bool handled = false;
    if (OnContextPopup)
        DispatchEvent([&] { OnContextPopup(this, localPos, handled); });
    if (handled)
        return true;
    if (!popupMenu_ || !popupMenu_->AutoPopup())
        return false;
    popupMenu_->SetPopupComponent(this);
    popupMenu_->Popup(globalPos.x(), globalPos.y());
    return true;
}

TMenuItem::TMenuItem(QObject *owner, const QString &name) : QObject(owner), action_(new QAction(this))
{
    if (!name.isEmpty()) {
        SetName(name);
        setObjectName(name);
    }
    connect(action_, &QAction::triggered, this, [this] { Click(); });
}

TMenuItem::~TMenuItem() { delete subMenu_; }

void TMenuItem::UpdateText()
{
    // A separator carries no text: styles draw a separator's text beside its line.
    const bool separator = caption_ == QLatin1String("-");
    const QString key = shortCut_ ? ShortCutToText(shortCut_) : QString();
    action_->setText(separator ? QString() : key.isEmpty() ? caption_ : caption_ + QLatin1Char('\t') + key);
    action_->setSeparator(separator);
}

void TMenuItem::SetCaption(const QString &caption)
{
    caption_ = caption;
    UpdateText();
}

void TMenuItem::SetShortCut(TShortCut shortCut)
{
    shortCut_ = shortCut;
    UpdateText();
}

void TMenuItem::SetChecked(bool checked)
{
    checked_ = checked;
    action_->setCheckable(checked || radioItem_ || action_->isCheckable());
    action_->setChecked(checked);
    if (checked && radioItem_ && parent_)
        for (TMenuItem *sibling : parent_->items_)
            if (sibling != this && sibling->radioItem_ && sibling->groupIndex_ == groupIndex_ && sibling->checked_) {
                sibling->checked_ = false;
                sibling->action_->setChecked(false);
            }
}

void TMenuItem::SetRadioItem(bool radio)
{
    radioItem_ = radio;
    action_->setCheckable(true);
    action_->setChecked(checked_);
}

void TMenuItem::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    action_->setEnabled(enabled);
}

void TMenuItem::SetVisible(bool visible)
{
    visible_ = visible;
    action_->setVisible(visible);
}

void TMenuItem::SetHint(const QString &hint)
{
    hint_ = hint;
    action_->setStatusTip(hint);
}

void TMenuItem::SetDefault(bool isDefault)
{
    QFont font = action_->font();
    font.setBold(isDefault);
    action_->setFont(font);
}

QMenu *TMenuItem::SubMenu()
{
    if (!subMenu_) {
        subMenu_ = new QMenu; // deleted by the item
        action_->setMenu(subMenu_);
        // Opening a submenu is the parent item's click, so that the parent's
        // OnClick can enable or check its items just before they show.
        connect(subMenu_, &QMenu::aboutToShow, this, [this] {
            if (parent_)
                Fire(OnClick, this);
        });
    }
    return subMenu_;
}

TMenuItem *TMenuItem::Add(const QString &name, const QString &caption, TShortCut shortCut)
{
    auto *item = new TMenuItem(this, name);
    item->SetCaption(caption);
    item->SetShortCut(shortCut);
    Add(item);
    return item;
}

void TMenuItem::Add(TMenuItem *item)
{
    item->setParent(this);
    item->parent_ = this;
    items_ << item;
    SubMenu()->addAction(item->action_);
}

int TMenuItem::MenuIndex() const { return parent_ ? int(parent_->items_.indexOf(const_cast<TMenuItem *>(this))) : -1; }

TMenuItem *TMenuItem::FindShortCut(TShortCut shortCut)
{
    for (TMenuItem *item : items_) {
        if (item->shortCut_ == shortCut)
            return item;
        if (TMenuItem *found = item->FindShortCut(shortCut))
            return found;
    }
    return nullptr;
}

void TMenuItem::Click() { Fire(OnClick, this); }

TMenu::TMenu(QObject *owner, const QString &name) : QObject(owner), root_(new TMenuItem(this))
{
    if (!name.isEmpty()) {
        SetName(name);
        setObjectName(name);
    }
}

bool TMenu::IsShortCut(TShortCut shortCut)
{
    if (!shortCut)
        return false;
    TMenuItem *item = root_->FindShortCut(shortCut);
    if (!item)
        return false;
    // The parents learn of the choice first (they may update the item), as
    // opening their submenus would tell them.
    QList<TMenuItem *> chain;
    for (TMenuItem *p = item->Parent(); p && p != root_; p = p->Parent())
        chain.prepend(p);
    for (TMenuItem *p : chain)
        if (!p->Enabled())
            return false;
        else
            Fire(p->OnClick, p);
    if (!item->Enabled())
        return false;
    item->Click();
    return true;
}

TMainMenu::TMainMenu(QObject *owner, const QString &name) : TMenu(owner, name) {}

TMainMenu::~TMainMenu()
{
    if (bar_ && !bar_->parent())
        delete bar_;
}

bool TMainMenu::eventFilter(QObject *watched, QEvent *event)
{
    // Entries added or removed later reach the bar too.
    if (bar_ && (event->type() == QEvent::ActionAdded || event->type() == QEvent::ActionRemoved))
        QMetaObject::invokeMethod(this, [this] { Bar(); }, Qt::QueuedConnection);
    return TMenu::eventFilter(watched, event);
}

QMenuBar *TMainMenu::Bar()
{
    if (!bar_) {
        bar_ = new QMenuBar(qobject_cast<QWidget *>(parent())); // the form it is set on owns it
        root_->SubMenu()->installEventFilter(this);
    }
    const auto actions = root_->SubMenu()->actions();
    if (bar_->actions() != actions) {
        bar_->clear();
        bar_->addActions(actions);
    }
    return bar_;
}

TPopupMenu::TPopupMenu(QObject *owner, const QString &name) : TMenu(owner, name) {}

TPopupMenu::~TPopupMenu() = default;

void TPopupMenu::Popup(int x, int y)
{
    Fire(OnPopup, this);
    root_->SubMenu()->popup(QPoint(x, y));
}

} // namespace zorbel
