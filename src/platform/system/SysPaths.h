// What a path is, asked byte-exact. Every path here is a name decoded by
// SysNames.h and reaches the file it names byte for byte: QFileInfo and QDir
// encode names lossily and reach other files when a name's bytes are not
// UTF-8, so the program asks these instead wherever a user's file name can
// appear (the data file, its folder, backups, the work folder). Pure string
// work on a name (QFileInfo::fileName, suffix) needs no help.
#pragma once

#include "platform/system/SysNames.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace zorbel {

// The system's temporary folder: $TMPDIR when it is set to an absolute path,
// else /tmp; cleaned, without a trailing separator.
QString SystemTempFolder();

// The user's folders, read byte-exact from the environment (QStandardPaths
// and QDir::homePath decode it lossily: a home whose name is not UTF-8 would
// lead to another folder, or to none). Cleaned, without a trailing separator.
// The home: $HOME when it is an absolute path, else the password database's
// entry; empty when neither names one.
QString HomeFolder();
// The user's data folder: $XDG_DATA_HOME when it is an absolute path, else
// <home>/.local/share. Empty without a home.
QString UserDataHome();
// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path, else <home>/.config. Empty without a home.
QString UserConfigHome();
// The system's data folders, in order: the absolute entries of
// $XDG_DATA_DIRS, else /usr/local/share and /usr/share.
QStringList SystemDataFolders();
// The running program's file (the kernel's name for it, byte-exact); Qt's
// answer when the system gives none.
QString ProgramFile();

// path made absolute against the current folder and cleaned (as
// QFileInfo::absoluteFilePath, but the current folder read byte-exact).
QString AbsoluteName(const QString &path);
// The folder of path, absolute (as QFileInfo::absolutePath).
QString AbsoluteFolderOf(const QString &path);

// What a path is, following links; a dangling link does not exist.
bool PathExists(const QString &path);
bool IsFolder(const QString &path);
bool IsRegularFile(const QString &path);
// The path itself is a symbolic link.
bool IsSymLink(const QString &path);
// The size of a file in bytes; -1 when it does not exist.
qint64 FileSizeOf(const QString &path);
// The permission bits (07777) of what path names, following links; -1 when
// it does not exist.
int FileModeOf(const QString &path);
// path with every link and "." or ".." resolved, as the file system reaches
// it; empty when it does not exist.
QString CanonicalName(const QString &path);
// access(2) for path: how is R_OK, W_OK, X_OK or F_OK.
bool PathAccessible(const QString &path, int how);
// Sets the permission bits; 0 on success, else the errno value.
int ChangeMode(const QString &path, int mode);
// Makes path and its missing parents (new folders with mode, less the
// umask). True when path is a folder on return.
bool MakeFolders(const QString &path, int mode = 0777);
// Makes the one folder path (its parent must exist); true when made.
bool MakeFolder(const QString &path, int mode);
// Removes the empty folder path; true when it is gone.
bool RemoveFolder(const QString &path);

// One entry of a folder: its name, and what it is (Folder follows links, so
// a link to a folder is a folder and a link too).
struct TFolderEntry {
    QString Name;
    bool Folder = false;
    bool Link = false;
};
// The entries of folder but "." and "..", in no fixed order; with patterns,
// only those whose name matches one of the wildcards ('*' any run, '?' one
// character, anything else itself, case ignored). Empty when folder cannot
// be read.
QList<TFolderEntry> FolderEntries(const QString &folder, const QStringList &patterns = {});

// The name a file dialog gave back, as the file system holds it. Qt lists
// folders through its lossy decoder: a name whose bytes are not UTF-8 comes
// back with U+FFFD in their place and reaches no file. Each part of the path
// that holds U+FFFD is looked up in its folder among the entries Qt would
// show under that text, a name that truly holds U+FFFD among them. Returns
// the name found;
// the given name when nothing needs finding or nothing matches (a new name
// being typed). When two entries look the same, returns an empty string and
// sets ambiguous (the caller tells the user: it cannot know which is meant).
QString ReachableName(const QString &shown, bool *ambiguous = nullptr);

// The local file a "file:" URL names (a file dropped from the desktop),
// byte-exact: the percent-encoded bytes of its path, decoded by SysNames.h
// (QUrl::toLocalFile would turn bytes that are not UTF-8 into other names).
// Empty when the URL names no local file.
QString LocalFileOfUrl(const QUrl &url);

} // namespace zorbel
