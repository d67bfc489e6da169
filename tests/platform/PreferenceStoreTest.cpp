#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include "platform/PreferenceStore.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::Literals::StringLiterals;

// A FIFO where the configuration file should be would block whoever opens it until
// something writes to it (the window would never appear): the stores keep their values in
// memory instead, and the FIFO stays as it was.
TEST(PreferenceStore, AFifoInPlaceOfTheFileNeverBlocks) {
    const test::ScratchDir scratch;
    const QByteArray fifo = QFile::encodeName(PreferenceStore::storagePath());
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    auto values = std::async(std::launch::async, [] {
        PreferenceStore store;
        store.setInteger(u"glintwork.test.quality"_s, 42);
        store.setString(u"glintwork.test.removed"_s, u"x"_s);
        store.remove(u"glintwork.test.removed"_s);
        const PreferenceStore another;
        return std::pair(another.integer(u"glintwork.test.quality"_s, 0),
                         another.contains(u"glintwork.test.removed"_s));
    });
    bool blocked = false;
    // A store that opened the FIFO is set free by the other end, opened and closed at once.
    while (values.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        blocked = true;
        for (const int mode : {O_WRONLY, O_RDONLY}) {
            const int end = ::open(fifo.constData(), mode | O_NONBLOCK);
            if (end >= 0)
                ::close(end);
        }
    }
    EXPECT_FALSE(blocked) << "opened the FIFO";
    EXPECT_EQ(values.get(), std::pair(qint64(42), false));
    struct stat status {};
    ASSERT_EQ(::lstat(fifo.constData(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

// A burst of changes (a slider being dragged) is written once it is over, not at every
// step, while every store of the process reads the latest value at once; a store that goes
// writes what it still holds.
TEST(PreferenceStore, ABurstOfChangesIsWrittenOnceItIsOver) {
    const test::ScratchDir scratch;
    const QString key = u"glintwork.test.quality"_s;
    const auto onDisk = [] { return test::contents(PreferenceStore::storagePath()); };
    const PreferenceStore reader;
    auto store = std::make_unique<PreferenceStore>();
    for (int quality = 1; quality <= 50; ++quality) {
        store->setInteger(key, quality);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(reader.integer(key, 0), 50);
    EXPECT_EQ(onDisk(), QByteArray()) << "written before the burst was over";
    QElapsedTimer waited;
    waited.start();
    while (!onDisk().contains("quality=50") && waited.elapsed() < 10000) {
        QThread::msleep(10);
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(onDisk().contains("quality=50"));
    store->setInteger(key, 51);
    store.reset();
    EXPECT_TRUE(onDisk().contains("quality=51")) << "the last change was lost with its store";
}

} // namespace
} // namespace glintwork
