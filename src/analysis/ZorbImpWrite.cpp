// Step 3 of the import (see ZorbImpWrite.h).
#include "analysis/ZorbImpWrite.h"

#include "analysis/ZorbImpItems.h"
#include "analysis/ZorbImpPreview.h"
#include "core/ZorbDm.h"
#include "memtable/VemtMemTable.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Money.h"

namespace zorbel {

namespace {

QString F(const char *name) { return QString::fromLatin1(name); }

// Cancels a pending insert or edit of a table.
void Settle(TDataSet &table)
{
    if (table.State() == dsInsert || table.State() == dsEdit)
        table.Cancel();
}

class TImportWriter {
public:
    TImportWriter(TDm &dm, TVemtMemTable &tab) : dm_(dm), tab_(tab), catalog_(TImportCatalog::FromDataModule(dm)) {}

    TImportWriteResult Run(const std::function<void(int)> &progress);

private:
    // The person or firm id of a preview value: LevelEmpty, an id, or
    // LevelUnknown (looked up again, then created).
    int Reference(TField *value, const QString &name, TTable &table, const char *nameField, const char *idField,
                  bool person);
    // The category id of a level value; LevelEmpty when a new category could
    // not be created. lev is the depth, parent the level above (or LevelEmpty).
    int Level(TField *value, const QString &name, int lev, int parent, bool income);
    // Gives an existing category of the other kind both kinds.
    void WidenItemKind(const TImportItem &item, bool income);
    bool WriteOperation(int person, int firm, const int (&levels)[3]);

    TDm &dm_;
    TVemtMemTable &tab_;
    TImportCatalog catalog_;
    TImportWriteResult result_;
};

int TImportWriter::Reference(TField *value, const QString &name, TTable &table, const char *nameField,
                             const char *idField, bool person)
{
    if (value->IsNull())
        return LevelEmpty;
    int id = value->AsInteger();
    if (id == LevelUnknown && !name.isEmpty()) {
        id = person ? catalog_.FindPerson(name) : catalog_.FindFirm(name);
        if (id == LevelUnknown) {
            try {
                table.Insert();
                table.FieldByName(F(nameField))->SetAsString(name);
                table.Post();
            } catch (const Exception &) {
                Settle(table);
            }
            if (table.FieldByName(F(nameField))->AsString() == name) {
                id = table.FieldByName(F(idField))->AsInteger();
                person ? catalog_.AddPerson(id, name) : catalog_.AddFirm(id, name);
            }
        }
    }
    return id < 0 ? LevelEmpty : id;
}

void TImportWriter::WidenItemKind(const TImportItem &item, bool income)
{
    const QChar refused = income ? u'-' : u'+';
    if (item.C != refused)
        return;
    TTable &items = dm_.Tb_Items;
    try {
        if (!items.FindKey({Variant(item.Id)}))
            return;
        items.Edit();
        items.FieldByName(F("C"))->SetAsString(QStringLiteral("0"));
        items.Post();
        catalog_.SetItemKind(item.Id, u'0');
    } catch (const Exception &) {
        Settle(items);
    }
}

int TImportWriter::Level(TField *value, const QString &name, int lev, int parent, bool income)
{
    if (value->IsNull())
        return LevelEmpty;
    const int id = value->AsInteger();
    if (id != LevelUnknown)
        return id;
    if (name.isEmpty() || (lev > 0 && parent < 0))
        return LevelEmpty;
    if (const TImportItem *found = catalog_.FindItemAt(name, lev, parent)) {
        WidenItemKind(*found, income);
        return found->Id;
    }
    TTable &items = dm_.Tb_Items;
    result_.CategoriesCreated = true;
    try {
        items.Insert();
        items.FieldByName(F("ITM"))->SetAsString(name);
        items.FieldByName(F("LEV"))->SetAsInteger(lev);
        if (lev > 0)
            items.FieldByName(F("ID_REF"))->SetAsInteger(parent);
        items.FieldByName(F("C"))->SetAsString(income ? QStringLiteral("+") : QStringLiteral("-"));
        items.Post();
    } catch (const Exception &) {
        Settle(items);
        return LevelEmpty;
    }
    TImportItem item;
    item.Id = items.FieldByName(F("ID_ITM"))->AsInteger();
    item.Ref = lev > 0 ? parent : LevelEmpty;
    item.Lev = lev;
    item.C = income ? u'+' : u'-';
    item.Name = items.FieldByName(F("ITM"))->AsString();
    catalog_.AddItem(item);
    return item.Id;
}

bool TImportWriter::WriteOperation(int person, int firm, const int (&levels)[3])
{
    TTable &hist = dm_.Tb_Hist;
    const TDateTime date = tab_.FieldByName(F("Date_Real"))->AsDateTime();
    int year = 0, month = 0, day = 0;
    DecodeDate(date, year, month, day);
    const double ct = tab_.FieldByName(F("Ct"))->AsFloat();
    const double dt = tab_.FieldByName(F("Dt"))->AsFloat();
    try {
        hist.Insert();
        hist.FieldByName(F("Date_Real"))->SetAsDateTime(date);
        hist.FieldByName(F("Yr"))->SetAsInteger(year);
        hist.FieldByName(F("Mn"))->SetAsInteger(month);
        hist.FieldByName(F("Kind"))->SetAsString(QStringLiteral("1"));
        for (const char *name : {"Qdt", "Qct", "Price", "Rate", "Comment"})
            hist.FieldByName(F(name))->AssignValue(*tab_.FieldByName(F(name)));
        if (ct != 0)
            hist.FieldByName(F("Ct"))->SetAsFloat(ct);
        if (dt != 0)
            hist.FieldByName(F("Dt"))->SetAsFloat(dt);
        const auto set = [&](const char *name, int value) {
            TField *field = hist.FieldByName(F(name));
            if (value == LevelEmpty)
                field->Clear();
            else
                field->SetAsInteger(value);
        };
        set("ID_Person", person);
        set("ID_Firm", firm);
        set("Level1", levels[0]);
        set("Level2", levels[1]);
        set("Level3", levels[2]);
        hist.Post();
    } catch (const Exception &) {
        Settle(hist);
        return false;
    }
    if (ct != 0)
        result_.ExpenseUnits += MoneyToUnits(ct);
    if (dt != 0)
        result_.IncomeUnits += MoneyToUnits(dt);
    return true;
}

TImportWriteResult TImportWriter::Run(const std::function<void(int)> &progress)
{
    TField *levelField[3] = {tab_.FieldByName(F("Level1")), tab_.FieldByName(F("Level2")),
                             tab_.FieldByName(F("Level3"))};
    TField *itm[3] = {tab_.FieldByName(F("Itm1")), tab_.FieldByName(F("Itm2")), tab_.FieldByName(F("Itm3"))};
    for (tab_.First(); !tab_.Eof(); tab_.Next()) {
        if (!ImportableRow(tab_))
            continue;
        const bool income = tab_.FieldByName(F("Ct"))->AsFloat() == 0;
        const int person = Reference(tab_.FieldByName(F("ID_Person")), tab_.FieldByName(F("Pers"))->AsString(),
                                     dm_.Tb_Person, "Name", "Id_Person", true);
        const int firm = Reference(tab_.FieldByName(F("ID_Firm")), tab_.FieldByName(F("Firm"))->AsString(),
                                   dm_.Tb_Firm, "Firm", "Id_Firm", false);
        int levels[3] = {LevelEmpty, LevelEmpty, LevelEmpty};
        bool whole = true; // every named level has its category
        for (int k = 0; k < 3 && whole; ++k) {
            levels[k] = Level(levelField[k], itm[k]->AsString(), k, k > 0 ? levels[k - 1] : LevelEmpty, income);
            whole = levels[k] != LevelEmpty || levelField[k]->IsNull();
        }
        if (!whole || !WriteOperation(person, firm, levels)) {
            ++result_.Failed;
            continue;
        }
        ++result_.Written;
        if (progress)
            progress(result_.Written);
    }
    tab_.First();
    if (result_.BalanceChange() != 0) {
        TTable &account = dm_.Tb_Account;
        account.Edit();
        TField *rest = account.FieldByName(F("Rest"));
        rest->SetAsFloat(UnitsToMoney(MoneyToUnits(rest->AsFloat()) + result_.BalanceChange()));
        account.Post();
    }
    return result_;
}

} // namespace

TImportWriteResult WriteImport(TDm &dm, TVemtMemTable &tab, const std::function<void(int)> &progress)
{
    if (!dm.Tb_Account.Active() || dm.Tb_Account.IsEmpty() || !dm.Tb_Hist.Active())
        throw Exception(QStringLiteral("Нет текущего счёта: импортировать некуда."));
    TTable *tables[] = {&dm.Tb_Hist, &dm.Tb_Items, &dm.Tb_Person, &dm.Tb_Firm, &dm.Tb_Account};
    for (TTable *table : tables)
        table->CheckBrowseMode();
    TSqliteDb &db = dm.Db.Db();
    TImportWriter writer(dm, tab);
    tab.DisableControls();
    dm.Tb_Hist.DisableControls();
    const auto enable = [&] {
        dm.Tb_Hist.EnableControls();
        tab.EnableControls();
    };
    db.Exec(QStringLiteral("BEGIN"));
    try {
        const TImportWriteResult result = writer.Run(progress);
        db.Exec(QStringLiteral("COMMIT"));
        enable();
        return result;
    } catch (...) {
        for (TTable *table : tables)
            Settle(*table);
        dm.Db.ReleaseStatements();
        try {
            db.Exec(QStringLiteral("ROLLBACK"));
        } catch (const Exception &) {
            // SQLite already rolled the transaction back itself.
        }
        for (TTable *table : tables)
            table->Refresh();
        tab.First();
        enable();
        throw;
    }
}

} // namespace zorbel
