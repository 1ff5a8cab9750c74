// The in-memory day sums of the operations (see ZorbSums.h): the walk that
// fills them, the hooks that keep them current and the range sums.
#include "core/ZorbSums.h"

#include "platform/rtl/Money.h"
#include "platform/sqltable/Database.h"

#include <cmath>
#include <cstring>
// Debian's SQLite is built with the pre-update hook; its declarations are
// shown only on request.
#define SQLITE_ENABLE_PREUPDATE_HOOK 1
#include <sqlite3.h>
#include <unordered_map>

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

struct TAccount {
    int64_t Unsafe = 0; // rows the cache does not model
    TSeries Series[2];  // by TSumClass
};

// What one row means to the cache.
enum class TShape {
    Counted,       // a day, a kind class and two amounts: summed
    AccountUnsafe, // its account is answered by the query while the row exists
    GlobalUnsafe,  // every account is answered by the query while the row exists
};

struct TRow {
    TShape Shape = TShape::GlobalUnsafe;
    int64_t Account = 0;
    int Class = 0;
    int64_t Day = 0;
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
    if (!WholeValue(values[0], r.Account))
        return r;
    r.Shape = TShape::AccountUnsafe;
    if (!WholeValue(values[1], r.Day) || !KindClass(values[2], r.Class) || !AmountUnits(values[3], r.Dt) ||
        !AmountUnits(values[4], r.Ct))
        return r;
    r.Shape = TShape::Counted;
    return r;
}

void AddCell(TCells &cells, int64_t key, TTotal dt, TTotal ct)
{
    TCell &c = cells[key];
    c.Dt += dt;
    c.Ct += ct;
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

} // namespace

struct THistSums::TState {
    explicit TState(TDatabase &db) : Db(db) {}

    TDatabase &Db;
    sqlite3 *Handle = nullptr; // hooks installed on this connection; null: none
    bool Built = false;
    int Drops = 0;
    int Columns[5] = {-1, -1, -1, -1, -1}; // Id_Account, Date_Real, Kind, Dt, Ct
    int64_t Hooked = 0;       // rows the pre-update hook saw since the walk
    int64_t ChangesAtWalk = 0; // the connection's total changes at the walk
    int64_t GlobalUnsafe = 0;
    std::unordered_map<int64_t, TAccount> Accounts;

    void Reset()
    {
        if (Built)
            ++Drops;
        Built = false;
        Accounts.clear();
        GlobalUnsafe = 0;
        Hooked = 0;
    }

    void Apply(const TRow &r, int sign)
    {
        if (r.Shape == TShape::GlobalUnsafe) {
            GlobalUnsafe += sign;
            return;
        }
        TAccount &a = Accounts[r.Account];
        if (r.Shape == TShape::AccountUnsafe) {
            a.Unsafe += sign;
            return;
        }
        TSeries &s = a.Series[r.Class];
        const TTotal dt = TTotal(r.Dt) * sign, ct = TTotal(r.Ct) * sign;
        for (int level = 0; level < Levels; ++level)
            AddCell(s.Cells[level], r.Day >> (LevelBits * level), dt, ct);
    }

    // The changed row's values before (old) or after the change.
    bool ReadChanged(sqlite3 *db, bool old, TRow &r)
    {
        sqlite3_value *values[5];
        for (int i = 0; i < 5; ++i) {
            const int rc = old ? sqlite3_preupdate_old(db, Columns[i], &values[i])
                               : sqlite3_preupdate_new(db, Columns[i], &values[i]);
            if (rc != SQLITE_OK)
                return false;
        }
        r = ReadRow(values);
        return true;
    }

    static void PreUpdate(void *self, sqlite3 *db, int op, const char *dbName, const char *table, sqlite3_int64,
                          sqlite3_int64)
    {
        auto *s = static_cast<TState *>(self);
        if (!s->Built)
            return;
        ++s->Hooked;
        if (std::strcmp(dbName, "main") != 0 || sqlite3_stricmp(table, "Tb_Hist") != 0)
            return;
        TRow before, after;
        const bool hasOld = op == SQLITE_DELETE || op == SQLITE_UPDATE;
        const bool hasNew = op == SQLITE_INSERT || op == SQLITE_UPDATE;
        if ((hasOld && !s->ReadChanged(db, true, before)) || (hasNew && !s->ReadChanged(db, false, after))) {
            s->Reset();
            return;
        }
        if (hasOld)
            s->Apply(before, -1);
        if (hasNew)
            s->Apply(after, 1);
    }

    static void Rollback(void *self) { static_cast<TState *>(self)->Reset(); }

    // Statements that undo rows behind the hook's back or change the table's
    // structure drop the cache when they are prepared (sqlite3_exec prepares
    // each statement just before it runs it). Nothing is refused.
    static int Authorize(void *self, int action, const char *a1, const char *, const char *, const char *)
    {
        auto *s = static_cast<TState *>(self);
        switch (action) {
        case SQLITE_TRANSACTION:
        case SQLITE_SAVEPOINT:
            if (a1 && sqlite3_stricmp(a1, "ROLLBACK") == 0)
                s->Reset();
            break;
        case SQLITE_DROP_TABLE:
        case SQLITE_DROP_TEMP_TABLE:
        case SQLITE_ALTER_TABLE:
        case SQLITE_ATTACH:
        case SQLITE_DETACH: s->Reset(); break;
        default: break;
        }
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
            Unhook();
        });
    }

    // The positions of the five columns in the stored table; false when the
    // table has a shape whose rows the hook cannot read by position.
    bool FindColumns();
    void Walk();
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

void THistSums::TState::Walk()
{
    sqlite3_stmt *st = nullptr;
    const int rc = sqlite3_prepare_v2(Handle, "SELECT \"Id_Account\",\"Date_Real\",\"Kind\",\"Dt\",\"Ct\" FROM \"Tb_Hist\"",
                                      -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        return;
    }
    Db.Db().StartStep();
    // Days first; the blocks above them are added up from the days after.
    TAccount *last = nullptr;
    int64_t lastAccount = 0;
    int step;
    while ((step = sqlite3_step(st)) == SQLITE_ROW) {
        sqlite3_value *values[5];
        for (int i = 0; i < 5; ++i)
            values[i] = sqlite3_column_value(st, i);
        const TRow r = ReadRow(values);
        if (r.Shape == TShape::GlobalUnsafe) {
            ++GlobalUnsafe;
            continue;
        }
        if (!last || lastAccount != r.Account) {
            last = &Accounts[r.Account];
            lastAccount = r.Account;
        }
        if (r.Shape == TShape::AccountUnsafe)
            ++last->Unsafe;
        else
            AddCell(last->Series[r.Class].Cells[0], r.Day, r.Dt, r.Ct);
    }
    sqlite3_finalize(st);
    if (step != SQLITE_DONE) {
        Accounts.clear();
        GlobalUnsafe = 0;
        return;
    }
    for (auto &[id, account] : Accounts)
        for (TSeries &s : account.Series)
            for (const auto &[day, c] : s.Cells[0])
                for (int level = 1; level < Levels; ++level)
                    AddCell(s.Cells[level], day >> (LevelBits * level), c.Dt, c.Ct);
    Hooked = 0;
    ChangesAtWalk = sqlite3_total_changes64(Handle);
    Built = true;
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
    if (!s.Db.Connected() || s.Db.Db().Handle() != s.Handle ||
        sqlite3_total_changes64(s.Handle) - s.ChangesAtWalk != s.Hooked) {
        s.Reset(); // a change the hook did not see
        return false;
    }
    return true;
}

void THistSums::Build()
{
    TState &s = *s_;
    if (Ready() || !s.Db.Connected())
        return;
    if (!s.Handle)
        s.Hook();
    if (!s.FindColumns())
        return;
    s.Reset();
    s.Walk();
}

void THistSums::Drop()
{
    s_->Reset();
}

int THistSums::Drops() const
{
    return s_->Drops;
}

bool THistSums::Sums(int Account, TSumClass Class, TDateTime D1, TDateTime D2, int64_t &Income, int64_t &Expense)
{
    if (!Ready() || s_->GlobalUnsafe != 0)
        return false;
    if (!(std::fabs(D1) < WholeLimit && std::fabs(D2) < WholeLimit) || D1 != std::trunc(D1) || D2 != std::trunc(D2))
        return false;
    Income = Expense = 0;
    const auto it = s_->Accounts.find(Account);
    if (it == s_->Accounts.end() || D1 > D2)
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

} // namespace zorbel
