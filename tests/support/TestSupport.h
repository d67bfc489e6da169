#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "platform/Error.h"

namespace glintwork::test {

// The Error that run() throws, nothing when it returns; any other exception goes on to
// fail the test.
[[nodiscard]] std::optional<Error> errorOf(const std::function<void()>& run);
// Its text, "(no error)" when it returns.
[[nodiscard]] std::string errorText(const std::function<void()>& run);

// The file's bytes; empty when it cannot be read.
[[nodiscard]] QByteArray contents(const QString& path);

// One of the ICC profiles Debian installs with Ghostscript (libgs10-common); empty without it.
[[nodiscard]] QByteArray ghostscriptProfile(const QString& name);

// Sets (or, given nullptr, unsets) one environment variable for a scope.
class EnvironmentOverride {
public:
    EnvironmentOverride(const char* name, const QByteArray* value);
    ~EnvironmentOverride();
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    const char* m_name;
    QByteArray m_previous;
    bool m_hadPrevious;
};

// Runs a Python script with Debian's python3 (and its python3-onnx) to write a test network
// to `path`; false, with the reason in *why, when it cannot.
[[nodiscard]] bool writeNetworkWithPython(const char* script, const QString& path,
                                          const QString& variant, QString* why);

// A home folder of the test program's own, removed when it ends: HOME and the XDG folders
// point into it, so nothing a test does (or a dialog remembers) reaches the user's files.
class IsolatedHome {
public:
    IsolatedHome();

private:
    QTemporaryDir m_dir;
};

// A scratch folder per test, removed afterwards; also points the preference store at a
// folder of its own so no test reads or writes the user's settings.
class ScratchDir {
public:
    ScratchDir();

    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // Writes bytes to name (creating sub-folders) and returns the absolute path.
    QString writeFile(const QString& name, const QByteArray& bytes) const;

private:
    QTemporaryDir m_dir;
    EnvironmentOverride m_config{"GLINTWORK_CONFIG_DIR", nullptr};
};

// Points the resource folder (GLINTWORK_RESOURCES) elsewhere for one test and puts the old
// value back.
class ResourceFolder {
public:
    explicit ResourceFolder(const QString& path) { qputenv("GLINTWORK_RESOURCES", QFile::encodeName(path)); }

private:
    EnvironmentOverride m_current{"GLINTWORK_RESOURCES", nullptr};
};

// A resource folder of our own with a bin/ for stand-in tools (small shell scripts), made
// current for the object's lifetime.
class FakeResources {
public:
    // folderName lets a test put spaces or quotes into every path below it.
    explicit FakeResources(const QString& folderName = QStringLiteral("Resources"));

    [[nodiscard]] QString binPath() const { return m_resources + QStringLiteral("/bin"); }
    [[nodiscard]] const ScratchDir& scratch() const { return m_scratch; }

    // Writes bin/name as a /bin/sh script with this body and returns its path.
    QString addScript(const QString& name, const QByteArray& body, bool executable = true) const;

private:
    ScratchDir m_scratch;
    QString m_resources;
    ResourceFolder m_current;
};

// A small tmpfs mounted on a folder of its own for the object's lifetime, to fill up
// quickly. Mounting needs root; without it isMounted() is false and the test should skip.
class SmallDisk {
public:
    explicit SmallDisk(const ScratchDir& scratch, const QString& size = QStringLiteral("200k"));
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    [[nodiscard]] bool isMounted() const { return m_mounted; }
    [[nodiscard]] const QString& path() const { return m_path; }

private:
    QString m_path;
    bool m_mounted = false;
};

} // namespace glintwork::test
