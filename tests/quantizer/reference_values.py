#!/usr/bin/python3
"""Independent reference values for test_quantizer, computed from the algorithm's definition
with NumPy rather than from our C++ code. Run with /usr/bin/python3; paste the output into
QuantizerReferenceTest.cpp when a definition changes."""

import math

import numpy as np

f32 = np.float32
MASK64 = (1 << 64) - 1


def rotl(x, k):
    return ((x << k) | (x >> (64 - k))) & MASK64


class Xoroshiro128pp:
    def __init__(self, s0=0xE220A8397B1DCDAF, s1=0x6E789E6AA1B965F4):
        self.s0, self.s1 = s0, s1

    def next(self):
        s0, s1 = self.s0, self.s1
        result = (rotl((s0 + s1) & MASK64, 17) + s0) & MASK64
        t = s0 ^ s1
        self.s0 = rotl(s0, 49) ^ t ^ ((t << 21) & MASK64)
        self.s1 = rotl(t, 28)
        return result

    def index(self, n):
        if n == 1 << 32:
            return self.next() & 0xFFFFFFFF
        threshold = ((1 << 32) - n) % n
        while True:
            m = (self.next() & 0xFFFFFFFF) * n
            if (m & 0xFFFFFFFF) >= threshold:
                return m >> 32


def decode(c):
    return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4


def encode(c):
    return 12.92 * c if c <= 0.0031308 else 1.055 * c ** (1 / 2.4) - 0.055


LINEAR = [f32(decode(i / 255.0)) for i in range(256)]
M1 = [[f32(v) for v in row] for row in (
    (0.4122214708, 0.5363325363, 0.0514459929),
    (0.2119034982, 0.6806995451, 0.1073969566),
    (0.0883024619, 0.2817188376, 0.6299787005))]
M2 = [[f32(v) for v in row] for row in (
    (0.2104542553, 0.7936177850, -0.0040720468),
    (1.9779984951, -2.4285922050, 0.4505937099),
    (0.0259040371, 0.7827717662, -0.8086757660))]
M3 = [[f32(v) for v in row] for row in (
    (1.0, 0.3963377774, 0.2158037573),
    (1.0, -0.1055613458, -0.0638541728),
    (1.0, -0.0894841775, -1.2914855480))]
M4 = [[f32(v) for v in row] for row in (
    (4.0767416621, -3.3077115913, 0.2309699292),
    (-1.2684380046, 2.6097574011, -0.3413193965),
    (-0.0041960863, -0.7034186147, 1.7076147010))]


def dot(row, v):
    # Left to right, each step rounded to single precision; no fused multiply-add.
    return f32(f32(f32(row[0] * v[0]) + f32(row[1] * v[1])) + f32(row[2] * v[2]))


def oklab(rgb):
    lin = [LINEAR[c] for c in rgb]
    lms = [dot(M1[i], lin) for i in range(3)]
    root = [f32(np.cbrt(np.float64(x))) for x in lms]  # correctly rounded cube root
    return [dot(M2[i], root) for i in range(3)]


def srgb8(lab):
    # The inverse's first column is 1: L + 0.396 a + 0.216 b, added in that order.
    lms_ = [f32(f32(lab[0] + f32(M3[i][1] * lab[1])) + f32(M3[i][2] * lab[2])) for i in range(3)]
    lms = [f32(f32(x * x) * x) for x in lms_]
    out = []
    for i in range(3):
        lin = dot(M4[i], lms)
        lin = min(max(lin, f32(2.0 ** -13)), f32(1.0 - 2.0 ** -24))
        out.append(int(math.floor(encode(float(lin)) * 255.0 + 0.5)))
    return out


def single_color_image(width, height, pixel):
    return [pixel(x, y) for y in range(height) for x in range(width)]


def quantize_to_one_color(pixels):
    labs = [oklab(p) for p in pixels]
    n = len(labs)
    # Wu with k = 1: the palette is the mean of all pixels, in double precision.
    mean = [f32(sum(float(c[i]) for c in labs) / n) for i in range(3)]
    centroid = list(mean)
    rng = Xoroshiro128pp()
    samples = min(n, 1 << 18)
    count = 0
    for _ in range(samples):
        c = labs[rng.index(n)]
        count += 1
        rate = f32(1.0 / math.sqrt(count))
        centroid = [f32(centroid[i] + f32(f32(c[i] - centroid[i]) * rate)) for i in range(3)]
    return mean, centroid, srgb8(centroid)


def gradient(x, y):
    return (16 * x, 20 * y, (7 * x * y) % 256)


if __name__ == "__main__":
    rng = Xoroshiro128pp()
    print("first outputs:", [hex(rng.next()) for _ in range(4)])
    for n in (1, 3, 1000, (1 << 31) + 1, 4000 * 3000):
        rng = Xoroshiro128pp()
        print(f"indices for n={n}:", [rng.index(n) for _ in range(6)])
    mean, centroid, rgb = quantize_to_one_color(single_color_image(16, 12, gradient))
    print("k=1 gradient 16x12: wu mean", [float(v) for v in mean],
          "refined", [float(v) for v in centroid], "srgb8", rgb)
    mean_rgb = srgb8(mean)
    print("  (the unrefined mean would give", mean_rgb, ")")
    for rgb in ((0, 0, 0), (255, 255, 255), (200, 100, 50), (1, 2, 3), (0, 255, 0)):
        print("round trip", rgb, "->", srgb8(oklab(rgb)), [float(v) for v in oklab(rgb)])
