#include "upscale/views/UpscalePreviewView.h"

#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "batch/ImageItem.h"
#include "batch/views/ElidedLabel.h"
#include "batch/views/Symbols.h"
#include "platform/views/TabStyle.h"
#include "platform/views/ViewParts.h"
#include "platform/ImageServices.h"
#include "upscale/views/BeforeAfterView.h"

namespace glintwork {

namespace {

// One image scaled to fit, centred.
class FittedImageView : public QWidget {
public:
    FittedImageView(QImage image, QWidget* parent) : QWidget(parent), m_image(std::move(image)) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(BeforeAfterView::fittedRect(m_image.size(), rect()), m_image);
    }

private:
    QImage m_image;
};

QImage toQImage(const Image& image) {
    const bool alpha = image.componentsPerPixel() == 4;
    QImage converted(image.width, image.height,
                     alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const auto rowBytes = static_cast<size_t>(image.width) * (alpha ? 4 : 3);
    for (int y = 0; y < image.height; ++y)
        std::memcpy(converted.scanLine(y), image.row(y), rowBytes);
    return converted;
}

} // namespace

std::optional<QImage> UpscalePreviewView::thumbnail(const QUrl& url, int maxPixel) {
    try {
        const Image image = ImageServices::thumbnail(url.toLocalFile(), maxPixel);
        if (image.isEmpty() || image.bitsPerComponent != 8)
            return std::nullopt;
        return toQImage(image);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

UpscalePreviewView::UpscalePreviewView(ImageItem* item, QWidget* parent)
    : QDialog(parent), m_item(item), m_spinnerTimer(new QTimer(this)) {
    setMinimumSize(640, 520);
    resize(760, 600);
    setWindowTitle(item->url().fileName());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QWidget(this);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(16, 12, 16, 12);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    m_name = new ElidedLabel(header);
    QFont headline = m_name->font();
    headline.setWeight(QFont::DemiBold);
    headline.setPointSizeF(headline.pointSizeF() * 1.1);
    m_name->setFont(headline);
    m_name->setText(item->url().fileName());
    titles->addWidget(m_name);
    m_dimensions = secondaryLabel(QString(), header, 0.9);
    titles->addWidget(m_dimensions);
    headerRow->addLayout(titles, 1);
    auto* close = new QPushButton(tr("Close"), header);
    close->setAutoDefault(false);
    // Escape closes the dialog as well (QDialog's reject).
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    headerRow->addWidget(close);
    layout->addWidget(header);
    layout->addWidget(horizontalDivider(this));

    auto* contentArea = new QWidget(this);
    auto* padding = new QVBoxLayout(contentArea);
    padding->setContentsMargins(16, 16, 16, 12);
    m_content = new QStackedWidget(contentArea);
    padding->addWidget(m_content);
    m_spinner = new QLabel(m_content);
    m_spinner->setAlignment(Qt::AlignCenter);
    m_spinner->setAccessibleName(tr("Loading"));
    m_content->addWidget(m_spinner);
    layout->addWidget(contentArea, 1);

    m_spinnerTimer->setInterval(80);
    connect(m_spinnerTimer, &QTimer::timeout, this, [this] {
        m_spinner->setPixmap(spinnerFrame(++m_spinnerPhase, secondaryTextColor(palette()), 28,
                                          devicePixelRatioF()));
    });
    // A run that finishes (or an output that goes) while the sheet is open shows at once.
    connect(item, &ImageItem::outputURLChanged, this, &UpscalePreviewView::load);
    load();
}

QString UpscalePreviewView::dimensionText() const {
    if (!m_item || m_item->pixelWidth() < 1 || m_item->pixelHeight() < 1)
        return {};
    const QString format = m_item->outputURL() ? tr("%1 × %2 px (original)") : tr("%1 × %2 px");
    return format.arg(m_item->pixelWidth()).arg(m_item->pixelHeight());
}

bool UpscalePreviewView::isLoading() const {
    return m_loading;
}

QWidget* UpscalePreviewView::inputPreview() const {
    return m_inputPreview;
}

void UpscalePreviewView::refreshHeader() {
    m_dimensions->setText(dimensionText());
    m_dimensions->setVisible(!m_dimensions->text().isEmpty());
}

void UpscalePreviewView::load() {
    refreshHeader();
    if (!m_item)
        return;
    const int generation = ++m_generation;
    m_loading = true;
    m_before.reset();
    m_after.reset();
    showContent();
    const QUrl source = m_item->url();
    const std::optional<QUrl> output = m_item->outputURL();
    auto* watcher = new QFutureWatcher<std::pair<std::optional<QImage>, std::optional<QImage>>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation != m_generation)
            return;
        std::tie(m_before, m_after) = watcher->result();
        m_loading = false;
        showContent();
        Q_EMIT loaded();
    });
    // Source first, then the output, on one pool thread.
    watcher->setFuture(QtConcurrent::run([source, output] {
        std::optional<QImage> before = thumbnail(source, kThumbnailBound);
        std::optional<QImage> after;
        if (before && output)
            after = thumbnail(*output, kThumbnailBound);
        return std::pair{std::move(before), std::move(after)};
    }));
}

void UpscalePreviewView::showContent() {
    for (QWidget* page : {m_comparePage, m_inputPreview}) {
        if (page) {
            m_content->removeWidget(page);
            page->deleteLater();
        }
    }
    m_comparePage = nullptr;
    m_beforeAfter = nullptr;
    m_inputPreview = nullptr;

    // An unreadable source leaves the spinner: there is nothing to compare.
    if (!m_before) {
        m_content->setCurrentWidget(m_spinner);
        m_spinner->setPixmap(spinnerFrame(m_spinnerPhase, secondaryTextColor(palette()), 28,
                                          devicePixelRatioF()));
        m_spinnerTimer->start();
        return;
    }
    m_spinnerTimer->stop();
    if (m_after) {
        m_comparePage = new QWidget(m_content);
        auto* column = new QVBoxLayout(m_comparePage);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(8);
        m_beforeAfter = new BeforeAfterView(*m_before, *m_after, m_comparePage);
        column->addWidget(m_beforeAfter, 1);
        auto* caption = secondaryLabel(tr("Drag to compare — left: original, right: upscaled"),
                                       m_comparePage, 0.9);
        caption->setAlignment(Qt::AlignCenter);
        column->addWidget(caption);
        m_content->addWidget(m_comparePage);
        m_content->setCurrentWidget(m_comparePage);
        return;
    }
    m_inputPreview = new FittedImageView(*m_before, m_content);
    m_inputPreview->setAccessibleName(tr("Input preview"));
    m_content->addWidget(m_inputPreview);
    m_content->setCurrentWidget(m_inputPreview);
}

} // namespace glintwork
