#pragma once

#include "batch/views/BatchListModel.h"

namespace glintwork {

class CompressDriver;

// The compress list: file, conversion, sizes, saving and status of every item.
class FileListModel : public BatchListModel {
    Q_OBJECT

public:
    enum Column { FileColumn, ConvertColumn, SizeColumn, RatioColumn, StatusColumn, ColumnCount };

    FileListModel(ToolDriver* batch, CompressDriver* driver, QObject* parent = nullptr);
};

} // namespace glintwork
