#pragma once

#include <memory>

#include "compress/ConversionSettings.h"

namespace glintwork {

class PreferenceStore;

// The compress tool's settings in the preference store, one key per field, written the
// moment a setting changes.
class CompressSettingsPersistence {
public:
    CompressSettingsPersistence();
    ~CompressSettingsPersistence();

    [[nodiscard]] ConversionSettings load() const;
    void save(const NamingConfig& namingConfig);

    [[nodiscard]] QString savedFormat() const;
    void setSavedFormat(const QString& raw);
    [[nodiscard]] qint64 savedQuality() const;
    void setSavedQuality(qint64 quality);
    [[nodiscard]] bool savedResizeEnabled() const;
    void setSavedResizeEnabled(bool enabled);
    [[nodiscard]] qint64 savedMaxWidth() const;
    void setSavedMaxWidth(qint64 width);
    [[nodiscard]] qint64 savedMaxHeight() const;
    void setSavedMaxHeight(qint64 height);

private:
    std::unique_ptr<PreferenceStore> m_store;
};

} // namespace glintwork
