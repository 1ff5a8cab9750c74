// The ledger's day sums (core/ZorbSums.h) of contents this user's program
// knows, kept between sessions so that opening the same contents again
// answers the first click from the sums instead of the queries: at a million
// operations the walk that fills them takes most of a second after the
// window is painted, and every click until then waits for balance queries.
//
// Only contents named by their digest (core/ZorbKnown.h) are kept: those the
// program packed itself into a data file it saved, and those remembered after
// their whole check, once the walk over them ended with every row's sums as
// unpacked (the opening may have filled years or made an index). The
// files live in the user's own data folder (mode 0700, each file 0600), one
// per contents, named by the digest and size; never in or beside a data file,
// so a data file cannot bring sums of its own. At most Capacity are kept,
// the least recently written or used dropped first. Sums of a file protected
// by a password are not kept: they would show its figures in clear.
//
// A file is taken only whole: its own SHA-256 over every byte before it, the
// format, and the contents key it was written for must match, and the sums'
// image must fit the table as it stands (THistSums::Adopt). Anything else,
// or a file that cannot be read, is passed over in silence: the window walks
// the table as it would without it. A file taken is still checked against
// the rows by the window's walk; sums that fail the check are replaced and
// their file is forgotten.
//
// File layout (little-endian):
//   8 bytes   "ZORBSUMS"
//   u32       FileFormat
//   32 bytes  the contents' SHA-256, i64 their size
//   u64       the image's length, then the image (THistSums::Image)
//   32 bytes  SHA-256 of every byte above
#pragma once

#include "core/ZorbKnown.h"

#include "platform/system/SysRead.h"

#include <QString>

namespace zorbel {

class THistSums;

class TSumsStore {
public:
    // The files in Folder; DefaultFolder() when empty.
    explicit TSumsStore(QString Folder = QString());
    // <user data folder>/zorbel/sums
    static QString DefaultFolder();

    // Fills Sums from the file kept for the contents they name
    // (THistSums::Contents). False when there is none, it does not pass its
    // checks, or it does not fit the database: Sums are left as they were.
    bool Load(THistSums &Sums) const;
    // Keeps complete and checked Sums for the contents whose sums they are
    // (THistSums::SumsFor); nothing happens otherwise. Failing to write costs
    // the next opening only its walk.
    void Save(THistSums &Sums) const;

    // Removes the file kept for Key, if any.
    void Forget(const TContentKey &Key) const;

    // The file kept for Key.
    QString FileFor(const TContentKey &Key) const;

    static constexpr int Capacity = TKnownContents::Capacity;
    // A larger file is never read: no household's sums come near it.
    static constexpr qint64 MaxFileSize = ReadBound::KeptSums;

private:
    // Drops the files beyond Capacity, the oldest first.
    void Trim() const;

    QString folder_;
};

} // namespace zorbel
