#pragma once

#include "platform/TabKind.h"
#include "naming/NamingConfig.h"

namespace glintwork {

class PreferenceStore;

// The four naming keys every tool keeps ("glintwork.<tool>.namingMode", ".nameSuffix",
// ".namePrefix", ".nameStartNumber"). An unknown stored mode falls back to the default's.
[[nodiscard]] NamingConfig loadNamingConfig(const PreferenceStore& store, TabKind tab,
                                            const NamingConfig& defaults);
void saveNamingConfig(PreferenceStore& store, TabKind tab, const NamingConfig& config);

} // namespace glintwork
