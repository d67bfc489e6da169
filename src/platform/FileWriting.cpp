#include "platform/FileWriting.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include <QFile>

#include "platform/ImageServices.h"

namespace glintwork::FileWriting {

namespace {

[[noreturn]] void throwWriteFailed(int error) {
    throw ImageErrors::writeFailed(error);
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
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throwWriteFailed(errno);
    int error = writeAll(fd, bytes.constData(), std::size_t(bytes.size()));
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    if (error != 0)
        throwWriteFailed(error);
}

} // namespace glintwork::FileWriting
