#include "platform/ColorProfile.h"

#include <array>
#include <cmath>
#include <memory>

#include <lcms2.h>

namespace glintwork::ColorProfile {

namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};

// sRGB's colorants adapted to D50, as sRGB profiles record them.
constexpr std::array<cmsCIEXYZ, 3> kSRGBColorants{{
    {0.4361, 0.2225, 0.0139},
    {0.3851, 0.7169, 0.0971},
    {0.1431, 0.0606, 0.7141},
}};

bool near(double a, double b, double tolerance) {
    return std::abs(a - b) <= tolerance;
}

double sRGBToLinear(double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

} // namespace

bool isSRGB(const QByteArray& iccProfile) {
    if (iccProfile.isEmpty())
        return false;
    const std::unique_ptr<void, ProfileCloser> profile(
        cmsOpenProfileFromMem(iccProfile.constData(), cmsUInt32Number(iccProfile.size())));
    if (!profile || cmsGetColorSpace(profile.get()) != cmsSigRgbData)
        return false;
    const std::array<cmsTagSignature, 3> colorants{cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                                   cmsSigBlueColorantTag};
    const std::array<cmsTagSignature, 3> curves{cmsSigRedTRCTag, cmsSigGreenTRCTag,
                                                cmsSigBlueTRCTag};
    for (std::size_t c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile.get(), colorants[c]));
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile.get(), curves[c]));
        if (!xyz || !curve)
            return false; // a LUT-based profile: not the plain sRGB shape
        if (!near(xyz->X, kSRGBColorants[c].X, 0.01) || !near(xyz->Y, kSRGBColorants[c].Y, 0.01) ||
            !near(xyz->Z, kSRGBColorants[c].Z, 0.01))
            return false;
        // A gamma of 2.2 differs from sRGB's curve by about 0.01 at worst; other spaces
        // sharing sRGB's primaries (Rec. 709's camera curve, linear light) by far more.
        for (const double v : {0.02, 0.1, 0.25, 0.5, 0.75, 0.9}) {
            if (!near(cmsEvalToneCurveFloat(curve, cmsFloat32Number(v)), sRGBToLinear(v), 0.015))
                return false;
        }
    }
    return true;
}

} // namespace glintwork::ColorProfile
