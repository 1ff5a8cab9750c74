// TTableCursor: a navigational cursor over one SQLite table in the order of
// an index (the fields of IndexFieldNames, of a named index, or of the primary
// key; the row id breaks ties), limited by an optional key range and an
// optional filter condition in SQL. It is the engine under TTable.
//
// Rows are addressed by SQLite's rowid, which is also the bookmark. The cursor
// keeps:
//   - the current row: its rowid and its values (read once per move);
//   - a forward stream: the ordered SELECT that First() starts; Next() steps it
//     while no write has happened, so a walk costs one sqlite3_step per row;
//   - the key list: the rowids of the whole range in order, built on demand
//     (Prior, Last, RecNo, RecordCount, Locate, a Next after a write) and
//     dropped when a write may change the order or the membership; before
//     it exists, the positions of the rows streamed since First and the
//     count of an optional row counter stand in for it.
// Every write is one autocommitted statement, so queries see it at once.
#pragma once

#include "platform/sqltable/SqlSchema.h"

#include <QHash>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace zorbel {

using TRowValues = std::vector<Variant>;
using TRowId = int64_t; // SQLite rowid: the bookmark of a table row

class TTableCursor {
public:
    // Requires: def describes the table as stored (ReadTableDef).
    TTableCursor(TSqliteDb &db, TTableDef def);
    ~TTableCursor();
    TTableCursor(const TTableCursor &) = delete;
    TTableCursor &operator=(const TTableCursor &) = delete;

    const TTableDef &Def() const { return def_; }
    int FieldIndex(const QString &name) const { return def_.ColumnIndex(name); }

    // Order: ";"-separated field names, an index name, or (both empty) the
    // primary key. Raises EDatabaseError for an unknown field or index. The
    // range is cancelled; the cursor goes to its first row.
    void SetOrder(const QString &indexFieldNames, const QString &indexName);
    const QStringList &OrderFields() const { return order_; }

    // Range over the leading order fields (partial keys allowed; a null in a
    // bound sorts before every value); an empty bound is open. Applying goes
    // to the first row.
    void SetRange(const TRowValues &start, const TRowValues &end);
    void CancelRange();
    // Filter condition (an SQL expression over the columns; empty: none)
    // applied on top of the range.
    void SetFilterSql(const QString &condition);
    // 1-based position of the row in cursor order; 0 when outside.
    int RecNoOf(TRowId rowid);
    std::optional<TRowId> Current() const { return current_; }

    void First();
    void Last();
    void Next();
    void Prior();
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty();
    int RecordCount();
    // Counts the rows of a range without listing them: given the order's
    // fields and the range's bounds, the number of rows the range holds, or
    // nothing when the counter cannot tell. Asked only while no filter
    // applies and the key list is not built.
    using TRowCounter =
        std::function<std::optional<int>(const QStringList &order, const TRowValues &start, const TRowValues &end)>;
    void SetRowCounter(TRowCounter counter) { counter_ = std::move(counter); }
    // 1-based position of the current row; 0 when there is none.
    int RecNo();
    void SetRecNo(int recNo);

    bool HasRow() const { return current_.has_value(); }
    // Requires: HasRow().
    const TRowValues &Values() const { return values_; }

    // First row whose leading order fields equal key; false (cursor kept)
    // when none.
    bool FindKey(const TRowValues &key);
    // First row at or after key in index order, else the last row.
    void FindNearest(const TRowValues &key);
    // First row in cursor order whose fields equal values; texts compared
    // case-blind and/or as prefixes when asked. False (cursor kept) when none.
    bool Locate(const QStringList &fields, const TRowValues &values, bool caseInsensitive, bool partialKey);
    // The row Locate (exact, case-sensitive) would go to, read without moving
    // the cursor; nullptr when none. Lookup fields call it once per record, so
    // its statements stay prepared (one per distinct condition text) and are
    // only reset and bound again. keyText names the fields as the caller
    // wrote them (it keys the kept answers). The row stays valid until the
    // next call on this cursor.
    const TRowValues *LookupRow(const QString &keyText, const QStringList &fields, std::span<const Variant> values);

    // Writes; values hold one entry per column (converted by StoredValue).
    // Insert and Update leave the cursor on the written row, or, when it falls
    // outside the range or filter, on the row that takes its place in order;
    // Delete on the row that followed (or the new last row).
    void Insert(const TRowValues &values);
    void Update(const TRowValues &values);
    void Delete();

    TRowId GetBookmark() const;
    bool BookmarkValid(TRowId bookmark);
    // Raises EDatabaseError "Record not found" when the row is gone or lies
    // outside the range or filter.
    void GotoBookmark(TRowId bookmark);

    // Re-reads the range; stays on the current row when it still belongs to it.
    void Refresh();
    // Finishes the forward stream (the walk goes on by the key list) and drops
    // the kept lookup statements.
    void ReleaseStream();

private:
    struct TWhere {
        QString Sql; // conditions joined with AND, or empty
        std::vector<std::pair<int, Variant>> Binds; // (parameter number, value)
    };

    QString OrderBySql() const;
    QString ColumnListSql() const;
    TWhere RangeWhere() const;
    void BindWhere(TSqliteStatement &st, const TWhere &where) const;
    // ordered: in cursor order (else in no particular order).
    QString SelectSql(const QString &columns, const QString &extraWhere, bool ordered = true) const;
    TRowValues ReadRow(const TSqliteStatement &st, int firstColumn) const;
    // The same into row, reusing its storage (the walk reads every row so).
    void ReadRowInto(const TSqliteStatement &st, int firstColumn, TRowValues &row) const;
    TRowValues StoredRow(const TRowValues &values) const;

    void InvalidateList();
    void EnsureList();
    int PositionOf(TRowId rowid);
    bool FetchRow(TRowId rowid);
    void GoToPosition(int pos);
    void SetEmpty();
    bool SeekFirst(const QString &conditions, const std::vector<Variant> &binds);
    // SeekFirst by binds, which hold stamps as given; when no row matches,
    // once more by wholeMs (the same values, stamps at their whole
    // millisecond: WholeMsValue) if any stamp differs there.
    bool SeekExactThenWholeMs(const QString &conditions, const std::vector<Variant> &binds,
                              const std::vector<Variant> &wholeMs);
    // Conditions "field = ?pN" (or IS NULL) for Locate and LookupRow, with
    // their parameter values; wholeMs, when given, gets the same values with
    // stamps at their whole millisecond.
    QString MatchConditions(const QStringList &fields, std::span<const Variant> values, bool caseInsensitive,
                            bool partialKey, std::vector<Variant> &binds,
                            std::vector<Variant> *wholeMs = nullptr) const;
    // The range's and the filter's parameters, then binds after them.
    void BindSearch(TSqliteStatement &st, const TWhere &range, const std::vector<Variant> &binds) const;
    // Renumbers "?pN" after the range's own parameters.
    static QString NumberParams(QString conditions, size_t count, const TWhere &range);
    // LookupRow's query (a kept statement per condition text).
    std::optional<TRowValues> ReadLookupRow(const QStringList &fields, std::span<const Variant> values,
                                            const QString &conditions, const std::vector<Variant> &binds);
    // Forgets the kept lookup statements and answers.
    void DropLookups();
    // After a write: moves off the current row when the range or the filter
    // leaves it out.
    void SettleWrittenRow();

    TSqliteDb &db_;
    TTableDef def_;
    QStringList order_;
    std::vector<int> orderColumns_;
    TRowValues rangeStart_, rangeEnd_;
    QString filterSql_;
    TRowCounter counter_;

    std::optional<TRowId> current_;
    TRowValues values_;
    bool bof_ = true;
    bool eof_ = true;

    std::unique_ptr<TSqliteStatement> stream_; // in step with current_ while streamLive_
    bool streamLive_ = false;
    // The rows the stream gave since First, in order: the head of the key
    // list, which tells the position of a row near the top (the grid's
    // scroll bar) before the list is built. Cleared by every write.
    std::vector<TRowId> streamed_;
    static constexpr size_t MaxStreamed = 4096;
    void Streamed(TRowId rowid)
    {
        if (streamed_.size() < MaxStreamed)
            streamed_.push_back(rowid);
    }
    std::unique_ptr<TSqliteStatement> fetch_;
    std::unique_ptr<TSqliteStatement> insert_;
    std::unique_ptr<TSqliteStatement> update_;
    std::unique_ptr<TSqliteStatement> visible_; // is a rowid in range and filter? (SettleWrittenRow)
    // LookupRow's statements by condition text; dropped when the order, range or
    // filter changes (their texts change with them) and by ReleaseStream.
    std::vector<std::pair<QString, std::unique_ptr<TSqliteStatement>>> lookups_;
    // LookupRow's answers, per key text: by the value of a single integer key
    // (the usual id lookup) or else by the values as text. Valid while the
    // connection's count of written rows stays foundAtChanges_.
    struct TFound {
        QString KeyText;
        QHash<int64_t, std::optional<TRowValues>> ByInt;
        QHash<QString, std::optional<TRowValues>> ByText;
    };
    static constexpr qsizetype MaxFound = 16384; // answers per key text
    std::vector<TFound> found_;
    int64_t foundAtChanges_ = -1;

    std::vector<TRowId> list_;
    bool listValid_ = false;
    int pos_ = -1; // index of current_ in list_ when known, else -1
};

} // namespace zorbel
