// End signals: SIGTERM, SIGHUP and SIGINT reach the event loop as a request to end, instead of
// ending the process on the spot. (The program's own end order after such a request is shown by
// the end-to-end test end_signal.)
#include "platform/endsignals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>

namespace {

// Runs the event loop until the list has n entries or a few seconds have passed.
void WaitFor(const QList<int>& got, int n)
{
    QElapsedTimer timer;
    timer.start();
    while (got.size() < n && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

}  // namespace

TEST(EndSignals, EachSignalBecomesAnEndRequestInTheEventLoop)
{
    struct sigaction before {};
    sigaction(SIGTERM, nullptr, &before);
    {
        EndSignals watcher;
        QList<int> got;
        QObject::connect(&watcher, &EndSignals::endRequested, [&](int s) { got.append(s); });
        EXPECT_FALSE(watcher.requested());

        for (int s : {SIGTERM, SIGHUP, SIGINT})
            ASSERT_EQ(::raise(s), 0);
        // Nothing has run yet: the handler only wrote into the pipe.
        EXPECT_TRUE(got.isEmpty());
        WaitFor(got, 3);
        EXPECT_EQ(got, (QList<int>{SIGTERM, SIGHUP, SIGINT}));
        EXPECT_TRUE(watcher.requested());

        // Many at once, as from a shutdown that repeats itself: still delivered, process alive.
        for (int i = 0; i < 5; ++i)
            ::raise(SIGTERM);
        WaitFor(got, 8);
        EXPECT_EQ(got.size(), 8);
    }
    // The handler that was there before is back.
    struct sigaction after {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// The receiver of the first request may run a nested event loop (the close handler shows a
// message box); a second signal must still reach it there, or the box would hold the end.
TEST(EndSignals, ASecondSignalReachesANestedEventLoop)
{
    EndSignals watcher;
    QList<int> got;
    bool nestedEnded = false;
    QObject::connect(&watcher, &EndSignals::endRequested, [&](int s) {
        got.append(s);
        if (got.size() != 1)
            return;
        QEventLoop box;
        QObject::connect(&watcher, &EndSignals::endRequested, &box, &QEventLoop::quit);
        QTimer::singleShot(0, [] { ::raise(SIGTERM); });
        QTimer::singleShot(5000, &box, &QEventLoop::quit);  // a safety net, not the expected end
        QElapsedTimer timer;
        timer.start();
        box.exec();
        nestedEnded = timer.elapsed() < 4000;
    });
    ::raise(SIGHUP);
    WaitFor(got, 2);
    EXPECT_EQ(got, (QList<int>{SIGHUP, SIGTERM}));
    EXPECT_TRUE(nestedEnded) << "the second signal waited for the nested loop to end";
}
