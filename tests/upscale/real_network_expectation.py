#!/usr/bin/python3
# Prints the stored expectations of RealNetworkTest.cpp and UpscaleModelTest.cpp.
#
#   real_network_expectation.py NAME.param NAME.bin
#
# Builds the same 32 x 24 test image as the C++ tests (test::realNetworkImage), runs it
# through the PyTorch definition (ml-conversion/compare_with_pytorch.py) of the network in
# the ncnn pair: RRDBNet for realesrgan-x4plus and realesrgan-x4plus-anime, SRVGGNetCompact
# for realesrgan-x4fast and realesr-animevideov3. Rounds the result (128 x 96 at 4x) to
# bytes and prints the mean of every 8 x 8 block, channel by channel, as a C++ initializer.
# Needs python3-torch; the test itself does not.

import os
import sys

import numpy as np
import torch

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../ml-conversion"))
from compare_with_pytorch import load_ncnn_network  # noqa: E402

WIDTH, HEIGHT, BLOCK = 32, 24, 8


def test_image():
    image = np.zeros((HEIGHT, WIDTH, 3), np.uint8)
    for y in range(HEIGHT):
        for x in range(WIDTH):
            inside = (x - 20) ** 2 + (y - 10) ** 2 <= 36
            image[y, x] = (x * 255 // (WIDTH - 1), y * 255 // (HEIGHT - 1),
                           220 if inside else 30 + (x * y) % 7 * 10)
    return image


def main():
    torch.set_num_threads(2)
    net = load_ncnn_network(sys.argv[1], sys.argv[2])
    source = test_image().astype(np.float32) / 255.0
    with torch.no_grad():
        result = net(torch.from_numpy(source.transpose(2, 0, 1)[None].copy()))[0].numpy()
    pixels = np.clip(np.round(result.transpose(1, 2, 0) * 255.0), 0, 255)
    h, w = pixels.shape[0] // BLOCK, pixels.shape[1] // BLOCK
    means = pixels.reshape(h, BLOCK, w, BLOCK, 3).mean(axis=(1, 3))
    rows = []
    for y in range(h):
        rows.append("    " + ", ".join(f"{means[y, x, c]:.2f}" for x in range(w) for c in range(3)) + ",")
    print("\n".join(rows))


if __name__ == "__main__":
    main()
