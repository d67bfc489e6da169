#pragma once

#include "platform/TabKind.h"
#include "platform/views/SegmentedControl.h"

namespace glintwork {

class ToolSelection;

// The segmented picker of the three tools, kept in step with the tool selection both ways.
// A tab whose run is going carries a dot after its name.
class TabBar : public SegmentedControl {
    Q_OBJECT

public:
    explicit TabBar(ToolSelection* selection, QWidget* parent = nullptr);

    void setRunning(TabKind tab, bool running);
    [[nodiscard]] bool isMarkedRunning(TabKind tab) const;
};

} // namespace glintwork
