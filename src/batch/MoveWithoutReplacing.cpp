#include "batch/MoveWithoutReplacing.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include "batch/FileService.h"
#include "naming/OutputNamer.h"
#include "platform/Error.h"
#include "platform/FileWriting.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace glintwork {

namespace {

// A publish that keeps losing its name to other writers gives up rather than spin.
constexpr int kMaxPublishAttempts = 100;

class UniqueFd {
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    [[nodiscard]] int get() const { return m_fd; }
    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    // Closes now so that a failing close (a full disk on a network share) can be seen.
    [[nodiscard]] bool close() {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

[[noreturn]] void fail(const QString& destination, int error) {
    throw Error(ErrorKind::fileSystemFailed,
                QCoreApplication::translate("MoveWithoutReplacing", "Could not save %1: %2")
                    .arg(destination, systemErrorText(error)),
                {.file = destination, .errorNumber = error});
}

int renameNoReplace(const char* from, const char* to) {
#if defined(__linux__) && defined(__GLIBC__) &&                                                    \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 28))
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
#elif defined(__linux__) && defined(SYS_renameat2)
    return int(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
#else
    (void)from;
    (void)to;
    errno = ENOSYS;
    return -1;
#endif
}

// The file system (or the kernel) does not offer the operation at all, as opposed to
// refusing it for this file.
bool isUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// The last resort: not atomic, but the exclusive create still claims the name, so nothing
// that is there is ever replaced.
bool copyExclusively(const QByteArray& from, const QByteArray& to, const QString& destination) {
    UniqueFd in(::open(from.constData(), O_RDONLY | O_CLOEXEC));
    if (!in.isOpen())
        fail(destination, errno);
    UniqueFd out(::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!out.isOpen()) {
        if (errno == EEXIST)
            return false;
        fail(destination, errno);
    }
    std::array<char, 65536> buffer{};
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        error = FileWriting::writeAll(out.get(), buffer.data(), std::size_t(n));
        if (error != 0)
            break;
    }
    if (error == 0 && !out.close())
        error = errno;
    if (error != 0) {
        ::unlink(to.constData());
        fail(destination, error);
    }
    ::unlink(from.constData());
    return true;
}

} // namespace

bool moveWithoutReplacing(const QString& source, const QString& destination, MoveMethod method) {
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(destination);

    if (method == MoveMethod::automatic) {
        if (renameNoReplace(from.constData(), to.constData()) == 0)
            return true;
        const int error = errno;
        if (error == EEXIST)
            return false;
        if (!isUnsupported(error))
            fail(destination, error);
    }

    if (method != MoveMethod::exclusiveCopy) {
        if (::link(from.constData(), to.constData()) == 0) {
            // A source that cannot be removed is only a stray temporary file; the caller
            // removes it with the rest of its temporaries.
            ::unlink(from.constData());
            return true;
        }
        const int error = errno;
        if (error == EEXIST)
            return false;
        // Hard links are missing on some file systems (FAT, many network shares).
        if (!isUnsupported(error) && error != EPERM && error != EMLINK)
            fail(destination, error);
    }

    return copyExclusively(from, to, destination);
}

PartFile::PartFile(const QString& folder)
    : m_path(folder + QStringLiteral("/.") + QUuid::createUuid().toString(QUuid::WithoutBraces) +
             QStringLiteral(".part")),
      m_abruptExit(m_path) {
    // A throw from here on unregisters the name with the member that holds it; nothing was
    // created under it.
    FileService::ensureDirectory(QUrl::fromLocalFile(folder));
    const int fd =
        ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        throw Error(
            ErrorKind::fileSystemFailed,
            QCoreApplication::translate("ImageConverter", "Could not write to the folder %1: %2")
                .arg(folder, systemErrorText(error)),
            {.file = folder, .errorNumber = error});
    }
    ::close(fd);
}

void PartFile::remove() noexcept {
    if (!m_path.isEmpty())
        ::unlink(QFile::encodeName(m_path).constData());
    m_path.clear();
    m_abruptExit.reset();
}

namespace {

// A name longer than the file system takes is shortened in the middle of its stem, with
// room left for a "-N" number should the shortened name be taken.
[[nodiscard]] QUrl fittedToFileSystem(const QUrl& url, const QSet<QUrl>& reserved) {
    constexpr qsizetype kNumberRoom = 6;
    const QFileInfo info(url.toLocalFile());
    const QString extension =
        info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const qsizetype limit = OutputNamer::nameLimit(info.absolutePath());
    if (QFile::encodeName(info.fileName()).size() <= limit)
        return url;
    const QString stem =
        OutputNamer::fittedStem(info.completeBaseName(), extension, limit - kNumberRoom);
    return OutputNamer::ensureUnique(
        QUrl::fromLocalFile(info.absolutePath() + QLatin1Char('/') + stem + extension), reserved);
}

} // namespace

QUrl publishPartFile(PartFile& part, const QUrl& wanted, const QSet<QUrl>& reserved) {
    const QUrl firstChoice = fittedToFileSystem(wanted, reserved);
    // A name that was itself numbered past a taken one is numbered again from that one:
    // img-02-2, not img-02-1-1.
    const QUrl origin = OutputNamer::unnumbered(firstChoice, reserved);
    QUrl target = firstChoice;
    for (int attempt = 0; attempt < kMaxPublishAttempts; ++attempt) {
        if (moveWithoutReplacing(part.path(), target.toLocalFile())) {
            part.published();
            return target;
        }
        target = OutputNamer::ensureUnique(origin, reserved);
    }
    throw Error(ErrorKind::fileSystemFailed,
                QCoreApplication::translate("ImageConverter", "Could not find a free name for %1")
                    .arg(firstChoice.toLocalFile()),
                {.file = firstChoice.toLocalFile()});
}

} // namespace glintwork
