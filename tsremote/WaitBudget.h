#pragma once

#include <chrono>

namespace tsremote {

// How long calls may wait for the client. A caller's tick makes its calls one right after
// another, so a client that is slow on each of them would hold the tick for a multiple of one
// call's time-out. The calls therefore share one allowance of `total`: what a call waits is
// taken from it, and it grows back, up to `total`, with the time that passes between calls.
// A call that times out spends the rest, so the calls right after it fail at once, and a
// client that has recovered is heard from after the caller's next pause. A call answered
// within `healthy` costs nothing: a caller that calls without pause on a client that answers
// at once is never turned away.
class WaitBudget {
public:
    using Clock = std::chrono::steady_clock;

    WaitBudget(Clock::duration total, Clock::duration healthy);

    // How long a call that starts now may wait; zero when less is left than a healthy answer
    // takes, and the call should fail at once.
    Clock::duration allowance(Clock::time_point now);
    // A call that started and ended at these times, and whether it gave up waiting.
    void spend(Clock::time_point start, Clock::time_point end, bool timedOut);

private:
    Clock::duration total_;
    Clock::duration healthy_;
    Clock::duration spent_{};
    Clock::time_point lastEnd_{};
};

} // namespace tsremote
