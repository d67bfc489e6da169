#pragma once

#include <cstdint>
#include <vector>

#include <QString>

#include "platform/DescribedError.h"
#include "platform/Image.h"

namespace glintwork {

// The "Clean Edges" cut-out: the source rendered as 8-bit RGBA, the matte cleaned of
// stray islands, the soft edge recoloured from the confident subject so no background
// colour bleeds into it, and the cleaned matte as straight alpha.
namespace CleanEdgeCompositor {

class CompositingError : public DescribedError {
public:
    enum class Kind { invalidDimensions, contextCreationFailed, outputCreationFailed };

    explicit CompositingError(Kind kind) : m_kind(kind) {}
    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] QString description() const override;

    friend bool operator==(const CompositingError&, const CompositingError&) = default;

private:
    Kind m_kind;
};

// The matte may have any size; it is rescaled to the image's. The result is packed
// 8-bit RGBA with straight alpha, in the source's colour space when that is RGB, else
// in device RGB. Throws CompositingError.
[[nodiscard]] Image composite(const Image& image, const Image& matte);

// The two passes on packed buffers of width × height entries, exposed for tests and the
// benchmark. `alpha` holds the matte as bytes (alpha = byte ÷ 255).
void removeSmallComponents(std::vector<std::uint8_t>& alpha, int width, int height);
void decontaminate(std::vector<std::uint8_t>& rgba, const std::vector<std::uint8_t>& alpha,
                   int width, int height);

} // namespace CleanEdgeCompositor
} // namespace glintwork
