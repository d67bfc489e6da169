#include "naming/NamingPersistence.h"

#include "platform/PreferenceStore.h"

namespace glintwork {

NamingConfig loadNamingConfig(const PreferenceStore& store, TabKind tab,
                              const NamingConfig& defaults) {
    NamingConfig config;
    config.mode = namingModeFromKeyword(
                      store.string(preferenceKey(tab, "namingMode"), keyword(defaults.mode)))
                      .value_or(defaults.mode);
    config.suffix = store.string(preferenceKey(tab, "nameSuffix"), defaults.suffix);
    config.prefix = store.string(preferenceKey(tab, "namePrefix"), defaults.prefix);
    config.startNumber = store.string(preferenceKey(tab, "nameStartNumber"), defaults.startNumber);
    return config;
}

void saveNamingConfig(PreferenceStore& store, TabKind tab, const NamingConfig& config) {
    store.setString(preferenceKey(tab, "namingMode"), keyword(config.mode));
    store.setString(preferenceKey(tab, "nameSuffix"), config.suffix);
    store.setString(preferenceKey(tab, "namePrefix"), config.prefix);
    store.setString(preferenceKey(tab, "nameStartNumber"), config.startNumber);
}

} // namespace glintwork
