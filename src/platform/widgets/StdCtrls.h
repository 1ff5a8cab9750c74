// Standard controls: label, button, edit, memo, check box, radio button,
// radio group, combo box, list box, check-list box, group box, scroll bar.
//
// Item lists (combo box, list box) hold per item a text and an integer object
// (Items.Objects[i] in the windows' code, used for ids and day numbers); TItems
// reaches both through the widget's item model: the text in the display role,
// the object in the user role.
//
// Events: OnClick when the user picks or toggles (and when code changes a
// check box's Checked), OnChange when the text or the choice changes through
// the user; code setting ItemIndex fires nothing, so a window that fills and
// positions its lists does not run its own change handlers meanwhile.
#pragma once

#include "platform/dataset/DBTypes.h" // TAlignment, shared with fields
#include "platform/widgets/Controls.h"
#include "platform/rtl/StringList.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyledItemDelegate>

class QAbstractItemModel;

namespace zorbel {

// Texts with integer objects over an item model.
class TItems {
public:
    explicit TItems(QAbstractItemModel *model) : model_(model) {}
    int Count() const;
    QString Strings(int index) const;
    QString operator[](int index) const { return Strings(index); }
    void SetStrings(int index, const QString &text);
    std::int64_t Objects(int index) const;
    void SetObjects(int index, std::int64_t object);
    // Appends an item; returns its index.
    int Add(const QString &text, std::int64_t object = 0);
    int AddObject(const QString &text, std::int64_t object) { return Add(text, object); }
    void Insert(int index, const QString &text, std::int64_t object = 0);
    void Delete(int index);
    void Clear();
    // Index of the first item equal to text in the Russian collation,
    // ignoring case (a currency or a name stored in another case still finds
    // its item); -1 when there is none.
    int IndexOf(const QString &text) const;
    int IndexOfObject(std::int64_t object) const;
    QStringList ToStringList() const;
    void Assign(const QStringList &texts);
    // Takes the texts and objects of a string list.
    void Assign(const TStringList &list);
    // Every item followed by CR LF.
    QString Text() const;

private:
    QAbstractItemModel *model_;
};

enum class TTextLayout { tlTop, tlCenter, tlBottom };

class TLabel : public QLabel, public TControl {
    Q_OBJECT
public:
    explicit TLabel(QWidget *parent, const QString &name = {});
    QString Caption() const { return text(); }
    void SetCaption(const QString &caption);
    // Auto-sized labels fit their caption whenever it changes (default on).
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    bool WordWrap() const { return wordWrap(); }
    void SetWordWrap(bool wrap) { setWordWrap(wrap); }
    void SetAlignment(TAlignment alignment);
    void SetLayout(TTextLayout layout);
    void SetTransparent(bool transparent);
    void SetColor(TColor color) override;

protected:
    bool ControlEvent(QEvent *event) override;

private:
    void Fit();
    bool autoSize_ = true;
};

class TButton : public QPushButton, public TControl {
    Q_OBJECT
public:
    explicit TButton(QWidget *parent, const QString &name = {});
    QString Caption() const { return text(); }
    void SetCaption(const QString &caption) { setText(caption); }
    // The default button answers Enter, the cancel button Escape.
    bool Default() const { return default_; }
    void SetDefault(bool value);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool value) { cancel_ = value; }
    // The form's ModalResult becomes this when the button is clicked.
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }
    // Clicks as the user would: the form's ModalResult is set, then OnClick.
    void Click() override;

private:
    bool default_ = false;
    bool cancel_ = false;
    int modalResult_ = mrNone;
};


class TEdit : public QLineEdit, public TControl {
    Q_OBJECT
public:
    explicit TEdit(QWidget *parent, const QString &name = {});
    QString Text() const { return text(); }
    void SetText(const QString &text);
    // 0 means no limit. Setting the limit it has leaves the text alone (Qt
    // sets the text anew, which drops the selection and the caret).
    int MaxLength() const { return maxLength() == 32767 ? 0 : maxLength(); }
    void SetMaxLength(int length)
    {
        if (MaxLength() != std::max(length, 0))
            setMaxLength(length <= 0 ? 32767 : length);
    }
    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool readOnly) { setReadOnly(readOnly); }
    void SetPasswordChar(QChar c) { setEchoMode(c.isNull() ? Normal : Password); }
    void SelectAll() { selectAll(); }
    int SelStart() const;
    int SelLength() const { return selectedText().size(); }
    void SetSelStart(int start) { setCursorPosition(start); }
    void SetSelLength(int length) { setSelection(SelStart(), length); }
    QString SelText() const { return selectedText(); }
    void SetColor(TColor color) override;

    TNotifyEvent OnChange;
};

enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

class TMemo : public QPlainTextEdit, public TControl {
    Q_OBJECT
public:
    explicit TMemo(QWidget *parent, const QString &name = {});
    QString Text() const { return toPlainText(); }
    void SetText(const QString &text);
    QStringList Lines() const;
    void SetLines(const QStringList &lines) { SetText(lines.join(QLatin1Char('\n'))); }
    void AddLine(const QString &line) { appendPlainText(line); }
    void SetScrollBars(TScrollStyle style);
    void SetWordWrap(bool wrap) { setLineWrapMode(wrap ? WidgetWidth : NoWrap); }
    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool readOnly) { setReadOnly(readOnly); }
    // With WantReturns (default) Enter makes a new line, else it goes to the form.
    bool WantReturns() const { return wantReturns_; }
    void SetWantReturns(bool want) { wantReturns_ = want; }
    bool WantsReturn() const override { return wantReturns_; }
    void SelectAll() { selectAll(); }
    void SetColor(TColor color) override;

    TNotifyEvent OnChange;

private:
    bool wantReturns_ = true;
};

class TCheckBox : public QCheckBox, public TControl {
    Q_OBJECT
public:
    explicit TCheckBox(QWidget *parent, const QString &name = {});
    QString Caption() const { return text(); }
    void SetCaption(const QString &caption) { setText(caption); }
    bool Checked() const { return isChecked(); }
    // A change of Checked fires OnClick, from code as from the user.
    void SetChecked(bool checked) { setChecked(checked); }
    void Click() override { toggle(); }
    void SetColor(TColor color) override;
};

class TRadioButton : public QRadioButton, public TControl {
    Q_OBJECT
public:
    explicit TRadioButton(QWidget *parent, const QString &name = {});
    QString Caption() const { return text(); }
    void SetCaption(const QString &caption) { setText(caption); }
    bool Checked() const { return isChecked(); }
    // Checking fires OnClick; the other radio buttons of the parent go off.
    void SetChecked(bool checked) { setChecked(checked); }
    void Click() override { setChecked(true); }
    void SetColor(TColor color) override;
};

class TGroupBox : public QGroupBox, public TControl {
    Q_OBJECT
public:
    explicit TGroupBox(QWidget *parent, const QString &name = {});
    QString Caption() const { return title(); }
    void SetCaption(const QString &caption) { setTitle(caption); }
};

// Radio buttons made from a list of captions, one of them chosen.
class TRadioGroup : public QGroupBox, public TControl {
    Q_OBJECT
public:
    explicit TRadioGroup(QWidget *parent, const QString &name = {});
    QString Caption() const { return title(); }
    void SetCaption(const QString &caption) { setTitle(caption); }
    QStringList Items() const { return items_; }
    void SetItems(const QStringList &items);
    int Columns() const { return columns_; }
    void SetColumns(int columns);
    // -1 when none is chosen. Setting it (by code or by a click) fires OnClick
    // when the choice changes: the handler that follows the choice runs
    // however the choice came, a record shown by a data-aware group included.
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);

protected:
    bool ControlEvent(QEvent *event) override;

private:
    void Rebuild();
    void Arrange();
    QStringList items_;
    QList<QRadioButton *> buttons_;
    int columns_ = 1;
    int itemIndex_ = -1;
};

enum class TComboBoxStyle { csDropDown, csDropDownList };

class TComboBox : public QComboBox, public TControl {
    Q_OBJECT
public:
    explicit TComboBox(QWidget *parent, const QString &name = {});
    // csDropDown: pick or type; csDropDownList: pick only.
    TComboBoxStyle Style() const { return isEditable() ? TComboBoxStyle::csDropDown : TComboBoxStyle::csDropDownList; }
    void SetStyle(TComboBoxStyle style);
    TItems &Items() { return items_; }
    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int index);
    QString Text() const { return currentText(); }
    // In pick-or-type style any text; in a list the matching item (or none).
    void SetText(const QString &text);
    void SetDropDownCount(int count) { setMaxVisibleItems(count); }
    void SetMaxLength(int length);
    void SetColor(TColor color) override;

    TNotifyEvent OnChange;
    TNotifyEvent OnDropDown;

protected:
    void showPopup() override;

private:
    TItems items_;
};

enum class TListBoxStyle { lbStandard, lbOwnerDrawFixed };
// State of a list item, cell or node being drawn.
using TOwnerDrawState = unsigned;
constexpr TOwnerDrawState odSelected = 1, odFocused = 2, odDisabled = 4, odChecked = 8;
using TDrawItemEvent =
    std::function<void(QWidget *Control, int Index, const QRect &Rect, TOwnerDrawState State)>;

class TListBox : public QListWidget, public TControl {
    Q_OBJECT
public:
    explicit TListBox(QWidget *parent, const QString &name = {});
    TItems &Items() { return items_; }
    int Count() const { return count(); }
    // -1 when none. Setting it fires nothing.
    int ItemIndex() const { return currentRow(); }
    void SetItemIndex(int index);
    bool Selected(int index) const;
    void SetSelected(int index, bool selected);
    int SelCount() const { return int(selectedItems().size()); }
    bool MultiSelect() const { return selectionMode() == ExtendedSelection; }
    void SetMultiSelect(bool multi);
    void SetSorted(bool sorted) { setSortingEnabled(sorted); if (sorted) sortItems(); }
    void SetColor(TColor color) override;
    int ItemAtPos(QPoint pos) const;

    // Owner drawing: with lbOwnerDrawFixed each item is painted by
    // OnDrawItem on Canvas() (the brush and font already set for its state).
    void SetStyle(TListBoxStyle style) { style_ = style; viewport()->update(); }
    TListBoxStyle Style() const { return style_; }
    TCanvas &Canvas() { return canvas_; }
    TDrawItemEvent OnDrawItem;

protected:
    TItems items_;

private:
    friend class TListBoxDelegate;
    TListBoxStyle style_ = TListBoxStyle::lbStandard;
    TCanvas canvas_;
    bool settingIndex_ = false;
};

class TCheckListBox : public TListBox {
    Q_OBJECT
public:
    explicit TCheckListBox(QWidget *parent, const QString &name = {});
    bool Checked(int index) const;
    void SetChecked(int index, bool checked);
    // Fired when the user toggles an item's check.
    TNotifyEvent OnClickCheck;

private:
    bool settingCheck_ = false;
};

enum class TScrollBarKind { sbHorizontal, sbVertical };

class TScrollBar : public QScrollBar, public TControl {
    Q_OBJECT
public:
    explicit TScrollBar(QWidget *parent, const QString &name = {});
    void SetKind(TScrollBarKind kind) { setOrientation(kind == TScrollBarKind::sbHorizontal ? Qt::Horizontal : Qt::Vertical); }
    int Position() const { return value(); }
    void SetPosition(int position) { setValue(position); }
    void SetMin(int min) { setMinimum(min); }
    void SetMax(int max) { setMaximum(max); }
    void SetSmallChange(int step) { setSingleStep(step); }
    void SetLargeChange(int step) { setPageStep(step); }
    // Fired whenever Position changes.
    TNotifyEvent OnChange;
};

} // namespace zorbel
