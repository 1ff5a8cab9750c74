// The data file on disk: check, backup names, packing and installing (see
// ZorbFile.h).
#include "core/ZorbFile.h"

#include "core/ZorbHost.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    const QFileInfo info(file);
    return info.absolutePath() + QStringLiteral("/.~") + info.fileName();
}

// The notice of a failed move or copy.
QString CopyErrorText(const QString &from, const QString &to)
{
    return QStringLiteral("Ошибка копирования\r") + QFileInfo(from).fileName() + QStringLiteral("\rв ") +
           QFileInfo(to).fileName();
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
    const QFileInfo info(FileName);
    if (!info.exists() || !info.isFile())
        return TDataFileState::Missing;
    if (!FileName.toLower().endsWith(QStringLiteral(".den")))
        return TDataFileState::BadExtension;
    const int fd = TSysEnv::Open(FileName, O_RDONLY);
    if (fd < 0)
        return TDataFileState::NotReadable;
    char head[2] = {};
    const int64_t n = TSysEnv::Read(fd, head, 2);
    TSysEnv::Close(fd);
    if (n != 2 || head[0] != 'P' || head[1] != 'K')
        return TDataFileState::BadFormat;
    return TDataFileState::Ok;
}

QString DataFileMessage(TDataFileState State, const QString &FileName)
{
    const QString cr = QStringLiteral("\r");
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
    if (!PathBak.isEmpty() && QFileInfo(PathBak).isDir())
        return WithSeparator(QFileInfo(PathBak).absoluteFilePath());
    return WithSeparator(QFileInfo(DataFile).absolutePath());
}

QString ReserveFolderFor(const QString &PathReserve, const QString &ProgramFolder)
{
    if (!PathReserve.isEmpty() && QFileInfo(PathReserve).isDir())
        return WithSeparator(QFileInfo(PathReserve).absoluteFilePath());
    return WithSeparator(WithSeparator(ProgramFolder) + QStringLiteral("Reserve"));
}

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
    bool done = MoveFileReplace(Source, Target) && !QFileInfo::exists(Source);
    if (!done && QFileInfo::exists(Source))
        done = CopyFile(Source, Target, false) && TSysEnv::Remove(Source);
    if (!done)
        Host.Notice(CopyErrorText(Source, Target));
    return done;
}

bool InstallDataFile(const QString &Z, const TBackupNames &Names, TNoticeHost &Host)
{
    const QString &T = Names.Target;
    const QString &B = Names.Backup;
    const QString newT = StagingName(T);
    const QString newB = StagingName(B);
    const bool hadT = QFileInfo::exists(T);
    auto failed = [&](const QString &from, const QString &to) {
        TSysEnv::Remove(newT);
        TSysEnv::Remove(newB);
        Host.Notice(CopyErrorText(from, to));
        return false;
    };

    // Stage: the new archive beside the data file, the old data file beside its backup.
    if (!CopyFile(Z, newT, false))
        return failed(Z, T);
    if (hadT && !CopyFile(T, newB, false))
        return failed(T, B);

    // Rotate the reserve copies at most once a day.
    if (hadT && QFileInfo::exists(B)) {
        const QString reserve = QFileInfo(Names.Reserve1).absolutePath();
        QDir().mkpath(reserve);
        if (QFileInfo(reserve).isDir() && AgeDays(B, Names.Reserve1) >= 1.0) {
            const bool r1Free =
                !QFileInfo::exists(Names.Reserve1) || MoveFileReport(Names.Reserve1, Names.Reserve2, Host);
            if (r1Free)
                MoveFileReport(B, Names.Reserve1, Host);
        }
    }

    // Install: each rename replaces its target in one step.
    if (hadT) {
        if (!MoveFileReplace(newB, B))
            return failed(T, B);
    }
    if (!MoveFileReplace(newT, T))
        return failed(Z, T);
    TSysEnv::Remove(Z);
    return true;
}

bool MoveFolderContents(const QString &From, const QString &To)
{
    bool ok = true;
    const QDir from(From);
    for (const QFileInfo &entry : from.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString target = QDir(To).filePath(entry.fileName());
        if (entry.isDir() && !entry.isSymLink()) {
            ok = QDir().mkpath(target) && MoveFolderContents(entry.absoluteFilePath(), target) && ok;
            QDir().rmdir(entry.absoluteFilePath());
        } else {
            ok = MoveFileReplace(entry.absoluteFilePath(), target) && ok;
        }
    }
    return ok;
}

} // namespace zorbel
