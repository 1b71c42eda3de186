// The stop signals' handlers: all three reach the one handler, each only once (a second signal
// of a kind would end the program), and the handlers that were there before come back.
#include "platform/stop_signals.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

volatile sig_atomic_t g_received = 0;
volatile sig_atomic_t g_previousReceived = 0;

void Record(int signal) {
    g_received = signal;
}

void RecordPrevious(int signal) {
    g_previousReceived = signal;
}

void (*CurrentHandler(int signal))(int) {
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    return now.sa_handler;
}

TEST(StopSignalHandlers, EachSignalReachesTheHandlerOnceAndThePreviousOnesReturn) {
    for (int signal : StopSignalHandlers::kSignals) {
        SCOPED_TRACE(signal);
        struct sigaction previous {};
        previous.sa_handler = RecordPrevious;
        sigemptyset(&previous.sa_mask);
        struct sigaction saved {};
        ASSERT_EQ(sigaction(signal, &previous, &saved), 0);
        g_received = 0;
        g_previousReceived = 0;
        {
            StopSignalHandlers handlers(Record);
            EXPECT_EQ(CurrentHandler(signal), &Record);
            ASSERT_EQ(raise(signal), 0);
            EXPECT_EQ(g_received, signal);
            EXPECT_EQ(g_previousReceived, 0);
            // Fired once: the next one of this kind gets the default, which ends the program.
            EXPECT_EQ(CurrentHandler(signal), SIG_DFL);
        }
        EXPECT_EQ(CurrentHandler(signal), &RecordPrevious);
        ASSERT_EQ(raise(signal), 0);
        EXPECT_EQ(g_previousReceived, signal);
        sigaction(signal, &saved, nullptr);
    }
}

}  // namespace
