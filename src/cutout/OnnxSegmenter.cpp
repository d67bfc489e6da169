#include "cutout/OnnxSegmenter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cutout/CutoutErrors.h"
#include "inference/InferenceError.h"
#include "inference/Network.h"
#include "platform/ImageServices.h"

namespace glintwork::OnnxSegmenter {

namespace {

QString sidecarPath(const QString& modelPath) {
    const QFileInfo info(modelPath);
    return info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral(".json"));
}

std::array<float, 3> triple(const QJsonObject& object, const char* key,
                            std::array<float, 3> fallback, const QString& fileName) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return fallback;
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != 3)
        throw CutoutErrors::subjectDetectionFailed(
            QStringLiteral("%1: \"%2\" must be a list of three numbers")
                .arg(fileName, QLatin1String(key)));
    std::array<float, 3> result{};
    for (int i = 0; i < 3; ++i) {
        if (!array.at(i).isDouble())
            throw CutoutErrors::subjectDetectionFailed(
                QStringLiteral("%1: \"%2\" must be a list of three numbers")
                    .arg(fileName, QLatin1String(key)));
        result[std::size_t(i)] = float(array.at(i).toDouble());
    }
    return result;
}

int dimension(const QJsonObject& object, const char* key, int fallback, const QString& fileName) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return fallback;
    const double number = value.toDouble(-1);
    if (!value.isDouble() || number < 1 || number > 4096 || number != std::floor(number))
        throw CutoutErrors::subjectDetectionFailed(
            QStringLiteral("%1: \"%2\" must be a whole number from 1 to 4096")
                .arg(fileName, QLatin1String(key)));
    return int(number);
}

bool flag(const QJsonObject& object, const char* key, const QString& fileName) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return false;
    if (!value.isBool())
        throw CutoutErrors::subjectDetectionFailed(
            QStringLiteral("%1: \"%2\" must be true or false").arg(fileName, QLatin1String(key)));
    return value.toBool();
}

// 8-bit RGB or RGBA with straight alpha in sRGB is read where it lies; anything else
// (deeper samples, grey, profiles) goes through the converting copy first. Only the
// network's input size is ever made from it, so a large photograph costs one pass over
// its pixels.
cv::Mat networkInput(const Image& image, const ModelContract& contract) {
    const auto kind = image.colorSpace.kind;
    const int components = image.componentsPerPixel();
    const bool direct =
        !image.isFloat && image.bitsPerComponent == 8 &&
        (kind == ColorSpace::Kind::sRGB || kind == ColorSpace::Kind::deviceRGB) &&
        ((components == 3 && image.alphaInfo == AlphaInfo::none) ||
         (components == 4 && image.alphaInfo == AlphaInfo::last)) &&
        image.bytesPerRow >= image.width * components &&
        image.pixels.size() >= std::size_t(image.bytesPerRow) * std::size_t(image.height);
    const cv::Size size(contract.inputWidth, contract.inputHeight);
    const int interpolation = image.width > contract.inputWidth ? cv::INTER_AREA : cv::INTER_LINEAR;
    cv::Mat resized;
    if (direct) {
        const cv::Mat source(image.height, image.width, CV_8UC(components),
                             const_cast<std::uint8_t*>(image.pixels.data()),
                             std::size_t(image.bytesPerRow));
        cv::resize(source, resized, size, 0, 0, interpolation);
    } else {
        Image rgba;
        try {
            rgba = ImageServices::toRGBA8(image);
        } catch (const Error& error) {
            throw CutoutErrors::subjectDetectionFailed(error.text());
        }
        const cv::Mat source(rgba.height, rgba.width, CV_8UC4, rgba.pixels.data(),
                             std::size_t(rgba.bytesPerRow));
        cv::resize(source, resized, size, 0, 0, interpolation);
    }
    return resized;
}

std::vector<float> inputBlob(const Image& image, const ModelContract& contract) {
    const cv::Mat resized = networkInput(image, contract);
    const int stride = resized.channels();
    const std::size_t plane = std::size_t(contract.inputWidth) * std::size_t(contract.inputHeight);
    std::vector<float> blob(3 * plane);
    float* out = blob.data();
    for (int y = 0; y < resized.rows; ++y) {
        const auto* row = resized.ptr<std::uint8_t>(y);
        for (int x = 0; x < resized.cols; ++x) {
            const std::size_t at =
                std::size_t(y) * std::size_t(contract.inputWidth) + std::size_t(x);
            for (int c = 0; c < 3; ++c) {
                const int from = contract.bgr ? 2 - c : c;
                const float value = float(row[stride * x + from]) / 255.0f;
                out[std::size_t(c) * plane + at] =
                    (value - contract.mean[std::size_t(c)]) / contract.std[std::size_t(c)];
            }
        }
    }
    return blob;
}

} // namespace

ModelContract readContract(const QString& modelPath) {
    ModelContract contract;
    const QString path = sidecarPath(modelPath);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return contract;
    const QString name = info.fileName();
    // Opened without waiting and checked once open: a FIFO or a device put where the
    // description belongs would block the run or never end.
    constexpr qint64 largestDescription = 1 << 20;
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        throw CutoutErrors::subjectDetectionFailed(
            QStringLiteral("%1 could not be read").arg(name));
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > largestDescription) {
        ::close(descriptor);
        throw CutoutErrors::subjectDetectionFailed(
            QStringLiteral("%1 is not a regular file of at most 1 MB").arg(name));
    }
    QFile file;
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        throw CutoutErrors::subjectDetectionFailed(
            QStringLiteral("%1 could not be read").arg(name));
    }
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(file.read(largestDescription), &parseError);
    if (!document.isObject())
        throw CutoutErrors::subjectDetectionFailed(
            QStringLiteral("%1 is not a JSON object: %2").arg(name, parseError.errorString()));
    const QJsonObject object = document.object();
    contract.inputWidth = dimension(object, "inputWidth", contract.inputWidth, name);
    contract.inputHeight = dimension(object, "inputHeight", contract.inputHeight, name);
    const QString order =
        object.value(QStringLiteral("channelOrder")).toString(QStringLiteral("RGB"));
    if (order != QStringLiteral("RGB") && order != QStringLiteral("BGR"))
        throw CutoutErrors::subjectDetectionFailed(
            QStringLiteral("%1: \"channelOrder\" must be \"RGB\" or \"BGR\"").arg(name));
    contract.bgr = order == QStringLiteral("BGR");
    contract.mean = triple(object, "mean", contract.mean, name);
    contract.std = triple(object, "std", contract.std, name);
    for (float deviation : contract.std) {
        if (!(deviation > 0.0f))
            throw CutoutErrors::subjectDetectionFailed(
                QStringLiteral("%1: \"std\" values must be positive").arg(name));
    }
    contract.sigmoid = flag(object, "sigmoid", name);
    contract.normalize = flag(object, "normalize", name);
    return contract;
}

namespace {

// The pass's working memory goes as soon as the mask is out: the rest of the cut-out (the
// compositing at the photograph's full size) needs the room more.
inference::PassOptions releasingOptions() {
    inference::PassOptions options;
    options.releaseWorkingMemory = true;
    return options;
}

} // namespace

struct Network::State {
    std::shared_ptr<inference::Network> net;
};

Network::Network(const QString& modelPath)
    : m_contract(readContract(modelPath)), m_fileName(QFileInfo(modelPath).fileName()),
      m_state(std::make_unique<State>()) {
    try {
        m_state->net = inference::Network::load(QFile::encodeName(modelPath).toStdString());
        const inference::Network& net = *m_state->net;
        // A segmentation network takes one RGB picture of the contract's size and gives one
        // plane: anything else in this slot is the wrong file, refused before any pass.
        const inference::Shape input{1, 3, m_contract.inputHeight, m_contract.inputWidth};
        if (net.inputs().size() != 1)
            throw inference::InferenceError(m_fileName.toStdString() + " takes " +
                                            std::to_string(net.inputs().size()) +
                                            " inputs; a segmentation network takes one picture");
        inference::Shape output;
        try {
            output = net.outputShapes({input}).front();
        } catch (const inference::InferenceError&) {
            // Without its description the network is offered the default size; the missing
            // file is what the user can mend.
            const QFileInfo sidecar(sidecarPath(modelPath));
            if (sidecar.exists())
                throw;
            throw CutoutErrors::subjectDetectionFailed(
                QStringLiteral("%1 did not accept its input, and %2, which gives its input size "
                               "and scaling, is missing beside it")
                    .arg(m_fileName, sidecar.fileName()));
        }
        std::int64_t planes = 1;
        for (std::size_t d = 0; d + 2 < output.size(); ++d)
            planes *= output[d];
        if (output.size() < 2 || planes != 1)
            throw inference::InferenceError(
                QStringLiteral("%1 is not a segmentation network: its output has %2 channels; one "
                               "was expected")
                    .arg(m_fileName)
                    .arg(planes)
                    .toStdString());
    } catch (const inference::InferenceError& error) {
        throw CutoutErrors::subjectDetectionFailed(QString::fromStdString(error.what()));
    }
}

Network::~Network() = default;

MaskPixelBuffer Network::run(const Image& image) const {
    if (image.isEmpty())
        throw CutoutErrors::subjectDetectionFailed(QStringLiteral("the image has no pixels"));
    const ModelContract& contract = m_contract;
    std::vector<float> blob = inputBlob(image, contract);
    inference::OutputTensor output;
    try {
        output = std::move(m_state->net
                               ->run({{m_state->net->inputs().front().name,
                                       {1, 3, contract.inputHeight, contract.inputWidth},
                                       blob.data()}},
                                     {}, releasingOptions())
                               .front());
    } catch (const inference::InferenceError& error) {
        throw CutoutErrors::subjectDetectionFailed(QString::fromStdString(error.what()));
    }
    blob = {};

    // [1, 1, H, W], [1, H, W] or [H, W]: one plane, whatever the leading ones.
    const auto dims = output.shape.size();
    if (dims < 2)
        throw CutoutErrors::maskGenerationFailed(
            QStringLiteral("the network's output is not a float plane"));
    const int height = int(output.shape[dims - 2]);
    const int width = int(output.shape[dims - 1]);
    std::size_t planes = 1;
    for (std::size_t d = 0; d + 2 < dims; ++d)
        planes *= std::size_t(output.shape[d]);
    if (planes != 1)
        throw CutoutErrors::maskGenerationFailed(
            QStringLiteral("the network's output has %1 channels; one was expected").arg(planes));

    MaskPixelBuffer buffer;
    buffer.format = MaskSampleFormat::float32;
    buffer.width = width;
    buffer.height = height;
    buffer.bytesPerRow = std::size_t(width) * sizeof(float);
    std::vector<float>& values = output.data;
    if (contract.sigmoid) {
        for (float& v : values)
            v = 1.0f / (1.0f + std::exp(-v));
    }
    if (contract.normalize) {
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        const float lo = *low;
        const float range = *high - *low;
        for (float& v : values)
            v = range > 0 ? (v - lo) / range : 0.0f;
    }
    buffer.bytes.resize(values.size() * sizeof(float));
    std::memcpy(buffer.bytes.data(), values.data(), buffer.bytes.size());
    return buffer;
}

MaskPixelBuffer subjectMask(const Network& network, const Image& image) {
    const MaskPixelBuffer output = network.run(image);
    const cv::Mat plane(output.height, output.width, CV_32F,
                        const_cast<std::uint8_t*>(output.bytes.data()), output.bytesPerRow);
    double maximum = 0;
    cv::minMaxLoc(plane, nullptr, &maximum);
    if (!(maximum >= 0.5))
        throw CutoutErrors::noSubjectFound();
    // Bytes first, by the packing rule, then enlarged: interpolating bytes is several times
    // cheaper than floats at 16 megapixels and differs by at most one level.
    cv::Mat bytes(plane.size(), CV_8U);
    for (int y = 0; y < plane.rows; ++y) {
        const float* from = plane.ptr<float>(y);
        std::uint8_t* to = bytes.ptr<std::uint8_t>(y);
        for (int x = 0; x < plane.cols; ++x)
            to[x] = floatSampleToByte(from[x]);
    }
    MaskPixelBuffer scaled;
    scaled.format = MaskSampleFormat::byte;
    scaled.width = image.width;
    scaled.height = image.height;
    scaled.bytesPerRow = std::size_t(image.width);
    scaled.bytes.resize(scaled.bytesPerRow * std::size_t(image.height));
    cv::Mat target(image.height, image.width, CV_8U, scaled.bytes.data(), scaled.bytesPerRow);
    cv::resize(bytes, target, target.size(), 0, 0, cv::INTER_LINEAR);
    return scaled;
}

} // namespace glintwork::OnnxSegmenter
