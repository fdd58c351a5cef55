#pragma once

#include <QObject>
#include <QTimer>

// A window timer as the program relies on it: interval 0 means stopped, a non-zero interval
// starts it with that period, a negative interval is refused (failure 380).
// A plain QTimer with interval 0 would fire continuously instead.
class Timer : public QObject {
    Q_OBJECT

public:
    explicit Timer(int interval, QObject* parent = nullptr);

    int interval() const { return interval_; }
    void setInterval(int milliseconds);
    bool isTicking() const { return timer_.isActive(); }

signals:
    void tick();

private:
    QTimer timer_;
    int interval_ = 0;
};
