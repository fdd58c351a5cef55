#include "TerminationSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; a full pipe already has a wake-up pending.
    [[maybe_unused]] ssize_t written = ::write(signalPipe[0], &byte, 1);
}
} // namespace

void TerminationSignals::catchEarly() {
    if (signalPipe[0] != -1) {
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        return;
    }
    ::fcntl(signalPipe[0], F_SETFL, O_NONBLOCK);
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    // A closed terminal ends the program as a logout does: in order, settings saved.
    ::sigaction(SIGHUP, &action, nullptr);
}

bool TerminationSignals::stopCatching() {
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGHUP, SIG_DFL);
    char byte = 0;
    return signalPipe[1] != -1 && ::read(signalPipe[1], &byte, 1) == 1;
}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent), notifier_(nullptr) {
    catchEarly();
    if (signalPipe[1] == -1) {
        return;
    }
    // A signal caught before this point waits in the pipe and is delivered at once.
    notifier_ = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(signalPipe[1], buffer, sizeof buffer) ==
               static_cast<ssize_t>(sizeof buffer)) {
        }
        emit received();
    });
}

TerminationSignals::~TerminationSignals() {
    stopCatching();
}
