// Small helpers of the zip component (percentages, slashes, MS-DOS dates,
// files and folders, temporary files) and the writer's directory walk.
//
// File-system paths use "/" (PathDelim); names inside an archive entry use
// "\" between folders, as the entry records keep them.
#pragma once

#include "platform/rtl/ModalResults.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Streams.h"

#include "platform/system/SysPaths.h"
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace zorbel {

constexpr QChar PathDelim = u'/';

// Message box of the component: returns the button pressed (mrYes, mrOk,
// ...). The owner supplies it; there is no window in this subsystem.
using TZipMessageBox = std::function<int(const QString &Text, const QString &Caption, int Buttons)>;
// Button sets of the message-box hook, numbered as the system's message box
// numbered them.
constexpr int MB_OK = 0x0;
constexpr int MB_OKCANCEL = 0x1;
constexpr int MB_YESNO = 0x4;

// min(round(Part * 100 / Whole), 100); 0 when Whole <= 0.
int Percent(int64_t Part, int64_t Whole);

void SlashesToForward(QString &Path);
void SlashesToBackward(QString &Path);
QString RightStr(const QString &S, int N);
QString LeftStr(const QString &S, int N);

// True when Text holds one of the wildcard characters * ? < > |.
bool HasWildcards(const QString &Text);

// Clamps an MS-DOS packed date and time (time in the low 16 bits): hour at
// most 24, minute and second at most 59, year 1980..2099, month 1..12, day
// 1..31. An unchanged value keeps its exact bits.
uint32_t ClampDosDateTime(uint32_t DosDateTime);
// Converts a packed date and time; false (Value untouched) when it is not a
// valid date and time.
bool DosDateTimeToDateTime(uint32_t DosDateTime, TDateTime &Value);
// The date and time packed in MS-DOS form (local time, seconds halved).
uint32_t DateTimeToDosDateTime(TDateTime Value);

// Modification time of a file in MS-DOS form; false when it has none.
bool FileAgeDos(const QString &FileName, uint32_t &DosDateTime);
// Sets a file's modification time from MS-DOS form; false on failure.
bool SetFileAgeDos(const QString &FileName, uint32_t DosDateTime);
// The file's modification time, clamped; now when that fails.
TDateTime FileAgeAsDateTime(const QString &FileName);

bool ForceDirs(const QString &Dir);
bool FileExistsByName(const QString &FileName);
bool DirExists(const QString &Dir);
QString CurrentDirOfDrive();

// Copies Source onto a newly created Dest; when no bytes were copied shows
// "Could not copy from <Source> -> <Dest>" / "Error" through Box.
void CopyFileWithMessage(const QString &Source, const QString &Dest, const TZipMessageBox &Box);

// Drive labels don't exist on this system: the label is always empty and
// setting one fails.
bool SetVolumeLabelOf(const QString &Root, const QString &Label);
QString VolumeLabelOf(const QString &Root);

// Creates a new empty file with a unique name "KPZ..." in Folder; returns its
// name, empty when none could be created.
QString TempFileIn(const QString &Folder);

// Holds an exclusive lock on a temporary file of TempFileIn while a run
// writes it, so that another run's clean-up leaves it alone; released when
// destroyed.
class TTempFileLock {
public:
    explicit TTempFileLock(const QString &FileName);
    ~TTempFileLock();
    TTempFileLock(const TTempFileLock &) = delete;
    TTempFileLock &operator=(const TTempFileLock &) = delete;

private:
    int fd_ = -1;
};

// Removes the temporary files that TempFileIn made in Folder and that no run
// holds locked any more: what a run killed half-way left behind. Files of
// other names are never touched.
void RemoveStaleTempFiles(const QString &Folder);

// Text passed to the OEM code page (866) and back: characters without an
// OEM form come back as "?".
QString OemRoundTrip(const QString &Text);
bool BytesEqual(const void *A, const void *B, size_t N);

// There are no short 8.3 names on this system: the path is returned as it is.
QString ConvertPathForm(const QString &Path, bool Long);

// One folder level of a directory walk.
class TSearchData {
public:
    // Lists Folder (which ends in PathDelim) with every kind of entry.
    TSearchData(const QString &Folder, const QString &Pattern);

    bool Exhausted() const { return index_ >= entries_.size(); }
    const TFolderEntry &Current() const { return entries_[index_]; }
    void Next() { ++index_; }

    const QString &Folder() const { return folder_; }
    const QString &Pattern() const { return pattern_; }
    bool NoneFound() const { return entries_.isEmpty(); }

private:
    QString folder_;
    QString pattern_;
    QList<TFolderEntry> entries_;
    qsizetype index_ = 0;
};

// Depth-first walk from a start folder. Wildcard folder names in the start
// path ("data/*/x?") each filter one level below the fixed part; below them
// folders are entered only with Recurse. Files are matched against FileMask.
class TDirSearch {
public:
    static constexpr int MaxLevels = 21; // the start folder and 20 below it

    TDirSearch(const QString &StartPath, bool Recurse, const QString &FileMask);
    ~TDirSearch();
    TDirSearch(const TDirSearch &) = delete;
    TDirSearch &operator=(const TDirSearch &) = delete;

    // The full name of the next file (Size gets its size); empty when the
    // walk is over.
    QString NextFile(int64_t &Size);

private:
    void Push(const QString &Folder);
    QString PatternOfLevel(int Level) const;

    std::array<std::unique_ptr<TSearchData>, MaxLevels> levels_;
    int current_ = -1;
    QString fileMask_;
    bool recurse_;
    QStringList folderPatterns_;
};

} // namespace zorbel
