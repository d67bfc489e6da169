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

// The chosen interface languages, most preferred first. The key is the one the settings
// file has always used, so that a choice made earlier holds.
inline const QString kLanguagesKey = QStringLiteral("AppleLanguages");

[[nodiscard]] QString keyword(AppLanguage language);
[[nodiscard]] std::optional<AppLanguage> appLanguageFromKeyword(const QString& word);
// Language names are written in their own language; only "System Default" is translated.
[[nodiscard]] QString displayName(AppLanguage language);

// The stored language list, or the system's preferred languages when the user
// chose none.
[[nodiscard]] QStringList preferredLanguages();

// The language the picker shows: the first preferred language, when it is one we offer.
[[nodiscard]] AppLanguage currentAppLanguage();

// Stores the choice: "System Default" removes the stored list, any other language
// stores it as the one-element list.
void applyAppLanguage(AppLanguage language);

} // namespace glintwork
