// The "zorbel" VFS: the default VFS behind the system seam's fault checks.
//
// Each open file is one allocation: our sqlite3_file header, whose methods
// check the seam and forward, followed by the default VFS's own file object
// (szOsFile is the sum of both sizes).
#include "platform/sqltable/SqliteVfs.h"

#include "platform/system/SysEnv.h"

#include <sqlite3.h>

#include <cerrno>
#include <mutex>

namespace zorbel {

namespace {

struct TSeamFile {
    sqlite3_file Base;   // pMethods = SeamIo
    sqlite3_file *Real;  // the default VFS's file, right behind this header
};

sqlite3_vfs *realVfs = nullptr;

sqlite3_file *RealOf(sqlite3_file *file) { return reinterpret_cast<TSeamFile *>(file)->Real; }

// SQLite's code for a refused operation: Error for any failure, SQLITE_FULL
// for a full disk; SQLITE_OK when the seam lets it run.
int Refused(TSysOp op, int error)
{
    const int fault = TSysEnv::Current().Fault(op);
    if (fault == 0)
        return SQLITE_OK;
    return fault == ENOSPC ? SQLITE_FULL : error;
}

// ---- file methods ----

int Close(sqlite3_file *file)
{
    return RealOf(file)->pMethods->xClose(RealOf(file));
}

int Read(sqlite3_file *file, void *buffer, int amount, sqlite3_int64 offset)
{
    if (const int rc = Refused(TSysOp::Read, SQLITE_IOERR_READ))
        return rc;
    return RealOf(file)->pMethods->xRead(RealOf(file), buffer, amount, offset);
}

int Write(sqlite3_file *file, const void *buffer, int amount, sqlite3_int64 offset)
{
    if (const int rc = Refused(TSysOp::Write, SQLITE_IOERR_WRITE))
        return rc;
    return RealOf(file)->pMethods->xWrite(RealOf(file), buffer, amount, offset);
}

int Truncate(sqlite3_file *file, sqlite3_int64 size)
{
    if (const int rc = Refused(TSysOp::Truncate, SQLITE_IOERR_TRUNCATE))
        return rc;
    return RealOf(file)->pMethods->xTruncate(RealOf(file), size);
}

int Sync(sqlite3_file *file, int flags)
{
    if (const int rc = Refused(TSysOp::Flush, SQLITE_IOERR_FSYNC))
        return rc;
    return RealOf(file)->pMethods->xSync(RealOf(file), flags);
}

int FileSize(sqlite3_file *file, sqlite3_int64 *size)
{
    return RealOf(file)->pMethods->xFileSize(RealOf(file), size);
}

int Lock(sqlite3_file *file, int level) { return RealOf(file)->pMethods->xLock(RealOf(file), level); }
int Unlock(sqlite3_file *file, int level) { return RealOf(file)->pMethods->xUnlock(RealOf(file), level); }

int CheckReservedLock(sqlite3_file *file, int *out)
{
    return RealOf(file)->pMethods->xCheckReservedLock(RealOf(file), out);
}

int FileControl(sqlite3_file *file, int op, void *arg)
{
    return RealOf(file)->pMethods->xFileControl(RealOf(file), op, arg);
}

int SectorSize(sqlite3_file *file) { return RealOf(file)->pMethods->xSectorSize(RealOf(file)); }

int DeviceCharacteristics(sqlite3_file *file)
{
    return RealOf(file)->pMethods->xDeviceCharacteristics(RealOf(file));
}

int ShmMap(sqlite3_file *file, int page, int size, int extend, void volatile **out)
{
    return RealOf(file)->pMethods->xShmMap(RealOf(file), page, size, extend, out);
}

int ShmLock(sqlite3_file *file, int offset, int n, int flags)
{
    return RealOf(file)->pMethods->xShmLock(RealOf(file), offset, n, flags);
}

void ShmBarrier(sqlite3_file *file) { RealOf(file)->pMethods->xShmBarrier(RealOf(file)); }

int ShmUnmap(sqlite3_file *file, int deleteFlag)
{
    return RealOf(file)->pMethods->xShmUnmap(RealOf(file), deleteFlag);
}

int Fetch(sqlite3_file *file, sqlite3_int64 offset, int amount, void **out)
{
    return RealOf(file)->pMethods->xFetch(RealOf(file), offset, amount, out);
}

int Unfetch(sqlite3_file *file, sqlite3_int64 offset, void *page)
{
    return RealOf(file)->pMethods->xUnfetch(RealOf(file), offset, page);
}

// Version 1 has no shared memory and no memory mapping; 3 has both. Each
// file gets the version its real file offers.
constexpr sqlite3_io_methods MakeIo(int version)
{
    sqlite3_io_methods io{};
    io.iVersion = version;
    io.xClose = Close;
    io.xRead = Read;
    io.xWrite = Write;
    io.xTruncate = Truncate;
    io.xSync = Sync;
    io.xFileSize = FileSize;
    io.xLock = Lock;
    io.xUnlock = Unlock;
    io.xCheckReservedLock = CheckReservedLock;
    io.xFileControl = FileControl;
    io.xSectorSize = SectorSize;
    io.xDeviceCharacteristics = DeviceCharacteristics;
    if (version >= 2) {
        io.xShmMap = ShmMap;
        io.xShmLock = ShmLock;
        io.xShmBarrier = ShmBarrier;
        io.xShmUnmap = ShmUnmap;
    }
    if (version >= 3) {
        io.xFetch = Fetch;
        io.xUnfetch = Unfetch;
    }
    return io;
}
constexpr sqlite3_io_methods SeamIo[3] = {MakeIo(1), MakeIo(2), MakeIo(3)};

// ---- VFS methods ----

int Open(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags)
{
    auto *seam = reinterpret_cast<TSeamFile *>(file);
    seam->Base.pMethods = nullptr; // SQLite closes only files that opened
    seam->Real = reinterpret_cast<sqlite3_file *>(seam + 1);
    if (const int rc = Refused(TSysOp::Open, SQLITE_CANTOPEN))
        return rc;
    const int rc = realVfs->xOpen(realVfs, name, seam->Real, flags, outFlags);
    if (rc == SQLITE_OK && seam->Real->pMethods) {
        const int version = seam->Real->pMethods->iVersion;
        seam->Base.pMethods = &SeamIo[version >= 3 ? 2 : version >= 2 ? 1 : 0];
    }
    return rc;
}

int Delete(sqlite3_vfs *, const char *name, int syncDir)
{
    if (const int rc = Refused(TSysOp::Remove, SQLITE_IOERR_DELETE))
        return rc;
    return realVfs->xDelete(realVfs, name, syncDir);
}

int Access(sqlite3_vfs *, const char *name, int flags, int *out)
{
    return realVfs->xAccess(realVfs, name, flags, out);
}

int FullPathname(sqlite3_vfs *, const char *name, int size, char *out)
{
    return realVfs->xFullPathname(realVfs, name, size, out);
}

void *DlOpen(sqlite3_vfs *, const char *name) { return realVfs->xDlOpen(realVfs, name); }
void DlError(sqlite3_vfs *, int size, char *out) { realVfs->xDlError(realVfs, size, out); }
void (*DlSym(sqlite3_vfs *, void *handle, const char *symbol))(void)
{
    return realVfs->xDlSym(realVfs, handle, symbol);
}
void DlClose(sqlite3_vfs *, void *handle) { realVfs->xDlClose(realVfs, handle); }
int Randomness(sqlite3_vfs *, int size, char *out) { return realVfs->xRandomness(realVfs, size, out); }
int Sleep(sqlite3_vfs *, int micro) { return realVfs->xSleep(realVfs, micro); }

// Milliseconds since noon in Greenwich on 24 November 4714 BC, from the seam's clock.
int CurrentTimeInt64(sqlite3_vfs *, sqlite3_int64 *out)
{
    constexpr sqlite3_int64 UnixEpochJulianMs = 210866760000000LL;
    *out = UnixEpochJulianMs + TSysEnv::CurrentTime().toMSecsSinceEpoch();
    return SQLITE_OK;
}

int CurrentTime(sqlite3_vfs *vfs, double *out)
{
    sqlite3_int64 ms = 0;
    CurrentTimeInt64(vfs, &ms);
    *out = double(ms) / 86400000.0;
    return SQLITE_OK;
}

int GetLastError(sqlite3_vfs *, int size, char *out)
{
    return realVfs->xGetLastError ? realVfs->xGetLastError(realVfs, size, out) : 0;
}

sqlite3_vfs seamVfs{};

} // namespace

const char *SeamVfsName()
{
    static std::once_flag once;
    std::call_once(once, [] {
        sqlite3_initialize();
        realVfs = sqlite3_vfs_find(nullptr);
        seamVfs.iVersion = 2;
        seamVfs.szOsFile = int(sizeof(TSeamFile)) + realVfs->szOsFile;
        seamVfs.mxPathname = realVfs->mxPathname;
        seamVfs.zName = "zorbel";
        seamVfs.xOpen = Open;
        seamVfs.xDelete = Delete;
        seamVfs.xAccess = Access;
        seamVfs.xFullPathname = FullPathname;
        seamVfs.xDlOpen = DlOpen;
        seamVfs.xDlError = DlError;
        seamVfs.xDlSym = DlSym;
        seamVfs.xDlClose = DlClose;
        seamVfs.xRandomness = Randomness;
        seamVfs.xSleep = Sleep;
        seamVfs.xCurrentTime = CurrentTime;
        seamVfs.xGetLastError = GetLastError;
        seamVfs.xCurrentTimeInt64 = CurrentTimeInt64;
        sqlite3_vfs_register(&seamVfs, 0);
    });
    return seamVfs.zName;
}

} // namespace zorbel
