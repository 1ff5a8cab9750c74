// Standard controls.
#include "platform/widgets/StdCtrls.h"

#include "platform/rtl/Collation.h"
#include "platform/rtl/Exceptions.h"

#include <QAbstractItemModel>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

namespace zorbel {

namespace {

// Gives a control its Name at construction.
template <class T> void Init(T *control, const QString &name)
{
    if (!name.isEmpty())
        control->SetName(name);
}

// Sets the background colour of an input control (its base role).
void SetBaseColor(QWidget *widget, TColor color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, ColorToQColor(color));
    widget->setPalette(palette);
}

} // namespace

// ---- item lists ----

int TItems::Count() const { return model_->rowCount(); }

QString TItems::Strings(int index) const { return model_->index(index, 0).data(Qt::DisplayRole).toString(); }

void TItems::SetStrings(int index, const QString &text) { model_->setData(model_->index(index, 0), text, Qt::DisplayRole); }

std::int64_t TItems::Objects(int index) const
{
    return std::int64_t(model_->index(index, 0).data(Qt::UserRole).toLongLong());
}

void TItems::SetObjects(int index, std::int64_t object)
{
    model_->setData(model_->index(index, 0), qlonglong(object), Qt::UserRole);
}

int TItems::Add(const QString &text, std::int64_t object)
{
    const int index = Count();
    Insert(index, text, object);
    return index;
}

void TItems::Insert(int index, const QString &text, std::int64_t object)
{
    if (index < 0 || index > Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    model_->insertRow(index);
    SetStrings(index, text);
    SetObjects(index, object);
}

void TItems::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    model_->removeRow(index);
}

void TItems::Clear() { model_->removeRows(0, Count()); }

int TItems::IndexOf(const QString &text) const
{
    for (int i = 0; i < Count(); ++i)
        if (CompareRussian(Strings(i), text, true) == 0)
            return i;
    return -1;
}

int TItems::IndexOfObject(std::int64_t object) const
{
    for (int i = 0; i < Count(); ++i)
        if (Objects(i) == object)
            return i;
    return -1;
}

QStringList TItems::ToStringList() const
{
    QStringList list;
    for (int i = 0; i < Count(); ++i)
        list << Strings(i);
    return list;
}

void TItems::Assign(const TStringList &list)
{
    Clear();
    for (int i = 0; i < list.Count(); ++i)
        Add(list.Strings(i), list.Objects(i));
}

QString TItems::Text() const
{
    QString text;
    for (int i = 0; i < Count(); ++i)
        text += Strings(i) + QStringLiteral("\r\n");
    return text;
}

void TItems::Assign(const QStringList &texts)
{
    Clear();
    for (const QString &t : texts)
        Add(t);
}

// ---- label ----

TLabel::TLabel(QWidget *parent, const QString &name) : QLabel(parent), TControl(this)
{
    Init(this, name);
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TLabel::SetCaption(const QString &caption)
{
    // '&' marks the accelerator letter in the program's captions; "&&" is one
    // '&'. CR LF, CR and LF each break the line.
    QString shown;
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) {
            ++i;
            if (caption[i] == QLatin1Char('&')) {
                shown += QLatin1Char('&');
                continue;
            }
        }
        if (caption[i] == QLatin1Char('\r')) {
            shown += QLatin1Char('\n');
            if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('\n'))
                ++i;
            continue;
        }
        shown += caption[i];
    }
    setText(shown);
    Fit();
}

void TLabel::SetAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    Fit();
}

void TLabel::Fit()
{
    if (!autoSize_)
        return;
    if (wordWrap())
        resize(width(), heightForWidth(width()));
    else
        resize(sizeHint());
}

void TLabel::SetAlignment(TAlignment alignment)
{
    const Qt::Alignment vertical = this->alignment() & Qt::AlignVertical_Mask;
    setAlignment(vertical | (alignment == TAlignment::taCenter       ? Qt::AlignHCenter
                             : alignment == TAlignment::taRightJustify ? Qt::AlignRight
                                                                      : Qt::AlignLeft));
}

void TLabel::SetLayout(TTextLayout layout)
{
    const Qt::Alignment horizontal = alignment() & Qt::AlignHorizontal_Mask;
    setAlignment(horizontal | (layout == TTextLayout::tlCenter   ? Qt::AlignVCenter
                               : layout == TTextLayout::tlBottom ? Qt::AlignBottom
                                                                 : Qt::AlignTop));
}

void TLabel::SetTransparent(bool transparent) { setAutoFillBackground(!transparent); }

void TLabel::SetColor(TColor color) { TControl::SetColor(color); }

bool TLabel::ControlEvent(QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::LeftButton && rect().contains(me->position().toPoint()))
            Click();
    }
    return TControl::ControlEvent(event);
}

// ---- button ----

TButton::TButton(QWidget *parent, const QString &name) : QPushButton(parent), TControl(this)
{
    Init(this, name);
    setAutoDefault(false);
    // One dispatch for the whole click, so a modal form ends only after
    // OnClick had its chance to clear ModalResult again.
    connect(this, &QPushButton::clicked, this, [this] {
        DispatchEvent([this] {
            SetParentModalResult(this, modalResult_);
            if (OnClick)
                OnClick(this);
        });
    });
}

void TButton::SetDefault(bool value)
{
    default_ = value;
    setDefault(value);
}

void TButton::Click() { click(); }

// ---- edit ----

TEdit::TEdit(QWidget *parent, const QString &name) : QLineEdit(parent), TControl(this)
{
    Init(this, name);
    connect(this, &QLineEdit::textChanged, this, [this] { Fire(OnChange, this); });
}

void TEdit::SetText(const QString &text) { setText(text); }

int TEdit::SelStart() const { return hasSelectedText() ? selectionStart() : cursorPosition(); }

void TEdit::SetColor(TColor color)
{
    SetBaseColor(this, color);
    TControl::SetColor(color);
}

// ---- memo ----

TMemo::TMemo(QWidget *parent, const QString &name) : QPlainTextEdit(parent), TControl(this)
{
    Init(this, name);
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(this, &QPlainTextEdit::textChanged, this, [this] { Fire(OnChange, this); });
}

void TMemo::SetText(const QString &text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    setPlainText(t);
}

QStringList TMemo::Lines() const
{
    if (toPlainText().isEmpty())
        return {};
    return toPlainText().split(QLatin1Char('\n'));
}

void TMemo::SetScrollBars(TScrollStyle style)
{
    const bool v = style == TScrollStyle::ssVertical || style == TScrollStyle::ssBoth;
    const bool h = style == TScrollStyle::ssHorizontal || style == TScrollStyle::ssBoth;
    setVerticalScrollBarPolicy(v ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void TMemo::SetColor(TColor color)
{
    SetBaseColor(this, color);
    TControl::SetColor(color);
}

// ---- check box, radio button, group box ----

TCheckBox::TCheckBox(QWidget *parent, const QString &name) : QCheckBox(parent), TControl(this)
{
    Init(this, name);
    connect(this, &QCheckBox::toggled, this, [this] { Fire(OnClick, this); });
}

// Check boxes and radio buttons fill their background with the Button role
// (Qt's default for buttons), which the styles draw in the window colour; the
// control's own colour goes into the Window role, so that role fills it.
void TCheckBox::SetColor(TColor color)
{
    TControl::SetColor(color);
    setBackgroundRole(QPalette::Window);
}

void TRadioButton::SetColor(TColor color)
{
    TControl::SetColor(color);
    setBackgroundRole(QPalette::Window);
}

TRadioButton::TRadioButton(QWidget *parent, const QString &name) : QRadioButton(parent), TControl(this)
{
    Init(this, name);
    connect(this, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Fire(OnClick, this);
    });
}

TGroupBox::TGroupBox(QWidget *parent, const QString &name) : QGroupBox(parent), TControl(this)
{
    Init(this, name);
}

// ---- radio group ----

TRadioGroup::TRadioGroup(QWidget *parent, const QString &name) : QGroupBox(parent), TControl(this)
{
    Init(this, name);
}

void TRadioGroup::SetItems(const QStringList &items)
{
    items_ = items;
    Rebuild();
}

void TRadioGroup::SetColumns(int columns)
{
    columns_ = std::max(1, columns);
    Arrange();
}

void TRadioGroup::Rebuild()
{
    qDeleteAll(buttons_);
    buttons_.clear();
    for (int i = 0; i < items_.size(); ++i) {
        auto *button = new QRadioButton(items_[i], this);
        button->setChecked(i == itemIndex_);
        connect(button, &QRadioButton::clicked, this, [this, i] { SetItemIndex(i); });
        button->show();
        buttons_ << button;
    }
    if (itemIndex_ >= items_.size())
        itemIndex_ = -1;
    Arrange();
}

void TRadioGroup::Arrange()
{
    if (buttons_.isEmpty())
        return;
    const QRect r = contentsRect().adjusted(8, fontMetrics().height(), -4, -4);
    const int rows = (int(buttons_.size()) + columns_ - 1) / columns_;
    const int w = r.width() / columns_, h = std::max(1, r.height() / rows);
    for (int i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setGeometry(r.left() + (i / rows) * w, r.top() + (i % rows) * h, w, std::min(h, buttons_[i]->sizeHint().height() + 4));
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index < -1 || index >= items_.size())
        index = -1;
    const bool changed = index != itemIndex_;
    itemIndex_ = index;
    for (int i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->setAutoExclusive(false);
        buttons_[i]->setChecked(i == index);
        buttons_[i]->setAutoExclusive(true);
    }
    if (changed)
        Fire(OnClick, this);
}

bool TRadioGroup::ControlEvent(QEvent *event)
{
    if (event->type() == QEvent::Resize)
        Arrange();
    return TControl::ControlEvent(event);
}

// ---- combo box ----

TComboBox::TComboBox(QWidget *parent, const QString &name)
    : QComboBox(parent), TControl(this), items_(model())
{
    Init(this, name);
    setEditable(true);
    setInsertPolicy(NoInsert);
    connect(this, qOverload<int>(&QComboBox::activated), this, [this] {
        Fire(OnClick, this);
        Fire(OnChange, this);
    });
    connect(this, &QComboBox::editTextChanged, this, [this] {
        if (lineEdit() && lineEdit()->hasFocus())
            Fire(OnChange, this);
    });
}

void TComboBox::SetStyle(TComboBoxStyle style)
{
    const QString text = currentText();
    setEditable(style == TComboBoxStyle::csDropDown);
    if (isEditable())
        setEditText(text);
}

void TComboBox::SetItemIndex(int index)
{
    setCurrentIndex(index >= -1 && index < count() ? index : -1);
}

void TComboBox::SetText(const QString &text)
{
    if (isEditable()) {
        const int index = findText(text, Qt::MatchFixedString);
        if (index >= 0)
            setCurrentIndex(index);
        setEditText(text);
    } else {
        setCurrentIndex(findText(text, Qt::MatchFixedString));
    }
}

void TComboBox::SetMaxLength(int length)
{
    if (lineEdit())
        lineEdit()->setMaxLength(length <= 0 ? 32767 : length);
}

void TComboBox::SetColor(TColor color)
{
    SetBaseColor(this, color);
    TControl::SetColor(color);
}

void TComboBox::showPopup()
{
    Fire(OnDropDown, this);
    QComboBox::showPopup();
}

// ---- list box ----

// Paints an owner-drawn list item through OnDrawItem.
class TListBoxDelegate : public QStyledItemDelegate {
public:
    explicit TListBoxDelegate(TListBox *list) : QStyledItemDelegate(list), list_(list) {}
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (list_->style_ != TListBoxStyle::lbOwnerDrawFixed || !list_->OnDrawItem) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        TOwnerDrawState state = 0;
        if (option.state & QStyle::State_Selected) state |= odSelected;
        if (option.state & QStyle::State_HasFocus) state |= odFocused;
        if (!(option.state & QStyle::State_Enabled)) state |= odDisabled;
        TCanvas &canvas = list_->canvas_;
        canvas.Font = list_->font();
        const bool selected = state & odSelected;
        canvas.Brush.Color = selected ? clHighlight : (list_->Color() == clDefault ? clWindow : list_->Color());
        canvas.Brush.Style = TBrushStyle::bsSolid;
        canvas.FontColor = selected ? clHighlightText : clWindowText;
        canvas.Begin(painter);
        painter->save();
        DispatchEvent([&] { list_->OnDrawItem(list_, index.row(), option.rect, state); });
        painter->restore();
        canvas.Begin(nullptr);
    }

private:
    TListBox *list_;
};

TListBox::TListBox(QWidget *parent, const QString &name) : QListWidget(parent), TControl(this), items_(model())
{
    Init(this, name);
    setItemDelegate(new TListBoxDelegate(this));
    connect(this, &QListWidget::currentRowChanged, this, [this] {
        if (!settingIndex_)
            Fire(OnClick, this);
    });
}

void TListBox::SetItemIndex(int index)
{
    settingIndex_ = true;
    setCurrentRow(index >= 0 && index < count() ? index : -1);
    settingIndex_ = false;
}

bool TListBox::Selected(int index) const
{
    const QListWidgetItem *i = item(index);
    return i && i->isSelected();
}

void TListBox::SetSelected(int index, bool selected)
{
    if (QListWidgetItem *i = item(index))
        i->setSelected(selected);
}

void TListBox::SetMultiSelect(bool multi) { setSelectionMode(multi ? ExtendedSelection : SingleSelection); }

void TListBox::SetColor(TColor color)
{
    SetBaseColor(this, color);
    TControl::SetColor(color);
}

int TListBox::ItemAtPos(QPoint pos) const
{
    const QModelIndex index = indexAt(pos);
    return index.isValid() ? index.row() : -1;
}

TCheckListBox::TCheckListBox(QWidget *parent, const QString &name) : TListBox(parent, name)
{
    connect(model(), &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        settingCheck_ = true;
        for (int i = first; i <= last; ++i)
            if (QListWidgetItem *it = item(i)) {
                it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
                it->setCheckState(Qt::Unchecked);
            }
        settingCheck_ = false;
    });
    connect(model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &, const QModelIndex &, const QList<int> &roles) {
                if (!settingCheck_ && roles.contains(Qt::CheckStateRole))
                    Fire(OnClickCheck, this);
            });
}

bool TCheckListBox::Checked(int index) const
{
    const QListWidgetItem *i = item(index);
    return i && i->checkState() == Qt::Checked;
}

void TCheckListBox::SetChecked(int index, bool checked)
{
    if (QListWidgetItem *i = item(index)) {
        settingCheck_ = true;
        i->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        settingCheck_ = false;
    }
}

// ---- scroll bar ----

TScrollBar::TScrollBar(QWidget *parent, const QString &name) : QScrollBar(Qt::Horizontal, parent), TControl(this)
{
    Init(this, name);
    connect(this, &QScrollBar::valueChanged, this, [this] { Fire(OnChange, this); });
}

} // namespace zorbel
