#pragma once

#include <QObject>

class QSocketNotifier;

namespace glintwork {

// SIGINT (Ctrl-C), SIGTERM (kill, systemd, job schedulers) and SIGHUP (a closed terminal)
// as an orderly stop: the first one is delivered as stopRequested() on the thread that
// installed the handlers, so the program can cancel, clean up and leave. A second one
// while that is under way quits at once, but only after every helper process is dead and
// every unfinished file removed (ExitCleanup), with exit status 1.
class StopSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; one object per program.
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

Q_SIGNALS:
    void stopRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace glintwork
