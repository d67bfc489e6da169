#include "platform/FileWriting.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include "platform/ExitCleanup.h"
#include "platform/ImageServices.h"

namespace glintwork::FileWriting {

namespace {

[[noreturn]] void throwWriteFailed(int error) {
    throw ImageServiceError::writeFailed(error);
}

} // namespace

int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        data += n;
        size -= std::size_t(n);
    }
    return 0;
}

void writeWhole(const QString& path, const QByteArray& bytes) {
    const QString part = QFileInfo(path).absolutePath() + QStringLiteral("/.") +
                         QUuid::createUuid().toString(QUuid::WithoutBraces) +
                         QStringLiteral(".part");
    const ExitCleanup::FileRegistration abruptExit(part);
    const QByteArray nativePart = QFile::encodeName(part);
    const int fd = ::open(nativePart.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        throwWriteFailed(errno);
    int error = writeAll(fd, bytes.constData(), std::size_t(bytes.size()));
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(nativePart.constData(), QFile::encodeName(path).constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(nativePart.constData());
        throwWriteFailed(error);
    }
}

} // namespace glintwork::FileWriting
