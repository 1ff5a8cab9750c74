// File primitives the program's file handling is written against (their reads,
// writes, renames and removals go through the system seam, SysEnv.h): the user's private temporary folder, moving a file with
// replacement (also across file systems), copying, modification times, the
// attribute bits, and writing a whole file atomically.
//
// Attribute bits keep fixed values because they travel into zip headers as
// external attributes, where other zip tools read them. On this system they are mapped, not stored:
//   faReadOnly   no write permission for the owner
//   faHidden     the name begins with '.' (cannot be set or cleared)
//   faDirectory  the path is a folder
//   faArchive    every regular file (the bit a zip entry of a plain file
//                carries in its external attributes)
#pragma once

#include "platform/system/SysPaths.h"
#include "platform/system/SysRead.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

namespace zorbel {

constexpr int faReadOnly = 0x01;
constexpr int faHidden = 0x02;
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20;

// What a folder that must be the user's own and private turned out to be.
enum class TPrivateFolder {
    Ok,        // a real folder of this user with mode 0700 (made, or narrowed to it)
    Missing,   // not there, and not to be made
    Link,      // a symbolic link: what is written there would go elsewhere
    Foreign,   // a folder of another user
    NotFolder, // a file or another kind of entry holds the name
    Failed,    // it could not be made or narrowed to 0700
};
// Checks folder as the program's private folders are checked: when missing
// it is made with mode 0700 (make) or reported Missing; an existing one is
// taken only when it is a real folder (not a link) owned by this user, and
// its mode is narrowed to 0700. Only the last part of the path is checked.
TPrivateFolder TakePrivateFolder(const QString &folder, bool make);

// The user's private temporary folder "<systemTemp>/zorbel-<uid>/" with a
// trailing separator. It is created with mode 0700 when missing; an existing
// one is accepted only when it is a real folder (not a link) owned by this
// user, and its mode is narrowed to 0700. systemTemp defaults to the system's
// temporary folder ($TMPDIR or /tmp). Returns an empty string when no such
// folder can be had (the caller reports it).
QString UserTempFolder(const QString &systemTemp = QString());

// The program's folder in the user's session folder, "$XDG_RUNTIME_DIR/zorbel/"
// (private by design, emptied at logout), made with mode 0700 when missing.
// Empty when the variable is unset or does not name a private folder of this
// user, or the folder cannot be had.
QString UserRuntimeFolder();

// A new folder "<systemTemp>/zorbel-<uid>-XXXXXX/" made with mode 0700 and a
// name no one else could have taken; empty on failure.
QString FreshPrivateFolder(const QString &systemTemp = QString());

// The folder where the file system that holds path is mounted ("/" or
// "/home"), found from path's nearest existing folder; how a user knows a disk.
QString MountPointOf(const QString &path);

// Moves source to target, replacing an existing target file. Within one file
// system this is a rename; across file systems the file is copied (contents,
// mode, modification time) and the source deleted. True when the source is
// gone and the target holds its contents.
bool MoveFileReplace(const QString &source, const QString &target);

// Copies a regular file with its mode and modification time. The copy is
// written beside the target and renamed over it, so a failed copy leaves an
// existing target untouched. With failIfExists an existing target is kept and
// the result is false. targetError, when given, is set to the errno with which
// the target's folder refused the new file (0 when the failure, if any, lay
// elsewhere): a caller tells a folder the user may not write from the rest.
bool CopyFile(const QString &source, const QString &target, bool failIfExists, int *targetError = nullptr);

// Modification time of a file in local time; invalid when the path is missing
// or is a folder.
QDateTime FileAge(const QString &fileName);

// What tells whether a file was replaced or rewritten: device, inode, size
// and modification time. All zero for a missing file.
struct TFileIdentity {
    quint64 Device = 0, Inode = 0;
    qint64 Size = 0, ModifiedSec = 0, ModifiedNsec = 0;
    bool operator==(const TFileIdentity &) const = default;
};
TFileIdentity FileIdentity(const QString &fileName);

// Sets the modification time (the access time is left alone). Returns 0 on
// success, else the system error number.
int FileSetDate(const QString &fileName, const QDateTime &time);

// The attribute bits of a path (see above); -1 when it does not exist.
int FileGetAttr(const QString &fileName);

// Applies faReadOnly (removes all write permissions, or gives the owner write
// permission back); the other bits cannot be set here and are ignored.
// Returns 0 on success, else the system error number.
int FileSetAttr(const QString &fileName, int attr);

// Writes data as the new contents of fileName: into a temporary file in the
// same folder (mode 0600), synced, then renamed over fileName, and the folder
// synced. The folder is created when missing. At any failure or crash the old
// file stays as it was. Raises EWriteError on failure (the temporary file is
// removed).
void SaveFileAtomically(const QString &fileName, const QByteArray &data);
// The same for contents produced block by block: next fills block and returns
// false when there is no more (an exception from next is passed on, the old
// file kept).
void SaveFileAtomically(const QString &fileName, const std::function<bool(QByteArray &block)> &next);

// A file written piece by piece that appears whole or not at all: the bytes
// go into a temporary file beside fileName (through a buffer), and Commit()
// syncs it and renames it over fileName. Destroying the writer before
// Commit() (an export that failed half way) removes the temporary file and
// leaves fileName as it was.
//
// Requires: fileName not empty. Raises EFCreateError from the constructor
// when the folder or the file cannot be made, EWriteError from Write or
// Commit when the data cannot be written; after a failure nothing is kept.
class TFileReplacer {
public:
    // readable: the finished file is readable by others (mode 0644, for
    // documents the user hands on), else private (0600). synced: Commit()
    // pushes the data to the disk before the rename (and the folder after
    // it); without, a write error still fails the file, but a power loss
    // right after may lose it (for one of many page files of an export,
    // where a sync per file would cost more than the export itself).
    explicit TFileReplacer(const QString &fileName, bool readable = true, bool synced = true);
    ~TFileReplacer();
    TFileReplacer(const TFileReplacer &) = delete;
    TFileReplacer &operator=(const TFileReplacer &) = delete;

    const QString &FileName() const { return fileName_; }
    void Write(const char *data, qsizetype size);
    void Write(const QByteArray &data) { Write(data.constData(), data.size()); }
    // Writes data at once, past the buffer (a block of a known size).
    void WriteBlock(const QByteArray &data);
    // Bytes written so far.
    qint64 Size() const { return written_ + buffer_.size(); }
    void Commit();
    bool Committed() const { return committed_; }

private:
    void Flush();
    [[noreturn]] void Fail(int error);

    QString fileName_;
    QByteArray tempPath_;
    QByteArray buffer_;
    qint64 written_ = 0;
    int fd_ = -1;
    bool readable_;
    bool synced_;
    bool committed_ = false;
};

} // namespace zorbel
