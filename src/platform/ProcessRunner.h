#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/DescribedError.h"

namespace glintwork {

class CancellationToken;

// A child process could not be started; the text is the system's reason.
class ProcessLaunchError : public DescribedError {
public:
    ProcessLaunchError(QString toolPath, int errorNumber);

    [[nodiscard]] const QString& toolPath() const { return m_toolPath; }
    [[nodiscard]] int errorNumber() const { return m_errorNumber; }
    [[nodiscard]] QString description() const override;

private:
    QString m_toolPath;
    int m_errorNumber;
};

// A child that ended unsuccessfully: its exit status (a signal's number when it was
// killed) and its standard error. The tool that ran it says what that means for its file.
class ProcessExitError : public DescribedError {
public:
    ProcessExitError(int exitCode, QString errorOutput)
        : m_exitCode(exitCode), m_errorOutput(std::move(errorOutput)) {}

    [[nodiscard]] int exitCode() const { return m_exitCode; }
    [[nodiscard]] const QString& errorOutput() const { return m_errorOutput; }
    [[nodiscard]] QString description() const override;

private:
    int m_exitCode;
    QString m_errorOutput;
};

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
// child runs and it then exits unsuccessfully (it is sent SIGTERM on cancellation);
// ProcessExitError for any other non-zero status (a signal's number when the child was
// killed), carrying its standard error; ProcessLaunchError
// when it cannot be started.
[[nodiscard]] QByteArray runProcess(const QString& toolPath, const QStringList& arguments,
                                    bool captureStdout, CancellationToken& cancellation);
// The same; a null token means the run cannot be cancelled.
[[nodiscard]] QByteArray runProcess(const QString& toolPath, const QStringList& arguments,
                                    bool captureStdout,
                                    const std::shared_ptr<CancellationToken>& cancellation);

} // namespace glintwork
