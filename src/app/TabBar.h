#pragma once

#include "platform/views/SegmentedControl.h"

namespace glintwork {

class RootViewModel;

// The segmented picker of the three tools, kept in step with the root view model both ways.
class TabBar : public SegmentedControl {
    Q_OBJECT

public:
    explicit TabBar(RootViewModel* model, QWidget* parent = nullptr);
};

} // namespace glintwork
