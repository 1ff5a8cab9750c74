// Message texts of the dataset framework, in Russian: whatever reaches a
// notice is read by the user. A few stay in English, as their callers and the
// memory table's users know them ("Field '%1' not found", a closed dataset,
// a field written outside editing, a read-only field, more fields than
// values, the filter parser's); a notice shows those in
// Russian (platform/rtl/NoticeText.h). Callers format them with
// QString::arg (%1, %2, ...).
#pragma once

#include <QString>

namespace zorbel::DBConsts {

inline const QString SFieldNotFound = QStringLiteral("Field '%1' not found");
inline const QString SRecordNotFound = QStringLiteral("Запись не найдена");
inline const QString SNotEditing = QStringLiteral("Dataset is not in edit mode.");
inline const QString SNotInsertOrEdit = QStringLiteral("Таблица не в режиме правки или добавления");
inline const QString SDataSetClosed =
    QStringLiteral("Cannot perform this operation on a closed dataset");
inline const QString SDataSetOpen = QStringLiteral("Действие невозможно: таблица открыта");
inline const QString SDataSetEmpty =
    QStringLiteral("Действие невозможно: таблица пуста");
inline const QString SDataSetReadOnly = QStringLiteral("Таблица доступна только для чтения");
inline const QString SFieldReadOnly = QStringLiteral("Field %1 is read only");
inline const QString SFieldRequired = QStringLiteral("Поле '%1' должно быть заполнено");
inline const QString SFieldAccessError = QStringLiteral("Поле «%1» нельзя прочитать как %2");
inline const QString SFieldTypeMismatch =
    QStringLiteral("Тип поля «%1» не тот: ожидался %2, а он %3");
inline const QString SFieldRangeError =
    QStringLiteral("Значение %1 не подходит для поля '%2': допустимо от %3 до %4");
inline const QString SInvalidIntegerValue = QStringLiteral("'%1' - не целое число (поле '%2')");
inline const QString SInvalidFloatValue = QStringLiteral("'%1' - не число (поле '%2')");
inline const QString SInvalidDateValue = QStringLiteral("'%1' - неверная дата");
inline const QString SInvalidTimeValue = QStringLiteral("'%1' - неверное время");
inline const QString SInvalidDateTimeValue = QStringLiteral("'%1' - неверные дата и время");
inline const QString SInvalidBoolValue = QStringLiteral("'%1' - не логическое значение (поле '%2')");
inline const QString SDuplicateFieldName = QStringLiteral("Поле «%1» названо дважды");
inline const QString SDuplicateIndexName = QStringLiteral("Индекс «%1» назван дважды");
inline const QString SIndexNotFound = QStringLiteral("Индекс «%1» не найден");
inline const QString SNoFieldIndexes = QStringLiteral("Ни один индекс не выбран");
inline const QString SFieldIndexError = QStringLiteral("Номер поля вне допустимых");
inline const QString SDataSetMissing = QStringLiteral("Поле «%1» не принадлежит таблице");
inline const QString SLookupInfoError = QStringLiteral("Подстановка поля «%1» описана не полностью");
inline const QString SCircularDataLink = QStringLiteral("Круговые связи таблиц недопустимы");
inline const QString SBookmarkNotFound = QStringLiteral("Закладка не найдена");
inline const QString SFieldValueError = QStringLiteral("Недопустимое значение поля «%1»");
inline const QString SNotBrowsing = QStringLiteral("Таблица не в режиме просмотра");
inline const QString SFieldsOnOpen = QStringLiteral("Поля открытой таблицы нельзя добавлять и убирать");
inline const QString SMoreFieldsThanValues = QStringLiteral("More fields than values");

// Filter-expression parser.
inline const QString SExprNullOnlyEqNe = QStringLiteral("NULL only allowed with '=' and '<>'");
inline const QString SExprTypeMis = QStringLiteral("Type mismatch in expression");
inline const QString SExprEmptyInList = QStringLiteral("IN predicate list may not be empty");
inline const QString SExprNoLParen = QStringLiteral("'(' expected but %1 found");
inline const QString SExprNoRParen = QStringLiteral("')' expected but %1 found");
inline const QString SExprNoRParenOrComma = QStringLiteral("')' or ',' expected but %1 found");
inline const QString SExprExpected = QStringLiteral("Expression expected but %1 found");
inline const QString SExprBadField = QStringLiteral("Поле «%1» нельзя использовать в выражении фильтра");
inline const QString SExprBadNullTest = QStringLiteral("Invalid use of keyword");
inline const QString SExprStringExpected = QStringLiteral("Ожидалась строковая константа, а найдено %1");
inline const QString SExprTermination = QStringLiteral("Filter expression incorrectly terminated");
inline const QString SExprIncorrect = QStringLiteral("Incorrectly formed filter expression");
inline const QString SExprNameError = QStringLiteral("Unterminated field name");
inline const QString SExprStringError = QStringLiteral("Unterminated string constant");
inline const QString SExprInvalidChar = QStringLiteral("Invalid filter expression character: '%1'");
inline const QString SExprBadConst = QStringLiteral("Константа не того типа: %1");
inline const QString SExprNothing = QStringLiteral("nothing");

} // namespace zorbel::DBConsts
