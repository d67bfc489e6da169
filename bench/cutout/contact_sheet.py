#!/usr/bin/python3
"""Cut photographs out in both modes, render the results for looking at, and measure them.

  contact_sheet.py OUT.png PHOTO CUTOUT [PHOTO CUTOUT ...]
  contact_sheet.py --run OUT.png PHOTO...         # cuts the photographs out first
  contact_sheet.py --from FOLDER OUT.png PHOTO... # cut-outs made by bench_cutout --both
  contact_sheet.py --composites OUT.png FG... -- BG...

--run uses build/dev/glintwork-cli (or $GLINTWORK_CLI) in both modes; --from takes
FOLDER/STEM-clean.png and FOLDER/STEM-lossless.png, made from one network pass. Each row shows the
photograph, the clean-edges cut-out over black, white and a checkerboard, and 2x crops of the
edge over the checkerboard (clean edges, then lossless). For each photograph it prints the
share of visible pixels whose colour differs by more than 32 levels between the clean-edges and
the lossless cut-out, over the whole picture and outside the edge band (farther from the
outline than 1/48 of the longer side plus two pixels, the widest band the compositor uses), and
the share of pixels at alpha one half or more.

--composites (cut out by build/dev/bench_cutout --both, or $GLINTWORK_BENCH) makes subjects
with known soft alpha: each foreground photograph gets a made
matte with fur along its outline and loose hairs, and is composited over each background. Both
modes cut every composite out; the table gives the alpha's SAD (sum of absolute differences
/ 1000), MSE (x 1000) and gradient error (/ 1000) against the true alpha, and the foreground
error: the mean colour difference (levels) from the true foreground, weighted by the true alpha,
over pixels with 0 < alpha < 0.9. Composites are 2400 pixels wide, so the network's map is
enlarged; the lossless alpha refined by a guided filter (the composite in grey as guide) is
scored beside it.

Needs numpy, scipy and python3-skimage.
"""

import os
import subprocess
import sys
import tempfile

import numpy as np
from scipy import ndimage
from skimage import io, transform

ROW_HEIGHT = 240
COMPOSITE_WIDTH = 2400
# Guided-filter settings tried on the composites' alpha: (radius in pixels, epsilon).
GUIDED = ((4, 1e-3), (8, 1e-3), (8, 1e-2))
SQUARE = 12
CROP = 120


def rgba(path):
    image = io.imread(path)
    if image.ndim == 2:
        image = np.stack([image] * 3, axis=-1)
    if image.shape[2] == 2:
        image = np.concatenate([image[..., :1]] * 3 + [image[..., 1:]], axis=2)
    if image.dtype != np.uint8:
        image = (image / np.iinfo(image.dtype).max * 255).round().astype(np.uint8)
    if image.shape[2] == 3:
        image = np.concatenate([image, np.full(image.shape[:2] + (1,), 255, np.uint8)], axis=2)
    return image.astype(np.float32) / 255


def scaled(image, height=ROW_HEIGHT):
    width = round(image.shape[1] * height / image.shape[0])
    return transform.resize(image, (height, width), order=1, anti_aliasing=True)


def checkerboard(shape, square=SQUARE):
    y, x = np.mgrid[:shape[0], :shape[1]]
    return np.where(((y // square) + (x // square)) % 2 == 0, 0.8, 0.6)[..., None]


def over(image, backdrop):
    alpha = image[..., 3:4]
    return image[..., :3] * alpha + backdrop * (1 - alpha)


def outline_distance(alpha):
    inside = alpha >= 0.5
    edge = inside ^ ndimage.binary_erosion(inside, border_value=1)
    if not edge.any():
        return np.full(alpha.shape, np.inf)
    return ndimage.distance_transform_edt(~edge)


def edge_crop(image, alpha):
    """The CROP x CROP window (at full resolution) holding the most soft edge, shown 2x."""
    soft = ((alpha > 0.05) & (alpha < 0.9)).astype(np.float32)
    if soft.sum() == 0:
        cy, cx = alpha.shape[0] // 2, alpha.shape[1] // 2
    else:
        density = ndimage.uniform_filter(soft, CROP)
        cy, cx = np.unravel_index(np.argmax(density), density.shape)
    y0 = int(np.clip(cy - CROP // 2, 0, max(0, alpha.shape[0] - CROP)))
    x0 = int(np.clip(cx - CROP // 2, 0, max(0, alpha.shape[1] - CROP)))
    window = image[y0:y0 + CROP, x0:x0 + CROP]
    window = np.repeat(np.repeat(window, 2, axis=0), 2, axis=1)
    return transform.resize(window, (ROW_HEIGHT, ROW_HEIGHT), order=0)


def measure(clean, lossless):
    alpha = clean[..., 3]
    visible = alpha > 0
    difference = np.abs(clean[..., :3] - lossless[..., :3]).max(axis=2) * 255 > 32
    band = max(16.0, max(alpha.shape) / 48.0) + 2
    outside = outline_distance(alpha) > band
    count = max(1, int(visible.sum()))
    return (100.0 * (difference & visible).sum() / count,
            100.0 * (difference & visible & outside).sum() / count,
            100.0 * (lossless[..., 3] >= 0.5).mean())


def row(photo, clean, lossless):
    cells = [scaled(rgba(photo))[..., :3]]
    small = scaled(clean)
    for backdrop in (np.zeros((1, 1, 3)), np.ones((1, 1, 3)), checkerboard(small.shape)):
        cells.append(over(small, backdrop))
    for cut in (clean, lossless):
        cells.append(edge_crop(over(cut, checkerboard(cut.shape, SQUARE // 2)), clean[..., 3]))
    gap = np.ones((ROW_HEIGHT, 6, 3))
    return np.concatenate([c for cell in cells for c in (cell, gap)][:-1], axis=1)


def sheet(rows):
    width = max(r.shape[1] for r in rows)
    padded = [np.pad(r, ((0, 6), (0, width - r.shape[1]), (0, 0)), constant_values=1) for r in rows]
    return (np.clip(np.concatenate(padded, axis=0), 0, 1) * 255).round().astype(np.uint8)


def cli():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    return os.environ.get("GLINTWORK_CLI", os.path.join(root, "build", "dev", "glintwork-cli"))


def bench():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    return os.environ.get("GLINTWORK_BENCH", os.path.join(root, "build", "dev", "bench_cutout"))


def cut_out(photos, folder, mode):
    target = os.path.join(folder, mode)
    subprocess.run([cli(), "cutout", "--quiet", "--mode", mode, "--output", target, *photos], check=False)
    found = {}
    for photo in photos:
        stem = os.path.splitext(os.path.basename(photo))[0]
        path = os.path.join(target, stem + "-cutout.png")
        if os.path.exists(path):
            found[photo] = path
    return found


def run(out, photos, made=None):
    with tempfile.TemporaryDirectory() as folder:
        if made:
            clean, lossless = {}, {}
            for photo in photos:
                stem = os.path.splitext(os.path.basename(photo))[0]
                for found, kind in ((clean, "clean"), (lossless, "lossless")):
                    path = os.path.join(made, f"{stem}-{kind}.png")
                    if os.path.exists(path):
                        found[photo] = path
        else:
            clean = cut_out(photos, folder, "clean-edges")
            lossless = cut_out(photos, folder, "lossless")
        report(out, photos, clean, lossless)


def report(out, photos, clean, lossless):
    rows = []
    print(f"{'photo':28s} {'changed %':>10s} {'outside band %':>15s} {'alpha>=0.5 %':>13s}")
    if True:
        for photo in photos:
            name = os.path.basename(photo)
            if photo not in clean or photo not in lossless:
                print(f"{name:28s} no cut-out (refused)")
                continue
            a, b = rgba(clean[photo]), rgba(lossless[photo])
            changed, outside, visible = measure(a, b)
            print(f"{name:28s} {changed:10.2f} {outside:15.3f} {visible:13.2f}")
            rows.append(row(photo, a, b))
    if rows:
        io.imsave(out, sheet(rows), check_contrast=False)


def made_matte(shape, seed):
    """A subject's alpha with soft fur along its outline and loose hairs beyond it."""
    rng = np.random.default_rng(seed)
    h, w = shape
    y, x = np.mgrid[:h, :w].astype(np.float32)
    cy, cx, ry, rx = h * 0.5, w * 0.5, h * 0.33, w * 0.28
    angle = np.arctan2(y - cy, x - cx)
    radius = np.hypot((y - cy) / ry, (x - cx) / rx)
    # Fur: the edge's radius wanders with fine angular noise, blurred into a soft band.
    wobble = np.zeros_like(angle)
    for k in rng.integers(20, 120, 6):
        wobble += 0.02 * np.sin(k * angle + rng.uniform(0, 6.3))
    fur = np.clip((1 + wobble - radius) / 0.06 + 0.5, 0, 1)
    hairs = np.zeros(shape, np.float32)
    for _ in range(160):
        t = rng.uniform(0, 2 * np.pi)
        length = rng.uniform(0.05, 0.2)
        r = np.linspace(0.95, 0.95 + length, 200)
        bend = rng.uniform(-0.3, 0.3)
        py = (cy + np.sin(t + bend * (r - 0.95)) * r * ry).astype(int)
        px = (cx + np.cos(t + bend * (r - 0.95)) * r * rx).astype(int)
        keep = (py >= 0) & (py < h) & (px >= 0) & (px < w)
        hairs[py[keep], px[keep]] = rng.uniform(0.5, 1.0)
    hairs = ndimage.gaussian_filter(hairs, 0.7) * 2.5
    return np.clip(np.maximum(fur, hairs), 0, 1)


def alpha_errors(estimate, truth):
    sad = np.abs(estimate - truth).sum() / 1000
    mse = ((estimate - truth) ** 2).mean() * 1000
    gy, gx = np.gradient(ndimage.gaussian_filter(estimate, 1.4))
    ty, tx = np.gradient(ndimage.gaussian_filter(truth, 1.4))
    gradient = ((np.hypot(gy, gx) - np.hypot(ty, tx)) ** 2).sum() / 1000
    return sad, mse, gradient


def foreground_error(estimate, truth, alpha):
    region = (alpha > 0) & (alpha < 0.9)
    weight = alpha[region]
    difference = np.abs(estimate[..., :3] - truth[..., :3]).mean(axis=2)[region] * 255
    return float((difference * weight).sum() / max(weight.sum(), 1e-6))


def box(image, radius):
    return ndimage.uniform_filter(image, 2 * radius + 1, mode="nearest")


def guided_filter(guide, source, radius, eps):
    """He et al.'s guided filter with a grey guide: source refined to follow guide's edges."""
    mean_i, mean_p = box(guide, radius), box(source, radius)
    var_i = box(guide * guide, radius) - mean_i * mean_i
    cov = box(guide * source, radius) - mean_i * mean_p
    a = cov / (var_i + eps)
    b = mean_p - a * mean_i
    return np.clip(box(a, radius) * guide + box(b, radius), 0, 1)


def composites(out, foregrounds, backgrounds):
    rows = []
    print(f"{'composite':34s} {'mode':12s} {'SAD':>8s} {'MSE':>8s} {'grad':>8s} {'fg err':>8s}")
    with tempfile.TemporaryDirectory() as folder:
        made = []
        for i, fg_path in enumerate(foregrounds):
            # Larger than the network's 1024 x 1024 map, as photographs are: the map is enlarged.
            fg = rgba(fg_path)[..., :3]
            fg = transform.resize(fg, (round(fg.shape[0] * COMPOSITE_WIDTH / fg.shape[1]), COMPOSITE_WIDTH),
                                  order=3, anti_aliasing=False).clip(0, 1)
            alpha = made_matte(fg.shape[:2], i)
            for bg_path in backgrounds:
                bg = transform.resize(rgba(bg_path)[..., :3], fg.shape[:2], order=1, anti_aliasing=True)
                image = fg * alpha[..., None] + bg * (1 - alpha[..., None])
                name = (os.path.splitext(os.path.basename(fg_path))[0] + "-over-" +
                        os.path.splitext(os.path.basename(bg_path))[0])
                path = os.path.join(folder, name + ".png")
                io.imsave(path, (image * 255).round().astype(np.uint8), check_contrast=False)
                made.append((path, name, fg, alpha))
        paths = [m[0] for m in made]
        # One network pass per composite: both cut-outs come from the same mask.
        cut = os.path.join(folder, "cut")
        subprocess.run([bench(), "--both", cut, *paths], check=False, stdout=subprocess.DEVNULL)
        clean, lossless = {}, {}
        for path in paths:
            stem = os.path.splitext(os.path.basename(path))[0]
            for found, kind in ((clean, "clean"), (lossless, "lossless")):
                if os.path.exists(os.path.join(cut, f"{stem}-{kind}.png")):
                    found[path] = os.path.join(cut, f"{stem}-{kind}.png")
        for path, name, fg, alpha in made:
            for mode, found in (("clean-edges", clean), ("lossless", lossless)):
                if path not in found:
                    print(f"{name:34s} {mode:12s} no cut-out")
                    continue
                cut = rgba(found[path])
                sad, mse, gradient = alpha_errors(cut[..., 3], alpha)
                error = foreground_error(cut, fg, alpha)
                print(f"{name:34s} {mode:12s} {sad:8.1f} {mse:8.2f} {gradient:8.1f} {error:8.2f}")
                if mode == "lossless":
                    guide = rgba(path)[..., :3].mean(axis=2)
                    for radius, eps in GUIDED:
                        refined = guided_filter(guide, cut[..., 3], radius, eps)
                        sad, mse, gradient = alpha_errors(refined, alpha)
                        label = f"guided {radius},{eps:g}"
                        print(f"{name:34s} {label:12s} {sad:8.1f} {mse:8.2f} {gradient:8.1f}")
            if path in clean and path in lossless:
                rows.append(row(path, rgba(clean[path]), rgba(lossless[path])))
    if rows:
        io.imsave(out, sheet(rows), check_contrast=False)


def main(argv):
    if len(argv) >= 3 and argv[1] == "--run":
        run(argv[2], argv[3:])
        return 0
    if len(argv) >= 4 and argv[1] == "--from":
        run(argv[3], argv[4:], made=argv[2])
        return 0
    if len(argv) >= 3 and argv[1] == "--composites" and "--" in argv:
        split = argv.index("--")
        composites(argv[2], argv[3:split], argv[split + 1:])
        return 0
    if len(argv) < 4 or len(argv) % 2 != 0:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    rows = []
    for photo, cutout in zip(argv[2::2], argv[3::2]):
        image = rgba(cutout)
        rows.append(row(photo, image, image))
    io.imsave(argv[1], sheet(rows), check_contrast=False)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
