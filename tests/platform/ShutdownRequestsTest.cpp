#include "platform/ShutdownRequests.h"

#include <gtest/gtest.h>

#include <QSocketNotifier>

#include <sys/socket.h>

#include <cerrno>
#include <csignal>

#include "platform/EventWait.h"

namespace {

using platform::ShutdownRequests;

extern "C" void markerHandler(int) {}

// True once the event thread has read every byte the signal handler wrote: the
// requests those bytes carried have then been handled.
bool SignalsRead(const ShutdownRequests& requests) {
    const auto* notifier = requests.findChild<QSocketNotifier*>();
    if (notifier == nullptr) return false;
    char byte = 0;
    return ::recv(static_cast<int>(notifier->socket()), &byte, 1, MSG_PEEK | MSG_DONTWAIT) < 0 &&
           (errno == EAGAIN || errno == EWOULDBLOCK);
}

TEST(ShutdownRequestsTest, SignalReachesTheEventLoopOnceAndNotInsideTheHandler) {
    int calls = 0;
    ShutdownRequests requests([&] { ++calls; });
    ASSERT_TRUE(requests.watchSignals());
    ASSERT_EQ(std::raise(SIGTERM), 0);
    EXPECT_EQ(calls, 0) << "the handler only writes to the pipe";
    EXPECT_TRUE(platform::WaitUntil([&] { return calls == 1; }, 2000));
    EXPECT_EQ(requests.signalNumber(), SIGTERM);
    std::raise(SIGHUP);
    std::raise(SIGINT);
    ASSERT_TRUE(platform::WaitUntil([&] { return SignalsRead(requests); }, 2000));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(requests.requested());
}

TEST(ShutdownRequestsTest, OneWatcherAtATimeAndThePreviousHandlerComesBack) {
    struct sigaction marker {};
    marker.sa_handler = markerHandler;
    sigemptyset(&marker.sa_mask);
    struct sigaction original {};
    ASSERT_EQ(::sigaction(SIGTERM, &marker, &original), 0);
    {
        ShutdownRequests first([] {});
        ShutdownRequests second([] {});
        EXPECT_TRUE(first.watchSignals({SIGTERM}));
        EXPECT_FALSE(second.watchSignals({SIGTERM}));
        struct sigaction now {};
        ::sigaction(SIGTERM, nullptr, &now);
        EXPECT_NE(now.sa_handler, markerHandler);
    }
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, markerHandler);
    ::sigaction(SIGTERM, &original, nullptr);

    ShutdownRequests later([] {});
    EXPECT_TRUE(later.watchSignals({SIGTERM})) << "free again once the first is gone";
}

TEST(ShutdownRequestsTest, AnInvalidSignalLeavesNothingInstalled) {
    ShutdownRequests requests([] {});
    EXPECT_FALSE(requests.watchSignals({SIGTERM, SIGKILL}));
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
    ShutdownRequests other([] {});
    EXPECT_TRUE(other.watchSignals({SIGUSR1}));
}

}  // namespace
