// The shared waiting time of the library's calls, on a clock the test moves.

#include "WaitBudget.h"

#include "Protocol.h"

#include <algorithm>
#include <gtest/gtest.h>

using std::chrono::milliseconds;
using tsremote::WaitBudget;

namespace {

const milliseconds kTotal{tsremote::kTimeoutMs};
const milliseconds kHealthy{tsremote::kHealthyAnswerMs};

struct Budget {
    WaitBudget budget{kTotal, kHealthy};
    WaitBudget::Clock::time_point now{std::chrono::hours(1)};

    WaitBudget::Clock::duration allowance() { return budget.allowance(now); }
    // A call that starts now and takes `answer` to be answered, or times out when that is more
    // than it may wait. Returns how long it waited.
    WaitBudget::Clock::duration call(WaitBudget::Clock::duration answer) {
        const WaitBudget::Clock::duration allowed = budget.allowance(now);
        if (allowed <= WaitBudget::Clock::duration::zero()) {
            return {};
        }
        const WaitBudget::Clock::duration waited = std::min(answer, allowed);
        budget.spend(now, now + waited, answer > allowed);
        now += waited;
        return waited;
    }
};

} // namespace

TEST(WaitBudget, ACallThatTimesOutLeavesNothingUntilTimePasses) {
    Budget b;
    EXPECT_EQ(b.allowance(), kTotal);
    EXPECT_EQ(b.call(milliseconds(500)), kTotal);
    EXPECT_EQ(b.allowance(), milliseconds(0));
    b.now += kHealthy - milliseconds(1);
    EXPECT_EQ(b.allowance(), milliseconds(0)) << "less than a healthy answer takes";
    b.now += milliseconds(31);
    EXPECT_EQ(b.allowance(), milliseconds(32));
    b.now += milliseconds(1000);
    EXPECT_EQ(b.allowance(), kTotal) << "never more than the whole";
}

TEST(WaitBudget, SlowAnswersShareTheTime) {
    Budget b;
    EXPECT_EQ(b.call(milliseconds(60)), milliseconds(60));
    EXPECT_EQ(b.allowance(), kTotal - milliseconds(60));
    EXPECT_EQ(b.call(milliseconds(30)), milliseconds(30));
    EXPECT_EQ(b.call(milliseconds(30)), kTotal - milliseconds(90)) << "cut short";
    EXPECT_EQ(b.allowance(), milliseconds(0));
    // The time between calls gives back as much.
    b.now += milliseconds(40);
    EXPECT_EQ(b.allowance(), milliseconds(40));
}

TEST(WaitBudget, HealthyAnswersCostNothingHoweverManyInARow) {
    Budget b;
    for (int i = 0; i < 10000; ++i) {
        b.call(kHealthy - milliseconds(1));
    }
    EXPECT_EQ(b.allowance(), kTotal);
    // A timed-out call costs everything, however short the time it had.
    b.call(milliseconds(90));
    EXPECT_EQ(b.allowance(), kTotal - milliseconds(90));
    b.now += milliseconds(1);
    EXPECT_EQ(b.call(milliseconds(50)), milliseconds(6));
    EXPECT_EQ(b.allowance(), milliseconds(0));
}

// Whatever the client's pace and the pause before it, a tick of five calls in a row waits
// no more than the whole time and what five healthy answers may take.
TEST(WaitBudget, ATickOfFiveCallsWaitsAtMostTheWholeTime) {
    for (const int answerMs : {1, 2, 30, 47, 90, 94, 95, 96, 150, 60000}) {
        for (const int pauseMs : {0, 1, 20, 50, 100, 1000}) {
            Budget b;
            // Earlier ticks at this pace, so that the budget is wherever they left it.
            for (int tick = 0; tick < 20; ++tick) {
                b.now += milliseconds(pauseMs);
                WaitBudget::Clock::duration waited{};
                for (int call = 0; call < 5; ++call) {
                    waited += b.call(milliseconds(answerMs));
                }
                EXPECT_LE(waited, kTotal + 5 * kHealthy)
                    << "answers in " << answerMs << " ms, pauses of " << pauseMs << " ms";
            }
        }
    }
}
