// The signals that end a desktop program from outside (SIGTERM at logout or
// shutdown, SIGHUP when the terminal goes, SIGINT from Ctrl+C), turned into a
// call in the window thread: the handler only writes the signal's number into
// a pipe, and a notifier on the pipe's other end runs OnSignal from the event
// loop, where the program can close as it normally does.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace zorbel {

class TEndSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; the previous ones come back at destruction.
    // One object at a time.
    TEndSignals();
    ~TEndSignals() override;
    TEndSignals(const TEndSignals &) = delete;
    TEndSignals &operator=(const TEndSignals &) = delete;

    // True when the handlers are in place.
    bool Installed() const { return installed_; }

    // Called in the window thread with the signal's number.
    std::function<void(int Signal)> OnSignal;

private:
    void Drain();
    bool installed_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace zorbel
