#include "Timer.h"

#include "Failure.h"

Timer::Timer(int interval, QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &Timer::tick);
    setInterval(interval);
}

void Timer::setInterval(int milliseconds) {
    if (milliseconds < 0) {
        throw Failure::invalidPropertyValue();
    }
    if (milliseconds == interval_ && (milliseconds == 0) != timer_.isActive()) {
        return; // same period, already in that state: keep the phase
    }
    interval_ = milliseconds;
    if (milliseconds == 0) {
        timer_.stop();
    } else {
        timer_.start(milliseconds);
    }
}
