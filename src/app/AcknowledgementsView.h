#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace glintwork {

// The third-party licences the program ships with, as selectable text.
class AcknowledgementsView : public QDialog {
    Q_OBJECT

public:
    explicit AcknowledgementsView(QWidget* parent = nullptr);

    [[nodiscard]] QString text() const;

    // The bundled licence text, or the note that it is unavailable.
    [[nodiscard]] static QString loadText();

private:
    QPlainTextEdit* m_text = nullptr;
};

} // namespace glintwork
