// Memory-table definitions and the account condition shared by the monthly,
// yearly and limits computations (see ZorbAnalysisTables.h).
#include "analysis/ZorbAnalysisTables.h"

#include "platform/dataset/Fields.h"
#include "platform/rtl/Money.h"

#include <algorithm>

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

} // namespace zorbel
