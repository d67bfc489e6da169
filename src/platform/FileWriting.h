#pragma once

#include <cstddef>

#include <QByteArray>
#include <QString>

// The bytes of an encoded file going to the disk. Outputs are written into the hidden part
// file of the batch layer (PartFile), which alone gives them their names, so nothing here
// needs a temporary file of its own.
namespace glintwork::FileWriting {

// Writes every byte, through interruptions; 0, or the errno of the write that failed.
[[nodiscard]] int writeAll(int fd, const char* data, std::size_t size);

// Writes `bytes` as the whole content of the file at `path` (created or emptied). Throws
// Error (writeFailed) with the system's reason ("No space left on device")
// unless every byte was written and the file closed without error; the caller removes the
// file then.
void writeWhole(const QString& path, const QByteArray& bytes);

} // namespace glintwork::FileWriting
