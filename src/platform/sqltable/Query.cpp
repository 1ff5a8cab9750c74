// TQuery: the program's SQL texts as datasets, with parameters, through the dialect step.
#include "platform/sqltable/Query.h"

#include "platform/dataset/DBConsts.h"
#include "platform/sqltable/Database.h"
#include "platform/sqltable/FilterSql.h"
#include "platform/sqltable/SqlDialect.h"
#include "platform/sqltable/Sqlite.h"

#include <QRegularExpression>
#include <cstring>
#include <sqlite3.h>

namespace zorbel {
namespace {

constexpr const char *RowIdColumn = "$rowid";

// Kind of a computed column from its values: text wins, then reals, then
// integers; a column of nulls only is a number.
TColumnKind KindFromValues(const TQueryRows &rows, size_t col, int &size)
{
    bool text = false, real = false, integer = false;
    size = 0;
    for (size_t row = 0; row < rows.size(); ++row) {
        const Variant v = rows.Cell(row, col);
        if (v.VarType() == varString) {
            text = true;
            size = std::max(size, int(v.AsString().size()));
        } else if (v.VarType() == varDouble) {
            real = true;
        } else if (!VarIsClear(v)) {
            integer = true;
        }
    }
    if (text) {
        size = std::max(size, 1);
        return TColumnKind::Alpha;
    }
    return real || !integer ? TColumnKind::Number : TColumnKind::Integer;
}

// min(x)/max(x) of a date or timestamp column keeps the column's kind:
// callers read such results as dates (AsDateTime, a date picker). The column
// is looked up by name in the tables of the database.
TColumnKind AggregateKind(TSqliteDb &db, const QString &columnName)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(?:min|max)\\s*\\(\\s*(?:\\w+\\.)?(\\w+)\\s*\\)\\s*$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(columnName);
    if (!m.hasMatch())
        return TColumnKind::Unknown;
    TSqliteStatement st(db, QStringLiteral("SELECT p.type FROM sqlite_master t, pragma_table_info(t.name) p "
                                           "WHERE t.type='table' AND p.name=?1 COLLATE NOCASE"));
    st.BindText(1, m.captured(1));
    while (st.Step()) {
        int size = 0;
        const TColumnKind kind = KindOfType(st.ColumnText(0), size);
        if (kind == TColumnKind::Date || kind == TColumnKind::Timestamp)
            return kind;
    }
    return TColumnKind::Unknown;
}

} // namespace

// ---- TParams -------------------------------------------------------------------

TParam *TParams::FindParam(const QString &name) const
{
    for (const auto &p : items_)
        if (p->Name().compare(name, Qt::CaseInsensitive) == 0)
            return p.get();
    return nullptr;
}

TParam *TParams::ParamByName(const QString &name) const
{
    TParam *p = FindParam(name);
    if (!p)
        DatabaseError(QStringLiteral("Parameter '%1' not found").arg(name));
    return p;
}

TParam *TParams::CreateParam(const QString &name)
{
    items_.push_back(std::make_unique<TParam>(name));
    return items_.back().get();
}

// ---- master link ---------------------------------------------------------------

class TQuery::TMasterLink : public TDataLink {
public:
    explicit TMasterLink(TQuery *query) : query_(query) {}

protected:
    void ActiveChanged() override { query_->RefreshParams(); }
    void RecordChanged(TField *field) override
    {
        if (!field)
            query_->RefreshParams();
    }
    void DataSetScrolled(int) override { query_->RefreshParams(); }

private:
    TQuery *query_;
};

// ---- TQuery --------------------------------------------------------------------

TQuery::TQuery() = default;

TQuery::~TQuery()
{
    CloseForDestroy();
}

TSqliteDb &TQuery::Db() const
{
    if (!Database())
        DatabaseError(QStringLiteral("Query %1 has no database").arg(Name()));
    return Database()->Db();
}

TParams &TQuery::Params()
{
    SyncParams();
    return params_;
}

void TQuery::SyncParams()
{
    const QString text = sql_.join(u'\n');
    if (text == parsedText_)
        return;
    parsedText_ = text;
    if (!paramCheck_)
        return; // parameters stay as the caller made them
    TParams fresh;
    for (const QString &name : SqlParamNames(text)) {
        TParam *p = fresh.CreateParam(name);
        if (const TParam *old = params_.FindParam(name)) {
            p->SetDataType(old->DataType());
            p->SetValue(old->Value());
        }
    }
    params_.Clear();
    for (int i = 0; i < fresh.Count(); ++i) {
        TParam *p = params_.CreateParam(fresh[i]->Name());
        p->SetDataType(fresh[i]->DataType());
        p->SetValue(fresh[i]->Value());
    }
}

void TQuery::SetRequestLive(bool value)
{
    CheckInactive();
    requestLive_ = value;
}

void TQuery::SetKeyedRows(bool value)
{
    CheckInactive();
    keyedRows_ = value;
}

TDataSource *TQuery::DataSource() const
{
    return masterLink_ ? masterLink_->DataSource() : nullptr;
}

void TQuery::SetDataSource(TDataSource *source)
{
    if (source && source->DataSet() == this)
        DatabaseError(DBConsts::SCircularDataLink);
    if (!masterLink_)
        masterLink_ = std::make_unique<TMasterLink>(this);
    masterLink_->SetDataSource(source);
}

Variant TQuery::ParamValue(const QString &name) const
{
    if (const TParam *p = params_.FindParam(name); p && p->Bound())
        return p->Value();
    if (masterLink_ && masterLink_->DataSource() && masterLink_->Active())
        if (const TField *f = masterLink_->DataSet()->FindField(name))
            return f->AsVariant();
    if (!paramCheck_)
        return Variant::Null();
    DatabaseError(QStringLiteral("No value for parameter '%1'").arg(name));
}

void TQuery::BindParams(TSqliteStatement &st, const QStringList &names)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        const TParam *p = params_.FindParam(names[i]);
        const Variant value = ParamValue(names[i]);
        TColumnKind kind = p ? KindOfFieldType(p->DataType()) : TColumnKind::Unknown;
        // An untyped date-time (a field's value, a master field) is bound as
        // a stamp: as the field reads it, exactly as stored.
        if (kind == TColumnKind::Unknown && value.VarType() == varDate)
            kind = TColumnKind::Timestamp;
        BindVariant(st, int(i) + 1, kind == TColumnKind::Unknown ? value : StoredValue({names[i], kind, 0, false}, value));
    }
}

void TQuery::RefreshParams()
{
    if (!Active() || !masterLink_ || !masterLink_->Active())
        return;
    TControlsOff off(*this);
    Close();
    Open();
}

QString TQuery::LiveTable(const QString &sql) const
{
    static const QRegularExpression single(
        QStringLiteral("^\\s*select\\s+(?!distinct\\b).*?\\bfrom\\s+([A-Za-z_]\\w*)\\s*(?:where\\b.*|order\\s+by\\b.*)?$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression grouped(QStringLiteral("\\b(group\\s+by|union|join)\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto m = single.match(sql);
    if (!m.hasMatch() || grouped.match(sql).hasMatch())
        return QString();
    return m.captured(1);
}

// New lines end the open result, so an Open or ExecSQL after them runs the
// new text, never the cursor of the old one.
void TQuery::CloseIfTextChanged()
{
    if (Active() && sql_.join(u'\n') != openedSql_)
        Close();
}

void TQuery::SetActive(bool value)
{
    if (value)
        CloseIfTextChanged();
    TSqlDataSet::SetActive(value);
}

void TQuery::InternalOpen()
{
    SyncParams();
    openedSql_ = sql_.join(u'\n');
    const TTranslatedSql t = TranslateSql(sql_.join(u'\n'));
    if (t.Statements.size() != 1)
        DatabaseError(QStringLiteral("Query %1 does not return a result").arg(Name()));
    QString text = t.Statements.front();
    live_ = false;
    QString table;
    if (requestLive_) {
        table = LiveTable(text);
        if (!table.isEmpty()) {
            static const QRegularExpression head(QStringLiteral("^\\s*select\\s+"), QRegularExpression::CaseInsensitiveOption);
            text.replace(head, QStringLiteral("select rowid AS \"%1\",").arg(QLatin1String(RowIdColumn)));
            liveDef_ = ReadTableDef(Db(), table);
            live_ = true;
        }
    }
    TSqliteStatement st(Db(), text);
    BindParams(st, t.ParamNames);
    openText_ = text;
    openParamNames_ = t.ParamNames;

    if (st.ColumnCount() == 0) {
        // Open is for statements with a result: one without a result still
        // runs, and the caller learns that it opened no cursor.
        st.Step();
        DatabaseError(QStringLiteral("Error creating cursor handle"));
    }
    const int first = live_ ? 1 : 0;
    std::vector<TColumnDef> columns;
    for (int c = first; c < st.ColumnCount(); ++c) {
        TColumnDef col;
        col.Name = st.ColumnName(c);
        col.Kind = KindOfType(st.ColumnDeclType(c), col.Size);
        if (col.Kind == TColumnKind::Unknown)
            col.Kind = AggregateKind(Db(), col.Name);
        // Duplicate names (a join of tables sharing a field) get a suffix.
        QString name = col.Name;
        for (int n = 1; std::any_of(columns.begin(), columns.end(),
                                    [&](const TColumnDef &d) { return d.Name.compare(name, Qt::CaseInsensitive) == 0; });
             ++n)
            name = col.Name + u'_' + QString::number(n);
        col.Name = name;
        columns.push_back(col);
    }
    readColumns_ = columns;
    if (!ReadKeys(text, t.ParamNames))
        ReadRows(st);
    for (size_t c = 0; c < columns.size(); ++c) {
        if (columns[c].Kind != TColumnKind::Unknown)
            continue;
        if (const TField *f = FindField(columns[c].Name); f && f->FieldKind() == fkData)
            continue; // the persistent field decides (InitFieldDefsFrom)
        columns[c].Kind = KindFromValues(rows_, c, columns[c].Size);
    }
    liveColumns_.clear();
    for (const TColumnDef &c : columns)
        liveColumns_.push_back(live_ ? liveDef_.ColumnIndex(c.Name) : -1);
    InitFieldDefsFrom(columns);
    open_ = true;
    pos_ = -1;
    try {
        FinishOpen();
        if (Filtered() && !Filter().trimmed().isEmpty())
            ApplyFilter(); // the parser needs the fields
    } catch (...) {
        open_ = false;
        throw;
    }
}

void TQuery::ReadRows(TSqliteStatement &st)
{
    const int first = live_ ? 1 : 0;
    keyed_ = false;
    keys_.clear();
    keySlots_.clear();
    rows_.clear();
    rowIds_.clear();
    std::vector<Variant> &row = rowValues_;
    while (st.Step()) {
        row.clear();
        for (size_t c = 0; c < readColumns_.size(); ++c)
            row.push_back(ReadColumn(st, first + int(c), readColumns_[c].Kind));
        rows_.push_back(row);
        if (live_)
            rowIds_.push_back(st.ColumnInt(0));
    }
    pos_ = -1;
}

// Keyed reading. The text's head becomes "select rowid AS "$rowid",<list>
// from <table>": the keys are read by the whole text inside
// "SELECT "$rowid" FROM (...)", keeping its order (the engine reads them from
// an index alone where one holds the conditions' and order's columns), and a
// row by that head with "where rowid=?1". Anything the split could misread
// (quotes, parameters or a subquery in the list, a quoted or joined table,
// grouping) is read whole instead.
bool TQuery::ReadKeys(const QString &text, const QStringList &paramNames)
{
    keyed_ = false;
    keys_.clear();
    keySlots_.clear();
    if (!keyedRows_ || live_ || (Filtered() && !Filter().trimmed().isEmpty()))
        return false;
    static const QRegularExpression shape(
        QStringLiteral("^\\s*select\\s+(?!distinct\\b)(.*?)\\bfrom\\s+([A-Za-z_]\\w*)(\\s+(?:where\\b.*|order\\s+by\\b.*))?\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    // The list: no subquery, string, parameter or second statement in it;
    // the rest: no grouping or compound that would make rowids meaningless.
    static const QRegularExpression listRefused(QStringLiteral("\\bselect\\b|['\"?:;]"),
                                                QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression restRefused(QStringLiteral("\\b(?:group\\s+by|union|intersect|except|join)\\b|;"),
                                                QRegularExpression::CaseInsensitiveOption);
    const auto m = shape.match(text);
    if (!m.hasMatch() || listRefused.match(m.captured(1)).hasMatch() || restRefused.match(m.captured(3)).hasMatch())
        return false;
    // A column of no declared kind is read as its values are, which needs
    // them all: only a persistent field lets it wait.
    for (const TColumnDef &c : readColumns_) {
        if (c.Kind != TColumnKind::Unknown)
            continue;
        const TField *f = FindField(c.Name);
        if (!f || f->FieldKind() != fkData)
            return false;
    }
    const QString head =
        QStringLiteral("select rowid AS \"%1\",%2from %3").arg(QLatin1String(RowIdColumn), m.captured(1), m.captured(2));
    {
        TSqliteStatement row(Db(), head + QStringLiteral(" where rowid=?1"));
        if (row.ColumnCount() != int(readColumns_.size()) + 1)
            return false;
    }
    TSqliteStatement st(Db(), QStringLiteral("SELECT \"%1\" FROM (%2%3\n)").arg(QLatin1String(RowIdColumn), head,
                                                                                  m.captured(3)));
    BindParams(st, paramNames);
    while (st.Step())
        keys_.push_back(st.ColumnInt(0));
    keySlots_.assign(keys_.size(), -1);
    keyRowText_ = head + QStringLiteral(" where rowid=?1");
    rows_.clear();
    rowIds_.clear();
    keyed_ = true;
    pos_ = -1;
    return true;
}

void TQuery::ReadRow(size_t row, std::vector<Variant> &values)
{
    if (keyed_ && keySlots_.at(row) < 0) {
        // The block of rows around it, each by its rowid; a row gone since
        // the keys were read is all nulls (a figure not shown, never a
        // wrong one).
        constexpr size_t Block = 128;
        const size_t from = row / Block * Block, to = std::min(keys_.size(), from + Block);
        TSqliteStatement st(Db(), keyRowText_);
        std::vector<Variant> read;
        for (size_t i = from; i < to; ++i) {
            if (keySlots_[i] >= 0)
                continue;
            st.Reset();
            st.BindInt(1, keys_[i]);
            read.clear();
            if (st.Step()) {
                for (size_t c = 0; c < readColumns_.size(); ++c)
                    read.push_back(ReadColumn(st, 1 + int(c), readColumns_[c].Kind));
            } else {
                read.assign(readColumns_.size(), Variant::Null());
            }
            rows_.push_back(read);
            keySlots_[i] = int32_t(rows_.size() - 1);
        }
    }
    rows_.Read(keyed_ ? size_t(keySlots_[row]) : row, values);
}

// The filter runs as an SQL condition over the result: the text opened is
// read again inside "SELECT * FROM (...) WHERE condition", keeping its order.
void TQuery::ApplyFilter()
{
    QString condition;
    if (Filtered() && !Filter().trimmed().isEmpty()) {
        TExprParser parser(this, Filter(), FilterOptions());
        condition = FilterToSql(parser.Root());
    }
    const QString text = condition.isEmpty()
                             ? openText_
                             : QStringLiteral("SELECT * FROM (%1\n) WHERE %2").arg(openText_, condition);
    TSqliteStatement st(Db(), text);
    BindParams(st, openParamNames_);
    ReadRows(st);
}

void TQuery::Refilter()
{
    if (!Active())
        return;
    CheckBrowseMode();
    ApplyFilter();
    First();
}

void TQuery::SetFiltered(bool value)
{
    if (value == Filtered())
        return;
    if (Active())
        CheckBrowseMode();
    TSqlDataSet::SetFiltered(value);
    Refilter();
}

void TQuery::SetFilterText(const QString &text)
{
    if (Active())
        CheckBrowseMode();
    TSqlDataSet::SetFilterText(text);
    if (Filtered())
        Refilter();
}

void TQuery::SetFilterOptions(TFilterOptions options)
{
    TSqlDataSet::SetFilterOptions(options);
    if (Filtered())
        Refilter();
}

void TQuery::InternalClose()
{
    FinishClose();
    open_ = false;
    live_ = false;
    openText_.clear();
    openParamNames_.clear();
    rows_.clear();
    rowIds_.clear();
    keyed_ = false;
    keys_.clear();
    keySlots_.clear();
    pos_ = -1;
}

void TQuery::ExecSQL()
{
    CloseIfTextChanged();
    CheckInactive();
    SyncParams();
    const TTranslatedSql t = TranslateSql(sql_.join(u'\n'));
    rowsAffected_ = 0;
    for (const QString &statement : t.Statements) {
        TSqliteStatement st(Db(), statement);
        BindParams(st, t.ParamNames);
        const int64_t before = Db().TotalChanges();
        while (st.Step()) {
        }
        rowsAffected_ += int(Db().TotalChanges() - before);
    }
}

void TQuery::ForEachRow(const std::function<bool(const TSqliteStatement &)> &Row)
{
    CloseIfTextChanged();
    CheckInactive();
    SyncParams();
    const TTranslatedSql t = TranslateSql(sql_.join(u'\n'));
    if (t.Statements.size() != 1)
        DatabaseError(QStringLiteral("Query %1 does not return a result").arg(Name()));
    TSqliteStatement st(Db(), t.Statements.front());
    BindParams(st, t.ParamNames);
    if (st.ColumnCount() == 0)
        DatabaseError(QStringLiteral("Error creating cursor handle"));
    while (st.Step())
        if (!Row(st))
            return;
}

TGetResult TQuery::GetRecord(TRecordBuffer buffer, TGetMode mode, bool)
{
    const int count = int(RowCount());
    switch (mode) {
    case gmCurrent:
        if (pos_ < 0 || pos_ >= count)
            return grError;
        break;
    case gmNext:
        if (pos_ >= count - 1) {
            pos_ = count;
            return grEOF;
        }
        ++pos_;
        break;
    case gmPrior:
        if (pos_ <= 0) {
            pos_ = -1;
            return grBOF;
        }
        pos_ = std::min(pos_, count) - 1;
        break;
    }
    ReadRow(size_t(pos_), rowValues_);
    FillBuffer(buffer, pos_, rowValues_);
    return grOK;
}

void TQuery::InternalGotoBookmark(const void *bookmark)
{
    int64_t row;
    std::memcpy(&row, bookmark, sizeof row);
    if (row < 0 || row >= int64_t(RowCount()))
        DatabaseError(DBConsts::SRecordNotFound);
    pos_ = int(row);
}

bool TQuery::BookmarkValid(const TBookmark &bookmark) const
{
    if (!open_ || bookmark.size() != qsizetype(sizeof(int64_t)))
        return false;
    int64_t row;
    std::memcpy(&row, bookmark.constData(), sizeof row);
    return row >= 0 && row < int64_t(RowCount());
}

int TQuery::GetRecNo() const
{
    if (!open_ || IsEmpty() || State() == dsInsert)
        return -1;
    return int(Rec(ActiveBuffer())->RowId) + 1;
}

void TQuery::SetRecNoImpl(int value)
{
    CheckBrowseMode();
    if (value < 1 || value > int(RowCount()))
        return;
    DoBeforeScroll();
    pos_ = value - 1;
    Resync({rmExact, rmCenter});
    DoAfterScroll();
}

void TQuery::InternalAddRecord(TRecordBuffer, bool)
{
    DatabaseError(DBConsts::SDataSetReadOnly);
}

// A live row writes its changed columns back to its table row.
void TQuery::InternalPost()
{
    TSqlDataSet::InternalPost();
    if (State() != dsEdit)
        DatabaseError(DBConsts::SDataSetReadOnly);
    TSqlRecord *rec = Rec(ActiveBuffer());
    const size_t row = size_t(rec->RowId);
    if (row >= rows_.size())
        DatabaseError(DBConsts::SRecordNotFound);
    std::vector<Variant> stored;
    rows_.Read(row, stored);
    QStringList sets;
    std::vector<Variant> values;
    for (size_t c = 0; c < stored.size(); ++c) {
        const Variant &now = rec->Values[c];
        if ((now.IsNull() && stored[c].IsNull()) || VarCompareValue(now, stored[c]) == TVariantRelationship::vrEqual)
            continue;
        if (liveColumns_[c] < 0)
            DatabaseError(DBConsts::SFieldReadOnly.arg(FieldDefs()[int(c)]->Name()));
        const TColumnDef &column = liveDef_.Columns[size_t(liveColumns_[c])];
        values.push_back(StoredValue(column, now));
        sets << QuoteName(column.Name) + QStringLiteral("=?") + QString::number(values.size());
    }
    if (!values.empty()) {
        TSqliteStatement st(Db(), QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?%3")
                                      .arg(QuoteName(liveDef_.Name), sets.join(u','))
                                      .arg(values.size() + 1));
        for (size_t i = 0; i < values.size(); ++i)
            BindVariant(st, int(i) + 1, values[i]);
        st.BindInt(int(values.size()) + 1, rowIds_.at(row));
        st.Step();
        if (Db().Changes() == 0) // the row went away since the query read it
            DatabaseError(DBConsts::SRecordNotFound);
    }
    rows_.Replace(row, rec->Values);
    pos_ = int(row);
}

void TQuery::InternalDelete()
{
    const size_t row = size_t(pos_);
    TSqliteStatement st(Db(), QStringLiteral("DELETE FROM %1 WHERE rowid=?1").arg(QuoteName(liveDef_.Name)));
    st.BindInt(1, rowIds_.at(row));
    st.Step();
    rows_.erase(row);
    rowIds_.erase(rowIds_.begin() + std::ptrdiff_t(row));
    if (pos_ >= int(rows_.size()))
        pos_ = int(rows_.size()) - 1;
}

} // namespace zorbel
