#pragma once

#include <QString>
#include <QUrl>

#include "platform/DescribedError.h"

namespace glintwork {

// The largest output an upscale writes: its RGBA canvas alone takes 4 bytes a pixel (1 GiB
// here), and the encoder needs about as much again.
inline constexpr qint64 kMaxUpscaledPixels = 16384LL * 16384LL;

// Why one file of an upscale batch failed outside the network itself.
class UpscalePipelineError : public DescribedError {
public:
    enum class Kind { sourceUnreadable, writeFailed, mergeFailed, outputTooLarge };

    [[nodiscard]] static UpscalePipelineError sourceUnreadable(const QUrl& source);
    // `reason` is what the encoder or the file system said, e.g. "No space left on device".
    [[nodiscard]] static UpscalePipelineError writeFailed(const QUrl& output, QString reason = {});
    [[nodiscard]] static UpscalePipelineError mergeFailed();
    // The output would not fit the in-memory limit; carries its size in pixels.
    [[nodiscard]] static UpscalePipelineError outputTooLarge(qint64 width, qint64 height);

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] QString description() const override;

private:
    UpscalePipelineError(Kind kind, QUrl url, qint64 width = 0, qint64 height = 0, QString reason = {})
        : m_kind(kind), m_url(std::move(url)), m_width(width), m_height(height),
          m_reason(std::move(reason)) {}

    Kind m_kind;
    QUrl m_url;
    qint64 m_width;
    qint64 m_height;
    QString m_reason;
};

} // namespace glintwork
