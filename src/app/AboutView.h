#pragma once

#include <QDialog>
#include <QPointer>

class QTreeWidget;

namespace glintwork {

class AcknowledgementsView;

// "About Glintwork": the version, and the networks, encoders and libraries the program
// ships with, each with its licence and what it does here; the full licence notes are one
// button away.
class AboutView : public QDialog {
    Q_OBJECT

public:
    explicit AboutView(QWidget* parent = nullptr);

    [[nodiscard]] QString versionText() const;
    // The listed components, one "name — licence" line each.
    [[nodiscard]] QStringList componentLines() const;
    [[nodiscard]] AcknowledgementsView* acknowledgementsSheet() const { return m_acknowledgements; }

private:
    QString m_version;
    QTreeWidget* m_components = nullptr;
    QPointer<AcknowledgementsView> m_acknowledgements;
};

} // namespace glintwork
