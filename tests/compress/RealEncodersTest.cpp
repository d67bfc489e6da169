#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include <QFile>

#include "platform/ProcessRunner.h"
#include "compress/ToolManager.h"
#include "platform/CancellationToken.h"
#include "support/TestSupport.h"

// The encoders the build links into Resources/bin, run with the command lines the
// converter gives them. Absent encoders are skipped, never passed.
namespace glintwork {
namespace {

// A 4 × 2 uncompressed true-colour TGA, stored top row first.
QByteArray smallTga() {
    QByteArray tga(18, '\0');
    tga[2] = 2;  // uncompressed true colour
    tga[12] = 4; // width
    tga[14] = 2; // height
    tga[16] = 24;
    tga[17] = 0x20; // top-left origin
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            tga.append(char(40 * x));       // blue
            tga.append(char(100 + 50 * y)); // green
            tga.append(char(200));          // red
        }
    }
    return tga;
}

struct JpegFrame {
    int marker;
    int width;
    int height;
};

std::optional<JpegFrame> jpegFrame(const QByteArray& jpeg) {
    const auto byte = [&](qsizetype i) { return int(quint8(jpeg.at(i))); };
    if (jpeg.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8)
        return std::nullopt;
    qsizetype pos = 2;
    while (pos + 9 < jpeg.size() && byte(pos) == 0xFF) {
        const int marker = byte(pos + 1);
        const int length = (byte(pos + 2) << 8) | byte(pos + 3);
        if (marker >= 0xC0 && marker <= 0xC2)
            return JpegFrame{marker, (byte(pos + 7) << 8) | byte(pos + 8),
                             (byte(pos + 5) << 8) | byte(pos + 6)};
        pos += 2 + length;
    }
    return std::nullopt;
}

class RealEncoders : public ::testing::Test {
protected:
    // cjpeg's output is the input of the other encoders' tests.
    QString makeJpeg() {
        if (!ToolManager::isToolAvailable(QStringLiteral("cjpeg")))
            return {};
        const QString tga = m_scratch.writeFile(QStringLiteral("in put.tga"), smallTga());
        const QByteArray jpeg = runProcess(
            ToolManager::toolPath(QStringLiteral("cjpeg")),
            {QStringLiteral("-quality"), QStringLiteral("80"), QStringLiteral("-optimize"),
             QStringLiteral("-progressive"), QStringLiteral("-targa"), tga},
            true, m_token);
        return m_scratch.writeFile(QStringLiteral("in put.jpg"), jpeg);
    }

    static QByteArray readAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    test::ScratchDir m_scratch;
    std::shared_ptr<CancellationToken> m_token = std::make_shared<CancellationToken>();
};

TEST_F(RealEncoders, CjpegWritesAProgressiveJpegToStandardOutput) {
    if (!ToolManager::isToolAvailable(QStringLiteral("cjpeg")))
        GTEST_SKIP() << "cjpeg is not in Resources/bin (Debian package libjpeg-turbo-progs)";
    const QByteArray jpeg = readAll(makeJpeg());
    ASSERT_GT(jpeg.size(), 4);
    EXPECT_TRUE(jpeg.endsWith("\xFF\xD9"));
    const auto frame = jpegFrame(jpeg);
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->marker, 0xC2) << "not progressive";
    EXPECT_EQ(frame->width, 4);
    EXPECT_EQ(frame->height, 2);
}

TEST_F(RealEncoders, CjpegRejectsAnUnreadableInputWithItsOwnText) {
    if (!ToolManager::isToolAvailable(QStringLiteral("cjpeg")))
        GTEST_SKIP() << "cjpeg is not in Resources/bin (Debian package libjpeg-turbo-progs)";
    const QString bogus = m_scratch.writeFile(QStringLiteral("bogus.tga"), "not a targa file");
    try {
        (void)runProcess(ToolManager::toolPath(QStringLiteral("cjpeg")),
                         {QStringLiteral("-targa"), bogus}, true, m_token);
        ADD_FAILURE() << "cjpeg accepted a bogus file";
    } catch (const std::exception& error) {
        const std::string text = error.what();
        EXPECT_EQ(text.rfind("Process exited with code 1: ", 0), 0u) << text;
        EXPECT_GT(text.size(), std::string("Process exited with code 1: ").size());
    }
}

TEST_F(RealEncoders, CwebpScalesAndWritesTheOutputFile) {
    if (!ToolManager::isToolAvailable(QStringLiteral("cwebp")) ||
        !ToolManager::isToolAvailable(QStringLiteral("cjpeg")))
        GTEST_SKIP() << "cwebp or cjpeg is not in Resources/bin (Debian packages webp, "
                        "libjpeg-turbo-progs)";
    const QString input = makeJpeg();
    const QString output = m_scratch.filePath(QStringLiteral("out put.webp"));
    const QByteArray printed =
        runProcess(ToolManager::toolPath(QStringLiteral("cwebp")),
                   {QStringLiteral("-q"), QStringLiteral("80"), QStringLiteral("-m"),
                    QStringLiteral("6"), QStringLiteral("-resize"), QStringLiteral("2"),
                    QStringLiteral("1"), input, QStringLiteral("-o"), output},
                   false, m_token);
    EXPECT_TRUE(printed.isEmpty());
    const QByteArray webp = readAll(output);
    ASSERT_GE(webp.size(), 30);
    EXPECT_EQ(webp.left(4), "RIFF");
    EXPECT_EQ(webp.mid(8, 8), "WEBPVP8 ");
    const auto le16 = [&](int i) { return int(quint8(webp[i])) | (int(quint8(webp[i + 1])) << 8); };
    EXPECT_EQ(le16(26) & 0x3FFF, 2);
    EXPECT_EQ(le16(28) & 0x3FFF, 1);
}

TEST_F(RealEncoders, AvifencWritesTheOutputFile) {
    if (!ToolManager::isToolAvailable(QStringLiteral("avifenc")) ||
        !ToolManager::isToolAvailable(QStringLiteral("cjpeg")))
        GTEST_SKIP() << "avifenc or cjpeg is not in Resources/bin (Debian packages libavif-bin, "
                        "libjpeg-turbo-progs)";
    const QString input = makeJpeg();
    const QString output = m_scratch.filePath(QStringLiteral("out put.avif"));
    (void)runProcess(ToolManager::toolPath(QStringLiteral("avifenc")),
                     {QStringLiteral("--min"), QStringLiteral("12"), QStringLiteral("--max"),
                      QStringLiteral("12"), QStringLiteral("--speed"), QStringLiteral("4"), input,
                      output},
                     false, m_token);
    const QByteArray avif = readAll(output);
    ASSERT_GE(avif.size(), 12);
    EXPECT_EQ(avif.mid(4, 8), "ftypavif");
}

} // namespace
} // namespace glintwork
