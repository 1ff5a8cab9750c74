// The ending signals turned into calls of the window thread.
#include "platform/system/EndSignals.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace zorbel;

// Each ending signal reaches the window thread as one call, not as the end
// of the process; the old handlers come back afterwards.
TEST(EndSignals, EachEndingSignalBecomesOneCallInTheEventLoop)
{
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);
    {
        TEndSignals ending;
        ASSERT_TRUE(ending.Installed());
        TEndSignals second; // one at a time
        EXPECT_FALSE(second.Installed());
        QList<int> seen;
        ending.OnSignal = [&](int signal) { seen << signal; };
        for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
            ASSERT_EQ(::raise(signal), 0);
            EXPECT_TRUE(seen.isEmpty() || seen.last() != signal); // not inside the handler
            QElapsedTimer timer;
            timer.start();
            while (!seen.contains(signal) && timer.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        EXPECT_EQ(seen, (QList<int>{SIGTERM, SIGHUP, SIGINT}));
    }
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}
