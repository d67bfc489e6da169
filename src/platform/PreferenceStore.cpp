#include "platform/PreferenceStore.h"

#include <mutex>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QVariant>

namespace glintwork {

namespace {

// Values are stored with a type tag so that a key written as one type never reads back
// as another: INI files keep everything as text, and "true" must not turn into an
// integer or a string "80" into a quality.
const QString kTypeString = QStringLiteral("s");
const QString kTypeInteger = QStringLiteral("i");
const QString kTypeBoolean = QStringLiteral("b");
const QString kTypeBytes = QStringLiteral("d");
const QString kTypeList = QStringLiteral("l");

// QSettings treats '/' as a group separator and '\' specially in INI keys; our key names
// contain neither, but escape them anyway so any key round-trips.
QString storageKey(const QString& key) {
    QString escaped = key;
    escaped.replace(QLatin1Char('%'), QStringLiteral("%25"));
    escaped.replace(QLatin1Char('/'), QStringLiteral("%2F"));
    escaped.replace(QLatin1Char('\\'), QStringLiteral("%5C"));
    return escaped;
}

QString typeKey(const QString& key) {
    return QStringLiteral("types/") + storageKey(key);
}

QString valueKey(const QString& key) {
    return QStringLiteral("values/") + storageKey(key);
}

struct ValuesInMemory {
    std::mutex mutex;
    QHash<QString, QHash<QString, QVariant>> byPath;
};

ValuesInMemory& valuesInMemory() {
    static ValuesInMemory values;
    return values;
}

} // namespace

// Holds back QSettings' own write after every change, which comes as soon as the event loop
// turns, so that a burst of changes is written once: when the timer started by its first
// change runs out, or when the program quits.
class PreferenceStore::WriteTimer : public QObject {
public:
    explicit WriteTimer(PreferenceStore& store) {
        m_timer.setSingleShot(true);
        m_timer.setInterval(kWriteDelayMs);
        QObject::connect(&m_timer, &QTimer::timeout, this, [&store] { store.flush(); });
        if (QCoreApplication* app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, this,
                             [&store] { store.flush(); });
    }

    void start() {
        if (!m_timer.isActive())
            m_timer.start();
    }
    void stop() { m_timer.stop(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        return event->type() == QEvent::UpdateRequest || QObject::eventFilter(watched, event);
    }

private:
    QTimer m_timer;
};

QString PreferenceStore::storagePath() {
    QString dir = qEnvironmentVariable("GLINTWORK_CONFIG_DIR");
    if (dir.isEmpty()) {
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
              QStringLiteral("/Glintwork");
    }
    return QDir(dir).filePath(QStringLiteral("Glintwork.conf"));
}

PreferenceStore::PreferenceStore() : m_path(storagePath()) {
    if (!fileIsUsable())
        return;
    m_settings = std::make_unique<QSettings>(m_path, QSettings::IniFormat);
    // Without an event loop no timer would ever run out.
    if (QAbstractEventDispatcher::instance()) {
        m_writeTimer = std::make_unique<WriteTimer>(*this);
        m_settings->installEventFilter(m_writeTimer.get());
    }
}

PreferenceStore::~PreferenceStore() {
    flush();
}

// Opening a FIFO or a device where the file should be would block until something writes
// to it (the window would never appear) or read forever, so only a regular file is opened,
// or none yet. Otherwise the values live in memory, shared by the stores of this process,
// until it ends.
bool PreferenceStore::fileIsUsable() const {
    const QFileInfo info(m_path);
    return info.isFile() || !info.exists();
}

bool PreferenceStore::usesFile() const {
    if (!m_settings)
        return false;
    if (fileIsUsable())
        return true;
    // Every change was saved as it was made, so dropping the settings object writes nothing.
    {
        const std::lock_guard lock(valuesInMemory().mutex);
        auto& values = valuesInMemory().byPath[m_path];
        for (const QString& key : m_settings->allKeys())
            values.insert(key, m_settings->value(key));
    }
    m_settings.reset();
    return false;
}

QVariant PreferenceStore::read(const QString& key) const {
    if (m_settings)
        return m_settings->value(key);
    const std::lock_guard lock(valuesInMemory().mutex);
    return valuesInMemory().byPath.value(m_path).value(key);
}

void PreferenceStore::write(const QString& key, const QVariant& value) {
    if (usesFile()) {
        m_settings->setValue(key, value);
        return;
    }
    const std::lock_guard lock(valuesInMemory().mutex);
    valuesInMemory().byPath[m_path].insert(key, value);
}

void PreferenceStore::erase(const QString& key) {
    if (usesFile()) {
        m_settings->remove(key);
        return;
    }
    const std::lock_guard lock(valuesInMemory().mutex);
    valuesInMemory().byPath[m_path].remove(key);
}

void PreferenceStore::flush() {
    if (m_writeTimer)
        m_writeTimer->stop();
    if (usesFile())
        m_settings->sync();
}

void PreferenceStore::save() {
    if (m_writeTimer && usesFile())
        m_writeTimer->start();
    else
        flush();
}

bool PreferenceStore::contains(const QString& key) const {
    return read(valueKey(key)).isValid();
}

QString PreferenceStore::string(const QString& key, const QString& defaultValue) const {
    if (read(typeKey(key)).toString() != kTypeString)
        return defaultValue;
    return read(valueKey(key)).toString();
}

qint64 PreferenceStore::integer(const QString& key, qint64 defaultValue) const {
    if (read(typeKey(key)).toString() != kTypeInteger)
        return defaultValue;
    bool ok = false;
    const qint64 value = read(valueKey(key)).toString().toLongLong(&ok);
    return ok ? value : defaultValue;
}

bool PreferenceStore::boolean(const QString& key, bool defaultValue) const {
    if (read(typeKey(key)).toString() != kTypeBoolean)
        return defaultValue;
    const QString text = read(valueKey(key)).toString();
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    return defaultValue;
}

QByteArray PreferenceStore::bytes(const QString& key, const QByteArray& defaultValue) const {
    if (read(typeKey(key)).toString() != kTypeBytes)
        return defaultValue;
    const auto decoded = QByteArray::fromBase64Encoding(read(valueKey(key)).toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? *decoded : defaultValue;
}

QStringList PreferenceStore::stringList(const QString& key, const QStringList& defaultValue) const {
    if (read(typeKey(key)).toString() != kTypeList)
        return defaultValue;
    return read(valueKey(key)).toStringList();
}

void PreferenceStore::setString(const QString& key, const QString& value) {
    write(typeKey(key), kTypeString);
    write(valueKey(key), value);
    save();
}

void PreferenceStore::setInteger(const QString& key, qint64 value) {
    write(typeKey(key), kTypeInteger);
    write(valueKey(key), QString::number(value));
    save();
}

void PreferenceStore::setBoolean(const QString& key, bool value) {
    write(typeKey(key), kTypeBoolean);
    write(valueKey(key), value ? QStringLiteral("true") : QStringLiteral("false"));
    save();
}

void PreferenceStore::setBytes(const QString& key, const QByteArray& value) {
    write(typeKey(key), kTypeBytes);
    write(valueKey(key), QString::fromLatin1(value.toBase64()));
    save();
}

void PreferenceStore::setStringList(const QString& key, const QStringList& value) {
    write(typeKey(key), kTypeList);
    write(valueKey(key), value);
    save();
}

void PreferenceStore::remove(const QString& key) {
    erase(typeKey(key));
    erase(valueKey(key));
    save();
}

} // namespace glintwork
