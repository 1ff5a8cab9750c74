// The small common window (About box and password prompt), the link label,
// and the case-insensitive text search of the reference-book and ledger
// searches.
//
// FindTextNoCase folds letters with the program's own capital table over the
// Windows-1251 repertoire: a character that Windows-1251 can hold is folded
// through its byte (Latin and Russian letters, Ё/ё, the Ukrainian and
// Belarusian letters, Serbian and Macedonian letters), any other character
// only matches itself. The table, by Windows-1251 byte:
//   0x61..0x7A -> 0x41..0x5A  (a..z -> A..Z)
//   0xE0..0xFF -> 0xC0..0xDF  (а..я -> А..Я)
//   0x83->0x81 ѓ->Ѓ   0x90->0x80 ђ->Ђ   0x9A->0x8A љ->Љ   0x9C->0x8C њ->Њ
//   0x9D->0x8D ќ->Ќ   0x9E->0x8E ћ->Ћ   0x9F->0x8F џ->Џ   0xA2->0xA1 ў->Ў
//   0xB3->0xB2 і->І   0xB4->0xA5 ґ->Ґ   0xB8->0xA8 ё->Ё   0xBA->0xAA є->Є
//   0xBC->0xA3 ј->Ј   0xBE->0xBD ѕ->Ѕ   0xBF->0xAF ї->Ї
// every other byte (0xB5 µ included) stays itself.
//
// Also the work folder routines and the file type association
// (TulnCommonFiles.cpp).
//
// The work folder holds the decrypted tables while the program runs, so it
// lies inside the user's private temporary folder (mode 0700, see
// UserTempFolder) and is itself created with mode 0700.
//
// The file type association lets the file manager open a "*.den" file with
// the program: on this system it is a shared-MIME-info package that
// gives the extension a MIME type and a desktop entry that opens files of
// that type with the program, both in the user's XDG data folder, unless the
// installed program's own entry serves (see RegisterFileType):
//   <data>/mime/packages/zorbel-<typeName>.xml   MIME type for "*.den"
//   <data>/applications/zorbel-<typeName>.desktop  Exec=<program> %f
//   <data>/icons/hicolor/256x256/apps/zorbel.png   the entry's icon
#pragma once

#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

#include <QString>

#include <functional>

namespace zorbel {

// The capital of a character by the table above.
QChar FoldCapital(QChar c);

// The 1-based position of the first case-insensitive occurrence of
// TextToFind in TextToSearch that begins at or after StartPos, or 0.
// Requires: StartPos >= 1.
int FindTextNoCase(const QString &TextToFind, const QString &TextToSearch, int StartPos);

// A label showing a web or "mailto:" address: blue and underlined, red while
// the mouse is over it; a click opens the address through the shell.
class TUrllabel : public TLabel {
    Q_OBJECT
public:
    explicit TUrllabel(QWidget *parent, const QString &name = {});
    void Click() override;

protected:
    bool ControlEvent(QEvent *event) override;
};

// The About window, also the password prompt: the caller shows EdPas (and
// hides Image1) for the prompt and reads EdPas when it returns 1.
class TFormCommon : public TForm {
    Q_OBJECT
public:
    TFormCommon();
    ~TFormCommon() override;

    TImage *Image1;
    TPanel *PanName;
    TEdit *EdPas;
    // The link labels the About mode adds on showing (nullptr before).
    TUrllabel *LinkMail = nullptr;
    TUrllabel *LinkWeb = nullptr;

    void FormShow(TObject *Sender);
    void FormKeyPress(TObject *Sender, QChar &Key);
    void EdPasKeyPress(TObject *Sender, QChar &Key);
    void Image1Click(TObject *Sender);
};

// The addresses the About window shows and opens.
extern const QString AuthorMailAddress; // "mailto:..."
extern const QString ProgramWebAddress;
extern const QString MakerWebAddress;    // opened by a click on the picture
extern const QString AlternativeAddress; // named in the picture's hint

// The program's version as four numbers joined by points, from the build.
QString ProgramVersionText();
// The version a program file carries: its text "a.b.c.d" and in High the
// upper 32 bits (a << 16 | b) of the four 16-bit parts. False when the file
// carries none. The program's own file carries the build's version.
bool FileVersionText(const QString &FileName, QString &Text, quint32 &High);

// ---- work folder and file type association ----
// The program's private working folder with a trailing separator: the
// session folder (UserRuntimeFolder), else the user's private temporary
// folder, else a freshly made private one; empty when none can be had.
void TempFolder(QString &path);
// Removes the fresh folder TempFolder made for this run, if it made one.
void RemoveFreshTempFolder();
// Removes fresh folders of this user that earlier runs left in the system's
// temporary folder (a crash, kill -9), decrypted work copies included: those
// whose guard lock file LockName + ".lock" no run holds.
void RemoveAbandonedTempFolders(const QString &LockName);
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
//
// The association is the installed program's when its desktop entry lies in
// one of the system's data folders (XDG_DATA_DIRS): then no user copy is
// written, and one an earlier run out of a build folder left is removed, so
// it cannot shadow the installed one. Otherwise the user's data folder gets
// the desktop entry and MIME package the install ships (the entry's Exec line
// naming this program file by its full path) and the program's icon, and the
// desktop's databases of that folder are refreshed, so the type works at once.
bool RegisterFileType(const QString &extension, const QString &typeName, const QString &description,
                      bool doRegister);

// What RegisterFileType runs after it changed the user's files: by default
// RefreshDesktopDatabases of the user's data folder, without waiting.
// Returns the previous one (tests put a recorder here).
using TMimeRefresh = std::function<void(const QString &DataFolder)>;
TMimeRefresh SetMimeRefresh(TMimeRefresh Refresh);

// Rebuilds the MIME and desktop-entry caches of a data folder (its mime/ and
// applications/) with the desktop's update-mime-database and
// update-desktop-database, where they are installed; waits for them (at most
// ten seconds each) or starts them and returns at once.
void RefreshDesktopDatabases(const QString &dataFolder, bool wait);

// The installed program's desktop entry found in the system's data folders;
// empty when the program is not installed.
QString InstalledDesktopEntry();

// The program path as the Exec line of a desktop entry writes it (quoted and
// escaped); empty when the path holds a control character and cannot be
// written, in which case no desktop entry is made.
QString DesktopExecArgument(const QString &program);

// Where RegisterFileType writes: the MIME package, the desktop entry and
// the icon.
QString MimePackageFile(const QString &typeName);
QString DesktopEntryFile(const QString &typeName);
QString UserIconFile();

} // namespace zorbel
