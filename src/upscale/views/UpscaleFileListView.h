#pragma once

#include <QPointer>

#include "batch/views/BatchListView.h"

namespace glintwork {

class UpscaleViewModel;

// The upscale list: file, conversion ("HEIC → 4x PNG"), size and each file's progress.
// A row's menu offers "Preview" before "Delete".
class UpscaleFileListView : public BatchListView {
    Q_OBJECT

public:
    UpscaleFileListView(ToolDriver* batch, UpscaleViewModel* driver, QWidget* parent = nullptr);

    // "HEIC → 4x PNG": the item's format and what the settings chosen now make of it.
    [[nodiscard]] static QString conversionText(const ImageItem& item, const UpscaleViewModel& driver);

protected:
    void addRowActions(QMenu* menu, ImageItem* item) override;

private:
    QPointer<UpscaleViewModel> m_driver;
};

} // namespace glintwork
