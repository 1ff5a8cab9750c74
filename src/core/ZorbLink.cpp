// Links in reference-book cells (see ZorbLink.h).
#include "core/ZorbLink.h"

#include "platform/system/ShellOpen.h"

namespace zorbel {

TLinkKind ClassifyLink(const QString &Text, QString *Address)
{
    const QString text = Text.trimmed();
    QString address;
    TLinkKind kind = TLinkKind::Refused;
    if (text.isEmpty()) {
        kind = TLinkKind::None;
    } else if (text.contains(u'@')) {
        address = text.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive) ? text
                                                                                  : QStringLiteral("mailto:") + text;
        kind = ShellAddress(address).isValid() ? TLinkKind::Mail : TLinkKind::Refused;
    } else if (ShellAddress(text).isValid()) {
        address = text;
        kind = TLinkKind::Web;
    } else if (IsDocumentFile(text)) {
        address = text;
        kind = TLinkKind::Document;
    }
    if (Address)
        *Address = address;
    return kind;
}

QString OpenLinkText(const QString &Text)
{
    QString address;
    switch (ClassifyLink(Text, &address)) {
    case TLinkKind::None:
        return {};
    case TLinkKind::Mail:
    case TLinkKind::Web:
        ShellOpen(address); // the desktop's own answer is not ours to report
        return {};
    case TLinkKind::Document:
        ShellOpenDocument(address);
        return {};
    case TLinkKind::Refused:
        break;
    }
    return QString::fromUtf8("Это не адрес почты, не веб-адрес и не документ:\r%1\rПрограммы и сценарии из данных "
                             "не запускаются.")
        .arg(Text.trimmed());
}

} // namespace zorbel
