#include "platform/ExitCleanup.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <utility>

#include <sys/wait.h>
#include <unistd.h>

#include <QFile>

namespace glintwork::ExitCleanup {

namespace {

// Several files and one child per job in flight, on machines with many cores.
constexpr int kSlots = 1024;

// A file slot is claimed (free → writing), filled, then published (→ ready); the handler
// only reads slots that are ready, so it never sees a half-copied path.
enum SlotState : int { freeSlot = 0, writingSlot = 1, readySlot = 2 };

struct FileSlot {
    std::atomic<int> state{freeSlot};
    char path[PATH_MAX];
};

std::array<FileSlot, kSlots> g_files;
std::array<std::atomic<pid_t>, kSlots> g_children{};

// pid_t is int here but need not be everywhere.
// NOLINTNEXTLINE(misc-redundant-expression)
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free,
              "the slots are read from a signal handler");

} // namespace

FileRegistration::FileRegistration(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty() || native.size() >= PATH_MAX)
        return;
    for (int i = 0; i < kSlots; ++i) {
        int expected = freeSlot;
        if (!g_files[std::size_t(i)].state.compare_exchange_strong(expected, writingSlot))
            continue;
        std::memcpy(g_files[std::size_t(i)].path, native.constData(),
                    std::size_t(native.size()) + 1);
        g_files[std::size_t(i)].state.store(readySlot);
        m_slot = i;
        return;
    }
}

FileRegistration::FileRegistration(FileRegistration&& other) noexcept
    : m_slot(std::exchange(other.m_slot, -1)) {}

FileRegistration& FileRegistration::operator=(FileRegistration&& other) noexcept {
    if (this != &other) {
        reset();
        m_slot = std::exchange(other.m_slot, -1);
    }
    return *this;
}

void FileRegistration::reset() noexcept {
    if (m_slot >= 0)
        g_files[std::size_t(m_slot)].state.store(freeSlot);
    m_slot = -1;
}

ChildRegistration::ChildRegistration(pid_t groupLeader) {
    if (groupLeader <= 0)
        return;
    for (int i = 0; i < kSlots; ++i) {
        pid_t expected = 0;
        if (g_children[std::size_t(i)].compare_exchange_strong(expected, groupLeader)) {
            m_slot = i;
            return;
        }
    }
}

ChildRegistration::ChildRegistration(ChildRegistration&& other) noexcept
    : m_slot(std::exchange(other.m_slot, -1)) {}

ChildRegistration& ChildRegistration::operator=(ChildRegistration&& other) noexcept {
    if (this != &other) {
        reset();
        m_slot = std::exchange(other.m_slot, -1);
    }
    return *this;
}

void ChildRegistration::reset() noexcept {
    if (m_slot >= 0)
        g_children[std::size_t(m_slot)].store(0);
    m_slot = -1;
}

void killChildrenRemoveFilesAndExit(int status) noexcept {
    for (auto& child : g_children) {
        if (const pid_t leader = child.load(); leader > 0)
            ::kill(-leader, SIGKILL);
    }
    // A child killed in the middle of a system call may still complete it; only once it
    // is dead can it no longer create the file we are about to remove. The waiting job
    // reaps it, so it is left unreaped here.
    for (auto& child : g_children) {
        if (const pid_t leader = child.load(); leader > 0) {
            siginfo_t info{};
            while (::waitid(P_PID, id_t(leader), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
            }
        }
    }
    for (auto& file : g_files) {
        if (file.state.load() == readySlot)
            ::unlink(file.path);
    }
    ::_exit(status);
}

} // namespace glintwork::ExitCleanup
