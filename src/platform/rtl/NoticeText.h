// The words a notice of the program's own windows shows for a failure.
//
// The platform's exceptions speak Russian, with a few exceptions kept in
// English because callers and stored expectations know them so: the dataset
// contract's texts ("Field '%s' not found", "Cannot perform this operation on
// a closed dataset", a field written outside editing, a read-only field, more
// fields than values), the filter parser's, the string
// list's index error and the settings store's "Invalid data type for '%s'".
// None is meant for a user, but a fault or a doctored file can carry one into
// a notice; there the user reads it in Russian. An exception that is not the
// platform's own (the standard library's, a failed allocation) has only an
// English text, which no notice shows.
#pragma once

#include <QString>
#include <exception>

namespace zorbel {

// Text with every English text of the list above, wherever it stands in it,
// replaced by its Russian words (its argument kept). Every other text is
// returned as it is.
QString NoticeText(const QString &Text);

// What a notice says of a caught exception: the message of the program's
// exceptions (Exception); "Недостаточно памяти" for a failed allocation;
// "Внутренняя ошибка программы" for any other (its English text goes to the
// standard error, for whoever runs the program from a terminal).
QString ExceptionNotice(const std::exception &E);

} // namespace zorbel
