#pragma once

#include <optional>

#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QUrl>

#include "batch/ImageItem.h"

class QLabel;
class QStackedWidget;
class QTimer;

namespace glintwork {

class BeforeAfterView;
class ElidedLabel;

// The sheet that compares one item's source with its upscaled result. Both sides are
// thumbnails no larger than 1400 pixels, decoded off the main thread one after the other
// (source first); until the source is ready a spinner shows. Without a readable output,
// the source is shown alone.
class UpscalePreviewView : public QDialog {
    Q_OBJECT

public:
    static constexpr int kThumbnailBound = 1400;

    explicit UpscalePreviewView(ImageItem* item, QWidget* parent = nullptr);

    [[nodiscard]] ImageItem* item() const { return m_item; }
    [[nodiscard]] QString dimensionText() const;
    [[nodiscard]] bool isLoading() const;
    // The comparison once both sides are there, else nothing.
    [[nodiscard]] BeforeAfterView* beforeAfterView() const { return m_beforeAfter; }
    // The source shown alone once it is loaded and there is no output to compare with.
    [[nodiscard]] QWidget* inputPreview() const;

    // An upright thumbnail of the file whose longer side is at most `maxPixel`; nothing
    // when the file cannot be read. Safe on any thread.
    [[nodiscard]] static std::optional<QImage> thumbnail(const QUrl& url, int maxPixel);

Q_SIGNALS:
    // Both sides were decoded (or found unreadable) and the content shows what there is.
    void loaded();

private:
    void load();
    void showContent();
    void refreshHeader();

    QPointer<ImageItem> m_item;
    ElidedLabel* m_name = nullptr;
    QLabel* m_dimensions = nullptr;
    QStackedWidget* m_content = nullptr;
    QLabel* m_spinner = nullptr;
    QTimer* m_spinnerTimer = nullptr;
    int m_spinnerPhase = 0;
    QWidget* m_comparePage = nullptr;
    BeforeAfterView* m_beforeAfter = nullptr;
    QWidget* m_inputPreview = nullptr;
    std::optional<QImage> m_before;
    std::optional<QImage> m_after;
    // Counts loads, so that a result of an earlier load is dropped.
    int m_generation = 0;
    bool m_loading = false;
};

} // namespace glintwork
