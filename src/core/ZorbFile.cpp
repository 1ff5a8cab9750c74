// The data file on disk: check, backup names, packing and installing (see
// ZorbFile.h).
#include "core/ZorbFile.h"

#include "archive/ZipLib.h"
#include "core/ZorbHost.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysFiles.h"
#include "platform/system/SysNames.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>

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
    return WithSeparator(DefaultFolder);
}

QString ProgramDataPath(const QString &Name)
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("zorbel/") + Name);
}

QString DefaultReserveFolder() { return WithSeparator(ProgramDataPath(QStringLiteral("Reserve"))); }

TBackupNames BackupNamesFor(const QString &Target, const QString &BackupFolder, const QString &ReserveFolder)
{
    TBackupNames n;
    n.Target = Target;
    const QString bakName = QFileInfo(Target).completeBaseName() + QStringLiteral(".bak");
    n.Backup = WithSeparator(BackupFolder) + bakName;
    n.Reserve1 = WithSeparator(ReserveFolder) + QStringLiteral("1_") + bakName;
    n.Reserve2 = WithSeparator(ReserveFolder) + QStringLiteral("2_") + bakName;
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

// The permission bits a file keeps; -1 when it cannot be read.
int ModeOf(const QString &file)
{
    struct stat st {};
    return ::stat(EncodeSystemName(file).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

QString DiskFullText(const QString &Folder, const QString &DataFile)
{
    return QStringLiteral("Недостаточно места на диске «") + ShownName(MountPointOf(Folder)) +
           QStringLiteral("» для сохранения файла данных!\r") + ShownName(DataFile);
}

bool InstallDataFile(const QString &Z, const TBackupNames &Names, TNoticeHost &Host)
{
    const int noSpace = TSysEnv::NoSpaceCount();
    const QString &T = Names.Target;
    const QString &B = Names.Backup;
    const bool hadT = PathExists(T);
    const bool hadB = PathExists(B);
    RemoveSaveLeftovers(T);
    if (hadT)
        RemoveSaveLeftovers(B);

    // The reserve copies move on when B is at least a day newer than R1.
    bool rotate = false;
    if (hadB) {
        const QString reserve = AbsoluteFolderOf(Names.Reserve1);
        if (!PathExists(reserve)) {
            // A new reserve folder is the user's own, as the copies are.
            MakeFolders(AbsoluteFolderOf(reserve));
            MakeFolder(reserve, 0700);
        }
        rotate = IsFolder(reserve) && AgeDays(B, Names.Reserve1) >= 1.0;
        if (rotate) {
            RemoveSaveLeftovers(Names.Reserve1);
            RemoveSaveLeftovers(Names.Reserve2);
        }
    }

    TStaged newT{Z, T, {}}, newB{T, B, {}}, newR1{B, Names.Reserve1, {}}, newR2{Names.Reserve1, Names.Reserve2, {}};
    TStaged *all[] = {&newT, &newB, &newR1, &newR2};
    // A copy or rename that failed: a full disk is named as such.
    auto failed = [&](const QString &from, const QString &to) {
        Host.Notice(TSysEnv::NoSpaceCount() != noSpace ? DiskFullText(AbsoluteFolderOf(to), T)
                                                       : CopyErrorText(from, to));
    };
    auto discard = [&] {
        for (TStaged *s : all)
            if (s->Ready)
                TSysEnv::Remove(s->Staging);
    };

    // Stage every copy; nothing visible changes yet.
    if (!Stage(newT)) {
        discard();
        failed(Z, T);
        return false;
    }
    // The new data file keeps the old one's permissions; a first one is private.
    const int mode = hadT ? ModeOf(T) : 0600;
    if (mode >= 0)
        ChangeMode(newT.Staging, mode);
    const bool staged = (!hadT || Stage(newB) || (failed(T, B), false)) &&
                        (!rotate || Stage(newR1) || (failed(B, Names.Reserve1), false)) &&
                        (!rotate || !PathExists(Names.Reserve1) || Stage(newR2) ||
                         (failed(Names.Reserve1, Names.Reserve2), false));
    if (!staged) {
        discard();
        return false;
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
    // yet moved on as it was: R1 -> R2, B -> R1, T -> B.
    for (TStaged *s : {&newR2, &newR1, &newB}) {
        if (!s->Ready)
            continue;
        if (!TSysEnv::Rename(s->Staging, s->Final)) {
            discard();
            failed(s->Source, s->Final);
            break;
        }
        s->Ready = false;
    }
    // Without an old data file no new backup replaces B: it has moved to R1.
    if (rotate && !hadT && !newR1.Ready && TSysEnv::Rename(B, StagingName(B)))
        TSysEnv::Remove(StagingName(B));
    return true;
}

bool ReplaceDataFile(const QString &Z, const QString &Target)
{
    const int mode = PathExists(Target) ? ModeOf(Target) : 0600;
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
