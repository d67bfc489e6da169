#pragma once

#include <QPointer>

#include "batch/views/BatchListView.h"

namespace glintwork {

class UpscaleDriver;

// The upscale list: file, conversion ("HEIC → 4x PNG"), size and each file's progress.
// A row's menu offers "Preview" before "Delete".
class UpscaleFileListView : public BatchListView {
    Q_OBJECT

public:
    UpscaleFileListView(ToolDriver* batch, UpscaleDriver* driver, QWidget* parent = nullptr);

    // "HEIC → 4x PNG": the item's format and what the settings chosen now make of it.
    [[nodiscard]] static QString conversionText(const ImageItem& item, const UpscaleDriver& driver);

protected:
    void addRowActions(QMenu* menu, ImageItem* item) override;

private:
    QPointer<UpscaleDriver> m_driver;
};

} // namespace glintwork
