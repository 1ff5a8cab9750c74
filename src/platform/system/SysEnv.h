// The one seam between the program and the system's services, in the spirit
// of leveldb's Env: every file operation (open, read, write, flush, truncate,
// rename, remove, copy, reading or setting a file's time), every reading of
// the clock and every question for a disk's free space goes through TSysEnv.
// The program's streams, file primitives (SysFiles.h), zip component and
// data-file routines open, read, write, flush, rename and remove files through
// the static functions below; SQLite's file I/O asks the same seam through the
// VFS of platform/sqltable. (Folders and permissions are set directly: no
// failure of theirs needs reproducing.)
//
// In the program the real system answers. A test installs another TSysEnv
// with a TSysEnvScope (tests/support/FaultEnv.h has one that fails the n-th
// call of an operation, ends the process there, or fixes the date), so a
// failure between two writes or a given "today" is reproduced exactly.
//
// Paths are QStrings decoded from the system's bytes by SysNames.h; each call
// encodes them back byte-exact, so any name the file system holds is reached.
//
// The file functions keep POSIX's conventions: -1 (or false) with errno set
// on failure. Every call first asks Current().Fault(op), then, for each path
// it names, Current().PathFault; a non-zero answer is the errno the call
// fails with, before it touches the system.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>

struct stat;

namespace zorbel {

// The operations the seam counts.
enum class TSysOp {
    Open,     // opening or creating a file (also a temporary file)
    Read,     // one read
    Write,    // one write
    Flush,    // pushing a file's data through to the disk
    Truncate, // setting a file's size
    Rename,   // renaming a file over another
    Remove,   // deleting a file
    Copy,     // copying a file's contents (its reads and writes count too)
    FileTime, // reading or setting a file's modification time
};
constexpr int SysOpCount = 9;

class TSysEnv {
public:
    TSysEnv() = default;
    virtual ~TSysEnv() = default;
    TSysEnv(const TSysEnv &) = delete;
    TSysEnv &operator=(const TSysEnv &) = delete;

    // The environment in force: the real system unless a scope installed another.
    static TSysEnv &Current();

    // Asked before every operation: 0 lets it run, an errno value makes it
    // fail with that error. The real system lets everything run.
    virtual int Fault(TSysOp Op);
    // Asked next, for each path an open, a temporary file, a rename or a
    // removal names (Changes: the call would create, write, rename or remove;
    // an open for reading does not): 0 lets it run, an errno value fails it,
    // as a folder the user may not write or a file they may not read would.
    // The real system lets everything run.
    virtual int PathFault(TSysOp Op, const QString &Path, bool Changes);
    // The local date and time now.
    virtual QDateTime Now();
    // The bytes an unprivileged user may still write on the file system that
    // holds Path; -1 when it cannot be asked.
    virtual int64_t DiskFree(const QString &Path);

    // ---- the operations, through Current() ----
    static int Open(const QString &Path, int Flags, int Mode = 0666);
    // Creates and opens a new file from Template, whose six characters
    // "XXXXXX" before its last SuffixLength ones are replaced by the name made
    // (mode 0600, close-on-exec).
    static int OpenTemp(QByteArray &Template, int SuffixLength = 0);
    // One read; interruptions are retried. The bytes read, 0 at the end, -1.
    static int64_t Read(int Fd, void *Buffer, int64_t Count);
    // Writes all Count bytes; each system write is one Write operation.
    static bool WriteAll(int Fd, const void *Data, int64_t Count);
    static bool Flush(int Fd);
    // Pushes a folder's entries (a rename or a new name in it) to the disk,
    // so the change survives a power loss; one Flush. Failures are ignored.
    static void SyncFolder(const QString &Folder);
    static bool Truncate(int Fd, int64_t Size);
    // Renames From over To (replacing To in one step).
    static bool Rename(const QString &From, const QString &To);
    static bool Remove(const QString &Path);
    // Copies the rest of From's contents into To, from both current positions.
    static bool Copy(int From, int To);
    static void Close(int Fd);
    // The modification time of a file or folder in local time, to the
    // millisecond; invalid when the path is missing (or the call fails).
    static QDateTime ModifiedTime(const QString &Path);
    // Sets the modification time (the access time is left alone); 0 on
    // success, else the errno value.
    static int SetModifiedTime(const QString &Path, const QDateTime &Time);
    // Gives the open file Fd the access and modification times of From (a
    // copy keeps its source's dates); false with errno set on failure.
    static bool CopyTimes(const struct stat &From, int Fd);
    // Current().Now().
    static QDateTime CurrentTime();
    // Current().DiskFree(Path).
    static int64_t FreeBytes(const QString &Path);
    // How many opens, writes, flushes, truncations and copies have failed for
    // want of disk space or quota (ENOSPC, EDQUOT) since the program started:
    // a caller compares it before and after a step to tell a full disk from
    // other failures.
    static int NoSpaceCount();
};

// Installs Env as the current environment while it lives; the previous one
// comes back afterwards. Scopes nest.
class TSysEnvScope {
public:
    explicit TSysEnvScope(TSysEnv &Env);
    ~TSysEnvScope();
    TSysEnvScope(const TSysEnvScope &) = delete;
    TSysEnvScope &operator=(const TSysEnvScope &) = delete;

private:
    TSysEnv *previous_;
};

} // namespace zorbel
