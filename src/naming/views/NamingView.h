#pragma once

#include <QWidget>

#include "platform/TabKind.h"
#include "naming/NamingConfig.h"

class QLabel;
class QLineEdit;
class QStackedWidget;

namespace glintwork {

class SegmentedControl;

// The editor of a tool's output naming, embedded in each settings bar. It shows the
// configuration it is given and reports every edit; the tool's driver cleans and stores
// the values and hands them back.
class NamingView : public QWidget {
    Q_OBJECT

public:
    explicit NamingView(TabKind tab, QWidget* parent = nullptr);

    // The suffix a tool suggests (placeholder, and filled in when switching to suffix
    // mode with nothing typed).
    [[nodiscard]] static QString defaultSuffix(TabKind tab);

    [[nodiscard]] const NamingConfig& config() const { return m_config; }
    // Shows `config`; a field the user is typing in keeps its text until editing ends.
    void setConfig(const NamingConfig& config);

    [[nodiscard]] SegmentedControl* modePicker() const { return m_mode; }
    [[nodiscard]] QLineEdit* suffixField() const { return m_suffix; }
    [[nodiscard]] QLineEdit* prefixField() const { return m_prefix; }
    [[nodiscard]] QLineEdit* startNumberField() const { return m_startNumber; }

Q_SIGNALS:
    void configEdited(const NamingConfig& config);

private:
    void modeChosen(int index);
    void showFields();
    void edit(const NamingConfig& config);

    TabKind m_tab;
    NamingConfig m_config;
    SegmentedControl* m_mode = nullptr;
    QStackedWidget* m_pages = nullptr;
    QLineEdit* m_suffix = nullptr;
    QLineEdit* m_prefix = nullptr;
    QLineEdit* m_startNumber = nullptr;
};

} // namespace glintwork
