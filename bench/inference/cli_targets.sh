#!/usr/bin/env bash
# The whole program's runs the executor is judged by, each under /usr/bin/time (wall seconds,
# CPU-seconds, peak resident memory), then bare OpenCV passes of the same networks from
# bench_inference for comparison. Photographs are made from scikit-image's samples.
#   bench/inference/cli_targets.sh build/dev [WORK_FOLDER] [--long]
# --long adds a 2000 × 1500 photograph at 4x with Fast and with Best (Best takes minutes).
set -euo pipefail
build=$(cd "$1" && pwd)
work=${2:-/tmp/glintwork-cli-targets}
long=0
[[ "${3:-}" == --long || "${2:-}" == --long ]] && long=1
[[ "$work" == --long ]] && work=/tmp/glintwork-cli-targets
cli="$build/glintwork-cli"
export GLINTWORK_RESOURCES="$build/Resources"
rm -rf "$work"
mkdir -p "$work/in"
/usr/bin/python3 - "$work/in" <<'PY'
import sys
import numpy as np
import skimage.data as data
from PIL import Image
out = sys.argv[1]
rng = np.random.default_rng(7)
def photo(image, size, name):
    big = Image.fromarray(image).convert("RGB").resize(size, Image.BICUBIC)
    pixels = np.asarray(big).astype(np.float32) + rng.normal(0, 2.5, (size[1], size[0], 3))
    Image.fromarray(np.clip(pixels, 0, 255).astype(np.uint8)).save(f"{out}/{name}", quality=90)
for i, sample in enumerate([data.astronaut(), data.chelsea(), data.coffee(), data.rocket()]):
    photo(sample, (2310, 1730), f"four-{i}.jpg")
Image.fromarray(data.astronaut()).save(f"{out}/photo512.png")
Image.fromarray(data.astronaut()[60:220, 170:330]).save(f"{out}/photo160.png")
photo(data.coffee(), (2000, 1500), "photo2000x1500.jpg")
PY
timed() {
    local label=$1
    shift
    /usr/bin/time -f "$label: %e s wall, %U + %S CPU-s, peak %M KB (exit %x)" "$@" --quiet 2>&1 |
        grep -v '^glintwork' || true
}
four=("$work"/in/four-*.jpg)
timed "cutout, four 4-MP photographs, 1 at once" "$cli" cutout -j 1 -o "$work/out-c1" "${four[@]}"
timed "cutout, four 4-MP photographs, 2 at once" "$cli" cutout -j 2 -o "$work/out-c2" "${four[@]}"
timed "upscale --fast -s 4, 512 x 512" "$cli" upscale --fast -s 4 -o "$work/out-f" "$work/in/photo512.png"
timed "upscale -s 4 (Best), 160 x 160" "$cli" upscale -s 4 -o "$work/out-b" "$work/in/photo160.png"
if ((long)); then
    timed "upscale --fast -s 4, 2000 x 1500" "$cli" upscale --fast -s 4 -o "$work/out-lf" "$work/in/photo2000x1500.jpg"
    timed "upscale -s 4 (Best), 2000 x 1500" "$cli" upscale -s 4 -o "$work/out-lb" "$work/in/photo2000x1500.jpg"
fi
"$build/bench_inference" "$build/Resources/models" --opencv-only | grep -v "^onednn"
