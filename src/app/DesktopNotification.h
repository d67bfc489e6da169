#pragma once

#include <QString>

namespace glintwork {

// Asks the desktop's notification service (org.freedesktop.Notifications on the session
// bus) to show `title` and `body`; does nothing where there is no such service.
void sendDesktopNotification(const QString& title, const QString& body);

} // namespace glintwork
