#include "cutout/CleanEdgeCompositor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <QCoreApplication>

#include "cutout/AlphaComposition.h"
#include "cutout/MaskResampling.h"
#include "platform/Error.h"
#include "platform/ImageServices.h"

namespace glintwork::CleanEdgeCompositor {

namespace {

Error invalidDimensions() {
    return Error(
        ErrorKind::invalidDimensions,
        QCoreApplication::translate("CleanEdgeCompositor", "Image has invalid dimensions."));
}

// The source or the matte could not be turned into the buffers the passes work on.
Error renderingFailed(const QString& reason = {}) {
    return Error(ErrorKind::pixelPreparationFailed,
                 QCoreApplication::translate(
                     "CleanEdgeCompositor",
                     "Failed to create a drawing context for clean-edge compositing."),
                 {.reason = reason});
}

constexpr std::uint8_t kSolidByte = 26; // alpha > 0.1
constexpr double kIslandShareOfLargest = 0.08;
constexpr double kIslandShareOfImage = 0.003;
// A detached part this confident is part of the subject (a ball at a player's foot, a
// hand), however small next to the main part, once it covers 300 pixels of the network's
// 1024 × 1024 view of the image.
constexpr double kConfidentMeanAlpha = 0.8;
constexpr double kConfidentIslandShare = 300.0 / (1024.0 * 1024.0);
constexpr std::size_t kConfidentIslandMinimum = 16;
constexpr std::size_t kFloodStackReserve = 1024;

// The edge band: how far from the outline colours may change.
constexpr double kBandPerTransitionWidth = 1.5;
constexpr double kMinimumBand = 3.0;
constexpr double kMinimumBandCap = 16.0;
constexpr double kBandCapPerLongSide = 1.0 / 48.0;
// Alpha above 0.9 is the subject itself; below 0.75 the estimate applies fully.
constexpr float kKeepAlpha = 0.9f;
constexpr float kFullEstimateAlpha = 0.75f;
constexpr int kTileSize = 128;
constexpr int kWidestLook = 40;

std::uint8_t roundedByte(float value) {
    if (std::isnan(value))
        return 0;
    return static_cast<std::uint8_t>(std::clamp(std::round(value), 0.0f, 255.0f));
}

unsigned sample16(const std::uint8_t* s, ByteOrder16 order) {
    return order == ByteOrder16::little ? unsigned(s[0]) | (unsigned(s[1]) << 8)
                                        : (unsigned(s[0]) << 8) | unsigned(s[1]);
}

// Reads one component of an RGB source as 0–255, rounding deeper samples.
int componentByte(const Image& image, const std::uint8_t* pixel, int index) {
    if (image.isFloat) {
        float v;
        std::memcpy(&v, pixel + 4 * index, 4);
        return std::isnan(v) ? 0 : int(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
    }
    if (image.bitsPerComponent == 16)
        return int((sample16(pixel + 2 * index, image.byteOrder16) * 255u + 32767u) / 65535u);
    return pixel[index];
}

bool rendersDirectly(const Image& image) {
    const bool depthOK = image.isFloat
                             ? image.bitsPerComponent == 32
                             : image.bitsPerComponent == 8 || image.bitsPerComponent == 16;
    const int components = image.componentsPerPixel();
    const bool layoutOK = (image.alphaInfo == AlphaInfo::none && components == 3) ||
                          (image.alphaInfo != AlphaInfo::none && components == 4);
    return depthOK && layoutOK && image.bitsPerPixel == components * image.bitsPerComponent &&
           image.bytesPerRow >= image.width * image.bytesPerPixel() &&
           image.pixels.size() >= std::size_t(image.bytesPerRow) * std::size_t(image.height - 1) +
                                      std::size_t(image.width) * std::size_t(image.bytesPerPixel());
}

// The source as straight 8-bit R, G, B, A: a premultiplied source's colours are divided
// by its alpha, so the cut-out's colours never depend on how the source stored them.
std::vector<std::uint8_t> renderStraightRGBA(const Image& image, bool direct) {
    const std::size_t w = std::size_t(image.width);
    const std::size_t h = std::size_t(image.height);
    if (!direct) {
        Image converted = ImageServices::toRGBA8(image);
        if (converted.bytesPerRow == int(4 * w))
            return std::move(converted.pixels);
        std::vector<std::uint8_t> rgba(w * h * 4);
        for (std::size_t y = 0; y < h; ++y)
            std::memcpy(rgba.data() + y * w * 4, converted.row(int(y)), w * 4);
        return rgba;
    }
    std::vector<std::uint8_t> rgba(w * h * 4);
    constexpr int first = 0;
    constexpr int alphaIndex = 3;
    const bool hasAlpha = image.hasAlpha();
    const bool premultipliedSource = image.isPremultiplied();
    const std::size_t p = std::size_t(image.bytesPerPixel());
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* s = image.row(int(y));
        std::uint8_t* d = rgba.data() + y * w * 4;
        for (std::size_t x = 0; x < w; ++x, s += p, d += 4) {
            const int a = hasAlpha ? componentByte(image, s, alphaIndex) : 255;
            for (int k = 0; k < 3; ++k) {
                const int v = componentByte(image, s, first + k);
                d[k] = std::uint8_t(!premultipliedSource || a == 255 ? v
                                    : a == 0                         ? 0
                                             : std::min(255, (v * 255 + a / 2) / a));
            }
            d[3] = std::uint8_t(a);
        }
    }
    return rgba;
}

bool crossesHalf(std::uint8_t a, std::uint8_t b) {
    return (a >= 128) != (b >= 128);
}

// Outline pixels: alpha crosses one half between this pixel and its right or lower
// neighbour.
bool onOutline(const std::vector<std::uint8_t>& alpha, int width, int height, int x, int y) {
    const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
    return (x + 1 < width && crossesHalf(alpha[i], alpha[i + 1])) ||
           (y + 1 < height && crossesHalf(alpha[i], alpha[i + std::size_t(width)]));
}

// Eight bytes per recoloured pixel: images never exceed 2^32 pixels (decoding stops at 2^28).
struct Recoloured {
    std::uint32_t index;
    std::array<std::uint8_t, 3> colour;
};

// One blur-fusion step: local means of the foreground (weighted by alpha) and of the
// background (weighted by 1 - alpha) over a box of radius r, then the pixel's own residual
// against the compositing equation added back in proportion to its alpha.
void fuse(const cv::Mat& image, const cv::Mat& a3, const cv::Mat& rest3, cv::Mat& fore,
          cv::Mat& back, int radius) {
    const cv::Size box(2 * radius + 1, 2 * radius + 1);
    cv::Mat meanAlpha;
    cv::blur(a3, meanAlpha, box, cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::Mat meanFore;
    cv::blur(fore.mul(a3), meanFore, box, cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::divide(meanFore, meanAlpha + cv::Scalar::all(1e-5), meanFore);
    cv::Mat meanBack;
    cv::blur(back.mul(rest3), meanBack, box, cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::Mat meanRest;
    cv::subtract(cv::Scalar::all(1.0 + 1e-5), meanAlpha, meanRest);
    cv::divide(meanBack, meanRest, meanBack);
    const cv::Mat residual = image - a3.mul(meanFore) - rest3.mul(meanBack);
    fore = meanFore + a3.mul(residual);
    cv::min(cv::max(fore, 0.0), 1.0, fore);
    back = meanBack;
}

} // namespace

namespace {

// Visits the 8-connected solid pixels reachable from `start` (depth first, with an explicit
// stack so that large parts cannot exhaust the call stack), calling visit(index) once for
// each; `claim(index)` marks a pixel taken and says whether it was free and solid.
template <typename Claim, typename Visit>
void floodFill(std::size_t start, int width, int height, std::vector<std::size_t>& stack,
               Claim claim, Visit visit) {
    stack.clear();
    (void)claim(start);
    stack.push_back(start);
    while (!stack.empty()) {
        const std::size_t index = stack.back();
        stack.pop_back();
        visit(index);
        const int x = int(index % std::size_t(width));
        const int y = int(index / std::size_t(width));
        for (int dy = -1; dy <= 1; ++dy) {
            const int ny = y + dy;
            if (ny < 0 || ny >= height)
                continue;
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx;
                if ((dx == 0 && dy == 0) || nx < 0 || nx >= width)
                    continue;
                const std::size_t neighbour =
                    std::size_t(ny) * std::size_t(width) + std::size_t(nx);
                if (claim(neighbour))
                    stack.push_back(neighbour);
            }
        }
    }
}

} // namespace

void removeSmallComponents(std::vector<std::uint8_t>& alpha, int width, int height) {
    // Two floods instead of a label per pixel: the first measures every part (marking
    // visited pixels in one bit each), the second clears the parts that go, starting from
    // their first pixel. At 16 megapixels that saves 60 MB at the cut-out's peak.
    const std::size_t n = std::size_t(width) * std::size_t(height);
    struct Part {
        std::size_t start = 0;
        std::size_t size = 0;
        std::uint64_t alphaSum = 0;
    };
    std::vector<Part> parts;
    std::vector<bool> visited(n, false);
    std::vector<std::size_t> stack;
    stack.reserve(kFloodStackReserve);
    for (std::size_t start = 0; start < n; ++start) {
        if (alpha[start] < kSolidByte || visited[start])
            continue;
        Part part{start, 0, 0};
        floodFill(
            start, width, height, stack,
            [&](std::size_t i) {
                if (alpha[i] < kSolidByte || visited[i])
                    return false;
                visited[i] = true;
                return true;
            },
            [&](std::size_t i) {
                ++part.size;
                part.alphaSum += alpha[i];
            });
        parts.push_back(part);
    }
    if (parts.empty())
        return;
    visited = {};
    const std::size_t largest =
        std::max_element(parts.begin(), parts.end(), [](const Part& a, const Part& b) {
            return a.size < b.size;
        })->size;
    const auto byImage = static_cast<std::size_t>(std::trunc(double(n) * kIslandShareOfImage));
    const auto byLargest =
        static_cast<std::size_t>(std::trunc(double(largest) * kIslandShareOfLargest));
    const std::size_t large = std::max<std::size_t>({byImage, byLargest, 1});
    const std::size_t confidentSize = std::max(
        kConfidentIslandMinimum, std::size_t(std::ceil(double(n) * kConfidentIslandShare)));
    for (const Part& part : parts) {
        const bool confident =
            double(part.alphaSum) >= kConfidentMeanAlpha * 255.0 * double(part.size);
        if (part.size == largest || part.size >= large || (confident && part.size >= confidentSize))
            continue;
        // Cleared pixels are no longer solid, so the flood never returns to them.
        alpha[part.start] = 0;
        floodFill(
            part.start, width, height, stack,
            [&](std::size_t i) {
                if (alpha[i] < kSolidByte)
                    return false;
                alpha[i] = 0;
                return true;
            },
            [](std::size_t) {});
    }
}

double edgeBandWidth(const std::vector<std::uint8_t>& alpha, int width, int height) {
    // Transition widths (1 ÷ the alpha gradient) at the outline, in half pixels.
    constexpr int bins = 2048;
    std::vector<std::size_t> histogram(bins, 0);
    std::size_t count = 0;
    const auto at = [&](int x, int y) {
        return float(alpha[std::size_t(std::clamp(y, 0, height - 1)) * std::size_t(width) +
                           std::size_t(std::clamp(x, 0, width - 1))]) /
               255.0f;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!onOutline(alpha, width, height, x, y))
                continue;
            // The pixel and its neighbour across the outline: the steeper of their slopes.
            const float gx = (at(x + 1, y) - at(x - 1, y)) / 2.0f;
            const float gy = (at(x, y + 1) - at(x, y - 1)) / 2.0f;
            const float gradient = std::max(std::sqrt(gx * gx + gy * gy), 1e-3f);
            ++histogram[std::size_t(std::min(bins - 1, int(2.0f / gradient)))];
            ++count;
        }
    }
    if (count == 0)
        return 0.0;
    std::size_t seen = 0;
    int median = 0;
    while (median < bins - 1 && (seen += histogram[std::size_t(median)]) * 2 < count)
        ++median;
    const double cap =
        std::max(kMinimumBandCap, double(std::max(width, height)) * kBandCapPerLongSide);
    return std::clamp(kBandPerTransitionWidth * (double(median) + 0.5) / 2.0, kMinimumBand, cap);
}

void estimateForeground(std::vector<std::uint8_t>& rgba, const std::vector<std::uint8_t>& alpha,
                        int width, int height) {
    const double band = edgeBandWidth(alpha, width, height);
    if (band <= 0)
        return;
    // Tiles whose pixels may lie within the band: those with an outline tile within reach.
    const int tilesX = (width + kTileSize - 1) / kTileSize;
    const int tilesY = (height + kTileSize - 1) / kTileSize;
    std::vector<bool> outlined(std::size_t(tilesX) * std::size_t(tilesY), false);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (onOutline(alpha, width, height, x, y))
                outlined[std::size_t(y / kTileSize) * std::size_t(tilesX) +
                         std::size_t(x / kTileSize)] = true;
    const int reach = int(std::ceil(band / kTileSize));
    std::vector<cv::Point> tiles;
    for (int ty = 0; ty < tilesY; ++ty)
        for (int tx = 0; tx < tilesX; ++tx) {
            bool near = false;
            for (int y = std::max(0, ty - reach); y <= std::min(tilesY - 1, ty + reach) && !near;
                 ++y)
                for (int x = std::max(0, tx - reach);
                     x <= std::min(tilesX - 1, tx + reach) && !near; ++x)
                    near = outlined[std::size_t(y) * std::size_t(tilesX) + std::size_t(x)];
            if (near)
                tiles.emplace_back(tx, ty);
        }

    // The first step looks far for the colours on either side, the second refines near.
    // The far look is bounded so that a tile's working planes stay a few megabytes.
    const int wide = std::clamp(int(std::lround(2.0 * band)), 4, kWidestLook);
    const int near = std::max(1, wide / 8);
    const int margin = wide + near + 1;
    const auto keepByte = std::uint8_t(std::ceil(kKeepAlpha * 255.0f));
    std::vector<std::vector<Recoloured>> results(tiles.size());
    // Tiles read the original colours and only record theirs, so they may run in any order.
    cv::parallel_for_(cv::Range(0, int(tiles.size())), [&](const cv::Range& range) {
        for (int t = range.start; t < range.end; ++t) {
            const cv::Rect core(tiles[std::size_t(t)].x * kTileSize,
                                tiles[std::size_t(t)].y * kTileSize,
                                std::min(kTileSize, width - tiles[std::size_t(t)].x * kTileSize),
                                std::min(kTileSize, height - tiles[std::size_t(t)].y * kTileSize));
            const int x0 = std::max(0, core.x - margin), y0 = std::max(0, core.y - margin);
            const int x1 = std::min(width, core.x + core.width + margin);
            const int y1 = std::min(height, core.y + core.height + margin);
            const int rw = x1 - x0, rh = y1 - y0;
            cv::Mat image(rh, rw, CV_32FC3), a3(rh, rw, CV_32FC3);
            cv::Mat outline(rh, rw, CV_8U);
            for (int y = 0; y < rh; ++y) {
                auto* colour = image.ptr<cv::Vec3f>(y);
                auto* weight = a3.ptr<cv::Vec3f>(y);
                auto* line = outline.ptr<std::uint8_t>(y);
                for (int x = 0; x < rw; ++x) {
                    const std::size_t i =
                        std::size_t(y0 + y) * std::size_t(width) + std::size_t(x0 + x);
                    colour[x] = cv::Vec3f(float(rgba[4 * i]), float(rgba[4 * i + 1]),
                                          float(rgba[4 * i + 2])) /
                                255.0f;
                    const float a = float(alpha[i]) / 255.0f;
                    weight[x] = cv::Vec3f(a, a, a);
                    line[x] = onOutline(alpha, width, height, x0 + x, y0 + y) ? 0 : 255;
                }
            }
            cv::Mat distance;
            cv::distanceTransform(outline, distance, cv::DIST_L2, cv::DIST_MASK_3);
            cv::Mat rest3;
            cv::subtract(cv::Scalar::all(1.0), a3, rest3);
            cv::Mat fore = image.clone(), back = image.clone();
            fuse(image, a3, rest3, fore, back, wide);
            fuse(image, a3, rest3, fore, back, near);

            auto& out = results[std::size_t(t)];
            for (int y = core.y; y < core.y + core.height; ++y) {
                const auto* estimate = fore.ptr<cv::Vec3f>(y - y0);
                const auto* far = distance.ptr<float>(y - y0);
                for (int x = core.x; x < core.x + core.width; ++x) {
                    const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
                    const float d = far[x - x0];
                    if (alpha[i] == 0 || alpha[i] >= keepByte || d > band)
                        continue;
                    const float a = float(alpha[i]) / 255.0f;
                    const float byAlpha = std::clamp(
                        (kKeepAlpha - a) / (kKeepAlpha - kFullEstimateAlpha), 0.0f, 1.0f);
                    const float byDistance =
                        std::clamp(2.0f * (float(band) - d) / float(band), 0.0f, 1.0f);
                    const float share = byAlpha * byDistance;
                    Recoloured change{std::uint32_t(i), {}};
                    bool differs = false;
                    for (int k = 0; k < 3; ++k) {
                        const float own = float(rgba[4 * i + std::size_t(k)]);
                        change.colour[std::size_t(k)] =
                            roundedByte(own + share * (estimate[x - x0][k] * 255.0f - own));
                        differs = differs ||
                                  change.colour[std::size_t(k)] != rgba[4 * i + std::size_t(k)];
                    }
                    if (differs)
                        out.push_back(change);
                }
            }
        }
    });
    for (const auto& tile : results)
        for (const Recoloured& change : tile)
            std::memcpy(&rgba[4 * change.index], change.colour.data(), 3);
}

Image composite(const Image& image, const Image& matte) {
    const int w = image.width;
    const int h = image.height;
    if (w < 1 || h < 1)
        throw invalidDimensions();

    const bool rgbSource = image.colorComponentsPerPixel() == 3;
    const bool ownSpace = rgbSource && image.colorSpace.kind != ColorSpace::Kind::none &&
                          image.colorSpace.componentCount == 3;
    const ColorSpace space = ownSpace ? image.colorSpace : ColorSpace::deviceRGB();

    std::vector<std::uint8_t> rgba;
    std::vector<std::uint8_t> alpha;
    try {
        rgba = renderStraightRGBA(image, rgbSource && rendersDirectly(image));
        alpha = maskBytes(matte, w, h);
    } catch (const std::bad_alloc&) {
        throw renderingFailed();
    } catch (const Error& error) {
        throw renderingFailed(error.reasonOrText());
    }
    const std::size_t n = std::size_t(w) * std::size_t(h);
    // What the source itself hides stays hidden.
    for (std::size_t i = 0; i < n; ++i)
        alpha[i] = std::min(alpha[i], rgba[4 * i + 3]);

    removeSmallComponents(alpha, w, h);
    requireVisibleSubject(std::size_t(std::count_if(alpha.begin(), alpha.end(),
                                                    [](std::uint8_t a) { return a >= 128; })),
                          n);
    estimateForeground(rgba, alpha, w, h);
    for (std::size_t i = 0; i < n; ++i)
        rgba[4 * i + 3] = alpha[i];

    Image output;
    output.width = w;
    output.height = h;
    output.bitsPerComponent = 8;
    output.bitsPerPixel = 32;
    output.bytesPerRow = 4 * w;
    output.alphaInfo = AlphaInfo::last;
    output.colorSpace = space;
    output.pixels = std::move(rgba);
    return output;
}

} // namespace glintwork::CleanEdgeCompositor
