#include "compress/CompressSettingsPersistence.h"

#include <limits>

#include "platform/TabKind.h"
#include "naming/NamingPersistence.h"
#include "platform/PreferenceStore.h"

namespace glintwork {

namespace {

QString key(const char* name) {
    return preferenceKey(TabKind::compress, name);
}

std::optional<int> limitFromStored(qint64 stored) {
    if (stored < 1)
        return std::nullopt;
    return static_cast<int>(std::min<qint64>(stored, std::numeric_limits<int>::max()));
}

int clampToInt(qint64 value) {
    return static_cast<int>(std::clamp<qint64>(value, std::numeric_limits<int>::min(),
                                               std::numeric_limits<int>::max()));
}

} // namespace

CompressSettingsPersistence::CompressSettingsPersistence()
    : m_store(std::make_unique<PreferenceStore>()) {}

CompressSettingsPersistence::~CompressSettingsPersistence() = default;

ConversionSettings CompressSettingsPersistence::load() const {
    ConversionSettings settings;
    settings.outputFormat = outputFormatFromKeyword(savedFormat()).value_or(OutputFormat::webp);
    settings.quality = clampToInt(savedQuality());
    settings.resizeEnabled = savedResizeEnabled();
    settings.maxWidth = limitFromStored(savedMaxWidth());
    settings.maxHeight = limitFromStored(savedMaxHeight());
    const NamingConfig naming =
        loadNamingConfig(*m_store, TabKind::compress, ConversionSettings().namingConfig());
    settings.naming = naming;
    return settings;
}

void CompressSettingsPersistence::save(const NamingConfig& namingConfig) {
    saveNamingConfig(*m_store, TabKind::compress, namingConfig);
}

QString CompressSettingsPersistence::savedFormat() const {
    return m_store->string(key("outputFormat"), QStringLiteral("webp"));
}
void CompressSettingsPersistence::setSavedFormat(const QString& raw) {
    m_store->setString(key("outputFormat"), raw);
}
qint64 CompressSettingsPersistence::savedQuality() const {
    return m_store->integer(key("quality"), 80);
}
void CompressSettingsPersistence::setSavedQuality(qint64 quality) {
    m_store->setInteger(key("quality"), quality);
}
bool CompressSettingsPersistence::savedResizeEnabled() const {
    return m_store->boolean(key("resizeEnabled"), false);
}
void CompressSettingsPersistence::setSavedResizeEnabled(bool enabled) {
    m_store->setBoolean(key("resizeEnabled"), enabled);
}
qint64 CompressSettingsPersistence::savedMaxWidth() const {
    return m_store->integer(key("resizeMaxWidth"), 0);
}
void CompressSettingsPersistence::setSavedMaxWidth(qint64 width) {
    m_store->setInteger(key("resizeMaxWidth"), width);
}
qint64 CompressSettingsPersistence::savedMaxHeight() const {
    return m_store->integer(key("resizeMaxHeight"), 0);
}
void CompressSettingsPersistence::setSavedMaxHeight(qint64 height) {
    m_store->setInteger(key("resizeMaxHeight"), height);
}

} // namespace glintwork
