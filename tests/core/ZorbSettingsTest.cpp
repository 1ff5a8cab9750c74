// The settings values: the table against the stored kinds, a full round trip
// through the settings store, missing values and values of the wrong kind.
#include "core/ZorbSettings.h"

#include "ZorbSandbox.h"
#include "platform/system/Registry.h"

#include <gtest/gtest.h>

#include <QSet>

namespace zorbel {
namespace {

// A settings object whose every value differs from its default.
TZorbSettings Changed()
{
    TZorbSettings s;
    int n = 1000;
    for (const TSettingDef &def : SettingDefs()) {
        ++n;
        std::visit(
            [&](auto member) {
                using T = std::remove_reference_t<decltype(s.*member)>;
                if constexpr (std::is_same_v<T, bool>)
                    s.*member = !(s.*member);
                else if constexpr (std::is_same_v<T, int>)
                    s.*member = n;
                else if constexpr (std::is_same_v<T, QString>)
                    s.*member = QStringLiteral("Ж") + QString::number(n);
                else
                    s.*member = QByteArray("grid") + QByteArray::number(n);
            },
            def.Field);
    }
    s.CSV = QStringLiteral("t");
    s.Rem_Flag = QStringLiteral("!");
    s.F1_CharSet = 1;
    s.F2_CharSet = 255;
    return s;
}

bool SameValue(const TSettingDef &def, const TZorbSettings &a, const TZorbSettings &b)
{
    return std::visit([&](auto member) { return a.*member == b.*member; }, def.Field);
}

TEST(ZorbSettings, TableHasEveryValueOnceWithItsKind)
{
    const auto defs = SettingDefs();
    ASSERT_EQ(defs.size(), 139u);
    int counts[4] = {};
    QSet<QString> names;
    for (const TSettingDef &def : defs) {
        names.insert(QString::fromLatin1(def.Name));
        ++counts[int(def.Kind())];
    }
    EXPECT_EQ(names.size(), 139);
    EXPECT_EQ(counts[int(TSettingKind::Boolean)], 32);
    EXPECT_EQ(counts[int(TSettingKind::Integer)], 83);
    EXPECT_EQ(counts[int(TSettingKind::String)], 23);
    EXPECT_EQ(counts[int(TSettingKind::Binary)], 1);
    EXPECT_STREQ(defs.front().Name, "Recent_Catalog");
    EXPECT_STREQ(defs.back().Name, "Grid");
    // A few kinds the program relies on.
    auto kindOf = [&](const char *name) {
        for (const TSettingDef &def : defs)
            if (QLatin1String(def.Name) == QLatin1String(name))
                return def.Kind();
        ADD_FAILURE() << name;
        return TSettingKind::Binary;
    };
    EXPECT_EQ(kindOf("Bar"), TSettingKind::Boolean);
    EXPECT_EQ(kindOf("Tree"), TSettingKind::Integer);
    EXPECT_EQ(kindOf("F1_Bold"), TSettingKind::Boolean);
    EXPECT_EQ(kindOf("DateForm"), TSettingKind::String);
}

TEST(ZorbSettings, FirstStartGivesTheDefaults)
{
    TSandbox box;
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(SettingsKey(), true));
    TZorbSettings s;
    s.Mem_Sum = false;
    s.CSV = QStringLiteral("x");
    QStringList bad;
    ReadSettings(reg, s, &bad);
    EXPECT_TRUE(bad.isEmpty());
    EXPECT_TRUE(s.Mem_Sum && s.Mem_Price && s.Mem_Quant && s.Mem_Rate && s.Mem_Prs && s.Mem_Frm && s.Mem_Comm);
    EXPECT_EQ(s.CSV, QStringLiteral(";"));
    EXPECT_EQ(s.Calc, QStringLiteral("calc.exe"));
    EXPECT_EQ(s.DateForm, QStringLiteral("dd.mm.yy ddd"));
    EXPECT_EQ(s.Format_Prc, 3);
    EXPECT_EQ(s.Format_Rte, 3);
    EXPECT_EQ(s.Format_Qnt, 0);
    EXPECT_TRUE(s.FConfirm);
    EXPECT_TRUE(s.Acc_Def);
    EXPECT_EQ(s.Res_Diag, 1);
    EXPECT_EQ(s.Card_Left, 155);
    EXPECT_EQ(s.Days_Top, 80);
    EXPECT_EQ(s.Width, 804);
}

TEST(ZorbSettings, AllValuesRoundTripInOrder)
{
    TSandbox box;
    const TZorbSettings written = Changed();
    {
        TRegistry reg;
        reg.OpenKey(SettingsKey(), true);
        WriteSettings(reg, written);
        reg.CloseKey();
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(SettingsKey(), false));
    TZorbSettings read;
    QStringList bad;
    ReadSettings(reg, read, &bad);
    EXPECT_TRUE(bad.isEmpty()) << bad.join(u',').toStdString();
    for (const TSettingDef &def : SettingDefs()) {
        EXPECT_TRUE(reg.ValueExists(QString::fromLatin1(def.Name))) << def.Name;
        EXPECT_TRUE(SameValue(def, read, written)) << def.Name;
    }
    // Booleans are stored as Booleans: reading one as a string fails.
    EXPECT_THROW(reg.ReadString(QStringLiteral("Bar")), ERegistryException);
    EXPECT_THROW(reg.ReadString(QStringLiteral("Left")), ERegistryException);
}

TEST(ZorbSettings, MissingValuesTakeDefaultsOrKeepTheDesign)
{
    TSandbox box;
    TRegistry reg;
    reg.OpenKey(SettingsKey(), true);
    // An older key: a few values only.
    reg.WriteInteger(QStringLiteral("Format_Prc"), 1);
    reg.WriteString(QStringLiteral("CSV"), QStringLiteral(",;"));
    reg.WriteString(QStringLiteral("Rem_Flag"), QString());
    reg.WriteInteger(QStringLiteral("Left"), 7);
    TZorbSettings s;
    s.Top = 99;        // a control's current state stays
    s.LimLev = 2;      // an option takes its default
    s.Grid = "old";    // the grid keeps its columns without a stored Grid
    ReadSettings(reg, s, nullptr);
    EXPECT_EQ(s.Format_Prc, 1);
    EXPECT_EQ(s.CSV, QStringLiteral(","));
    EXPECT_EQ(s.Rem_Flag, QString());
    EXPECT_EQ(s.Left, 7);
    EXPECT_EQ(s.Top, 99);
    EXPECT_EQ(s.LimLev, 0);
    EXPECT_EQ(s.Grid, QByteArray("old"));
    EXPECT_EQ(s.Format_Rte, 3);
}

TEST(ZorbSettings, WrongKindsAndRangesReadAsDefaults)
{
    TSandbox box;
    TRegistry reg;
    reg.OpenKey(SettingsKey(), true);
    reg.WriteString(QStringLiteral("Format_Prc"), QStringLiteral("2"));
    reg.WriteInteger(QStringLiteral("Calc"), 5);
    reg.WriteString(QStringLiteral("Mem_Sum"), QStringLiteral("0"));
    reg.WriteInteger(QStringLiteral("F1_CharSet"), 256);
    reg.WriteInteger(QStringLiteral("Grid"), 1);
    reg.WriteBool(QStringLiteral("Day1"), true); // a Boolean is a double word too
    reg.WriteInteger(QStringLiteral("AutoSum"), 3);
    TZorbSettings s;
    s.F1_CharSet = 204;
    s.Grid = "cols";
    QStringList bad;
    ReadSettings(reg, s, &bad);
    EXPECT_EQ(s.Format_Prc, 3);
    EXPECT_EQ(s.Calc, QStringLiteral("calc.exe"));
    EXPECT_TRUE(s.Mem_Sum);
    EXPECT_EQ(s.F1_CharSet, 204);
    EXPECT_TRUE(s.Grid.isEmpty());
    EXPECT_EQ(s.Day1, 1);
    EXPECT_TRUE(s.AutoSum);
    bad.sort();
    EXPECT_EQ(bad, (QStringList{"Calc", "F1_CharSet", "Format_Prc", "Grid", "Mem_Sum"}));
}

TEST(ZorbSettings, RestDtAndAnEmptyGridAreNotWritten)
{
    TSandbox box;
    TRegistry reg;
    reg.OpenKey(SettingsKey(), true);
    reg.WriteInteger(QStringLiteral("RestDt"), 5);
    TZorbSettings s;
    s.RestDt = 0;
    WriteSettings(reg, s);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("RestDt")), 5);
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("Grid")));
    s.RestDt = 6;
    WriteSettings(reg, s);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("RestDt")), 6);
}

} // namespace
} // namespace zorbel
