#include "platform/StopSignals.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "platform/ExitCleanup.h"

namespace glintwork {

namespace {

constexpr int kExitAfterSecondSignal = 1;
constexpr std::array kStopSignals{SIGINT, SIGTERM, SIGHUP};

// Written by the handler, read by the notifier: the handler may do nothing more.
std::array<int, 2> g_wakeUp{-1, -1};
std::atomic<int> g_signalCount{0};

void onStopSignal(int) {
    if (g_signalCount.fetch_add(1) > 0)
        ExitCleanup::killChildrenRemoveFilesAndExit(kExitAfterSecondSignal);
    const int interruptedError = errno;
    const char byte = 1;
    (void)!::write(g_wakeUp[1], &byte, 1);
    errno = interruptedError;
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(g_wakeUp.data(), O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_wakeUp[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(g_wakeUp[0], buffer, sizeof buffer) > 0) {
        }
        Q_EMIT stopRequested();
    });
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kStopSignals)
        ::sigaction(signal, &action, nullptr);
}

StopSignals::~StopSignals() {
    // Signals after this point are handled the default way again: nothing is left that
    // could answer them.
    for (const int signal : kStopSignals)
        std::signal(signal, SIG_DFL);
    delete m_notifier;
    m_notifier = nullptr;
    for (int& fd : g_wakeUp) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace glintwork
