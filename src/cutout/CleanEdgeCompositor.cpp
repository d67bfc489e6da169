#include "cutout/CleanEdgeCompositor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>

#include <QCoreApplication>

#include "cutout/AlphaComposition.h"
#include "cutout/MaskResampling.h"
#include "platform/ImageServices.h"

namespace glintwork::CleanEdgeCompositor {

QString CompositingError::description() const {
    const char* context = "CompositingError";
    switch (m_kind) {
    case Kind::invalidDimensions:
        return QCoreApplication::translate(context, "Image has invalid dimensions.");
    case Kind::contextCreationFailed:
        return QCoreApplication::translate(
            context, "Failed to create a drawing context for clean-edge compositing.");
    case Kind::outputCreationFailed:
        return QCoreApplication::translate(context, "Failed to create the composited image.");
    }
    return {};
}

namespace {

constexpr float kSolidThreshold = 0.1f;
constexpr double kIslandShareOfLargest = 0.08;
constexpr double kIslandShareOfImage = 0.003;
constexpr std::size_t kFloodStackReserve = 1024;
constexpr float kKnownThreshold = 0.9f;
constexpr float kRecolourThreshold = 0.004f;
constexpr int kMaximumPasses = 12;

// The matte is held as bytes; alpha = byte ÷ 255 in single precision, so every threshold
// is decided once per byte value.
struct ByteThresholds {
    std::array<bool, 256> solid{};
    std::array<bool, 256> known{};
    std::array<bool, 256> recolour{};
    ByteThresholds() {
        for (int b = 0; b < 256; ++b) {
            const float alpha = float(b) / 255.0f;
            solid[std::size_t(b)] = alpha > kSolidThreshold;
            known[std::size_t(b)] = alpha >= kKnownThreshold;
            recolour[std::size_t(b)] = alpha > kRecolourThreshold;
        }
    }
};

const ByteThresholds& thresholds() {
    static const ByteThresholds table;
    return table;
}

std::uint8_t roundedByte(float value) {
    if (std::isnan(value))
        return 0;
    return static_cast<std::uint8_t>(std::clamp(std::round(value), 0.0f, 255.0f));
}

int premultiplied(int colour, int alpha) {
    return (colour * alpha + 127) / 255;
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
    const bool depthOK = image.isFloat ? image.bitsPerComponent == 32
                                       : image.bitsPerComponent == 8 || image.bitsPerComponent == 16;
    const int components = image.componentsPerPixel();
    const bool layoutOK = (image.alphaInfo == AlphaInfo::none && components == 3) ||
                          (image.alphaInfo != AlphaInfo::none && image.alphaInfo != AlphaInfo::only &&
                           components == 4);
    return depthOK && layoutOK && image.bitsPerPixel == components * image.bitsPerComponent &&
           image.bytesPerRow >= image.width * image.bytesPerPixel() &&
           image.pixels.size() >= std::size_t(image.bytesPerRow) * std::size_t(image.height - 1) +
                                      std::size_t(image.width) * std::size_t(image.bytesPerPixel());
}

// The source drawn into premultiplied 8-bit R, G, B, A, as a bitmap context would.
std::vector<std::uint8_t> renderPremultipliedRGBA(const Image& image, bool direct) {
    const std::size_t w = std::size_t(image.width);
    const std::size_t h = std::size_t(image.height);
    std::vector<std::uint8_t> rgba(w * h * 4);
    if (direct) {
        const int first = image.alphaFirst() ? 1 : 0;
        const int alphaIndex = image.alphaFirst() ? 0 : 3;
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
                    d[k] = std::uint8_t(premultipliedSource || a == 255 ? std::min(v, a)
                                                                        : premultiplied(v, a));
                }
                d[3] = std::uint8_t(a);
            }
        }
        return rgba;
    }
    const Image converted = ImageServices::toRGBA8(image);
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* s = converted.row(int(y));
        std::uint8_t* d = rgba.data() + y * w * 4;
        for (std::size_t x = 0; x < w * 4; x += 4) {
            const int a = s[x + 3];
            for (int k = 0; k < 3; ++k)
                d[x + k] = std::uint8_t(a == 255 ? s[x + k] : premultiplied(s[x + k], a));
            d[x + 3] = std::uint8_t(a);
        }
    }
    return rgba;
}

} // namespace

void removeSmallComponents(std::vector<std::uint8_t>& alpha, int width, int height) {
    const auto& solid = thresholds().solid;
    const std::size_t n = std::size_t(width) * std::size_t(height);
    std::vector<std::uint32_t> labels(n, 0);
    std::vector<std::size_t> sizes{0}; // sizes[label]; label 0 is "not solid"
    std::vector<std::size_t> stack;
    stack.reserve(kFloodStackReserve);
    for (std::size_t start = 0; start < n; ++start) {
        if (!solid[alpha[start]] || labels[start] != 0)
            continue;
        const auto label = std::uint32_t(sizes.size());
        std::size_t size = 0;
        labels[start] = label;
        stack.push_back(start);
        while (!stack.empty()) {
            const std::size_t index = stack.back();
            stack.pop_back();
            ++size;
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
                    const std::size_t neighbour = std::size_t(ny) * std::size_t(width) + std::size_t(nx);
                    if (solid[alpha[neighbour]] && labels[neighbour] == 0) {
                        labels[neighbour] = label;
                        stack.push_back(neighbour);
                    }
                }
            }
        }
        sizes.push_back(size);
    }
    if (sizes.size() == 1)
        return;
    const std::size_t largest = *std::max_element(sizes.begin() + 1, sizes.end());
    const auto byImage = static_cast<std::size_t>(std::trunc(double(n) * kIslandShareOfImage));
    const auto byLargest = static_cast<std::size_t>(std::trunc(double(largest) * kIslandShareOfLargest));
    const std::size_t minimum = std::max<std::size_t>({byImage, byLargest, 1});
    for (std::size_t i = 0; i < n; ++i) {
        if (labels[i] != 0 && sizes[labels[i]] < minimum)
            alpha[i] = 0;
    }
}

void decontaminate(std::vector<std::uint8_t>& rgba, const std::vector<std::uint8_t>& alpha,
                   int width, int height) {
    const auto& table = thresholds();
    const std::size_t n = std::size_t(width) * std::size_t(height);
    // Pixel states: 0 unknown, 1 known from the start (its bytes are its colour),
    // 2 recoloured (its colour lives in `colour`, found by binary search). Only pixels
    // that may be recoloured get a float colour, so memory follows the edge band, not the
    // image.
    enum : std::uint8_t { unknown = 0, knownFromStart = 1, recoloured = 2 };
    std::vector<std::uint8_t> state(n);
    std::vector<std::uint32_t> candidates;
    for (std::size_t i = 0; i < n; ++i) {
        state[i] = table.known[alpha[i]] ? knownFromStart : unknown;
        if (state[i] == unknown && table.recolour[alpha[i]])
            candidates.push_back(std::uint32_t(i));
    }
    if (candidates.empty())
        return;
    std::vector<std::array<float, 3>> colour(candidates.size());
    std::vector<std::size_t> pending(candidates.size());
    for (std::size_t k = 0; k < pending.size(); ++k)
        pending[k] = k;

    struct Update {
        std::size_t slot;
        std::array<float, 3> value;
    };
    std::vector<Update> updates;
    std::vector<std::size_t> stillPending;
    for (int pass = 0; pass < kMaximumPasses && !pending.empty(); ++pass) {
        updates.clear();
        stillPending.clear();
        // Every read sees the state at the start of the pass: results are applied after.
        for (const std::size_t slot : pending) {
            const std::size_t index = candidates[slot];
            const int x = int(index % std::size_t(width));
            const int y = int(index / std::size_t(width));
            float sum[3] = {0, 0, 0};
            int count = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                const int ny = y + dy;
                if (ny < 0 || ny >= height)
                    continue;
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx;
                    if (nx < 0 || nx >= width)
                        continue;
                    const std::size_t j = std::size_t(ny) * std::size_t(width) + std::size_t(nx);
                    if (state[j] == knownFromStart) {
                        for (int k = 0; k < 3; ++k)
                            sum[k] += float(rgba[4 * j + std::size_t(k)]);
                    } else if (state[j] == recoloured) {
                        const auto at = std::lower_bound(candidates.begin(), candidates.end(),
                                                         std::uint32_t(j));
                        const auto& c = colour[std::size_t(at - candidates.begin())];
                        for (int k = 0; k < 3; ++k)
                            sum[k] += c[std::size_t(k)];
                    } else {
                        continue;
                    }
                    ++count;
                }
            }
            if (count > 0)
                updates.push_back({slot, {sum[0] / float(count), sum[1] / float(count),
                                          sum[2] / float(count)}});
            else
                stillPending.push_back(slot);
        }
        if (updates.empty())
            break;
        for (const Update& update : updates) {
            colour[update.slot] = update.value;
            state[candidates[update.slot]] = recoloured;
        }
        pending.swap(stillPending);
    }
    for (std::size_t slot = 0; slot < candidates.size(); ++slot) {
        const std::size_t index = candidates[slot];
        if (state[index] != recoloured)
            continue;
        for (int k = 0; k < 3; ++k)
            rgba[4 * index + std::size_t(k)] = roundedByte(colour[slot][std::size_t(k)]);
    }
}

Image composite(const Image& image, const Image& matte) {
    const int w = image.width;
    const int h = image.height;
    if (w < 1 || h < 1)
        throw CompositingError(CompositingError::Kind::invalidDimensions);

    const bool rgbSource = image.colorComponentsPerPixel() == 3;
    const bool ownSpace = rgbSource && image.colorSpace.kind != ColorSpace::Kind::none &&
                          image.colorSpace.componentCount == 3;
    const ColorSpace space = ownSpace ? image.colorSpace : ColorSpace::deviceRGB();

    std::vector<std::uint8_t> rgba;
    std::vector<std::uint8_t> alpha;
    try {
        rgba = renderPremultipliedRGBA(image, rgbSource && rendersDirectly(image));
        alpha = maskBytes(matte, w, h);
    } catch (const std::bad_alloc&) {
        throw CompositingError(CompositingError::Kind::contextCreationFailed);
    } catch (const DescribedError&) {
        throw CompositingError(CompositingError::Kind::contextCreationFailed);
    }

    removeSmallComponents(alpha, w, h);
    decontaminate(rgba, alpha, w, h);
    const std::size_t n = std::size_t(w) * std::size_t(h);
    for (std::size_t i = 0; i < n; ++i)
        rgba[4 * i + 3] = roundedByte(float(alpha[i]) / 255.0f * 255.0f);

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
