// The data file on disk: check, backup names, packing and installing (see
// ZorbFile.h).
#include "core/ZorbFile.h"

#include "archive/ZipLib.h"
#include "core/ZorbHost.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysFiles.h"
#include "platform/system/SysNames.h"

#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>

namespace zorbel {

namespace {

QString WithSeparator(const QString &folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

// The staging name of a file: beside it, hidden, so a half-written copy never
// carries the file's own name.
QString StagingName(const QString &file)
{
    return AbsoluteFolderOf(file) + QStringLiteral("/.~") + QFileInfo(file).fileName();
}

// The notice of a failed move or copy.
QString CopyErrorText(const QString &from, const QString &to)
{
    return QStringLiteral("Ошибка копирования\r") + ShownName(QFileInfo(from).fileName()) + QStringLiteral("\rв ") +
           ShownName(QFileInfo(to).fileName());
}

// Days between two file times (a missing file counts as 29 December 1899).
double AgeDays(const QString &newer, const QString &older)
{
    static const QDateTime Epoch(QDate(1899, 12, 29), QTime(0, 0));
    const QDateTime a = FileAge(newer), b = FileAge(older);
    return double((b.isValid() ? b : Epoch).msecsTo(a.isValid() ? a : Epoch)) / 86400000.0;
}

} // namespace

TDataFileState DataFileState(const QString &FileName)
{
    // A folder is no file; a FIFO, device or socket under the name is one
    // that cannot be read (and is never opened, so nothing waits on it); a
    // file past what the zip headers can address cannot be a data file.
    if (!PathExists(FileName) || IsFolder(FileName))
        return TDataFileState::Missing;
    if (!FileName.toLower().endsWith(QStringLiteral(".den")))
        return TDataFileState::BadExtension;
    TReadResult refused;
    const int fd = OpenRegularFile(FileName, O_RDONLY, ReadBound::DataFile, refused);
    if (fd < 0)
        return refused.Fault == TReadFault::Missing    ? TDataFileState::Missing
               : refused.Fault == TReadFault::TooLarge ? TDataFileState::BadFormat
                                                       : TDataFileState::NotReadable;
    char head[2] = {};
    const int64_t n = TSysEnv::Read(fd, head, 2);
    TSysEnv::Close(fd);
    if (n != 2 || head[0] != 'P' || head[1] != 'K')
        return TDataFileState::BadFormat;
    return TDataFileState::Ok;
}

QString DataFileMessage(TDataFileState State, const QString &Name)
{
    const QString cr = QStringLiteral("\r");
    const QString FileName = ShownName(Name);
    switch (State) {
    case TDataFileState::Ok:
        return {};
    case TDataFileState::Missing:
        return QStringLiteral("Файл отсутствует!") + cr + FileName;
    case TDataFileState::BadExtension:
        return QStringLiteral("Файл должен иметь расширение .den") + cr + FileName;
    case TDataFileState::NotReadable:
        return QStringLiteral("Файл не доступен!") + cr + FileName;
    case TDataFileState::BadFormat:
        return QStringLiteral("Неверный формат файла") + cr + FileName;
    }
    return {};
}

QString BackupFolderFor(const QString &PathBak, const QString &DataFile)
{
    if (!PathBak.isEmpty() && IsFolder(PathBak))
        return WithSeparator(AbsoluteName(PathBak));
    return WithSeparator(AbsoluteFolderOf(DataFile));
}

QString ReserveFolderFor(const QString &PathReserve, const QString &DefaultFolder)
{
    if (!PathReserve.isEmpty() && IsFolder(PathReserve))
        return WithSeparator(AbsoluteName(PathReserve));
    return DefaultFolder.isEmpty() ? QString() : WithSeparator(DefaultFolder);
}

QString ProgramDataFolder()
{
    const QString data = UserDataHome();
    return data.isEmpty() ? QString() : data + QStringLiteral("/zorbel");
}

QString ProgramDataPath(const QString &Name)
{
    const QString folder = ProgramDataFolder();
    return folder.isEmpty() ? QString() : folder + u'/' + Name;
}

QString DefaultReserveFolder()
{
    const QString folder = ProgramDataPath(QStringLiteral("Reserve"));
    return folder.isEmpty() ? QString() : WithSeparator(folder);
}

TPrivateFolder TakeProgramFolder(const QString &Folder, bool Make, QString *Refused)
{
    if (Folder.isEmpty()) {
        // No data folder (no home): nothing is kept.
        if (Refused)
            Refused->clear();
        return TPrivateFolder::Failed;
    }
    const QString folder = AbsoluteName(Folder);
    const QString home = ProgramDataFolder();
    // A folder inside the program's data folder is reached through it: that
    // one is checked first.
    const bool inside = folder != home && AbsoluteFolderOf(folder) == home;
    if (Make)
        MakeFolders(AbsoluteFolderOf(inside ? home : folder));
    QString at = inside ? home : folder;
    TPrivateFolder state = TakePrivateFolder(at, Make);
    if (state == TPrivateFolder::Ok && inside)
        state = TakePrivateFolder(at = folder, Make);
    if (Refused)
        *Refused = state == TPrivateFolder::Ok ? QString() : at;
    return state;
}

QString FolderFaultText(const QString &Folder, TPrivateFolder Fault)
{
    const QString name = QStringLiteral("«") + ShownName(Folder) + QStringLiteral("»");
    switch (Fault) {
    case TPrivateFolder::Ok:
        return {};
    case TPrivateFolder::Link:
        return QStringLiteral("папка ") + name + QStringLiteral(" — ссылка на другую папку");
    case TPrivateFolder::Foreign:
        return QStringLiteral("папка ") + name + QStringLiteral(" принадлежит другому пользователю");
    case TPrivateFolder::NotFolder:
        return name + QStringLiteral(" — не папка");
    case TPrivateFolder::Missing:
    case TPrivateFolder::Failed:
        break;
    }
    return QStringLiteral("папку ") + name + QStringLiteral(" не удалось создать");
}

QString RefusedFolderText(const QString &Folder, TPrivateFolder Fault, const QString &Kept)
{
    if (Fault == TPrivateFolder::Ok || Fault == TPrivateFolder::Missing)
        return {};
    QString text = FolderFaultText(Folder, Fault);
    text[0] = text[0].toUpper();
    return text + QStringLiteral(": программа не хранит там ") + Kept + QStringLiteral(".\rУдалите или переименуйте ") +
           (Fault == TPrivateFolder::NotFolder ? QStringLiteral("этот файл") : QStringLiteral("её")) +
           QStringLiteral(" — программа создаст свою папку.");
}

QStringList ProgramFolderNotices()
{
    // The data folder first: a fault there is told once, for all it holds.
    const std::pair<QString, QString> folders[] = {
        {ProgramDataFolder(), QStringLiteral("список проверенных файлов и итоги по дням")},
        {ProgramDataPath(QStringLiteral("sums")), QStringLiteral("итоги по дням")}};
    QStringList notices, refused;
    for (const auto &[folder, kept] : folders) {
        if (folder.isEmpty())
            continue; // no data folder at all: nothing to tell of one
        QString at;
        const TPrivateFolder state = TakeProgramFolder(folder, false, &at);
        if (state != TPrivateFolder::Ok && !refused.contains(at)) {
            refused << at;
            notices << RefusedFolderText(at, state, kept);
        }
    }
    notices.removeAll(QString());
    return notices;
}

TBackupNames BackupNamesFor(const QString &Target, const QString &BackupFolder, const QString &ReserveFolder)
{
    TBackupNames n;
    n.Target = Target;
    const QString bakName = QFileInfo(Target).completeBaseName() + QStringLiteral(".bak");
    n.Backup = WithSeparator(BackupFolder) + bakName;
    if (!ReserveFolder.isEmpty()) {
        n.Reserve1 = WithSeparator(ReserveFolder) + QStringLiteral("1_") + bakName;
        n.Reserve2 = WithSeparator(ReserveFolder) + QStringLiteral("2_") + bakName;
    }
    return n;
}

bool MoveFileReport(const QString &Source, const QString &Target, TNoticeHost &Host)
{
    bool done = MoveFileReplace(Source, Target) && !PathExists(Source);
    if (!done && PathExists(Source))
        done = CopyFile(Source, Target, false) && TSysEnv::Remove(Source);
    if (!done)
        Host.Notice(CopyErrorText(Source, Target));
    return done;
}

namespace {

// A staged copy: Source copied to the hidden staging name of Final, put in
// place by Commit, removed when it was not.
struct TStaged {
    QString Source, Final, Staging;
    bool Ready = false;
};

bool Stage(TStaged &s)
{
    s.Staging = StagingName(s.Final);
    s.Ready = CopyFile(s.Source, s.Staging, false);
    return s.Ready;
}

} // namespace

QString DiskFullText(const QString &Folder, const QString &DataFile)
{
    return QStringLiteral("Недостаточно места на диске «") + ShownName(MountPointOf(Folder)) +
           QStringLiteral("» для сохранения файла данных!\r") + ShownName(DataFile);
}

namespace {

// The reserve folder made or checked for a save; empty when it can take the
// copies, else what is wrong with it (FolderFaultText, naming the folder at
// fault). The default one is the program's own and is checked as such; one
// the user named is taken as they named it.
QString PrepareReserveFolder(const QString &Reserve)
{
    if (Reserve == AbsoluteName(DefaultReserveFolder())) {
        QString refused;
        const TPrivateFolder state = TakeProgramFolder(Reserve, true, &refused);
        return state == TPrivateFolder::Ok ? QString() : FolderFaultText(refused, state);
    }
    if (!PathExists(Reserve)) {
        // A new reserve folder is the user's own, as the copies are.
        MakeFolders(AbsoluteFolderOf(Reserve));
        MakeFolder(Reserve, 0700);
    }
    if (IsFolder(Reserve))
        return {};
    return FolderFaultText(Reserve, PathExists(Reserve) || IsSymLink(Reserve) ? TPrivateFolder::NotFolder
                                                                               : TPrivateFolder::Failed);
}

// The notice of reserve copies that did not move on, with why.
QString ReserveNoticeText(const TBackupNames &Names, const QString &Why)
{
    return QStringLiteral("Файл данных сохранён, но резервные копии ") +
           ShownName(QFileInfo(Names.Reserve1).fileName()) + QStringLiteral(", ") +
           ShownName(QFileInfo(Names.Reserve2).fileName()) + QStringLiteral(" не обновлены: ") + Why +
           QStringLiteral(".");
}

} // namespace

bool InstallDataFile(const QString &Z, const TBackupNames &Names, TNoticeHost &Host, TInstallNotes *Notes)
{
    const int noSpace = TSysEnv::NoSpaceCount();
    const QString &T = Names.Target;
    const QString &B = Names.Backup;
    const QString &R1 = Names.Reserve1;
    const QString &R2 = Names.Reserve2;
    const bool hadT = PathExists(T);
    const bool hadB = PathExists(B);
    RemoveSaveLeftovers(T);
    if (hadT)
        RemoveSaveLeftovers(B);

    // The reserve copies move on when B is at least a day newer than R1.
    // Why they could not (empty: they moved on, or had no need to).
    QString reserveFault;
    const QString reserve = R1.isEmpty() ? QString() : AbsoluteFolderOf(R1);
    bool rotate = false;
    if (hadB && !reserve.isEmpty()) {
        reserveFault = PrepareReserveFolder(reserve);
        if (reserveFault.isEmpty() && AgeDays(B, R1) >= 1.0) {
            // A copy cannot come from or go over an entry that is no file
            // (a folder there would stop the rotation at every save).
            const auto blocks = [](const QString &copy) { return PathExists(copy) && !IsRegularFile(copy); };
            const bool r1Blocks = blocks(R1);
            if (r1Blocks || (PathExists(R1) && blocks(R2))) {
                reserveFault = ShownName(QFileInfo(r1Blocks ? R1 : R2).fileName()) + QStringLiteral(" в папке «") +
                               ShownName(reserve) + QStringLiteral("» — не файл");
            } else {
                rotate = true;
                RemoveSaveLeftovers(R1);
                RemoveSaveLeftovers(R2);
            }
        }
    }

    TStaged newT{Z, T, {}}, newB{T, B, {}}, newR1{B, R1, {}}, newR2{R1, R2, {}};
    // A copy or rename that failed: a full disk is named as such.
    auto failed = [&](const QString &from, const QString &to) {
        Host.Notice(TSysEnv::NoSpaceCount() != noSpace ? DiskFullText(AbsoluteFolderOf(to), T)
                                                       : CopyErrorText(from, to));
    };
    auto drop = [](std::initializer_list<TStaged *> staged) {
        for (TStaged *s : staged)
            if (s->Ready) {
                TSysEnv::Remove(s->Staging);
                s->Ready = false;
            }
    };
    auto discard = [&] { drop({&newT, &newB, &newR1, &newR2}); };
    // The reserve copies could not be written or moved: they stay as they were.
    auto reserveFailed = [&](int noSpaceBefore) {
        drop({&newR1, &newR2});
        reserveFault = TSysEnv::NoSpaceCount() != noSpaceBefore
                           ? QStringLiteral("на диске «") + ShownName(MountPointOf(reserve)) +
                                 QStringLiteral("» недостаточно места")
                           : QStringLiteral("в папке «") + ShownName(reserve) +
                                 QStringLiteral("» их не удалось переписать");
    };

    // Stage every copy; nothing visible changes yet.
    int refusedBy = 0;
    newT.Staging = StagingName(T);
    newT.Ready = CopyFile(Z, newT.Staging, false, &refusedBy);
    if (!newT.Ready) {
        discard();
        const bool refused = refusedBy == EACCES || refusedBy == EPERM || refusedBy == EROFS;
        if (refused && Notes)
            Notes->FolderRefused = true;
        else
            failed(Z, T);
        return false;
    }
    // The new data file keeps the old one's permissions; a first one is private.
    const int mode = hadT ? FileModeOf(T) : 0600;
    if (mode >= 0)
        ChangeMode(newT.Staging, mode);
    if (hadT && !Stage(newB)) {
        discard();
        failed(T, B);
        return false;
    }
    if (rotate) {
        // R2 first: a first reserve copy that cannot be read is found before
        // the backup is copied for nothing.
        const int before = TSysEnv::NoSpaceCount();
        if (!((!PathExists(R1) || Stage(newR2)) && Stage(newR1))) {
            reserveFailed(before);
            rotate = false;
        }
    }

    // Install: the data file first, in one rename. At a failure nothing has changed.
    if (!TSysEnv::Rename(newT.Staging, T)) {
        discard();
        failed(Z, T);
        return false;
    }
    newT.Ready = false;
    TSysEnv::SyncFolder(AbsoluteFolderOf(T));
    TSysEnv::Remove(Z);

    // Then the chain, oldest first, so that a failure leaves every copy not
    // yet moved on as it was: R1 -> R2, B -> R1, then T -> B, which goes on
    // whatever became of the reserve copies.
    bool movedToR1 = false;
    for (TStaged *s : {&newR2, &newR1}) {
        if (!s->Ready)
            continue;
        const int before = TSysEnv::NoSpaceCount();
        if (!TSysEnv::Rename(s->Staging, s->Final)) {
            reserveFailed(before);
            break;
        }
        s->Ready = false;
        movedToR1 = s == &newR1;
    }
    if (newB.Ready && !TSysEnv::Rename(newB.Staging, B)) {
        discard();
        failed(T, B);
    }
    newB.Ready = false;
    // Without an old data file no new backup replaces B: it has moved to R1.
    if (rotate && !hadT && movedToR1 && TSysEnv::Rename(B, StagingName(B)))
        TSysEnv::Remove(StagingName(B));

    if (!reserveFault.isEmpty()) {
        const QString text = ReserveNoticeText(Names, reserveFault);
        if (Notes)
            Notes->ReserveNotice = text;
        else
            Host.Notice(text);
    }
    return true;
}

bool ReplaceDataFile(const QString &Z, const QString &Target)
{
    const int mode = PathExists(Target) ? FileModeOf(Target) : 0600;
    if (mode >= 0)
        ChangeMode(Z, mode);
    return MoveFileReplace(Z, Target);
}

void RemoveSaveLeftovers(const QString &File)
{
    const QString folder = AbsoluteFolderOf(File);
    const QString staging = QStringLiteral(".~") + QFileInfo(File).fileName();
    // The staging copy itself, and the temporary files of copies into the
    // file and into its staging name (a dot and six characters). Compared as
    // text, not as a pattern: the file's own name may hold '*', '?' or '['.
    for (const TFolderEntry &e : FolderEntries(folder)) {
        const bool temporary = e.Name.size() == staging.size() + 7 && e.Name.startsWith(staging) &&
                               e.Name[staging.size()] == u'.';
        if (!e.Folder && (e.Name == staging || temporary))
            TSysEnv::Remove(folder + u'/' + e.Name);
    }
}

void RemoveTempLeftovers(const QString &TempFolder)
{
    if (TempFolder.isEmpty())
        return;
    RemoveStaleTempFiles(TempFolder);
    const QString folder = WithSeparator(TempFolder);
    for (const TFolderEntry &e : FolderEntries(TempFolder, {QStringLiteral("~~.bak"), QStringLiteral("~~.bak.??????")}))
        if (!e.Folder)
            TSysEnv::Remove(folder + e.Name);
}

bool MoveFolderContents(const QString &From, const QString &To)
{
    bool ok = true;
    for (const TFolderEntry &entry : FolderEntries(From)) {
        const QString source = WithSeparator(From) + entry.Name;
        const QString target = WithSeparator(To) + entry.Name;
        if (entry.Folder && !entry.Link) {
            ok = MakeFolders(target) && MoveFolderContents(source, target) && ok;
            RemoveFolder(source);
        } else {
            ok = MoveFileReplace(source, target) && ok;
        }
    }
    return ok;
}

} // namespace zorbel
