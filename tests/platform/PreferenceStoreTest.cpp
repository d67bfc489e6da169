#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

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

} // namespace
} // namespace glintwork
