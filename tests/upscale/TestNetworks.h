#pragma once

#include <utility>
#include <vector>

#include "inference/Network.h"

#include <QString>

#include "platform/Image.h"

namespace glintwork::test {

// Tiny stand-ins for the upscale networks, written by Debian's python3-onnx into a folder:
// nearest-neighbour 4x, so every expected output pixel is known exactly.
enum class TestNetwork {
    nearest4xAnySize,  // input "x" [1, 3, h, w], output "output"
    nearest4xFixed512, // input "x" [1, 3, 512, 512]
    nearest4xRenamed,  // input "pixels", output "sr_out"
    doubling2xAnySize, // nearest 2x
    slow4xAnySize,     // nearest 4x behind seconds of 64-channel convolutions on 512 × 512
    random4xWithTail,  // random convolutions, then two 2x enlargements with convolutions;
                       // the enlarging tail stored apart to run in strips
    random4xWhole,     // the same network without the tail stored apart
    blur4xAnySize,     // each pixel the mean of its 3 × 3 neighbourhood (edges repeated),
                       // then nearest 4x: shows what a tile is padded with
    blur4xFixed512,    // the same on a [1, 3, 512, 512] input
};

// Writes the network to `path`; nothing (with the reason in *why) when python3 or its onnx
// module is missing.
[[nodiscard]] bool writeTestNetwork(TestNetwork network, const QString& path, QString* why);

// The installed networks are checked against an independent implementation of the same
// networks on the same weights: PyTorch's, run once by real_network_expectation.py on the
// same image. What is stored is the mean of every 8 x 8 block of the result, per channel, so
// a wrong weight, a swapped channel or a misplaced tile shows as a large difference, while
// the last-bit differences between two float implementations do not.
inline constexpr int kRealNetworkWidth = 32, kRealNetworkHeight = 24, kRealNetworkBlock = 8;
// Must stay the image real_network_expectation.py builds.
[[nodiscard]] Image realNetworkImage();
// The result is realNetworkImage() times `factor`, and its block means are `means` (row by
// row, three channels each) within `tolerance` levels.
void expectBlockMeans(const Image& result, int factor, const double* means, double tolerance = 0.5);
// Float32, and where the CPU has bf16 the executor's own choice, which may be bf16 (8 bits of
// mantissa), each with how far a block mean may stray in it: half a level and 1.5 levels.
// Each test that uses them leaves the executor at its automatic choice.
[[nodiscard]] std::vector<std::pair<inference::Precision, double>> precisionsToCheck();

} // namespace glintwork::test
