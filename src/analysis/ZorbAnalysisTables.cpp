// Memory-table definitions and the account condition shared by the monthly,
// yearly and limits computations (see ZorbAnalysisTables.h).
#include "analysis/ZorbAnalysisTables.h"

#include "platform/dataset/Fields.h"
#include "platform/rtl/Money.h"
#include "platform/sqltable/Sqlite.h"

#include <algorithm>
#include <cmath>

namespace zorbel {

void OpenMemTable(TVemtMemTable &Table, std::span<const TMemFieldDef> Fields)
{
    Table.FieldDefs().Clear();
    for (const TMemFieldDef &d : Fields)
        Table.FieldDefs().Add(d.Name, d.Type, d.Size);
    Table.Open();
    for (const TMemFieldDef &d : Fields) {
        TField *field = Table.FieldByName(d.Name);
        if (!d.Title.isEmpty())
            field->SetDisplayLabel(d.Title);
        if (!d.Format.isEmpty())
            field->SetDisplayFormat(d.Format);
        if (d.Width > 0)
            field->SetDisplayWidth(d.Width);
        field->SetVisible(d.Visible);
    }
}

QString AccountsThenOperations() { return QStringLiteral("from tb_account a cross join tb_hist h"); }

QString AccountScopeLine(const TAccountScope &Scope)
{
    QString line = Scope.SameCurrency ? QStringLiteral("and a.currency=:cur") : QStringLiteral("and h.id_account=:acc");
    if (Scope.NoTransfers)
        line += QStringLiteral(" and level1<>-1 ");
    return line;
}

void BindAccountScope(TQuery &Query, const TAccountScope &Scope)
{
    if (Scope.SameCurrency)
        Query.ParamByName(QStringLiteral("cur"))->SetAsString(Scope.Currency);
    else
        Query.ParamByName(QStringLiteral("acc"))->SetAsSmallInt(Scope.AccountId);
}

QString LevelColumns(int Depth)
{
    static const QString levels[] = {QStringLiteral("level1"), QStringLiteral("level1,level2"),
                                     QStringLiteral("level1,level2,level3")};
    return levels[std::clamp(Depth, 1, 3) - 1];
}

int64_t FieldUnits(const TField *Field)
{
    return Field->IsNull() ? 0 : MoneyToUnits(Field->AsFloat());
}

bool TEngineSum::Add(const TSqliteStatement &St, int Column)
{
    switch (St.ColumnType(Column)) {
    case TSqliteStatement::vtNull: return true;
    case TSqliteStatement::vtInteger: {
        const int64_t v = St.ColumnInt(Column);
        ++Count;
        Real += double(v);
        if (!Approx && !Overflow && __builtin_add_overflow(Whole, v, &Whole))
            Approx = Overflow = true;
        return true;
    }
    case TSqliteStatement::vtFloat:
        ++Count;
        Real += St.ColumnDouble(Column);
        Approx = true;
        return true;
    default: return false;
    }
}

std::optional<double> TEngineSum::Sum() const
{
    if (Count == 0)
        return std::nullopt;
    return Approx ? Real : double(Whole);
}

std::optional<double> TEngineSum::Average() const
{
    if (Count == 0)
        return std::nullopt;
    return Real / double(Count);
}

bool WholeKey(const TSqliteStatement &St, int Column, std::optional<int64_t> &Out)
{
    // Days, years, months and ids are modelled below 2^40, as the day sums do.
    constexpr double Limit = 1099511627776.0;
    switch (St.ColumnType(Column)) {
    case TSqliteStatement::vtNull: Out.reset(); return true;
    case TSqliteStatement::vtInteger: {
        const int64_t v = St.ColumnInt(Column);
        if (v <= -int64_t(Limit) || v >= int64_t(Limit))
            return false;
        Out = v;
        return true;
    }
    case TSqliteStatement::vtFloat: {
        const double d = St.ColumnDouble(Column);
        if (!(std::fabs(d) < Limit) || d != std::trunc(d))
            return false;
        Out = int64_t(d);
        return true;
    }
    default: return false;
    }
}

} // namespace zorbel
