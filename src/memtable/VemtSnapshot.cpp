// A dataset copied into a memory table (see VemtSnapshot.h).
#include "memtable/VemtSnapshot.h"

#include "platform/dataset/DataSet.h"
#include "platform/dataset/Fields.h"

#include <vector>

namespace zorbel {

void SnapshotDataSet(TDataSet &Source, TVemtMemTable &Target)
{
    Target.Close();
    Target.FieldDefs().Clear();
    std::vector<TField *> from;
    for (int i = 0; i < Source.FieldCount(); ++i) {
        TField *f = Source.Fields()[i];
        Target.FieldDefs().Add(f->FieldName(), f->DataType(), f->Size());
        from.push_back(f);
    }
    Target.Open();
    std::vector<TField *> to;
    for (TField *f : from) {
        TField *t = Target.FieldByName(f->FieldName());
        t->SetDisplayLabel(f->DisplayLabel());
        t->SetDisplayWidth(f->DisplayWidth());
        t->SetDisplayFormat(f->DisplayFormat());
        t->SetEditFormat(f->EditFormat());
        t->SetAlignment(f->Alignment());
        t->SetVisible(f->Visible());
        if (auto *sf = dynamic_cast<TFloatField *>(f))
            if (auto *tf = dynamic_cast<TFloatField *>(t)) {
                tf->SetCurrency(sf->Currency());
                tf->SetPrecision(sf->Precision());
            }
        to.push_back(t);
    }
    try {
        TControlsOff quiet(Source);
        const TBookmark kept = Source.GetBookmark();
        TControlsOff filling(Target);
        for (Source.First(); !Source.Eof(); Source.Next()) {
            Target.Append();
            for (size_t i = 0; i < from.size(); ++i)
                to[i]->SetAsVariant(from[i]->AsVariant());
            Target.Post();
        }
        try {
            Source.GotoBookmark(kept);
        } catch (const Exception &) {
            // The record went away meanwhile: Source stays where the walk ended.
        }
    } catch (...) {
        Target.Close();
        throw;
    }
    Target.First();
}

} // namespace zorbel
