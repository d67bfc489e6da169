#pragma once

#include <array>
#include <optional>

#include <QString>
#include <QStringList>

namespace glintwork {

// The interface languages offered in the settings; the choice applies at the next start.
enum class AppLanguage { system, en, ja, ko, de };

inline constexpr std::array<AppLanguage, 5> kAllAppLanguages{
    AppLanguage::system, AppLanguage::en, AppLanguage::ja, AppLanguage::ko, AppLanguage::de};

inline const QString kAppleLanguagesKey = QStringLiteral("AppleLanguages");

[[nodiscard]] QString rawValue(AppLanguage language);
[[nodiscard]] std::optional<AppLanguage> appLanguageFromRawValue(const QString& raw);
// Language names are written in their own language; only "System Default" is translated.
[[nodiscard]] QString displayName(AppLanguage language);

// The stored "AppleLanguages" list, or the system's preferred languages when the user
// chose none.
[[nodiscard]] QStringList preferredLanguages();

// The language the picker shows: the first preferred language, when it is one we offer.
[[nodiscard]] AppLanguage currentAppLanguage();

// Stores the choice: "System Default" removes "AppleLanguages", any other language
// stores it as the one-element list.
void applyAppLanguage(AppLanguage language);

} // namespace glintwork
