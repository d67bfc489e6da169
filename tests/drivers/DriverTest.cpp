#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include "compress/CompressDriver.h"
#include "cutout/CutoutDriver.h"
#include "platform/CancellationToken.h"
#include "support/TestSupport.h"
#include "upscale/UpscaleDriver.h"

namespace glintwork {
namespace {

// Stands in for every tool's pipeline: after a short pause that can be cancelled, writes a
// small file at the requested name (never over an existing one) or fails on "bad.png", and
// counts how many files are in work at once.
struct FakePipeline {
    std::atomic<int> running{0}, peak{0}, calls{0}, pauseMs{4};

    template <typename Request> FileOutcome operator()(const Request& request, CancellationToken& token) {
        ++calls;
        const int now = ++running;
        for (int seen = peak; now > seen && !peak.compare_exchange_weak(seen, now);) {
        }
        for (int i = 0; i < 5 && !token.isCancelled(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs.load()));
        --running;
        token.check();
        if (request.input.fileName() == QStringLiteral("bad.png"))
            throw std::runtime_error("Image decoding failed");
        if (QFile out(request.outputURL.toLocalFile()); !out.open(QIODevice::NewOnly) || out.write("123") != 3)
            throw std::runtime_error("output not written");
        return FileOutcome{request.outputURL, std::nullopt};
    }
};

template <typename Tool> class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_driver.setPipeline([this](const auto& request, CancellationToken& token, const ToolDriver::Progress&) {
            return m_fake(request, token);
        });
    }
    void useNaming(const NamingConfig& naming) {
        auto settings = m_driver.settings();
        settings.outputFormat = decltype(settings.outputFormat)::png;
        settings.naming = naming;
        m_driver.applySettings(settings);
    }
    void add(std::initializer_list<QString> names) {
        for (const QString& name : names)
            m_driver.addFiles({QUrl::fromLocalFile(m_dir.writeFile(name, "input"))});
    }
    void addSome(int count) {
        for (int i = 0; i < count; ++i)
            add({QStringLiteral("f%1.png").arg(i)});
    }
    bool run() {
        QSignalSpy finished(&m_driver, &ToolDriver::runFinished);
        m_driver.start();
        return finished.count() > 0 || finished.wait(10000);
    }
    std::vector<std::string> outputNames() const {
        std::vector<std::string> names;
        for (const auto& item : m_driver.items())
            names.push_back(item->outputURL() ? item->outputURL()->fileName().toStdString() : "-");
        return names;
    }

    test::ScratchDir m_dir;
    FakePipeline m_fake;
    Tool m_driver;
};

using Tools = ::testing::Types<CompressDriver, CutoutDriver, UpscaleDriver>;
TYPED_TEST_SUITE(DriverTest, Tools);

TYPED_TEST(DriverTest, NamesHandedOutInARunAreNeverGivenTwice) {
    // Two photo.png written at once into the folder of one of them: neither the input
    // itself nor the name given to the other file is taken.
    this->useNaming({NamingMode::original, {}, {}, {}});
    this->m_driver.setFixedOutputDirectory(QUrl::fromLocalFile(this->m_dir.filePath(QStringLiteral("one"))));
    this->m_driver.setConcurrencyLimit(2);
    this->add({QStringLiteral("one/photo.png"), QStringLiteral("two/photo.png")});
    ASSERT_TRUE(this->run());
    auto names = this->outputNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"photo-1.png", "photo-2.png"}));
}

TYPED_TEST(DriverTest, CustomNumbersRestartEachRunAndAvoidExistingFiles) {
    this->useNaming({NamingMode::custom, {}, QStringLiteral("image"), QStringLiteral("01")});
    this->add({QStringLiteral("a.png"), QStringLiteral("b.png"), QStringLiteral("c.png")});
    ASSERT_TRUE(this->run());
    this->add({QStringLiteral("d.png"), QStringLiteral("e.png")});
    ASSERT_TRUE(this->run());
    EXPECT_EQ(this->outputNames(), (std::vector<std::string>{"image-01.png", "image-02.png", "image-03.png",
                                                             "image-01-1.png", "image-02-1.png"}));
    EXPECT_EQ(this->m_driver.items()[3]->compressedSize(), 3);
    EXPECT_EQ(this->m_driver.outputFolderToOpen(), QUrl::fromLocalFile(this->m_dir.path()));
}

TYPED_TEST(DriverTest, NeverMoreFilesAtOnceThanTheLimitAndAFailureStaysOnItsItem) {
    // More threads than the limit, so that only the limit holds the files back.
    BatchRunner::threadPool()->setMaxThreadCount(8);
    this->m_driver.setConcurrencyLimit(3);
    this->add({QStringLiteral("bad.png")});
    this->addSome(11);
    ASSERT_TRUE(this->run());
    EXPECT_LE(this->m_fake.peak.load(), 3);
    EXPECT_GE(this->m_fake.peak.load(), 2);
    EXPECT_EQ(this->m_driver.items()[0]->status(), ConversionStatus::error(QStringLiteral("Image decoding failed")));
    EXPECT_EQ(std::ranges::count(this->outputNames(), "-"), 1) << "only the failed file has no output";
}

TYPED_TEST(DriverTest, CancelStopsRunningAndWaitingItemsAndTheNextRunRedoesThem) {
    auto& driver = this->m_driver;
    driver.setConcurrencyLimit(2);
    this->addSome(8);
    this->m_fake.pauseMs = 50;
    QSignalSpy finished(&driver, &ToolDriver::runFinished);
    QSignalSpy announced(&driver, &ToolDriver::announcement);
    driver.start();
    ASSERT_TRUE(QTest::qWaitFor([this] { return this->m_fake.calls > 0; }, 10000))
        << "no file was started";
    driver.cancel();
    driver.cancel();
    EXPECT_TRUE(driver.isCancelling());
    ASSERT_TRUE(finished.count() > 0 || finished.wait(10000));
    EXPECT_TRUE(finished.first().first().toBool());
    ASSERT_EQ(announced.count(), 1);
    const char* cancelling = std::is_same_v<TypeParam, CompressDriver> ? "Cancelling conversion"
                             : std::is_same_v<TypeParam, CutoutDriver> ? "Cancelling processing"
                                                                          : "Cancelling upscaling";
    EXPECT_EQ(announced.first().first().toString(), QLatin1String(cancelling));
    EXPECT_FALSE(driver.isRunning() || driver.isCancelling());
    for (const auto& item : driver.items())
        EXPECT_EQ(item->status(), ConversionStatus::cancelled());

    this->m_fake.pauseMs = 4;
    const int cancelledCalls = this->m_fake.calls;
    ASSERT_TRUE(this->run());
    for (const auto& item : driver.items())
        EXPECT_EQ(item->status(), ConversionStatus::completed());
    EXPECT_EQ(this->m_fake.calls - cancelledCalls, 8);
}

} // namespace
} // namespace glintwork
