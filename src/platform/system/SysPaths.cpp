// Path questions over POSIX calls with the byte-exact codec (see SysPaths.h).
#include "platform/system/SysPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorbel {

namespace {

QByteArray Native(const QString &path) { return EncodeSystemName(path); }

} // namespace

QString SystemTempFolder()
{
    const QString tmp = DecodeSystemName(qgetenv("TMPDIR"));
    return QDir::cleanPath(QDir::isAbsolutePath(tmp) ? tmp : QStringLiteral("/tmp"));
}

namespace {

// An environment variable's value as a folder: byte-exact, cleaned; empty
// unless it is an absolute path.
QString FolderFromEnvironment(const char *name)
{
    const QString value = DecodeSystemName(qgetenv(name));
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : QString();
}

} // namespace

QString HomeFolder()
{
    const QString home = FolderFromEnvironment("HOME");
    if (!home.isEmpty())
        return home;
    const passwd *entry = ::getpwuid(::getuid());
    const QString own = entry && entry->pw_dir ? DecodeSystemName(QByteArray(entry->pw_dir)) : QString();
    return QDir::isAbsolutePath(own) ? QDir::cleanPath(own) : QString();
}

QString UserDataHome()
{
    const QString data = FolderFromEnvironment("XDG_DATA_HOME");
    if (!data.isEmpty())
        return data;
    const QString home = HomeFolder();
    return home.isEmpty() ? QString() : QDir::cleanPath(home + QStringLiteral("/.local/share"));
}

QString UserConfigHome()
{
    const QString config = FolderFromEnvironment("XDG_CONFIG_HOME");
    if (!config.isEmpty())
        return config;
    const QString home = HomeFolder();
    return home.isEmpty() ? QString() : QDir::cleanPath(home + QStringLiteral("/.config"));
}

QStringList SystemDataFolders()
{
    QStringList folders;
    for (const QByteArray &entry : qgetenv("XDG_DATA_DIRS").split(':')) {
        const QString folder = DecodeSystemName(entry);
        if (QDir::isAbsolutePath(folder))
            folders << QDir::cleanPath(folder);
    }
    if (folders.isEmpty())
        folders << QStringLiteral("/usr/local/share") << QStringLiteral("/usr/share");
    return folders;
}

QString ProgramFile()
{
    QByteArray name(PATH_MAX, Qt::Uninitialized);
    const ssize_t n = ::readlink("/proc/self/exe", name.data(), size_t(name.size()));
    if (n > 0 && n < name.size())
        return DecodeSystemName(name.left(n));
    return QCoreApplication::applicationFilePath();
}

QString AbsoluteName(const QString &path)
{
    if (QDir::isAbsolutePath(path))
        return QDir::cleanPath(path);
    QByteArray cwd(4096, Qt::Uninitialized);
    while (!::getcwd(cwd.data(), size_t(cwd.size()))) {
        if (errno != ERANGE)
            return QDir::cleanPath(QDir::currentPath() + u'/' + path);
        cwd.resize(cwd.size() * 2);
    }
    cwd.truncate(qsizetype(qstrlen(cwd.constData())));
    return QDir::cleanPath(DecodeSystemName(cwd) + (path.isEmpty() ? QString() : u'/' + path));
}

QString AbsoluteFolderOf(const QString &path)
{
    const QString name = AbsoluteName(path);
    const qsizetype slash = name.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : name.left(slash);
}

QString LocalFileOfUrl(const QUrl &url)
{
    if (!url.isLocalFile())
        return {};
    const QString path = DecodeSystemName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
    // A file on another host (file://server/share/x) keeps its host as
    // QUrl::toLocalFile gives it.
    return url.host().isEmpty() ? path : QStringLiteral("//") + url.host() + path;
}

namespace {

bool StatOf(const QString &path, struct stat &st) { return !path.isEmpty() && ::stat(Native(path).constData(), &st) == 0; }

} // namespace

bool PathExists(const QString &path)
{
    struct stat st {};
    return StatOf(path, st);
}

bool IsFolder(const QString &path)
{
    struct stat st {};
    return StatOf(path, st) && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const QString &path)
{
    struct stat st {};
    return StatOf(path, st) && S_ISREG(st.st_mode);
}

bool IsSymLink(const QString &path)
{
    struct stat st {};
    return !path.isEmpty() && ::lstat(Native(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

qint64 FileSizeOf(const QString &path)
{
    struct stat st {};
    return StatOf(path, st) ? qint64(st.st_size) : -1;
}

int FileModeOf(const QString &path)
{
    struct stat st {};
    return StatOf(path, st) ? int(st.st_mode & 07777) : -1;
}

QString CanonicalName(const QString &path)
{
    if (path.isEmpty())
        return {};
    char *resolved = ::realpath(Native(path).constData(), nullptr);
    if (!resolved)
        return {};
    const QString name = DecodeSystemName(QByteArray(resolved));
    ::free(resolved);
    return name;
}

bool PathAccessible(const QString &path, int how) { return ::access(Native(path).constData(), how) == 0; }

int ChangeMode(const QString &path, int mode) { return ::chmod(Native(path).constData(), mode_t(mode)) == 0 ? 0 : errno; }

bool MakeFolder(const QString &path, int mode) { return ::mkdir(Native(path).constData(), mode_t(mode)) == 0; }

bool MakeFolders(const QString &path, int mode)
{
    if (path.isEmpty())
        return false;
    const QString folder = AbsoluteName(path);
    if (IsFolder(folder))
        return true;
    if (folder != QLatin1String("/") && !MakeFolders(AbsoluteFolderOf(folder), mode))
        return false;
    return MakeFolder(folder, mode) || IsFolder(folder);
}

bool RemoveFolder(const QString &path) { return ::rmdir(Native(path).constData()) == 0 || errno == ENOENT; }

namespace {

// Name matches the wildcard pattern: '*' any run, '?' one unit, other units
// themselves, case ignored. Works on UTF-16 units, so a kept byte is one.
bool WildcardMatch(QStringView pattern, QStringView name)
{
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace

QList<TFolderEntry> FolderEntries(const QString &folder, const QStringList &patterns)
{
    QList<TFolderEntry> entries;
    DIR *dir = ::opendir(Native(folder).constData());
    if (!dir)
        return entries;
    const QByteArray prefix = Native(folder.endsWith(u'/') ? folder : folder + u'/');
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray bytes(e->d_name);
        if (bytes == "." || bytes == "..")
            continue;
        TFolderEntry entry;
        entry.Name = DecodeSystemName(bytes);
        if (!patterns.isEmpty() && std::none_of(patterns.begin(), patterns.end(), [&](const QString &p) {
                return WildcardMatch(p, entry.Name);
            }))
            continue;
        const QByteArray full = prefix + bytes;
        struct stat st {};
        if (::lstat(full.constData(), &st) == 0) {
            entry.Link = S_ISLNK(st.st_mode);
            entry.Folder = S_ISDIR(st.st_mode) || (entry.Link && ::stat(full.constData(), &st) == 0 && S_ISDIR(st.st_mode));
        }
        entries << entry;
    }
    ::closedir(dir);
    return entries;
}

QString ReachableName(const QString &shown, bool *ambiguous)
{
    if (ambiguous)
        *ambiguous = false;
    if (!shown.contains(QChar(0xFFFD)))
        return shown;
    // A part that holds U+FFFD is looked up among its folder's entries even
    // when a name with that very text exists: a file truly named so and one
    // whose bytes Qt shows so look the same in the dialog, and choosing one
    // must not open (or save over) the other.
    const QStringList parts = AbsoluteName(shown).split(u'/');
    QString path;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        QString next = path + u'/' + parts[i];
        if (parts[i].contains(QChar(0xFFFD))) {
            QStringList found;
            for (const TFolderEntry &e : FolderEntries(path.isEmpty() ? QStringLiteral("/") : path))
                if (QFile::decodeName(EncodeSystemName(e.Name)) == parts[i])
                    found << e.Name;
            if (found.size() > 1) {
                if (ambiguous)
                    *ambiguous = true;
                return {};
            }
            if (found.isEmpty())
                return shown;
            next = path + u'/' + found.first();
        }
        path = next;
    }
    return path;
}

} // namespace zorbel
