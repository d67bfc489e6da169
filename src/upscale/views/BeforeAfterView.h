#pragma once

#include <QImage>
#include <QWidget>

namespace glintwork {

// The source and its upscaled result on top of each other, split by a vertical divider
// the user drags: the source shows left of it, the result right of it. Both images are
// fitted to the view the same way, so the two halves line up. The arrow keys move the
// divider too.
class BeforeAfterView : public QWidget {
    Q_OBJECT

public:
    BeforeAfterView(QImage before, QImage after, QWidget* parent = nullptr);

    [[nodiscard]] const QImage& before() const { return m_before; }
    [[nodiscard]] const QImage& after() const { return m_after; }
    // The divider as a fraction of the width: 0 at the left edge, 1 at the right.
    [[nodiscard]] double sliderX() const { return m_sliderX; }
    // Clamped to 0…1.
    void setSliderX(double fraction);

    // Where an image of `size` is drawn in `bounds`: as large as fits, centred.
    [[nodiscard]] static QRectF fittedRect(const QSizeF& size, const QRectF& bounds);

Q_SIGNALS:
    void sliderXChanged(double fraction);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void dragTo(double x);
    void paintLabel(QPainter& painter, const QString& text, Qt::Alignment alignment) const;

    QImage m_before;
    QImage m_after;
    double m_sliderX = 0.5;
};

} // namespace glintwork
