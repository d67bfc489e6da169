#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFuture>
#include <QTest>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "platform/CancellationToken.h"
#include "platform/Error.h"
#include "platform/ProcessRunner.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

// A run that hangs (a deadlock on full pipes, a child never ended) is cancelled and fails the
// test instead of stalling the suite.
QByteArray runGuarded(const QString& tool, const QStringList& arguments, bool capture = true) {
    auto token = std::make_shared<CancellationToken>();
    auto run =
        std::async(std::launch::async, [&] { return runProcess(tool, arguments, capture, token); });
    if (run.wait_for(60s) != std::future_status::ready) {
        ADD_FAILURE() << "the run overran its time limit and was cancelled";
        token->cancel();
    }
    return run.get();
}

// The outcome as one text: the output, or the error's text, after the system's error number
// for a child that could not be started.
std::string outcome(const QString& tool, const QStringList& arguments = {}, bool capture = true) {
    try {
        return runGuarded(tool, arguments, capture).toStdString();
    } catch (const Error& error) {
        EXPECT_EQ(error.file(), tool);
        if (error.kind() == ErrorKind::processLaunchFailed)
            return "[errno " + std::to_string(error.errorNumber().value_or(0)) + "] " +
                   error.text().toStdString();
        EXPECT_EQ(error.kind(), ErrorKind::processFailed);
        return error.text().toStdString();
    }
}

// This process's open descriptors; only those a child would inherit when asked.
std::set<int> descriptors(bool inheritableOnly = false) {
    std::set<int> result;
    for (const QString& entry :
         QDir(u"/proc/self/fd"_s)
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

    QString script(const QByteArray& body) const { return m_resources.addScript(u"cwebp"_s, body); }

    test::FakeResources m_resources;
    std::size_t m_descriptorsAtStart = descriptors().size();
};

// What a run gives back, and the system's reason when it cannot start at all.
TEST_F(ProcessRunnerTest, OutcomeFollowsTheExitStatus) {
    int scripts = 0;
    const auto sh = [&](const QByteArray& body) {
        return m_resources.addScript(u"tool%1"_s.arg(++scripts), body);
    };
    const QString garbage = m_resources.scratch().writeFile(u"garbage"_s, "\x7f\x01\x02");
    QFile::setPermissions(garbage, QFile::ReadOwner | QFile::ExeOwner);
    const std::string exited = "The helper program stopped with exit status ";
    const struct {
        QString tool;
        bool capture;
        std::string expected;
    } cases[] = {
        {sh("printf 'hello\\0world'"), true, std::string("hello\0world", 11)},
        {sh("printf out; printf warn >&2"), true, "out"},
        {sh("printf 'hello'"), false, ""},
        {sh("if read -r line; then printf 'got:%s' \"$line\"; else printf eof; fi"), true, "eof"},
        {sh("echo bad input >&2; exit 1"), true, exited + "1: bad input\n"},
        {sh("echo partial; echo bad input >&2; exit 1"), false, exited + "1: bad input\n"},
        {sh("exit 3"), true, exited + "3: "},
        {sh("printf 'caf\\303\\251 \\342\\234\\223' >&2; exit 4"), true, exited + "4: café ✓"},
        {sh("printf 'bad \\377 byte' >&2; exit 2"), true, exited + "2: "}, // invalid UTF-8
        {sh("echo dying >&2; kill -KILL $$"), true, exited + "9: dying\n"},
        {sh("kill -TERM $$"), true, exited + "15: "}, // terminated, not cancelled
        {m_resources.binPath() + u"/missing"_s, true, "[errno 2] No such file or directory"},
        {m_resources.addScript(u"plain"_s, "exit 0", false), true, "[errno 13] Permission denied"},
        {garbage, true, "[errno 8] Exec format error"}};
    for (const auto& c : cases)
        EXPECT_EQ(outcome(c.tool, {}, c.capture), c.expected) << c.tool.toStdString();
    // A run that cannot be cancelled, and one cancelled before it starts (by reference, as a
    // batch job is handed its token), which starts nothing.
    EXPECT_EQ(runProcess(script("printf ok"), {}, true, nullptr), QByteArray("ok"));
    const QString marker = m_resources.scratch().filePath(u"launched"_s);
    CancellationToken cancelled;
    cancelled.cancel();
    EXPECT_THROW((void)runProcess(script("touch \"$1\""), {marker}, true, cancelled), CancelledError);
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(ProcessRunnerTest, ArgumentsArePassedVerbatimWithoutAShell) {
    const test::FakeResources awkward(u"Resources with space 'single' \"double\""_s);
    const QString tool = awkward.addScript(
        u"cjpeg"_s, "printf '%s\\n' \"$0\"\nfor a in \"$@\"; do printf '<%s>' \"$a\"; done");
    const QStringList arguments = {
        u"-quality"_s, QString(),           awkward.scratch().filePath(u"in put 'x'.tga"_s),
        u"it's"_s,     u"\"q\""_s,          u"*"_s,
        u"$HOME"_s,    u"`id`; rm -rf x"_s, u"two\nlines"_s,
        u"ünïcode"_s,  u" lead"_s};
    QByteArray expected = QFile::encodeName(tool) + '\n';
    for (const QString& argument : arguments)
        expected += '<' + argument.toUtf8() + '>';
    EXPECT_EQ(runGuarded(tool, arguments).toStdString(), expected.toStdString());
}

// 4 MiB on each stream, in every order, whatever the outcome: neither pipe may fill up while
// the other is being read.
TEST_F(ProcessRunnerTest, LargeOutputOnBothStreamsNeverStalls) {
    const QByteArray out = "head -c 4194304 /dev/zero | tr '\\0' o\n";
    const QByteArray err = "head -c 4194304 /dev/zero | tr '\\0' e >&2\n";
    const QByteArray interleaved =
        "i=0\nwhile [ $i -lt 64 ]; do\n  head -c 65536 /dev/zero | tr '\\0' e >&2\n"
        "  head -c 65536 /dev/zero | tr '\\0' o\n  i=$((i + 1))\ndone\n";
    for (const QByteArray& order : {err + out, out + err, interleaved}) {
        for (const char* exit : {"exit 0", "exit 1"}) {
            SCOPED_TRACE(order.toStdString() + exit);
            const std::string expected =
                exit[5] == '0'
                    ? std::string(4 << 20, 'o')
                    : "The helper program stopped with exit status 1: " + std::string(4 << 20, 'e');
            EXPECT_TRUE(outcome(script(order + exit)) == expected);
        }
    }
}

// Cancelling a running child ends it promptly, its own children included (the shells here do
// not exec, so their sleep would otherwise hold the pipes open). A child that still succeeds
// after it was asked to stop keeps its result; one that fails then was cancelled. Their sleep
// runs in the background, away from our pipes: a signal that lands while the shell is forking
// it would otherwise be lost in the fork.
TEST_F(ProcessRunnerTest, CancellingEndsTheChildPromptly) {
    const std::pair<QByteArray, std::string> cases[] = {
        {"sleep 30\necho too late", "cancelled"},
        {"trap 'kill $!; printf finished; exit 0' TERM\nsleep 30 >/dev/null 2>&1 &\nwait",
         "finished"},
        {"trap 'kill $!; printf finished; exit 5' TERM\nsleep 30 >/dev/null 2>&1 &\nwait",
         "cancelled"}};
    for (const auto& [body, expected] : cases) {
        SCOPED_TRACE(body.toStdString());
        const QString tool = script("echo $$ > \"$1\"\n" + body);
        const QString pidFile = m_resources.scratch().filePath(u"pid"_s);
        QFile::remove(pidFile);
        auto token = std::make_shared<CancellationToken>();
        auto run = std::async(std::launch::async, [&] {
            try {
                return runProcess(tool, {pidFile}, true, token).toStdString();
            } catch (const CancelledError&) {
                return std::string("cancelled");
            }
        });
        pid_t pid = 0;
        for (int i = 0; i < 1000 && pid == 0; ++i, std::this_thread::sleep_for(10ms)) {
            QFile file(pidFile);
            if (file.open(QIODevice::ReadOnly) && file.peek(64).endsWith('\n'))
                pid = file.readAll().trimmed().toInt();
        }
        ASSERT_NE(pid, 0) << "the child never started";
        token->cancel();
        ASSERT_EQ(run.wait_for(1s), std::future_status::ready);
        EXPECT_EQ(run.get(), expected);
        EXPECT_EQ(::kill(pid, 0), -1);
        EXPECT_EQ(errno, ESRCH);
    }
}

TEST_F(ProcessRunnerTest, ConcurrentRunsFromAThreadPoolKeepTheirOwnResults) {
    const QString tool = script("printf '%s' \"$1\"\nprintf 'noise for %s\\n' \"$1\" >&2\ncase "
                                "\"$1\" in *3) exit 7;; esac");
    QThreadPool pool;
    pool.setMaxThreadCount(8);
    std::vector<QFuture<std::string>> futures;
    for (int i = 0; i < 96; ++i)
        futures.push_back(
            QtConcurrent::run(&pool, [&tool, i] { return outcome(tool, {u"job %1"_s.arg(i)}); }));
    for (int i = 0; i < 96; ++i) {
        const std::string job = "job " + std::to_string(i);
        EXPECT_EQ(futures[std::size_t(i)].result(),
                  i % 10 == 3
                      ? "The helper program stopped with exit status 7: noise for " + job + "\n"
                      : job);
    }
}

TEST_F(ProcessRunnerTest, ChildrenInheritNoDescriptorsOfOtherRuns) {
    const std::set<int> inheritable = descriptors(true);
    // The other run's child says it has started, then waits to be let go (for half a minute
    // at most): its pipes are open while the lister looks.
    const QString started = m_resources.scratch().filePath(u"started"_s);
    const QString release = m_resources.scratch().filePath(u"release"_s);
    const QString held = m_resources.addScript(
        u"held"_s, ": > \"$1\"\ni=0\nwhile [ ! -e \"$2\" ] && [ $i -lt 3000 ]; do sleep 0.01; "
                   "i=$((i + 1)); done");
    auto other = std::async(std::launch::async, [&] {
        return runGuarded(held, {started, release});
    });
    const bool running = QTest::qWaitFor([&] { return QFile::exists(started); }, 10000);
    std::set<int> unexpected;
    for (const QByteArray& entry :
         runGuarded(m_resources.addScript(u"lister"_s, "exec ls /proc/self/fd"), {}).split('\n')) {
        if (!entry.isEmpty() && entry.toInt() > 2 && !inheritable.contains(entry.toInt()))
            unexpected.insert(entry.toInt());
    }
    (void)QFile(release).open(QIODevice::WriteOnly);
    (void)other.get();
    ASSERT_TRUE(running) << "the other run's child never started";
    // The one left is the handle ls itself opened on the folder it lists.
    EXPECT_EQ(unexpected.size(), 1u);
}

// Cancellation may come before the child is attached, while it runs, or never.
TEST(ProcessHolder, TerminatesTheChildWhicheverComesFirst) {
    enum class Order { cancelThenAttach, attachThenCancel, attachOnly };
    for (const Order order :
         {Order::cancelThenAttach, Order::attachThenCancel, Order::attachOnly}) {
        SCOPED_TRACE(int(order));
        // A child leading its own group, as the runner starts them; both sides set the group so
        // that it is in place before either goes on.
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setpgid(0, 0);
            ::execl("/bin/sleep", "sleep", order == Order::attachOnly ? "0.1" : "10", nullptr);
            ::_exit(127);
        }
        ASSERT_GT(pid, 0);
        ::setpgid(pid, pid);
        ProcessHolder holder;
        if (order == Order::cancelThenAttach)
            holder.cancel();
        holder.attach(pid);
        if (order == Order::attachThenCancel)
            holder.cancel();
        EXPECT_EQ(holder.isCancelled(), order != Order::attachOnly);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status),
                  order == Order::attachOnly ? 0 : SIGTERM);
    }
}

} // namespace
} // namespace glintwork
