// Shell open: the address is checked here, then handed to the launcher, by
// default the desktop's URL handler (which needs the GUI application object).
#include "platform/system/ShellOpen.h"

#include <QDesktopServices>

namespace zorbel {

namespace {

TShellLauncher &Launcher()
{
    static TShellLauncher launcher = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    return launcher;
}

} // namespace

TShellLauncher SetShellLauncher(TShellLauncher launcher)
{
    std::swap(Launcher(), launcher);
    return launcher;
}

QUrl ShellAddress(const QString &address)
{
    QString text = address;
    if (text.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        text.prepend(QLatin1String("http://"));
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return {};
    const QString scheme = url.scheme(); // QUrl keeps schemes in lower case
    const bool web = (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
    const bool mail = scheme == QLatin1String("mailto") && !url.path().isEmpty() && url.host().isEmpty();
    return web || mail ? url : QUrl();
}

bool ShellOpen(const QString &address)
{
    const QUrl url = ShellAddress(address);
    return url.isValid() && Launcher() && Launcher()(url);
}

} // namespace zorbel
