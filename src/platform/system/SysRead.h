// Opening and reading files the program did not just write itself: the
// settings, the list of checked contents, the kept day sums, import and rates
// files, report files, the data file, the desktop registration's files.
//
// Any of them may be something else under a file's name: a folder, a FIFO
// (whose open waits for a writer and whose read never ends), a device
// (/dev/zero reads forever), a socket, or a link to one of those. Such a path
// is refused before it is opened, and the open itself never waits (it is made
// without blocking and checked again on the open descriptor, so a path
// swapped after the first look is refused too). A link to a regular file is
// followed: a user may keep a file anywhere and point at it. Reads stop one
// byte past the kind's bound, so a file that grows while it is read cannot
// flood memory either.
//
// The bounds of every kind stand in ReadBound below, the one place they are
// chosen.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <span>

namespace zorbel {

// The most bytes each kind of file may hold. Each lies far above what the
// program writes or a household's files need, and far below what would
// strain memory or time.
namespace ReadBound {
// The settings file: window bounds, options, column layouts (kilobytes).
constexpr int64_t Settings = int64_t(4) << 20;
// The list of checked contents: at most a few hundred lines of some 80 bytes.
constexpr int64_t CheckedList = int64_t(64) << 10;
// One file of kept day sums: an image of the sums of a million operations
// takes tens of megabytes.
constexpr int64_t KeptSums = int64_t(256) << 20;
// A file of operations to import: years of a bank's statements.
constexpr int64_t ImportFile = int64_t(64) << 20;
// A rates file (text or dBASE): a line or record per day of decades.
constexpr int64_t RatesFile = int64_t(16) << 20;
// A report file: its record chain's offsets are 32-bit signed numbers.
constexpr int64_t ReportFile = (int64_t(1) << 31) - 1;
// The data file: the zip headers it is read through hold 32-bit offsets.
constexpr int64_t DataFile = (int64_t(1) << 32) - 1;
// A font program embedded into a PDF file.
constexpr int64_t FontFile = int64_t(256) << 20;
} // namespace ReadBound

// What opening or reading such a file met.
enum class TReadFault {
    None,     // opened (or read whole)
    Missing,  // nothing by that name (or a link that leads nowhere)
    Folder,   // a folder
    NotAFile, // a FIFO, a device or a socket, or a link to one
    TooLarge, // more bytes than its bound
    Failed,   // the system refused the open or a read (Error says why)
};

struct TReadResult {
    TReadFault Fault = TReadFault::None;
    int Error = 0;     // the errno value for Failed (and Missing)
    int64_t Bound = 0; // the bound held against, for TooLarge's words
    bool Ok() const { return Fault == TReadFault::None; }
};

// Opens Path with Flags (O_RDONLY, or a writing mode; O_CREAT makes a missing
// file) when it is a regular file of at most Bound bytes (no bound when Bound
// is negative). The open goes through the system seam (one Open) and never
// waits; the descriptor returned blocks as usual. On return: the descriptor
// and Result.Ok(), or -1 and Result says why.
int OpenRegularFile(const QString &Path, int Flags, int64_t Bound, TReadResult &Result);

// Reads the whole file into Data when it is a regular file of at most Bound
// bytes; the reads go through the system seam and stop at Bound + 1 bytes.
// Data is empty unless the result is Ok().
TReadResult ReadWholeFile(const QString &Path, int64_t Bound, QByteArray &Data);

// Why a file was refused, as a Russian sentence for the user's notice
// ("Это папка, а не файл."); empty for None.
QString ReadFaultText(const TReadResult &Result);

// The system's reason for an errno value in Russian, beginning with a
// capital and without a full stop ("Нет места на диске"). The program's
// notices use it instead of the system's English texts.
QString SystemErrorText(int Error);

// A code with its words, a row of the tables that name codes in Russian
// (errno values here, the database engine's result codes).
struct TCodeWords {
    int Code;
    const char16_t *Text;
};
// The words of Code in Table; a null string when it has none.
QString CodeWords(std::span<const TCodeWords> Table, int Code);

} // namespace zorbel
