#include "batch/ImageItem.h"

#include <cmath>
#include <cstdio>

#include <QFileInfo>

#include "platform/ImageServices.h"

namespace glintwork {

namespace {

template <typename T, typename Signal>
void assign(ImageItem* item, T& field, const T& value, Signal signal) {
    if (field == value)
        return;
    field = value;
    Q_EMIT(item->*signal)();
}

} // namespace

ImageItem::ImageItem(const QUrl& url, QObject* parent)
    : QObject(parent), m_id(QUuid::createUuid()), m_url(url) {
    const QString path = url.toLocalFile();
    const QFileInfo info(path);
    m_inputFormat = info.suffix().toLower();
    // A name ending in a dot has no extension, as does ".hidden".
    if (info.fileName().startsWith(QLatin1Char('.')) &&
        info.fileName().indexOf(QLatin1Char('.'), 1) < 0)
        m_inputFormat.clear();
    if (path.isEmpty())
        return;
    if (info.exists())
        m_originalSize = info.size();
    if (const auto properties = ImageServices::readProperties(path)) {
        m_pixelWidth = properties->pixelWidth;
        m_pixelHeight = properties->pixelHeight;
    }
}

void ImageItem::setOutputURL(const std::optional<QUrl>& url) {
    assign(this, m_outputURL, url, &ImageItem::outputURLChanged);
}

void ImageItem::setCompressedSize(const std::optional<qint64>& size) {
    assign(this, m_compressedSize, size, &ImageItem::compressedSizeChanged);
}

void ImageItem::setStatus(const ConversionStatus& status) {
    assign(this, m_status, status, &ImageItem::statusChanged);
}

void ImageItem::setErrorMessage(const std::optional<QString>& message) {
    assign(this, m_errorMessage, message, &ImageItem::errorMessageChanged);
}

void ImageItem::setProgress(double progress) {
    assign(this, m_progress, progress, &ImageItem::progressChanged);
}

std::optional<QString> ImageItem::compressionPercentText() const {
    return glintwork::compressionPercentText(m_originalSize, m_compressedSize);
}

std::optional<QString> compressionPercentText(qint64 originalSize, std::optional<qint64> outputSize) {
    if (!outputSize || originalSize < 1)
        return std::nullopt;
    const double ratio =
        1.0 - static_cast<double>(*outputSize) / static_cast<double>(originalSize);
    char text[64];
    if (ratio >= 0)
        std::snprintf(text, sizeof text, "-%.0f%%", ratio * 100.0);
    else
        std::snprintf(text, sizeof text, "+%.0f%%", std::fabs(ratio) * 100.0);
    return QString::fromLatin1(text);
}

} // namespace glintwork
