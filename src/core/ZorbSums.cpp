// The in-memory day sums of the operations (see ZorbSums.h): the walk that
// fills them, the hooks that keep them current, the range sums and the
// ledger's row counts, and the image that keeps them between sessions.
#include "core/ZorbSums.h"

#include "platform/rtl/Money.h"
#include "platform/sqltable/Database.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
// Debian's SQLite is built with the pre-update hook; its declarations are
// shown only on request.
#define SQLITE_ENABLE_PREUPDATE_HOOK 1
#include <sqlite3.h>
#include <unordered_map>
#include <vector>

namespace zorbel {

namespace {

using TTotal = __int128;

struct TCell {
    TTotal Dt = 0, Ct = 0;
};

// Level L holds blocks of 2^(6L) days: 1, 64, 4096, 262144.
constexpr int Levels = 4;
constexpr int LevelBits = 6;
constexpr int64_t LevelMask = (int64_t(1) << LevelBits) - 1;
// Days and account numbers beyond this are not modelled.
constexpr double WholeLimit = 1099511627776.0; // 2^40

using TCells = std::unordered_map<int64_t, TCell>;

struct TSeries {
    TCells Cells[Levels];
};

// The series of an account: realised and planned sums (by TSumClass), and
// the number of its rows of every kind by day (in Dt) and of those summed as
// realised (in Ct: the months of the monthly balances are those that have one).
constexpr int RowSeries = 2;

struct TAccount {
    int64_t Rows = 0;   // all its rows
    int64_t Odd = 0;    // rows dated by a number that is not a whole day
    int64_t Unsafe = 0; // rows whose amounts the sums do not model
    TSeries Series[3];
};

// How a row's date compares with whole-day bounds.
enum class TDateShape {
    Day,     // a whole day
    Undated, // null, text or blob: outside every range of days
    Odd,     // another number: answered by the query
};

// What one row means to the cache. A row whose account is not a whole
// number leaves every account to the queries while it exists; a row that is
// not summed leaves its account's sums to them.
struct TRow {
    bool Whole = false; // the account is a whole number
    int64_t Account = 0;
    TDateShape Date = TDateShape::Odd;
    int64_t Day = 0;
    bool Summed = false; // a day, a kind class and two amounts
    int Class = 0;
    int64_t Dt = 0, Ct = 0;
};

// A number that is a whole value below 2^40, as the comparison with an
// integer parameter sees it.
bool WholeValue(sqlite3_value *v, int64_t &out)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: {
        const int64_t i = sqlite3_value_int64(v);
        if (i <= -int64_t(WholeLimit) || i >= int64_t(WholeLimit))
            return false;
        out = i;
        return true;
    }
    case SQLITE_FLOAT: {
        const double d = sqlite3_value_double(v);
        if (!(std::fabs(d) < WholeLimit) || d != std::trunc(d))
            return false;
        out = int64_t(d);
        return true;
    }
    default: return false;
    }
}

// An amount as units: null counts nothing; a number within the money range
// that lies on the grid of 1/10000 (up to the last bits of the double) is
// its rounded units. Anything else cannot be summed the way the query sums it.
bool AmountUnits(sqlite3_value *v, int64_t &out)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL: out = 0; return true;
    case SQLITE_INTEGER: {
        const int64_t i = sqlite3_value_int64(v);
        if (!MoneyInRange(double(i)))
            return false;
        out = i * MoneyScale;
        return true;
    }
    case SQLITE_FLOAT: {
        const double d = sqlite3_value_double(v);
        if (!MoneyInRange(d))
            return false;
        const int64_t units = MoneyToUnits(d);
        const double a = std::fabs(d);
        if (std::fabs(d - UnitsToMoney(units)) > 2 * (std::nextafter(a, INFINITY) - a))
            return false;
        out = units;
        return true;
    }
    default: return false;
    }
}

// The kind class: exactly '1' or '2'.
bool KindClass(sqlite3_value *v, int &out)
{
    if (sqlite3_value_type(v) != SQLITE_TEXT || sqlite3_value_bytes(v) != 1)
        return false;
    const char c = *reinterpret_cast<const char *>(sqlite3_value_text(v));
    if (c != '1' && c != '2')
        return false;
    out = c == '1' ? int(TSumClass::Realised) : int(TSumClass::Planned);
    return true;
}

// values: Id_Account, Date_Real, Kind, Dt, Ct.
TRow ReadRow(sqlite3_value *const values[5])
{
    TRow r;
    r.Whole = WholeValue(values[0], r.Account);
    switch (sqlite3_value_type(values[1])) {
    case SQLITE_NULL:
    case SQLITE_TEXT:
    case SQLITE_BLOB: r.Date = TDateShape::Undated; break;
    default: r.Date = WholeValue(values[1], r.Day) ? TDateShape::Day : TDateShape::Odd; break;
    }
    r.Summed = r.Date == TDateShape::Day && KindClass(values[2], r.Class) && AmountUnits(values[3], r.Dt) &&
               AmountUnits(values[4], r.Ct);
    return r;
}

// Adds to the cells of a day at the first levels of a series.
void AddDay(TSeries &s, int levels, int64_t day, TTotal dt, TTotal ct)
{
    for (int level = 0; level < levels; ++level) {
        TCell &c = s.Cells[level][day >> (LevelBits * level)];
        c.Dt += dt;
        c.Ct += ct;
    }
}

void AddTo(TCell &sum, const TCells &cells, int64_t key)
{
    const auto it = cells.find(key);
    if (it == cells.end())
        return;
    sum.Dt += it->second.Dt;
    sum.Ct += it->second.Ct;
}

// Sum over days lo..hi-1: the edges of each level up to the next level's
// alignment, then the blocks of the top level between.
TCell RangeSum(const TSeries &s, int64_t lo, int64_t hi)
{
    TCell sum;
    for (int level = 0; level < Levels - 1 && lo < hi; ++level) {
        const TCells &cells = s.Cells[level];
        while (lo < hi && (lo & LevelMask) != 0)
            AddTo(sum, cells, lo++);
        while (lo < hi && (hi & LevelMask) != 0)
            AddTo(sum, cells, --hi);
        lo >>= LevelBits;
        hi >>= LevelBits;
    }
    if (lo < hi) {
        const TCells &top = s.Cells[Levels - 1];
        if (uint64_t(hi - lo) <= top.size()) {
            for (int64_t k = lo; k < hi; ++k)
                AddTo(sum, top, k);
        } else {
            for (const auto &[k, c] : top)
                if (k >= lo && k < hi) {
                    sum.Dt += c.Dt;
                    sum.Ct += c.Ct;
                }
        }
    }
    return sum;
}

bool FitsInt64(TTotal t)
{
    return t >= TTotal(INT64_MIN) && t <= TTotal(INT64_MAX);
}

// The cells of every account, as the walk fills them (days only) or as they
// answer (every level).
struct TCache {
    std::unordered_map<int64_t, TAccount> Accounts;
    int64_t GlobalUnsafe = 0;

    void Clear()
    {
        Accounts.clear();
        GlobalUnsafe = 0;
    }

    // Adds (sign 1) or takes away (-1) a row, in the cells of the first
    // levels of its series (the walk fills the days only).
    void Apply(const TRow &r, int sign, int levels = Levels)
    {
        if (!r.Whole) {
            GlobalUnsafe += sign;
            return;
        }
        TAccount &a = Accounts[r.Account];
        a.Rows += sign;
        if (r.Date == TDateShape::Odd)
            a.Odd += sign;
        if (r.Date == TDateShape::Day)
            AddDay(a.Series[RowSeries], levels, r.Day, sign,
                   r.Summed && r.Class == int(TSumClass::Realised) ? sign : 0);
        if (r.Summed)
            AddDay(a.Series[r.Class], levels, r.Day, TTotal(r.Dt) * sign, TTotal(r.Ct) * sign);
        else
            a.Unsafe += sign;
    }

    // Adds up the blocks above the days from the day cells.
    void AddUpBlocks()
    {
        for (auto &[id, account] : Accounts)
            for (TSeries &s : account.Series)
                for (const auto &[day, c] : s.Cells[0])
                    for (int level = 1; level < Levels; ++level) {
                        TCell &block = s.Cells[level][day >> (LevelBits * level)];
                        block.Dt += c.Dt;
                        block.Ct += c.Ct;
                    }
    }
};

// Whether every day cell of a holds what the same cell of b holds; a cell
// or an account that one lacks counts as empty (taking rows away leaves
// empty cells behind).
bool SameDays(const TCells &a, const TCells &b)
{
    const auto covered = [](const TCells &x, const TCells &y) {
        for (const auto &[day, c] : x) {
            if (c.Dt == 0 && c.Ct == 0)
                continue;
            const auto it = y.find(day);
            if (it == y.end() || it->second.Dt != c.Dt || it->second.Ct != c.Ct)
                return false;
        }
        return true;
    };
    return covered(a, b) && covered(b, a);
}

bool SameDays(const TCache &a, const TCache &b)
{
    if (a.GlobalUnsafe != b.GlobalUnsafe)
        return false;
    static const TAccount empty;
    const auto covered = [](const TCache &x, const TCache &y) {
        for (const auto &[id, account] : x.Accounts) {
            const auto it = y.Accounts.find(id);
            const TAccount &other = it == y.Accounts.end() ? empty : it->second;
            if (account.Rows != other.Rows || account.Odd != other.Odd || account.Unsafe != other.Unsafe)
                return false;
            for (int i = 0; i < 3; ++i)
                if (!SameDays(account.Series[i].Cells[0], other.Series[i].Cells[0]))
                    return false;
        }
        return true;
    };
    return covered(a, b) && covered(b, a);
}

// Whether two readings of a row count alike in every cell.
bool SameCells(const TRow &a, const TRow &b)
{
    if (a.Whole != b.Whole)
        return false;
    if (!a.Whole)
        return true;
    if (a.Account != b.Account || a.Date != b.Date || (a.Date == TDateShape::Day && a.Day != b.Day) ||
        a.Summed != b.Summed)
        return false;
    return !a.Summed || (a.Class == b.Class && a.Dt == b.Dt && a.Ct == b.Ct);
}

} // namespace

struct THistSums::TState {
    explicit TState(TDatabase &db) : Db(db) {}

    TDatabase &Db;
    sqlite3 *Handle = nullptr; // hooks installed on this connection; null: none
    // The cells that answer: complete once Built, walked or taken back from
    // an image; Checked once known to be those of the rows.
    TCache Cache;
    bool Built = false;
    bool Checked = false;
    // A walk under way: the rows with a rowid below NextRowid are in the
    // walk's day cells, the others are still to read. Over a cache taken
    // back, it checks that cache.
    TCache Walked;
    bool Walking = false;
    int64_t NextRowid = INT64_MIN;
    int Drops = 0;
    int Corrections = 0;
    int Columns[5] = {-1, -1, -1, -1, -1}; // Id_Account, Date_Real, Kind, Dt, Ct
    // Rows the pre-update hook saw since the cache (or the walk that fills
    // it) began, and the connection's total changes then: every change the
    // connection makes passes the hook, so a difference is one it missed.
    int64_t Hooked = 0;
    int64_t ChangesAtWalk = 0;
    int64_t SchemaAtWalk = -1; // the schema version when the walk began
    // The contents named last (NameContents) and what the connection showed
    // then: any change of these since means the database holds others.
    TContentKey Named;
    int64_t NamedChanges = 0, NamedSchema = -1, NamedData = -1;
    bool NamedWritten = false; // anything written since they were named
    // The rows still count as the named contents' in every cell (SumsFor):
    // cleared by a change of a row's cells, of the table, or one unseen.
    bool NamedSums = false;
    int64_t NamedHooked = 0; // changes the hook saw since the naming
    TContentKey Adopted;

    void Reset()
    {
        if (Built)
            ++Drops;
        Built = false;
        Checked = false;
        Walking = false;
        Cache.Clear();
        Walked.Clear();
        Hooked = 0;
    }

    // The changed row's values before (old) or after the change.
    bool ReadChanged(sqlite3 *db, bool old, TRow &r)
    {
        sqlite3_value *values[5];
        for (int i = 0; i < 5; ++i) {
            if (Columns[i] < 0)
                return false;
            const int rc = old ? sqlite3_preupdate_old(db, Columns[i], &values[i])
                               : sqlite3_preupdate_new(db, Columns[i], &values[i]);
            if (rc != SQLITE_OK)
                return false;
        }
        r = ReadRow(values);
        return true;
    }

    static void PreUpdate(void *self, sqlite3 *db, int op, const char *dbName, const char *table,
                          sqlite3_int64 oldRowid, sqlite3_int64 newRowid)
    {
        auto *s = static_cast<TState *>(self);
        const bool counting = s->Built || s->Walking;
        if (!counting && !s->NamedSums)
            return;
        if (counting)
            ++s->Hooked;
        if (s->NamedSums)
            ++s->NamedHooked;
        if (std::strcmp(dbName, "main") != 0 || sqlite3_stricmp(table, "Tb_Hist") != 0)
            return;
        const bool deletes = op == SQLITE_DELETE || op == SQLITE_UPDATE;
        const bool inserts = op == SQLITE_INSERT || op == SQLITE_UPDATE;
        // During a walk a row past its position is read later as it stands
        // then; its cells hold days only until the walk adds up the blocks.
        const bool walkedOld = deletes && s->Walking && oldRowid < s->NextRowid;
        const bool walkedNew = inserts && s->Walking && newRowid < s->NextRowid;
        const bool needOld = deletes && (s->Built || walkedOld || s->NamedSums);
        const bool needNew = inserts && (s->Built || walkedNew || s->NamedSums);
        TRow before, after;
        if ((needOld && !s->ReadChanged(db, true, before)) || (needNew && !s->ReadChanged(db, false, after))) {
            s->Reset();
            s->NamedSums = false;
            return;
        }
        if (s->NamedSums && (op != SQLITE_UPDATE || oldRowid != newRowid || !SameCells(before, after)))
            s->NamedSums = false;
        if (s->Built) {
            if (deletes)
                s->Cache.Apply(before, -1);
            if (inserts)
                s->Cache.Apply(after, 1);
        }
        if (walkedOld)
            s->Walked.Apply(before, -1, 1);
        if (walkedNew)
            s->Walked.Apply(after, 1, 1);
    }

    static void Rollback(void *self) { static_cast<TState *>(self)->Reset(); }

    // Statements that undo rows behind the hook's back or change what
    // "Tb_Hist" names drop the cache when they are prepared (sqlite3_exec
    // prepares each statement just before it runs it): a rollback, whole or
    // to a savepoint; dropping, altering or shadowing the table (a temporary
    // table of that name); attaching another database. All but a rollback
    // (which undoes only changes the hook saw) also end the named contents'
    // sums. Nothing is refused.
    static int Authorize(void *self, int action, const char *a1, const char *a2, const char *, const char *)
    {
        auto *s = static_cast<TState *>(self);
        const auto is = [](const char *text, const char *word) { return text && sqlite3_stricmp(text, word) == 0; };
        bool rollback = false, table = false;
        switch (action) {
        case SQLITE_TRANSACTION:
        case SQLITE_SAVEPOINT: rollback = is(a1, "ROLLBACK"); break;
        case SQLITE_DROP_TABLE:
        case SQLITE_DROP_TEMP_TABLE:
        case SQLITE_CREATE_TEMP_TABLE: table = is(a1, "Tb_Hist"); break;
        case SQLITE_ALTER_TABLE: table = is(a2, "Tb_Hist"); break;
        case SQLITE_ATTACH:
        case SQLITE_DETACH: table = true; break;
        default: break;
        }
        if (rollback || table)
            s->Reset();
        if (table)
            s->NamedSums = false;
        return SQLITE_OK;
    }

    void Unhook()
    {
        if (!Handle)
            return;
        sqlite3_preupdate_hook(Handle, nullptr, nullptr);
        sqlite3_rollback_hook(Handle, nullptr, nullptr);
        sqlite3_set_authorizer(Handle, nullptr, nullptr);
        Handle = nullptr;
        Db.Detach(this);
    }

    void Hook()
    {
        Handle = Db.Db().Handle();
        sqlite3_preupdate_hook(Handle, &TState::PreUpdate, this);
        sqlite3_rollback_hook(Handle, &TState::Rollback, this);
        sqlite3_set_authorizer(Handle, &TState::Authorize, this);
        // Closing the connection (another data set, the end) forgets all.
        Db.Attach(this, [this] {
            Reset();
            Named = {};
            NamedSums = false;
            Unhook();
        });
    }

    // The positions of the five columns in the stored table; false when the
    // table has a shape whose rows the hook cannot read by position.
    bool FindColumns();
    // The database's schema version, which every change of structure and a
    // VACUUM (free to renumber rows) raise; -1 when it cannot be read.
    int64_t SchemaVersion();
    // A number the connection's statements read one at a time: -1 when it
    // cannot be read.
    int64_t ReadNumber(const char *sql);
    // Starts a walk from the first rowid: one that fills the cache, or over
    // a cache taken back, one that checks it.
    void BeginWalk();
    // Reads rows in rowid order for about ms milliseconds; false on an error.
    bool WalkFor(int ms);
    // Ends the walk: its cells become the cache (adding the days up into the
    // blocks), unless they are the cache's own, which is then checked.
    void FinishWalk();
    // Whether the connection made every change since the mark and the hook
    // saw them all.
    bool AllSeen(int64_t changesAtMark, int64_t hooked) const
    {
        return sqlite3_total_changes64(Handle) - changesAtMark == hooked;
    }
};

bool THistSums::TState::FindColumns()
{
    static const char *const names[5] = {"Id_Account", "Date_Real", "Kind", "Dt", "Ct"};
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(Handle, "SELECT cid, name, hidden, pk FROM pragma_table_xinfo('Tb_Hist')", -1, &st,
                           nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return false;
    }
    int keyColumns = 0;
    bool plain = true;
    std::fill(std::begin(Columns), std::end(Columns), -1);
    while (sqlite3_step(st) == SQLITE_ROW) {
        const int cid = sqlite3_column_int(st, 0);
        const char *name = reinterpret_cast<const char *>(sqlite3_column_text(st, 1));
        plain = plain && sqlite3_column_int(st, 2) == 0 && cid >= 0;
        keyColumns += sqlite3_column_int(st, 3) > 0 ? 1 : 0;
        for (int i = 0; i < 5; ++i)
            if (name && sqlite3_stricmp(name, names[i]) == 0)
                Columns[i] = cid;
    }
    sqlite3_finalize(st);
    // A single-column key may be the rowid itself, which the hook does not
    // give as a column value; generated columns shift the positions.
    return plain && keyColumns != 1 && std::all_of(std::begin(Columns), std::end(Columns), [](int c) { return c >= 0; });
}

int64_t THistSums::TState::SchemaVersion()
{
    return ReadNumber("PRAGMA main.schema_version");
}

int64_t THistSums::TState::ReadNumber(const char *sql)
{
    sqlite3_stmt *st = nullptr;
    int64_t n = -1;
    if (sqlite3_prepare_v2(Handle, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW &&
        sqlite3_column_type(st, 0) != SQLITE_NULL)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
}

void THistSums::TState::BeginWalk()
{
    if (!Built) {
        Reset();
        Hooked = 0;
        ChangesAtWalk = sqlite3_total_changes64(Handle);
    }
    // Over a cache taken back the marks stay those of its adoption: a change
    // the hook missed since then ends the cache and its check alike.
    Walked.Clear();
    Walking = true;
    NextRowid = INT64_MIN;
    SchemaAtWalk = SchemaVersion();
}

bool THistSums::TState::WalkFor(int ms)
{
    sqlite3_stmt *st = nullptr;
    const int rc = sqlite3_prepare_v2(
        Handle, "SELECT rowid,\"Id_Account\",\"Date_Real\",\"Kind\",\"Dt\",\"Ct\" FROM \"Tb_Hist\" WHERE rowid>=?1 "
                "ORDER BY rowid",
        -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        return false;
    }
    sqlite3_bind_int64(st, 1, NextRowid);
    Db.Db().StartStep();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    // The clock is read once per batch of rows.
    constexpr int Batch = 256;
    int step = SQLITE_ROW;
    for (int n = 1;; ++n) {
        step = sqlite3_step(st);
        if (step != SQLITE_ROW)
            break;
        const int64_t rowid = sqlite3_column_int64(st, 0);
        sqlite3_value *values[5];
        for (int i = 0; i < 5; ++i)
            values[i] = sqlite3_column_value(st, i + 1);
        Walked.Apply(ReadRow(values), 1, 1);
        if (rowid == INT64_MAX) { // nothing can follow it
            step = SQLITE_DONE;
            NextRowid = rowid;
            break;
        }
        NextRowid = rowid + 1;
        if (n % Batch == 0 && std::chrono::steady_clock::now() >= until)
            break;
    }
    sqlite3_finalize(st);
    if (step == SQLITE_DONE)
        FinishWalk();
    else if (step != SQLITE_ROW)
        return false;
    return true;
}

void THistSums::TState::FinishWalk()
{
    Walking = false;
    if (!Built || !SameDays(Cache, Walked)) {
        // A check that found the image's cells other than the rows': the
        // rows' own answer from here on.
        if (Built)
            ++Corrections;
        Cache = std::move(Walked);
        Cache.AddUpBlocks();
        Built = true;
    }
    Walked.Clear();
    Checked = true;
}

THistSums::THistSums(TDatabase &db) : s_(std::make_unique<TState>(db)) {}

THistSums::~THistSums()
{
    if (s_->Handle && s_->Db.Connected() && s_->Db.Db().Handle() == s_->Handle)
        s_->Unhook();
}

bool THistSums::Ready()
{
    TState &s = *s_;
    if (!s.Built)
        return false;
    if (!s.Db.Connected() || s.Db.Db().Handle() != s.Handle || !s.AllSeen(s.ChangesAtWalk, s.Hooked)) {
        s.Reset(); // a change the hook did not see
        return false;
    }
    return true;
}

bool THistSums::Checked()
{
    return Ready() && s_->Checked;
}

void THistSums::Build()
{
    while (BuildFor(1000) == TProgress::Going) {
    }
}

THistSums::TProgress THistSums::BuildFor(int Ms)
{
    TState &s = *s_;
    if (Checked())
        return TProgress::Ready;
    if (!s.Db.Connected())
        return TProgress::Failed;
    if (!s.Handle)
        s.Hook();
    if (s.Walking) {
        // A change the hook did not see since the walk began: start again.
        // A new schema (rows may have been renumbered): walk again, keeping
        // a cache taken back until its check ends.
        if (!s.AllSeen(s.ChangesAtWalk, s.Hooked))
            s.Reset();
        else if (s.SchemaVersion() != s.SchemaAtWalk)
            s.Walking = false;
    }
    if (!s.Walking) {
        if (!s.FindColumns()) {
            s.Reset();
            return TProgress::Failed;
        }
        s.BeginWalk();
        if (s.SchemaAtWalk < 0) {
            s.Reset();
            return TProgress::Failed;
        }
    }
    if (!s.WalkFor(Ms)) {
        s.Reset();
        return TProgress::Failed;
    }
    return s.Walking || !Checked() ? TProgress::Going : TProgress::Ready;
}

bool THistSums::Building() const
{
    return s_->Walking;
}

void THistSums::Drop()
{
    s_->Reset();
}

int THistSums::Drops() const
{
    return s_->Drops;
}

int THistSums::Corrections() const
{
    return s_->Corrections;
}

bool THistSums::Sums(int Account, TSumClass Class, TDateTime D1, TDateTime D2, int64_t &Income, int64_t &Expense)
{
    if (!Ready() || s_->Cache.GlobalUnsafe != 0)
        return false;
    if (!(std::fabs(D1) < WholeLimit && std::fabs(D2) < WholeLimit) || D1 != std::trunc(D1) || D2 != std::trunc(D2))
        return false;
    Income = Expense = 0;
    const auto it = s_->Cache.Accounts.find(Account);
    if (it == s_->Cache.Accounts.end() || D1 > D2)
        return true; // no rows: the sums are null, which the totals take as 0
    if (it->second.Unsafe != 0)
        return false;
    const TCell sum = RangeSum(it->second.Series[int(Class)], int64_t(D1), int64_t(D2) + 1);
    if (!FitsInt64(sum.Dt) || !FitsInt64(sum.Ct))
        return false;
    Income = int64_t(sum.Dt);
    Expense = int64_t(sum.Ct);
    return true;
}

std::optional<int64_t> THistSums::Rows(int Account, bool Whole, TDateTime D1, TDateTime D2)
{
    if (!Ready() || s_->Cache.GlobalUnsafe != 0)
        return std::nullopt;
    const auto it = s_->Cache.Accounts.find(Account);
    if (it == s_->Cache.Accounts.end())
        return 0;
    const TAccount &a = it->second;
    if (Whole)
        return a.Rows;
    if (a.Odd != 0 || !(std::fabs(D1) < WholeLimit && std::fabs(D2) < WholeLimit) || D1 != std::trunc(D1) ||
        D2 != std::trunc(D2))
        return std::nullopt;
    if (D1 > D2)
        return 0;
    const TTotal n = RangeSum(a.Series[RowSeries], int64_t(D1), int64_t(D2) + 1).Dt;
    return FitsInt64(n) ? std::optional<int64_t>(int64_t(n)) : std::nullopt;
}

std::optional<int64_t> THistSums::RealisedRows(int Account, TDateTime D1, TDateTime D2)
{
    if (!Ready() || s_->Cache.GlobalUnsafe != 0)
        return std::nullopt;
    if (!(std::fabs(D1) < WholeLimit && std::fabs(D2) < WholeLimit) || D1 != std::trunc(D1) || D2 != std::trunc(D2))
        return std::nullopt;
    const auto it = s_->Cache.Accounts.find(Account);
    if (it == s_->Cache.Accounts.end() || D1 > D2)
        return 0;
    if (it->second.Unsafe != 0)
        return std::nullopt; // a row of kind '1' may be among those not summed
    const TTotal n = RangeSum(it->second.Series[RowSeries], int64_t(D1), int64_t(D2) + 1).Ct;
    return FitsInt64(n) ? std::optional<int64_t>(int64_t(n)) : std::nullopt;
}

// The image of a complete cache (Image, Adopt), in little-endian order:
//   u32  ImageFormat
//   i64  the schema version of the database
//   i32  x5 the positions of Id_Account, Date_Real, Kind, Dt, Ct
//   i64  the rows of Tb_Hist, i64 its largest rowid (-1: none)
//   i64  rows whose account is not a whole number
//   u32  accounts, then for each in ascending number:
//        i64 account, i64 rows, i64 rows of odd dates, i64 rows not summed,
//        for each series (realised, planned, row counts):
//          u32 days, then for each in ascending order: i64 day, i128 Dt, i128 Ct
// Only the days are kept: the blocks above them are added up on adoption,
// so they cannot disagree with the days.
namespace {

constexpr uint32_t ImageFormat = 1;

class TImageWriter {
public:
    void U32(uint32_t v) { Bytes(v, 4); }
    void I32(int32_t v) { Bytes(uint32_t(v), 4); }
    void I64(int64_t v) { Bytes(uint64_t(v), 8); }
    void I128(TTotal v)
    {
        Bytes(uint64_t(static_cast<unsigned __int128>(v)), 8);
        Bytes(uint64_t(static_cast<unsigned __int128>(v) >> 64), 8);
    }
    QByteArray Out;

private:
    void Bytes(uint64_t v, int n)
    {
        for (int i = 0; i < n; ++i)
            Out.append(char(uint8_t(v >> (8 * i))));
    }
};

// Reads the image; any read past its end makes it fail for good.
class TImageReader {
public:
    explicit TImageReader(const QByteArray &in)
        : p_(reinterpret_cast<const uint8_t *>(in.constData())), end_(p_ + in.size())
    {
    }
    bool Ok() const { return ok_; }
    bool AtEnd() const { return ok_ && p_ == end_; }
    size_t Left() const { return ok_ ? size_t(end_ - p_) : 0; }
    uint32_t U32() { return uint32_t(Bytes(4)); }
    int32_t I32() { return int32_t(uint32_t(Bytes(4))); }
    int64_t I64() { return int64_t(Bytes(8)); }
    TTotal I128()
    {
        const uint64_t lo = Bytes(8), hi = Bytes(8);
        return TTotal((static_cast<unsigned __int128>(hi) << 64) | lo);
    }

private:
    uint64_t Bytes(int n)
    {
        if (!ok_ || end_ - p_ < n) {
            ok_ = false;
            return 0;
        }
        uint64_t v = 0;
        for (int i = 0; i < n; ++i)
            v |= uint64_t(p_[i]) << (8 * i);
        p_ += n;
        return v;
    }
    const uint8_t *p_, *end_;
    bool ok_ = true;
};

constexpr size_t CellBytes = 8 + 16 + 16;

template <typename TMap> std::vector<typename TMap::key_type> SortedKeys(const TMap &map)
{
    std::vector<typename TMap::key_type> keys;
    keys.reserve(map.size());
    for (const auto &entry : map)
        keys.push_back(entry.first);
    std::sort(keys.begin(), keys.end());
    return keys;
}

} // namespace

void THistSums::NameContents(const TContentKey &Key)
{
    TState &s = *s_;
    if (!s.Db.Connected())
        return;
    if (!s.Handle)
        s.Hook();
    s.Named = Key;
    s.NamedWritten = false;
    s.NamedChanges = sqlite3_total_changes64(s.Handle);
    s.NamedSchema = s.SchemaVersion();
    s.NamedData = s.ReadNumber("PRAGMA main.data_version");
    s.NamedHooked = 0;
    // From here on the hook tells whether the rows still count as these
    // contents' in every cell; it reads them by the columns' positions.
    s.NamedSums = s.FindColumns();
    if (s.NamedSchema < 0 || s.NamedData < 0) {
        s.Named = {};
        s.NamedSums = false;
    }
}

TContentKey THistSums::Contents()
{
    TState &s = *s_;
    if (!s.Named.Valid() || s.NamedWritten)
        return {};
    if (!s.Db.Connected() || s.Db.Db().Handle() != s.Handle || sqlite3_total_changes64(s.Handle) != s.NamedChanges ||
        s.SchemaVersion() != s.NamedSchema || s.ReadNumber("PRAGMA main.data_version") != s.NamedData) {
        s.NamedWritten = true; // changed since: other contents, for good
        return {};
    }
    return s.Named;
}

TContentKey THistSums::SumsFor()
{
    TState &s = *s_;
    if (!s.Named.Valid() || !s.NamedSums)
        return {};
    if (!s.Db.Connected() || s.Db.Db().Handle() != s.Handle || !s.AllSeen(s.NamedChanges, s.NamedHooked) ||
        s.ReadNumber("PRAGMA main.data_version") != s.NamedData) {
        s.NamedSums = false; // a change the hook missed, or another connection's: for good
        return {};
    }
    return s.Named;
}

TContentKey THistSums::AdoptedFor() const
{
    return s_->Adopted;
}

QByteArray THistSums::Image()
{
    TState &s = *s_;
    if (!Ready())
        return {};
    int64_t rows = s.Cache.GlobalUnsafe;
    for (const auto &[id, a] : s.Cache.Accounts)
        rows += a.Rows;
    // Sums of named contents are taken back when those contents are opened
    // again, before anything writes to them: with their schema version, not
    // the one a new index gave the table since.
    const int64_t schema = SumsFor().Valid() ? s.NamedSchema : s.SchemaVersion();
    const int64_t last = rows > 0 ? s.ReadNumber("SELECT max(rowid) FROM \"Tb_Hist\"") : -1;
    if (schema < 0 || (rows > 0 && last == -1))
        return {};
    TImageWriter w;
    w.U32(ImageFormat);
    w.I64(schema);
    for (int c : s.Columns)
        w.I32(c);
    w.I64(rows);
    w.I64(last);
    w.I64(s.Cache.GlobalUnsafe);
    w.U32(uint32_t(s.Cache.Accounts.size()));
    for (const int64_t id : SortedKeys(s.Cache.Accounts)) {
        const TAccount &a = s.Cache.Accounts.at(id);
        w.I64(id);
        w.I64(a.Rows);
        w.I64(a.Odd);
        w.I64(a.Unsafe);
        for (const TSeries &series : a.Series) {
            const TCells &days = series.Cells[0];
            w.U32(uint32_t(days.size()));
            for (const int64_t day : SortedKeys(days)) {
                const TCell &c = days.at(day);
                w.I64(day);
                w.I128(c.Dt);
                w.I128(c.Ct);
            }
        }
    }
    return std::move(w.Out);
}

bool THistSums::Adopt(const QByteArray &Image)
{
    TState &s = *s_;
    if (!s.Db.Connected())
        return false;
    if (!s.Handle)
        s.Hook();
    TImageReader r(Image);
    if (r.U32() != ImageFormat)
        return false;
    const int64_t schema = r.I64();
    int columns[5];
    for (int &c : columns)
        c = r.I32();
    const int64_t rows = r.I64(), last = r.I64(), globalUnsafe = r.I64();
    const uint32_t accountCount = r.U32();
    if (!r.Ok() || rows < 0 || globalUnsafe < 0 || globalUnsafe > rows)
        return false;
    std::unordered_map<int64_t, TAccount> accounts;
    int64_t counted = globalUnsafe, previous = INT64_MIN;
    for (uint32_t i = 0; i < accountCount && r.Ok(); ++i) {
        const int64_t id = r.I64();
        TAccount a;
        a.Rows = r.I64();
        a.Odd = r.I64();
        a.Unsafe = r.I64();
        if (!r.Ok() || (i > 0 && id <= previous) || !(std::fabs(double(id)) < WholeLimit) || a.Rows < 0 ||
            a.Rows > rows - counted || a.Odd < 0 || a.Odd > a.Rows || a.Unsafe < 0 || a.Unsafe > a.Rows)
            return false;
        previous = id;
        counted += a.Rows;
        for (TSeries &series : a.Series) {
            const uint32_t dayCount = r.U32();
            if (!r.Ok() || dayCount > r.Left() / CellBytes)
                return false;
            TCells &days = series.Cells[0];
            days.reserve(dayCount);
            int64_t before = INT64_MIN;
            for (uint32_t k = 0; k < dayCount; ++k) {
                const int64_t day = r.I64();
                TCell c;
                c.Dt = r.I128();
                c.Ct = r.I128();
                if (!r.Ok() || (k > 0 && day <= before) || !(std::fabs(double(day)) < WholeLimit))
                    return false;
                before = day;
                days.emplace(day, c);
            }
        }
        accounts.emplace(id, std::move(a));
    }
    if (!r.AtEnd() || counted != rows)
        return false;
    // The table as it stands must be the one the image was made of.
    if (s.SchemaVersion() != schema || !s.FindColumns() || !std::equal(std::begin(columns), std::end(columns), s.Columns) ||
        s.ReadNumber("SELECT count(*) FROM \"Tb_Hist\"") != rows ||
        (rows > 0 ? s.ReadNumber("SELECT max(rowid) FROM \"Tb_Hist\"") : -1) != last)
        return false;
    s.Reset();
    s.Cache.Accounts = std::move(accounts);
    s.Cache.GlobalUnsafe = globalUnsafe;
    s.Cache.AddUpBlocks();
    s.Hooked = 0;
    s.ChangesAtWalk = sqlite3_total_changes64(s.Handle);
    s.SchemaAtWalk = schema;
    s.Built = true;
    s.Checked = false; // until the walk over the rows has checked it
    s.Adopted = s.Named;
    return true;
}

TTableCursor::TRowCounter LedgerRowCounter(THistSums &Sums)
{
    return [&Sums](const QStringList &order, const TRowValues &start, const TRowValues &end) -> std::optional<int> {
        // The ledger's ranges over the order Id_Account;Date_Real;...: one
        // account, whole or between two days.
        if (order.size() < 2 || order[0].compare(QLatin1String("Id_Account"), Qt::CaseInsensitive) != 0 ||
            order[1].compare(QLatin1String("Date_Real"), Qt::CaseInsensitive) != 0 || start.size() != end.size() ||
            start.empty() || start.size() > 2)
            return std::nullopt;
        const auto whole = [](const Variant &v, double &out) {
            if (VarIsClear(v))
                return false;
            out = v.VarType() == varDate ? v.AsDate() : v.AsDouble();
            return std::fabs(out) < WholeLimit && out == std::trunc(out);
        };
        double account = 0, other = 0, d1 = 0, d2 = 0;
        if (!whole(start[0], account) || !whole(end[0], other) || account != other ||
            (start.size() == 2 && (!whole(start[1], d1) || !whole(end[1], d2))))
            return std::nullopt;
        const std::optional<int64_t> n = Sums.Rows(int(account), start.size() == 1, d1, d2);
        if (!n || *n < 0 || *n > INT32_MAX)
            return std::nullopt;
        return int(*n);
    };
}

} // namespace zorbel
