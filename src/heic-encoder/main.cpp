// glintwork-heic-encoder QUALITY INPUT OUTPUT
//
// Encodes INPUT as HEIC at QUALITY (0–1) into OUTPUT. The converter runs it as a child
// process, like the other encoders, because the HEVC encoder cannot be interrupted: a
// cancelled conversion ends this process instead of waiting for the encoder to finish.
//
// Exit status: 0 written; 65 the input could not be decoded; 1 anything else, with the
// reason on standard error.

#include <cstdio>

#include <QFile>
#include <QString>

#include "platform/ImageServices.h"

namespace {

constexpr int kUndecodableInput = 65;

int fail(const QString& reason) {
    std::fprintf(stderr, "%s\n", reason.toLocal8Bit().constData());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    using namespace glintwork;
    if (argc != 4)
        return fail(QStringLiteral("usage: glintwork-heic-encoder QUALITY INPUT OUTPUT"));
    bool ok = false;
    const double quality = QString::fromLocal8Bit(argv[1]).toDouble(&ok);
    if (!ok || quality < 0 || quality > 1)
        return fail(QStringLiteral("the quality must be a number from 0 to 1"));

    Image image;
    try {
        image = ImageServices::decode(QFile::decodeName(argv[2]));
    } catch (const Error& error) {
        if (error.kind() != ErrorKind::imageUnreadable)
            return fail(error.text());
        std::fprintf(stderr, "%s\n", error.text().toLocal8Bit().constData());
        return kUndecodableInput;
    }
    QByteArray heic;
    try {
        heic = ImageServices::encodeHEIC(image, quality);
    } catch (const Error& error) {
        return fail(error.text());
    }
    // The output is the converter's own unfinished file; it removes it when we fail.
    QFile output(QFile::decodeName(argv[3]));
    if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        output.write(heic) != heic.size() || !output.flush())
        return fail(output.errorString());
    output.close();
    if (output.error() != QFileDevice::NoError)
        return fail(output.errorString());
    return 0;
}
