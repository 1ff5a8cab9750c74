// Running a piece of a test in a forked child process.
#include "ChildProcess.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace zorbel::test {

int RunInChild(const std::function<int()> &body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

WaitingChild::WaitingChild(const std::function<char()> &body)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(fds[0]);
        const char result = body();
        if (::write(fds[1], &result, 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause();
    }
    ::close(fds[1]);
    if (pid_ > 0 && ::read(fds[0], &report_, 1) != 1)
        report_ = 0;
    ::close(fds[0]);
}

WaitingChild::~WaitingChild() { Kill(); }

void WaitingChild::Kill()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

} // namespace zorbel::test
