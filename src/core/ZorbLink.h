// Opening the text of a reference-book cell as a link: an e-mail address
// (any text with "@", given "mailto:" in front), a web address, or a document
// file. Data never starts a program: a program, script or desktop entry named
// in a cell is refused with a message.
#pragma once

#include <QString>

namespace zorbel {

enum class TLinkKind {
    None,     // an empty text: nothing happens
    Mail,     // handed on as "mailto:" + text
    Web,      // a web address
    Document, // an existing document file
    Refused,  // neither: not opened
};

// What the text would be opened as, and the address handed on.
TLinkKind ClassifyLink(const QString &Text, QString *Address = nullptr);

// Opens the text as ClassifyLink says. Returns the message to show when it
// is refused (empty when opened or when there was nothing to open).
QString OpenLinkText(const QString &Text);

} // namespace zorbel
