// The grid's columns: a column's own settings with the field's as defaults,
// the column set (default or customised), and the remembered column layouts
// the windows store as text.
#include "platform/widgets/DBGrids.h"

#include <QHeaderView>
#include <algorithm>

namespace zorbel {

void TColumn::SetFieldName(const QString &name)
{
    fieldName_ = name;
    Changed(true);
}

TField *TColumn::Field() const
{
    TDataSet *ds = grid_->DataLink().DataSet();
    return ds && !fieldName_.isEmpty() ? ds->FindField(fieldName_) : nullptr;
}

int TColumn::Index() const { return grid_->Columns().IndexOf(this); }

QString TColumn::TitleCaption() const
{
    if (!title_.Caption.isEmpty())
        return title_.Caption;
    TField *field = Field();
    return field ? field->DisplayLabel() : fieldName_;
}

void TColumn::SetTitleCaption(const QString &caption)
{
    title_.Caption = caption;
    Changed(false);
}

void TColumn::SetTitleColor(TColor color)
{
    title_.Color = color;
    Changed(false);
}

void TColumn::SetTitleFontColor(TColor color)
{
    title_.FontColor = color;
    Changed(false);
}

int TColumn::Width() const { return std::max({OwnWidth(), figureWidth_, grid_->TitleNeed(this)}); }

void TColumn::SetWidth(int width)
{
    width_ = width;
    grid_->ApplyColumnWidths();
}

int TColumn::DefaultWidth() const
{
    TField *field = Field();
    if (!field)
        return 64;
    const QFontMetrics cells(grid_->View()->font()), titles(grid_->TitleFont());
    return std::max(field->DisplayWidth() * cells.horizontalAdvance(QLatin1Char('0')) + 4,
                    titles.horizontalAdvance(TitleCaption()) + 4);
}

void TColumn::SetVisible(bool visible)
{
    visible_ = visible;
    Changed(true);
}

TAlignment TColumn::Alignment() const
{
    if (alignmentSet_)
        return alignment_;
    TField *field = Field();
    return field ? field->Alignment() : taLeftJustify;
}

void TColumn::SetAlignment(TAlignment alignment)
{
    alignment_ = alignment;
    alignmentSet_ = true;
    Changed(false);
}

void TColumn::SetColor(TColor color)
{
    color_ = color;
    Changed(false);
}

void TColumn::SetFontColor(TColor color)
{
    fontColor_ = color;
    Changed(false);
}

void TColumn::Changed(bool layout)
{
    if (grid_->updating_)
        return;
    if (layout)
        grid_->LayoutChanged();
    else {
        grid_->View()->viewport()->update();
        grid_->View()->horizontalHeader()->viewport()->update();
    }
}

TColumn *TDBGridColumns::Add()
{
    if (state_ == TDBGridColumnsState::csDefault) {
        items_.clear();
        state_ = TDBGridColumnsState::csCustomized;
    }
    items_.push_back(std::make_unique<TColumn>(grid_));
    grid_->LayoutChanged();
    return items_.back().get();
}

void TDBGridColumns::Clear()
{
    items_.clear();
    state_ = TDBGridColumnsState::csDefault;
    grid_->LayoutChanged();
}

void TDBGridColumns::Delete(int index)
{
    items_.erase(items_.begin() + index);
    grid_->LayoutChanged();
}

void TDBGridColumns::Move(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= Count() || to >= Count())
        return;
    // A moved default column makes the set the grid's own.
    state_ = TDBGridColumnsState::csCustomized;
    auto column = std::move(items_[size_t(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(column));
    grid_->LayoutChanged();
}

void TDBGridColumns::RebuildColumns() { Clear(); }

int TDBGridColumns::IndexOf(const TColumn *column) const
{
    for (int i = 0; i < Count(); ++i)
        if (items_[size_t(i)].get() == column)
            return i;
    return -1;
}

void TDBGridColumns::BuildDefault()
{
    items_.clear();
    TDataSet *ds = grid_->DataLink().DataSet();
    if (!ds || !grid_->DataLink().Active())
        return;
    const QFontMetrics cells(grid_->View()->font()), titles(grid_->TitleFont());
    for (int i = 0; i < ds->FieldCount(); ++i) {
        TField *field = ds->Fields()[i];
        if (!field->Visible())
            continue;
        auto column = std::make_unique<TColumn>(grid_);
        column->fieldName_ = field->FieldName();
        column->width_ = std::max(field->DisplayWidth() * cells.horizontalAdvance(QLatin1Char('0')) + 4,
                                  titles.horizontalAdvance(field->DisplayLabel()) + 4);
        items_.push_back(std::move(column));
    }
}

// ---- column layout ----

void ApplyColumnLayout(TDBGrid *grid, bool apply, QString &layout)
{
    TDataSet *ds = grid && grid->DataSource() ? grid->DataSource()->DataSet() : nullptr;
    if (!grid || !ds)
        return;
    TDBGridColumns &columns = grid->Columns();
    if (!apply) {
        if (columns.Count() <= 1) {
            // Too few columns to describe a layout: the grid takes one column
            // per visible field first.
            columns.Clear();
            for (int i = 0; i < ds->FieldCount(); ++i) {
                TField *field = ds->Fields()[i];
                if (!field->Visible())
                    continue;
                const QFontMetrics metrics(grid->View()->font());
                TColumn *column = columns.Add();
                column->SetFieldName(field->FieldName());
                column->SetWidth(std::max(field->DisplayWidth() * metrics.horizontalAdvance(QLatin1Char('0')) + 4,
                                          metrics.horizontalAdvance(field->DisplayLabel()) + 4));
            }
        }
        if (columns.Count() > 1) {
            QStringList lines;
            for (int i = 0; i < columns.Count(); ++i)
                // The own width: a width only a figure at this font needed
                // would stay too wide at a smaller one.
                if (columns[i]->OwnWidth() > 0)
                    lines << columns[i]->FieldName() + QLatin1Char('=') + QString::number(columns[i]->OwnWidth());
            layout = lines.join(QStringLiteral("\r\n"));
        }
        return;
    }
    if (layout.isEmpty())
        return;
    QList<std::pair<QString, int>> lines;
    for (const QString &raw : layout.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        const int eq = line.indexOf(QLatin1Char('='));
        if (line.isEmpty())
            continue;
        bool ok = false;
        const int width = eq < 0 ? 0 : line.mid(eq + 1).trimmed().toInt(&ok);
        lines.append({eq < 0 ? line : line.left(eq).trimmed(), ok ? width : 0});
    }
    auto widthOf = [&lines](const QString &name) {
        for (const auto &[field, width] : lines)
            if (field.compare(name, Qt::CaseInsensitive) == 0)
                return width;
        return 0;
    };
    for (int i = 0; i < ds->FieldCount(); ++i)
        if (ds->Fields()[i]->Visible() && widthOf(ds->Fields()[i]->FieldName()) <= 0)
            return;
    columns.Clear();
    for (const auto &[name, width] : lines) {
        TField *field = ds->FindField(name);
        if (!field) {
            columns.Clear();
            return;
        }
        TColumn *column = columns.Add();
        column->SetFieldName(field->FieldName());
        column->SetWidth(width > 0 ? width : 20);
        switch (FieldEntryOf(field->DataType())) {
        case TFieldEntry::fePicked: column->SetButtonStyle(TColumnButtonStyle::cbsEllipsis); break;
        case TFieldEntry::feStamped: column->SetReadOnly(true); break;
        case TFieldEntry::feTyped: break;
        }
    }
}

} // namespace zorbel
