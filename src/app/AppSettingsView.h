#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QPointer>

#include "app/AcknowledgementsView.h"
#include "app/AppLanguage.h"

class QComboBox;
class QPushButton;

namespace glintwork {


// The settings sheet: the interface language (applied at the next start) and the
// acknowledgements.
class AppSettingsView : public QDialog {
    Q_OBJECT

public:
    explicit AppSettingsView(QWidget* parent = nullptr);

    [[nodiscard]] AppLanguage selection() const { return m_selection; }
    [[nodiscard]] QComboBox* languagePicker() const { return m_language; }
    [[nodiscard]] QPushButton* acknowledgementsButton() const { return m_acknowledgements; }
    [[nodiscard]] QPushButton* closeButton() const { return m_close; }
    // The "Restart Required" alert while it is shown.
    [[nodiscard]] QMessageBox* restartAlert() const { return m_restartAlert; }
    [[nodiscard]] AcknowledgementsView* acknowledgementsSheet() const { return m_acknowledgementsSheet; }

    // Picking a language in the picker.
    void select(AppLanguage language);

    // How long "Quit Now" waits after the sheet has closed before the application quits.
    static constexpr int kQuitDelayMs = 200;

private:
    void showRestartAlert();
    void showAcknowledgements();

    AppLanguage m_selection;
    QComboBox* m_language = nullptr;
    QPushButton* m_acknowledgements = nullptr;
    QPushButton* m_close = nullptr;
    QPointer<QMessageBox> m_restartAlert;
    QPointer<AcknowledgementsView> m_acknowledgementsSheet;
};

} // namespace glintwork
