// Drops a connection's cached pages, so that its next statements read the
// data set's file through the system seam, where TFaultEnv fails them. With
// the cache warm a statement may read nothing from the file at all.
#pragma once

#include "platform/sqltable/Database.h"
#include "platform/sqltable/Sqlite.h"

#include <sqlite3.h>

namespace zorbel::test {

inline void DropPageCache(TDatabase &Db) { sqlite3_db_release_memory(Db.Db().Handle()); }

} // namespace zorbel::test
