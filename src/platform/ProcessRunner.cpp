#include "platform/ProcessRunner.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QStringDecoder>

#include "platform/CancellationToken.h"
#include "platform/Error.h"
#include "platform/ExitCleanup.h"

namespace glintwork {

namespace {

// The text is the system's reason alone: the row already names the file being converted.
Error launchFailed(const QString& toolPath, int errorNumber) {
    return Error(ErrorKind::processLaunchFailed,
                 QString::fromStdString(std::generic_category().message(errorNumber)),
                 {.file = toolPath, .errorNumber = errorNumber});
}

Error exitedUnsuccessfully(const QString& toolPath, int exitStatus, const QString& errorOutput) {
    return Error(ErrorKind::processFailed,
                 QStringLiteral("The helper program stopped with exit status %1: %2")
                     .arg(QString::number(exitStatus), errorOutput),
                 {.file = toolPath, .reason = errorOutput});
}

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    [[nodiscard]] int get() const { return m_fd; }
    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    void reset(int fd = -1) noexcept {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

struct Pipe {
    UniqueFd readEnd;
    UniqueFd writeEnd;
};

// Close-on-exec from the start: several jobs spawn children at the same time from
// different threads, and a child that inherited another job's write end would keep that
// job waiting for end-of-file until it exits.
[[nodiscard]] std::optional<Pipe> makePipe() {
    std::array<int, 2> fds{};
    if (::pipe2(fds.data(), O_CLOEXEC) != 0)
        return std::nullopt;
    return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

// Owns a launched child until it has been reaped. If the run is abandoned by an
// exception, the child's group is killed and reaped so no zombie or orphan remains.
class ChildProcess {
public:
    ChildProcess() = default;
    explicit ChildProcess(pid_t pid) : m_pid(pid) {}
    ChildProcess(ChildProcess&& other) noexcept : m_pid(std::exchange(other.m_pid, -1)) {}
    ChildProcess& operator=(ChildProcess&& other) noexcept {
        if (this != &other) {
            abandon();
            m_pid = std::exchange(other.m_pid, -1);
        }
        return *this;
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { abandon(); }

    [[nodiscard]] pid_t pid() const { return m_pid; }

    // Blocks until the child has exited but leaves it unreaped, so its pid and group id
    // cannot be reused by an unrelated process while a terminate request may still be
    // on its way. Returns the exit code, or the signal's number if a signal ended it.
    [[nodiscard]] int waitForExit() const {
        siginfo_t info{};
        while (::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOWAIT) != 0) {
            if (errno != EINTR)
                throw std::system_error(errno, std::generic_category(), "waitid");
        }
        return info.si_status;
    }

    void reap() noexcept {
        if (m_pid <= 0)
            return;
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }

private:
    void abandon() noexcept {
        if (m_pid <= 0)
            return;
        ::kill(-m_pid, SIGKILL);
        reap();
    }

    pid_t m_pid = -1;
};

void terminateGroup(pid_t leader) {
    ::kill(-leader, SIGTERM);
}

// Reads both pipes as data arrives: reading one to its end before the other would let a
// child that fills the other pipe (a chatty stderr) block forever.
void drain(UniqueFd& out, QByteArray& outBytes, UniqueFd& err, QByteArray& errBytes) {
    std::array<char, 65536> buffer{};
    while (out.isOpen() || err.isOpen()) {
        std::array<pollfd, 2> fds{{{out.get(), POLLIN, 0}, {err.get(), POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        const std::array<std::pair<UniqueFd*, QByteArray*>, 2> streams{
            {{&out, &outBytes}, {&err, &errBytes}}};
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer.data(), buffer.size());
            if (n > 0)
                streams[i].second->append(buffer.data(), qsizetype(n));
            else if (n == 0 || (errno != EINTR && errno != EAGAIN))
                streams[i].first->reset();
        }
    }
}

[[nodiscard]] QString decodeUtf8OrEmpty(const QByteArray& bytes) {
    // Stateless, so a truncated sequence at the very end counts as invalid rather than
    // being held back for input that will never come.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

// Everything the child does between fork and exec is async-signal-safe: other threads
// of ours may hold locks at the moment of the fork, and the child sees them held forever.
[[noreturn]] void execChild(const char* path, char* const* argv, int outFd, int errFd, int reportFd,
                            pid_t parent) {
    // The child leads a group of its own: cancellation terminates it together with anything
    // it started, and a terminal's Ctrl-C reaches only us, so we decide.
    ::setpgid(0, 0);
    // No helper outlives us, however we end (even by SIGKILL), so nothing writes into
    // our files after we are gone.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(127);
    // Ignored signals survive exec; a child that ignores SIGTERM could not be cancelled.
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP)
            ::sigaction(signal, &defaults, nullptr);
    }
    sigset_t empty;
    sigemptyset(&empty);
    ::sigprocmask(SIG_SETMASK, &empty, nullptr);

    // Close-on-exec, like every descriptor of ours: only 0, 1 and 2 reach the helper.
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = outFd < 0 ? ::open("/dev/null", O_WRONLY | O_CLOEXEC) : outFd;
    const auto placeAt = [](int fd, int target) {
        // dup2 onto itself would keep the close-on-exec flag.
        return fd == target ? ::fcntl(fd, F_SETFD, 0) : ::dup2(fd, target);
    };
    if (in < 0 || out < 0 || placeAt(in, STDIN_FILENO) < 0 || placeAt(out, STDOUT_FILENO) < 0 ||
        placeAt(errFd, STDERR_FILENO) < 0) {
        const int error = errno;
        (void)!::write(reportFd, &error, sizeof error);
        ::_exit(127);
    }
    ::execv(path, argv);
    const int error = errno;
    (void)!::write(reportFd, &error, sizeof error);
    ::_exit(127);
}

[[nodiscard]] ChildProcess spawn(const QString& toolPath, const QStringList& arguments,
                                 const Pipe* out, const Pipe& err) {
    std::vector<QByteArray> storage;
    storage.reserve(std::size_t(arguments.size()) + 1);
    storage.push_back(QFile::encodeName(toolPath));
    for (const QString& argument : arguments)
        storage.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& entry : storage) {
        // A NUL would silently cut the argument short.
        if (entry.contains('\0'))
            throw launchFailed(toolPath, EINVAL);
        argv.push_back(entry.data());
    }
    argv.push_back(nullptr);

    // The child reports a failed exec through this pipe; a successful exec closes it.
    auto report = makePipe();
    if (!report)
        throw launchFailed(toolPath, errno);
    const pid_t parent = ::getpid();
    // Until the child has reset its signal handlers, ours must not run in it: a stop
    // signal there would clean up on our behalf.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::fork();
    const int forkError = errno;
    if (pid == 0)
        execChild(argv.front(), argv.data(), out ? out->writeEnd.get() : -1, err.writeEnd.get(),
                  report->writeEnd.get(), parent);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (pid < 0)
        throw launchFailed(toolPath, forkError);
    // Also done here, so a cancellation right after this returns finds the group in place.
    ::setpgid(pid, pid);
    ChildProcess child(pid);
    report->writeEnd.reset();
    int error = 0;
    ssize_t n = 0;
    while ((n = ::read(report->readEnd.get(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    if (n == sizeof error) {
        child.reap();
        throw launchFailed(toolPath, error);
    }
    return child;
}

} // namespace

void ProcessHolder::attach(pid_t processGroupLeader) {
    bool cancelled = false;
    {
        const std::lock_guard lock(m_lock);
        m_process = processGroupLeader;
        cancelled = m_cancelled;
    }
    if (cancelled)
        terminateGroup(processGroupLeader);
}

void ProcessHolder::cancel() {
    std::optional<pid_t> process;
    {
        const std::lock_guard lock(m_lock);
        m_cancelled = true;
        process = m_process;
    }
    if (process)
        terminateGroup(*process);
}

bool ProcessHolder::isCancelled() const {
    const std::lock_guard lock(m_lock);
    return m_cancelled;
}

namespace {

ProcessResult run(const QString& toolPath, const QStringList& arguments, bool captureStdout,
                  CancellationToken* cancellation) {
    if (cancellation)
        cancellation->check();

    const auto holder = std::make_shared<ProcessHolder>();
    // Declared before the registration so that, on every exit, the registration goes
    // first (waiting out a handler in flight) and only then is the child reaped.
    ChildProcess child;
    CancellationToken::Registration registration;
    if (cancellation)
        registration = cancellation->registerCallback([holder] { holder->cancel(); });

    auto errPipe = makePipe();
    if (!errPipe)
        throw launchFailed(toolPath, errno);
    std::optional<Pipe> outPipe;
    if (captureStdout) {
        outPipe = makePipe();
        if (!outPipe)
            throw launchFailed(toolPath, errno);
    }

    child = spawn(toolPath, arguments, outPipe ? &*outPipe : nullptr, *errPipe);
    // Only the child may hold the write ends now, or the reads below never see the end.
    errPipe->writeEnd.reset();
    if (outPipe)
        outPipe->writeEnd.reset();
    ExitCleanup::ChildRegistration abruptExit(child.pid());
    holder->attach(child.pid());

    QByteArray out;
    QByteArray err;
    UniqueFd noOutput;
    drain(outPipe ? outPipe->readEnd : noOutput, out, errPipe->readEnd, err);

    const int status = child.waitForExit();
    registration.reset();
    const bool cancelled = holder->isCancelled();
    // Once reaped, its pid may belong to someone else.
    abruptExit.reset();
    child.reap();

    if (cancelled && status != 0)
        throw CancelledError();
    return {status, std::move(out), status == 0 ? QString() : decodeUtf8OrEmpty(err)};
}

QByteArray outputOfSuccess(const QString& toolPath, ProcessResult result) {
    if (result.exitStatus != 0)
        throw exitedUnsuccessfully(toolPath, result.exitStatus, result.errorOutput);
    return std::move(result.output);
}

} // namespace

QByteArray runProcess(const QString& toolPath, const QStringList& arguments, bool captureStdout,
                      CancellationToken& cancellation) {
    return outputOfSuccess(toolPath, run(toolPath, arguments, captureStdout, &cancellation));
}

QByteArray runProcess(const QString& toolPath, const QStringList& arguments, bool captureStdout,
                      const std::shared_ptr<CancellationToken>& cancellation) {
    return outputOfSuccess(toolPath, run(toolPath, arguments, captureStdout, cancellation.get()));
}

ProcessResult runProcessToExit(const QString& toolPath, const QStringList& arguments,
                               bool captureStdout, CancellationToken& cancellation) {
    return run(toolPath, arguments, captureStdout, &cancellation);
}

} // namespace glintwork
