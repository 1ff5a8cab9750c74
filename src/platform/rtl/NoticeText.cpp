// Russian words for the English texts some platform exceptions keep (see
// NoticeText.h). Each English text is a pattern whose "%1" stands for its
// argument; its Russian words take the argument at their "%1".
#include "platform/rtl/NoticeText.h"

#include "platform/rtl/Exceptions.h"

#include <QRegularExpression>

#include <cstdio>
#include <new>
#include <vector>

namespace zorbel {

namespace {

struct TWords {
    const char16_t *English;
    const char16_t *Russian;
};
constexpr TWords Words[] = {
    // English (as raised)                          Russian (as shown)
    {u"Cannot perform this operation on a closed dataset", u"Действие невозможно: таблица закрыта"},
    {u"Field '%1' not found", u"Поле «%1» не найдено"},
    {u"Field %1 is read only", u"Поле %1 доступно только для чтения"},
    {u"Dataset is not in edit mode.", u"Таблица не в режиме правки."},
    {u"More fields than values", u"Полей больше, чем значений"},
    {u"List index out of bounds (%1)", u"Номер строки списка вне его границ (%1)"},
    {u"Invalid data type for '%1'", u"Неверный тип значения «%1» в файле настроек"},
    {u"NULL only allowed with '=' and '<>'", u"NULL допустим только с «=» и «<>»"},
    {u"Type mismatch in expression", u"Несовпадение типов в выражении"},
    {u"IN predicate list may not be empty", u"Список IN не может быть пустым"},
    {u"Unterminated string constant", u"Строковая константа не закрыта"},
    {u"Unterminated field name", u"Имя поля не закрыто"},
    {u"Invalid filter expression character: '%1'", u"Недопустимый знак в выражении фильтра: «%1»"},
    // the end of the text, which the parser names "nothing", before any token
    {u"')' or ',' expected but nothing found", u"Ожидалась «)» или «,», а текст кончился"},
    {u"'(' expected but nothing found", u"Ожидалась «(», а текст кончился"},
    {u"')' expected but nothing found", u"Ожидалась «)», а текст кончился"},
    {u"Expression expected but nothing found", u"Ожидалось выражение, а текст кончился"},
    {u"')' or ',' expected but %1 found", u"Ожидалась «)» или «,», а найдено %1"},
    {u"'(' expected but %1 found", u"Ожидалась «(», а найдено %1"},
    {u"')' expected but %1 found", u"Ожидалась «)», а найдено %1"},
    {u"Expression expected but %1 found", u"Ожидалось выражение, а найдено %1"},
    {u"Invalid use of keyword", u"Ключевое слово использовано неверно"},
    {u"Incorrectly formed filter expression", u"Неверно составленное выражение фильтра"},
    {u"Filter expression incorrectly terminated", u"Выражение фильтра неверно завершено"},
};

struct TCompiled {
    QRegularExpression Pattern;
    QString Replacement;
};

const std::vector<TCompiled> &Compiled()
{
    static const std::vector<TCompiled> compiled = [] {
        std::vector<TCompiled> list;
        for (const TWords &w : Words) {
            const QString english = QString::fromUtf16(w.English);
            QString pattern = QRegularExpression::escape(english);
            // The argument: the shortest run that lets the rest match.
            pattern.replace(QRegularExpression::escape(QStringLiteral("%1")), QStringLiteral("(.*?)"));
            QString russian = QString::fromUtf16(w.Russian);
            russian.replace(QStringLiteral("%1"), QStringLiteral("\\1"));
            list.push_back({QRegularExpression(pattern), russian});
        }
        return list;
    }();
    return compiled;
}

} // namespace

QString NoticeText(const QString &Text)
{
    QString text = Text;
    for (const TCompiled &c : Compiled())
        text.replace(c.Pattern, c.Replacement);
    return text;
}

QString ExceptionNotice(const std::exception &E)
{
    if (const auto *own = dynamic_cast<const Exception *>(&E))
        return own->Message();
    if (dynamic_cast<const std::bad_alloc *>(&E))
        return QStringLiteral("Недостаточно памяти");
    std::fprintf(stderr, "zorbel: %s\n", E.what());
    return QStringLiteral("Внутренняя ошибка программы");
}

} // namespace zorbel
