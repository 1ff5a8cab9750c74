// TQuery: one of the program's SQL texts as a dataset. The text is a list of
// lines that callers rewrite, append to and cut; it passes through the dialect
// step (SqlDialect.h) on every Open and ExecSQL. Parameters (":name", matched
// without regard to case) are re-read from the text whenever it changed,
// keeping the values of the names that remain; each is bound by its data
// type, and one the caller left unset takes the value of the master
// DataSource's field of the same name.
//
// Open reads the whole result into memory, packed (QueryRows.h), or, with
// KeyedRows, only the rowids of its rows and each row when it is reached;
// fields are typed from the columns' declared types (min/max of a date column
// stays a date), else from the query's persistent fields, else from the values. With RequestLive on a query over
// one table, edits and deletes write back to that table by rowid. A filter
// text (Filtered) runs as an SQL condition over the result.
#pragma once

#include "platform/dataset/DataSource.h"
#include "platform/sqltable/QueryRows.h"
#include "platform/sqltable/SqlDataSet.h"

#include <functional>
#include <memory>

namespace zorbel {

class TSqliteStatement;

class TParam {
public:
    explicit TParam(QString name) : name_(std::move(name)) {}

    const QString &Name() const { return name_; }
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType type) { dataType_ = type; }
    // Empty until assigned; Null after Clear.
    const Variant &Value() const { return value_; }
    void SetValue(const Variant &value) { value_ = value; }
    bool Bound() const { return !value_.IsEmpty(); }
    bool IsNull() const { return VarIsClear(value_); }
    void Clear() { value_ = Variant::Null(); }

    // Typed setters also set the data type: the value is then bound as that
    // column kind (a date as a day serial, a small integer in range), and a
    // changed SQL text keeps it for a parameter of the same name.
    void SetAsSmallInt(int value) { Set(ftSmallint, Variant(int16_t(value))); }
    void SetAsInteger(int value) { Set(ftInteger, Variant(value)); }
    void SetAsFloat(double value) { Set(ftFloat, Variant(value)); }
    void SetAsString(const QString &value) { Set(ftString, Variant(value)); }
    void SetAsDate(TDateTime value) { Set(ftDate, Variant::FromDate(value)); }
    void SetAsDateTime(TDateTime value) { Set(ftDateTime, Variant::FromDate(value)); }
    void SetAsBoolean(bool value) { Set(ftBoolean, Variant(value)); }
    int AsInteger() const { return value_.AsInteger(); }
    double AsFloat() const { return value_.AsDouble(); }
    QString AsString() const { return VarToStr(value_); }
    TDateTime AsDateTime() const { return value_.AsDate(); }

private:
    void Set(TFieldType type, const Variant &value)
    {
        dataType_ = type;
        value_ = value;
    }
    QString name_;
    TFieldType dataType_ = ftUnknown;
    Variant value_;
};

class TParams {
public:
    int Count() const { return int(items_.size()); }
    TParam *Items(int index) const { return items_.at(size_t(index)).get(); }
    TParam *operator[](int index) const { return Items(index); }
    // Case-insensitive; nullptr when missing.
    TParam *FindParam(const QString &name) const;
    // Raises EDatabaseError "Parameter 'x' not found".
    TParam *ParamByName(const QString &name) const;
    TParam *CreateParam(const QString &name);
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<TParam>> items_;
};

class TQuery : public TSqlDataSet {
public:
    TQuery();
    ~TQuery() override;

    // The text. New lines end an open result: the next Open (or ExecSQL)
    // closes the query and runs them.
    QStringList &SQL() { return sql_; }
    const QStringList &SQL() const { return sql_; }
    TParams &Params();
    TParam *ParamByName(const QString &name) { return Params().ParamByName(name); }
    int ParamCount() { return Params().Count(); }
    bool ParamCheck() const { return paramCheck_; }
    void SetParamCheck(bool value) { paramCheck_ = value; }
    bool RequestLive() const { return requestLive_; }
    void SetRequestLive(bool value);
    // Keyed rows: Open reads only the rowid of each result row, in the
    // result's order, and the values of a row when it is first reached, a
    // block of rows at a time by rowid. For a list of hundreds of thousands
    // of operations that a grid shows a screenful of: opening costs the
    // keys, not the rows. A row reached after its table row was changed
    // shows it as it then stands; one deleted meanwhile shows nulls.
    // Applies to a text of the form "select <list> from <table> [where ...]
    // [order by ...]" without parameters in its list, whose columns are typed
    // by their table or by persistent fields, without a filter and not live;
    // any other text is read whole, as without it. Reaching a row may read
    // the database: a keyed query is walked on the window thread only, never
    // by a report's background run.
    bool KeyedRows() const { return keyedRows_; }
    void SetKeyedRows(bool value);
    // True while the open result is read by keys (for tests).
    bool ReadingByKeys() const { return keyed_; }
    // Master: parameters left unset take its fields' values; the query reopens
    // when the master scrolls to a row with other values.
    TDataSource *DataSource() const;
    void SetDataSource(TDataSource *source);

    // Runs the text without a result; RowsAffected counts the changed rows.
    void ExecSQL();
    int RowsAffected() const { return rowsAffected_; }
    // Runs the text with its parameters and hands each result row to Row as
    // the statement gives it, keeping none: for callers that fold a large
    // result while it streams (the analyses' sums per day, which would
    // otherwise be read into memory whole or sorted by the engine). Stops
    // when Row returns false. The query stays closed; failures raise as
    // Open's do.
    void ForEachRow(const std::function<bool(const TSqliteStatement &)> &Row);
    void Prepare() {}
    void UnPrepare() {}

    bool BookmarkValid(const TBookmark &bookmark) const override;
    void SetActive(bool value) override;
    // A filter text restricts the rows read (also re-read when it changes
    // while the query is open).
    void SetFiltered(bool value) override;
    void SetFilterText(const QString &text) override;
    void SetFilterOptions(TFilterOptions options) override;

    // Reopens when a master value behind a parameter changed.
    void RefreshParams();

protected:
    TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() const override { return open_; }
    void InternalFirst() override { pos_ = -1; }
    void InternalLast() override { pos_ = int(RowCount()); }
    void InternalGotoBookmark(const void *bookmark) override;
    void InternalSetToRecord(TRecordBuffer buffer) override { pos_ = int(Rec(buffer)->RowId); }
    void InternalAddRecord(TRecordBuffer buffer, bool append) override;
    void InternalDelete() override;
    void InternalPost() override;
    int GetRecordCount() const override { return int(RowCount()); }
    int GetRecNo() const override;
    void SetRecNoImpl(int value) override;
    bool GetCanModify() const override { return live_; }

private:
    class TMasterLink;

    TSqliteDb &Db() const;
    void SyncParams();
    // Binds the parameters named in names (1-based in order) to st.
    void BindParams(TSqliteStatement &st, const QStringList &names);
    Variant ParamValue(const QString &name) const;
    // The table a live result writes to, or empty when the text does not allow it.
    QString LiveTable(const QString &sql) const;
    // Reads the result rows of st (columns as readColumns_).
    void ReadRows(TSqliteStatement &st);
    // Opens by keys when the text allows it (see SetKeyedRows): true when
    // the keys were read; text is the statement with its head rewritten to
    // select the rowid first.
    bool ReadKeys(const QString &text, const QStringList &paramNames);
    // The number of result rows, read or not.
    size_t RowCount() const { return keyed_ ? keys_.size() : rows_.size(); }
    // The values of result row `row` into values, reading its block by keys
    // when it was not read yet.
    void ReadRow(size_t row, std::vector<Variant> &values);
    // Reads the rows again through the filter condition (or without one).
    void ApplyFilter();
    // ApplyFilter on an open query, then to the first row.
    void Refilter();
    // Closes an open query whose lines changed since it opened.
    void CloseIfTextChanged();

    QStringList sql_;
    QString parsedText_;
    TParams params_;
    bool paramCheck_ = true;
    bool requestLive_ = false;
    bool keyedRows_ = false;
    int rowsAffected_ = 0;
    std::unique_ptr<TMasterLink> masterLink_;

    bool open_ = false;
    bool live_ = false;
    TTableDef liveDef_;                       // the written table, when live_
    std::vector<int> liveColumns_;            // result column -> table column
    QString openedSql_;                       // the lines opened, joined
    QString openText_;                        // the statement opened, as SQLite runs it
    QStringList openParamNames_;              // its parameters, bound as ?1, ?2, ...
    std::vector<TColumnDef> readColumns_;     // the kinds its columns are read as
    TQueryRows rows_;                         // the result
    std::vector<Variant> rowValues_;          // a row being read or unpacked
    std::vector<int64_t> rowIds_;             // table rowid of each row, when live_
    int pos_ = -1;                            // current row; -1 / size(): the cracks
    // Keyed reading: the open result's rowids in order; for each, its place
    // in rows_ once read (-1 before); the statement that reads one row.
    bool keyed_ = false;
    std::vector<int64_t> keys_;
    std::vector<int32_t> keySlots_;
    QString keyRowText_;
};

} // namespace zorbel
