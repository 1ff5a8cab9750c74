// The words of the platform's failures as a user reads them: every failure a
// user's action, a damaged file or a fault can raise in the runtime, the
// tables, the engine, the settings store or the standard library reaches the
// program's error box in Russian, under the program's name.
#include "platform/rtl/NoticeText.h"

#include "platform/dataset/FilterExpr.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringList.h"
#include "platform/rtl/Variant.h"
#include "platform/sqltable/Sqlite.h"
#include "platform/system/Registry.h"
#include "platform/system/SysFiles.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/ModalScript.h"
#include "../dataset/VectorDataSet.h"
#include "support/FaultEnv.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

// The Latin words of a text, but the names of the engine's language that a
// Russian text names too.
QStringList LatinWords(const QString &text)
{
    QStringList words;
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const QString w = it.next().captured();
        if (w != QLatin1String("SQL") && w != QLatin1String("NULL") && w != QLatin1String("IN"))
            words << w;
    }
    return words;
}

class OneField : public TVectorDataSet {
public:
    OneField() { FieldDefs().Add(QStringLiteral("x"), ftInteger); }
};

TEST(NoticeText, EveryPlatformFailureReachesTheErrorBoxInRussian)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QString text = folder + QStringLiteral("/счёт");
    SaveFileAtomically(text, QByteArray(100000, 'x'));
    const QString notADatabase = folder + QStringLiteral("/данные.db");
    SaveFileAtomically(notADatabase, QByteArray(4096, 'z'));

    // What fails, and the argument its message may carry (a name of the
    // user's, which is not checked).
    struct TFailure {
        const char *What;
        QString Argument;
        std::function<void()> Raise;
    };
    const std::vector<TFailure> failures = {
        {"a missing file", folder, [&] { TFileStream f(folder + QStringLiteral("/нет"), fmOpenRead); }},
        {"a folder", folder, [&] { TFileStream f(folder, fmOpenRead); }},
        {"a file in a missing folder", folder,
         [&] { TFileStream f(folder + QStringLiteral("/нет/новый"), fmCreate); }},
        {"a read that fails", folder,
         [&] {
             TFileStream f(text, fmOpenRead);
             TFaultEnv env;
             env.FailCall(TSysOp::Read, 1, EIO);
             TSysEnvScope scope(env);
             char buffer[16];
             f.Read(buffer, sizeof buffer);
         }},
        {"a full disk", folder,
         [&] {
             TFaultEnv env;
             env.FailCall(TSysOp::Write, 1, ENOSPC, true);
             TSysEnvScope scope(env);
             SaveFileAtomically(text, QByteArray(1000, 'y'));
         }},
        {"a typed number", QStringLiteral("12,3x"), [] { StrToFloat(QStringLiteral("12,3x")); }},
        {"a typed whole number", QStringLiteral("7.5"), [] { StrToInt(QStringLiteral("7.5")); }},
        {"a typed date", QStringLiteral("30.02.2024"), [] { StrToDate(QStringLiteral("30.02.2024")); }},
        {"a date past the calendar", {}, [] { IncMonth(EncodeDate(9999, 12, 1), 1); }},
        {"an empty value as a number", {}, [] { Variant::Null().AsDouble(); }},
        {"a file that is no database", folder,
         [&] {
             TSqliteDb db;
             db.Open(notADatabase);
         }},
        {"a key stored twice", {},
         [&] {
             TSqliteDb db;
             db.Open(folder + QStringLiteral("/ключи.db"));
             db.Exec(QStringLiteral("create table t(a integer primary key); insert into t values(1); "
                                    "insert into t values(1)"));
         }},
        {"a setting of another kind", QStringLiteral("Left"),
         [&] {
             TRegistry reg(folder + QStringLiteral("/registry.json"));
             reg.OpenKey(QStringLiteral("Software\\Ventaro\\Zorbel"), true);
             reg.WriteString(QStringLiteral("Left"), QStringLiteral("x"));
             reg.ReadInteger(QStringLiteral("Left"));
         }},
        {"a closed table", {},
         [] {
             OneField ds;
             ds.First();
         }},
        {"a field that is not there", QStringLiteral("нет"),
         [] {
             OneField ds;
             ds.Open();
             ds.FieldByName(QStringLiteral("нет"));
         }},
        {"a row not stored", {},
         [] {
             OneField ds;
             ds.Open();
             ds.Append();
             ds.Post();
             const TBookmark row = ds.GetBookmark();
             ds.Delete();
             ds.GotoBookmark(row);
         }},
        {"a malformed filter", {},
         [] {
             OneField ds;
             ds.Open();
             TExprParser parser(&ds, QStringLiteral("(x = 1"));
         }},
        {"a list index", {},
         [] {
             TStringList list;
             list.Delete(5);
         }},
        {"memory that ran out", {}, [] { throw std::bad_alloc(); }},
        {"the standard library's own failure", {}, [] { throw std::out_of_range("vector::_M_range_check"); }},
        {"something that is no exception", {}, [] { throw 42; }},
    };
    for (const TFailure &f : failures) {
        SCOPED_TRACE(f.What);
        TModalScript script;
        script.Press(QStringLiteral("OK"));
        EXPECT_FALSE(DispatchEvent(f.Raise)) << "nothing failed";
        ASSERT_EQ(script.Seen().size(), 1u);
        const TModalScript::TSeen &box = script.Seen()[0];
        QString words = box.Text;
        if (!f.Argument.isEmpty())
            words.remove(f.Argument);
        EXPECT_FALSE(words.isEmpty());
        EXPECT_TRUE(LatinWords(words).isEmpty()) << box.Text.toStdString();
        // The box carries the program's name, also before its title is set.
        EXPECT_EQ(box.Caption, Application().Title());
        EXPECT_FALSE(box.Caption.isEmpty());
    }
}

} // namespace
} // namespace zorbel::test
