// Finding a text among the text records of a recorded page.
#pragma once

#include <QByteArray>
#include <QString>

namespace zorbel {

// True when one text record of the page holds text (an empty text is never
// found; a text split over two records is not found). Without matchCase both
// sides are compared upper-cased. Characters are compared whole, so Cyrillic
// is found. One search runs at a time: a second waits, handling the
// application's events, until the first is done.
bool RepMetafileTextSearch(const QString &text, const QByteArray &emf, bool matchCase);

} // namespace zorbel
