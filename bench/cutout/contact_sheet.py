#!/usr/bin/python3
"""Render photographs beside their cut-outs over a checkerboard, one row per photograph.

  contact_sheet.py OUT.png PHOTO CUTOUT [PHOTO CUTOUT ...]
  contact_sheet.py --run OUT.png PHOTO...    # cuts the photographs out first with glintwork-cli

--run uses build/dev/glintwork-cli (or $GLINTWORK_CLI) in lossless mode. Each row is scaled
to 320 pixels high. Needs numpy and python3-skimage.
"""

import os
import subprocess
import sys
import tempfile

import numpy as np
from skimage import io, transform

ROW_HEIGHT = 320
SQUARE = 16


def rgba(path):
    image = io.imread(path)
    if image.ndim == 2:
        image = np.stack([image] * 3, axis=-1)
    if image.dtype != np.uint8:
        image = (image / np.iinfo(image.dtype).max * 255).round().astype(np.uint8)
    if image.shape[2] == 3:
        image = np.concatenate([image, np.full(image.shape[:2] + (1,), 255, np.uint8)], axis=2)
    return image.astype(np.float32) / 255


def scaled(image):
    width = round(image.shape[1] * ROW_HEIGHT / image.shape[0])
    return transform.resize(image, (ROW_HEIGHT, width), order=1, anti_aliasing=True)


def over_checkerboard(image):
    y, x = np.mgrid[:image.shape[0], :image.shape[1]]
    board = np.where(((y // SQUARE) + (x // SQUARE)) % 2 == 0, 0.8, 0.6)[..., None]
    alpha = image[..., 3:4]
    return image[..., :3] * alpha + board * (1 - alpha)


def sheet(pairs):
    rows = []
    for photo, cutout in pairs:
        left = scaled(rgba(photo))[..., :3]
        right = over_checkerboard(scaled(rgba(cutout)))
        rows.append(np.concatenate([left, np.ones((ROW_HEIGHT, 8, 3)), right], axis=1))
    width = max(r.shape[1] for r in rows)
    padded = [np.pad(r, ((0, 8), (0, width - r.shape[1]), (0, 0)), constant_values=1) for r in rows]
    return (np.concatenate(padded, axis=0) * 255).round().astype(np.uint8)


def cut_out(photos, folder):
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    cli = os.environ.get("GLINTWORK_CLI", os.path.join(root, "build", "dev", "glintwork-cli"))
    subprocess.run([cli, "cutout", "--quiet", "--output", folder, *photos], check=False)
    pairs = []
    for photo in photos:
        stem = os.path.splitext(os.path.basename(photo))[0]
        cutout = os.path.join(folder, stem + "-cutout.png")
        if os.path.exists(cutout):
            pairs.append((photo, cutout))
        else:
            print(f"{photo}: no cut-out", file=sys.stderr)
    return pairs


def main(argv):
    if len(argv) >= 3 and argv[1] == "--run":
        with tempfile.TemporaryDirectory() as folder:
            io.imsave(argv[2], sheet(cut_out(argv[3:], folder)), check_contrast=False)
        return 0
    if len(argv) < 4 or len(argv) % 2 != 0:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    pairs = list(zip(argv[2::2], argv[3::2]))
    io.imsave(argv[1], sheet(pairs), check_contrast=False)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
