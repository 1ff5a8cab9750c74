// Editing in place in the data grid: which cells may be edited, opening and
// closing the editor, and writing its text into the field (a lookup column
// writes the key of the chosen value).
#include "platform/widgets/DBGridsView.h"

namespace zorbel {

bool TDBGrid::CanEditColumn(TColumn *column) const
{
    if (!column || readOnly_ || !options_.Contains(dgEditing) || column->ReadOnly() || !link_->Active())
        return false;
    TField *field = column->Field();
    if (!field || link_->ReadOnly())
        return false;
    if (field->Lookup()) {
        // A lookup column edits its key field.
        TField *key = field->LookupDataSet() ? link_->DataSet()->FindField(field->KeyFields()) : nullptr;
        return key && !field->ReadOnly() && key->CanModify();
    }
    return field->CanModify();
}

bool TDBGrid::EditorMode() const { return editor_ != nullptr; }

void TDBGrid::SetEditorMode(bool on)
{
    if (!on) {
        CloseEditor(true);
        return;
    }
    if (editor_ || !CanEditColumn(ShownColumn(ViewColumnOf(selectedIndex_))))
        return;
    UpdateCurrent();
    if (!view_->currentIndex().isValid())
        return;
    editorFromKey_ = false;
    view_->edit(view_->currentIndex());
    if (editor_)
        editor_->setFocus(Qt::OtherFocusReason);
}

void TDBGrid::CloseEditor(bool accept)
{
    if (QWidget *editor = editor_) {
        // The grid keeps the focus its editor had, and takes none it had not.
        const bool hadFocus = editor->hasFocus();
        static_cast<TGridView *>(view_)->CommitAndClose(editor, accept);
        editor_ = nullptr;
        if (hadFocus)
            view_->setFocus(Qt::OtherFocusReason);
    }
}

void TDBGrid::WriteEditor(const QString &text)
{
    TColumn *column = ShownColumn(ViewColumnOf(selectedIndex_));
    TField *field = column ? column->Field() : nullptr;
    if (!field)
        return;
    DispatchEvent([&] {
        if (field->Lookup()) {
            if (text == field->DisplayText())
                return;
            TDataSet *ds = link_->DataSet();
            const Variant key = field->LookupDataSet()->Lookup(field->LookupResultField(), text,
                                                               field->LookupKeyFields());
            if (!link_->Edit())
                return;
            ds->FieldByName(field->KeyFields())->SetValue(key);
            return;
        }
        if (text == field->Text())
            return;
        if (!link_->Edit())
            return;
        field->SetText(text);
    });
}

} // namespace zorbel
