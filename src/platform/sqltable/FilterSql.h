// Turns a parsed filter expression (the shared filter-expression parser's
// tree) into an SQL condition over a table's columns, so a filtered table is
// one SELECT with the filter in its WHERE clause. Constants are written as
// SQL literals (texts quoted with quotes doubled, dates as day serials,
// numbers with a decimal point), never pasted as raw text.
#pragma once

#include "platform/dataset/FilterExpr.h"

#include <QString>

namespace zorbel {

// Raises EDatabaseError for a node the SQL form cannot express.
QString FilterToSql(const TExprNode *node);

} // namespace zorbel
