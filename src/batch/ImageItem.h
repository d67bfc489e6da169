#pragma once

#include <memory>
#include <optional>

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include "batch/ConversionStatus.h"

namespace glintwork {

// One input file of a batch. What was known about the file when it was added never
// changes; the rest is written by the tool's batch driver on the main thread, and each of
// those fields notifies only when it really changes.
class ImageItem : public QObject {
    Q_OBJECT

public:
    // Reads only the file's size and image header; never throws. A missing or unreadable
    // file gives sizes of 0.
    explicit ImageItem(const QUrl& url, QObject* parent = nullptr);

    [[nodiscard]] const QUuid& id() const { return m_id; }
    [[nodiscard]] const QUrl& url() const { return m_url; }
    [[nodiscard]] qint64 originalSize() const { return m_originalSize; }
    [[nodiscard]] int pixelWidth() const { return m_pixelWidth; }
    [[nodiscard]] int pixelHeight() const { return m_pixelHeight; }
    [[nodiscard]] const QString& inputFormat() const { return m_inputFormat; }

    [[nodiscard]] const std::optional<QUrl>& outputURL() const { return m_outputURL; }
    [[nodiscard]] const std::optional<qint64>& compressedSize() const { return m_compressedSize; }
    [[nodiscard]] const ConversionStatus& status() const { return m_status; }
    [[nodiscard]] const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    [[nodiscard]] double progress() const { return m_progress; }

    void setOutputURL(const std::optional<QUrl>& url);
    void setCompressedSize(const std::optional<qint64>& size);
    void setStatus(const ConversionStatus& status);
    void setErrorMessage(const std::optional<QString>& message);
    void setProgress(double progress);

    // "-35%" for an output 35 % smaller than its input, "+12%" for one that grew; absent
    // until the output size is known or when the input size is unknown.
    [[nodiscard]] std::optional<QString> compressionPercentText() const;

Q_SIGNALS:
    void outputURLChanged();
    void compressedSizeChanged();
    void statusChanged();
    void errorMessageChanged();
    void progressChanged();

private:
    const QUuid m_id;
    const QUrl m_url;
    qint64 m_originalSize = 0;
    int m_pixelWidth = 0;
    int m_pixelHeight = 0;
    QString m_inputFormat;

    std::optional<QUrl> m_outputURL;
    std::optional<qint64> m_compressedSize;
    ConversionStatus m_status;
    std::optional<QString> m_errorMessage;
    double m_progress = 0.0;
};

// A tool's list: items are shared with the jobs working on them, so a list cleared during
// a run never pulls an item from under a running job.
using ItemList = QList<std::shared_ptr<ImageItem>>;

// The text of a size change, shared by the rows and the CLI.
[[nodiscard]] std::optional<QString> compressionPercentText(qint64 originalSize,
                                                            std::optional<qint64> outputSize);

} // namespace glintwork
