#pragma once

#include <QByteArray>
#include <QString>

#include "support/TestSupport.h"

namespace glintwork::test {

// A resource folder of our own with a bin/ for stand-in encoders (small shell scripts),
// made current through GLINTWORK_RESOURCES for the object's lifetime.
class FakeResources {
public:
    // folderName lets a test put spaces or quotes into every path below it.
    explicit FakeResources(const QString& folderName = QStringLiteral("Resources"));
    ~FakeResources();
    FakeResources(const FakeResources&) = delete;
    FakeResources& operator=(const FakeResources&) = delete;

    [[nodiscard]] QString resourcePath() const { return m_resources; }
    [[nodiscard]] QString binPath() const { return m_resources + QStringLiteral("/bin"); }
    [[nodiscard]] const ScratchDir& scratch() const { return m_scratch; }

    // Writes bin/name as a /bin/sh script with this body and returns its path.
    QString addScript(const QString& name, const QByteArray& body, bool executable = true) const;

private:
    ScratchDir m_scratch;
    QString m_resources;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};

// Sets or unsets one environment variable for a scope.
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

} // namespace glintwork::test
