// The work folder routines and the file type association of TulnCommon (see
// TulnCommon.h).
#include "core/TulnCommon.h"

#include "platform/system/Registry.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zorbel {

namespace {

QString DataHome() { return UserDataHome(); }

QString ProgramPath()
{
    const QString path = ProgramFile();
    return path.isEmpty() ? QStringLiteral("zorbel") : path;
}

// Writes a text file unless it already holds exactly that text; failures are
// ignored. True when the file was written.
bool WriteIfChanged(const QString &fileName, const QByteArray &text)
{
    // A file longer than the text differs from it: no more of it is read.
    QByteArray old;
    if (ReadWholeFile(fileName, text.size(), old).Ok() && old == text)
        return false;
    try {
        SaveFileAtomically(fileName, text);
        ChangeMode(fileName, 0644);
        return true;
    } catch (const Exception &) {
        return false;
    }
}

// The installed program's desktop entry, and the files of the registration
// that the program carries in its resources: the same desktop entry, the MIME
// package and the icon that the install puts under <prefix>/share.
const QString InstalledEntryName = QStringLiteral("example.zorbel.Zorbel.desktop");
const QString EntryResource = QStringLiteral(":/desktop/example.zorbel.Zorbel.desktop");
const QString MimeResource = QStringLiteral(":/desktop/zorbel.xml");
const QString IconResource = QStringLiteral(":/desktop/zorbel.png");

QByteArray ResourceBytes(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The desktop entry for this program file: the installed entry with its Exec
// line naming the program by its full path. Empty when the path cannot be
// written in an Exec line.
QByteArray UserDesktopEntry()
{
    const QString exec = DesktopExecArgument(ProgramPath());
    if (exec.isEmpty())
        return {};
    QStringList lines = QString::fromUtf8(ResourceBytes(EntryResource)).split(u'\n');
    for (QString &line : lines)
        if (line.startsWith(QLatin1String("Exec=")))
            line = QStringLiteral("Exec=") + exec + QStringLiteral(" %f");
    return lines.join(u'\n').toUtf8();
}

void StartDesktopRefresh(const QString &dataFolder) { RefreshDesktopDatabases(dataFolder, false); }

TMimeRefresh &MimeRefresh()
{
    static TMimeRefresh refresh = StartDesktopRefresh;
    return refresh;
}

void RefreshDatabases()
{
    if (MimeRefresh())
        MimeRefresh()(DataHome());
}

} // namespace

TMimeRefresh SetMimeRefresh(TMimeRefresh Refresh)
{
    TMimeRefresh previous = std::move(MimeRefresh());
    MimeRefresh() = std::move(Refresh);
    return previous;
}

namespace {

// The fresh folder made for this run, when one was needed: one per run,
// whoever asks, and removed at its end.
QString &FreshFolderOfRun()
{
    static QString folder;
    return folder;
}

} // namespace

void TempFolder(QString &path)
{
    // The session folder is private by design; a shared temporary folder may
    // hold a folder of our name planted by someone else, so then a fresh one.
    path = UserRuntimeFolder();
    if (path.isEmpty())
        path = UserTempFolder();
    if (path.isEmpty()) {
        QString &fresh = FreshFolderOfRun();
        if (fresh.isEmpty() || !FolderExists(fresh))
            fresh = FreshPrivateFolder();
        path = fresh;
    }
}

void RemoveFreshTempFolder()
{
    QString &fresh = FreshFolderOfRun();
    if (!fresh.isEmpty())
        ClearFolder(fresh, false);
    fresh.clear();
}

void RemoveAbandonedTempFolders(const QString &LockName)
{
    const QString temp = SystemTempFolder();
    const QString prefix = QStringLiteral("zorbel-") + QString::number(::getuid()) + u'-';
    for (const TFolderEntry &e : FolderEntries(temp, {prefix + QStringLiteral("??????")})) {
        const QString folder = AbsoluteName(temp + u'/' + e.Name);
        struct stat st {};
        if (!e.Folder || e.Link || ::lstat(EncodeSystemName(folder).constData(), &st) != 0 || st.st_uid != ::getuid() ||
            folder + u'/' == FreshFolderOfRun())
            continue;
        // A run holds its guard in its folder from the moment it made it; a
        // folder whose guard no one holds belongs to a run that has ended.
        const int fd =
            TSysEnv::Open(folder + u'/' + LockName + QStringLiteral(".lock"), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
        bool abandoned;
        if (fd >= 0) {
            abandoned = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
            TSysEnv::Close(fd);
        } else if (errno != ENOENT) {
            // A guard that is there but cannot be opened (no descriptor left,
            // a link): its run may be alive, and its work copy is not removed.
            abandoned = false;
        } else {
            // No guard yet: only a folder older than a start could be.
            const QDateTime made = TSysEnv::ModifiedTime(folder);
            abandoned = made.isValid() && made.secsTo(TSysEnv::CurrentTime()) > 60;
        }
        if (abandoned)
            ClearFolder(folder, false);
    }
}

bool ForceFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    if (!IsFolder(path)) {
        // Create the parents first, then the folder itself private to the user.
        MakeFolders(AbsoluteFolderOf(path));
        MakeFolder(AbsoluteName(path), 0700);
    }
    return FolderExists(path);
}

bool FolderExists(const QString &path)
{
    return IsFolder(path);
}

bool IsFolderEmpty(const QString &path)
{
    if (!IsFolder(path) || IsSymLink(path))
        return true;
    return FolderEntries(path).isEmpty();
}

bool ClearFolder(const QString &path, bool keepFolder)
{
    if (!PathExists(path) && !IsSymLink(path))
        return true;
    if (keepFolder && IsFolderEmpty(path))
        return true;
    const QString folder = AbsoluteName(path);
    for (const TFolderEntry &entry : FolderEntries(folder)) {
        const QString name = folder + u'/' + entry.Name;
        if (entry.Folder && !entry.Link) {
            // A read-only folder cannot lose its entries; give the owner write access.
            ChangeMode(name, 0700);
            ClearFolder(name, false);
        } else {
            TSysEnv::Remove(name);
        }
    }
    if (keepFolder)
        return IsFolderEmpty(path);
    return ::rmdir(EncodeSystemName(path).constData()) == 0 && !PathExists(path);
}

QString FindFileIn(const QString &folder, const QString &mask)
{
    // The first file by name, so the same file is found at every start.
    const QString base = AbsoluteName(folder);
    QStringList names;
    for (const TFolderEntry &e : FolderEntries(base, {mask}))
        if (!e.Folder && IsRegularFile(base + u'/' + e.Name))
            names << e.Name;
    if (names.isEmpty())
        return {};
    std::sort(names.begin(), names.end());
    return base + u'/' + names.first();
}

void FindFileNearExe(const QString &mask, QString &path)
{
    path = FindFileIn(AbsoluteFolderOf(ProgramFile()), mask);
}

QString MimePackageFile(const QString &typeName)
{
    return DataHome() + QStringLiteral("/mime/packages/zorbel-") + typeName.toLower() + QStringLiteral(".xml");
}

QString DesktopExecArgument(const QString &program)
{
    // Inside the quotes '"', '`', '$' and '\' take a backslash and '%' is
    // doubled (field codes); then the whole value is escaped again as a
    // desktop-entry string, which doubles every backslash.
    QString quoted;
    for (QChar c : program) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QString(); // no way to write a control character in Exec
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        else if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    quoted = u'"' + quoted + u'"';
    quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    return quoted;
}

QString DesktopEntryFile(const QString &typeName)
{
    return DataHome() + QStringLiteral("/applications/zorbel-") + typeName.toLower() + QStringLiteral(".desktop");
}

QString UserIconFile()
{
    return DataHome() + QStringLiteral("/icons/hicolor/256x256/apps/zorbel.png");
}

QString InstalledDesktopEntry()
{
    const QString home = DataHome();
    for (const QString &folder : SystemDataFolders()) {
        if (folder == home)
            continue;
        const QString entry = folder + QStringLiteral("/applications/") + InstalledEntryName;
        if (IsRegularFile(entry))
            return entry;
    }
    return {};
}

namespace {

// Runs tool on path, its input and (when waited for) its output going
// nowhere; waits for it at most ten seconds (then it is killed), or leaves it
// to run alone (through a second fork, so that no child is left unreaped).
// Started with fork() and exec, not QProcess: Qt starts a program with a
// vfork-like clone whose child runs in this process's own memory, and the
// thread sanitizer build, which follows fork(), then loses sight of the
// program's locks for the rest of the run.
void RunDesktopTool(const QString &tool, const QString &path, bool wait)
{
    QByteArray program = QFile::encodeName(tool), argument = QFile::encodeName(path);
    char *argv[] = {program.data(), argument.data(), nullptr};
    const pid_t child = ::fork();
    if (child < 0)
        return;
    if (child == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            if (wait)
                ::dup2(null, 1);
        }
        if (!wait && ::fork() != 0)
            ::_exit(0);
        ::execv(argv[0], argv);
        ::_exit(127);
    }
    int status = 0;
    if (wait) {
        QElapsedTimer clock;
        clock.start();
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (clock.elapsed() > 10000) {
                ::kill(child, SIGKILL);
                break;
            }
            ::usleep(10000);
        }
    }
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

void RefreshDesktopDatabases(const QString &dataFolder, bool wait)
{
    // Each tool rebuilds the cache of one folder; a desktop without them
    // reads the folders as they are.
    const std::pair<const char *, const char *> steps[] = {{"update-mime-database", "/mime"},
                                                          {"update-desktop-database", "/applications"}};
    for (const auto &[name, folder] : steps) {
        const QString tool = QStandardPaths::findExecutable(QString::fromLatin1(name));
        const QString path = dataFolder + QLatin1String(folder);
        if (tool.isEmpty() || !FolderExists(path))
            continue;
        RunDesktopTool(tool, path, wait);
    }
}

bool RegisterFileType(const QString &extension, const QString &typeName, const QString &description,
                      bool doRegister)
{
    try {
        TRegistry reg;
        if (reg.KeyExists(QStringLiteral("Software\\Ventaro\\Lumvara")))
            reg.DeleteKey(QStringLiteral("Software\\Ventaro\\Lumvara"));
    } catch (const Exception &) {
        // A stale key of another program's name holds no data of this one.
    }
    if (typeName.isEmpty())
        return PathExists(MimePackageFile(typeName));
    const QString mimeFile = MimePackageFile(typeName);
    const QString desktopFile = DesktopEntryFile(typeName);
    const QString installed = InstalledDesktopEntry();
    const bool existed = PathExists(mimeFile) || !installed.isEmpty();
    // The files of the user's registration: what the install ships, with the
    // Exec line naming this program file (extension and MIME type are those
    // of the shipped MIME package).
    Q_UNUSED(extension);
    if (doRegister && installed.isEmpty()) {
        bool changed = WriteIfChanged(mimeFile, ResourceBytes(MimeResource));
        changed = WriteIfChanged(UserIconFile(), ResourceBytes(IconResource)) || changed;
        const QByteArray entry = UserDesktopEntry();
        if (!entry.isEmpty())
            changed = WriteIfChanged(desktopFile, entry) || changed;
        if (changed)
            RefreshDatabases();
    } else {
        // Unregistering, or the installed program's own entry and type serve:
        // a user copy (from a run out of a build folder) would shadow them.
        bool removed = false;
        for (const QString &file : {mimeFile, desktopFile, UserIconFile()})
            removed = TSysEnv::Remove(file) || removed;
        if (removed)
            RefreshDatabases();
        if (!doRegister) {
            try {
                TRegistry reg;
                const QString key = QStringLiteral("Software\\Ventaro\\") + description;
                if (reg.KeyExists(key))
                    reg.DeleteKey(key);
            } catch (const Exception &) {
                // A settings key left behind holds only window places and options.
            }
        }
    }
    return existed;
}

} // namespace zorbel
