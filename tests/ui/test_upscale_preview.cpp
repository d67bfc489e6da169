#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "batch/ImageItem.h"
#include "platform/Image.h"
#include "platform/ImageServices.h"
#include "upscale/views/BeforeAfterView.h"
#include "upscale/views/UpscalePreviewView.h"

using namespace glintwork;

namespace {

const QColor kRed(220, 30, 30);
const QColor kBlue(30, 40, 220);

// Left half red, right half blue, as stored.
Image halvedImage(int width, int height) {
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QColor& colour = x < width / 2 ? kRed : kBlue;
            std::uint8_t* pixel = image.row(y) + x * 3;
            pixel[0] = static_cast<std::uint8_t>(colour.red());
            pixel[1] = static_cast<std::uint8_t>(colour.green());
            pixel[2] = static_cast<std::uint8_t>(colour.blue());
        }
    }
    return image;
}

bool near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

QImage solid(QSize size, const QColor& colour) {
    QImage image(size, QImage::Format_RGB888);
    image.fill(colour);
    return image;
}

void drag(QWidget* view, const QList<int>& xs) {
    const int y = view->height() / 4;
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(xs.first(), y), view->mapToGlobal(QPointF(xs.first(), y)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &press);
    for (int x : xs) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, y), view->mapToGlobal(QPointF(x, y)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
    }
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(xs.last(), y), view->mapToGlobal(QPointF(xs.last(), y)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &release);
}

} // namespace

class UpscalePreviewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void dividerIsClampedToTheView_data();
    void dividerIsClampedToTheView();
    void orientedPortraitShowsUprightBeforeTheStoredResult_data();
    void orientedPortraitShowsUprightBeforeTheStoredResult();
    void withoutAReadableOutputTheSourceShowsAlone_data();
    void withoutAReadableOutputTheSourceShowsAlone();
    void thumbnailsAreBounded();

private:
    QString writePhoto(const QString& name, int width, int height, std::optional<int> orientation);
    std::unique_ptr<UpscalePreviewView> openPreview(ImageItem* item);

    QTemporaryDir m_config;
    QTemporaryDir m_files;
};

void UpscalePreviewTest::initTestCase() {
    QVERIFY(m_config.isValid());
    test::isolatePreferences(m_config);
}

QString UpscalePreviewTest::writePhoto(const QString& name, int width, int height,
                                       std::optional<int> orientation) {
    const QString path = m_files.filePath(name);
    WriteMetadata metadata;
    metadata.orientation = orientation;
    if (name.endsWith(QStringLiteral(".jpg")))
        ImageServices::writeJPEG(halvedImage(width, height), path, 0.95, metadata);
    else
        ImageServices::writePNG(halvedImage(width, height), path, metadata);
    return path;
}

std::unique_ptr<UpscalePreviewView> UpscalePreviewTest::openPreview(ImageItem* item) {
    auto sheet = std::make_unique<UpscalePreviewView>(item);
    QSignalSpy loaded(sheet.get(), &UpscalePreviewView::loaded);
    sheet->show();
    if (sheet->isLoading())
        loaded.wait(30000);
    return sheet;
}

void UpscalePreviewTest::dividerIsClampedToTheView_data() {
    QTest::addColumn<QList<int>>("xs");
    QTest::addColumn<double>("expected");
    QTest::newRow("past the left edge") << QList<int>{200, 40, -60} << 0.0;
    QTest::newRow("past the right edge") << QList<int>{200, 380, 460} << 1.0;
    QTest::newRow("a quarter in") << QList<int>{300, 100} << 0.25;
}

void UpscalePreviewTest::dividerIsClampedToTheView() {
    QFETCH(QList<int>, xs);
    QFETCH(double, expected);
    BeforeAfterView view(solid({40, 40}, kRed), solid({160, 160}, kBlue));
    view.resize(400, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.sliderX(), 0.5);
    drag(&view, xs);
    QCOMPARE(view.sliderX(), expected);

    // The source fills what lies left of the divider, the result the rest; both are
    // fitted to the same square.
    const QImage shown = view.grab().toImage();
    const int y = 60;
    for (int x : {20, 120, 280, 380}) {
        const bool beforeSide = x < expected * 400;
        QVERIFY2(near(shown.pixelColor(x, y), beforeSide ? kRed : kBlue),
                 qPrintable(QStringLiteral("x %1").arg(x)));
    }
}

void UpscalePreviewTest::orientedPortraitShowsUprightBeforeTheStoredResult_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("JPEG") << "portrait.jpg";
    QTest::newRow("PNG") << "portrait.png";
}

void UpscalePreviewTest::orientedPortraitShowsUprightBeforeTheStoredResult() {
    QFETCH(QString, name);
    // Stored 60 × 40 with orientation 6: shown turned a quarter clockwise, 40 × 60, with
    // the stored left (red) half on top.
    const QString source = writePhoto(name, 60, 40, 6);
    const auto properties = ImageServices::readProperties(source);
    QVERIFY(properties);
    if (properties->orientation != std::optional<int>(6))
        QSKIP("this libvips build keeps no orientation in this format");
    // The upscaled file carries no orientation, so it stays as stored.
    const QString output = writePhoto(QStringLiteral("result-") + name + QStringLiteral(".png"), 240, 160,
                                      std::nullopt);

    ImageItem item(QUrl::fromLocalFile(source));
    item.setOutputURL(QUrl::fromLocalFile(output));
    auto sheet = openPreview(&item);
    BeforeAfterView* compare = sheet->beforeAfterView();
    QVERIFY(compare);
    const QImage before = compare->before();
    QCOMPARE(before.size(), QSize(40, 60));
    QVERIFY(near(before.pixelColor(20, 5), kRed));
    QVERIFY(near(before.pixelColor(20, 55), kBlue));
    const QImage after = compare->after();
    QCOMPARE(after.size(), QSize(240, 160));
    QVERIFY(near(after.pixelColor(5, 80), kRed));
    QVERIFY(near(after.pixelColor(235, 80), kBlue));
}

void UpscalePreviewTest::withoutAReadableOutputTheSourceShowsAlone_data() {
    QTest::addColumn<bool>("hasOutput");
    QTest::addColumn<QString>("dimensions");
    QTest::newRow("not upscaled yet") << false << "60 × 40 px";
    QTest::newRow("output deleted since") << true << "60 × 40 px (original)";
}

void UpscalePreviewTest::withoutAReadableOutputTheSourceShowsAlone() {
    QFETCH(bool, hasOutput);
    QFETCH(QString, dimensions);
    const QString source = writePhoto(QStringLiteral("alone.png"), 60, 40, std::nullopt);
    ImageItem item(QUrl::fromLocalFile(source));
    if (hasOutput) {
        const QString output = writePhoto(QStringLiteral("gone.png"), 240, 160, std::nullopt);
        item.setOutputURL(QUrl::fromLocalFile(output));
        QVERIFY(QFile::remove(output));
    }
    auto sheet = openPreview(&item);
    QVERIFY(sheet->minimumWidth() >= 640);
    QVERIFY(sheet->minimumHeight() >= 520);
    QVERIFY(!sheet->isLoading());
    QVERIFY(!sheet->beforeAfterView());
    QWidget* alone = sheet->inputPreview();
    QVERIFY(alone);
    QVERIFY(alone->isVisible());
    QCOMPARE(alone->accessibleName(), QStringLiteral("Input preview"));
    QCOMPARE(sheet->dimensionText(), dimensions);
}

void UpscalePreviewTest::thumbnailsAreBounded() {
    const QString wide = writePhoto(QStringLiteral("wide.png"), 3000, 1000, std::nullopt);
    const auto thumbnail = UpscalePreviewView::thumbnail(QUrl::fromLocalFile(wide),
                                                         UpscalePreviewView::kThumbnailBound);
    QVERIFY(thumbnail);
    QCOMPARE(thumbnail->width(), 1400);
    QVERIFY(std::abs(thumbnail->height() - 467) <= 1);
    QVERIFY(!UpscalePreviewView::thumbnail(QUrl::fromLocalFile(m_files.filePath(QStringLiteral("none.png"))), 1400));
}

QTEST_MAIN(UpscalePreviewTest)
#include "test_upscale_preview.moc"
