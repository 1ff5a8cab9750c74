// Data-aware controls; see DBCtrls.h for the rules they share.
#include "platform/widgets/DBCtrls.h"

#include "platform/rtl/Exceptions.h"
#include "platform/widgets/Forms.h"

#include <QScopedValueRollback>
#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QToolButton>

namespace zorbel {

// ---- field data link ----

void TFieldDataLink::SetFieldName(const QString &name)
{
    if (fieldName_ == name)
        return;
    fieldName_ = name;
    UpdateField();
}

void TFieldDataLink::UpdateField()
{
    TDataSet *ds = DataSet();
    field_ = Active() && ds && !fieldName_.isEmpty() ? ds->FindField(fieldName_) : nullptr;
    modified_ = false;
    if (OnDataChange)
        OnDataChange();
    if (OnEditingChange)
        OnEditingChange();
}

bool TFieldDataLink::CanModify() const { return !ReadOnly() && field_ && field_->CanModify(); }

bool TFieldDataLink::Edit()
{
    if (CanModify())
        TDataLink::Edit();
    return Editing();
}

void TFieldDataLink::Reset() { RecordChanged(nullptr); }

void TFieldDataLink::ActiveChanged()
{
    UpdateField();
    if (OnActiveChange)
        OnActiveChange();
}

void TFieldDataLink::EditingChanged()
{
    if (OnEditingChange)
        OnEditingChange();
}

void TFieldDataLink::LayoutChanged() { UpdateField(); }

void TFieldDataLink::RecordChanged(TField *field)
{
    if (field && field != field_)
        return;
    if (OnDataChange)
        OnDataChange();
    modified_ = false;
}

void TFieldDataLink::UpdateData()
{
    if (!modified_)
        return;
    if (field_ && OnUpdateData)
        OnUpdateData();
    modified_ = false;
}

void TFieldDataLink::FocusControl(TField *field)
{
    if (field && field == field_ && OnFocusControl)
        OnFocusControl();
}

// ---- shared base ----

TDBControlBase::TDBControlBase() : link_(std::make_unique<TFieldDataLink>())
{
    link_->OnDataChange = [this] { Show(); };
    link_->OnUpdateData = [this] { UpdateData(); };
    link_->OnEditingChange = [this] { EditingChange(); };
}

void TDBControlBase::SetReadOnly(bool readOnly)
{
    link_->SetReadOnly(readOnly);
    EditingChange();
}

void TDBControlBase::Show()
{
    if (loading_)
        return;
    {
        const QScopedValueRollback<bool> busy(loading_, true);
        DataChange();
    }
    // A field's read-only flag may have changed with it.
    EditingChange();
}

bool TDBControlBase::BeginChange()
{
    if (loading_)
        return true;
    // Putting the dataset into edit mode announces a record change; the
    // control keeps the user's value meanwhile.
    loading_ = true;
    bool editing = false;
    DispatchEvent([&] { editing = link_->Edit(); });
    loading_ = false;
    if (!editing) {
        link_->Reset();
        return false;
    }
    link_->Modified();
    return true;
}

void TDBControlBase::CommitOnExit()
{
    DispatchEvent([&] { link_->UpdateRecord(); });
}

namespace {

// Focus leaving the control for another control of the window (not a popup
// or another window taking it for a while).
bool IsExit(QEvent *event)
{
    if (event->type() != QEvent::FocusOut)
        return false;
    const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

// Focus changes of a text control: entering shows the edit text, leaving
// writes the value and shows the display text.
template <class C> void FollowFocus(C *control, QEvent *event, const std::function<void()> &commit,
                                    const std::function<void()> &show)
{
    if (event->type() == QEvent::FocusIn && !control->DataLink().IsModified())
        show();
    else if (IsExit(event)) {
        commit();
        if (!control->DataLink().IsModified())
            show();
    }
}

bool IsEscape(QEvent *event)
{
    return event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape;
}

} // namespace

// ---- edit ----

TDBEdit::TDBEdit(QWidget *parent, const QString &name) : TEdit(parent, name)
{
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!loading_)
            BeginChange();
    });
}

bool TDBEdit::ControlEvent(QEvent *event)
{
    FollowFocus(this, event, [this] { CommitOnExit(); }, [this] { link_->Reset(); });
    if (IsEscape(event) && link_->IsModified()) {
        link_->Reset();
        selectAll();
        return true;
    }
    return TEdit::ControlEvent(event);
}

void TDBEdit::DataChange()
{
    TField *field = Field();
    if (!field) {
        setText(QString());
        return;
    }
    if (field->DataType() == ftString || field->DataType() == ftFixedChar)
        SetMaxLength(field->Size());
    else
        SetMaxLength(0);
    // A text shown again unchanged keeps its caret and selection; a focused
    // text wholly selected (entering selects it) stays wholly selected.
    const QString shown = hasFocus() && link_->CanModify() ? field->Text() : field->DisplayText();
    if (shown == text())
        return;
    const bool whole = hasFocus() && hasSelectedText() && selectedText() == text();
    setText(shown);
    if (whole)
        selectAll();
}

void TDBEdit::UpdateData() { Field()->SetText(text()); }

void TDBEdit::EditingChange() { setReadOnly(!link_->CanModify()); }

// ---- memo ----

TDBMemo::TDBMemo(QWidget *parent, const QString &name) : TMemo(parent, name)
{
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!loading_)
            BeginChange();
    });
}

bool TDBMemo::ControlEvent(QEvent *event)
{
    FollowFocus(this, event, [this] { CommitOnExit(); }, [] {});
    if (IsEscape(event) && link_->IsModified()) {
        link_->Reset();
        return true;
    }
    return TMemo::ControlEvent(event);
}

void TDBMemo::DataChange() { setPlainText(Field() ? Field()->AsString() : QString()); }

void TDBMemo::UpdateData() { Field()->SetAsString(toPlainText()); }

void TDBMemo::EditingChange() { setReadOnly(!link_->CanModify()); }

// ---- label ----

TDBText::TDBText(QWidget *parent, const QString &name) : TLabel(parent, name) { SetAutoSize(false); }

void TDBText::DataChange() { SetCaption(Field() ? Field()->DisplayText() : QString()); }

// ---- check box ----

TDBCheckBox::TDBCheckBox(QWidget *parent, const QString &name) : TCheckBox(parent, name)
{
    connect(this, &QCheckBox::toggled, this, [this] {
        if (!loading_)
            BeginChange();
    });
}

void TDBCheckBox::SetValueChecked(const QString &value)
{
    valueChecked_ = value;
    link_->Reset();
}

void TDBCheckBox::SetValueUnchecked(const QString &value)
{
    valueUnchecked_ = value;
    link_->Reset();
}

bool TDBCheckBox::ControlEvent(QEvent *event)
{
    if (IsExit(event))
        CommitOnExit();
    return TCheckBox::ControlEvent(event);
}

void TDBCheckBox::DataChange()
{
    TField *field = Field();
    bool checked = false;
    if (field && !field->IsNull()) {
        if (field->DataType() == ftBoolean) {
            checked = field->AsBoolean();
        } else {
            const QString text = field->Text();
            for (const QString &v : valueChecked_.split(QLatin1Char(';')))
                checked = checked || text.compare(v.trimmed(), Qt::CaseInsensitive) == 0;
        }
    }
    setChecked(checked);
}

void TDBCheckBox::UpdateData()
{
    TField *field = Field();
    if (field->DataType() == ftBoolean)
        field->SetAsBoolean(isChecked());
    else
        field->SetText((isChecked() ? valueChecked_ : valueUnchecked_).section(QLatin1Char(';'), 0, 0).trimmed());
}

// ---- combo box ----

TDBComboBox::TDBComboBox(QWidget *parent, const QString &name) : TComboBox(parent, name)
{
    connect(this, &QComboBox::currentTextChanged, this, [this] {
        if (!loading_)
            BeginChange();
    });
}

bool TDBComboBox::ControlEvent(QEvent *event)
{
    if (IsExit(event))
        CommitOnExit();
    return TComboBox::ControlEvent(event);
}

void TDBComboBox::DataChange() { SetText(Field() ? Field()->Text() : QString()); }

void TDBComboBox::UpdateData() { Field()->SetText(currentText()); }

// ---- radio group ----

TDBRadioGroup::TDBRadioGroup(QWidget *parent, const QString &name) : TRadioGroup(parent, name) {}

void TDBRadioGroup::SetItems(const QStringList &items)
{
    TRadioGroup::SetItems(items);
    // The buttons are new; the group's own handler (connected first) has
    // chosen the item when ButtonClicked runs.
    for (QRadioButton *button : findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly))
        connect(button, &QAbstractButton::clicked, this, [this] { ButtonClicked(); });
    link_->Reset();
}

void TDBRadioGroup::SetValues(const QStringList &values)
{
    values_ = values;
    link_->Reset();
}

QString TDBRadioGroup::Value() const
{
    const int index = ItemIndex();
    if (index < 0)
        return {};
    return index < values_.size() ? values_[index] : Items().value(index);
}

void TDBRadioGroup::ButtonClicked()
{
    // The choice is written at once: a group's buttons, not the group, hold
    // the focus, so there is no leaving of the group to wait for.
    if (!loading_ && BeginChange())
        CommitOnExit();
}

void TDBRadioGroup::DataChange()
{
    const QString value = Field() ? Field()->Text() : QString();
    const QStringList &choices = values_.isEmpty() ? Items() : values_;
    SetItemIndex(Field() ? int(choices.indexOf(value)) : -1);
}

void TDBRadioGroup::UpdateData() { Field()->SetText(Value()); }

// ---- lookup combo ----

class TDBLookupComboBox::TListLink : public TDataLink {
public:
    explicit TListLink(TDBLookupComboBox *owner) : owner_(owner) {}

protected:
    void ActiveChanged() override { owner_->ListChanged(); }
    void DataSetChanged() override { owner_->ListChanged(); }
    void DataSetScrolled(int) override {}
    void LayoutChanged() override { owner_->ListChanged(); }
    void RecordChanged(TField *) override { owner_->ListChanged(); }

private:
    TDBLookupComboBox *owner_;
};

TDBLookupComboBox::TDBLookupComboBox(QWidget *parent, const QString &name)
    : QComboBox(parent), TControl(this), listLink_(std::make_unique<TListLink>(this)), ownKey_(Variant::Null())
{
    SetName(name);
    setEditable(false);
    setMaxVisibleItems(7);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!settingIndex_ && !filling_)
            Choose(index);
    });
}

TDBLookupComboBox::~TDBLookupComboBox()
{
    listLink_.reset();
    link_.reset();
}

TDataSource *TDBLookupComboBox::ListSource() const { return listLink_->DataSource(); }

void TDBLookupComboBox::SetListSource(TDataSource *source)
{
    listLink_->SetDataSource(source);
    ListChanged();
}

void TDBLookupComboBox::SetKeyField(const QString &name)
{
    keyField_ = name;
    ListChanged();
}

void TDBLookupComboBox::SetListField(const QString &name)
{
    listField_ = name;
    ListChanged();
}

void TDBLookupComboBox::ListChanged()
{
    if (filling_)
        return;
    listValid_ = false;
    if (!link_)
        return;
    ShowKey(KeyValue());
}

void TDBLookupComboBox::RefreshList()
{
    listValid_ = false;
    FillList();
}

void TDBLookupComboBox::FillList()
{
    if (listValid_ || filling_)
        return;
    TDataSet *ds = listLink_->Active() ? listLink_->DataSet() : nullptr;
    // Reading the list moves its dataset, so it waits while that is editing.
    if (ds && ds->State() != dsBrowse)
        return;
    TField *key = ds ? ds->FindField(keyField_) : nullptr;
    TField *list = ds ? ds->FindField(listField_) : nullptr;
    filling_ = true;
    clear();
    keys_.clear();
    if (key && list) {
        const TBookmark mark = ds->BookmarkAvailable() ? ds->Bookmark() : TBookmark();
        ds->DisableControls();
        try {
            for (ds->First(); !ds->Eof(); ds->Next()) {
                keys_.push_back(key->Value());
                addItem(list->DisplayText());
            }
            if (!mark.isEmpty() && ds->BookmarkValid(mark))
                ds->GotoBookmark(mark);
        } catch (...) {
            ds->EnableControls();
            filling_ = false;
            throw;
        }
        ds->EnableControls();
    }
    filling_ = false;
    listValid_ = true;
}

Variant TDBLookupComboBox::KeyValue() const
{
    if (Field())
        return Field()->Value();
    return ownKey_;
}

void TDBLookupComboBox::SetKeyValue(const Variant &key)
{
    ownKey_ = key;
    ShowKey(key);
}

void TDBLookupComboBox::ShowKey(const Variant &key)
{
    FillList();
    int index = -1;
    if (!VarIsClear(key))
        for (size_t i = 0; i < keys_.size(); ++i)
            if (keys_[i] == key) {
                index = int(i);
                break;
            }
    settingIndex_ = true;
    setCurrentIndex(index);
    settingIndex_ = false;
}

void TDBLookupComboBox::DataChange() { ShowKey(KeyValue()); }

void TDBLookupComboBox::EditingChange() {}

void TDBLookupComboBox::Choose(int index)
{
    if (loading_ || index < 0 || index >= int(keys_.size()))
        return;
    const Variant key = keys_[size_t(index)];
    if (TField *field = Field()) {
        if (!BeginChange()) {
            ShowKey(field->Value());
            return;
        }
        DispatchEvent([&] { field->SetValue(key); });
        link_->Modified();
        ShowKey(field->Value());
    } else {
        ownKey_ = key;
    }
    Fire(OnChange, this);
}

bool TDBLookupComboBox::Search(const QString &text)
{
    FillList();
    for (int i = 0; i < count(); ++i)
        if (itemText(i).startsWith(text, Qt::CaseInsensitive)) {
            if (i != currentIndex()) {
                settingIndex_ = true;
                setCurrentIndex(i);
                settingIndex_ = false;
                Choose(i);
            }
            return true;
        }
    return false;
}

void TDBLookupComboBox::keyPressEvent(QKeyEvent *event)
{
    const QString text = event->text();
    const bool printable = !text.isEmpty() && text[0].isPrint();
    if (!printable && event->key() != Qt::Key_Backspace) {
        if (event->key() == Qt::Key_Escape)
            searchText_.clear();
        QComboBox::keyPressEvent(event);
        return;
    }
    event->accept();
    if (Field() && !link_->CanModify())
        return;
    if (!searchTimer_.isValid() || searchTimer_.elapsed() > 2000)
        searchText_.clear();
    searchTimer_.start();
    if (event->key() == Qt::Key_Backspace) {
        searchText_.clear();
        return;
    }
    if (Search(searchText_ + text))
        searchText_ += text;
}

bool TDBLookupComboBox::ControlEvent(QEvent *event)
{
    if (event->type() == QEvent::FocusOut)
        searchText_.clear();
    return TControl::ControlEvent(event);
}

// ---- navigator ----

class TDBNavigator::TNavLink : public TDataLink {
public:
    explicit TNavLink(TDBNavigator *owner) : owner_(owner) {}

protected:
    void ActiveChanged() override { owner_->UpdateButtons(); }
    void DataSetChanged() override { owner_->UpdateButtons(); }
    void DataSetScrolled(int) override { owner_->UpdateButtons(); }
    void EditingChanged() override { owner_->UpdateButtons(); }
    void RecordChanged(TField *) override {}

private:
    TDBNavigator *owner_;
};

namespace {

// Button glyphs (as text) and hints, in TNavigateBtn order.
constexpr const char16_t *NavGlyphs[10] = {u"|◄", u"◄", u"►", u"►|", u"+", u"−", u"▲", u"✓", u"✗", u"↻"};
constexpr const char16_t *NavHints[10] = {u"Первая запись",     u"Предыдущая запись", u"Следующая запись",
                                          u"Последняя запись",  u"Вставить запись",   u"Удалить запись",
                                          u"Изменить запись",   u"Сохранить изменения",
                                          u"Отменить изменения", u"Обновить данные"};

// The question before a delete: "Удалить запись?" with OK and Cancel.
bool AskDeleteRecord()
{
    TForm box;
    box.SetName(QStringLiteral("DeleteQuestion"));
    box.SetCaption(Application().Title());
    box.SetBorderStyle(TFormBorderStyle::bsDialog);
    box.SetPosition(TPosition::poScreenCenter);
    auto *message = new TLabel(&box, QStringLiteral("Message"));
    message->SetCaption(QStringLiteral("Удалить запись?"));
    message->SetBounds(16, 16, 160, 20);
    auto *ok = new TButton(&box, QStringLiteral("OK"));
    ok->SetCaption(QStringLiteral("OK"));
    ok->SetModalResult(mrOk);
    ok->SetDefault(true);
    ok->SetBounds(16, 48, 75, 25);
    auto *cancel = new TButton(&box, QStringLiteral("Cancel"));
    cancel->SetCaption(QStringLiteral("Отмена"));
    cancel->SetModalResult(mrCancel);
    cancel->SetCancel(true);
    cancel->SetBounds(100, 48, 75, 25);
    box.SetClientWidth(192);
    box.SetClientHeight(86);
    return box.ShowModal() == mrOk;
}

} // namespace

TDBNavigator::TDBNavigator(QWidget *parent, const QString &name)
    : QWidget(parent), TControl(this), link_(std::make_unique<TNavLink>(this))
{
    SetName(name);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < 10; ++i) {
        auto *button = new QToolButton(this);
        button->setText(QString::fromUtf16(NavGlyphs[i]));
        button->setToolTip(QString::fromUtf16(NavHints[i]));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        connect(button, &QToolButton::clicked, this, [this, i] { BtnClick(TNavigateBtn(i)); });
        layout->addWidget(button);
        buttons_[i] = button;
    }
    SetVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh});
    SetBounds(0, 0, 240, 25);
}

TDBNavigator::~TDBNavigator() { link_.reset(); }

TDataSource *TDBNavigator::DataSource() const { return link_->DataSource(); }

void TDBNavigator::SetDataSource(TDataSource *source)
{
    link_->SetDataSource(source);
    UpdateButtons();
}

void TDBNavigator::SetVisibleButtons(TNavButtonSet buttons)
{
    visible_ = buttons;
    for (int i = 0; i < 10; ++i)
        buttons_[i]->setVisible(buttons.Contains(TNavigateBtn(i)));
    UpdateButtons();
}

bool TDBNavigator::ButtonEnabled(TNavigateBtn button) const { return buttons_[int(button)]->isEnabled(); }

void TDBNavigator::UpdateButtons()
{
    TDataSet *ds = link_->Active() ? link_->DataSet() : nullptr;
    const bool active = ds != nullptr;
    const bool editing = active && link_->Editing();
    const bool canModify = active && ds->CanModify() && !link_->ReadOnly();
    const bool up = active && !ds->Bof() && !editing;
    const bool down = active && !ds->Eof() && !editing;
    const bool enabled[10] = {up,
                              up,
                              down,
                              down,
                              canModify,
                              canModify && !(ds->Bof() && ds->Eof()),
                              canModify && !editing,
                              canModify && editing,
                              canModify && editing,
                              active && !editing};
    for (int i = 0; i < 10; ++i)
        buttons_[i]->setEnabled(enabled[i]);
}

void TDBNavigator::BtnClick(TNavigateBtn button)
{
    TDataSet *ds = link_->Active() ? link_->DataSet() : nullptr;
    if (!ds)
        return;
    DispatchEvent([&] {
        if (BeforeAction)
            BeforeAction(this, button);
        switch (button) {
        case nbFirst: ds->First(); break;
        case nbPrior: ds->Prior(); break;
        case nbNext: ds->Next(); break;
        case nbLast: ds->Last(); break;
        case nbInsert: ds->Insert(); break;
        case nbEdit: ds->Edit(); break;
        case nbPost: ds->Post(); break;
        case nbCancel: ds->Cancel(); break;
        case nbRefresh: ds->Refresh(); break;
        case nbDelete:
            if (confirmDelete_ && !AskDeleteRecord())
                return;
            ds->Delete();
            break;
        }
        if (OnNavClick)
            OnNavClick(this, button);
    });
}

} // namespace zorbel
