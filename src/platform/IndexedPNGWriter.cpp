#include "platform/IndexedPNGWriter.h"

#include <array>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <unordered_map>
#include <vector>

#include <png.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "platform/ImageServices.h"

namespace glintwork {

namespace {

struct PngWriteState {
    QSaveFile* file = nullptr;
    bool failed = false;
};

void writeData(png_structp png, png_bytep data, png_size_t length) {
    auto* state = static_cast<PngWriteState*>(png_get_io_ptr(png));
    if (state->file->write(reinterpret_cast<const char*>(data), static_cast<qint64>(length)) !=
        static_cast<qint64>(length))
        state->failed = true;
}

void flushData(png_structp) {}

[[noreturn]] void onError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

int bitDepthFor(std::size_t colours) {
    if (colours <= 2)
        return 1;
    if (colours <= 4)
        return 2;
    if (colours <= 16)
        return 4;
    return 8;
}

// How the rows are compressed. Dithered photographs look like noise to zlib: its lazy matcher
// at level 4 gives files as small as level 6 (within about 1.5 %) in a third of the time, and
// filtering palette indices only makes them larger. Graphics made of long runs are another
// matter: with the "up" filter a row that repeats the one above becomes zeros, which level 6
// stores in a fraction of the bytes level 9 needs for the unfiltered rows, and in far less time.
struct Compression {
    int level;
    int filters;
};

Compression compressionFor(bool runHeavy) {
    if (runHeavy)
        return {6, PNG_FILTER_NONE | PNG_FILTER_UP}; // libpng picks one per row
    return {4, PNG_FILTER_NONE};
}

struct PaletteImage {
    const png_color* palette;
    int paletteSize;
    int depth;
    Compression compression;
    const std::uint8_t* indexes;
    int width;
    int height;
    std::uint8_t* row;
    std::size_t rowBytes;
};

// libpng reports errors by longjmp, so this function keeps nothing but plain values and
// the two libpng handles alive across the jump.
bool encode(PngWriteState& state, const PaletteImage& image) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &state, writeData, flushData);
    png_set_compression_level(png, image.compression.level);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, image.compression.filters);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), image.depth, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, image.palette, image.paletteSize);
    png_write_info(png, info);
    const int perByte = 8 / image.depth;
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* src = image.indexes + static_cast<std::size_t>(y) * image.width;
        std::fill(image.row, image.row + image.rowBytes, 0);
        for (int x = 0; x < image.width; ++x) {
            const int shift = 8 - image.depth * (x % perByte + 1);
            image.row[x / perByte] |= static_cast<std::uint8_t>(src[x] << shift);
        }
        png_write_row(png, image.row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return !state.failed;
}

Error writeError(const QString& path, const QString& reason) {
    return ImageErrors::failure(ErrorKind::writeFailed,
                                QCoreApplication::translate("ImageServices", "%1: %2")
                                    .arg(QFileInfo(path).fileName(), reason));
}

} // namespace

bool writeIndexedPNG(const std::uint8_t* rgba, int width, int height, const QString& path) {
    if (!rgba || width < 1 || height < 1)
        throw writeError(path, QStringLiteral("empty image"));
    const std::size_t pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);

    // Index every pixel against a palette built in order of first appearance. A dithered image
    // changes colour at nearly every pixel, so the map is consulted through a small
    // direct-mapped cache that holds a few hundred colours without clashes.
    std::unique_ptr<std::uint8_t[]> indexes(new std::uint8_t[pixelCount]);
    std::unordered_map<std::uint32_t, std::uint8_t> lookup;
    std::vector<png_color> palette;
    palette.reserve(256);
    constexpr std::uint32_t kCacheBits = 12;
    constexpr std::uint32_t kEmpty = 0xFFFFFFFFu; // no 24-bit colour has this key
    std::vector<std::uint32_t> cachedKeys(std::size_t{1} << kCacheBits, kEmpty);
    std::vector<std::uint8_t> cachedIndexes(std::size_t{1} << kCacheBits, 0);
    std::uint32_t lastKey = kEmpty;
    std::uint8_t lastIndex = 0;
    std::size_t repeats = 0;
    for (std::size_t i = 0; i < pixelCount; ++i) {
        const std::uint8_t* p = rgba + 4 * i;
        const std::uint32_t key = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
        if (key == lastKey) {
            ++repeats;
        } else {
            const std::uint32_t slot = (key * 0x9E3779B1u) >> (32 - kCacheBits);
            if (cachedKeys[slot] == key) {
                lastIndex = cachedIndexes[slot];
            } else {
                const auto found = lookup.find(key);
                if (found != lookup.end()) {
                    lastIndex = found->second;
                } else {
                    if (palette.size() == 256)
                        return false;
                    lastIndex = static_cast<std::uint8_t>(palette.size());
                    lookup.emplace(key, lastIndex);
                    palette.push_back(png_color{p[0], p[1], p[2]});
                }
                cachedKeys[slot] = key;
                cachedIndexes[slot] = lastIndex;
            }
            lastKey = key;
        }
        indexes[i] = lastIndex;
    }

    const int depth = bitDepthFor(palette.size());
    const Compression compression = compressionFor(repeats * 2 > pixelCount);
    const int perByte = 8 / depth;
    const std::size_t rowBytes = (static_cast<std::size_t>(width) + perByte - 1) / perByte;
    std::vector<std::uint8_t> row(rowBytes);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw writeError(path, file.errorString());
    PngWriteState state{&file, false};
    const PaletteImage image{palette.data(), static_cast<int>(palette.size()), depth,
                             compression, indexes.get(), width, height, row.data(),
                             rowBytes};
    if (!encode(state, image)) {
        file.cancelWriting();
        throw writeError(path, QStringLiteral("PNG encoding failed"));
    }
    if (state.failed || !file.commit())
        throw writeError(path, file.errorString());
    return true;
}

} // namespace glintwork
