#pragma once

#include "batch/views/BatchListView.h"

namespace glintwork {

class CompressDriver;
class FileListModel;

// The compress tool's list: one row per file with its conversion, sizes, saving and
// status; "Delete" in a row's context menu removes that file from the batch.
class FileListView : public BatchListView {
    Q_OBJECT

public:
    FileListView(ToolDriver* batch, CompressDriver* driver, QWidget* parent = nullptr);

    [[nodiscard]] FileListModel* listModel() const;
};

} // namespace glintwork
