// Common routines of the program: the work folder (the user's temporary
// folder, forcing, emptying and testing folders), finding a file beside the
// program, and the association of the data file type with the program.
//
// The work folder holds the decrypted tables while the program runs, so it
// lies inside the user's private temporary folder (mode 0700, see
// UserTempFolder) and is itself created with mode 0700.
//
// The file type association stands for the original's registry entries under
// HKEY_CLASSES_ROOT: on this system it is a shared-MIME-info package that
// gives the extension a MIME type and a desktop entry that opens files of
// that type with the program, both in the user's XDG data folder:
//   <data>/mime/packages/zorbel-<typeName>.xml   MIME type for "*<extension>"
//   <data>/applications/zorbel-<typeName>.desktop  Exec=<program> %f
#pragma once

#include <QString>

#include <functional>

namespace zorbel {

// The user's private temporary folder with a trailing separator; empty when
// it cannot be had.
void TempFolder(QString &path);
// Creates the folder and its parents when missing (new folders private to
// the user). True when the folder exists afterwards.
bool ForceFolder(const QString &path);
// Deletes every entry of the folder, folders with their contents (links are
// removed, never followed). With keepFolder the folder itself stays and the
// result is whether it is empty afterwards; without, the result is whether
// the folder is gone. A missing folder gives true.
bool ClearFolder(const QString &path, bool keepFolder);
// True when the path is not a folder or holds no entry.
bool IsFolderEmpty(const QString &path);
// True when the path is a folder.
bool FolderExists(const QString &path);
// The full path of the first file (by name) in the program's folder that
// matches the mask, ignoring case; empty when there is none.
void FindFileNearExe(const QString &mask, QString &path);
// The same in any folder.
QString FindFileIn(const QString &folder, const QString &mask);

// Associates files with the extension (".den") with the program under the
// MIME type of typeName, or removes the association (and then the settings
// key "Software\Ventaro\" + description). Always deletes the settings key
// "Software\Ventaro\Lumvara" of an older program. Returns whether the
// association existed before the call. Failures are ignored.
bool RegisterFileType(const QString &extension, const QString &typeName, const QString &description,
                      bool doRegister);

// What RegisterFileType runs after it changed the MIME package: by default
// the desktop's "update-mime-database" on the user's MIME folder, started
// without waiting. Returns the previous one (tests put a recorder here).
using TMimeRefresh = std::function<void(const QString &MimeFolder)>;
TMimeRefresh SetMimeRefresh(TMimeRefresh Refresh);

// Where RegisterFileType writes: the MIME package and the desktop entry.
QString MimePackageFile(const QString &typeName);
QString DesktopEntryFile(const QString &typeName);

} // namespace zorbel
