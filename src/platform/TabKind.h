#pragma once

#include <array>

#include <QString>

namespace glintwork {

// The three tools, in tab order. A tool's keyword (its name on the command line) is also
// the middle word of its preference keys ("glintwork.compress.quality").
enum class TabKind { compress, cutout, upscale };

inline constexpr std::array<TabKind, 3> kAllTabKinds{TabKind::compress, TabKind::cutout,
                                                     TabKind::upscale};

[[nodiscard]] QString keyword(TabKind tab);
[[nodiscard]] QString displayName(TabKind tab);

// "glintwork.<tool>.<name>"
[[nodiscard]] QString preferenceKey(TabKind tab, const char* name);

} // namespace glintwork
