#pragma once

#include <cstddef>

#include <QByteArray>
#include <QString>

namespace glintwork::FileWriting {

// Writes every byte, through interruptions; 0, or the errno of the write that failed.
[[nodiscard]] int writeAll(int fd, const char* data, std::size_t size);

// The file appears at `path` only once it is complete, so a failure never leaves a
// partial file behind: the bytes go to a hidden file beside it, registered for removal
// should the program have to quit before it is done. The system's reason for a failure
// ("No space left on device") is kept: throws ImageServiceError (writeFailed).
void writeWhole(const QString& path, const QByteArray& bytes);

} // namespace glintwork::FileWriting
