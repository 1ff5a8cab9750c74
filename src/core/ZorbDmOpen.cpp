// Opening a data set: the structure upgrade of older data sets, the opening
// of the tables and the first-run rows, in the order the main window's
// OpenDataTables runs them.
//
// Older data sets lack fields that later versions added; each upgrade
// statement adds a group of them, guarded by the presence of one field of the
// group, and the short comment fields of older versions are widened to 200
// characters. The statements' failures are ignored: a table that still lacks
// a field fails later, when its persistent field is bound on opening.
#include "core/ZorbDm.h"
#include "core/ZorbDmCheck.h"
#include "core/ZorbDmTables.h"
#include "core/ZorbSumsStore.h"
#include "platform/system/SysPaths.h"

#include "core/ZorbText.h"
#include "platform/sqltable/SqlSchema.h"
#include "platform/sqltable/Sqlite.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>

namespace zorbel {
namespace {

// Whether the stored table has the field; false also when it cannot be read.
// The connection's schema cookie: it changes with every table or index made,
// altered or dropped.
int64_t SchemaVersion(TDatabase &db)
{
    TSqliteStatement st(db.Db(), QStringLiteral("PRAGMA schema_version"));
    return st.Step() ? st.ColumnInt(0) : -1;
}

bool HasField(TDatabase &db, const char *table, const char *field)
{
    try {
        return ReadTableDef(db.Db(), U(table)).ColumnIndex(U(field)) >= 0;
    } catch (const Exception &) {
        return true; // nothing to upgrade in a table that cannot be read
    }
}

// Bounds every statement that changes a data set while it opens, so that
// nothing a file holds keeps the program busy for ever: a million operations
// in the oldest structure are upgraded with every step under 40 million
// instructions, and a statement stopped at the limit has run a few seconds.
// Lifted when the opening ends.
constexpr int64_t OpeningStepLimit = 100'000'000;

class TOpeningLimit {
public:
    explicit TOpeningLimit(TDatabase &db) : db_(db) { db_.Db().SetStepLimit(OpeningStepLimit); }
    ~TOpeningLimit()
    {
        if (db_.Connected())
            db_.Db().SetStepLimit(0);
    }
    TOpeningLimit(const TOpeningLimit &) = delete;
    TOpeningLimit &operator=(const TOpeningLimit &) = delete;

private:
    TDatabase &db_;
};

} // namespace

bool TDm::RunUpgrade(TQuery &query)
{
    try {
        query.ExecSQL();
        return true;
    } catch (const Exception &) {
        // An upgrade that cannot run leaves the table as it is.
        return false;
    }
}

void TDm::OpenFailed(bool enginePresent)
{
    host_->ClearWorkFolder();
    host_->Notice(U("Ошибка открытия базы данных!") + (enginePresent ? QString() : U("\rОшибка BDE.")));
}

void TDm::UpgradeStructure()
{
    if (!HasField(Db, "Tb_Hist", "B"))
        RunUpgrade(Qhist21);
    if (!HasField(Db, "Tb_Hist", "Comment")) {
        RunUpgrade(Qhist2);
        Qtemp.Close();
        Qtemp.SQL() = QStringList{QStringLiteral("update tb_account set C = null")};
        RunUpgrade(Qtemp);
    }
    // Contents whose years were filled when this program last wrote them
    // need no look through every row.
    yearsFilled_ = yearsFilledBefore_ || RunUpgrade(Qmn);
    contentsYearsFilled_ = yearsFilledBefore_ || (yearsFilled_ && Qmn.RowsAffected() == 0);
    try {
        // Data files of older versions gain the index of the balance sums.
        const int64_t before = SchemaVersion(Db);
        EnsureHistCoverIndex(Db);
        indexesMade_ = SchemaVersion(Db) != before;
    } catch (const Exception &) {
        // A read-only or damaged file opens without it: the sums read the rows.
    }
    if (!HasField(Db, "Tb_Items", "A"))
        RunUpgrade(Qitm2);
    if (!HasField(Db, "Tb_Items", "Grp"))
        RunUpgrade(Qitm3);
    if (!HasField(Db, "Tb_Items", "QLim"))
        RunUpgrade(Qitm4);
    if (!HasField(Db, "TB_Person", "Note"))
        RunUpgrade(Qpers2);

    // Comments of older versions were shorter.
    const std::pair<TTable *, const char *> wide[] = {
        {&Tb_Person, "Comment"}, {&Tb_Firm, "Comment"}, {&Tb_Hist, "Comment"}, {&Tb_Items, "Comm"}};
    for (const auto &[table, field] : wide) {
        try {
            const TTableDef def = ReadTableDef(Db.Db(), table->TableName());
            const int i = def.ColumnIndex(U(field));
            if (i >= 0 && def.Columns[size_t(i)].Kind == TColumnKind::Alpha && def.Columns[size_t(i)].Size < 200)
                modified_ = WidenTextField(*table, U(field), 200);
        } catch (const Exception &) {
            // Widening is for longer comments only: a table left at its old width
            // still opens and holds every text it held.
        }
    }
}

bool WidenTextField(TTable &Table, const QString &FieldName, int NewSize)
{
    Table.RestructureTextField(FieldName, NewSize);
    return true;
}

TOpenResult TDm::OpenDataSet(const TOpenOptions &options)
{
    TOpenResult result;
    // Identifiers belong to the data set: read them again from its tables.
    idCounters_.fill(0);
    modified_ = indexesMade_ = false;
    sound_ = checkedWhole_ = yearsFilled_ = contentsYearsFilled_ = histWrittenLost_ = false;
    yearsFilledBefore_ = options.YearsFilled && options.CheckedBefore;
    histWritten_.clear();
    Db.Close();

    try {
        if (!PathExists(Db.FileName()))
            return result;
        Db.Open();
        // Not a table of that name but a view is the check's to refuse.
        if (!SchemaObjectExists(Db.Db(), QStringLiteral("Tb_Account")))
            return result;
    } catch (const Exception &) {
        OpenFailed(options.EnginePresent);
        throw;
    }

    // The check's own statements read each row once; what follows runs
    // bounded.
    checkedWhole_ = !options.CheckedBefore;
    CheckDataSet(checkedWhole_);
    // Nothing has written to the file since it was unpacked (the check only
    // reads): it holds the contents the digest names, until the first change.
    if (options.Contents.Valid())
        HistSums.NameContents(options.Contents);
    // Known contents bring their day sums from the user's own folder; the
    // writes of the opening below reach them through the hooks.
    if (options.CheckedBefore && options.KeptSums)
        TSumsStore().Load(HistSums);
    const TOpeningLimit limit(Db);

    if (!HasField(Db, "Tb_Account", "A"))
        RunUpgrade(Qacc2);
    try {
        Tb_Account.Open();
    } catch (const Exception &) {
        OpenFailed(options.EnginePresent);
        throw;
    }
    host_->StepProgress();
    // The schema changes below need the connection without open cursors.
    Tb_Account.Close();
    UpgradeStructure();

    try {
        Tb_Account.Open();
    } catch (const Exception &) {
        Tb_Account.Close();
        host_->Notice(U("Нет доступа к базе данных"));
        return result;
    }
    result.PackOnClose = modified_;
    // From here on every operation written is noted, for YearsFilled.
    Db.Db().SetRowWrittenHook([this](const char *table, int64_t rowid) {
        if (histWrittenLost_ || qstricmp(table, "Tb_Hist") != 0)
            return;
        if (histWritten_.size() >= MaxNotedRows)
            histWrittenLost_ = true;
        else
            histWritten_.push_back(rowid);
    });
    for (TTable *t : {&Tb_Person, &Tb_Firm, &Tb_Log, &Tb_Hist, &Tb_Family, &Tb_Items})
        t->Open();

    SetDefaultAccount(options);
    WriteFirstRunCategories();
    if (!result.PackOnClose)
        modified_ = false; // the first-run rows are not a change of the user's
    result.Opened = true;
    return result;
}

void TDm::CheckDataSet(bool Whole)
{
    // The file is someone else's until shown otherwise: nothing is written
    // to it before this.
    QString report;
    try {
        CheckDataSetStructure(Db.Db(), Whole);
        if (Whole)
            report = ImpossibleValuesReport(Db.Db());
    } catch (const EDataSetRefused &) {
        Db.Close();
        throw;
    } catch (const Exception &) {
        Db.Close();
        throw EDataSetRefused(U("Файл не открыт: его база данных повреждена."));
    }
    sound_ = report.isEmpty();
    if (!sound_)
        host_->Notice(report);
}

void TDm::SetDefaultAccount(const TOpenOptions &options)
{
    TField *c = Tb_Account.FindField(QStringLiteral("C"));
    if (c && !Tb_Account.IsEmpty()) {
        if (!Tb_Account.Locate(QStringLiteral("C"), Variant(QStringLiteral("!")), {})) {
            Tb_Account.First();
            try {
                Tb_Account.Edit();
                c->SetAsString(QStringLiteral("!"));
                Tb_Account.Post();
            } catch (const Exception &) {
                Tb_Account.Cancel();
            }
        }
    } else if (Tb_Account.IsEmpty()) {
        Tb_Account.Insert();
        Tb_Account.FieldByName(QStringLiteral("Account"))->SetAsString(U("Мой первый счёт"));
        Tb_Account.FieldByName(QStringLiteral("Currency"))->SetAsString(QStringLiteral("$"));
        Tb_Account.FieldByName(QStringLiteral("C"))->SetAsString(QStringLiteral("!"));
        Tb_Account.Post();
    }

    bool found = false;
    if (!options.AccountName.isEmpty())
        found = Tb_Account.Locate(QStringLiteral("Account"), Variant(options.AccountName), {loCaseInsensitive});
    if (!found && !options.AccDef)
        Tb_Account.First();
}

void TDm::WriteFirstRunCategories()
{
    if (Tb_Items.RecordCount() > 1)
        return;
    if (Tb_Items.FindKey({Variant(-1)})) {
        Tb_Items.Edit();
        Tb_Items.FieldByName(QStringLiteral("ITM"))->SetAsString(U("ПЕРЕВОД"));
        Tb_Items.Post();
    }
    // The roots of the expense and the income tree.
    for (const auto &[name, kind] : {std::pair{"Статья расхода", "-"}, std::pair{"Статья дохода", "+"}}) {
        Tb_Items.Insert();
        Tb_Items.FieldByName(QStringLiteral("ITM"))->SetAsString(U(name));
        Tb_Items.FieldByName(QStringLiteral("LEV"))->SetAsInteger(0);
        Tb_Items.FieldByName(QStringLiteral("C"))->SetAsString(U(kind));
        Tb_Items.Post();
    }
}

bool TDm::YearsFilled()
{
    if (!yearsFilled_ || histWrittenLost_ || !Db.Connected())
        return false;
    std::sort(histWritten_.begin(), histWritten_.end());
    histWritten_.erase(std::unique(histWritten_.begin(), histWritten_.end()), histWritten_.end());
    // The rows written since the opening, a thousand at a time.
    for (size_t at = 0; at < histWritten_.size(); at += 1000) {
        QStringList ids;
        for (size_t i = at; i < std::min(histWritten_.size(), at + 1000); ++i)
            ids << QString::number(histWritten_[i]);
        const QString sql = QStringLiteral("SELECT 1 FROM tb_hist WHERE rowid IN (%1) AND (yr IS NULL OR mn IS NULL) "
                                           "LIMIT 1")
                                .arg(ids.join(u','));
        try {
            TSqliteStatement st(Db.Db(), sql);
            if (st.Step())
                return false;
        } catch (const Exception &) {
            return false;
        }
    }
    return true;
}

void TDm::CloseDataSet()
{
    Db.Close();
}
} // namespace zorbel
