// Shell open: the address is checked here, then handed to the launcher, by
// default the desktop's URL handler (which needs the GUI application object).
#include "platform/system/ShellOpen.h"
#include "platform/system/SysPaths.h"

#include <QDesktopServices>
#include <QFileInfo>

#include <unistd.h>

namespace zorbel {

namespace {

TShellLauncher &Launcher()
{
    static TShellLauncher launcher = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    return launcher;
}

// File kinds a desktop runs instead of showing, by suffix (lower case).
constexpr const char *RunnableSuffixes[] = {
    "desktop", "sh",  "bash", "zsh", "csh", "ksh", "fish", "py",  "pyw", "pl",   "rb",  "php", "js",
    "jar",     "exe", "com",  "bat", "cmd", "scr", "pif",  "msi", "vbs", "vbe",  "wsf", "ps1", "lnk",
    "url",     "run", "bin",  "appimage", "deb", "rpm", "flatpakref", "snap", "elf", "out", "command", "app",
};

QString LocalPath(const QString &path)
{
    if (path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return LocalFileOfUrl(QUrl(path));
    return path;
}

} // namespace

bool IsDocumentFile(const QString &path)
{
    const QString local = LocalPath(path);
    if (local.isEmpty())
        return false;
    if (!IsRegularFile(local) || PathAccessible(local, X_OK))
        return false;
    const QString suffix = QFileInfo(local).suffix().toLower();
    for (const char *runnable : RunnableSuffixes)
        if (suffix == QLatin1String(runnable))
            return false;
    return true;
}

bool ShellOpenDocument(const QString &path)
{
    if (!IsDocumentFile(path))
        return false;
    // From the name's bytes: QUrl::fromLocalFile would name another file
    // when they are not UTF-8.
    const QUrl url = QUrl::fromEncoded("file://" + EncodeSystemName(AbsoluteName(LocalPath(path))).toPercentEncoding("/"));
    return Launcher() && Launcher()(url);
}

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
