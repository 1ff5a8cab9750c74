// SQLite's file I/O through the system seam (platform/system/SysEnv.h).
//
// The VFS "zorbel" wraps the system's default VFS: before each open, read,
// write, truncate, sync and delete it asks TSysEnv::Current().Fault(), and a
// refused operation returns SQLite's I/O error for it (a full disk as
// SQLITE_FULL); its clock is the seam's clock. Everything else passes to the
// default VFS unchanged, so the files are the same as without it.
#pragma once

namespace zorbel {

// The name of the VFS, registered on first use.
const char *SeamVfsName();

} // namespace zorbel
