#include "compress/views/FileListModel.h"

#include <QPointer>

#include "compress/CompressDriver.h"

namespace glintwork {

namespace {

BatchListModel::Layout compressLayout(CompressDriver* driver) {
    using C = BatchListModel::Column;
    BatchListModel::Layout layout;
    layout.columns = {C::file, C::convert, C::size, C::ratio, C::status};
    const QPointer<CompressDriver> guarded(driver);
    layout.convertText = [guarded](const ImageItem& item) {
        if (!guarded)
            return QString();
        return item.inputFormat().toUpper() + QStringLiteral(" → ") +
               displayName(guarded->settings().outputFormat);
    };
    layout.processingText = FileListModel::tr("Converting");
    layout.showsOutputSize = true;
    return layout;
}

} // namespace

FileListModel::FileListModel(ToolDriver* batch, CompressDriver* driver, QObject* parent)
    : BatchListModel(batch, compressLayout(driver), parent) {}

} // namespace glintwork
