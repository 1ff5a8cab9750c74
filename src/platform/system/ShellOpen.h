// Opening an address through the desktop: the stand-in for the shell's "open"
// operation on links. Only web addresses (http, https, and addresses that
// begin with "www.", taken as http) and "mailto:" addresses are handed on;
// anything else (file names, programs, other schemes) is refused, so no data
// of a user's file can make the program start a program.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace zorbel {

// Hands a checked address to the desktop; true when it was taken.
using TShellLauncher = std::function<bool(const QUrl &)>;

// Replaces the launcher (tests put a recorder here) and returns the previous
// one. The default asks the desktop to open the address.
TShellLauncher SetShellLauncher(TShellLauncher launcher);

// The address as it would be opened; invalid when it is refused.
QUrl ShellAddress(const QString &address);

// Opens the address when it is a web or mail address. False when it is
// refused or the launcher fails.
bool ShellOpen(const QString &address);

// True when path (a local path or a "file:" URL) names an existing regular
// file that opening cannot run: no execute permission and none of the kinds
// a desktop starts as a program (desktop entries, scripts, executables,
// installers, shortcuts).
bool IsDocumentFile(const QString &path);

// Hands a document file to the desktop's viewer; false when it is refused
// (IsDocumentFile) or the launcher fails.
bool ShellOpenDocument(const QString &path);

} // namespace zorbel
