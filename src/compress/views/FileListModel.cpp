#include "compress/views/FileListModel.h"

#include <QPointer>

#include "compress/ConversionViewModel.h"

namespace glintwork {

namespace {

BatchListModel::Layout compressLayout(ConversionViewModel* driver) {
    using C = BatchListModel::Column;
    BatchListModel::Layout layout;
    layout.columns = {C::file, C::convert, C::size, C::ratio, C::status};
    const QPointer<ConversionViewModel> guarded(driver);
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

FileListModel::FileListModel(ToolDriver* batch, ConversionViewModel* driver, QObject* parent)
    : BatchListModel(batch, compressLayout(driver), parent) {}

} // namespace glintwork
