// The navigational cursor under TTable: rows of one table in index order within a range and a filter.
#include "platform/sqltable/TableCursor.h"

#include "platform/dataset/DBConsts.h"
#include "platform/rtl/Assert.h"
#include "platform/sqltable/Sqlite.h"

#include <algorithm>
#include <functional>

namespace zorbel {

TTableCursor::TTableCursor(TSqliteDb &db, TTableDef def) : db_(db), def_(std::move(def))
{
    SetOrder(QString(), QString());
}

TTableCursor::~TTableCursor() = default;

// ---- SQL pieces ------------------------------------------------------------

void TTableCursor::SetOrder(const QString &indexFieldNames, const QString &indexName)
{
    QStringList fields;
    if (!indexFieldNames.trimmed().isEmpty()) {
        for (const QString &f : indexFieldNames.split(u';', Qt::SkipEmptyParts))
            fields << f.trimmed();
    } else if (!indexName.isEmpty()) {
        const TTableIndexDef *index = def_.IndexNamed(indexName);
        if (!index)
            throw EDatabaseError(QStringLiteral("Index '%1' not found").arg(indexName));
        fields = index->Fields;
    } else if (const TTableIndexDef *pk = def_.PrimaryKey()) {
        fields = pk->Fields;
    }
    std::vector<int> columns;
    for (const QString &f : fields) {
        const int c = def_.ColumnIndex(f);
        if (c < 0)
            throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(f));
        columns.push_back(c);
    }
    order_ = fields;
    orderColumns_ = columns;
    visible_.reset();
    DropLookups();
    rangeStart_.clear();
    rangeEnd_.clear();
    First();
}

QString TTableCursor::OrderBySql() const
{
    QStringList parts;
    for (int c : orderColumns_)
        parts << QuoteName(def_.Columns[c].Name);
    parts << QStringLiteral("rowid");
    return parts.join(u',');
}

QString TTableCursor::ColumnListSql() const
{
    QStringList parts;
    for (const TColumnDef &c : def_.Columns)
        parts << QuoteName(c.Name);
    return parts.join(u',');
}

// Fields where both bounds are given and equal become "IS ?" (so a null key
// part matches nulls). The rest of each bound compares the row's leading key
// fields with it in index order, where a null sorts before every value: runs
// of non-null bound values become row-value comparisons (which leave out rows
// whose deciding part is null), a null bound value asks for "IS NOT NULL" (start)
// or "IS NULL" (end) at that place. So trailing nulls in a start bound change
// nothing, and in an end bound they stop before the rows that go on with values.
TTableCursor::TWhere TTableCursor::RangeWhere() const
{
    TWhere w;
    QStringList conditions;
    auto param = [&](size_t field, const Variant &v) {
        w.Binds.emplace_back(int(w.Binds.size()) + 1, StoredValue(def_.Columns[orderColumns_[field]], v));
        return u'?' + QString::number(w.Binds.size());
    };
    auto name = [&](size_t field) { return QuoteName(def_.Columns[orderColumns_[field]].Name); };
    const size_t n = std::min({rangeStart_.size(), rangeEnd_.size(), orderColumns_.size()});
    size_t same = 0;
    while (same < n && VarCompareValue(StoredValue(def_.Columns[orderColumns_[same]], rangeStart_[same]),
                                       StoredValue(def_.Columns[orderColumns_[same]], rangeEnd_[same])) ==
                           TVariantRelationship::vrEqual)
        ++same;
    // Two nulls compare "not equal" as values; they are the same bound here.
    while (same < n && VarIsClear(rangeStart_[same]) && VarIsClear(rangeEnd_[same]))
        ++same;
    for (size_t i = 0; i < same; ++i)
        conditions << name(i) + QStringLiteral(" IS ") + param(i, rangeStart_[i]);
    const QString all = QStringLiteral("1");
    // The condition "row key from field i on >= (or <=) values from i on".
    std::function<QString(const TRowValues &, size_t, bool)> from = [&](const TRowValues &values, size_t i,
                                                                          bool lower) -> QString {
        const size_t count = std::min(values.size(), orderColumns_.size());
        size_t j = i;
        while (j < count && !VarIsClear(values[j]))
            ++j;
        QString rest = all;
        if (j < count) {
            const QString inner = from(values, j + 1, lower);
            if (!lower)
                rest = inner == all ? name(j) + QStringLiteral(" IS NULL")
                                    : QStringLiteral("(%1 IS NULL AND %2)").arg(name(j), inner);
            else if (inner != all)
                rest = QStringLiteral("(%1 IS NOT NULL OR %2)").arg(name(j), inner);
        }
        if (j == i)
            return rest;
        auto tuple = [&]() {
            QStringList cols, params;
            for (size_t k = i; k < j; ++k) {
                cols << name(k);
                params << param(k, values[k]);
            }
            return std::make_pair(u'(' + cols.join(u',') + u')', u'(' + params.join(u',') + u')');
        };
        if (rest == all) {
            const auto [cols, params] = tuple();
            return QStringLiteral("%1 %2 %3").arg(cols, lower ? QStringLiteral(">=") : QStringLiteral("<="), params);
        }
        const auto [cols, params] = tuple();
        const auto [cols2, params2] = tuple();
        return QStringLiteral("(%1 %2 %3 OR (%4 = %5 AND %6))")
            .arg(cols, lower ? QStringLiteral(">") : QStringLiteral("<"), params, cols2, params2, rest);
    };
    for (const bool lower : {true, false}) {
        const TRowValues &values = lower ? rangeStart_ : rangeEnd_;
        if (std::min(values.size(), orderColumns_.size()) <= same)
            continue;
        const QString c = from(values, same, lower);
        if (c != all)
            conditions << c;
    }
    w.Sql = conditions.join(QStringLiteral(" AND "));
    return w;
}

void TTableCursor::BindWhere(TSqliteStatement &st, const TWhere &where) const
{
    for (const auto &[index, value] : where.Binds)
        BindVariant(st, index, value);
}

QString TTableCursor::SelectSql(const QString &columns, const QString &extraWhere, bool ordered) const
{
    const TWhere range = RangeWhere();
    QStringList conditions;
    if (!range.Sql.isEmpty())
        conditions << range.Sql;
    if (!filterSql_.isEmpty())
        conditions << u'(' + filterSql_ + u')';
    if (!extraWhere.isEmpty())
        conditions << u'(' + extraWhere + u')';
    return QStringLiteral("SELECT rowid%1 FROM %2%3%4")
        .arg(columns.isEmpty() ? QString() : u',' + columns, QuoteName(def_.Name),
             conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND ")),
             ordered ? QStringLiteral(" ORDER BY ") + OrderBySql() : QString());
}

TRowValues TTableCursor::ReadRow(const TSqliteStatement &st, int firstColumn) const
{
    TRowValues row;
    ReadRowInto(st, firstColumn, row);
    return row;
}

void TTableCursor::ReadRowInto(const TSqliteStatement &st, int firstColumn, TRowValues &row) const
{
    row.resize(def_.Columns.size());
    for (size_t i = 0; i < def_.Columns.size(); ++i)
        row[i] = ReadColumn(st, firstColumn + int(i), def_.Columns[i].Kind);
}

TRowValues TTableCursor::StoredRow(const TRowValues &values) const
{
    if (values.size() != def_.Columns.size())
        throw EDatabaseError(QStringLiteral("Wrong number of values for table %1").arg(def_.Name));
    TRowValues stored;
    stored.reserve(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        stored.push_back(StoredValue(def_.Columns[i], values[i]));
        if (def_.Columns[i].Required && stored.back().IsNull())
            throw EDatabaseError(DBConsts::SFieldRequired.arg(def_.Columns[i].Name));
    }
    return stored;
}

// ---- key list and positioning ---------------------------------------------

void TTableCursor::InvalidateList()
{
    streamed_.clear();
    listValid_ = false;
    list_.clear();
    pos_ = -1;
    streamLive_ = false;
}

void TTableCursor::EnsureList()
{
    if (listValid_)
        return;
    const TWhere range = RangeWhere();
    TSqliteStatement st(db_, SelectSql(QString(), QString()));
    BindWhere(st, range);
    list_.clear();
    while (st.Step())
        list_.push_back(st.ColumnInt(0));
    listValid_ = true;
    pos_ = current_ ? PositionOf(*current_) : -1;
}

int TTableCursor::PositionOf(TRowId rowid)
{
    EnsureList();
    const auto it = std::find(list_.begin(), list_.end(), rowid);
    return it == list_.end() ? -1 : int(it - list_.begin());
}

bool TTableCursor::FetchRow(TRowId rowid)
{
    if (!fetch_)
        fetch_ = std::make_unique<TSqliteStatement>(
            db_, QStringLiteral("SELECT %1 FROM %2 WHERE rowid=?1").arg(ColumnListSql(), QuoteName(def_.Name)));
    fetch_->Reset();
    fetch_->BindInt(1, rowid);
    if (!fetch_->Step())
        return false;
    ReadRowInto(*fetch_, 0, values_);
    fetch_->Reset();
    current_ = rowid;
    return true;
}

void TTableCursor::SetEmpty()
{
    current_.reset();
    values_.clear();
    pos_ = -1;
    bof_ = eof_ = true;
    streamLive_ = false;
}

// Requires: list valid and 0 <= pos < list size.
void TTableCursor::GoToPosition(int pos)
{
    ZORBEL_ASSERT(pos >= 0 && size_t(pos) < list_.size());
    streamLive_ = false;
    if (!FetchRow(list_[pos]))
        throw EDatabaseError(QStringLiteral("Record not found"));
    pos_ = pos;
    bof_ = eof_ = false;
}

// ---- navigation --------------------------------------------------------------

void TTableCursor::First()
{
    const TWhere range = RangeWhere();
    stream_ = std::make_unique<TSqliteStatement>(db_, SelectSql(ColumnListSql(), QString()));
    BindWhere(*stream_, range);
    streamLive_ = false;
    streamed_.clear();
    if (stream_->Step()) {
        ReadRowInto(*stream_, 1, values_);
        current_ = stream_->ColumnInt(0);
        Streamed(*current_);
        streamLive_ = true;
        pos_ = 0; // the stream runs in list order
        bof_ = true;
        eof_ = false;
        return;
    }
    SetEmpty();
}

void TTableCursor::Next()
{
    if (!current_) {
        eof_ = true;
        return;
    }
    if (streamLive_) {
        if (stream_->Step()) {
            ReadRowInto(*stream_, 1, values_);
            current_ = stream_->ColumnInt(0);
            if (pos_ >= 0 && size_t(pos_) + 1 == streamed_.size())
                Streamed(*current_);
            if (pos_ >= 0)
                ++pos_;
            bof_ = false;
            return;
        }
        streamLive_ = false;
        eof_ = true;
        bof_ = false;
        return;
    }
    EnsureList();
    if (pos_ < 0) { // the current row left the range: start over
        if (list_.empty())
            SetEmpty();
        else
            GoToPosition(0);
        return;
    }
    if (pos_ + 1 < int(list_.size())) {
        GoToPosition(pos_ + 1);
    } else {
        eof_ = true;
        bof_ = false;
    }
}

void TTableCursor::Prior()
{
    if (!current_) {
        bof_ = true;
        return;
    }
    EnsureList();
    if (pos_ > 0) {
        GoToPosition(pos_ - 1);
    } else {
        bof_ = true;
        eof_ = false;
    }
}

void TTableCursor::Last()
{
    EnsureList();
    if (list_.empty()) {
        SetEmpty();
        return;
    }
    GoToPosition(int(list_.size()) - 1);
    eof_ = true;
}

bool TTableCursor::IsEmpty()
{
    return !current_ && RecordCount() == 0;
}

int TTableCursor::RecordCount()
{
    if (!listValid_ && counter_ && filterSql_.isEmpty())
        if (const std::optional<int> n = counter_(order_, rangeStart_, rangeEnd_))
            return *n;
    EnsureList();
    return int(list_.size());
}

int TTableCursor::RecNo()
{
    if (!current_)
        return 0;
    if (pos_ < 0)
        EnsureList();
    return pos_ + 1;
}

void TTableCursor::SetRecNo(int recNo)
{
    EnsureList();
    if (recNo >= 1 && recNo <= int(list_.size()))
        GoToPosition(recNo - 1);
}

void TTableCursor::SetRange(const TRowValues &start, const TRowValues &end)
{
    rangeStart_ = start;
    rangeEnd_ = end;
    visible_.reset();
    DropLookups();
    InvalidateList();
    First();
}

void TTableCursor::CancelRange()
{
    SetRange({}, {});
}

int TTableCursor::RecNoOf(TRowId rowid)
{
    if (!listValid_) {
        const auto it = std::find(streamed_.begin(), streamed_.end(), rowid);
        if (it != streamed_.end())
            return int(it - streamed_.begin()) + 1;
    }
    return PositionOf(rowid) + 1;
}

void TTableCursor::SetFilterSql(const QString &condition)
{
    filterSql_ = condition;
    visible_.reset();
    DropLookups();
    InvalidateList();
    First();
}

void TTableCursor::Refresh()
{
    const std::optional<TRowId> keep = current_;
    const int oldPos = pos_;
    InvalidateList();
    EnsureList();
    if (keep) {
        const int pos = PositionOf(*keep);
        if (pos >= 0) {
            GoToPosition(pos);
            return;
        }
    }
    if (list_.empty())
        SetEmpty();
    else
        GoToPosition(std::clamp(oldPos, 0, int(list_.size()) - 1));
}

void TTableCursor::ReleaseStream()
{
    streamLive_ = false;
    stream_.reset();
    DropLookups();
}

// ---- searching -----------------------------------------------------------------

// Goes to the first row, in cursor order, of the range that also satisfies
// conditions (parameters numbered after the range's) and the filter.
QString TTableCursor::NumberParams(QString conditions, size_t count, const TWhere &range)
{
    for (size_t i = count; i >= 1; --i) // from the top, so that ?p1 does not eat ?p10
        conditions.replace(QStringLiteral("?p%1").arg(i), u'?' + QString::number(range.Binds.size() + i));
    return conditions;
}

void TTableCursor::BindSearch(TSqliteStatement &st, const TWhere &range, const std::vector<Variant> &binds) const
{
    BindWhere(st, range);
    for (size_t i = 0; i < binds.size(); ++i)
        BindVariant(st, int(range.Binds.size() + i + 1), binds[i]);
}

bool TTableCursor::SeekFirst(const QString &conditions, const std::vector<Variant> &binds)
{
    const TWhere range = RangeWhere();
    TSqliteStatement st(db_, SelectSql(QString(), NumberParams(conditions, binds.size(), range)));
    BindSearch(st, range, binds);
    while (st.Step()) {
        const TRowId rowid = st.ColumnInt(0);
        const int pos = PositionOf(rowid);
        if (pos < 0)
            continue;
        GoToPosition(pos);
        return true;
    }
    return false;
}

bool TTableCursor::SeekExactThenWholeMs(const QString &conditions, const std::vector<Variant> &binds,
                                        const std::vector<Variant> &wholeMs)
{
    if (SeekFirst(conditions, binds))
        return true;
    for (size_t i = 0; i < binds.size(); ++i)
        if (VarCompareValue(binds[i], wholeMs[i]) != TVariantRelationship::vrEqual)
            return SeekFirst(conditions, wholeMs);
    return false;
}

bool TTableCursor::FindKey(const TRowValues &key)
{
    QStringList conditions;
    std::vector<Variant> binds, wholeMs;
    for (size_t i = 0; i < key.size() && i < orderColumns_.size(); ++i) {
        const TColumnDef &c = def_.Columns[orderColumns_[i]];
        binds.push_back(StoredValue(c, key[i]));
        wholeMs.push_back(WholeMsValue(c, key[i]));
        conditions << QuoteName(c.Name) + QStringLiteral(" IS ?p") + QString::number(binds.size());
    }
    return SeekExactThenWholeMs(conditions.join(QStringLiteral(" AND ")), binds, wholeMs);
}

void TTableCursor::FindNearest(const TRowValues &key)
{
    QStringList cols, params;
    std::vector<Variant> binds;
    for (size_t i = 0; i < key.size() && i < orderColumns_.size(); ++i) {
        const TColumnDef &c = def_.Columns[orderColumns_[i]];
        binds.push_back(StoredValue(c, key[i]));
        cols << QuoteName(c.Name);
        params << QStringLiteral("?p") + QString::number(binds.size());
    }
    if (binds.empty() ||
        !SeekFirst(QStringLiteral("(%1) >= (%2)").arg(cols.join(u','), params.join(u',')), binds))
        Last();
}

QString TTableCursor::MatchConditions(const QStringList &fields, std::span<const Variant> values, bool caseInsensitive,
                                      bool partialKey, std::vector<Variant> &binds, std::vector<Variant> *wholeMs) const
{
    if (fields.size() != qsizetype(values.size()))
        throw EDatabaseError(QStringLiteral("Locate: %1 fields, %2 values").arg(fields.size()).arg(values.size()));
    QStringList conditions;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const int col = def_.ColumnIndex(fields[i]);
        if (col < 0)
            throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(fields[i]));
        const TColumnDef &c = def_.Columns[col];
        QString name = QuoteName(c.Name);
        Variant v = c.Kind == TColumnKind::Alpha && !VarIsClear(values[i]) ? Variant(values[i].AsString())
                                                                          : StoredValue(c, values[i]);
        if (c.Kind == TColumnKind::Alpha && !v.IsNull() && v.AsString().isEmpty())
            v = Variant::Null(); // an empty text is a null, as stored
        if (v.IsNull()) {
            conditions << name + QStringLiteral(" IS NULL");
            continue;
        }
        if (c.Kind == TColumnKind::Alpha && partialKey)
            name = QStringLiteral("substr(%1,1,%2)").arg(name).arg(v.AsString().size());
        if (wholeMs)
            wholeMs->push_back(c.Kind == TColumnKind::Timestamp ? WholeMsValue(c, v) : v);
        binds.push_back(v);
        const QString param = QStringLiteral("?p") + QString::number(binds.size());
        if (c.Kind == TColumnKind::Alpha && caseInsensitive)
            conditions << name + QStringLiteral(" = ") + param + QStringLiteral(" COLLATE RUSSIAN_CI");
        else
            conditions << name + QStringLiteral(" = ") + param;
    }
    return conditions.join(QStringLiteral(" AND "));
}

bool TTableCursor::Locate(const QStringList &fields, const TRowValues &values, bool caseInsensitive, bool partialKey)
{
    std::vector<Variant> binds, wholeMs;
    const QString conditions = MatchConditions(fields, values, caseInsensitive, partialKey, binds, &wholeMs);
    return SeekExactThenWholeMs(conditions, binds, wholeMs);
}

void TTableCursor::DropLookups()
{
    lookups_.clear();
    found_.clear();
}

const TRowValues *TTableCursor::LookupRow(const QString &keyText, const QStringList &fields,
                                         std::span<const Variant> values)
{
    // Answers are kept while nothing on the connection has written a row
    // (the walk of a grid asks for the same few people over and over).
    const int64_t changes = db_.TotalChanges();
    if (changes != foundAtChanges_) {
        found_.clear();
        foundAtChanges_ = changes;
    }
    TFound *kept = nullptr;
    for (TFound &f : found_)
        if (f.KeyText == keyText)
            kept = &f;
    if (!kept) {
        constexpr size_t MaxKeyTexts = 16;
        if (found_.size() >= MaxKeyTexts)
            found_.clear();
        kept = &found_.emplace_back(TFound{keyText, {}, {}});
    }
    const auto read = [&] {
        std::vector<Variant> binds;
        const QString conditions = MatchConditions(fields, values, false, false, binds);
        return ReadLookupRow(fields, values, conditions, binds);
    };
    // The answer for key in answers, read and kept when not known yet.
    const auto answer = [&](auto &answers, const auto &key) {
        auto known = answers.find(key);
        if (known == answers.end()) {
            if (answers.size() >= MaxFound)
                answers.clear();
            known = answers.insert(key, read());
        }
        return &*known;
    };
    const std::optional<TRowValues> *row = nullptr;
    const uint16_t type = values.size() == 1 ? values[0].VarType() : uint16_t(varEmpty);
    if (type == varSmallint || type == varInteger || type == varInt64) {
        row = answer(kept->ByInt, values[0].AsInt64());
    } else {
        QString key;
        for (const Variant &v : values)
            key += VarIsClear(v) ? QString(QChar(0x1e)) : QChar(0x1f) + v.AsString();
        row = answer(kept->ByText, key);
    }
    return row->has_value() ? &**row : nullptr;
}

std::optional<TRowValues> TTableCursor::ReadLookupRow(const QStringList &fields, std::span<const Variant> values,
                                                      const QString &conditions, const std::vector<Variant> &binds)
{
    const TWhere range = RangeWhere();
    // The cache is keyed by the condition text: the range and the filter, the
    // rest of the statement, clear the cache when they change.
    TSqliteStatement *st = nullptr;
    for (auto &[text, kept] : lookups_)
        if (text == conditions)
            st = kept.get();
    if (!st) {
        // A key that covers a unique index with values matches one row at
        // most: no order to keep, so SQLite may go straight to it instead of
        // walking the order's index.
        const auto unique = [&](const TTableIndexDef &index) {
            if (!index.Primary && !index.Unique)
                return false;
            for (const QString &f : index.Fields) {
                const qsizetype at = fields.indexOf(f, Qt::CaseInsensitive);
                if (at < 0 || VarIsClear(values[size_t(at)]))
                    return false;
            }
            return !index.Fields.isEmpty();
        };
        const bool single = std::any_of(def_.Indexes.begin(), def_.Indexes.end(), unique);
        const QString sql = SelectSql(ColumnListSql(), NumberParams(conditions, binds.size(), range), !single) +
                            QStringLiteral(" LIMIT 1");
        constexpr size_t MaxKept = 8; // a null key changes the text; keep the set small
        if (lookups_.size() >= MaxKept)
            lookups_.erase(lookups_.begin());
        lookups_.emplace_back(conditions, std::make_unique<TSqliteStatement>(db_, sql));
        st = lookups_.back().second.get();
    }
    st->Reset();
    BindSearch(*st, range, binds);
    std::optional<TRowValues> row;
    try {
        if (st->Step())
            row = ReadRow(*st, 1);
    } catch (...) {
        st->Reset();
        throw;
    }
    st->Reset(); // no statement stays active between calls
    return row;
}

// ---- writing ----

void TTableCursor::SettleWrittenRow()
{
    const TWhere range = RangeWhere();
    if (!current_ || (range.Sql.isEmpty() && filterSql_.isEmpty()))
        return;
    if (!visible_) {
        visible_ = std::make_unique<TSqliteStatement>(
            db_, SelectSql(QString(), QStringLiteral("rowid=?") + QString::number(range.Binds.size() + 1)));
    }
    visible_->Reset();
    BindWhere(*visible_, range);
    visible_->BindInt(int(range.Binds.size()) + 1, *current_);
    const bool visible = visible_->Step();
    visible_->Reset();
    if (visible)
        return;
    // The rows before it in order decide where the cursor goes.
    QStringList cols, params;
    std::vector<Variant> binds;
    for (int c : orderColumns_) {
        cols << QuoteName(def_.Columns[c].Name);
        binds.push_back(values_[c]);
        params << QStringLiteral("?p") + QString::number(binds.size());
    }
    cols << QStringLiteral("rowid");
    binds.push_back(Variant(static_cast<long long>(*current_)));
    params << QStringLiteral("?p") + QString::number(binds.size());
    QString cond = QStringLiteral("(%1) < (%2)").arg(cols.join(u','), params.join(u','));
    for (size_t i = binds.size(); i >= 1; --i)
        cond.replace(QStringLiteral("?p%1").arg(i), u'?' + QString::number(range.Binds.size() + i));
    TSqliteStatement count(db_, QStringLiteral("SELECT count(*) FROM (%1)").arg(SelectSql(QString(), cond)));
    BindWhere(count, range);
    for (size_t i = 0; i < binds.size(); ++i)
        BindVariant(count, int(range.Binds.size() + i + 1), binds[i]);
    count.Step();
    const int before = int(count.ColumnInt(0));
    current_.reset();
    InvalidateList();
    EnsureList();
    if (list_.empty())
        SetEmpty();
    else
        GoToPosition(std::min(before, int(list_.size()) - 1));
}

void TTableCursor::Insert(const TRowValues &values)
{
    const TRowValues stored = StoredRow(values);
    if (!insert_) {
        QStringList params;
        for (size_t i = 1; i <= def_.Columns.size(); ++i)
            params << u'?' + QString::number(i);
        insert_ = std::make_unique<TSqliteStatement>(
            db_, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                     .arg(QuoteName(def_.Name), ColumnListSql(), params.join(u',')));
    }
    insert_->Reset();
    for (size_t i = 0; i < stored.size(); ++i)
        BindVariant(*insert_, int(i) + 1, stored[i]);
    insert_->Step();
    insert_->Reset();
    InvalidateList();
    current_ = db_.LastInsertRowId();
    values_ = stored;
    bof_ = eof_ = false;
    SettleWrittenRow();
}

void TTableCursor::Update(const TRowValues &values)
{
    if (!current_)
        throw EDatabaseError(QStringLiteral("No current record"));
    TRowValues stored = StoredRow(values);
    // A value the edit left as it was read goes back exactly as stored: a
    // stamp of a file written elsewhere is no whole millisecond, and
    // StoredValue would move it (and with it the row's key, and the link of
    // a transfer's two legs).
    if (values_.size() == stored.size())
        for (size_t i = 0; i < stored.size(); ++i)
            if ((values[i].IsNull() && values_[i].IsNull()) ||
                (!values[i].IsNull() && !values_[i].IsNull() &&
                 values[i].VarType() == values_[i].VarType() &&
                 VarCompareValue(values[i], values_[i]) == TVariantRelationship::vrEqual))
                stored[i] = values_[i];
    if (!update_) {
        QStringList sets;
        for (size_t i = 0; i < def_.Columns.size(); ++i)
            sets << QuoteName(def_.Columns[i].Name) + QStringLiteral("=?") + QString::number(i + 1);
        update_ = std::make_unique<TSqliteStatement>(
            db_, QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?%3")
                     .arg(QuoteName(def_.Name), sets.join(u','))
                     .arg(def_.Columns.size() + 1));
    }
    update_->Reset();
    for (size_t i = 0; i < stored.size(); ++i)
        BindVariant(*update_, int(i) + 1, stored[i]);
    update_->BindInt(int(stored.size()) + 1, *current_);
    update_->Step();
    update_->Reset();
    streamed_.clear();
    if (db_.Changes() == 0)
        throw EDatabaseError(QStringLiteral("Record not found"));
    // The walk may go on by the key list; the order only changes when a key
    // field does.
    streamLive_ = false;
    for (int c : orderColumns_)
        if (!(VarCompareValue(stored[c], values_[c]) == TVariantRelationship::vrEqual ||
              (stored[c].IsNull() && values_[c].IsNull())))
            InvalidateList();
    values_ = stored;
    SettleWrittenRow();
}

void TTableCursor::Delete()
{
    if (!current_)
        throw EDatabaseError(QStringLiteral("No current record"));
    EnsureList();
    TSqliteStatement st(db_, QStringLiteral("DELETE FROM %1 WHERE rowid=?1").arg(QuoteName(def_.Name)));
    st.BindInt(1, *current_);
    st.Step();
    streamLive_ = false;
    streamed_.clear();
    int pos = pos_;
    if (pos >= 0)
        list_.erase(list_.begin() + pos);
    current_.reset();
    if (list_.empty()) {
        SetEmpty();
        return;
    }
    GoToPosition(std::clamp(pos, 0, int(list_.size()) - 1));
}

TRowId TTableCursor::GetBookmark() const
{
    return current_.value_or(0);
}

bool TTableCursor::BookmarkValid(TRowId bookmark)
{
    return PositionOf(bookmark) >= 0;
}

void TTableCursor::GotoBookmark(TRowId bookmark)
{
    if (current_ == bookmark && (pos_ >= 0 || streamLive_))
        return;
    const int pos = PositionOf(bookmark);
    if (pos < 0)
        throw EDatabaseError(QStringLiteral("Record not found"));
    GoToPosition(pos);
}

} // namespace zorbel
