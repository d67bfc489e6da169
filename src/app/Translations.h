#pragma once

#include <QString>

class QCoreApplication;

namespace glintwork {

// Installs the interface translation for the first preferred language we have one for
// (the stored language list, else the system's), together with Qt's own texts.
// Returns the language code installed; empty for English.
QString installTranslations(QCoreApplication& application);

} // namespace glintwork
