#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <semaphore>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include "cutout/CutoutDriver.h"
#include "platform/AbandonableWork.h"
#include "platform/ImageServices.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

// A remover whose mask is the left half of the picture; blocking, it takes as long as the
// test wants, like a network's pass, which cannot stop halfway.
struct HalfMaskRemover : BackgroundRemoving {
    Image generateMask(const Image& image) const override {
        ++masks;
        if (blocks) {
            started.release();
            (void)released.try_acquire_for(std::chrono::seconds(20));
        }
        return test::greyMask(image.width, image.height, [&](int x, int) { return x < image.width / 2 ? 255 : 0; });
    }
    bool blocks = false;
    mutable std::atomic<int> masks{0};
    mutable std::binary_semaphore started{0};
    mutable std::binary_semaphore released{0};
};

class CutoutDriverTest : public ::testing::Test {
protected:
    QUrl photo(const QString& name, int width = 16, int height = 12) {
        const QString path = m_dir.filePath(name);
        ImageServices::writePNG(test::noiseImage(width, height, 8, AlphaInfo::none, 3), path);
        return QUrl::fromLocalFile(path);
    }
    void SetUp() override {
        m_driver.setPipeline([remover = m_remover](const CutoutRequest& request, CancellationToken& token,
                                                  const ToolDriver::Progress&) {
            return runCutoutPipeline(request, remover, token);
        });
    }
    bool run() {
        QSignalSpy finished(&m_driver, &CutoutDriver::runFinished);
        m_driver.start();
        return finished.count() > 0 || finished.wait(20000);
    }
    const ImageItem& item(int index) const { return *m_driver.items().at(index); }

    test::ScratchDir m_dir;
    CutoutDriver m_driver;
    std::shared_ptr<HalfMaskRemover> m_remover = std::make_shared<HalfMaskRemover>();
};

TEST_F(CutoutDriverTest, TheMaskIsExportedBesideTheCutoutAndCleanEdgesUsesTheSubjectMask) {
    const QUrl input = photo(QStringLiteral("photo.png"));
    m_dir.writeFile(QStringLiteral("photo-cutout-mask.png"), "taken");
    m_driver.updateExportMaskSeparately(true);
    m_driver.addFiles({input});
    ASSERT_TRUE(run());
    ASSERT_EQ(item(0).status(), ConversionStatus::completed());
    EXPECT_FALSE(item(0).errorMessage().has_value());
    EXPECT_EQ(ImageServices::decode(item(0).outputURL()->toLocalFile()).pixels.back(), 0) << "the mask became the alpha";
    const Image mask = ImageServices::decode(m_dir.filePath(QStringLiteral("photo-cutout-mask-1.png")));
    EXPECT_EQ(mask.componentsPerPixel(), 1);
    EXPECT_EQ(mask.pixels[0], 255);
    EXPECT_EQ(m_remover->masks, 1);

    m_driver.updateMode(CutoutMode::cleanEdges);
    m_driver.addFiles({photo(QStringLiteral("portrait.png"))});
    ASSERT_TRUE(run());
    EXPECT_EQ(item(1).status(), ConversionStatus::completed());
    EXPECT_EQ(m_remover->masks, 2) << "clean edges asks for the subject mask";
}

TEST_F(CutoutDriverTest, MaskExportFailureKeepsTheCutout) {
    const QUrl input = photo(QStringLiteral("photo.png"), 200, 150);
    m_driver.addFiles({input});
    ASSERT_TRUE(run()); // once without the mask, to learn how much room the cut-out takes
    const QString first = item(0).outputURL()->toLocalFile();
    const qint64 pages = (QFileInfo(first).size() + 4095) / 4096;
    QFile::remove(first);

    // A disk with room for the cut-out and not one page more.
    const test::SmallDisk disk(m_dir, QString::number(pages * 4096));
    if (!disk.isMounted())
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    m_driver.clearItems();
    m_driver.addFiles({input});
    m_driver.setFixedOutputDirectory(QUrl::fromLocalFile(disk.path()));
    m_driver.updateExportMaskSeparately(true);
    ASSERT_TRUE(run());
    EXPECT_EQ(item(0).status(), ConversionStatus::completed());
    EXPECT_EQ(item(0).errorMessage(),
              QStringLiteral("Mask export failed: Could not write photo-cutout-mask.png: No space left on device."));
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("photo-cutout.png")});
}

// The network's pass takes seconds: an output folder that cannot take files (here a file
// stands where the folder should be, which stops root too) is found before it.
TEST_F(CutoutDriverTest, AnUnusableOutputFolderFailsBeforeTheMask) {
    m_driver.addFiles({photo(QStringLiteral("photo.png"))});
    m_driver.setFixedOutputDirectory(QUrl::fromLocalFile(m_dir.writeFile(QStringLiteral("not-a-folder"), "x")));
    ASSERT_TRUE(run());
    EXPECT_TRUE(item(0).status().is(ConversionStatus::Kind::error));
    EXPECT_EQ(m_remover->masks, 0);
}

TEST_F(CutoutDriverTest, CancellingEndsTheRunWithoutWaitingForTheMask) {
    m_remover->blocks = true;
    m_driver.setConcurrencyLimit(1);
    m_driver.addFiles({photo(QStringLiteral("p0.png")), photo(QStringLiteral("p1.png"))});
    QSignalSpy finished(&m_driver, &CutoutDriver::runFinished);
    m_driver.start();
    ASSERT_TRUE(m_remover->started.try_acquire_for(std::chrono::seconds(10)));
    m_driver.cancel();
    const bool ended = finished.wait(5000);
    m_remover->released.release();
    ASSERT_TRUE(ended) << "the run waited for the mask";
    for (const auto& each : m_driver.items())
        EXPECT_EQ(each->status(), ConversionStatus::cancelled());
    EXPECT_TRUE(QDir(m_dir.path()).entryList({QStringLiteral("*-cutout*")}, QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([] { return AbandonableWork::abandonedCount() == 0; }, 10000))
        << "the abandoned mask never finished";
}

} // namespace
} // namespace glintwork
