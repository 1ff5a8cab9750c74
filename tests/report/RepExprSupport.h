// Shared helpers of the expression tests: evaluating a text, printing values
// in failure messages, and a memory table with one field of each kind.
#pragma once

#include "memtable/VemtMemTable.h"
#include "report/RepExpr.h"

#include <QString>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <sstream>

inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }

namespace zorbel {
inline void PrintTo(const TRepEvValue &v, std::ostream *os)
{
    static const char *const kinds[] = {"integer", "float", "string", "boolean", "error"};
    *os << kinds[int(v.Kind)] << ' ' << RepEvValueText(v).toStdString();
}
} // namespace zorbel

namespace zorbel::test {

inline QString S(const char *text) { return QString::fromUtf8(text); }

// Compiles and evaluates text with no datasets and no local environment.
inline TRepEvValue Eval(const QString &text)
{
    TRepEvaluator evaluator;
    return evaluator.EvaluateText(text);
}
inline TRepEvValue Eval(const char *text) { return Eval(S(text)); }

inline ::testing::AssertionResult IsInteger(const TRepEvValue &v, int32_t expected)
{
    if (v.Kind == TRepEvKind::Integer && v.IntValue == expected)
        return ::testing::AssertionSuccess();
    ::testing::AssertionResult r = ::testing::AssertionFailure();
    r << "expected integer " << expected << ", got ";
    std::ostringstream os;
    PrintTo(v, &os);
    return r << os.str();
}

inline ::testing::AssertionResult IsFloat(const TRepEvValue &v, double expected)
{
    if (v.Kind == TRepEvKind::Float && v.FloatValue == expected)
        return ::testing::AssertionSuccess();
    std::ostringstream os;
    PrintTo(v, &os);
    return ::testing::AssertionFailure() << "expected float " << expected << ", got " << os.str();
}

inline ::testing::AssertionResult IsKindText(const TRepEvValue &v, TRepEvKind kind, const QString &text)
{
    if (v.Kind == kind && v.Text == text)
        return ::testing::AssertionSuccess();
    std::ostringstream os;
    PrintTo(v, &os);
    return ::testing::AssertionFailure() << "expected " << RepEvKindWord(kind).toStdString() << " \""
                                         << text.toStdString() << "\", got " << os.str();
}
inline ::testing::AssertionResult IsString(const TRepEvValue &v, const QString &text)
{
    return IsKindText(v, TRepEvKind::String, text);
}
inline ::testing::AssertionResult IsString(const TRepEvValue &v, const char *text) { return IsString(v, S(text)); }
inline ::testing::AssertionResult IsError(const TRepEvValue &v, const QString &message)
{
    return IsKindText(v, TRepEvKind::Error, message);
}
inline ::testing::AssertionResult IsError(const TRepEvValue &v, const char *message) { return IsError(v, S(message)); }

inline ::testing::AssertionResult IsBoolean(const TRepEvValue &v, bool expected)
{
    if (v.Kind == TRepEvKind::Boolean && v.BoolValue == expected)
        return ::testing::AssertionSuccess();
    std::ostringstream os;
    PrintTo(v, &os);
    return ::testing::AssertionFailure() << "expected boolean " << expected << ", got " << os.str();
}

// A table named name with nm (string 40), amt (float), qty (integer), ok
// (boolean), d (date), dt (date-time), big (large integer), Notes and DATE
// (strings).
inline std::unique_ptr<TVemtMemTable> MakeTable(const QString &name)
{
    auto table = std::make_unique<TVemtMemTable>();
    table->SetName(name);
    table->FieldDefs().Add(QStringLiteral("nm"), ftString, 40);
    table->FieldDefs().Add(QStringLiteral("amt"), ftFloat);
    table->FieldDefs().Add(QStringLiteral("qty"), ftInteger);
    table->FieldDefs().Add(QStringLiteral("ok"), ftBoolean);
    table->FieldDefs().Add(QStringLiteral("d"), ftDate);
    table->FieldDefs().Add(QStringLiteral("dt"), ftDateTime);
    table->FieldDefs().Add(QStringLiteral("big"), ftLargeint);
    table->FieldDefs().Add(QStringLiteral("Notes"), ftString, 10);
    table->FieldDefs().Add(QStringLiteral("DATE"), ftString, 10);
    table->Open();
    return table;
}

} // namespace zorbel::test
