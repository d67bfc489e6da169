#include "compress/views/FileListView.h"

#include "compress/views/FileListModel.h"

namespace glintwork {

FileListView::FileListView(ToolDriver* batch, CompressDriver* driver, QWidget* parent)
    : BatchListView(batch, new FileListModel(batch, driver), {100, 180, 60, 110}, parent) {}

FileListModel* FileListView::listModel() const {
    return static_cast<FileListModel*>(BatchListView::listModel());
}

} // namespace glintwork
