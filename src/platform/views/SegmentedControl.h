#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QAbstractButton;

namespace glintwork {

// A row of joined, mutually exclusive segments: the tab bar and the naming-mode picker.
class SegmentedControl : public QWidget {
    Q_OBJECT

public:
    explicit SegmentedControl(const QStringList& labels, QWidget* parent = nullptr);

    [[nodiscard]] int currentIndex() const;
    // Selects without emitting: the model already knows.
    void setCurrentIndex(int index);
    [[nodiscard]] QAbstractButton* segment(int index) const;
    [[nodiscard]] int count() const;

Q_SIGNALS:
    // Only when the user picks a segment other than the current one.
    void currentIndexChanged(int index);

private:
    QButtonGroup* m_group = nullptr;
    int m_current = 0;
};

} // namespace glintwork
