// The zip component's helpers (paths, MS-DOS dates, files, temporary files) and the writer's folder walk.
#include "archive/ZipLib.h"

#include "archive/ZipMatch.h"
#include "platform/rtl/CodePages.h"
#include "platform/system/SysEnv.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace zorbel {

namespace {

struct DosParts {
    int hour, minute, second, year, month, day;
};

DosParts Unpack(uint32_t v)
{
    const uint32_t t = v & 0xFFFF;
    const uint32_t d = v >> 16;
    return {int(t >> 11), int((t >> 5) & 0x3F), int((t & 0x1F) * 2),
            int(1980 + (d >> 9)), int((d >> 5) & 0x0F), int(d & 0x1F)};
}

uint32_t Pack(const DosParts &p)
{
    const uint32_t t = uint32_t(p.hour) << 11 | uint32_t(p.minute) << 5 | uint32_t(p.second / 2);
    const uint32_t d = uint32_t(p.year - 1980) << 9 | uint32_t(p.month) << 5 | uint32_t(p.day);
    return d << 16 | t;
}

} // namespace

int Percent(int64_t Part, int64_t Whole)
{
    if (Whole <= 0)
        return 0;
    const double r = std::nearbyint(double(Part) * 100.0 / double(Whole));
    return r > 100 ? 100 : int(r);
}

void SlashesToForward(QString &Path) { Path.replace(u'\\', u'/'); }
void SlashesToBackward(QString &Path) { Path.replace(u'/', u'\\'); }
QString RightStr(const QString &S, int N) { return S.right(N); }
QString LeftStr(const QString &S, int N) { return S.left(N); }

bool HasWildcards(const QString &Text)
{
    for (QChar c : Text)
        if (c == u'*' || c == u'?' || c == u'<' || c == u'>' || c == u'|')
            return true;
    return false;
}

uint32_t ClampDosDateTime(uint32_t DosDateTime)
{
    const DosParts p = Unpack(DosDateTime);
    DosParts c = p;
    c.hour = std::min(c.hour, 24);
    c.minute = std::min(c.minute, 59);
    c.second = std::min(c.second, 59);
    c.year = std::clamp(c.year, 1980, 2099);
    c.month = std::clamp(c.month, 1, 12);
    c.day = std::clamp(c.day, 1, 31);
    if (std::memcmp(&c, &p, sizeof c) == 0)
        return DosDateTime;
    return Pack(c);
}

bool DosDateTimeToDateTime(uint32_t DosDateTime, TDateTime &Value)
{
    const DosParts p = Unpack(DosDateTime);
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(p.year, p.month, p.day, date) || !TryEncodeTime(p.hour, p.minute, p.second, 0, time))
        return false;
    Value = date + time;
    return true;
}

uint32_t DateTimeToDosDateTime(TDateTime Value)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDate(Value, year, month, day);
    DecodeTime(Value, hour, minute, second, msec);
    if (year < 1980)
        return Pack({0, 0, 0, 1980, 1, 1});
    return Pack({hour, minute, second, year, month, day});
}

bool FileAgeDos(const QString &FileName, uint32_t &DosDateTime)
{
    const QDateTime m = TSysEnv::ModifiedTime(FileName);
    if (!m.isValid())
        return false;
    const QDate d = m.date();
    const QTime t = m.time();
    if (d.year() < 1980 || d.year() > 2107)
        return false;
    DosDateTime = Pack({t.hour(), t.minute(), t.second(), d.year(), d.month(), d.day()});
    return true;
}

bool SetFileAgeDos(const QString &FileName, uint32_t DosDateTime)
{
    const DosParts p = Unpack(DosDateTime);
    const QDate date(p.year, p.month, p.day);
    if (!date.isValid())
        return false;
    // Hour 24 is midnight of the next day.
    QDateTime when(date, QTime(0, 0));
    when = when.addSecs(p.hour * 3600 + p.minute * 60 + p.second);
    return TSysEnv::SetModifiedTime(FileName, when) == 0;
}

TDateTime FileAgeAsDateTime(const QString &FileName)
{
    uint32_t dos = 0;
    TDateTime value = 0;
    if (FileAgeDos(FileName, dos) && DosDateTimeToDateTime(ClampDosDateTime(dos), value))
        return value;
    return Now();
}

bool ForceDirs(const QString &Dir) { return !Dir.isEmpty() && MakeFolders(Dir); }
bool FileExistsByName(const QString &FileName) { return PathExists(FileName) && !IsFolder(FileName); }
bool DirExists(const QString &Dir) { return !Dir.isEmpty() && IsFolder(Dir); }
QString CurrentDirOfDrive() { return AbsoluteName(QString()); }

void CopyFileWithMessage(const QString &Source, const QString &Dest, const TZipMessageBox &Box)
{
    int64_t copied = 0;
    {
        TFileStream in(Source, fmOpenRead | fmShareDenyWrite);
        TFileStream out(Dest, fmCreate);
        copied = out.CopyFrom(in, 0);
    }
    if (copied == 0 && Box)
        Box(QStringLiteral("Could not copy from ") + Source + QStringLiteral(" -> ") + Dest,
            QStringLiteral("Error"), MB_OK);
}

bool SetVolumeLabelOf(const QString &, const QString &) { return false; }
QString VolumeLabelOf(const QString &) { return QString(); }

QString TempFileIn(const QString &Folder)
{
    QString dir = Folder;
    if (!dir.isEmpty() && !dir.endsWith(PathDelim))
        dir += PathDelim;
    QByteArray name = EncodeSystemName(dir + QStringLiteral("KPZXXXXXX.tmp"));
    const int fd = TSysEnv::OpenTemp(name, 4);
    if (fd < 0)
        return QString();
    TSysEnv::Close(fd);
    return DecodeSystemName(name);
}

namespace {

// The names TempFileIn makes: "KPZ", six letters or digits, ".tmp".
bool IsTempFileName(const QString &Name)
{
    if (Name.size() != 13 || !Name.startsWith(QLatin1String("KPZ")) || !Name.endsWith(QLatin1String(".tmp")))
        return false;
    for (int i = 3; i < 9; ++i)
        if (Name[i].unicode() > 127 || !Name[i].isLetterOrNumber())
            return false;
    return true;
}

} // namespace

TTempFileLock::TTempFileLock(const QString &FileName) : fd_(TSysEnv::Open(FileName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK))
{
    if (fd_ >= 0)
        ::flock(fd_, LOCK_EX);
}

TTempFileLock::~TTempFileLock()
{
    if (fd_ >= 0)
        TSysEnv::Close(fd_);
}

void RemoveStaleTempFiles(const QString &Folder)
{
    const QString folder = Folder.endsWith(u'/') ? Folder : Folder + u'/';
    for (const TFolderEntry &e : FolderEntries(Folder, {QStringLiteral("KPZ*.tmp")})) {
        if (e.Folder || !IsTempFileName(e.Name))
            continue;
        const QString path = folder + e.Name;
        // Never through a link, and only a file no run holds locked.
        const int fd = TSysEnv::Open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            TSysEnv::Remove(path);
        TSysEnv::Close(fd);
    }
}

QString OemRoundTrip(const QString &Text) { return Cp866ToUnicode(UnicodeToCp866(Text)); }
bool BytesEqual(const void *A, const void *B, size_t N) { return std::memcmp(A, B, N) == 0; }
QString ConvertPathForm(const QString &Path, bool) { return Path; }

TSearchData::TSearchData(const QString &Folder, const QString &Pattern)
    : folder_(Folder), pattern_(Pattern)
{
    entries_ = FolderEntries(Folder);
}

TDirSearch::TDirSearch(const QString &StartPath, bool Recurse, const QString &FileMask)
    : fileMask_(FileMask), recurse_(Recurse)
{
    QString start = StartPath;
    if (!start.endsWith(PathDelim))
        start += PathDelim;
    qsizetype wild = -1;
    for (qsizetype i = 0; i < start.size() && wild < 0; ++i)
        if (HasWildcards(QString(start[i])))
            wild = i;
    if (wild >= 0) {
        const qsizetype cut = start.lastIndexOf(PathDelim, wild) + 1;
        folderPatterns_ = start.mid(cut).split(PathDelim, Qt::SkipEmptyParts);
        start.truncate(cut);
    }
    Push(start);
}

TDirSearch::~TDirSearch() = default;

QString TDirSearch::PatternOfLevel(int Level) const
{
    return Level < folderPatterns_.size() ? folderPatterns_[Level] : fileMask_;
}

void TDirSearch::Push(const QString &Folder)
{
    ++current_;
    levels_[size_t(current_)] = std::make_unique<TSearchData>(Folder, PatternOfLevel(current_));
}

QString TDirSearch::NextFile(int64_t &Size)
{
    while (current_ >= 0) {
        TSearchData &level = *levels_[size_t(current_)];
        if (level.Exhausted()) {
            levels_[size_t(current_)].reset();
            if (--current_ >= 0)
                levels_[size_t(current_)]->Next();
            continue;
        }
        const TFolderEntry &entry = level.Current();
        const QString &name = entry.Name;
        const bool patternLevel = current_ < folderPatterns_.size();
        if (entry.Folder) {
            const bool enter = patternLevel ? !name.startsWith(u'.') && IsMatch(level.Pattern(), name)
                                            : recurse_;
            if (enter && current_ + 1 < MaxLevels) {
                Push(level.Folder() + name + PathDelim);
                continue;
            }
        } else if (!patternLevel) {
            const QString tested = name.contains(u'.') ? name : name + u'.';
            if (IsMatch(fileMask_, tested)) {
                Size = std::max<int64_t>(0, FileSizeOf(level.Folder() + name));
                level.Next();
                return level.Folder() + name;
            }
        }
        level.Next();
    }
    return QString();
}

} // namespace zorbel
