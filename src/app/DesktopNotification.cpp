#include "app/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace glintwork {

void sendDesktopNotification(const QString& title, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    // Lets the desktop show the program's icon and group the notification under it.
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("glintwork"));
    call << QStringLiteral("Glintwork") << quint32(0) << QStringLiteral("glintwork") << title
         << body << QStringList() << hints << qint32(-1);
    // Nobody waits for the answer: a missing service must not hold up the window.
    bus.call(call, QDBus::NoBlock);
}

} // namespace glintwork
