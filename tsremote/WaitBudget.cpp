#include "WaitBudget.h"

#include <algorithm>

namespace tsremote {

WaitBudget::WaitBudget(Clock::duration total, Clock::duration healthy)
    : total_(total), healthy_(healthy) {}

WaitBudget::Clock::duration WaitBudget::allowance(Clock::time_point now) {
    if (now > lastEnd_) {
        spent_ = std::max(Clock::duration::zero(), spent_ - (now - lastEnd_));
        lastEnd_ = now;
    }
    const Clock::duration left = total_ - spent_;
    return left < healthy_ ? Clock::duration::zero() : left;
}

void WaitBudget::spend(Clock::time_point start, Clock::time_point end, bool timedOut) {
    const Clock::duration took = end - start;
    if (timedOut) {
        spent_ = total_;
    } else if (took >= healthy_) {
        spent_ = std::min(total_, spent_ + took);
    }
    lastEnd_ = std::max(lastEnd_, end);
}

} // namespace tsremote
