// The contents of data files this user's program has already checked whole,
// or written itself from a data set that passed the check. Opening such
// contents again skips the two checks that read every row and page (the
// quick check of the pages and the scan for values the columns cannot hold):
// at a million operations they cost seconds, where the rest of the opening
// costs a fraction of one. The structure check always runs. With the contents
// goes whether every operation's year and month were filled in, so opening
// them again need not look for rows to fill.
//
// Contents are named by the SHA-256 of the unpacked database (taken while
// unpacking or packing it, archive/ZipDigest.h) and its size. Not by the
// CRC-32 and size the archive states: both stand in clear in every data file
// the user ever sent, and a forged database with the same CRC-32 is made in a
// second, so it would open unchecked. The list lives in the user's own data
// folder, never in a data file, so a file cannot vouch for itself. Lists of
// earlier versions, which named contents by CRC-32, are read as empty.
#pragma once

#include "archive/ZipDigest.h"

#include <QString>
#include <cstdint>

namespace zorbel {

// What the list knows of some contents.
struct TContentFacts {
    bool Known = false;       // checked whole, or written from a sound data set
    bool YearsFilled = false; // no operation waits for its year and month
};

struct TContentKey {
    TSha256 Digest{};
    int64_t Size = -1; // -1: no contents named
    bool Valid() const { return Size >= 0; }
    bool operator==(const TContentKey &) const = default;
};

class TKnownContents {
public:
    // The list in File; DefaultFile() when empty.
    explicit TKnownContents(QString File = QString());
    // <user data folder>/zorbel/checked
    static QString DefaultFile();

    // What the list holds of Key. An unreadable or damaged list knows nothing.
    TContentFacts Facts(const TContentKey &Key) const;
    bool Contains(const TContentKey &Key) const { return Facts(Key).Known; }
    // Puts Key first on the list, which keeps the newest Capacity keys.
    // Failing to write the list only costs the next opening its checks.
    void Remember(const TContentKey &Key, bool YearsFilled = false) const;

    static constexpr int Capacity = 32;

private:
    QString file_;
};

} // namespace zorbel
