#pragma once

#include <QElapsedTimer>
#include <QThread>
#include <functional>

// Whether the condition holds within timeoutMs, looked at every 50 ms: how whole-program tests
// wait on what another process does.
inline bool eventually(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (condition()) {
            return true;
        }
        QThread::msleep(50);
    }
    return condition();
}
