// External programs run by the tests (oracles such as python3, sqlite3,
// unzip, pdftotext), started with fork() and exec, not QProcess: Qt starts a
// program with a vfork-like clone whose child runs in this process's memory,
// and under ThreadSanitizer that child's steps change the sanitizer's state
// of the calling thread, which then loses sight of its own locks: every test
// after the first run of a tool reported races on correctly locked data (the
// digest and decryption threads of the archive). fork() it follows.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zorbel::test {

struct TChildRun {
    bool Finished = false; // ran to its end within the time given
    int ExitCode = -1;     // -1: did not start, was killed or ended by a signal
    QByteArray Out, Err;
    bool Ok() const { return Finished && ExitCode == 0; }
};

struct TChildOptions {
    int TimeoutMs = 60000;
    QString WorkDir;         // empty: this process's
    QStringList Environment; // "NAME=value" lines; empty: this process's
    bool MergeErr = false;   // standard error into Out
};

inline TChildRun RunChild(const QString &program, const QStringList &args, const TChildOptions &options = {})
{
    TChildRun run;
    std::vector<QByteArray> argv{QFile::encodeName(program)}, envv;
    for (const QString &a : args)
        argv.push_back(a.toLocal8Bit());
    for (const QString &e : options.Environment)
        envv.push_back(e.toLocal8Bit());
    std::vector<char *> argp, envp;
    for (QByteArray &a : argv)
        argp.push_back(a.data());
    argp.push_back(nullptr);
    for (QByteArray &e : envv)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const QByteArray dir = QFile::encodeName(options.WorkDir);
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return run;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return run;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 1);
        ::dup2(options.MergeErr ? out[1] : err[1], 2);
        const int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            ::dup2(devnull, 0);
        if (!dir.isEmpty() && ::chdir(dir.constData()) != 0)
            ::_exit(127);
        if (options.Environment.isEmpty())
            ::execvp(argp[0], argp.data());
        else
            ::execvpe(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (child < 0) {
        ::close(out[0]);
        ::close(err[0]);
        return run;
    }
    QElapsedTimer clock;
    clock.start();
    bool outOpen = true, errOpen = true, late = false;
    char buffer[65536];
    while (outOpen || errOpen) {
        pollfd p[2] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        const int left = int(options.TimeoutMs - clock.elapsed());
        if (left <= 0) {
            late = true;
            break;
        }
        const int n = ::poll(p, 2, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            late = true;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (p[i].fd < 0 || !(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t k = ::read(p[i].fd, buffer, sizeof buffer);
            if (k < 0 && errno == EINTR)
                continue;
            if (k <= 0)
                (i == 0 ? outOpen : errOpen) = false;
            else
                (i == 0 ? run.Out : run.Err).append(buffer, qsizetype(k));
        }
    }
    ::close(out[0]);
    ::close(err[0]);
    if (late)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    run.Finished = !late && WIFEXITED(status) && WEXITSTATUS(status) != 127;
    run.ExitCode = run.Finished ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace zorbel::test
