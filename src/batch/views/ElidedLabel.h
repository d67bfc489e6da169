#pragma once

#include <QWidget>

namespace glintwork {

// One line of text shortened in the middle when it does not fit, so both the start and
// the end of a long path stay readable.
class ElidedLabel : public QWidget {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setText(const QString& text);
    [[nodiscard]] QString text() const { return m_text; }
    [[nodiscard]] QString displayedText() const;

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};

} // namespace glintwork
