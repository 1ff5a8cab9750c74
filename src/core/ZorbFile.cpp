// The data file on disk: check, backup names, packing and installing (see
// ZorbFile.h).
#include "core/ZorbFile.h"

#include "archive/ZipLib.h"
#include "core/ZorbHost.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysFiles.h"

#include <QDir>
#include <QFile>
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

QString DecodeSystemName(const QByteArray &Bytes)
{
    const QString plain = QFile::decodeName(Bytes);
    if (QFile::encodeName(plain) == Bytes)
        return plain;
    // Valid UTF-8 runs are decoded, each other byte b kept as U+DC00 + b.
    QString name;
    const auto *p = reinterpret_cast<const unsigned char *>(Bytes.constData());
    const qsizetype n = Bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length > 1 && i + length <= n) {
            const QString ch = QString::fromUtf8(reinterpret_cast<const char *>(p + i), length);
            if (ch.toUtf8() != QByteArray(reinterpret_cast<const char *>(p + i), length))
                length = 0;
            else
                name += ch;
        } else if (length == 1) {
            name += QChar(c);
        } else {
            length = 0;
        }
        if (length == 0) {
            name += QChar(char16_t(0xDC00 + c));
            length = 1;
        }
        i += length;
    }
    return name;
}

bool NameHasLostBytes(const QString &Name)
{
    for (qsizetype i = 0; i < Name.size(); ++i) {
        if (Name[i].isHighSurrogate() && i + 1 < Name.size() && Name[i + 1].isLowSurrogate())
            ++i;
        else if (Name[i].isSurrogate())
            return true;
    }
    return false;
}

TDataFileState DataFileState(const QString &FileName)
{
    if (NameHasLostBytes(FileName))
        return TDataFileState::BadName;
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
    case TDataFileState::BadName: {
        QString shown = FileName;
        for (QChar &c : shown)
            if (c.isLowSurrogate() && c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF)
                c = QChar(0xFFFD);
        return QStringLiteral("Имя файла не в кодировке UTF-8: программа не может открыть файл под этим именем.\r"
                              "Переименуйте файл.") +
               cr + shown;
    }
    }
    return {};
}

QString BackupFolderFor(const QString &PathBak, const QString &DataFile)
{
    if (!PathBak.isEmpty() && QFileInfo(PathBak).isDir())
        return WithSeparator(QFileInfo(PathBak).absoluteFilePath());
    return WithSeparator(QFileInfo(DataFile).absolutePath());
}

QString ReserveFolderFor(const QString &PathReserve, const QString &DefaultFolder)
{
    if (!PathReserve.isEmpty() && QFileInfo(PathReserve).isDir())
        return WithSeparator(QFileInfo(PathReserve).absoluteFilePath());
    return WithSeparator(DefaultFolder);
}

QString DefaultReserveFolder()
{
    return WithSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)) +
           QStringLiteral("zorbel/Reserve/");
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
    return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

QString DiskFullText(const QString &Folder, const QString &DataFile)
{
    return QStringLiteral("Недостаточно места на диске «") + MountPointOf(Folder) +
           QStringLiteral("» для сохранения файла данных!\r") + DataFile;
}

bool InstallDataFile(const QString &Z, const TBackupNames &Names, TNoticeHost &Host)
{
    const int noSpace = TSysEnv::NoSpaceCount();
    const QString &T = Names.Target;
    const QString &B = Names.Backup;
    const bool hadT = QFileInfo::exists(T);
    const bool hadB = QFileInfo::exists(B);
    RemoveSaveLeftovers(T);
    if (hadT)
        RemoveSaveLeftovers(B);

    // The reserve copies move on when B is at least a day newer than R1.
    bool rotate = false;
    if (hadB) {
        const QString reserve = QFileInfo(Names.Reserve1).absolutePath();
        if (!QFileInfo::exists(reserve)) {
            // A new reserve folder is the user's own, as the copies are.
            QDir().mkpath(QFileInfo(reserve).absolutePath());
            ::mkdir(QFile::encodeName(reserve).constData(), 0700);
        }
        rotate = QFileInfo(reserve).isDir() && AgeDays(B, Names.Reserve1) >= 1.0;
        if (rotate) {
            RemoveSaveLeftovers(Names.Reserve1);
            RemoveSaveLeftovers(Names.Reserve2);
        }
    }

    TStaged newT{Z, T, {}}, newB{T, B, {}}, newR1{B, Names.Reserve1, {}}, newR2{Names.Reserve1, Names.Reserve2, {}};
    TStaged *all[] = {&newT, &newB, &newR1, &newR2};
    // A copy or rename that failed: a full disk is named as such.
    auto failed = [&](const QString &from, const QString &to) {
        Host.Notice(TSysEnv::NoSpaceCount() != noSpace ? DiskFullText(QFileInfo(to).absolutePath(), T)
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
        ::chmod(QFile::encodeName(newT.Staging).constData(), mode_t(mode));
    const bool staged = (!hadT || Stage(newB) || (failed(T, B), false)) &&
                        (!rotate || Stage(newR1) || (failed(B, Names.Reserve1), false)) &&
                        (!rotate || !QFileInfo::exists(Names.Reserve1) || Stage(newR2) ||
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
    TSysEnv::SyncFolder(QFileInfo(T).absolutePath());
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
    const int mode = QFileInfo::exists(Target) ? ModeOf(Target) : 0600;
    if (mode >= 0)
        ::chmod(QFile::encodeName(Z).constData(), mode_t(mode));
    return MoveFileReplace(Z, Target);
}

void RemoveSaveLeftovers(const QString &File)
{
    const QFileInfo info(File);
    const QDir folder = info.absoluteDir();
    const QString staging = QStringLiteral(".~") + info.fileName();
    // The staging copy itself, and the temporary files of copies into the
    // file and into its staging name (a dot and six characters).
    for (const QString &name :
         folder.entryList({staging, staging + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden | QDir::System))
        TSysEnv::Remove(folder.filePath(name));
}

void RemoveTempLeftovers(const QString &TempFolder)
{
    if (TempFolder.isEmpty())
        return;
    RemoveStaleTempFiles(TempFolder);
    const QDir folder(TempFolder);
    for (const QString &name :
         folder.entryList({QStringLiteral("~~.bak"), QStringLiteral("~~.bak.??????")}, QDir::Files | QDir::Hidden))
        TSysEnv::Remove(folder.filePath(name));
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
