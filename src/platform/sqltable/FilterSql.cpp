// Filter expressions of tables written as SQL conditions over their columns.
#include "platform/sqltable/FilterSql.h"

#include "platform/rtl/Exceptions.h"
#include "platform/sqltable/SqlSchema.h"

#include <cmath>

namespace zorbel {
namespace {

struct TFunctionName {
    const char *Filter; // name in the filter language
    const char *Sql;    // SQLite function (ours where the meaning needs it)
};

constexpr TFunctionName kFunctions[] = {
    {"UPPER", "upper"},  {"LOWER", "lower"},      {"TRIM", "trim"},       {"TRIMLEFT", "ltrim"},
    {"TRIMRIGHT", "rtrim"}, {"SUBSTRING", "substr"}, {"YEAR", "zb_year"}, {"MONTH", "zb_month"},
    {"DAY", "zb_day"},
};

bool IsEmptyText(const TExprNode *node)
{
    return node->NodeClass == nodeCONST && node->Value.VarType() == varString && node->Value.AsString().isEmpty();
}

QString Literal(const TExprNode *node)
{
    const Variant &v = node->Value;
    if (VarIsClear(v))
        return QStringLiteral("NULL");
    switch (v.VarType()) {
    case varString: {
        QString s = v.AsString();
        s.replace(u'\'', QStringLiteral("''"));
        return u'\'' + s + u'\'';
    }
    case varBoolean: return v.AsBoolean() ? QStringLiteral("1") : QStringLiteral("0");
    case varDate:
        if (node->DataType == ftDate)
            return QString::number(int64_t(std::trunc(v.AsDate())));
        return QString::number(v.AsDate(), 'g', 17);
    case varSmallint: case varInteger: case varInt64: return QString::number(v.AsInt64());
    default: return QString::number(v.AsDouble(), 'g', 17);
    }
}

const char *OperatorSql(TCanOp op)
{
    switch (op) {
    case coEQ: return "=";
    case coNE: return "<>";
    case coGT: return ">";
    case coLT: return "<";
    case coGE: return ">=";
    case coLE: return "<=";
    case coAND: return "AND";
    case coOR: return "OR";
    case coADD: return "+";
    case coSUB: return "-";
    case coMUL: return "*";
    case coDIV: return "/";
    case coLIKE: return "LIKE";
    default: return nullptr;
    }
}

[[noreturn]] void Unsupported(const QString &what)
{
    throw EDatabaseError(QStringLiteral("Выражение фильтра не поддерживается: %1").arg(what));
}

QString Sql(const TExprNode *node);

QString Function(const TExprNode *node)
{
    for (const TFunctionName &f : kFunctions) {
        if (node->FunctionName.compare(QLatin1String(f.Filter), Qt::CaseInsensitive) != 0)
            continue;
        QStringList args;
        if (node->Left) {
            if (node->Left->NodeClass == nodeLISTELEM)
                for (const auto &e : node->Left->Elements)
                    args << Sql(e.get());
            else
                args << Sql(node->Left.get());
        }
        return QLatin1String(f.Sql) + u'(' + args.join(u',') + u')';
    }
    Unsupported(node->FunctionName);
}

QString Sql(const TExprNode *node)
{
    if (!node)
        Unsupported(QStringLiteral("empty node"));
    switch (node->NodeClass) {
    case nodeFIELD: return QuoteName(node->FieldName);
    case nodeCONST: return Literal(node);
    case nodeFUNC: return Function(node);
    case nodeLISTELEM: {
        QStringList items;
        for (const auto &e : node->Elements)
            items << Sql(e.get());
        return items.join(u',');
    }
    case nodeUNARY:
        switch (node->Operator) {
        case coNOT: return QStringLiteral("(NOT %1)").arg(Sql(node->Left.get()));
        case coISBLANK: return QStringLiteral("(%1 IS NULL)").arg(Sql(node->Left.get()));
        case coNOTBLANK: return QStringLiteral("(%1 IS NOT NULL)").arg(Sql(node->Left.get()));
        case coMINUS: return QStringLiteral("(-%1)").arg(Sql(node->Left.get()));
        case coUPPER: return QStringLiteral("upper(%1)").arg(Sql(node->Left.get()));
        case coLOWER: return QStringLiteral("lower(%1)").arg(Sql(node->Left.get()));
        default: Unsupported(QStringLiteral("unary operator %1").arg(int(node->Operator)));
        }
    case nodeCOMPARE: {
        QString left = Sql(node->Left.get());
        if (node->PartialLength > 0)
            left = QStringLiteral("substr(%1,1,%2)").arg(left).arg(node->PartialLength);
        const char *op = OperatorSql(node->Operator);
        if (!op)
            Unsupported(QStringLiteral("comparison %1").arg(int(node->Operator)));
        return QStringLiteral("(%1 %2 %3%4)")
            .arg(left, QLatin1String(op), Sql(node->Right.get()),
                 node->CaseInsensitive ? QStringLiteral(" COLLATE RUSSIAN_CI") : QString());
    }
    case nodeBINARY: {
        if (node->Operator == coIN)
            return QStringLiteral("(%1 IN (%2))").arg(Sql(node->Left.get()), Sql(node->Right.get()));
        // An empty text is stored as null: "= ''" asks for a blank field.
        if ((node->Operator == coEQ || node->Operator == coNE) && IsEmptyText(node->Right.get()))
            return QStringLiteral("(%1 IS %2NULL)")
                .arg(Sql(node->Left.get()), node->Operator == coNE ? QStringLiteral("NOT ") : QString());
        const char *op = OperatorSql(node->Operator);
        if (!op)
            Unsupported(QStringLiteral("operator %1").arg(int(node->Operator)));
        return QStringLiteral("(%1 %2 %3)").arg(Sql(node->Left.get()), QLatin1String(op), Sql(node->Right.get()));
    }
    default: Unsupported(QStringLiteral("node class %1").arg(int(node->NodeClass)));
    }
}

} // namespace

QString FilterToSql(const TExprNode *node)
{
    return Sql(node);
}

} // namespace zorbel
