#pragma once

#include <sys/types.h>

#include <QString>

namespace glintwork {

// What must not outlive the program when it has to quit at once (a second Ctrl-C): the
// process groups of running helper executables and the half-written or temporary files
// of jobs in flight. Registrations live in fixed slots so that a signal handler can walk
// them without allocating or locking; when every slot is taken a registration quietly
// covers nothing, and the orderly clean-up of its owner still applies.
namespace ExitCleanup {

// Registers `path` for removal on an abrupt exit for as long as the object lives. The
// owner still removes or keeps the file itself; this only covers the abrupt case.
class FileRegistration {
public:
    FileRegistration() = default;
    explicit FileRegistration(const QString& path);
    FileRegistration(FileRegistration&& other) noexcept;
    FileRegistration& operator=(FileRegistration&& other) noexcept;
    FileRegistration(const FileRegistration&) = delete;
    FileRegistration& operator=(const FileRegistration&) = delete;
    ~FileRegistration() { reset(); }

    void reset() noexcept;

private:
    int m_slot = -1;
};

// Registers a child that leads its own process group, for as long as the object lives.
class ChildRegistration {
public:
    ChildRegistration() = default;
    explicit ChildRegistration(pid_t groupLeader);
    ChildRegistration(ChildRegistration&& other) noexcept;
    ChildRegistration& operator=(ChildRegistration&& other) noexcept;
    ChildRegistration(const ChildRegistration&) = delete;
    ChildRegistration& operator=(const ChildRegistration&) = delete;
    ~ChildRegistration() { reset(); }

    void reset() noexcept;

private:
    int m_slot = -1;
};

// Kills every registered child group, waits until each leader has died so none can write
// again, removes every registered file and ends the process with `status`. Only
// async-signal-safe calls: it may run inside a signal handler.
[[noreturn]] void killChildrenRemoveFilesAndExit(int status) noexcept;

} // namespace ExitCleanup
} // namespace glintwork
