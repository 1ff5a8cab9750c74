// Text search over a page's text records.
#include "report/RepTextSearch.h"

#include "platform/canvas/Metafile.h"

#include <QCoreApplication>

namespace zorbel {

namespace {
bool searchRunning = false;
} // namespace

bool RepMetafileTextSearch(const QString &text, const QByteArray &emf, bool matchCase)
{
    while (searchRunning)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    searchRunning = true;
    struct Done {
        ~Done() { searchRunning = false; }
    } done;
    if (text.isEmpty())
        return false;
    const QString wanted = matchCase ? text : text.toUpper();
    bool found = false;
    try {
        EnumMetafileTexts(emf, [&](const TMetafileText &record) {
            if (!found)
                found = (matchCase ? record.Text : record.Text.toUpper()).contains(wanted);
        });
    } catch (const EMetafileError &) {
        // A damaged page holds nothing to find; the search goes on with the next.
    }
    return found;
}

} // namespace zorbel
