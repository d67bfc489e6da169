#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include "compress/ConversionViewModel.h"
#include "platform/CancellationToken.h"
#include "platform/ImageServices.h"
#include "platform/PreferenceStore.h"
#include "platform/SharedOutputSettings.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

// A converter double: writes a small file at the requested URL after a short pause, and
// counts how many conversions overlap.
struct FakeConverter {
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    std::atomic<int> calls{0};
    std::function<void(const ConversionRequest&)> before = [](const ConversionRequest&) {};

    ConversionViewModel::Pipeline function() {
        return [this](const ConversionRequest& request, CancellationToken& token, const ToolDriver::Progress&) {
            ++calls;
            const int now = ++running;
            int seen = peak.load();
            while (now > seen && !peak.compare_exchange_weak(seen, now)) {
            }
            struct Leave {
                std::atomic<int>& r;
                ~Leave() { --r; }
            } leave{running};
            before(request);
            for (int i = 0; i < 5; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(4));
                token.check();
            }
            QFile out(request.outputURL.toLocalFile());
            if (!out.open(QIODevice::NewOnly))
                throw std::runtime_error("output exists");
            out.write(QByteArray(123, 'x'));
            return FileOutcome{request.outputURL, std::nullopt};
        };
    }
};

class ConversionViewModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_model.setPipeline(m_fake.function());
    }

    QString addInput(const QString& name) {
        const QString path = m_dir.writeFile(name, QByteArray(1000, 'i'));
        m_model.addFiles({QUrl::fromLocalFile(path)});
        return path;
    }

    bool run() {
        QSignalSpy finished(&m_model, &ConversionViewModel::runFinished);
        m_model.start();
        return finished.count() > 0 || finished.wait(10000);
    }

    QStringList outputNames() const {
        QStringList names;
        for (const auto& item : m_model.items())
            names << (item->outputURL() ? item->outputURL()->fileName() : QStringLiteral("-"));
        return names;
    }

    test::ScratchDir m_dir;
    FakeConverter m_fake;
    ConversionViewModel m_model;
};

TEST_F(ConversionViewModelTest, CustomNamesRestartEachRunAndAvoidExistingFiles) {
    m_model.updateNamingConfig({NamingMode::custom, QString(), QStringLiteral("image"), QStringLiteral("01")});
    for (const char* name : {"a.png", "b.png", "c.png"})
        addInput(QString::fromUtf8(name));
    ASSERT_TRUE(run());
    EXPECT_EQ(outputNames(), (QStringList{QStringLiteral("image-01.webp"), QStringLiteral("image-02.webp"),
                                          QStringLiteral("image-03.webp")}));
    addInput(QStringLiteral("d.png"));
    addInput(QStringLiteral("e.png"));
    ASSERT_TRUE(run());
    EXPECT_EQ(outputNames().mid(3),
              (QStringList{QStringLiteral("image-01-1.webp"), QStringLiteral("image-02-1.webp")}));
    EXPECT_EQ(m_model.items()[0]->compressedSize(), 123);
    EXPECT_EQ(m_model.items()[0]->status(), ConversionStatus::completed());
    EXPECT_EQ(m_fake.calls.load(), 5) << "completed items are not converted again";
}

TEST_F(ConversionViewModelTest, SameNameInOneRunIsNeverHandedOutTwice) {
    // Two inputs called photo.png in different folders, one shared output folder, converted
    // at the same time: each gets its own name.
    QDir(m_dir.path()).mkpath(QStringLiteral("out"));
    SharedOutputSettings shared;
    shared.setDirectory(QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("out"))));
    m_model.setSharedOutputSettings(&shared);
    m_model.setConcurrencyLimit(4);
    addInput(QStringLiteral("one/photo.png"));
    addInput(QStringLiteral("two/photo.png"));
    ASSERT_TRUE(run());
    QStringList names = outputNames();
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("photo-1.webp"), QStringLiteral("photo.webp")}));
}

TEST_F(ConversionViewModelTest, OriginalNamingSkipsTheInputItself) {
    m_model.updateOutputFormat(OutputFormat::png);
    addInput(QStringLiteral("photo.png"));
    ASSERT_TRUE(run());
    EXPECT_EQ(outputNames(), QStringList{QStringLiteral("photo-1.png")});
}

TEST_F(ConversionViewModelTest, NeverMoreConversionsThanTheLimit) {
    m_model.setConcurrencyLimit(3);
    for (int i = 0; i < 12; ++i)
        addInput(QStringLiteral("f%1.png").arg(i));
    ASSERT_TRUE(run());
    EXPECT_LE(m_fake.peak.load(), 3);
    EXPECT_GE(m_fake.peak.load(), 2);
}

TEST_F(ConversionViewModelTest, CancelMarksRunningAndWaitingItemsCancelled) {
    m_model.setConcurrencyLimit(2);
    for (int i = 0; i < 8; ++i)
        addInput(QStringLiteral("f%1.png").arg(i));
    std::atomic<bool> started{false};
    m_fake.before = [&](const ConversionRequest&) {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    };
    QSignalSpy finished(&m_model, &ConversionViewModel::runFinished);
    QSignalSpy announced(&m_model, &ConversionViewModel::announcement);
    m_model.start();
    EXPECT_TRUE(m_model.isRunning());
    EXPECT_FALSE(m_model.canStart());
    while (!started)
        QCoreApplication::processEvents();
    m_model.cancel();
    EXPECT_TRUE(m_model.isCancelling());
    ASSERT_TRUE(finished.count() > 0 || finished.wait(10000));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_EQ(announced.count(), 1);
    EXPECT_EQ(announced.first().first().toString(), QStringLiteral("Cancelling conversion"));
    EXPECT_FALSE(m_model.isRunning());
    EXPECT_FALSE(m_model.isCancelling());
    for (const auto& item : m_model.items())
        EXPECT_EQ(item->status(), ConversionStatus::cancelled());

    // The next run converts exactly the cancelled items.
    m_fake.before = [](const ConversionRequest&) {};
    ASSERT_TRUE(run());
    for (const auto& item : m_model.items())
        EXPECT_EQ(item->status(), ConversionStatus::completed());
}

TEST_F(ConversionViewModelTest, FailureIsShownOnTheItemAndTheRunGoesOn) {
    m_fake.before = [](const ConversionRequest& request) {
        if (request.input.fileName() == QStringLiteral("bad.png"))
            throw std::runtime_error("Image decoding failed");
    };
    addInput(QStringLiteral("bad.png"));
    addInput(QStringLiteral("good.png"));
    ASSERT_TRUE(run());
    EXPECT_EQ(m_model.items()[0]->status(), ConversionStatus::error(QStringLiteral("Image decoding failed")));
    EXPECT_EQ(m_model.items()[1]->status(), ConversionStatus::completed());
    EXPECT_EQ(m_model.totalCompressedSize(), 123);
    EXPECT_EQ(m_model.totalOriginalSize(), 2000);
}

TEST_F(ConversionViewModelTest, ResizeFillsLimitsFromTheLargestImages) {
    m_model.updateMaxWidth(10);
    m_model.updateResizeEnabled(true);
    EXPECT_EQ(m_model.settings().maxWidth, 10) << "empty list keeps the limits";
    m_model.updateResizeEnabled(false);
    // Items with known pixel sizes need real images; the limits come from their headers.
    Image wide = Image::make(40, 30, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    Image tall = Image::make(12, 50, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    ImageServices::writePNG(wide, m_dir.filePath(QStringLiteral("wide.png")));
    ImageServices::writePNG(tall, m_dir.filePath(QStringLiteral("tall.png")));
    m_model.addFiles({QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("wide.png"))),
                      QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("tall.png")))});
    m_model.updateResizeEnabled(true);
    EXPECT_EQ(m_model.settings().maxWidth, 40);
    EXPECT_EQ(m_model.settings().maxHeight, 50);
    PreferenceStore store;
    EXPECT_EQ(store.integer(QStringLiteral("glintwork.compress.resizeMaxWidth"), 0), 40);
    EXPECT_TRUE(store.boolean(QStringLiteral("glintwork.compress.resizeEnabled"), false));
}

TEST_F(ConversionViewModelTest, NamingFieldsAreCleanedAndStored) {
    m_model.updateNamingConfig({NamingMode::suffix, QStringLiteral("../x"), QStringLiteral("a/b"),
                                QStringLiteral("a1b2c3d4e5f6g7")});
    EXPECT_EQ(m_model.settings().naming.suffix, QStringLiteral("__x"));
    EXPECT_EQ(m_model.settings().naming.prefix, QStringLiteral("a_b"));
    EXPECT_EQ(m_model.settings().naming.startNumber, QStringLiteral("123456"));
    m_model.updateNamingConfig({NamingMode::custom, QString(), QString(), QStringLiteral("abc")});
    EXPECT_EQ(m_model.settings().naming.startNumber, QStringLiteral("123456"));
    PreferenceStore store;
    EXPECT_EQ(store.string(QStringLiteral("glintwork.compress.namingMode"), {}), QStringLiteral("custom"));
    EXPECT_EQ(store.string(QStringLiteral("glintwork.compress.nameStartNumber"), {}), QStringLiteral("123456"));
}

TEST_F(ConversionViewModelTest, AddingSkipsListedFilesAndOpenFolderFollowsOutputs) {
    const QString a = addInput(QStringLiteral("sub/a.png"));
    m_model.addFiles({QUrl::fromLocalFile(a)});
    EXPECT_EQ(m_model.items().size(), 1);
    EXPECT_FALSE(m_model.outputFolderToOpen().has_value());
    ASSERT_TRUE(run());
    EXPECT_EQ(m_model.outputFolderToOpen(), QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("sub"))));
    m_model.clearItems();
    EXPECT_FALSE(m_model.canStart());
}

} // namespace
} // namespace glintwork
