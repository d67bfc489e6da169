#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <tuple>
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

#include "platform/CancellationToken.h"
#include "platform/ProcessRunner.h"
#include "support/TestSupport.h"

extern char** environ;

namespace glintwork {
namespace {

using namespace std::chrono_literals;

// A run that hangs (a deadlock on full pipes, a child never ended) is cancelled and fails
// the test instead of stalling the suite.
QByteArray runGuarded(const QString& tool, const QStringList& arguments, bool captureStdout = true,
                      std::shared_ptr<CancellationToken> token = {}) {
    if (!token)
        token = std::make_shared<CancellationToken>();
    auto run = std::async(std::launch::async,
                          [&] { return runProcess(tool, arguments, captureStdout, token); });
    if (run.wait_for(60s) != std::future_status::ready) {
        ADD_FAILURE() << "the run overran its time limit and was cancelled";
        token->cancel();
    }
    return run.get();
}

// This process's open descriptors; only those a child would inherit when asked.
std::set<int> descriptors(bool inheritableOnly = false) {
    std::set<int> result;
    for (const QString& entry :
         QDir(QStringLiteral("/proc/self/fd"))
             .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const int flags = ::fcntl(entry.toInt(), F_GETFD);
        if (!inheritableOnly || (flags >= 0 && !(flags & FD_CLOEXEC)))
            result.insert(entry.toInt());
    }
    return result;
}

class ProcessRunnerTest : public ::testing::Test {
protected:
    void TearDown() override {
        // Every run reaps its child: none may be left, exited or not.
        errno = 0;
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a child process was left behind";
        EXPECT_EQ(errno, ECHILD);
        EXPECT_EQ(descriptors().size(), m_descriptorsAtStart) << "file descriptors leaked";
    }

    QString script(const QByteArray& body) const {
        return m_resources.addScript(QStringLiteral("cwebp"), body);
    }

    // Starts `body` (which gets a pid file as $1 and must write its pid there) and cancels the
    // run once the child is up: the run's future, the child's pid, the time the run took to end.
    std::tuple<std::future<QByteArray>, pid_t, std::chrono::nanoseconds>
    startThenCancel(const QByteArray& body) {
        const QString tool = script(body);
        const QString pidFile = m_resources.scratch().filePath(QStringLiteral("pid"));
        QFile::remove(pidFile);
        auto token = std::make_shared<CancellationToken>();
        auto run = std::async(std::launch::async,
                              [=] { return runProcess(tool, {pidFile}, true, token); });
        pid_t pid = 0;
        for (int i = 0; i < 1000 && pid == 0; ++i, std::this_thread::sleep_for(10ms)) {
            QFile file(pidFile);
            if (file.open(QIODevice::ReadOnly) && file.peek(64).endsWith('\n'))
                pid = file.readAll().trimmed().toInt();
        }
        EXPECT_NE(pid, 0) << "the child never started";
        const auto cancelledAt = std::chrono::steady_clock::now();
        token->cancel();
        EXPECT_EQ(run.wait_for(10s), std::future_status::ready);
        return {std::move(run), pid, std::chrono::steady_clock::now() - cancelledAt};
    }

    test::FakeResources m_resources;
    std::size_t m_descriptorsAtStart = descriptors().size();
};

TEST_F(ProcessRunnerTest, OutcomeFollowsTheExitStatus) {
    const struct {
        const char* name;
        QByteArray body;
        bool captureStdout;
        std::optional<QByteArray> output;   // expected result when the run succeeds
        std::optional<std::string> message; // expected error text when it fails
        int exitCode = 0;
    } cases[] = {
        {"captured output", "printf 'hello\\0world'", true, QByteArray("hello\0world", 11), {}},
        {"error output ignored", "printf out; printf warn >&2", true, QByteArray("out"), {}},
        {"output not captured", "printf 'hello'", false, QByteArray(), {}},
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
        {"UTF-8 cut short",
         "printf 'caf\\303' >&2; exit 2",
         true,
         {},
         "Process exited with code 2: ",
         2},
        {"killed",
         "echo dying >&2; kill -KILL $$",
         true,
         {},
         "Process exited with code 9: dying\n",
         9},
        {"terminated, not cancelled",
         "kill -TERM $$",
         true,
         {},
         "Process exited with code 15: ",
         15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const QByteArray output = runGuarded(script(c.body), {}, c.captureStdout);
            ASSERT_TRUE(c.output.has_value()) << "succeeded with " << output.toStdString();
            EXPECT_EQ(output, *c.output);
        } catch (const ProcessExitError& error) {
            ASSERT_TRUE(c.message.has_value()) << "failed with " << error.what();
            EXPECT_EQ(error.description().toStdString(), *c.message);
            EXPECT_EQ(error.exitCode(), c.exitCode);
        }
    }
    // A run that cannot be cancelled.
    EXPECT_EQ(runProcess(script("printf ok"), {}, true, nullptr), QByteArray("ok"));
}

TEST_F(ProcessRunnerTest, ArgumentsArePassedVerbatimWithoutAShell) {
    const test::FakeResources awkward(QStringLiteral("Resources with space 'single' \"double\""));
    const QString tool =
        awkward.addScript(QStringLiteral("cjpeg"),
                          "printf '%s\\n' \"$0\"\nfor a in \"$@\"; do printf '<%s>' \"$a\"; done");
    const QStringList arguments = {QStringLiteral("-quality"),
                                   QString(),
                                   awkward.scratch().filePath(QStringLiteral("in put 'x'.tga")),
                                   QStringLiteral("it's"),
                                   QStringLiteral("\"q\""),
                                   QStringLiteral("*"),
                                   QStringLiteral("$HOME"),
                                   QStringLiteral("`id`; rm -rf x"),
                                   QStringLiteral("two\nlines"),
                                   QStringLiteral("ünïcode"),
                                   QStringLiteral(" lead")};
    QByteArray expected = QFile::encodeName(tool) + '\n';
    for (const QString& argument : arguments)
        expected += '<' + argument.toUtf8() + '>';
    EXPECT_EQ(runGuarded(tool, arguments).toStdString(), expected.toStdString());
}

// 4 MiB on each stream, in every order, whatever the outcome: neither pipe may fill up
// while the other is being read.
TEST_F(ProcessRunnerTest, LargeOutputOnBothStreamsNeverStalls) {
    constexpr int size = 4 * 1024 * 1024;
    const QByteArray toStdout = "head -c 4194304 /dev/zero | tr '\\0' o\n";
    const QByteArray toStderr = "head -c 4194304 /dev/zero | tr '\\0' e >&2\n";
    const QByteArray interleaved = "i=0\nwhile [ $i -lt 64 ]; do\n"
                                   "  head -c 65536 /dev/zero | tr '\\0' e >&2\n"
                                   "  head -c 65536 /dev/zero | tr '\\0' o\n"
                                   "  i=$((i + 1))\ndone\n";
    for (const QByteArray& order : {toStderr + toStdout, toStdout + toStderr, interleaved}) {
        for (const int exitCode : {0, 1}) {
            SCOPED_TRACE(order.toStdString() + "exit " + std::to_string(exitCode));
            try {
                const QByteArray output =
                    runGuarded(script(order + "exit " + QByteArray::number(exitCode)), {});
                EXPECT_EQ(exitCode, 0);
                EXPECT_EQ(output.count('o'), size);
                EXPECT_EQ(output.size(), size);
            } catch (const ProcessExitError& error) {
                EXPECT_EQ(exitCode, 1);
                EXPECT_EQ(error.errorOutput().count(u'e'), size);
                EXPECT_EQ(error.errorOutput().size(), size);
            }
        }
    }
}

TEST_F(ProcessRunnerTest, CancellingARunningChildEndsItPromptly) {
    // Not exec'd: the shell's own child must go too, or it would hold the pipes open.
    auto [run, pid, took] = startThenCancel("echo $$ > \"$1\"\nsleep 30\necho too late");
    EXPECT_LT(took, 1s);
    EXPECT_THROW((void)run.get(), CancelledError);
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

// A child that still succeeds after it was asked to stop keeps its result; one that fails then
// was cancelled.
TEST_F(ProcessRunnerTest, ChildThatStillSucceedsAfterCancellationKeepsItsResult) {
    for (const int exitCode : {0, 5}) {
        SCOPED_TRACE(exitCode);
        // The sleep runs in the background, away from our pipes: a signal that lands while
        // the shell is forking it would otherwise be lost in the fork, leaving a sleep that
        // holds the pipes open for 30 seconds.
        auto [run, pid, took] =
            startThenCancel("trap 'kill $!; printf finished; exit " + QByteArray::number(exitCode) +
                            "' TERM\necho $$ > \"$1\"\nsleep 30 >/dev/null 2>&1 &\nwait");
        if (exitCode != 0)
            EXPECT_THROW((void)run.get(), CancelledError);
        else
            EXPECT_EQ(run.get(), QByteArray("finished"));
    }
}

TEST_F(ProcessRunnerTest, CancelledBeforeLaunchStartsNothing) {
    const QString marker = m_resources.scratch().filePath(QStringLiteral("launched"));
    CancellationToken token; // as a batch job is handed it, by reference
    token.cancel();
    EXPECT_THROW((void)runProcess(script("touch \"$1\""), {marker}, true, token), CancelledError);
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(ProcessRunnerTest, LaunchFailuresCarryTheSystemsReason) {
    const QString garbage =
        m_resources.scratch().writeFile(QStringLiteral("garbage"), "\x7f\x01\x02");
    QFile::setPermissions(garbage, QFile::ReadOwner | QFile::ExeOwner);
    const struct {
        QString path;
        int errorNumber;
        const char* text;
    } cases[] = {
        {m_resources.binPath() + QStringLiteral("/missing"), ENOENT, "No such file or directory"},
        {m_resources.addScript(QStringLiteral("plain"), "exit 0", false), EACCES,
         "Permission denied"},
        {m_resources.binPath(), EACCES, "Permission denied"},
        {garbage, ENOEXEC, "Exec format error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        try {
            (void)runGuarded(c.path, {});
            ADD_FAILURE() << "launched";
        } catch (const ProcessLaunchError& error) {
            EXPECT_EQ(error.errorNumber(), c.errorNumber);
            EXPECT_EQ(error.description().toStdString(), c.text);
            EXPECT_EQ(error.toolPath(), c.path);
        }
    }
}

TEST_F(ProcessRunnerTest, ConcurrentRunsFromAThreadPoolKeepTheirOwnResults) {
    const QString tool = script("printf '%s' \"$1\"\nprintf 'noise for %s\\n' \"$1\" >&2\n"
                                "case \"$1\" in *3) exit 7;; esac");
    QThreadPool pool;
    pool.setMaxThreadCount(8);
    std::vector<QFuture<std::string>> futures;
    for (int i = 0; i < 96; ++i) {
        futures.push_back(QtConcurrent::run(&pool, [&tool, i]() -> std::string {
            try {
                return runGuarded(tool, {QStringLiteral("job %1").arg(i)}).toStdString();
            } catch (const ProcessExitError& error) {
                return "error: " + error.description().toStdString();
            }
        }));
    }
    for (int i = 0; i < 96; ++i) {
        const std::string job = "job " + std::to_string(i);
        EXPECT_EQ(futures[std::size_t(i)].result(),
                  i % 10 == 3 ? "error: Process exited with code 7: noise for " + job + "\n" : job);
    }
}

TEST_F(ProcessRunnerTest, ChildrenInheritNoDescriptorsOfOtherRuns) {
    const std::set<int> inheritable = descriptors(true);
    const QString slow = m_resources.addScript(QStringLiteral("slow"), "sleep 1");
    auto other = std::async(std::launch::async, [&] { return runGuarded(slow, {}); });
    std::this_thread::sleep_for(200ms); // let the other run open its pipes and spawn

    std::set<int> unexpected;
    const QString lister = m_resources.addScript(QStringLiteral("lister"), "exec ls /proc/self/fd");
    for (const QByteArray& entry : runGuarded(lister, {}).split('\n')) {
        if (!entry.isEmpty() && entry.toInt() > 2 && !inheritable.contains(entry.toInt()))
            unexpected.insert(entry.toInt());
    }
    // The one left is the handle ls itself opened on the folder it lists.
    EXPECT_EQ(unexpected.size(), 1u);
    (void)other.get();
}

// Cancellation may come before the child is attached, while it runs, or never.
TEST(ProcessHolder, TerminatesTheChildWhicheverComesFirst) {
    enum class Order { cancelThenAttach, attachThenCancel, attachOnly };
    for (const Order order :
         {Order::cancelThenAttach, Order::attachThenCancel, Order::attachOnly}) {
        SCOPED_TRACE(int(order));
        // A child leading its own group, as the runner starts them.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        std::string program = "/bin/sleep";
        std::string seconds = order == Order::attachOnly ? "0.1" : "10";
        char* argv[] = {program.data(), seconds.data(), nullptr};
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv, environ), 0);
        posix_spawnattr_destroy(&attributes);

        ProcessHolder holder;
        if (order == Order::cancelThenAttach)
            holder.cancel();
        holder.attach(pid);
        if (order == Order::attachThenCancel)
            holder.cancel();
        EXPECT_EQ(holder.isCancelled(), order != Order::attachOnly);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        if (order == Order::attachOnly)
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        else
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    }
}

} // namespace
} // namespace glintwork
