// Step 3 of the import (see ZorbImpWrite.h).
#include "analysis/ZorbImpWrite.h"

#include "analysis/ZorbImpItems.h"
#include "analysis/ZorbImpPreview.h"
#include "platform/sqltable/Database.h"
#include "core/ZorbBound.h"
#include "core/ZorbDm.h"
#include "memtable/VemtMemTable.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Money.h"
#include "platform/sqltable/SqlSchema.h"
#include "platform/sqltable/Sqlite.h"

#include <memory>

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
    // Operations go in through one prepared statement of the table's
    // columns: a table post per row would re-read the ledger each time.
    void PrepareOperations();
    bool WriteOperation(int person, int firm, const int (&levels)[3]);

    TDm &dm_;
    TVemtMemTable &tab_;
    TImportCatalog catalog_;
    TImportWriteResult result_;
    TTableDef histDef_;
    std::unique_ptr<TSqliteStatement> insert_;
    Variant account_; // the current account
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

void TImportWriter::PrepareOperations()
{
    histDef_ = ReadTableDef(dm_.Db.Db(), dm_.Tb_Hist.TableName());
    QStringList names, marks;
    for (const TColumnDef &c : histDef_.Columns) {
        names.append(QuoteName(c.Name));
        marks.append(QStringLiteral("?"));
    }
    insert_ = std::make_unique<TSqliteStatement>(
        dm_.Db.Db(), QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                         .arg(QuoteName(histDef_.Name), names.join(u','), marks.join(u',')));
    account_ = dm_.Tb_Account.FieldByName(F("Id_Account"))->AsVariant();
}

bool TImportWriter::WriteOperation(int person, int firm, const int (&levels)[3])
{
    // The rows go in by statement, past Tb_Hist's post: the same bound on
    // every amount (ZorbBound.h), so an edited preview cannot pass one larger.
    if (AmountOutOfRange(tab_))
        return false;
    const TDateTime date = tab_.FieldByName(F("Date_Real"))->AsDateTime();
    int year = 0, month = 0, day = 0;
    DecodeDate(date, year, month, day);
    const double ct = tab_.FieldByName(F("Ct"))->AsFloat();
    const double dt = tab_.FieldByName(F("Dt"))->AsFloat();
    const auto id = [](int value) { return value == LevelEmpty ? Variant::Null() : Variant(value); };
    const auto amount = [](double value) { return value != 0 ? Variant(value) : Variant::Null(); };
    const auto copied = [this](const char *name) { return tab_.FieldByName(F(name))->AsVariant(); };
    // The new row as the data module's new-row rule and the preview make it.
    const std::pair<const char *, Variant> values[] = {
        {"Id_Account", account_},          {"Date_Real", Variant::FromDate(date)},
        {"Date_Create", Variant::FromDate(dm_.NextStamp())},
        {"Kind", Variant(QStringLiteral("1"))}, {"Dt", amount(dt)},          {"Ct", amount(ct)},
        {"Level1", id(levels[0])},        {"Level2", id(levels[1])},         {"Level3", id(levels[2])},
        {"Price", copied("Price")},       {"ID_Person", id(person)},         {"ID_Firm", id(firm)},
        {"Comment", copied("Comment")},   {"Qdt", copied("Qdt")},            {"Qct", copied("Qct")},
        {"Rate", copied("Rate")},         {"Yr", Variant(year)},             {"Mn", Variant(month)},
    };
    try {
        for (size_t c = 0; c < histDef_.Columns.size(); ++c) {
            Variant value = Variant::Null();
            for (const auto &[name, v] : values)
                if (histDef_.Columns[c].Name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                    value = v;
            BindVariant(*insert_, int(c) + 1, StoredValue(histDef_.Columns[c], value));
        }
        insert_->Step();
        insert_->Reset();
    } catch (const Exception &) {
        insert_->Reset();
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
    PrepareOperations();
    TField *why = tab_.FieldByName(F("Why"));
    for (tab_.First(); !tab_.Eof(); tab_.Next()) {
        if (!ImportableRow(tab_)) {
            // Only a row with an amount has its categories looked at.
            if (!why->IsNull() && result_.Refused++ == 0)
                result_.FirstWhy = why->AsString();
            continue;
        }
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
        result_.WrittenRows.push_back(tab_.RecNo());
        if (progress)
            progress(result_.Written);
    }
    tab_.First();
    insert_.reset();
    if (result_.Written > 0)
        dm_.SetModified(true);
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
    TImportWriter writer(dm, tab);
    tab.DisableControls();
    dm.Tb_Hist.DisableControls();
    const auto enable = [&] {
        dm.Tb_Hist.EnableControls();
        tab.EnableControls();
    };
    try {
        // The shared transaction nests inside one already running and rolls
        // back by itself when the pass fails.
        TTransactionScope transaction(dm.Db);
        const TImportWriteResult result = writer.Run(progress);
        transaction.Commit();
        dm.Tb_Hist.Refresh(); // the ledger shows the new operations
        enable();
        return result;
    } catch (...) {
        for (TTable *table : tables)
            Settle(*table);
        for (TTable *table : tables)
            table->Refresh();
        tab.First();
        enable();
        throw;
    }
}

} // namespace zorbel
