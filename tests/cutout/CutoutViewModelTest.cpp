#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QThread>

#include "cutout/BackgroundRemoverError.h"
#include "cutout/CutoutTestImages.h"
#include "cutout/CutoutViewModel.h"
#include "platform/AbandonableWork.h"
#include "platform/CancellationToken.h"
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

CutoutViewModel::Pipeline cutoutWith(std::shared_ptr<const BackgroundRemoving> remover) {
    return [remover](const CutoutRequest& request, CancellationToken& token, const ToolDriver::Progress&) {
        return runCutoutPipeline(request, remover, token);
    };
}

class CutoutViewModelTest : public ::testing::Test {
protected:
    QString writePhoto(const QString& name, int width = 16, int height = 12) {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        ImageServices::writePNG(test::noiseImage(width, height, 8, AlphaInfo::none, 3), path);
        return path;
    }
    bool run() {
        QSignalSpy finished(&m_model, &CutoutViewModel::runFinished);
        m_model.start();
        return finished.count() > 0 || finished.wait(20000);
    }
    QString outputName(int index) const {
        const auto& url = m_model.items().at(index)->outputURL();
        return url ? QFileInfo(url->toLocalFile()).fileName() : QString();
    }

    test::ScratchDir m_dir;
    CutoutViewModel m_model;
    std::shared_ptr<HalfMaskRemover> m_remover = std::make_shared<HalfMaskRemover>();
};

TEST_F(CutoutViewModelTest, LosslessRunKeepsColoursAndExportsTheMask) {
    const QString input = writePhoto(QStringLiteral("photo.png"));
    m_dir.writeFile(QStringLiteral("photo-cutout-mask.png"), "taken");
    m_model.setPipeline(cutoutWith(m_remover));
    CutoutSettings settings;
    settings.exportMaskSeparately = true;
    m_model.applySettings(settings);
    m_model.addFiles({QUrl::fromLocalFile(input), QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("notes.txt")))});
    ASSERT_EQ(m_model.items().size(), 1);
    ASSERT_TRUE(run());

    const auto& item = *m_model.items().at(0);
    EXPECT_TRUE(item.status().is(ConversionStatus::Kind::completed)) << item.status().errorMessage().toStdString();
    EXPECT_FALSE(item.errorMessage().has_value());
    EXPECT_EQ(outputName(0), QStringLiteral("photo-cutout.png"));
    EXPECT_EQ(m_remover->masks, 1);
    EXPECT_EQ(m_remover->mattes, 0);

    const Image source = ImageServices::decode(input);
    const Image cutout = ImageServices::decode(item.outputURL()->toLocalFile());
    ASSERT_EQ(cutout.alphaInfo, AlphaInfo::last);
    for (int i = 0; i < 16 * 12; ++i) {
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(cutout.pixels[std::size_t(4 * i + c)], source.pixels[std::size_t(3 * i + c)]);
        ASSERT_EQ(cutout.pixels[std::size_t(4 * i + 3)], (i % 16) < 8 ? 255 : 0);
    }
    const Image mask = ImageServices::decode(m_dir.filePath(QStringLiteral("photo-cutout-mask-1.png")));
    EXPECT_EQ(mask.componentsPerPixel(), 1);
    EXPECT_EQ(mask.pixels[0], 255);
    EXPECT_FALSE(m_model.canStart()) << "everything is completed";
}

TEST_F(CutoutViewModelTest, CleanEdgesAsksForThePersonMatteAndWritesTiff) {
    const QString input = writePhoto(QStringLiteral("portrait.png"));
    m_model.setPipeline(cutoutWith(m_remover));
    CutoutSettings settings;
    settings.mode = CutoutMode::cleanEdges;
    settings.outputFormat = CutoutOutputFormat::tiff;
    m_model.applySettings(settings);
    m_model.addFiles({QUrl::fromLocalFile(input)});
    ASSERT_TRUE(run());
    EXPECT_TRUE(m_model.items().at(0)->status().is(ConversionStatus::Kind::completed));
    EXPECT_EQ(outputName(0), QStringLiteral("portrait-cutout.tiff"));
    EXPECT_EQ(m_remover->mattes, 1);
}

TEST_F(CutoutViewModelTest, FailuresCarryTheirOwnTexts) {
    const QString broken = m_dir.writeFile(QStringLiteral("broken.png"), "not an image");
    const QString grey = m_dir.filePath(QStringLiteral("grey.png"));
    Image greyImage = Image::make(8, 8, 8, AlphaInfo::none, ColorSpace::deviceGray(), 1);
    ImageServices::writePNG(greyImage, grey);
    const QString empty = writePhoto(QStringLiteral("empty.png"));
    m_model.setPipeline(cutoutWith(m_remover));
    m_model.addFiles({QUrl::fromLocalFile(broken), QUrl::fromLocalFile(grey)});
    ASSERT_TRUE(run());
    EXPECT_EQ(m_model.items().at(0)->errorMessage(), QStringLiteral("Could not read source image at broken.png."));
    EXPECT_EQ(m_model.items().at(1)->errorMessage(),
              QStringLiteral("Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=8, alphaInfo=0)."));
    EXPECT_TRUE(m_model.items().at(1)->status().is(ConversionStatus::Kind::error));

    CutoutViewModel nothing;
    nothing.setPipeline(cutoutWith(std::make_shared<HalfMaskRemover>(false)));
    nothing.addFiles({QUrl::fromLocalFile(empty)});
    QSignalSpy finished(&nothing, &CutoutViewModel::runFinished);
    nothing.start();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(nothing.items().at(0)->errorMessage(),
              QStringLiteral("No foreground subject was detected in the image."));
}

TEST_F(CutoutViewModelTest, MaskExportFailureKeepsTheCutout) {
    const QString input = writePhoto(QStringLiteral("photo.png"), 200, 150);
    m_model.setPipeline(cutoutWith(m_remover));
    m_model.addFiles({QUrl::fromLocalFile(input)});
    ASSERT_TRUE(run()); // once without the mask, to learn how much room the cut-out takes
    const QString first = m_model.items().at(0)->outputURL()->toLocalFile();
    const qint64 pages = (QFileInfo(first).size() + 4095) / 4096;
    QFile::remove(first);

    // A disk with room for the cut-out and not one page more.
    const test::SmallDisk disk(m_dir, QString::number(pages * 4096));
    if (!disk.isMounted())
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    m_model.clearItems();
    m_model.addFiles({QUrl::fromLocalFile(input)});
    m_model.setFixedOutputDirectory(QUrl::fromLocalFile(disk.path()));
    CutoutSettings settings;
    settings.exportMaskSeparately = true;
    m_model.applySettings(settings);
    ASSERT_TRUE(run());
    const auto& item = *m_model.items().at(0);
    EXPECT_TRUE(item.status().is(ConversionStatus::Kind::completed));
    ASSERT_TRUE(item.outputURL().has_value());
    EXPECT_TRUE(QFileInfo::exists(item.outputURL()->toLocalFile()));
    ASSERT_TRUE(item.errorMessage().has_value());
    EXPECT_EQ(*item.errorMessage(), QStringLiteral("Mask export failed: Could not write "
                                                   "photo-cutout-mask.png: No space left on device."));
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("photo-cutout.png")});
}

TEST_F(CutoutViewModelTest, NamesFollowTheNamingModeAndAreReservedWithinARun) {
    const QString a = writePhoto(QStringLiteral("a/photo.png"));
    const QString b = writePhoto(QStringLiteral("b/photo.png"));
    const QString out = m_dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    m_model.setPipeline(cutoutWith(m_remover));
    m_model.setFixedOutputDirectory(QUrl::fromLocalFile(out));
    CutoutSettings settings;
    settings.naming.mode = NamingMode::original;
    m_model.applySettings(settings);
    m_model.addFiles({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
    ASSERT_TRUE(run());
    EXPECT_EQ(outputName(0), QStringLiteral("photo.png"));
    EXPECT_EQ(outputName(1), QStringLiteral("photo-1.png"));

    // In its own folder the input itself is taken, so it is never overwritten.
    CutoutViewModel beside;
    beside.setPipeline(cutoutWith(m_remover));
    beside.applySettings(settings);
    beside.addFiles({QUrl::fromLocalFile(a)});
    QSignalSpy finished(&beside, &CutoutViewModel::runFinished);
    beside.start();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(QFileInfo(beside.items().at(0)->outputURL()->toLocalFile()).fileName(), QStringLiteral("photo-1.png"));
}

TEST_F(CutoutViewModelTest, CustomNumbersCountScheduledItemsOnly) {
    const QString first = writePhoto(QStringLiteral("one.png"));
    m_model.setPipeline(cutoutWith(m_remover));
    CutoutSettings settings;
    settings.naming.mode = NamingMode::custom;
    settings.naming.prefix = QStringLiteral("bg");
    m_model.applySettings(settings);
    m_model.addFiles({QUrl::fromLocalFile(first)});
    ASSERT_TRUE(run());
    EXPECT_EQ(outputName(0), QStringLiteral("bg-01.png"));
    m_model.addFiles({QUrl::fromLocalFile(writePhoto(QStringLiteral("two.png"))),
                      QUrl::fromLocalFile(writePhoto(QStringLiteral("three.png")))});
    EXPECT_TRUE(m_model.canStart());
    ASSERT_TRUE(run());
    EXPECT_EQ(outputName(1), QStringLiteral("bg-01-1.png")) << "bg-01 exists on disk";
    EXPECT_EQ(outputName(2), QStringLiteral("bg-02.png"));
}

// A mask that takes as long as the test wants: a network's pass, which cannot stop halfway.
class BlockingRemover : public HalfMaskRemover {
public:
    Image generateMask(const Image& image) const override {
        std::unique_lock lock(m_mutex);
        ++m_started;
        m_changed.notify_all();
        m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return m_released; });
        return HalfMaskRemover::generateMask(image);
    }
    bool waitUntilStarted() const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_started > 0; });
    }
    void release() const {
        const std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable int m_started = 0;
    mutable bool m_released = false;
};

TEST_F(CutoutViewModelTest, CancellingEndsTheRunWithoutWaitingForTheMask) {
    QList<QUrl> inputs;
    for (int i = 0; i < 10; ++i)
        inputs.append(QUrl::fromLocalFile(writePhoto(QStringLiteral("p%1.png").arg(i))));
    const auto remover = std::make_shared<BlockingRemover>();
    m_model.setPipeline(cutoutWith(remover));
    m_model.setConcurrencyLimit(1);
    m_model.addFiles(inputs);
    QSignalSpy finished(&m_model, &CutoutViewModel::runFinished);
    QSignalSpy announced(&m_model, &CutoutViewModel::announcement);
    m_model.start();
    EXPECT_TRUE(m_model.isRunning());
    ASSERT_TRUE(remover->waitUntilStarted());
    m_model.cancel();
    EXPECT_TRUE(m_model.isCancelling());
    const bool ended = finished.count() > 0 || finished.wait(5000);
    remover->release();
    ASSERT_TRUE(ended) << "the run waited for the mask";
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    ASSERT_EQ(announced.count(), 1);
    EXPECT_EQ(announced.at(0).at(0).toString(), QStringLiteral("Cancelling processing"));
    for (const auto& item : m_model.items())
        EXPECT_TRUE(item->status().is(ConversionStatus::Kind::cancelled));
    EXPECT_FALSE(m_model.isRunning());
    EXPECT_FALSE(m_model.isCancelling());
    EXPECT_TRUE(QDir(m_dir.path()).entryList({QStringLiteral("*-cutout*")}, QDir::Files | QDir::Hidden).isEmpty());
    for (int i = 0; i < 400 && AbandonableWork::abandonedCount() > 0; ++i)
        QThread::msleep(5);
}

TEST_F(CutoutViewModelTest, SettingsChangesAreStoredAtOnce) {
    m_model.updateMode(CutoutMode::cleanEdges);
    m_model.updateOutputFormat(CutoutOutputFormat::tiff);
    m_model.updateExportMaskSeparately(true);
    m_model.updateNamingConfig({NamingMode::suffix, QStringLiteral("../x"), QStringLiteral("a/b"), QStringLiteral("a1b2c3d4e5")});
    EXPECT_EQ(m_model.settings().naming.suffix, QStringLiteral("__x"));
    EXPECT_EQ(m_model.settings().naming.startNumber, QStringLiteral("12345"));
    CutoutViewModel next;
    next.loadSettings();
    EXPECT_EQ(next.settings(), m_model.settings());
}

} // namespace
} // namespace glintwork
