// Message texts of the dataset framework, in English where only a
// programmer meets them; those a user meets when a typed value does not fit its field are in Russian.
// Callers format them with QString::arg (%1, %2, ...).
#pragma once

#include <QString>

namespace zorbel::DBConsts {

inline const QString SFieldNotFound = QStringLiteral("Field '%1' not found");
inline const QString SRecordNotFound = QStringLiteral("Record not found");
inline const QString SNotEditing = QStringLiteral("Dataset is not in edit mode.");
inline const QString SNotInsertOrEdit = QStringLiteral("Dataset not in edit or insert mode");
inline const QString SDataSetClosed =
    QStringLiteral("Cannot perform this operation on a closed dataset");
inline const QString SDataSetOpen = QStringLiteral("Cannot perform this operation on an open dataset");
inline const QString SDataSetEmpty =
    QStringLiteral("Cannot perform this operation on an empty dataset");
inline const QString SDataSetReadOnly = QStringLiteral("Cannot modify a read-only dataset");
inline const QString SFieldReadOnly = QStringLiteral("Field %1 is read only");
inline const QString SFieldRequired = QStringLiteral("Поле '%1' должно быть заполнено");
inline const QString SFieldAccessError = QStringLiteral("Cannot access field '%1' as type %2");
inline const QString SFieldTypeMismatch =
    QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3");
inline const QString SFieldRangeError =
    QStringLiteral("Значение %1 не подходит для поля '%2': допустимо от %3 до %4");
inline const QString SInvalidIntegerValue = QStringLiteral("'%1' - не целое число (поле '%2')");
inline const QString SInvalidFloatValue = QStringLiteral("'%1' - не число (поле '%2')");
inline const QString SInvalidDateValue = QStringLiteral("'%1' - неверная дата");
inline const QString SInvalidTimeValue = QStringLiteral("'%1' - неверное время");
inline const QString SInvalidDateTimeValue = QStringLiteral("'%1' - неверные дата и время");
inline const QString SInvalidBoolValue = QStringLiteral("'%1' - не логическое значение (поле '%2')");
inline const QString SDuplicateFieldName = QStringLiteral("Duplicate field name '%1'");
inline const QString SDuplicateIndexName = QStringLiteral("Duplicate index name '%1'");
inline const QString SIndexNotFound = QStringLiteral("Index '%1' not found");
inline const QString SNoFieldIndexes = QStringLiteral("No index currently active");
inline const QString SFieldIndexError = QStringLiteral("Field index out of range");
inline const QString SDataSetMissing = QStringLiteral("Field '%1' has no dataset");
inline const QString SLookupInfoError = QStringLiteral("Lookup information for field '%1' is incomplete");
inline const QString SCircularDataLink = QStringLiteral("Circular datalinks are not allowed");
inline const QString SBookmarkNotFound = QStringLiteral("Bookmark not found");
inline const QString SFieldValueError = QStringLiteral("Invalid value for field '%1'");
inline const QString SNotBrowsing = QStringLiteral("Dataset not in browse mode");
inline const QString SFieldsOnOpen = QStringLiteral("Cannot add or remove fields of an open dataset");
inline const QString SMoreFieldsThanValues = QStringLiteral("More fields than values");

// Filter-expression parser.
inline const QString SExprNullOnlyEqNe = QStringLiteral("NULL only allowed with '=' and '<>'");
inline const QString SExprTypeMis = QStringLiteral("Type mismatch in expression");
inline const QString SExprEmptyInList = QStringLiteral("IN predicate list may not be empty");
inline const QString SExprNoLParen = QStringLiteral("'(' expected but %1 found");
inline const QString SExprNoRParen = QStringLiteral("')' expected but %1 found");
inline const QString SExprNoRParenOrComma = QStringLiteral("')' or ',' expected but %1 found");
inline const QString SExprExpected = QStringLiteral("Expression expected but %1 found");
inline const QString SExprBadField = QStringLiteral("Field '%1' cannot be used in a filter expression");
inline const QString SExprBadNullTest = QStringLiteral("Invalid use of keyword");
inline const QString SExprStringExpected = QStringLiteral("String constant expected but %1 found");
inline const QString SExprTermination = QStringLiteral("Filter expression incorrectly terminated");
inline const QString SExprIncorrect = QStringLiteral("Incorrectly formed filter expression");
inline const QString SExprNameError = QStringLiteral("Unterminated field name");
inline const QString SExprStringError = QStringLiteral("Unterminated string constant");
inline const QString SExprInvalidChar = QStringLiteral("Invalid filter expression character: '%1'");
inline const QString SExprBadConst = QStringLiteral("Constant is not correct type %1");
inline const QString SExprNothing = QStringLiteral("nothing");

} // namespace zorbel::DBConsts
