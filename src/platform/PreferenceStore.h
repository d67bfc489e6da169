#pragma once

#include <memory>

#include <QByteArray>
#include <QString>
#include <QStringList>

class QSettings;
class QVariant;

namespace glintwork {

// The per-user key-value store behind every setting of the program. Keys keep their
// exact names ("glintwork.compress.quality", "outputDirectoryBookmark", ...). A key that
// is absent, or that holds a value of another type, reads as the given default.
// Stored in ~/.config/Glintwork/Glintwork.conf (INI); GLINTWORK_CONFIG_DIR moves it. When
// something other than a regular file sits at that path, values are kept in memory until
// the program ends.
//
// Reads come from memory: the stores of one process share what they read and change. A
// change reaches the file once per burst of changes (a quality slider being dragged sets
// its key on every step), at most kWriteDelayMs after the burst began, and at the latest
// when the store goes; a thread without an event loop writes each change at once. Used on
// the thread that made it.
class PreferenceStore {
public:
    PreferenceStore();
    ~PreferenceStore();
    PreferenceStore(const PreferenceStore&) = delete;
    PreferenceStore& operator=(const PreferenceStore&) = delete;

    [[nodiscard]] QString string(const QString& key, const QString& defaultValue) const;
    [[nodiscard]] qint64 integer(const QString& key, qint64 defaultValue) const;
    [[nodiscard]] bool boolean(const QString& key, bool defaultValue) const;
    [[nodiscard]] QByteArray bytes(const QString& key, const QByteArray& defaultValue = {}) const;
    [[nodiscard]] QStringList stringList(const QString& key,
                                         const QStringList& defaultValue = {}) const;
    [[nodiscard]] bool contains(const QString& key) const;

    void setString(const QString& key, const QString& value);
    void setInteger(const QString& key, qint64 value);
    void setBoolean(const QString& key, bool value);
    void setBytes(const QString& key, const QByteArray& value);
    void setStringList(const QString& key, const QStringList& value);
    void remove(const QString& key);

    // The file the values are kept in.
    [[nodiscard]] static QString storagePath();

    static constexpr int kWriteDelayMs = 500;

private:
    [[nodiscard]] bool fileIsUsable() const;
    // Whether values go to the file; once it stops being usable they stay in memory.
    [[nodiscard]] bool usesFile() const;
    [[nodiscard]] QVariant read(const QString& key) const;
    void write(const QString& key, const QVariant& value);
    void erase(const QString& key);
    // Writes the changes now when the file is in use.
    void flush();
    // Writes the changes when the burst they belong to is over.
    void save();

    class WriteTimer;

    QString m_path;
    mutable std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<WriteTimer> m_writeTimer;
};

} // namespace glintwork
