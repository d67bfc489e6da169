#include "upscale/DnnUpscaler.h"

#include <algorithm>
#include <cstring>

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include "inference/InferenceError.h"
#include "inference/Network.h"
#include "platform/CancellationToken.h"
#include "platform/ImageServices.h"
#include "platform/Resources.h"
#include "upscale/UpscaleErrors.h"
#include "upscale/TensorConversion.h"

namespace glintwork {

Q_LOGGING_CATEGORY(lcUpscale, "glintwork.upscale")

namespace {

using inference::Shape;

// Rows of the feature map the enlarging tail takes at once: at 4x with 64 channels a row
// costs the tail about 8 MB of working memory; the halo's rows are computed twice.
constexpr int kTailRows = 48;

int roundUpToMultiple(int value, int multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

TensorView viewOf(std::vector<float>& data, const Shape& shape) {
    TensorView view;
    view.typeCode = static_cast<int>(TensorElementType::float32);
    view.data = data.data();
    view.elementCount = data.size();
    view.shape = shape;
    view.strides.assign(shape.size(), 1);
    for (int d = int(shape.size()) - 2; d >= 0; --d)
        view.strides[std::size_t(d)] = view.strides[std::size_t(d) + 1] * shape[std::size_t(d) + 1];
    return view;
}

} // namespace

// The loaded network and what it needs to be fed.
class DnnUpscaler::Network {
public:
    std::shared_ptr<inference::Network> net;
    std::string input;
    std::string output;
    // Fixed height and width of the input, or nothing when the network takes any size.
    std::optional<std::pair<int, int>> fixedSize;
    // The network's enlarging tail as a network of its own, run on strips of rows of the
    // feature map it starts from (value `from` of `net`): at full size it would hold
    // gigabytes, but each output row depends on only `halo` feature rows either side, so the
    // strips give exactly the whole result.
    struct Tail {
        std::shared_ptr<inference::Network> net;
        std::string from;
        std::string input;
        int halo = 0;
    };
    std::optional<Tail> tail;

    inference::OutputTensor runTail(const inference::OutputTensor& features,
                                    const inference::PassOptions& options,
                                    const std::function<void(double)>& progress) const {
        const Shape& shape = features.shape;
        if (shape.size() != 4)
            throw UpscaleErrors::tensorConversionFailed(QStringLiteral("unexpected feature map"));
        const auto channels = std::size_t(shape[1]);
        const int height = int(shape[2]);
        const auto width = std::size_t(shape[3]);
        inference::OutputTensor result;
        int factor = 0;
        for (int top = 0; top < height; top += kTailRows) {
            const int bottom = std::min(height, top + kTailRows);
            const int from = std::max(0, top - tail->halo);
            const int to = std::min(height, bottom + tail->halo);
            const auto rows = std::size_t(to - from);
            std::vector<float> strip(channels * rows * width);
            for (std::size_t c = 0; c < channels; ++c)
                std::memcpy(strip.data() + c * rows * width,
                            features.data.data() +
                                (c * std::size_t(height) + std::size_t(from)) * width,
                            sizeof(float) * rows * width);
            inference::PassOptions stripOptions;
            stripOptions.cancelled = options.cancelled;
            if (progress)
                stripOptions.progress = [&](double done) {
                    progress((double(top) + done * double(bottom - top)) / double(height));
                };
            const auto outputs = tail->net->run(
                {{tail->input,
                  {1, std::int64_t(channels), std::int64_t(rows), std::int64_t(width)},
                  strip.data()}},
                {}, stripOptions);
            const inference::OutputTensor& out = outputs.front();
            if (result.data.empty()) {
                factor = out.shape.size() == 4 ? int(out.shape[2]) / int(rows) : 0;
                if (factor < 1)
                    throw UpscaleErrors::tensorConversionFailed(
                        QStringLiteral("unexpected tail output"));
                result.shape = {1, out.shape[1], std::int64_t(height) * factor,
                                std::int64_t(width) * factor};
                result.data.resize(
                    std::size_t(result.shape[1] * result.shape[2] * result.shape[3]));
            }
            if (out.shape.size() != 4 || out.shape[1] != result.shape[1] ||
                out.shape[2] != std::int64_t(rows) * factor || out.shape[3] != result.shape[3])
                throw UpscaleErrors::tensorConversionFailed(
                    QStringLiteral("unexpected tail output"));
            const auto outWidth = std::size_t(out.shape[3]);
            const auto outRows = std::size_t(out.shape[2]);
            for (std::size_t c = 0; c < std::size_t(out.shape[1]); ++c)
                std::memcpy(
                    result.data.data() +
                        (c * std::size_t(result.shape[2]) + std::size_t(top * factor)) * outWidth,
                    out.data.data() + (c * outRows + std::size_t((top - from) * factor)) * outWidth,
                    sizeof(float) * std::size_t(bottom - top) * std::size_t(factor) * outWidth);
        }
        return result;
    }

    inference::OutputTensor run(const Shape& shape, const float* data, CancellationToken* token,
                                const std::function<void(double)>& progress) const {
        inference::PassOptions options;
        if (token)
            options.cancelled = [token] { return token->isCancelled(); };
        try {
            if (!tail) {
                options.progress = progress;
                return std::move(net->run({{input, shape, data}}, {output}, options).front());
            }
            // The body costs most of the arithmetic, the tail most of the memory.
            if (progress)
                options.progress = [&](double done) { progress(done * 0.8); };
            // The body's working memory goes before the tail runs.
            options.releaseWorkingMemory = true;
            const inference::OutputTensor features =
                std::move(net->run({{input, shape, data}}, {tail->from}, options).front());
            return runTail(features, options, [&](double done) {
                if (progress)
                    progress(0.8 + done * 0.2);
            });
        } catch (const inference::InferenceCancelled&) {
            throw CancelledError();
        } catch (const inference::InferenceError& error) {
            throw UpscaleErrors::networkFailed(QString::fromStdString(error.what()));
        }
    }
};

DnnUpscaler::DnnUpscaler(UpscaleModel model) : m_model(model) {
    if (const auto path = modelURL(model)) {
        load(*path);
        return;
    }
    if (model == UpscaleModel::x2plus) {
        if (const auto fourX = modelURL(UpscaleModel::x4plus)) {
            load(*fourX);
            m_reduceFromFourX = m_network != nullptr;
        }
    }
}

DnnUpscaler::DnnUpscaler(UpscaleModel model, const QString& networkPath) : m_model(model) {
    load(networkPath);
}

DnnUpscaler::~DnnUpscaler() = default;

std::optional<QString> DnnUpscaler::modelURL(UpscaleModel model) {
    const auto path = Resources::path(QStringLiteral("models/%1.onnx").arg(resourceName(model)));
    if (path && QFileInfo(*path).isFile())
        return path;
    return std::nullopt;
}

bool DnnUpscaler::isAvailable(UpscaleModel model) {
    return modelURL(model) || (model == UpscaleModel::x2plus && modelURL(UpscaleModel::x4plus));
}

void DnnUpscaler::load(const QString& path) {
    auto network = std::make_unique<Network>();
    const QString fileName = QFileInfo(path).fileName();
    try {
        network->net = inference::Network::load(QFile::encodeName(path).toStdString());
        const inference::Network& net = *network->net;
        // An upscaling network takes one RGB picture and gives one back, larger: anything
        // else in this slot is the wrong file, refused before any pass.
        const auto& inputs = net.inputs();
        const auto& outputs = net.outputs();
        const Shape& shape = inputs.front().shape;
        const bool rgbIn = inputs.size() == 1 && shape.size() == 4 &&
                           (shape[0] == 1 || shape[0] < 0) && (shape[1] == 3 || shape[1] < 0);
        if (!rgbIn || outputs.empty())
            throw inference::InferenceError(
                fileName.toStdString() +
                " is not an upscaling network: it does not take one RGB picture");
        network->input = inputs.front().name;
        network->output = outputs.front().name;
        if (shape[2] > 0 && shape[3] > 0)
            network->fixedSize = std::pair{int(shape[2]), int(shape[3])};
        const auto probe =
            network->fixedSize ? Shape{1, 3, shape[2], shape[3]} : Shape{1, 3, 16, 16};
        const Shape out = net.outputShapes({probe}, {network->output}).front();
        const int factor = scaleFactor(m_model);
        if (out.size() != 4 || out[1] != 3 || out[2] < probe[2] * 2 || out[3] < probe[3] * 2 ||
            out[2] % probe[2] != 0 || out[2] / probe[2] != out[3] / probe[3] ||
            (out[2] / probe[2] != factor && out[2] / probe[2] != 4))
            throw inference::InferenceError(
                fileName.toStdString() + " is not an upscaling network for this model: it turns " +
                "1 × 3 × 16 × 16 into " + std::to_string(out.size() == 4 ? out[1] : 0) +
                " channels at another size");

        const auto& metadata = net.metadata();
        const auto value = [&](const char* key) {
            const auto found = metadata.find(key);
            return found == metadata.end() ? std::string() : found->second;
        };
        const std::string split = value("glintwork.tail.split");
        const QByteArray encoded = QByteArray::fromStdString(value("glintwork.tail.onnx"));
        bool haloOK = false;
        const int halo = QString::fromStdString(value("glintwork.tail.halo")).toInt(&haloOK);
        if (!split.empty() && !encoded.isEmpty() && haloOK && halo >= 0 && !network->fixedSize &&
            net.computes(split)) {
            const QByteArray bytes = QByteArray::fromBase64(encoded);
            Network::Tail tail;
            tail.net = inference::Network::fromBytes(bytes.toStdString(),
                                                     fileName.toStdString() + " (tail)");
            if (tail.net->inputs().size() == 1) {
                tail.from = split;
                tail.input = tail.net->inputs().front().name;
                tail.halo = halo;
                network->tail = std::move(tail);
            }
        }
    } catch (const inference::InferenceError& error) {
        m_loadError = QString::fromStdString(error.what());
        qCWarning(lcUpscale) << "network failed to load:" << m_loadError;
        return;
    }
    m_network = std::move(network);
}

Image DnnUpscaler::upscale(const Image& tile, int scale,
                           const std::function<void(double)>& progress) {
    if (!m_network) {
        if (!m_loadError.isEmpty())
            throw UpscaleErrors::networkFailed(m_loadError);
        throw UpscaleErrors::modelNotAvailable(m_model);
    }
    const int networkFactor = m_reduceFromFourX ? 4 : scaleFactor(m_model);
    const int factor = networkFactor == 4 && (m_reduceFromFourX || scale == 2) ? 2 : networkFactor;

    int canvasHeight = kCanvasSize;
    int canvasWidth = kCanvasSize;
    if (m_network->fixedSize) {
        std::tie(canvasHeight, canvasWidth) = *m_network->fixedSize;
    } else if (tile.width < kCanvasSize || tile.height < kCanvasSize) {
        canvasWidth = std::min(kCanvasSize, roundUpToMultiple(std::max(tile.width, 1), 4));
        canvasHeight = std::min(kCanvasSize, roundUpToMultiple(std::max(tile.height, 1), 4));
    }
    const int width = std::min(tile.width, canvasWidth);
    const int height = std::min(tile.height, canvasHeight);

    const Shape shape{1, 3, canvasHeight, canvasWidth};
    std::vector<float> input;
    try {
        input.resize(std::size_t(3) * std::size_t(canvasHeight) * std::size_t(canvasWidth));
    } catch (const std::bad_alloc&) {
        throw UpscaleErrors::tensorConversionFailed(
            QStringLiteral("there is not enough memory for the input tensor"));
    }
    TensorView inputView = viewOf(input, shape);
    fillInputTensor(tile, inputView);

    inference::OutputTensor result = m_network->run(shape, input.data(), m_token, progress);
    input = {};
    Image upscaled = imageFromOutputTensor(viewOf(result.data, result.shape), width * networkFactor,
                                           height * networkFactor);
    if (factor == networkFactor)
        return upscaled;
    // Reduce the 4x result to exactly the tile times two; the tile stays opaque.
    Image reduced =
        ImageServices::toRGBA8(ImageServices::downscale(upscaled, width * factor, height * factor));
    reduced.alphaInfo = AlphaInfo::premultipliedLast;
    return reduced;
}

} // namespace glintwork
