// Ending signals through a self-pipe; see EndSignals.h.
#include "platform/system/EndSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace zorbel {

namespace {

constexpr int Signals[] = {SIGTERM, SIGHUP, SIGINT};
int pipeFds[2] = {-1, -1};
struct sigaction previous[std::size(Signals)];

extern "C" void OnEndSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // Async-signal-safe; a full pipe already holds a pending signal.
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

} // namespace

TEndSignals::TEndSignals()
{
    if (pipeFds[0] >= 0 || ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(Signals); ++i)
        ::sigaction(Signals[i], &action, &previous[i]);
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Drain(); });
    installed_ = true;
}

TEndSignals::~TEndSignals()
{
    if (!installed_)
        return;
    for (size_t i = 0; i < std::size(Signals); ++i)
        ::sigaction(Signals[i], &previous[i], nullptr);
    notifier_.reset();
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void TEndSignals::Drain()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(pipeFds[0], &byte, 1) == 1)
        last = byte;
    if (last != 0 && OnSignal)
        OnSignal(last);
}

} // namespace zorbel
