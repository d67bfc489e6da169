#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace glintwork {

class CancellationToken;

// Links a running child to the cancellation of the job that waits for it. Cancellation
// may arrive before the child is attached, while it runs, or after it exited; the lock
// orders these, and the terminate request is always sent outside it.
//
// The child is expected to lead its own process group: the request goes to the whole
// group, so a helper that is a shell script takes its own children down with it.
class ProcessHolder {
public:
    // Records the child; if cancellation already arrived, terminates it at once.
    void attach(pid_t processGroupLeader);
    // The cancellation handler: marks the holder cancelled and terminates the attached
    // child, if any.
    void cancel();
    [[nodiscard]] bool isCancelled() const;

private:
    mutable std::mutex m_lock;
    std::optional<pid_t> m_process;
    bool m_cancelled = false;
};

// Runs the executable at toolPath with exactly these arguments (no shell; each one is a
// single argv entry), standard input from /dev/null, and blocks the calling thread until
// it exits. Returns its complete standard output when captureStdout is true, otherwise
// an empty array (the output goes to /dev/null).
//
// Throws CancelledError when the token is cancelled before the launch, or while the
// child runs and it then exits unsuccessfully (it is sent SIGTERM on cancellation); Error
// (processFailed) for any other non-zero status, with the child's standard error as its
// reason; Error (processLaunchFailed, with the system's error number) when it cannot be
// started. Both name the executable as their file.
[[nodiscard]] QByteArray runProcess(const QString& toolPath, const QStringList& arguments,
                                    bool captureStdout, CancellationToken& cancellation);
// The same; a null token means the run cannot be cancelled.
[[nodiscard]] QByteArray runProcess(const QString& toolPath, const QStringList& arguments,
                                    bool captureStdout,
                                    const std::shared_ptr<CancellationToken>& cancellation);

// How a child ended: its exit status (a signal's number when it was killed), its standard
// output when captured, and its standard error (empty when it is not valid UTF-8).
struct ProcessResult {
    int exitStatus = 0;
    QByteArray output;
    QString errorOutput;
};

// runProcess for a caller that words an unsuccessful exit itself: any exit status is
// returned; cancellation and a failed start throw as there.
[[nodiscard]] ProcessResult runProcessToExit(const QString& toolPath, const QStringList& arguments,
                                             bool captureStdout, CancellationToken& cancellation);

} // namespace glintwork
