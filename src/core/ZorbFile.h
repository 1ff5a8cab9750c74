// The data file on disk, apart from any window: the check of a ".den" file,
// the names of the backup and reserve copies, packing the work folder into an
// archive, and installing a new archive as the data file with its backups.
//
// Installing never loses a save. Every new copy is first staged under a
// hidden name beside its final place: the new archive beside the data file
// (".~<T name>"), the old data file beside its backup, and, when the reserve
// copies move on (at most once a day), the old backup and the first reserve
// copy beside theirs. Only then do renames put them in place, each replacing
// its target in one step:
//
//   install   .~T -> T        (a failure: nothing changed, the save failed)
//   chain     .~R2 -> R2, .~R1 -> R1, .~B -> B
//
// A failure while staging or installing the data file or its backup leaves
// them and the reserve copies exactly as they were. The reserve copies are a
// convenience: when they cannot be staged or moved on, they stay as they
// were and the save goes on without them. Once the data file is in place the
// save has succeeded; a failed rename of the chain is reported and leaves the
// copies not yet moved on as they were (B still takes the old data file when
// the reserve copies could not move on).
//
// The new data file keeps the permissions of the one it replaces (a first
// one is private to the user, 0600); the copies keep those of their sources.
#pragma once

#include "core/ZorbKnown.h"
#include "platform/system/SysFiles.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace zorbel {

class TNoticeHost;
class TZipWriter;

enum class TDataFileState {
    Ok,
    Missing,      // "Файл отсутствует!"
    BadExtension, // "Файл должен иметь расширение .den"
    NotReadable,  // "Файл не доступен!"
    BadFormat,    // "Неверный формат файла": the first two bytes are not "PK"
};

TDataFileState DataFileState(const QString &FileName);
// The notice for a failed check ("...\r" + FileName, shown readably: a
// byte that is not UTF-8 as U+FFFD); empty for Ok.
QString DataFileMessage(TDataFileState State, const QString &FileName);

// PathBak when it names an existing folder, else the data file's folder; with
// a trailing separator.
QString BackupFolderFor(const QString &PathBak, const QString &DataFile);
// PathReserve when it names an existing folder, else DefaultFolder; with a
// trailing separator (empty when DefaultFolder is: no reserve copies). The
// folder is not created here.
QString ReserveFolderFor(const QString &PathReserve, const QString &DefaultFolder);
// The reserve folder when no setting names one: "zorbel/Reserve" in the
// user's data folder ($XDG_DATA_HOME), as the program's own folder is
// usually not the user's to write.
QString DefaultReserveFolder();
// The program's own folder in the user's data folder, <data home>/zorbel,
// named byte-exact (a home whose name is not UTF-8 keeps its files). Empty,
// like the names below, when the user has no home: nothing is kept then.
QString ProgramDataFolder();
// The program's own file or folder Name in it (<data home>/zorbel/Name):
// the reserve copies, the list of checked contents, the kept day sums.
QString ProgramDataPath(const QString &Name);

// Checks Folder, one of the program's own folders, with TakePrivateFolder
// (SysFiles.h): not a link, owned by the user, mode 0700; made when missing
// and Make is set. A folder inside ProgramDataFolder() is taken only when
// that folder passes too. What the program keeps there (the checked list,
// the day sums, the reserve copies) is trusted as the user's own files are,
// so it is never read from or written to a folder that leads elsewhere.
// Returns Ok or the fault, with the folder at fault in Refused.
TPrivateFolder TakeProgramFolder(const QString &Folder, bool Make, QString *Refused = nullptr);
// What is wrong with Folder, for a notice, without a capital or a full stop:
// "папка «…» — ссылка на другую папку", "папка «…» принадлежит другому
// пользователю", "«…» — не папка", "папку «…» не удалось создать".
QString FolderFaultText(const QString &Folder, TPrivateFolder Fault);
// The notice of a program folder refused at start-up (ProgramFolderNotices).
// Empty when Fault is Ok or Missing.
QString RefusedFolderText(const QString &Folder, TPrivateFolder Fault, const QString &Kept);
// The notices for the program's own folders that cannot be used (a link,
// another user's folder, a file in their place), each naming the folder at
// fault and what is not kept there. Nothing is made here.
QStringList ProgramFolderNotices();

struct TBackupNames {
    QString Target;   // T: the data file
    QString Backup;   // B: T's name with ".bak" in the backup folder
    QString Reserve1; // R1: reserve folder + "1_" + B's name (empty without a reserve folder)
    QString Reserve2; // R2: reserve folder + "2_" + B's name
};
TBackupNames BackupNamesFor(const QString &Target, const QString &BackupFolder, const QString &ReserveFolder);

// The main window's zip component (Vzp) as the data file uses it: fixed
// settings (overwrite always, all entries, no message processing, attributes
// not kept, level 1, action replace, "*.lck" and "*.ini" left out).
class TDataZip {
public:
    TDataZip();
    ~TDataZip();
    TDataZip(const TDataZip &) = delete;
    TDataZip &operator=(const TDataZip &) = delete;

    // ResetZipper: no archive, no source stream, no password, no file list.
    void Reset();
    // Opens the archive and reads its directory; raises on failure.
    void ReadDirectory(const QString &ZipName);
    int Count() const;
    bool IsEntryEncrypted(int Index) const;
    const QString &Password() const;
    void SetPassword(const QString &Password);
    // What unpacking a data set came to.
    struct TExtractResult {
        int Extracted = 0;       // entries written whole
        int Wanted = 0;          // entries of a data set the archive lists
        int Skipped = 0;         // given up: bad password, unsafe name, damaged data
        bool TooLarge = false;   // unpacking stopped at the size bound; nothing kept
        bool DiskBound = false;  // with TooLarge: the bound was the free disk space
        TContentKey Contents;    // the database entry unpacked whole
    };
    // Extracts the entries a data set holds (the database file) of the
    // archive read last into DestDir; any other entry is left in the archive.
    // What is written is held against DataSetSizeBound and against the free
    // space of DestDir's disk less FreeSpaceMargin: past either, unpacking
    // stops and the entry being written is removed.
    TExtractResult ExtractDataSet(const QString &DestDir);
    // ExtractDataSet's count of entries written, with the number given up in Skipped.
    int ExtractAll(const QString &DestDir, int &Skipped);
    // The most a household's data set unpacks to, and the disk space always
    // left free while unpacking. Tests lower the bound.
    static constexpr qint64 DefaultSizeBound = qint64(512) << 20;
    static constexpr qint64 FreeSpaceMargin = qint64(64) << 20;
    static qint64 DataSetSizeBound;
    // Unpacks the template data set into DestDir; the number of files.
    int ExtractTemplate(const QString &DestDir);
    // Packs every file of Folder into a new archive Archive at level 1 with
    // Password (empty: not encrypted) and reads the written directory back.
    // Returns the number of files packed; 0 when packing failed or the
    // archive does not list them all (Archive is then removed). An existing
    // Archive is deleted first; when it cannot be, nothing is packed.
    int PackFolder(const QString &Folder, const QString &Archive, const QString &Password);
    // The database entry of the last archive PackFolder wrote and read back.
    const TContentKey &PackedContents() const { return packed_; }

    // The bad-password event: FileIndex, and the password to try next (left
    // unchanged: give up).
    std::function<void(int FileIndex, QString &NewPassword)> OnBadPassword;

private:
    // The database entry of the archive read last: its size as the directory
    // states it (unpacking and packing verify it) and the digest that
    // unpacking it (Packed: packing it) took.
    TContentKey DataSetEntry(bool Packed) const;

    std::unique_ptr<TZipWriter> zip_;
    TContentKey packed_;
};

// The notice of a save that ran out of space on the disk that holds Folder:
// "Недостаточно места на диске «<mount point>» для сохранения файла данных!\r" + DataFile.
QString DiskFullText(const QString &Folder, const QString &DataFile);

// Moves Source to Target, replacing Target, across file systems too. On
// failure shows "Ошибка копирования\r<source name>\rв <target name>" through Host.
bool MoveFileReport(const QString &Source, const QString &Target, TNoticeHost &Host);

// What installing a data file leaves its caller to tell.
struct TInstallNotes {
    // The data file's folder took no new file (no write permission, a
    // read-only disk): the save failed and nothing was shown; the caller
    // offers another file.
    bool FolderRefused = false;
    // The reserve copies did not move on (the data file was saved all the
    // same): the notice, naming the folder, which a caller tells once.
    // Empty when they moved on or had no need to.
    QString ReserveNotice;
};

// Puts the packed archive Z in place of Names.Target, keeping the old data
// file as Names.Backup and rotating the reserve copies (see above). True when
// the new archive is the data file; failures are reported with notices
// through Host (a full disk by DiskFullText, naming the disk and the data
// file, never the temporary names). Z is removed on success and kept on failure.
//
// The reserve copies are a convenience: a reserve folder that cannot be had
// (for the default one: a link, another user's folder) or an entry there
// that cannot be copied (a folder, an unreadable file) leaves them as they
// were, and the data file and its backup are saved all the same. With Notes
// that notice and a refused folder are handed back instead of shown.
bool InstallDataFile(const QString &Z, const TBackupNames &Names, TNoticeHost &Host, TInstallNotes *Notes = nullptr);

// Moves the archive Z over Target in one step, with Target's permissions
// (0600 for a new file); no backup is made. True when Z is Target.
bool ReplaceDataFile(const QString &Z, const QString &Target);

// Removes what an interrupted save left beside File: its hidden staging copy
// and the temporary files of a copy into it. Other names are not touched.
void RemoveSaveLeftovers(const QString &File);

// Removes what an interrupted save left in the program's private temporary
// folder: the packed archive "~~.bak" and the zip writer's "KPZ*.tmp" files
// that no run holds.
void RemoveTempLeftovers(const QString &TempFolder);

// Moves every entry of From into the folder To (replacing entries of the same
// name); true when all moved.
bool MoveFolderContents(const QString &From, const QString &To);

// One writer per data file, whatever home, temporary folder or user a copy
// runs with: while a copy has a data file open it holds the lock file beside
// it, "." + the file's name + ".lock", locked with flock(2) and naming the
// holder (user, host, process). Another copy finds it locked and is told
// who holds it. A lock file left by a copy that ended without releasing it
// (a crash, a power loss) is no longer locked and is taken over.
class TDataFileLock {
public:
    TDataFileLock() = default;
    ~TDataFileLock();
    TDataFileLock(const TDataFileLock &) = delete;
    TDataFileLock &operator=(const TDataFileLock &) = delete;

    // Takes the lock of File (releasing one held before). True when held,
    // and also when File's folder takes no lock file (a read-only folder,
    // disk or share: no copy can then write there). False when another copy
    // holds it (Error() 0; Holder then names it, "user@host, процесс N", as
    // far as it is known) or when the lock file could not be opened or
    // locked for another reason (Error() the errno value).
    bool Acquire(const QString &File, QString &Holder);
    // Why the last Acquire failed: 0 when another copy holds the lock.
    int Error() const { return error_; }
    void Release();
    // The data file whose lock is held; empty when none.
    const QString &File() const { return file_; }
    // Moves the lock held by Other into this one.
    void Take(TDataFileLock &Other);

private:
    QString file_, lockFile_;
    int fd_ = -1;
    int error_ = 0;
};

// True when a save can replace File where it is: the user may write its
// folder (a save stages the new archive beside it and renames it over File).
bool DataFileWritable(const QString &File);
// "Файл данных открыт только для чтения…" + "\r" + File: saving needs
// "Сохранить как…".
QString ReadOnlyDataFileText(const QString &File);

// The notice of a lock that failed for Error (an errno value), not because
// another copy holds it.
QString LockFailedText(const QString &File, int Error);
// "Файл данных открыт в другой копии программы (" + Holder + ").\r" + File.
QString LockedFileText(const QString &File, const QString &Holder);

} // namespace zorbel
