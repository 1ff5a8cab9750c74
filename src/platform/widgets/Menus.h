// Main menus and popup menus.
//
// A menu item is a Qt action (with a submenu when it has items of its own).
// Shortcuts are not registered with Qt: the application's key router asks the
// menus itself, in this order — first the popup menus of the
// focused control and of its parents, then the main menu of its form. So a
// popup item's key works only while its control (or a control inside it) has
// the focus, one key may sit in several popups without ambiguity, and an
// item's key works while the item is hidden (but not while it is disabled).
// The menu shows the key after a tab in the caption.
#pragma once

#include "platform/widgets/Controls.h"

#include <QObject>
#include <QList>
#include <QMenuBar>
#include <QPointer>

class QAction;
class QMenu;

namespace zorbel {

class TMenuItem : public QObject, public TComponent {
    Q_OBJECT
public:
    explicit TMenuItem(QObject *owner, const QString &name = {});
    ~TMenuItem() override;

    QString Caption() const { return caption_; }
    void SetCaption(const QString &caption);
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut shortCut);
    bool Checked() const { return checked_; }
    // Checking a radio item unchecks the radio items of its group beside it.
    void SetChecked(bool checked);
    bool RadioItem() const { return radioItem_; }
    void SetRadioItem(bool radio);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int group) { groupIndex_ = group; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    QString Hint() const { return hint_; }
    void SetHint(const QString &hint);
    // A default item is drawn bold.
    void SetDefault(bool isDefault);

    // Children. Add takes ownership; a caption of "-" makes a separator.
    TMenuItem *Add(const QString &name, const QString &caption, TShortCut shortCut = 0);
    void Add(TMenuItem *item);
    int Count() const { return int(items_.size()); }
    TMenuItem *Items(int index) const { return items_.at(index); }
    TMenuItem *Parent() const { return parent_; }
    // Position among the parent's items.
    int MenuIndex() const;
    // Finds an item with the shortcut among the children, depth first.
    TMenuItem *FindShortCut(TShortCut shortCut);

    // Fires OnClick as choosing the item would.
    void Click();

    QAction *Action() const { return action_; }
    QMenu *SubMenu();

    TNotifyEvent OnClick;

private:
    void UpdateText();
    QString caption_;
    TShortCut shortCut_ = 0;
    bool checked_ = false, radioItem_ = false, enabled_ = true, visible_ = true;
    int groupIndex_ = 0;
    QString hint_;
    QAction *action_;
    QMenu *subMenu_ = nullptr;
    TMenuItem *parent_ = nullptr;
    QList<TMenuItem *> items_;
};

class TMenu : public QObject, public TComponent {
    Q_OBJECT
public:
    explicit TMenu(QObject *owner, const QString &name = {});
    // The invisible root item whose children are the menu's entries.
    TMenuItem &Items() { return *root_; }
    TMenuItem *Add(const QString &name, const QString &caption, TShortCut shortCut = 0)
    {
        return root_->Add(name, caption, shortCut);
    }
    // Runs the item bound to the shortcut, when one is enabled; true when one ran.
    bool IsShortCut(TShortCut shortCut);

protected:
    TMenuItem *root_;
};

class TMainMenu : public TMenu {
    Q_OBJECT
public:
    explicit TMainMenu(QObject *owner, const QString &name = {});
    ~TMainMenu() override;
    // The menu bar shown by the form the menu is set on.
    QMenuBar *Bar();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QMenuBar> bar_;
};

class TPopupMenu : public TMenu {
    Q_OBJECT
public:
    explicit TPopupMenu(QObject *owner, const QString &name = {});
    ~TPopupMenu() override;
    // Fires OnPopup, then opens the menu at a screen point without waiting.
    void Popup(int x, int y);
    // The control the menu was last opened on.
    TControl *PopupComponent() const { return popupComponent_; }
    void SetPopupComponent(TControl *control) { popupComponent_ = control; }
    QMenu *Menu() { return root_->SubMenu(); }
    // Whether a right click or the menu key on its control opens the menu
    // (on at creation); its shortcuts work either way.
    bool AutoPopup() const { return autoPopup_; }
    void SetAutoPopup(bool on) { autoPopup_ = on; }

    TNotifyEvent OnPopup;

private:
    TControl *popupComponent_ = nullptr;
    bool autoPopup_ = true;
};

} // namespace zorbel
