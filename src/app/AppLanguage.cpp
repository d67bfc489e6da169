#include "app/AppLanguage.h"

#include <QCoreApplication>
#include <QLocale>

#include "platform/PreferenceStore.h"

namespace glintwork {

QString keyword(AppLanguage language) {
    switch (language) {
    case AppLanguage::system:
        return QStringLiteral("system");
    case AppLanguage::en:
        return QStringLiteral("en");
    case AppLanguage::ja:
        return QStringLiteral("ja");
    case AppLanguage::ko:
        return QStringLiteral("ko");
    case AppLanguage::de:
        return QStringLiteral("de");
    }
    return QStringLiteral("system");
}

std::optional<AppLanguage> appLanguageFromKeyword(const QString& word) {
    for (AppLanguage language : kAllAppLanguages) {
        if (keyword(language) == word)
            return language;
    }
    return std::nullopt;
}

QString displayName(AppLanguage language) {
    switch (language) {
    case AppLanguage::system:
        return QCoreApplication::translate("AppLanguage", "System Default");
    case AppLanguage::en:
        return QStringLiteral("English");
    case AppLanguage::ja:
        return QStringLiteral("日本語");
    case AppLanguage::ko:
        return QStringLiteral("한국어");
    case AppLanguage::de:
        return QStringLiteral("Deutsch");
    }
    return {};
}

QStringList preferredLanguages() {
    const PreferenceStore store;
    return store.stringList(kLanguagesKey, QLocale::system().uiLanguages());
}

AppLanguage currentAppLanguage() {
    const QStringList languages = preferredLanguages();
    if (languages.isEmpty())
        return AppLanguage::system;
    const auto language = appLanguageFromKeyword(languages.first().left(2));
    // "system" is a choice, never a language code.
    if (!language || *language == AppLanguage::system)
        return AppLanguage::system;
    return *language;
}

void applyAppLanguage(AppLanguage language) {
    PreferenceStore store;
    if (language == AppLanguage::system)
        store.remove(kLanguagesKey);
    else
        store.setStringList(kLanguagesKey, {keyword(language)});
}

} // namespace glintwork
