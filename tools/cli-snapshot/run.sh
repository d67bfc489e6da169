#!/usr/bin/env bash
# Runs the three tools of glintwork-cli over a fixed set of generated inputs, one output
# folder and one log per case, so that two builds can be compared byte for byte:
#   tools/cli-snapshot/run.sh build/dev /tmp/before     (on the old commit)
#   tools/cli-snapshot/run.sh build/dev /tmp/after      (on the new one)
#   diff -r /tmp/before/outputs /tmp/after/outputs
# The logs name the output folder, so compare them after replacing it.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "$1" && pwd)
out=$2
cli="$build/glintwork-cli"
export GLINTWORK_RESOURCES="$build/Resources"
rm -rf "$out"
mkdir -p "$out/outputs" "$out/logs"
IN="$out/inputs"
/usr/bin/python3 "$root/tools/cli-snapshot/make_inputs.py" "$IN"
run() {
    local name=$1
    shift
    mkdir -p "$out/outputs/$name"
    "$cli" "$@" --output "$out/outputs/$name" --jobs 1 --quiet > "$out/logs/$name.log" 2>&1
    echo "rc $?" >> "$out/logs/$name.log"
}
for f in webp jpeg png heic avif; do
    run compress-$f compress --format $f --quality 80 "$IN/astronaut.png" "$IN/chelsea.jpg" \
        "$IN/alpha.png" "$IN/camera-gray.png" "$IN/rotated.jpg"
done
run compress-png-small compress --format png --quality 40 --max-width 100 "$IN/coffee.png" "$IN/alpha.png"
run compress-json compress --format webp --naming suffix --suffix -x --json "$IN/coffee.png"
run cutout-clean cutout --mode clean-edges "$IN/astronaut.png" "$IN/coffee.png" "$IN/rotated.jpg"
run cutout-lossless cutout --mode lossless --export-mask "$IN/coffee.png" "$IN/rotated.jpg"
run cutout-tiff cutout --format tiff "$IN/coffee.png"
run upscale-fast upscale --fast --scale 4 "$IN/camera-gray.png" "$IN/alpha.png"
run upscale-best2 upscale --scale 2 --format jpeg "$IN/alpha.png"
run upscale-anime upscale --style anime --scale 4 "$IN/camera-gray.png"
