// A system environment for tests: the real system, except that chosen calls
// fail, run an action (ending a child process there), or that "now" or the
// disks' free space is fixed.
//
//   TFaultEnv env;
//   env.FailCall(TSysOp::Write, 2, ENOSPC, true); // the 2nd write on fails
//   TSysEnvScope scope(env);
//   RunCode();
//
// Calls are counted per operation from the moment the rule is set, in every
// thread; the counts are kept under a lock.
#pragma once

#include "platform/system/SysEnv.h"
#include "platform/system/SysPaths.h"

#include <array>
#include <functional>
#include <mutex>
#include <vector>

namespace zorbel::test {

class TFaultEnv : public TSysEnv {
public:
    // The Nth call of Op from now on (1: the next) fails with Error; with
    // Sticky every later call of Op fails too, as on a full disk.
    void FailCall(TSysOp Op, int Nth, int Error = EIO, bool Sticky = false)
    {
        std::lock_guard lock(mutex_);
        rules_.push_back({Op, calls_[size_t(Op)] + Nth, Error, Sticky, {}});
    }
    // Runs Action at the Nth call of Op from now on, before the call happens.
    void AtCall(TSysOp Op, int Nth, std::function<void()> Action)
    {
        std::lock_guard lock(mutex_);
        rules_.push_back({Op, calls_[size_t(Op)] + Nth, 0, false, std::move(Action)});
    }
    // Every call on Path, or on a name inside the folder Path, fails with
    // Error from now on; with ChangesOnly only those that would create,
    // write, rename or remove: a folder the user may read but not write, or
    // (without) a file they may not read, also for a test run as root.
    void FailPath(const QString &Path, int Error = EACCES, bool ChangesOnly = false)
    {
        std::lock_guard lock(mutex_);
        paths_.push_back({AbsoluteName(Path), Error, ChangesOnly});
    }
    // Lets every call run again (the counts go on).
    void Heal()
    {
        std::lock_guard lock(mutex_);
        rules_.clear();
        paths_.clear();
    }
    // The calls of Op seen since the environment was made.
    int Calls(TSysOp Op) const
    {
        std::lock_guard lock(mutex_);
        return calls_[size_t(Op)];
    }
    // Fixes the clock (an invalid time: the real clock again).
    void SetNow(const QDateTime &Now)
    {
        std::lock_guard lock(mutex_);
        now_ = Now;
    }

    int Fault(TSysOp Op) override
    {
        std::function<void()> action;
        int error = 0;
        {
            std::lock_guard lock(mutex_);
            const int n = ++calls_[size_t(Op)];
            for (const TRule &r : rules_) {
                if (r.Op != Op || n < r.At || (n > r.At && !r.Sticky))
                    continue;
                if (r.Action && n == r.At)
                    action = r.Action;
                else if (r.Error != 0)
                    error = r.Error;
            }
        }
        if (action)
            action();
        return error;
    }
    int PathFault(TSysOp, const QString &Path, bool Changes) override
    {
        std::lock_guard lock(mutex_);
        if (paths_.empty())
            return 0;
        const QString name = AbsoluteName(Path);
        for (const TPathRule &r : paths_)
            if ((Changes || !r.ChangesOnly) && (name == r.Path || name.startsWith(r.Path + u'/')))
                return r.Error;
        return 0;
    }
    QDateTime Now() override
    {
        {
            std::lock_guard lock(mutex_);
            if (now_.isValid())
                return now_;
        }
        return TSysEnv::Now();
    }

    // Makes every disk report Bytes free (negative: the real answer again).
    void SetDiskFree(int64_t Bytes)
    {
        std::lock_guard lock(mutex_);
        diskFree_ = Bytes;
    }
    int64_t DiskFree(const QString &Path) override
    {
        {
            std::lock_guard lock(mutex_);
            if (diskFree_ >= 0)
                return diskFree_;
        }
        return TSysEnv::DiskFree(Path);
    }

private:
    struct TRule {
        TSysOp Op;
        int At;      // the call count at which the rule fires
        int Error;   // the errno to fail with (0: none)
        bool Sticky; // also every later call
        std::function<void()> Action;
    };
    struct TPathRule {
        QString Path;     // absolute: the file, or the folder whose names fail
        int Error;
        bool ChangesOnly; // only calls that would change the file system
    };
    mutable std::mutex mutex_;
    std::array<int, SysOpCount> calls_{};
    std::vector<TRule> rules_;
    std::vector<TPathRule> paths_;
    QDateTime now_;
    int64_t diskFree_ = -1;
};

} // namespace zorbel::test
