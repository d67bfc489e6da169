#include "platform/PreferenceStore.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
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

} // namespace

QString PreferenceStore::storagePath() {
    QString dir = qEnvironmentVariable("GLINTWORK_CONFIG_DIR");
    if (dir.isEmpty()) {
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
              QStringLiteral("/Glintwork");
    }
    return QDir(dir).filePath(QStringLiteral("Glintwork.conf"));
}

PreferenceStore::PreferenceStore()
    : m_settings(std::make_unique<QSettings>(storagePath(), QSettings::IniFormat)) {}

PreferenceStore::~PreferenceStore() = default;

bool PreferenceStore::contains(const QString& key) const {
    m_settings->sync();
    return m_settings->contains(valueKey(key));
}

QString PreferenceStore::string(const QString& key, const QString& defaultValue) const {
    m_settings->sync();
    if (m_settings->value(typeKey(key)).toString() != kTypeString)
        return defaultValue;
    return m_settings->value(valueKey(key)).toString();
}

qint64 PreferenceStore::integer(const QString& key, qint64 defaultValue) const {
    m_settings->sync();
    if (m_settings->value(typeKey(key)).toString() != kTypeInteger)
        return defaultValue;
    bool ok = false;
    const qint64 value = m_settings->value(valueKey(key)).toString().toLongLong(&ok);
    return ok ? value : defaultValue;
}

bool PreferenceStore::boolean(const QString& key, bool defaultValue) const {
    m_settings->sync();
    if (m_settings->value(typeKey(key)).toString() != kTypeBoolean)
        return defaultValue;
    const QString text = m_settings->value(valueKey(key)).toString();
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    return defaultValue;
}

QByteArray PreferenceStore::bytes(const QString& key, const QByteArray& defaultValue) const {
    m_settings->sync();
    if (m_settings->value(typeKey(key)).toString() != kTypeBytes)
        return defaultValue;
    const auto decoded = QByteArray::fromBase64Encoding(
        m_settings->value(valueKey(key)).toString().toLatin1(),
        QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? *decoded : defaultValue;
}

QStringList PreferenceStore::stringList(const QString& key, const QStringList& defaultValue) const {
    m_settings->sync();
    if (m_settings->value(typeKey(key)).toString() != kTypeList)
        return defaultValue;
    return m_settings->value(valueKey(key)).toStringList();
}

void PreferenceStore::setString(const QString& key, const QString& value) {
    m_settings->setValue(typeKey(key), kTypeString);
    m_settings->setValue(valueKey(key), value);
    m_settings->sync();
}

void PreferenceStore::setInteger(const QString& key, qint64 value) {
    m_settings->setValue(typeKey(key), kTypeInteger);
    m_settings->setValue(valueKey(key), QString::number(value));
    m_settings->sync();
}

void PreferenceStore::setBoolean(const QString& key, bool value) {
    m_settings->setValue(typeKey(key), kTypeBoolean);
    m_settings->setValue(valueKey(key), value ? QStringLiteral("true") : QStringLiteral("false"));
    m_settings->sync();
}

void PreferenceStore::setBytes(const QString& key, const QByteArray& value) {
    m_settings->setValue(typeKey(key), kTypeBytes);
    m_settings->setValue(valueKey(key), QString::fromLatin1(value.toBase64()));
    m_settings->sync();
}

void PreferenceStore::setStringList(const QString& key, const QStringList& value) {
    m_settings->setValue(typeKey(key), kTypeList);
    m_settings->setValue(valueKey(key), value);
    m_settings->sync();
}

void PreferenceStore::remove(const QString& key) {
    m_settings->remove(typeKey(key));
    m_settings->remove(valueKey(key));
    m_settings->sync();
}

} // namespace glintwork
