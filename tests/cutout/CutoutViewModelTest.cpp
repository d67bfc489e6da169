#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <semaphore>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QThread>

#include "cutout/BackgroundRemoverError.h"
#include "cutout/CutoutTestImages.h"
#include "cutout/CutoutViewModel.h"
#include "platform/AbandonableWork.h"
#include "platform/ImageServices.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

// A remover whose mask is the left half of the picture, or that finds nothing.
class HalfMaskRemover : public BackgroundRemoving {
public:
    explicit HalfMaskRemover(bool findsSubject = true) : m_findsSubject(findsSubject) {}
    Image generateMask(const Image& image) const override {
        ++masks;
        if (!m_findsSubject)
            throw BackgroundRemoverError::noSubjectFound();
        return test::greyMask(image.width, image.height, [&](int x, int) { return x < image.width / 2 ? 255 : 0; });
    }
    Image generatePersonMatte(const Image& image) const override {
        ++mattes;
        return generateMask(image);
    }
    mutable std::atomic<int> masks{0};
    mutable std::atomic<int> mattes{0};

private:
    bool m_findsSubject;
};

class CutoutViewModelTest : public ::testing::Test {
protected:
    QString writePhoto(const QString& name, int width = 16, int height = 12) {
        const QString path = m_dir.filePath(name);
        ImageServices::writePNG(test::noiseImage(width, height, 8, AlphaInfo::none, 3), path);
        return path;
    }
    void use(std::shared_ptr<const BackgroundRemoving> remover, bool exportMask = false,
             CutoutMode mode = CutoutMode::lossless, CutoutOutputFormat format = CutoutOutputFormat::png) {
        CutoutSettings settings;
        settings.exportMaskSeparately = exportMask;
        settings.mode = mode;
        settings.outputFormat = format;
        m_model.setPipeline([remover](const CutoutRequest& request, CancellationToken& token, const ToolDriver::Progress&) {
            return runCutoutPipeline(request, remover, token);
        });
        m_model.applySettings(settings);
    }
    bool run() {
        QSignalSpy finished(&m_model, &CutoutViewModel::runFinished);
        m_model.start();
        return finished.count() > 0 || finished.wait(20000);
    }
    const ImageItem& item(int index) const { return *m_model.items().at(index); }

    test::ScratchDir m_dir;
    CutoutViewModel m_model;
    std::shared_ptr<HalfMaskRemover> m_remover = std::make_shared<HalfMaskRemover>();
};

TEST_F(CutoutViewModelTest, LosslessRunKeepsColoursAndExportsTheMask) {
    const QString input = writePhoto(QStringLiteral("photo.png"));
    m_dir.writeFile(QStringLiteral("photo-cutout-mask.png"), "taken");
    use(m_remover, true);
    m_model.addFiles({QUrl::fromLocalFile(input)});
    ASSERT_TRUE(run());
    ASSERT_EQ(item(0).status(), ConversionStatus::completed());
    EXPECT_FALSE(item(0).errorMessage().has_value());
    EXPECT_EQ(item(0).outputURL()->fileName(), QStringLiteral("photo-cutout.png"));
    EXPECT_EQ(m_remover->mattes, 0);

    const Image source = ImageServices::decode(input);
    const Image cutout = ImageServices::decode(item(0).outputURL()->toLocalFile());
    ASSERT_EQ(cutout.alphaInfo, AlphaInfo::last);
    for (int i = 0; i < 16 * 12; ++i) {
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(cutout.pixels[std::size_t(4 * i + c)], source.pixels[std::size_t(3 * i + c)]);
        ASSERT_EQ(cutout.pixels[std::size_t(4 * i + 3)], (i % 16) < 8 ? 255 : 0);
    }
    const Image mask = ImageServices::decode(m_dir.filePath(QStringLiteral("photo-cutout-mask-1.png")));
    EXPECT_EQ(mask.componentsPerPixel(), 1);
    EXPECT_EQ(mask.pixels[0], 255);
}

TEST_F(CutoutViewModelTest, CleanEdgesAsksForThePersonMatte) {
    use(m_remover, false, CutoutMode::cleanEdges, CutoutOutputFormat::tiff);
    m_model.addFiles({QUrl::fromLocalFile(writePhoto(QStringLiteral("portrait.png")))});
    ASSERT_TRUE(run());
    EXPECT_EQ(item(0).status(), ConversionStatus::completed());
    EXPECT_EQ(item(0).outputURL()->fileName(), QStringLiteral("portrait-cutout.tiff"));
    EXPECT_EQ(m_remover->mattes, 1);
}

TEST_F(CutoutViewModelTest, FailuresCarryTheirOwnTexts) {
    const QString grey = m_dir.filePath(QStringLiteral("grey.png"));
    ImageServices::writePNG(Image::make(8, 8, 8, AlphaInfo::none, ColorSpace::deviceGray(), 1), grey);
    use(std::make_shared<HalfMaskRemover>(false));
    m_model.addFiles({QUrl::fromLocalFile(m_dir.writeFile(QStringLiteral("broken.png"), "not an image")),
                      QUrl::fromLocalFile(grey), QUrl::fromLocalFile(writePhoto(QStringLiteral("empty.png")))});
    ASSERT_TRUE(run());
    const QString expected[] = {
        QStringLiteral("Could not read source image at broken.png."),
        QStringLiteral("Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=8, alphaInfo=0)."),
        QStringLiteral("No foreground subject was detected in the image."),
    };
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(item(i).status(), ConversionStatus::error(expected[i]));
}

TEST_F(CutoutViewModelTest, MaskExportFailureKeepsTheCutout) {
    const QString input = writePhoto(QStringLiteral("photo.png"), 200, 150);
    use(m_remover);
    m_model.addFiles({QUrl::fromLocalFile(input)});
    ASSERT_TRUE(run()); // once without the mask, to learn how much room the cut-out takes
    const QString first = item(0).outputURL()->toLocalFile();
    const qint64 pages = (QFileInfo(first).size() + 4095) / 4096;
    QFile::remove(first);

    // A disk with room for the cut-out and not one page more.
    const test::SmallDisk disk(m_dir, QString::number(pages * 4096));
    if (!disk.isMounted())
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    m_model.clearItems();
    m_model.addFiles({QUrl::fromLocalFile(input)});
    m_model.setFixedOutputDirectory(QUrl::fromLocalFile(disk.path()));
    use(m_remover, true);
    ASSERT_TRUE(run());
    EXPECT_EQ(item(0).status(), ConversionStatus::completed());
    EXPECT_EQ(item(0).errorMessage(),
              QStringLiteral("Mask export failed: Could not write photo-cutout-mask.png: No space left on device."));
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("photo-cutout.png")});
}

// A mask that takes as long as the test wants: a network's pass, which cannot stop halfway.
class BlockingRemover : public HalfMaskRemover {
public:
    Image generateMask(const Image& image) const override {
        started.release();
        (void)released.try_acquire_for(std::chrono::seconds(20));
        return HalfMaskRemover::generateMask(image);
    }
    mutable std::binary_semaphore started{0};
    mutable std::binary_semaphore released{0};
};

TEST_F(CutoutViewModelTest, CancellingEndsTheRunWithoutWaitingForTheMask) {
    const auto remover = std::make_shared<BlockingRemover>();
    use(remover);
    m_model.setConcurrencyLimit(1);
    for (int i = 0; i < 3; ++i)
        m_model.addFiles({QUrl::fromLocalFile(writePhoto(QStringLiteral("p%1.png").arg(i)))});
    QSignalSpy finished(&m_model, &CutoutViewModel::runFinished);
    m_model.start();
    ASSERT_TRUE(remover->started.try_acquire_for(std::chrono::seconds(10)));
    m_model.cancel();
    const bool ended = finished.wait(5000);
    remover->released.release();
    ASSERT_TRUE(ended) << "the run waited for the mask";
    for (const auto& each : m_model.items())
        EXPECT_EQ(each->status(), ConversionStatus::cancelled());
    EXPECT_TRUE(QDir(m_dir.path()).entryList({QStringLiteral("*-cutout*")}, QDir::Files | QDir::Hidden).isEmpty());
    for (int i = 0; i < 400 && AbandonableWork::abandonedCount() > 0; ++i)
        QThread::msleep(5);
}

} // namespace
} // namespace glintwork
