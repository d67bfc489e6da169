#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage =
    "usage: glintwork-cli compress [--format webp|jpeg|png|heic|avif] [--quality N]\n"
    "                              [--max-width W] [--max-height H] COMMON PATH...\n"
    "       glintwork-cli cutout   [--mode clean-edges|lossless] [--format png|tiff]\n"
    "                              [--export-mask] COMMON PATH...\n"
    "       glintwork-cli upscale  [--style auto|general|anime] [--scale 2|4]\n"
    "                              [--format png|jpeg] COMMON PATH...\n"
    "COMMON: [--output DIR] [--naming original|suffix|custom] [--suffix S] [--prefix P]\n"
    "        [--start N] [--jobs N] [--shard I/N] [--json] [--quiet]\n";

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
