// One logical change of several rows as one SQLite transaction: begun on
// construction, rolled back on destruction unless Commit ran. The running
// walks of the open datasets are ended first, so a rollback never cuts a
// cursor's stream in the middle; datasets that show the changed rows are
// refreshed by the caller afterwards.
#pragma once

#include "platform/sqltable/Database.h"

namespace zorbel {

class TDbTransaction {
public:
    explicit TDbTransaction(TDatabase &db) : db_(db)
    {
        db_.ReleaseStatements();
        db_.StartTransaction(); // nests inside a transaction already running
    }
    ~TDbTransaction()
    {
        if (open_) {
            try {
                db_.Rollback();
            } catch (...) {
                // SQLite has already rolled back (a failed COMMIT or a full
                // disk ends the transaction by itself).
            }
        }
    }
    TDbTransaction(const TDbTransaction &) = delete;
    TDbTransaction &operator=(const TDbTransaction &) = delete;

    void Commit()
    {
        open_ = false; // a failed commit has rolled back already
        db_.Commit();
    }

private:
    TDatabase &db_;
    bool open_ = true;
};

} // namespace zorbel
