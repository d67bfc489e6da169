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
    [[nodiscard]] static UpscalePipelineError writeFailed(const QUrl& output);
    [[nodiscard]] static UpscalePipelineError mergeFailed();
    // The output would not fit the in-memory limit; carries its size in pixels.
    [[nodiscard]] static UpscalePipelineError outputTooLarge(qint64 width, qint64 height);

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] QString description() const override;

private:
    UpscalePipelineError(Kind kind, QUrl url, qint64 width = 0, qint64 height = 0)
        : m_kind(kind), m_url(std::move(url)), m_width(width), m_height(height) {}

    Kind m_kind;
    QUrl m_url;
    qint64 m_width;
    qint64 m_height;
};

} // namespace glintwork
