#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "platform/ProcessRunner.h"
#include "platform/CancellationToken.h"
#include "support/TestSupport.h"

extern char** environ;

namespace glintwork {
namespace {

using namespace std::chrono_literals;

// Cancels a token when a run takes far longer than it may, so that a hang (a deadlock
// on full pipes, a child never terminated) fails the test instead of stalling the suite.
class Watchdog {
public:
    Watchdog(std::shared_ptr<CancellationToken> token, std::chrono::seconds limit)
        : m_thread([this, token = std::move(token), limit] {
              std::unique_lock lock(m_mutex);
              if (!m_stopped.wait_for(lock, limit, [this] { return m_stop; })) {
                  m_fired = true;
                  lock.unlock();
                  token->cancel();
              }
          }) {}
    ~Watchdog() {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_stopped.notify_all();
        m_thread.join();
        EXPECT_FALSE(m_fired) << "the run overran its time limit and was cancelled";
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stop = false;
    bool m_fired = false;
    std::thread m_thread;
};

QByteArray runGuarded(const QString& tool, const QStringList& arguments, bool captureStdout,
                      std::chrono::seconds limit = 30s) {
    auto token = std::make_shared<CancellationToken>();
    const Watchdog watchdog(token, limit);
    return runProcess(tool, arguments, captureStdout, token);
}

int openDescriptorCount() {
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

std::set<int> descriptorsWithoutCloseOnExec() {
    std::set<int> result;
    const QStringList entries =
        QDir(QStringLiteral("/proc/self/fd"))
            .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        const int fd = entry.toInt();
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC))
            result.insert(fd);
    }
    return result;
}

// Polls until the child has written its pid into the file.
std::optional<pid_t> waitForPidFile(const QString& path) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray text = file.readAll();
            if (text.endsWith('\n'))
                return pid_t(text.trimmed().toInt());
        }
        std::this_thread::sleep_for(10ms);
    }
    return std::nullopt;
}

class ProcessRunnerTest : public ::testing::Test {
protected:
    void SetUp() override { m_descriptorsAtStart = openDescriptorCount(); }

    void TearDown() override {
        // Every run reaps its child: none may be left, exited or not.
        int status = 0;
        errno = 0;
        EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "a child process was left behind";
        EXPECT_EQ(errno, ECHILD);
        EXPECT_EQ(openDescriptorCount(), m_descriptorsAtStart) << "file descriptors leaked";
    }

    QString script(const QByteArray& body) const {
        return m_resources.addScript(QStringLiteral("cwebp"), body);
    }

    test::FakeResources m_resources;
    int m_descriptorsAtStart = 0;
};

struct OutcomeCase {
    const char* name;
    QByteArray body;
    bool captureStdout;
    std::optional<QByteArray> output;   // expected result when the run succeeds
    std::optional<std::string> message; // expected error text when it fails
    int exitCode = 0;
};

TEST_F(ProcessRunnerTest, OutcomeFollowsTheExitStatus) {
    const OutcomeCase cases[] = {
        {"captured output", "printf 'hello\\0world'", true, QByteArray("hello\0world", 11), {}},
        {"error output ignored on success",
         "printf out; printf 'warn' >&2; exit 0",
         true,
         QByteArray("out"),
         {}},
        {"output not captured", "printf 'hello'; exit 0", false, QByteArray(), {}},
        {"standard input is empty",
         "if read -r line; then printf 'got:%s' \"$line\"; else printf eof; fi",
         true,
         QByteArray("eof"),
         {}},
        {"bad input",
         "echo bad input >&2; exit 1",
         true,
         {},
         "Process exited with code 1: bad input\n",
         1},
        {"bad input, not captured",
         "echo partial; echo bad input >&2; exit 1",
         false,
         {},
         "Process exited with code 1: bad input\n",
         1},
        {"silent failure", "exit 3", true, {}, "Process exited with code 3: ", 3},
        {"highest status", "exit 255", true, {}, "Process exited with code 255: ", 255},
        {"UTF-8 error text",
         "printf 'caf\\303\\251 \\342\\234\\223' >&2; exit 4",
         true,
         {},
         "Process exited with code 4: café ✓",
         4},
        {"invalid UTF-8",
         "printf 'bad \\377 byte' >&2; exit 2",
         true,
         {},
         "Process exited with code 2: ",
         2},
        {"UTF-8 cut short at the end",
         "printf 'caf\\303' >&2; exit 2",
         true,
         {},
         "Process exited with code 2: ",
         2},
        {"killed by a signal",
         "echo dying >&2; kill -KILL $$",
         true,
         {},
         "Process exited with code 9: dying\n",
         9},
        {"terminated without cancellation",
         "kill -TERM $$",
         true,
         {},
         "Process exited with code 15: ",
         15},
    };
    for (const OutcomeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString tool = script(c.body);
        try {
            const QByteArray output = runGuarded(tool, {}, c.captureStdout);
            ASSERT_TRUE(c.output.has_value()) << "succeeded with " << output.toStdString();
            EXPECT_EQ(output, *c.output);
        } catch (const ProcessExitError& error) {
            ASSERT_TRUE(c.message.has_value()) << "failed with " << error.what();
            EXPECT_EQ(error.description().toStdString(), *c.message);
            EXPECT_EQ(error.exitCode(), c.exitCode);
        }
    }
}

TEST_F(ProcessRunnerTest, ArgumentsArePassedVerbatimWithoutAShell) {
    const test::FakeResources awkward(QStringLiteral("Resources with space 'single' \"double\""));
    const QString tool =
        awkward.addScript(QStringLiteral("cjpeg"),
                          "printf '%s\\n' \"$0\"\nfor a in \"$@\"; do printf '<%s>' \"$a\"; done");
    const QString inputPath = awkward.scratch().filePath(QStringLiteral("in put 'x'.tga"));
    const QStringList arguments = {
        QStringLiteral("-quality"),
        QStringLiteral("80"),
        QString(),
        inputPath,
        QStringLiteral("it's"),
        QStringLiteral("\"q\""),
        QStringLiteral("*"),
        QStringLiteral("$HOME"),
        QStringLiteral("`id`; rm -rf x"),
        QStringLiteral("two\nlines"),
        QStringLiteral("ünïcode"),
        QStringLiteral(" lead"),
    };
    QByteArray expected = QFile::encodeName(tool) + '\n';
    for (const QString& argument : arguments)
        expected += '<' + argument.toUtf8() + '>';
    EXPECT_EQ(runGuarded(tool, arguments, true).toStdString(), expected.toStdString());
}

TEST_F(ProcessRunnerTest, LargeOutputOnBothStreamsNeverStalls) {
    constexpr int size = 4 * 1024 * 1024;
    const QByteArray toStdout = "head -c 4194304 /dev/zero | tr '\\0' o";
    const QByteArray toStderr = "head -c 4194304 /dev/zero | tr '\\0' e >&2";
    const QByteArray interleaved = "i=0\nwhile [ $i -lt 64 ]; do\n"
                                   "  head -c 65536 /dev/zero | tr '\\0' e >&2\n"
                                   "  head -c 65536 /dev/zero | tr '\\0' o\n"
                                   "  i=$((i + 1))\ndone";
    const struct {
        const char* name;
        QByteArray body;
    } orders[] = {
        {"error output first", toStderr + '\n' + toStdout},
        {"standard output first", toStdout + '\n' + toStderr},
        {"interleaved", interleaved},
    };
    for (const auto& order : orders) {
        for (const int exitCode : {0, 1}) {
            SCOPED_TRACE(std::string(order.name) + ", exit " + std::to_string(exitCode));
            const QString tool = script(order.body + "\nexit " + QByteArray::number(exitCode));
            try {
                const QByteArray output = runGuarded(tool, {}, true);
                EXPECT_EQ(exitCode, 0);
                EXPECT_EQ(output.size(), size);
                EXPECT_EQ(output.count('o'), size);
            } catch (const ProcessExitError& error) {
                EXPECT_EQ(exitCode, 1);
                EXPECT_EQ(error.errorOutput().size(), size);
                EXPECT_EQ(error.errorOutput().count(QLatin1Char('e')), size);
            }
        }
    }
}

TEST_F(ProcessRunnerTest, CancellingARunningChildEndsItPromptly) {
    // Not exec'd: the shell's own child must go too, or it would hold the pipes open.
    const QString tool = script("echo $$ > \"$1\"\nsleep 30\necho too late");
    const QString pidFile = m_resources.scratch().filePath(QStringLiteral("pid"));
    auto token = std::make_shared<CancellationToken>();
    auto run =
        std::async(std::launch::async, [&] { return runProcess(tool, {pidFile}, true, token); });
    const auto pid = waitForPidFile(pidFile);
    ASSERT_TRUE(pid.has_value());

    const auto cancelledAt = std::chrono::steady_clock::now();
    token->cancel();
    ASSERT_EQ(run.wait_for(10s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - cancelledAt, 1s);
    EXPECT_THROW((void)run.get(), CancelledError);
    EXPECT_EQ(::kill(*pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST_F(ProcessRunnerTest, ChildThatStillSucceedsAfterCancellationKeepsItsResult) {
    const struct {
        int exitCode;
        bool cancelled;
    } cases[] = {{0, false}, {5, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exitCode);
        const QString tool =
            // The sleep runs in the background, away from our pipes: a signal that lands
            // while the shell is forking it would otherwise be lost in the fork, leaving a
            // sleep that holds the pipes open for 30 seconds.
            script("trap 'kill $!; printf finished; exit " + QByteArray::number(c.exitCode) +
                   "' TERM\necho $$ > \"$1\"\nsleep 30 >/dev/null 2>&1 &\nwait");
        const QString pidFile = m_resources.scratch().filePath(QStringLiteral("pid"));
        QFile::remove(pidFile);
        auto token = std::make_shared<CancellationToken>();
        auto run = std::async(std::launch::async,
                              [&] { return runProcess(tool, {pidFile}, true, token); });
        ASSERT_TRUE(waitForPidFile(pidFile).has_value());
        token->cancel();
        ASSERT_EQ(run.wait_for(10s), std::future_status::ready);
        if (c.cancelled)
            EXPECT_THROW((void)run.get(), CancelledError);
        else
            EXPECT_EQ(run.get(), QByteArray("finished"));
    }
}

TEST_F(ProcessRunnerTest, CancelledBeforeLaunchStartsNothing) {
    const QString marker = m_resources.scratch().filePath(QStringLiteral("launched"));
    const QString tool = script("touch \"$1\"");
    CancellationToken token; // as a batch job is handed it, by reference
    token.cancel();
    EXPECT_THROW((void)runProcess(tool, {marker}, true, token), CancelledError);
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(ProcessRunnerTest, RunsWithoutAToken) {
    EXPECT_EQ(runProcess(script("printf ok"), {}, true, nullptr), QByteArray("ok"));
}

TEST_F(ProcessRunnerTest, LaunchFailuresCarryTheSystemsReason) {
    const QString garbage =
        m_resources.scratch().writeFile(QStringLiteral("garbage"), "\x7f\x01\x02");
    QFile::setPermissions(garbage, QFile::ReadOwner | QFile::ExeOwner);
    const QString notExecutable = m_resources.addScript(QStringLiteral("plain"), "exit 0", false);
    const struct {
        QString path;
        int errorNumber;
        const char* text;
    } cases[] = {
        {m_resources.binPath() + QStringLiteral("/missing"), ENOENT, "No such file or directory"},
        {notExecutable, EACCES, "Permission denied"},
        {m_resources.binPath(), EACCES, "Permission denied"},
        {garbage, ENOEXEC, "Exec format error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        try {
            (void)runGuarded(c.path, {}, true);
            ADD_FAILURE() << "launched";
        } catch (const ProcessLaunchError& error) {
            EXPECT_EQ(error.errorNumber(), c.errorNumber);
            EXPECT_EQ(error.description().toStdString(), c.text);
            EXPECT_EQ(error.toolPath(), c.path);
        }
    }
}

TEST_F(ProcessRunnerTest, ConcurrentRunsFromAThreadPoolKeepTheirOwnResults) {
    const QString tool = script("printf '%s' \"$1\"\n"
                                "printf 'noise for %s\\n' \"$1\" >&2\n"
                                "case \"$1\" in *3) exit 7;; esac");
    constexpr int runs = 96;
    auto token = std::make_shared<CancellationToken>();
    const Watchdog watchdog(token, 60s);
    QThreadPool pool;
    pool.setMaxThreadCount(8);
    std::vector<QFuture<std::string>> futures;
    for (int i = 0; i < runs; ++i) {
        futures.push_back(QtConcurrent::run(&pool, [&tool, token, i]() -> std::string {
            const QString argument = QStringLiteral("job %1").arg(i);
            try {
                return runProcess(tool, {argument}, true, token).toStdString();
            } catch (const ProcessExitError& error) {
                return "error: " + error.description().toStdString();
            }
        }));
    }
    for (int i = 0; i < runs; ++i) {
        const std::string expected =
            i % 10 == 3
                ? "error: Process exited with code 7: noise for job " + std::to_string(i) + "\n"
                : "job " + std::to_string(i);
        EXPECT_EQ(futures[std::size_t(i)].result(), expected);
    }
}

TEST_F(ProcessRunnerTest, ChildrenInheritNoDescriptorsOfOtherRuns) {
    const std::set<int> inheritable = descriptorsWithoutCloseOnExec();
    const QString slow = m_resources.addScript(QStringLiteral("slow"), "sleep 1");
    const QString lister = m_resources.addScript(QStringLiteral("lister"), "exec ls /proc/self/fd");
    auto other = std::async(std::launch::async, [&] { return runGuarded(slow, {}, true); });
    std::this_thread::sleep_for(200ms); // let the other run open its pipes and spawn

    std::set<int> unexpected;
    for (const QByteArray& entry : runGuarded(lister, {}, true).split('\n')) {
        if (entry.isEmpty())
            continue;
        const int fd = entry.toInt();
        if (fd > 2 && !inheritable.contains(fd))
            unexpected.insert(fd);
    }
    // The one left is the handle ls itself opened on the folder it lists.
    EXPECT_EQ(unexpected.size(), 1u);
    (void)other.get();
}

pid_t spawnInOwnGroup(const char* seconds) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::string program = "/bin/sleep";
    std::string argument = seconds;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    return error == 0 ? pid : -1;
}

TEST(ProcessHolder, TerminatesTheChildWhicheverComesFirst) {
    enum class Order { cancelThenAttach, attachThenCancel, attachOnly };
    const struct {
        Order order;
        const char* seconds;
        bool terminated;
    } cases[] = {
        {Order::cancelThenAttach, "10", true},
        {Order::attachThenCancel, "10", true},
        {Order::attachOnly, "0.1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.order));
        ProcessHolder holder;
        const pid_t pid = spawnInOwnGroup(c.seconds);
        ASSERT_GT(pid, 0);
        if (c.order == Order::cancelThenAttach)
            holder.cancel();
        holder.attach(pid);
        if (c.order == Order::attachThenCancel)
            holder.cancel();
        EXPECT_EQ(holder.isCancelled(), c.order != Order::attachOnly);

        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        if (c.terminated) {
            ASSERT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(WTERMSIG(status), SIGTERM);
        } else {
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 0);
        }
    }
}

} // namespace
} // namespace glintwork
