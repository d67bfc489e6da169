#include "cutout/ClassicalSegmenter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "cutout/CutoutErrors.h"
#include "platform/ImageServices.h"

namespace glintwork::ClassicalSegmenter {

namespace {

// Analysis runs on a copy whose longer side is at most this; only the edges are decided
// at full resolution.
constexpr int kAnalysisSide = 480;
// Share of the shorter side that forms the border the background is learnt from.
constexpr double kBorderShare = 0.04;
// Less than this share of the picture standing out is no subject.
constexpr double kMinimumSubjectShare = 0.004;

constexpr int kTerms = 6; // 1, x, y, x², xy, y²

void terms(double x, double y, double* t) {
    t[0] = 1;
    t[1] = x;
    t[2] = y;
    t[3] = x * x;
    t[4] = x * y;
    t[5] = y * y;
}

// A quadratic colour surface per channel, in coordinates normalised to -1…1.
struct BackgroundModel {
    std::array<std::array<double, kTerms>, 3> coefficients{};
    double noise = 1.0; // robust spread of the border's residuals

    [[nodiscard]] std::array<float, 3> at(double x, double y) const {
        double t[kTerms];
        terms(x, y, t);
        std::array<float, 3> colour{};
        for (int c = 0; c < 3; ++c) {
            double v = 0;
            for (int k = 0; k < kTerms; ++k)
                v += coefficients[std::size_t(c)][std::size_t(k)] * t[k];
            colour[std::size_t(c)] = float(v);
        }
        return colour;
    }
};

double normalised(int i, int size) {
    return size > 1 ? 2.0 * i / double(size - 1) - 1.0 : 0.0;
}

// The same coordinates for a position between analysis pixels.
double continuousNormalised(double position, int size) {
    return size > 1 ? 2.0 * position / double(size - 1) - 1.0 : 0.0;
}

struct Sample {
    double x;
    double y;
    std::array<float, 3> colour;
};

BackgroundModel fitBackground(const cv::Mat& rgb) {
    const int w = rgb.cols;
    const int h = rgb.rows;
    const int band = std::max(2, int(std::lround(kBorderShare * std::min(w, h))));
    std::vector<Sample> samples;
    for (int y = 0; y < h; ++y) {
        const auto* row = rgb.ptr<cv::Vec3f>(y);
        const bool edgeRow = y < band || y >= h - band;
        for (int x = 0; x < w; ++x) {
            if (!edgeRow && x >= band && x < w - band)
                continue;
            samples.push_back({normalised(x, w), normalised(y, h), {row[x][0], row[x][1], row[x][2]}});
        }
    }
    BackgroundModel model;
    std::vector<double> residuals(samples.size());
    std::vector<bool> inlier(samples.size(), true);
    // A subject touching the border (an object on a table) must not bend the surface:
    // refit without the samples that stand far out from the previous fit.
    for (int round = 0; round < 4; ++round) {
        cv::Mat normal = cv::Mat::zeros(kTerms, kTerms, CV_64F);
        cv::Mat rhs = cv::Mat::zeros(kTerms, 3, CV_64F);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            if (!inlier[i])
                continue;
            double t[kTerms];
            terms(samples[i].x, samples[i].y, t);
            for (int a = 0; a < kTerms; ++a) {
                for (int b = 0; b < kTerms; ++b)
                    normal.at<double>(a, b) += t[a] * t[b];
                for (int c = 0; c < 3; ++c)
                    rhs.at<double>(a, c) += t[a] * samples[i].colour[std::size_t(c)];
            }
        }
        cv::Mat solution;
        cv::solve(normal, rhs, solution, cv::DECOMP_SVD);
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < kTerms; ++k)
                model.coefficients[std::size_t(c)][std::size_t(k)] = solution.at<double>(k, c);

        std::vector<double> inlierResiduals;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const auto expected = model.at(samples[i].x, samples[i].y);
            double sum = 0;
            for (int c = 0; c < 3; ++c) {
                const double d = samples[i].colour[std::size_t(c)] - expected[std::size_t(c)];
                sum += d * d;
            }
            residuals[i] = std::sqrt(sum);
            if (inlier[i])
                inlierResiduals.push_back(residuals[i]);
        }
        auto middle = inlierResiduals.begin() + std::ptrdiff_t(inlierResiduals.size() / 2);
        std::nth_element(inlierResiduals.begin(), middle, inlierResiduals.end());
        model.noise = std::max(1.0, 1.4826 * *middle);
        const double cut = std::max(6.0 * model.noise, 12.0);
        for (std::size_t i = 0; i < samples.size(); ++i)
            inlier[i] = residuals[i] <= cut;
    }
    return model;
}

// Euclidean distance of every pixel from the background surface.
cv::Mat residualMap(const cv::Mat& rgb, const BackgroundModel& model) {
    cv::Mat residual(rgb.size(), CV_32F);
    for (int y = 0; y < rgb.rows; ++y) {
        const auto* row = rgb.ptr<cv::Vec3f>(y);
        auto* out = residual.ptr<float>(y);
        const double ny = normalised(y, rgb.rows);
        for (int x = 0; x < rgb.cols; ++x) {
            const auto expected = model.at(normalised(x, rgb.cols), ny);
            const float dr = row[x][0] - expected[0];
            const float dg = row[x][1] - expected[1];
            const float db = row[x][2] - expected[2];
            out[x] = std::sqrt(dr * dr + dg * dg + db * db);
        }
    }
    return residual;
}

// Weak regions are kept only where they reach a strong pixel (hysteresis).
cv::Mat hysteresis(const cv::Mat& residual, float weak, float strong) {
    const cv::Mat weakMask = residual > weak;
    const cv::Mat strongMask = residual > strong;
    cv::Mat labels;
    const int count = cv::connectedComponents(weakMask, labels, 8, CV_32S);
    std::vector<bool> keep(std::size_t(count), false);
    for (int y = 0; y < labels.rows; ++y) {
        const auto* l = labels.ptr<int>(y);
        const auto* s = strongMask.ptr<std::uint8_t>(y);
        for (int x = 0; x < labels.cols; ++x)
            if (s[x])
                keep[std::size_t(l[x])] = true;
    }
    keep[0] = false;
    cv::Mat result(residual.size(), CV_8U);
    for (int y = 0; y < labels.rows; ++y) {
        const auto* l = labels.ptr<int>(y);
        auto* out = result.ptr<std::uint8_t>(y);
        for (int x = 0; x < labels.cols; ++x)
            out[x] = keep[std::size_t(l[x])] ? 255 : 0;
    }
    return result;
}

// Holes enclosed by the subject that are small next to it are part of it (a light label
// on a light backdrop); large enclosed areas stay background (the inside of a ring).
void fillSmallHoles(cv::Mat& mask) {
    cv::Mat inverse = 255 - mask;
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(inverse, labels, stats, centroids, 4, CV_32S);
    const double subject = cv::countNonZero(mask);
    for (int label = 1; label < count; ++label) {
        const int left = stats.at<int>(label, cv::CC_STAT_LEFT);
        const int top = stats.at<int>(label, cv::CC_STAT_TOP);
        const int width = stats.at<int>(label, cv::CC_STAT_WIDTH);
        const int height = stats.at<int>(label, cv::CC_STAT_HEIGHT);
        const bool touchesBorder = left == 0 || top == 0 || left + width == mask.cols ||
                                   top + height == mask.rows;
        if (touchesBorder || stats.at<int>(label, cv::CC_STAT_AREA) > 0.05 * subject)
            continue;
        mask.setTo(255, labels == label);
    }
}

void keepSubstantialRegions(cv::Mat& mask) {
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S);
    int largest = 0;
    for (int label = 1; label < count; ++label)
        largest = std::max(largest, stats.at<int>(label, cv::CC_STAT_AREA));
    const double minimum = std::max(0.05 * largest, 0.001 * double(mask.total()));
    for (int label = 1; label < count; ++label)
        if (stats.at<int>(label, cv::CC_STAT_AREA) < minimum)
            mask.setTo(0, labels == label);
}

} // namespace

MaskPixelBuffer segment(const Image& image) {
    if (image.isEmpty())
        throw CutoutErrors::subjectDetectionFailed(QStringLiteral("the image has no pixels"));
    Image rgba;
    try {
        rgba = ImageServices::toRGBA8(image);
    } catch (const Error& error) {
        throw CutoutErrors::subjectDetectionFailed(error.text());
    }
    const int w = rgba.width;
    const int h = rgba.height;
    const cv::Mat full(h, w, CV_8UC4, rgba.pixels.data(), std::size_t(rgba.bytesPerRow));

    const double scale = std::min(1.0, double(kAnalysisSide) / std::max(w, h));
    const cv::Size smallSize(std::max(1, int(std::lround(w * scale))), std::max(1, int(std::lround(h * scale))));
    cv::Mat small;
    cv::resize(full, small, smallSize, 0, 0, cv::INTER_AREA);
    cv::Mat smallRGB;
    cv::cvtColor(small, smallRGB, cv::COLOR_RGBA2RGB);
    smallRGB.convertTo(smallRGB, CV_32FC3);
    // A light blur keeps sensor noise and fine texture from deciding the outline.
    cv::GaussianBlur(smallRGB, smallRGB, cv::Size(3, 3), 0);

    const BackgroundModel model = fitBackground(smallRGB);
    const cv::Mat residual = residualMap(smallRGB, model);
    const auto weak = float(std::max(3.0 * model.noise, 14.0));
    const auto strong = float(std::max(6.0 * model.noise, 30.0));
    cv::Mat subject = hysteresis(residual, weak, strong);
    cv::morphologyEx(subject, subject, cv::MORPH_CLOSE,
                     cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3)));
    keepSubstantialRegions(subject);
    fillSmallHoles(subject);
    if (cv::countNonZero(subject) < kMinimumSubjectShare * double(subject.total()))
        throw CutoutErrors::noSubjectFound();

    // Full resolution: inside and outside come from the analysis; along the outline each
    // pixel's own distance from the background decides how much of it is subject, which
    // gives anti-aliased edges their partial alpha.
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::Mat grown, shrunk;
    cv::dilate(subject, grown, kernel);
    cv::erode(subject, shrunk, kernel);
    const cv::Mat edgeBand = grown != shrunk;
    // The subject's own typical distance from the background near each edge pixel.
    cv::Mat inside, insideResidual;
    shrunk.convertTo(inside, CV_32F, 1.0 / 255.0);
    cv::multiply(residual, inside, insideResidual);
    const cv::Size spread(9, 9);
    cv::blur(insideResidual, insideResidual, spread);
    cv::blur(inside, inside, spread);

    MaskPixelBuffer buffer;
    buffer.format = MaskSampleFormat::byte;
    buffer.width = w;
    buffer.height = h;
    buffer.bytesPerRow = std::size_t(w);
    buffer.bytes.resize(std::size_t(w) * std::size_t(h));
    const double toSmallX = double(smallSize.width) / w;
    const double toSmallY = double(smallSize.height) / h;
    cv::parallel_for_(cv::Range(0, h), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const int sy = std::min(smallSize.height - 1, int(y * toSmallY));
            const auto* band = edgeBand.ptr<std::uint8_t>(sy);
            const auto* decided = subject.ptr<std::uint8_t>(sy);
            const auto* in = full.ptr<std::uint8_t>(y);
            std::uint8_t* out = buffer.bytes.data() + std::size_t(y) * std::size_t(w);
            const double ny = continuousNormalised((y + 0.5) * toSmallY - 0.5, smallSize.height);
            for (int x = 0; x < w; ++x) {
                const int sx = std::min(smallSize.width - 1, int(x * toSmallX));
                if (!band[sx]) {
                    out[x] = decided[sx];
                    continue;
                }
                const double nx = continuousNormalised((x + 0.5) * toSmallX - 0.5, smallSize.width);
                const auto expected = model.at(nx, ny);
                float sum = 0;
                for (int c = 0; c < 3; ++c) {
                    const float d = float(in[4 * x + c]) - expected[std::size_t(c)];
                    sum += d * d;
                }
                const float distance = std::sqrt(sum);
                const float weight = inside.at<float>(sy, sx);
                const float typical =
                    weight > 0.01f ? insideResidual.at<float>(sy, sx) / weight : strong * 2.0f;
                const float low = weak * 0.5f;
                const float high = std::max(typical * 0.8f, weak * 1.5f);
                const float alpha = std::clamp((distance - low) / (high - low), 0.0f, 1.0f);
                out[x] = std::uint8_t(std::lround(alpha * 255.0f));
            }
        }
    });
    return buffer;
}

} // namespace glintwork::ClassicalSegmenter
