#pragma once

#include <array>
#include <optional>

#include <QString>

namespace glintwork {

// How outputs are named: the input's own name, that name plus a suffix, or a prefix
// plus a running number.
enum class NamingMode { original, suffix, custom };

inline constexpr std::array<NamingMode, 3> kAllNamingModes{NamingMode::original,
                                                           NamingMode::suffix, NamingMode::custom};

[[nodiscard]] QString keyword(NamingMode mode);
[[nodiscard]] std::optional<NamingMode> namingModeFromKeyword(const QString& word);
[[nodiscard]] QString displayName(NamingMode mode);

struct NamingConfig {
    NamingMode mode = NamingMode::original;
    QString suffix;
    QString prefix;
    // As the user typed it; its length is also the minimum number of digits.
    QString startNumber;

    friend bool operator==(const NamingConfig&, const NamingConfig&) = default;
};

// The cleaning the drivers apply when the user edits the naming fields: path separators
// and ".." in prefix and suffix become "_"; the start number keeps at most its first six
// digits and is left as it was when no digit remains.
[[nodiscard]] QString sanitizeNameComponent(const QString& text);
[[nodiscard]] std::optional<QString> cleanedStartNumber(const QString& typed);

// `current` with the naming the user entered, cleaned as above.
[[nodiscard]] NamingConfig editedNaming(NamingConfig current, const NamingConfig& entered);

// `settings` (any tool's settings with its `naming`) with the naming the user entered.
template <typename Settings>
[[nodiscard]] Settings withNamingConfig(Settings settings, const NamingConfig& config) {
    settings.naming = editedNaming(settings.naming, config);
    return settings;
}

} // namespace glintwork
