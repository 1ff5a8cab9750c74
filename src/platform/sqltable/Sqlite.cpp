// One SQLite connection and its statements, with the program's SQL functions and Russian collations.
#include <cstdio>
#include "platform/sqltable/Sqlite.h"

#include "platform/rtl/Collation.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/StrUtils.h"
#include "platform/sqltable/SqliteVfs.h"
#include "platform/system/SysNames.h"
#include "platform/system/SysRead.h"

#include <sqlite3.h>

namespace zorbel {
namespace {

// The engine's result codes in the words a user reads (its own texts are
// English): a few extended codes, and the primary ones.
constexpr TCodeWords EngineWords[] = {
    // code                          words
    {SQLITE_CONSTRAINT_PRIMARYKEY, u"запись с таким ключом уже есть"},
    {SQLITE_CONSTRAINT_UNIQUE, u"запись с таким ключом уже есть"},
    {SQLITE_CONSTRAINT_NOTNULL, u"обязательное поле не заполнено"},
    {SQLITE_ERROR, u"ошибка в запросе к базе данных"},
    {SQLITE_INTERNAL, u"внутренняя ошибка базы данных"},
    {SQLITE_PERM, u"нет доступа к базе данных"},
    {SQLITE_ABORT, u"действие с базой данных прервано"},
    {SQLITE_BUSY, u"база данных занята"},
    {SQLITE_LOCKED, u"таблица базы данных занята"},
    {SQLITE_NOMEM, u"недостаточно памяти"},
    {SQLITE_READONLY, u"база данных доступна только для чтения"},
    {SQLITE_INTERRUPT, u"действие с базой данных прервано"},
    {SQLITE_IOERR, u"ошибка чтения или записи на диске"},
    {SQLITE_CORRUPT, u"файл базы данных повреждён"},
    {SQLITE_FULL, u"нет места на диске"},
    {SQLITE_CANTOPEN, u"файл базы данных не открывается"},
    {SQLITE_PROTOCOL, u"база данных занята другой программой"},
    {SQLITE_SCHEMA, u"структура базы данных изменилась"},
    {SQLITE_TOOBIG, u"значение слишком велико"},
    {SQLITE_CONSTRAINT, u"значение нарушает условие таблицы"},
    {SQLITE_MISMATCH, u"значение не того типа"},
    {SQLITE_MISUSE, u"база данных использована неверно"},
    {SQLITE_NOLFS, u"файл слишком велик для системы"},
    {SQLITE_AUTH, u"действие запрещено"},
    {SQLITE_RANGE, u"номер параметра запроса вне допустимых"},
    {SQLITE_NOTADB, u"файл не является базой данных"},
};

QString EngineErrorText(int code)
{
    QString words = CodeWords(EngineWords, code);
    if (words.isNull())
        words = CodeWords(EngineWords, code & 0xff);
    return words.isNull() ? QStringLiteral("ошибка базы данных %1").arg(code) : words;
}

// The words of a code as a message of their own.
QString EngineError(int code)
{
    QString text = EngineErrorText(code);
    text[0] = text[0].toUpper();
    return text;
}

QString ArgText(sqlite3_value *v)
{
    const void *p = sqlite3_value_text16(v);
    const int bytes = sqlite3_value_bytes16(v);
    return QString(static_cast<const QChar *>(p), bytes / 2);
}

void ResultText(sqlite3_context *ctx, const QString &s)
{
    sqlite3_result_text16(ctx, s.utf16(), int(s.size() * 2), SQLITE_TRANSIENT);
}

// zb_year(x), zb_month(x), zb_day(x): parts of a day serial; NULL stays NULL.
template <int Part>
void DatePart(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    int y = 0, m = 0, d = 0;
    DecodeDate(sqlite3_value_double(argv[0]), y, m, d);
    sqlite3_result_int(ctx, Part == 0 ? y : Part == 1 ? m : d);
}

template <bool Upper>
void FoldCase(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const QString s = ArgText(argv[0]);
    ResultText(ctx, Upper ? AnsiUpperCase(s) : AnsiLowerCase(s));
}

// Case-sensitive LIKE: '%' any run, '_' one character, the escape character
// makes the next one literal.
bool LikeMatch(const QChar *p, const QChar *pe, const QChar *s, const QChar *se, QChar esc, bool hasEsc)
{
    while (p < pe) {
        const QChar c = *p;
        if (hasEsc && c == esc && p + 1 < pe) {
            if (s >= se || *s != p[1])
                return false;
            p += 2;
            ++s;
        } else if (c == u'%') {
            while (p < pe && *p == u'%')
                ++p;
            if (p == pe)
                return true;
            for (const QChar *t = s; t <= se; ++t)
                if (LikeMatch(p, pe, t, se, esc, hasEsc))
                    return true;
            return false;
        } else if (c == u'_') {
            if (s >= se)
                return false;
            ++p;
            ++s;
        } else {
            if (s >= se || *s != c)
                return false;
            ++p;
            ++s;
        }
    }
    return s == se;
}

// like(pattern, text[, escape]) as SQLite calls it for "text LIKE pattern".
void Like(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    // The pattern is usually one bound value for the whole statement: it is
    // converted once and kept with the statement; the text is read in place.
    QString ownPattern;
    const auto *kept = static_cast<const QString *>(sqlite3_get_auxdata(ctx, 0));
    if (!kept) {
        ownPattern = ArgText(argv[0]);
        sqlite3_set_auxdata(ctx, 0, new QString(ownPattern), [](void *p) { delete static_cast<QString *>(p); });
    }
    const QString &pattern = kept ? *kept : ownPattern;
    const auto *textData = static_cast<const QChar *>(sqlite3_value_text16(argv[1]));
    const QStringView text(textData, sqlite3_value_bytes16(argv[1]) / 2);
    QChar esc;
    bool hasEsc = false;
    if (argc == 3 && sqlite3_value_type(argv[2]) != SQLITE_NULL) {
        const QString e = ArgText(argv[2]);
        if (e.size() != 1) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        esc = e.at(0);
        hasEsc = true;
    }
    sqlite3_result_int(ctx, LikeMatch(pattern.constData(), pattern.constData() + pattern.size(), text.constData(),
                                      text.constData() + text.size(), esc, hasEsc));
}

// RUSSIAN orders case-blind and breaks ties by case, so "=" stays exact;
// RUSSIAN_CI is the case-blind comparison alone.
template <bool IgnoreCase>
int CollateRussian(void *, int n1, const void *s1, int n2, const void *s2)
{
    return CompareRussian(QStringView(static_cast<const QChar *>(s1), n1 / 2),
                          QStringView(static_cast<const QChar *>(s2), n2 / 2), IgnoreCase);
}

} // namespace

static_assert(TSqliteStatement::vtInteger == SQLITE_INTEGER && TSqliteStatement::vtFloat == SQLITE_FLOAT &&
              TSqliteStatement::vtText == SQLITE_TEXT && TSqliteStatement::vtBlob == SQLITE_BLOB &&
              TSqliteStatement::vtNull == SQLITE_NULL);

TSqliteDb::~TSqliteDb()
{
    Close();
}

void TSqliteDb::Open(const QString &fileName)
{
    Close();
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(EncodeSystemName(fileName).constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, SeamVfsName());
    db_ = db;
    fileName_ = fileName;
    if (rc != SQLITE_OK) {
        const int code = db ? sqlite3_extended_errcode(db) : SQLITE_NOMEM;
        Close();
        throw EDatabaseError(QStringLiteral("Не удаётся открыть базу данных «%1»: %2").arg(fileName, EngineErrorText(code)));
    }
    // A data file comes from outside: nothing stored in it runs. Triggers
    // and views are off (the program's own tables have none), the file's
    // schema may not call the program's functions, and SQL cannot rewrite
    // the file's structure behind the engine's back.
    for (const int option : {SQLITE_DBCONFIG_DEFENSIVE, SQLITE_DBCONFIG_TRUSTED_SCHEMA, SQLITE_DBCONFIG_ENABLE_TRIGGER,
                             SQLITE_DBCONFIG_ENABLE_VIEW}) {
        const int on = option == SQLITE_DBCONFIG_DEFENSIVE ? 1 : 0;
        int now = -1;
        if (sqlite3_db_config(db_, option, on, &now) != SQLITE_OK || now != on) {
            Close();
            throw EDatabaseError(QStringLiteral("Не удалось защитить базу данных «%1»").arg(fileName));
        }
    }
    sqlite3_progress_handler(db_, ProgressPeriod, &TSqliteDb::Progress, this);
    // ZORBEL_SQL_PROFILE=1 writes every statement of 1 ms or more to stderr, with its time.
    if (qEnvironmentVariableIsSet("ZORBEL_SQL_PROFILE"))
        sqlite3_trace_v2(db_, SQLITE_TRACE_PROFILE, [](unsigned, void *, void *p, void *x) -> int {
            const double ms = double(*static_cast<sqlite3_int64 *>(x)) / 1e6;
            if (ms >= 1) {
                char *sql = sqlite3_expanded_sql(static_cast<sqlite3_stmt *>(p));
                std::fprintf(stderr, "SQL %8.2f ms  %.300s\n", ms, sql);
                sqlite3_free(sql);
            }
            return 0;
        }, nullptr);
    // The functions serve the program's own statements only: never a
    // trigger, view, index or constraint that a file carries.
    const int flags = SQLITE_UTF16 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY;
    sqlite3_create_function_v2(db_, "zb_year", 1, flags, nullptr, DatePart<0>, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db_, "zb_month", 1, flags, nullptr, DatePart<1>, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db_, "zb_day", 1, flags, nullptr, DatePart<2>, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db_, "lower", 1, flags, nullptr, FoldCase<false>, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db_, "upper", 1, flags, nullptr, FoldCase<true>, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db_, "like", 2, flags, nullptr, Like, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db_, "like", 3, flags, nullptr, Like, nullptr, nullptr, nullptr);
    sqlite3_create_collation_v2(db_, "RUSSIAN", SQLITE_UTF16, nullptr, CollateRussian<false>, nullptr);
    sqlite3_create_collation_v2(db_, "RUSSIAN_CI", SQLITE_UTF16, nullptr, CollateRussian<true>, nullptr);
    // A page cache of up to 32 MB keeps a household's whole data set in
    // memory: the ledger's sums walk an index and fetch each row's page.
    Exec(QStringLiteral("PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF; PRAGMA temp_store=MEMORY; "
                        "PRAGMA cache_size=-32768;"));
}

void TSqliteDb::SetRowWrittenHook(TRowWritten Hook)
{
    rowWritten_ = std::move(Hook);
    if (!db_)
        return;
    if (!rowWritten_) {
        sqlite3_update_hook(db_, nullptr, nullptr);
        return;
    }
    sqlite3_update_hook(
        db_,
        [](void *self, int op, const char *, const char *table, sqlite3_int64 rowid) {
            if (op != SQLITE_DELETE)
                static_cast<TSqliteDb *>(self)->rowWritten_(table, rowid);
        },
        this);
}

void TSqliteDb::Close()
{
    stepLimit_ = 0;
    rowWritten_ = nullptr;
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

void TSqliteDb::Fail(const QString &context) const
{
    const QString message = db_ ? EngineError(sqlite3_extended_errcode(db_)) : QStringLiteral("База данных закрыта");
    throw EDatabaseError(context.isEmpty() ? message : context + QStringLiteral(": ") + message);
}

int TSqliteDb::Progress(void *self)
{
    auto *db = static_cast<TSqliteDb *>(self);
    return db->stepLimit_ > 0 && ++db->periods_ > db->stepLimit_ ? 1 : 0;
}

void TSqliteDb::SetStepLimit(int64_t instructions)
{
    stepLimit_ = instructions > 0 ? (instructions + ProgressPeriod - 1) / ProgressPeriod : 0;
}

void TSqliteDb::Exec(const QString &sql)
{
    if (!db_)
        Fail(QString());
    StartStep();
    char *error = nullptr;
    if (const int rc = sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &error); rc != SQLITE_OK) {
        sqlite3_free(error);
        throw EDatabaseError(EngineError(sqlite3_extended_errcode(db_) != SQLITE_OK ? sqlite3_extended_errcode(db_) : rc));
    }
}

int64_t TSqliteDb::Changes() const
{
    return db_ ? sqlite3_changes64(db_) : 0;
}

int64_t TSqliteDb::TotalChanges() const
{
    return db_ ? sqlite3_total_changes64(db_) : 0;
}

int64_t TSqliteDb::LastInsertRowId() const
{
    return db_ ? sqlite3_last_insert_rowid(db_) : 0;
}

// ---- TSqliteStatement --------------------------------------------------------

TSqliteStatement::TSqliteStatement(TSqliteDb &db, const QString &sql) : db_(db)
{
    if (!db.IsOpen())
        db.Fail(QString());
    db.StartStep();
    if (sqlite3_prepare16_v2(db.Handle(), sql.utf16(), int(sql.size() * 2), &stmt_, nullptr) != SQLITE_OK)
        db.Fail(QString());
    if (!stmt_)
        throw EDatabaseError(QStringLiteral("Пустой запрос SQL"));
}

TSqliteStatement::~TSqliteStatement()
{
    sqlite3_finalize(stmt_);
}

int TSqliteStatement::ParamCount() const { return sqlite3_bind_parameter_count(stmt_); }

void TSqliteStatement::BindNull(int index) { sqlite3_bind_null(stmt_, index); }
void TSqliteStatement::BindInt(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
void TSqliteStatement::BindDouble(int index, double value) { sqlite3_bind_double(stmt_, index, value); }

void TSqliteStatement::BindText(int index, const QString &value)
{
    sqlite3_bind_text16(stmt_, index, value.utf16(), int(value.size() * 2), SQLITE_TRANSIENT);
}

void TSqliteStatement::BindBlob(int index, const void *data, int size)
{
    sqlite3_bind_blob(stmt_, index, data, size, SQLITE_TRANSIENT);
}

bool TSqliteStatement::Step()
{
    db_.StartStep();
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    db_.Fail(QString());
}

void TSqliteStatement::Reset()
{
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int TSqliteStatement::ColumnCount() const { return sqlite3_column_count(stmt_); }

QString TSqliteStatement::ColumnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(stmt_, column));
}

QString TSqliteStatement::ColumnDeclType(int column) const
{
    const char *t = sqlite3_column_decltype(stmt_, column);
    return t ? QString::fromUtf8(t) : QString();
}

bool TSqliteStatement::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
int TSqliteStatement::ColumnType(int column) const { return sqlite3_column_type(stmt_, column); }
int64_t TSqliteStatement::ColumnInt(int column) const { return sqlite3_column_int64(stmt_, column); }
double TSqliteStatement::ColumnDouble(int column) const { return sqlite3_column_double(stmt_, column); }

QString TSqliteStatement::ColumnText(int column) const
{
    // Texts are stored as UTF-8: one conversion into the string, none inside
    // SQLite.
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt_, column));
    return QString::fromUtf8(p, sqlite3_column_bytes(stmt_, column));
}

QByteArray TSqliteStatement::ColumnBlob(int column) const
{
    const void *p = sqlite3_column_blob(stmt_, column);
    return QByteArray(static_cast<const char *>(p), sqlite3_column_bytes(stmt_, column));
}

} // namespace zorbel
