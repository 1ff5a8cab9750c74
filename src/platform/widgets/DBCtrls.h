// Data-aware controls: each shows one field of the current record of a
// dataset, reached through a TDataSource, and writes the user's changes back.
//
// A control holds a TFieldDataLink on its source naming its field
// (DataField; it may be switched while the program runs). The link tells the
// control when the record or the field changes (it then shows the field
// again), and asks it to write its value when the dataset wants pending
// values (before a post) or when the control loses the focus. Typing or
// choosing first puts the dataset into edit mode through the source (when
// AutoEdit allows it); when that is not possible the control shows the
// field again and the change is dropped. A read-only field, a read-only
// control or a dataset that cannot be modified shows but does not edit.
// Escape in an edit puts the field's value back.
//
// Texts: a focused edit shows the field's edit text (Text), an unfocused one
// its display text (DisplayText); leaving writes the text with Field::SetText.
// The lookup combo lists the ListField values of ListSource's dataset and
// writes the KeyField value of the chosen row into its field at once; typing
// letters picks the first row whose list text begins with the letters typed
// so far (a pause of two seconds, Backspace, Escape or leaving the control
// starts a new search).
#pragma once

#include "platform/dataset/DataSource.h"
#include "platform/dataset/DataSet.h"
#include "platform/rtl/Variant.h"
#include "platform/widgets/StdCtrls.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QWidget>
#include <memory>

class QToolButton;

namespace zorbel {

class TFieldDataLink : public TDataLink {
public:
    TFieldDataLink() = default;
    QString FieldName() const { return fieldName_; }
    void SetFieldName(const QString &name);
    TField *Field() const { return field_; }
    // The control may change the field.
    bool CanModify() const;
    // Puts the dataset into edit mode when the field may change; true when editing.
    bool Edit();
    // The control's value differs from the field's.
    void Modified() { modified_ = true; }
    bool IsModified() const { return modified_; }
    // Shows the field's value again, dropping the control's change.
    void Reset();

    std::function<void()> OnDataChange, OnEditingChange, OnUpdateData, OnActiveChange;
    std::function<void()> OnFocusControl;

protected:
    void ActiveChanged() override;
    void EditingChanged() override;
    void LayoutChanged() override;
    void RecordChanged(TField *field) override;
    void UpdateData() override;
    void FocusControl(TField *field) override;

private:
    void UpdateField();
    QString fieldName_;
    TField *field_ = nullptr;
    bool modified_ = false;
};

// The data link and field properties every data-aware control shares.
class TDBControlBase {
public:
    TDBControlBase();
    virtual ~TDBControlBase() = default;
    TDataSource *DataSource() const { return link_->DataSource(); }
    void SetDataSource(TDataSource *source) { link_->SetDataSource(source); }
    QString DataField() const { return link_->FieldName(); }
    void SetDataField(const QString &name) { link_->SetFieldName(name); }
    TField *Field() const { return link_->Field(); }
    bool ReadOnly() const { return link_->ReadOnly(); }
    void SetReadOnly(bool readOnly);
    TFieldDataLink &DataLink() { return *link_; }

protected:
    // Shows the field (or nothing without one).
    virtual void DataChange() = 0;
    // Writes the control's value into the field.
    virtual void UpdateData() = 0;
    // The editable state changed (read-only flags, editing, field).
    virtual void EditingChange() {}
    // Writes a pending change, as leaving the control does; a failure is
    // shown and the change stays.
    void CommitOnExit();
    // Starts an edit for a user's change; false (and the field shown again)
    // when the field cannot change.
    bool BeginChange();
    bool Loading() const { return loading_; }

    std::unique_ptr<TFieldDataLink> link_;
    bool loading_ = false; // the control is being set from the field

private:
    void Show();
};

class TDBEdit : public TEdit, public TDBControlBase {
    Q_OBJECT
public:
    explicit TDBEdit(QWidget *parent, const QString &name = {});

    // The control's own flag; the field's state may make it read-only too.
    using TDBControlBase::ReadOnly;
    using TDBControlBase::SetReadOnly;

protected:
    bool ControlEvent(QEvent *event) override;
    void DataChange() override;
    void UpdateData() override;
    void EditingChange() override;
};

class TDBMemo : public TMemo, public TDBControlBase {
    Q_OBJECT
public:
    explicit TDBMemo(QWidget *parent, const QString &name = {});

    // The control's own flag; the field's state may make it read-only too.
    using TDBControlBase::ReadOnly;
    using TDBControlBase::SetReadOnly;

protected:
    bool ControlEvent(QEvent *event) override;
    void DataChange() override;
    void UpdateData() override;
    void EditingChange() override;
};

// A label showing the field's display text.
class TDBText : public TLabel, public TDBControlBase {
    Q_OBJECT
public:
    explicit TDBText(QWidget *parent, const QString &name = {});

protected:
    void DataChange() override;
    void UpdateData() override {}
};

// Checked when the field holds ValueChecked (for a Boolean field: true).
// The values may list several texts separated by ';'; the first is written.
class TDBCheckBox : public TCheckBox, public TDBControlBase {
    Q_OBJECT
public:
    explicit TDBCheckBox(QWidget *parent, const QString &name = {});
    QString ValueChecked() const { return valueChecked_; }
    void SetValueChecked(const QString &value);
    QString ValueUnchecked() const { return valueUnchecked_; }
    void SetValueUnchecked(const QString &value);

protected:
    bool ControlEvent(QEvent *event) override;
    void DataChange() override;
    void UpdateData() override;

private:
    QString valueChecked_ = QStringLiteral("True");
    QString valueUnchecked_ = QStringLiteral("False");
};

class TDBComboBox : public TComboBox, public TDBControlBase {
    Q_OBJECT
public:
    explicit TDBComboBox(QWidget *parent, const QString &name = {});

protected:
    bool ControlEvent(QEvent *event) override;
    void DataChange() override;
    void UpdateData() override;
};

// Radio buttons whose choice is the field's value: Values[i] (or, without
// values, the caption Items[i]) stands for button i.
class TDBRadioGroup : public TRadioGroup, public TDBControlBase {
    Q_OBJECT
public:
    explicit TDBRadioGroup(QWidget *parent, const QString &name = {});
    void SetItems(const QStringList &items);
    QStringList Values() const { return values_; }
    void SetValues(const QStringList &values);
    // The value of the chosen button ("" when none).
    QString Value() const;

protected:
    void DataChange() override;
    void UpdateData() override;

private:
    void ButtonClicked();
    QStringList values_;
};

class TDBLookupComboBox : public QComboBox, public TControl, public TDBControlBase {
    Q_OBJECT
public:
    explicit TDBLookupComboBox(QWidget *parent, const QString &name = {});
    ~TDBLookupComboBox() override;

    TDataSource *ListSource() const;
    void SetListSource(TDataSource *source);
    QString KeyField() const { return keyField_; }
    void SetKeyField(const QString &name);
    QString ListField() const { return listField_; }
    void SetListField(const QString &name);
    int DropDownRows() const { return maxVisibleItems(); }
    void SetDropDownRows(int rows) { setMaxVisibleItems(rows); }
    // The key of the shown row (Null when none).
    Variant KeyValue() const;
    // Shows the row of this key (without a field: the control's own value).
    void SetKeyValue(const Variant &key);
    QString Text() const { return currentText(); }
    // The letters typed so far in the current search.
    QString SearchText() const { return searchText_; }
    // Re-reads the list from the list dataset.
    void RefreshList();

    TNotifyEvent OnChange;

protected:
    bool ControlEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void DataChange() override;
    void UpdateData() override {}
    void EditingChange() override;

private:
    class TListLink;
    void ListChanged();
    void FillList();
    void ShowKey(const Variant &key);
    void Choose(int index);
    bool Search(const QString &text);

    std::unique_ptr<TListLink> listLink_;
    QString keyField_, listField_;
    std::vector<Variant> keys_;
    bool listValid_ = false;
    bool filling_ = false;
    bool settingIndex_ = false;
    Variant ownKey_;
    QString searchText_;
    QElapsedTimer searchTimer_;
};

enum class TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };
using enum TNavigateBtn;
using TNavButtonSet = TSet<TNavigateBtn>;
using TNavClickEvent = std::function<void(TObject *Sender, TNavigateBtn Button)>;

// Buttons that move through and change the dataset. Each is enabled only
// when its action is possible: moving needs a browsing dataset away from the
// respective end, post and cancel need editing, insert, edit and delete a
// dataset that can be modified. Delete asks "Удалить запись?" first while
// ConfirmDelete is on.
class TDBNavigator : public QWidget, public TControl {
    Q_OBJECT
public:
    explicit TDBNavigator(QWidget *parent, const QString &name = {});
    ~TDBNavigator() override;
    TDataSource *DataSource() const;
    void SetDataSource(TDataSource *source);
    TNavButtonSet VisibleButtons() const { return visible_; }
    void SetVisibleButtons(TNavButtonSet buttons);
    bool ConfirmDelete() const { return confirmDelete_; }
    void SetConfirmDelete(bool confirm) { confirmDelete_ = confirm; }
    // Performs a button's action as a click does (BeforeAction, action, OnClick).
    void BtnClick(TNavigateBtn button);
    QToolButton *Button(TNavigateBtn button) const { return buttons_[int(button)]; }
    bool ButtonEnabled(TNavigateBtn button) const;

    // Fires before the action; raising EAbort cancels it.
    TNavClickEvent BeforeAction;
    TNavClickEvent OnNavClick;

private:
    class TNavLink;
    void UpdateButtons();
    std::unique_ptr<TNavLink> link_;
    QToolButton *buttons_[10];
    TNavButtonSet visible_;
    bool confirmDelete_ = true;
};

} // namespace zorbel
