// Renders the window's main states to PNG files for a person to look at:
//   glintwork_screenshots OUTPUT_FOLDER [LANGUAGE]
// Run under a real (virtual) X display so fonts and styles are the user's.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "UiTestSupport.h"
#include "support/TestSupport.h"
#include "app/AboutView.h"
#include "app/AppLanguage.h"
#include "app/AppSettingsView.h"
#include "app/MainWindow.h"
#include "app/RootView.h"
#include "app/ToolSelection.h"
#include "app/Translations.h"
#include "app/UpdateChecker.h"
#include "compress/CompressDriver.h"
#include "batch/views/BatchListView.h"
#include "compress/views/CompressView.h"
#include "cutout/CutoutPipeline.h"
#include "cutout/CutoutDriver.h"
#include "cutout/views/CutoutView.h"
#include "platform/SharedOutputSettings.h"
#include "upscale/TestNetworks.h"
#include "upscale/UpscaleDriver.h"
#include "upscale/views/UpscaleView.h"

using namespace glintwork;

namespace {

void settle() {
    for (int i = 0; i < 5; ++i)
        QTest::qWait(60);
}

bool save(QWidget* widget, const QString& path) {
    settle();
    return widget->grab().save(path);
}

// The window with a sheet drawn over its middle, as the user sees it.
bool saveWithSheet(QWidget* window, QWidget* sheet, const QString& path) {
    settle();
    QPixmap base = window->grab();
    QPainter painter(&base);
    painter.fillRect(base.rect(), QColor(0, 0, 0, 60));
    const QPixmap top = sheet->grab();
    const QPoint at(
        (base.width() / base.devicePixelRatio() - top.width() / top.devicePixelRatio()) / 2, 40);
    painter.drawPixmap(at, top);
    painter.end();
    return base.save(path);
}

// Lets the first `atOnce` files through and holds the rest until released, so a cutout
// run can be pictured half done.
class HeldRemover : public BackgroundRemoving {
public:
    explicit HeldRemover(int atOnce) : m_atOnce(atOnce) {}
    std::shared_ptr<std::atomic<bool>> release = std::make_shared<std::atomic<bool>>(false);

    Image generateMask(const Image& image) const override {
        if (m_calls.fetch_add(1) >= m_atOnce) {
            while (!release->load())
                QThread::msleep(5);
        }
        Image mask =
            Image::make(image.width, image.height, 8, AlphaInfo::none, ColorSpace::linearGray(), 1);
        std::fill(mask.pixels.begin(), mask.pixels.end(), 255);
        return mask;
    }

private:
    int m_atOnce;
    mutable std::atomic<int> m_calls{0};
};

// Photos large enough that upscaling them takes a moment.
QList<QUrl> writePhotos(const QString& folder, const QStringList& names) {
    QDir().mkpath(folder);
    QList<QUrl> urls;
    for (int i = 0; i < names.size(); ++i) {
        QImage image(720, 480, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient sky(0, 0, 0, 480);
        sky.setColorAt(0, QColor::fromHsv((200 + i * 40) % 360, 120, 240));
        sky.setColorAt(1, QColor::fromHsv((20 + i * 40) % 360, 160, 200));
        painter.fillRect(image.rect(), sky);
        painter.setBrush(QColor(40, 60, 90));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(360, 520), 420, 220);
        painter.end();
        const QString path = QDir(folder).filePath(names[i]);
        image.save(path, nullptr, 92);
        urls.append(QUrl::fromLocalFile(path));
    }
    return urls;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Glintwork"));
    QApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    if (argc < 2) {
        qWarning("usage: glintwork_screenshots OUTPUT_FOLDER [LANGUAGE]");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    const QString language = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("en");

    QTemporaryDir config;
    test::isolatePreferences(config);
    if (language != u"en")
        applyAppLanguage(*appLanguageFromKeyword(language));
    else
        applyAppLanguage(AppLanguage::en);
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == u"hicolor")
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    installTranslations(app);
    const QString prefix = out + QStringLiteral("/") + language + QStringLiteral("-");

    SharedOutputSettings shared;
    UpdateChecker checker(std::nullopt, QVersionNumber(0, 1, 0));
    MainWindow window(&shared, &checker);
    window.resize(960, 700);
    window.show();
    bool ok = save(&window, prefix + QStringLiteral("1-empty.png"));

    QTemporaryDir files;
    auto* compress = qobject_cast<CompressView*>(window.rootView()->toolView());
    test::ControlledPipeline converter;
    QStringList names;
    for (int i = 0; i < 9; ++i)
        names.append(QStringLiteral("holiday-photo-%1.png").arg(i));
    converter.finishAtOnce = {names[0], names[1], names[2], names[3]};
    converter.failAtOnce = {names[5]};
    converter.attach(compress->driver());
    compress->driver()->setConcurrencyLimit(2);
    compress->driver()->addFiles(
        test::writeImages(files.path(), 9, QStringLiteral("holiday-photo-")));
    ok = save(&window, prefix + QStringLiteral("2-list.png")) && ok;

    QSignalSpy finished(compress->driver(), &CompressDriver::runFinished);
    compress->driver()->start();
    settle();
    ok = save(&window, prefix + QStringLiteral("3-mid-run.png")) && ok;
    converter.release->store(true);
    finished.wait(30000);
    ok = save(&window, prefix + QStringLiteral("4-summary.png")) && ok;
    // A failed row's whole reason.
    compress->listView()->selectRow(5);
    ok = compress->listView()->showDetails(5) &&
         saveWithSheet(&window, compress->listView()->detailsAlert(),
                       prefix + QStringLiteral("4b-error-details.png")) &&
         ok;
    if (QWidget* details = compress->listView()->detailsAlert())
        details->close();
    window.aboutAction()->trigger();
    if (auto* about = window.findChild<AboutView*>()) {
        ok = saveWithSheet(&window, about, prefix + QStringLiteral("4c-about.png")) && ok;
        about->close();
    } else {
        ok = false;
    }

    window.rootView()->showSettings();
    AppSettingsView* sheet = window.rootView()->settingsSheet();
    ok = sheet && saveWithSheet(&window, sheet, prefix + QStringLiteral("5-settings.png")) && ok;
    sheet->close();

    // Cutout, half way through a run.
    window.rootView()->toolSelection()->setActiveTab(TabKind::cutout);
    auto* cutout = qobject_cast<CutoutView*>(window.rootView()->toolView());
    auto remover = std::make_shared<HeldRemover>(3);
    cutout->driver()->setPipeline([remover](const CutoutRequest& request, CancellationToken& token,
                                            const ToolDriver::Progress& progress) {
        return runCutoutPipeline(request, remover, token, progress);
    });
    cutout->driver()->setConcurrencyLimit(2);
    cutout->driver()->addFiles(test::writeImages(files.filePath(QStringLiteral("cutout")), 7,
                                                 QStringLiteral("portrait-studio-")));
    QSignalSpy cutoutFinished(cutout->driver(), &CutoutDriver::runFinished);
    cutout->driver()->start();
    ok = save(&window, prefix + QStringLiteral("6-cutout-mid-run.png")) && ok;
    // Closing the window while the cut-out runs asks first; the run is kept.
    QTimer::singleShot(400, &window, [&] {
        if (QMessageBox* question = window.quitQuestion()) {
            ok =
                saveWithSheet(&window, question, prefix + QStringLiteral("6b-quit-question.png")) &&
                ok;
            for (QAbstractButton* button : question->buttons()) {
                if (question->buttonRole(button) == QMessageBox::RejectRole)
                    button->click();
            }
        } else {
            ok = false;
        }
    });
    window.close();
    // The compress tab kept its list while the cut-out runs.
    window.rootView()->toolSelection()->setActiveTab(TabKind::compress);
    ok = save(&window, prefix + QStringLiteral("6c-compress-kept.png")) && ok;
    window.rootView()->toolSelection()->setActiveTab(TabKind::cutout);
    remover->release->store(true);
    cutoutFinished.wait(30000);

    // Upscale, with generated stand-ins for the networks.
    QTemporaryDir resources;
    QDir().mkpath(resources.filePath(QStringLiteral("models")));
    const test::ResourceFolder current(resources.path());
    QString why;
    if (!test::writeTestNetwork(test::TestNetwork::nearest4xAnySize,
                                resources.filePath(QStringLiteral("models/RealESRGAN_x4plus.onnx")),
                                &why)) {
        qWarning("upscale screenshots need python3-onnx: %s", qPrintable(why));
        return ok ? 0 : 1;
    }
    window.rootView()->toolSelection()->setActiveTab(TabKind::upscale);
    auto* upscale = qobject_cast<UpscaleView*>(window.rootView()->toolView());
    upscale->driver()->updateScale(4);
    upscale->driver()->addFiles(
        writePhotos(files.filePath(QStringLiteral("upscale")),
                    {QStringLiteral("harbour-at-dusk.jpg"), QStringLiteral("old-town.jpg"),
                     QStringLiteral("market-street.jpg"), QStringLiteral("lighthouse.jpg")}));
    QSignalSpy upscaleFinished(upscale->driver(), &UpscaleDriver::runFinished);
    upscale->driver()->start();
    // Wait for the first tile so a progress bar shows.
    ImageItem* first = upscale->driver()->items().first().get();
    for (int i = 0; i < 400 && first->progress() <= 0.0 && upscaleFinished.isEmpty(); ++i)
        QTest::qWait(10);
    ok = save(&window, prefix + QStringLiteral("7-upscale-mid-run.png")) && ok;
    upscaleFinished.wait(120000);
    ok = save(&window, prefix + QStringLiteral("8-upscale-done.png")) && ok;

    upscale->driver()->setPreviewItem(first);
    UpscalePreviewView* preview = upscale->previewSheet();
    if (preview) {
        QSignalSpy loaded(preview, &UpscalePreviewView::loaded);
        if (preview->isLoading())
            loaded.wait(30000);
        preview->resize(760, 600);
        ok =
            saveWithSheet(&window, preview, prefix + QStringLiteral("9-upscale-preview.png")) && ok;
    } else {
        ok = false;
    }
    return ok ? 0 : 1;
}
