// Runs a piece of a test in a forked child process, for the cases that need a
// second process (the single-instance mutex) or a process that dies midway (a
// crash while writing a file).
#pragma once

#include <functional>
#include <sys/types.h>

namespace zorbel::test {

// Runs body in a child and returns its exit code; -1 when it did not exit
// normally. The child never returns into the test framework.
int RunInChild(const std::function<int()> &body);

// A child that runs body, reports the result byte on a pipe and then waits to
// be killed. Stopping the object kills the child with SIGKILL, as a crash.
class WaitingChild {
public:
    explicit WaitingChild(const std::function<char()> &body);
    ~WaitingChild();
    WaitingChild(const WaitingChild &) = delete;
    WaitingChild &operator=(const WaitingChild &) = delete;

    char Report() const { return report_; }
    void Kill();

private:
    pid_t pid_ = -1;
    char report_ = 0;
};

} // namespace zorbel::test
