#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/AppLanguage.h"
#include "platform/Resources.h"

namespace glintwork {

QString installTranslations(QCoreApplication& application) {
    const auto folder = Resources::path(QStringLiteral("i18n"));
    // English is the source language, but its counts need their plural forms ("1 file",
    // "2 files"); installed first, every other language's own forms win over it.
    auto* english = new QTranslator(&application);
    if (folder && english->load(QStringLiteral("glintwork_en"), *folder))
        QCoreApplication::installTranslator(english);
    else
        english->deleteLater();
    for (const QString& entry : preferredLanguages()) {
        const QString code = entry.left(2).toLower();
        // English is the source language: nothing to install, and later entries lose.
        if (code == u"en")
            return {};
        if (code != u"de" && code != u"ja" && code != u"ko")
            continue;
        auto* own = new QTranslator(&application);
        if (!folder || !own->load(QStringLiteral("glintwork_") + code, *folder)) {
            own->deleteLater();
            continue;
        }
        QCoreApplication::installTranslator(own);
        // Numbers and file sizes follow the interface language too.
        QLocale::setDefault(QLocale(code));
        // Qt's dialogs (file pickers, message boxes) follow when its translations exist.
        auto* qt = new QTranslator(&application);
        if (qt->load(QStringLiteral("qtbase_") + code,
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(qt);
        else
            qt->deleteLater();
        return code;
    }
    return {};
}

} // namespace glintwork
