#include "mainwindow/TrayState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using mainwindow::RequestTrayState;
using mainwindow::TrayState;
using mainwindow::TrayStatus;
using mainwindow::TrayStep;
using mainwindow::TrayTimerTick;
using S = TrayState;

TrayStatus status(S state, int frame, bool pending, bool timerOn, int interval) {
    return TrayStatus{state, frame, pending, timerOn, interval};
}

const TrayStatus kRestOff = status(S::Rest, 1, false, false, 125);
const TrayStatus kCollecting = status(S::Collecting, 3, false, true, 125);
const TrayStatus kNewMail = status(S::NewMail, 2, false, true, 400);
const TrayStatus kWaiting = status(S::Approval, 2, false, true, 400);
const TrayStatus kSending = status(S::Sending, 2, true, true, 125);

struct RequestCase {
    const char* name;
    TrayStatus now;
    TrayState request;
    TrayStatus next;
    std::string picture;  // "" for none
};

TEST(TrayStateTest, RequestsFollowTheTransitionTable) {
    const std::vector<RequestCase> cases = {
        {"rest gives way to collecting", kRestOff, S::Collecting, status(S::Collecting, 1, false, true, 125), ""},
        {"rest gives way to new mail, slowly", kRestOff, S::NewMail, status(S::NewMail, 1, false, true, 400), ""},
        {"waiting gives way to collecting, fast again", kWaiting, S::Collecting,
         status(S::Collecting, 1, false, true, 125), ""},
        {"waiting gives way to sending", kWaiting, S::Sending, status(S::Sending, 1, false, true, 125), ""},
        {"waiting restarts itself", kWaiting, S::Approval, status(S::Approval, 1, false, true, 400), ""},
        {"a start clears a pending rest", status(S::Rest, 1, true, false, 125), S::Sending,
         status(S::Sending, 1, false, true, 125), ""},
        {"collecting keeps the icon from sending", kCollecting, S::Sending, kCollecting, ""},
        {"new mail keeps the icon from collecting", kNewMail, S::Collecting, kNewMail, ""},
        {"sending keeps the icon from new mail", kSending, S::NewMail, kSending, ""},
        {"rest during an animation waits for its frames", kCollecting, S::Rest,
         status(S::Collecting, 3, true, true, 125), ""},
        {"rest at rest leaves a stopped timer stopped", kRestOff, S::Rest, status(S::Rest, 1, true, false, 125), ""},
        {"rest at once stops an animation", kCollecting, S::RestAtOnce, status(S::Rest, 3, false, false, 125), "R"},
        {"rest at once from new mail", kNewMail, S::RestAtOnce, status(S::Rest, 2, false, false, 125), "R"},
        {"rest at once from waiting", kWaiting, S::RestAtOnce, status(S::Rest, 2, false, false, 125), "R"},
        {"rest at once at rest stays a rest", kRestOff, S::RestAtOnce, status(S::Rest, 1, false, false, 125), "R"},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TrayStep step = RequestTrayState(c.now, c.request);
        EXPECT_EQ(step.next, c.next);
        EXPECT_EQ(step.picture.value_or(""), c.picture);
        EXPECT_FALSE(step.waitingTip);
    }
}

struct TickCase {
    const char* name;
    TrayStatus now;
    int frames, waiting;
    TrayStatus next;
    std::string picture;
    bool waitingTip;
};

TEST(TrayStateTest, TicksStepLoopAndEndTheAnimation) {
    const std::vector<TickCase> cases = {
        {"shows the next frame", kCollecting, 4, 0, status(S::Collecting, 4, false, true, 125), "D3", false},
        {"shows the last frame", status(S::Sending, 4, true, true, 125), 4, 0,
         status(S::Sending, 5, true, true, 125), "U4", false},
        {"loops without a pending rest", status(S::Collecting, 5, false, true, 125), 4, 3,
         status(S::Collecting, 2, false, true, 125), "D1", false},
        {"rests after the last frame", status(S::NewMail, 3, true, true, 400), 2, 0,
         status(S::Rest, 3, false, false, 125), "R", false},
        {"waiting senders follow the last frame", status(S::NewMail, 3, true, true, 400), 2, 2,
         status(S::Approval, 1, false, true, 400), "", true},
        {"waiting loops while senders wait", status(S::Approval, 3, true, true, 400), 2, 1,
         status(S::Approval, 1, false, true, 400), "", true},
        {"an animation without pictures ends at once", status(S::Collecting, 1, true, true, 125), 0, 0,
         status(S::Rest, 1, false, false, 125), "R", false},
        {"a tick at rest only stops the timer", status(S::Rest, 1, false, true, 125), 0, 5,
         status(S::Rest, 1, false, false, 125), "", false},
    };
    for (const TickCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TrayStep step = TrayTimerTick(c.now, c.frames, c.waiting);
        EXPECT_EQ(step.next, c.next);
        EXPECT_EQ(step.picture.value_or(""), c.picture);
        EXPECT_EQ(step.waitingTip, c.waitingTip);
    }
}

TEST(TrayStateTest, StateTextsAreExact) {
    for (const char* text : {"R", "RI", "N", "A", "D", "U"}) {
        const auto state = mainwindow::TrayStateFromText(text);
        ASSERT_TRUE(state.has_value()) << text;
        EXPECT_EQ(mainwindow::TrayStateText(*state), text);
    }
    for (const char* text : {"", "r", "RI ", "X"}) EXPECT_FALSE(mainwindow::TrayStateFromText(text)) << text;
    EXPECT_EQ(mainwindow::TrayFrameKey(S::Approval, 12), "A12");
}

}  // namespace
