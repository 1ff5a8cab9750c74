// The operations' income and expense per account and day, held in memory so
// that the ledger's balance sums over any period cost the same at a million
// operations as at a thousand.
//
// What it answers: the number of an account's rows in a range of days, and,
// for one account, one kind class (realised: Kind '1';
// planned: Kind '2', the rows of "kind>'1'") and whole days d1..d2, the
// totals of Dt and Ct in units of 1/10000, exactly as the sums of the rows'
// amounts each rounded to units (the program's money model). An answer is
// given only where it is certain to be that; everywhere else the caller runs
// its query:
//   - before the first walk of the operations (Build), and after anything
//     the cache cannot follow dropped it: a rollback (whole or to a
//     savepoint), a change of the table's structure, a change seen by the
//     connection that the row hook did not see (counts compared on every
//     answer), another data set opened;
//   - for an account holding a row the cache does not model: a date that is
//     not a whole day, a kind other than '1' and '2', an amount that is not
//     a number on the grid of 1/10000 within the program's money range;
//   - for every account while some row's account is not a whole number;
//   - for bounds that are not whole days, and totals beyond 64 bits.
//
// Layout: one series per (account, class); a series holds its cells in four
// levels, the sums of single days and of aligned blocks of 64, 4096 and
// 262144 days, each level a hash map from the block's number to its two
// 128-bit totals. A range sum takes at most 63 cells at each edge of the
// three lower levels and the blocks of the top level between them: a few
// hundred lookups for any range.
//
// The data file is untrusted: nothing of the cache is read from it or kept
// in it. It lives in memory only and is filled by one walk of Tb_Hist in
// rowid order, which the window runs in slices of a few milliseconds between
// its events (BuildFor), so that no click waits for the whole walk. Between
// slices no statement of the walk stays open (a DROP or VACUUM is never
// refused because of it), and every write is followed already: a change to
// a row below the walk's position is applied to the cells, a row at or past
// it is read later as it then stands.
//
// Keeping current: SQLite's pre-update hook sees the old and new values of
// every row the connection inserts, updates or deletes, whatever statement
// does it (the dataset's posts, raw statements of moves and purges, imports,
// packets). Rolled-back changes and changes to the structure are caught by
// the rollback hook and by the authorizer (a ROLLBACK or ROLLBACK TO, any
// DROP or ALTER TABLE), which drop the cache (or start a walk under way
// again); the window then walks the table again in slices.
//
// Kept between sessions (core/ZorbSumsStore.h): for contents this user's
// program knows by their digest (core/ZorbKnown.h) the complete cache is
// written to the user's own data folder as an image of its day cells, and
// taken back when the same contents open again, so that the first click
// after opening them needs no walk. The image is never read from or written
// to a data file. It is taken only for a database that nothing has changed
// since it was unpacked (the connection has written nothing, its schema and
// data versions are those seen when the contents were named) and only when
// it fits the table (schema version, column positions, row count and largest
// rowid); the blocks above the days are added up again from the days.
//
// An image taken back answers at once, but until it has been checked against
// the rows it is a claim: the walk then runs over the rows in the same slices
// as a walk for a cache that was never kept, into cells of its own, and where
// its days differ from the image's the walked cells replace them (Corrections
// counts it). Whatever writes or decides (the repair of a stored balance, the
// bound of a planned balance, the analysis windows) asks for Checked sums, so
// a damaged or edited image can show a wrong figure for the moment of the
// check at most and never reaches a stored one.
//
// The sums stay those of the named contents (SumsFor) through the writes
// that leave every row's account, date, kind and amounts as they were: the
// opening's fill of years and months, the default account's mark, a new
// index. So contents received from elsewhere, remembered after their whole
// check, keep their sums although their opening wrote to them.
#pragma once

#include "core/ZorbKnown.h"
#include "platform/rtl/DateTime.h"
#include "platform/sqltable/TableCursor.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <optional>

namespace zorbel {

class TDatabase;

enum class TSumClass : int { Realised = 0, Planned = 1 };

class THistSums {
public:
    explicit THistSums(TDatabase &db);
    ~THistSums();
    THistSums(const THistSums &) = delete;
    THistSums &operator=(const THistSums &) = delete;

    // True while the cache holds every row of the connection's Tb_Hist as it
    // stands now (checks that no change escaped the hook), whether walked or
    // taken back from an image.
    bool Ready();
    // True while Ready and the cells are known to be those of the rows: they
    // were walked, or an image taken back has been checked by a walk.
    bool Checked();
    // Fills the cache by one walk of Tb_Hist (or checks an image taken back)
    // and starts following its changes. Nothing happens when it is checked or
    // the database is closed; a failing walk leaves it not ready.
    void Build();

    enum class TProgress { Ready, Going, Failed };
    // Walks on for about Ms milliseconds (at least a few rows), starting a
    // walk when none is under way: Ready when the cache is complete and
    // checked, Going when rows are left for the next call, Failed when the
    // table cannot be walked (closed database, a shape the hook cannot
    // follow, an error). A rollback or an unseen change during the walk
    // starts it again; a new schema starts a check again (the image it
    // checks stays).
    TProgress BuildFor(int Ms);
    // True while a walk has started and not finished.
    bool Building() const;
    // Forgets the cache (the next Build fills it again).
    void Drop();

    // The totals of income (Dt) and expense (Ct), in units, of the rows of
    // Account and Class dated D1..D2, both included. False when the cache
    // cannot answer exactly (see the file comment): the caller runs its query.
    bool Sums(int Account, TSumClass Class, TDateTime D1, TDateTime D2, int64_t &Income, int64_t &Expense);

    // The number of rows of Account (every kind) in the whole table (Whole)
    // or dated D1..D2, as the ledger's key range holds them; nothing when the
    // cache cannot tell.
    std::optional<int64_t> Rows(int Account, bool Whole, TDateTime D1, TDateTime D2);

    // The number of Account's realised rows (Kind '1') dated D1..D2, both
    // whole days; nothing when the cache cannot tell (as for Sums).
    std::optional<int64_t> RealisedRows(int Account, TDateTime D1, TDateTime D2);

    // How often the cache has been dropped since it was made (for tests).
    int Drops() const;
    // How often the check of an image found cells that differ from the
    // rows and replaced them by the walked ones.
    int Corrections() const;

    // Names the contents the connection's database holds at this moment
    // (the key of the file just unpacked and checked, or just packed from
    // it). Requires: the database is connected, holds exactly those contents
    // and its structure has been checked (Tb_Hist is a table).
    void NameContents(const TContentKey &Key);
    // The contents named last while the database is unchanged since (no row
    // written by the connection, no change of schema, nothing committed by
    // another connection, the same connection); an invalid key otherwise.
    TContentKey Contents();
    // The contents named last while the cache's cells are theirs: every
    // change since was seen by the hook and left every row of Tb_Hist as the
    // cache reads it (no row added, removed or renumbered, no account, date,
    // kind or amount changed), nothing was committed by another connection
    // and the table was neither altered nor replaced; an invalid key
    // otherwise.
    TContentKey SumsFor();
    // The contents whose kept image the cache was last taken from (Adopt
    // while contents were named); an invalid key when none.
    TContentKey AdoptedFor() const;
    // The complete cache as bytes Adopt takes back (for the contents SumsFor
    // names, when it names any: their schema version); empty when not ready.
    QByteArray Image();
    // Replaces the cache by the one Image made from the same contents as the
    // database holds now, and follows its changes from here on; it answers
    // at once and is checked by the next walk (Checked is false until then).
    // False, with the cache as before, when the bytes are damaged or of
    // another format, or do not fit the table as it stands.
    bool Adopt(const QByteArray &Image);

private:
    struct TState;
    std::unique_ptr<TState> s_;
};

// Counts the ledger's ranges of Tb_Hist (one account, whole or between two
// days, over the order Id_Account;Date_Real;...) from Sums, so that the
// status bar's row count and the grid's scroll bar need no list of the
// range's rows.
TTableCursor::TRowCounter LedgerRowCounter(THistSums &Sums);

} // namespace zorbel
