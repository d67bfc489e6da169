#include "upscale/DnnUpscaler.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include <opencv2/core.hpp>
#include <opencv2/core/ocl.hpp>
#include <opencv2/dnn.hpp>

#include <QFileInfo>
#include <QLoggingCategory>

#include "platform/AbandonableWork.h"
#include "platform/CancellationToken.h"
#include "platform/ImageServices.h"
#include "platform/Resources.h"
#include "upscale/DnnUpscalerError.h"
#include "upscale/OnnxModelInfo.h"
#include "upscale/TensorConversion.h"

namespace glintwork {

Q_LOGGING_CATEGORY(lcUpscale, "glintwork.upscale")

namespace {

int typeCodeOf(const cv::Mat& mat) {
    switch (mat.depth()) {
    case CV_16F:
        return static_cast<int>(TensorElementType::float16);
    case CV_32F:
        return static_cast<int>(TensorElementType::float32);
    case CV_64F:
        return static_cast<int>(TensorElementType::float64);
    case CV_32S:
        return static_cast<int>(TensorElementType::int32);
    default:
        return mat.depth();
    }
}

TensorView viewOf(const cv::Mat& mat) {
    TensorView view;
    view.typeCode = typeCodeOf(mat);
    view.data = const_cast<uchar*>(mat.data);
    const auto elementSize = static_cast<std::int64_t>(mat.elemSize1());
    for (int d = 0; d < mat.dims; ++d) {
        view.shape.push_back(mat.size[d]);
        view.strides.push_back(static_cast<std::int64_t>(mat.step[d]) / elementSize);
    }
    // Storage spans from the first element to the end of the last row of the outermost
    // dimension.
    view.elementCount =
        mat.dims > 0 ? static_cast<std::size_t>(mat.step[0] * std::size_t(mat.size[0])) / mat.elemSize1() : 0;
    return view;
}

// Rows of the feature map the enlarging tail takes at once: at 4x with 64 channels a row
// costs the tail about 8 MB of working memory; the halo's rows are computed twice.
constexpr int kTailRows = 48;

int roundUpToMultiple(int value, int multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

// OpenCL is taken only when a GPU offers it: on a CPU device it is slower than OpenCV's own
// CPU path. Once a forward pass fails there, the process stays on the CPU.
std::atomic<bool> openCLFailed{false};

bool openCLGpuAvailable() {
    if (openCLFailed || !cv::ocl::haveOpenCL())
        return false;
    cv::ocl::setUseOpenCL(true);
    if (!cv::ocl::useOpenCL())
        return false;
    const cv::ocl::Device& device = cv::ocl::Device::getDefault();
    return device.available() && device.type() == cv::ocl::Device::TYPE_GPU;
}

} // namespace

int DnnUpscaler::abandonedInferences() {
    return AbandonableWork::abandonedCount();
}

// The loaded network and what it needs to be fed: owns the OpenCV handle.
class DnnUpscaler::Network {
public:
    cv::dnn::Net net;
    // The file `net` came from: with a tail, `net` is let go after each pass and read again.
    std::string path;
    std::string input;
    std::string output;
    // Fixed height and width of the input, or nothing when the network takes any size.
    std::optional<std::pair<int, int>> fixedSize;
    bool onOpenCL = false;
    // The network's enlarging tail as a network of its own, run on strips of rows of the
    // feature map it starts from (layer `from` of `net`): it holds nearly all the working
    // memory, but each output row depends on only `halo` feature rows either side, so the
    // strips give exactly the whole result.
    struct Tail {
        cv::dnn::Net net;
        std::string from;
        std::string input;
        int halo = 0;
    };
    std::optional<Tail> tail;

    int target = cv::dnn::DNN_TARGET_CPU;

    void setTarget(int value) {
        target = value;
        net.setPreferableTarget(target);
        if (tail)
            tail->net.setPreferableTarget(target);
    }

    // The features of the whole tile. OpenCV keeps every buffer of a pass until the next,
    // which for the part before the tail is most of a gigabyte: the network is let go before
    // the tail runs, and read again (a fraction of a second) for the next tile.
    cv::Mat runToTail(const cv::Mat& blob) {
        if (net.empty()) {
            net = cv::dnn::readNetFromONNX(path);
            net.setPreferableTarget(target);
        }
        net.setInput(blob, input);
        cv::Mat features = net.forward(tail->from).clone();
        net = cv::dnn::Net();
        return features;
    }

    cv::Mat runTail(const cv::Mat& features) {
        if (features.dims != 4 || features.depth() != CV_32F || !features.isContinuous())
            throw DnnUpscalerError::inferenceFailed(QStringLiteral("unexpected feature map"));
        const int channels = features.size[1];
        const int height = features.size[2];
        const int width = features.size[3];
        cv::Mat result;
        int factor = 0;
        for (int top = 0; top < height; top += kTailRows) {
            const int bottom = std::min(height, top + kTailRows);
            const int from = std::max(0, top - tail->halo);
            const int to = std::min(height, bottom + tail->halo);
            const int stripShape[] = {1, channels, to - from, width};
            cv::Mat strip(4, stripShape, CV_32F);
            for (int c = 0; c < channels; ++c)
                std::memcpy(strip.ptr<float>(0, c), features.ptr<float>(0, c, from),
                            sizeof(float) * std::size_t(to - from) * std::size_t(width));
            tail->net.setInput(strip, tail->input);
            cv::Mat out = tail->net.forward();
            if (result.empty()) {
                factor = out.dims == 4 ? out.size[2] / (to - from) : 0;
                if (factor < 1)
                    throw DnnUpscalerError::inferenceFailed(QStringLiteral("unexpected tail output"));
                const int resultShape[] = {1, out.size[1], height * factor, width * factor};
                result.create(4, resultShape, CV_32F);
            }
            if (out.dims != 4 || out.depth() != CV_32F || out.size[1] != result.size[1] ||
                out.size[2] != (to - from) * factor || out.size[3] != result.size[3])
                throw DnnUpscalerError::inferenceFailed(QStringLiteral("unexpected tail output"));
            if (!out.isContinuous())
                out = out.clone();
            const std::size_t rowFloats = std::size_t(out.size[3]);
            for (int c = 0; c < out.size[1]; ++c)
                std::memcpy(result.ptr<float>(0, c, top * factor), out.ptr<float>(0, c, (top - from) * factor),
                            sizeof(float) * std::size_t(bottom - top) * std::size_t(factor) * rowFloats);
        }
        return result;
    }

    // Runs the network on the blob; falls back to the CPU once if OpenCL fails.
    cv::Mat run(const cv::Mat& blob) {
        const auto forward = [&] {
            if (tail)
                return runTail(runToTail(blob));
            net.setInput(blob, input);
            const auto outputs = net.getUnconnectedOutLayersNames();
            if (std::find(outputs.begin(), outputs.end(), output) != outputs.end())
                return net.forward(output);
            // OpenCV names a layer after its node's first output; a graph output produced by
            // a node it folded away has no layer of that name, but a single output is still it.
            if (outputs.size() == 1 && net.getLayerId(output) < 0)
                return net.forward(outputs.front());
            throw DnnUpscalerError::inferenceFailed(
                QStringLiteral("missing output '%1'").arg(QString::fromStdString(output)));
        };
        try {
            return forward();
        } catch (const cv::Exception& error) {
            if (!onOpenCL)
                throw DnnUpscalerError::runtimeFailed(QString::fromUtf8(error.what()).trimmed());
            qCWarning(lcUpscale) << "OpenCL inference failed, using the CPU:" << error.what();
            openCLFailed = true;
            onOpenCL = false;
            setTarget(cv::dnn::DNN_TARGET_CPU);
        }
        try {
            return forward();
        } catch (const cv::Exception& again) {
            throw DnnUpscalerError::runtimeFailed(QString::fromUtf8(again.what()).trimmed());
        }
    }

    // Runs the pass on a thread of its own and waits for it, or for the token's cancellation:
    // then the pass is left to finish alone, `network` lets go of it and CancelledError
    // is thrown.
    static cv::Mat runUnlessCancelled(std::shared_ptr<Network>& network, CancellationToken* token,
                                      const cv::Mat& blob) {
        if (!token)
            return network->run(blob);
        auto result = std::make_shared<cv::Mat>();
        try {
            AbandonableWork::run(*token, [running = network, blob, result] { *result = running->run(blob); });
        } catch (const CancelledError&) {
            // The pass still uses the network; this upscaler is done with it.
            network.reset();
            throw;
        }
        return *result;
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
    const auto info = OnnxModelInfo::read(path);
    if (!info) {
        qCWarning(lcUpscale) << "not an ONNX network:" << path;
        return;
    }
    auto network = std::make_unique<Network>();
    try {
        network->path = path.toStdString();
        network->net = cv::dnn::readNetFromONNX(network->path);
    } catch (const cv::Exception& error) {
        qCWarning(lcUpscale) << "network failed to load:" << path << error.what();
        return;
    }
    if (network->net.empty())
        return;
    m_inputName = info->inputNames.empty() ? QStringLiteral("x") : info->inputNames.front();
    m_outputName = info->outputNames.empty() ? QStringLiteral("output") : info->outputNames.front();
    network->input = info->inputNames.empty() ? std::string() : m_inputName.toStdString();
    network->output = m_outputName.toStdString();
    const auto& shape = info->firstInputShape;
    if (shape.size() == 4 && shape[2] > 0 && shape[3] > 0)
        network->fixedSize = std::pair{int(shape[2]), int(shape[3])};
    loadTail(*network, *info);
    if (openCLGpuAvailable()) {
        network->setTarget(cv::dnn::DNN_TARGET_OPENCL);
        network->onOpenCL = true;
    }
    m_network = std::move(network);
}

void DnnUpscaler::loadTail(Network& network, const OnnxModelInfo& info) {
    const std::string split = info.metadata.value(QStringLiteral("glintwork.tail.split")).toStdString();
    const QByteArray encoded = info.metadata.value(QStringLiteral("glintwork.tail.onnx")).toLatin1();
    bool haloOK = false;
    const int halo = info.metadata.value(QStringLiteral("glintwork.tail.halo")).toInt(&haloOK);
    if (split.empty() || encoded.isEmpty() || !haloOK || halo < 0 || network.fixedSize)
        return;
    // OpenCV names a layer after its node, or after the node's first output when the node
    // has no name.
    std::string from;
    for (const std::string& name : {split, "onnx_node!" + split, "onnx_node_output_0!" + split}) {
        if (from.empty() && network.net.getLayerId(name) >= 0)
            from = name;
    }
    const QByteArray bytes = QByteArray::fromBase64(encoded);
    const auto tailInfo = OnnxModelInfo::parse(bytes);
    if (from.empty() || !tailInfo || tailInfo->inputNames.size() != 1) {
        qCWarning(lcUpscale) << "the network's tail cannot be run on its own; running it whole";
        return;
    }
    Network::Tail tail;
    try {
        tail.net = cv::dnn::readNetFromONNX(bytes.constData(), std::size_t(bytes.size()));
    } catch (const cv::Exception& error) {
        qCWarning(lcUpscale) << "the network's tail failed to load; running it whole:" << error.what();
        return;
    }
    tail.from = from;
    tail.input = tailInfo->inputNames.front().toStdString();
    tail.halo = halo;
    network.tail = std::move(tail);
}

Image DnnUpscaler::upscale(const Image& tile, int scale, const std::function<void(double)>&) {
    if (!m_network)
        throw DnnUpscalerError::modelNotAvailable(m_model);
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

    const int blobShape[] = {1, 3, canvasHeight, canvasWidth};
    cv::Mat blob;
    try {
        blob.create(4, blobShape, CV_32F);
    } catch (const cv::Exception&) {
        throw DnnUpscalerError::inferenceFailed(QStringLiteral("input context creation failed"));
    }
    TensorView input = viewOf(blob);
    fillInputTensor(tile, input);

    cv::Mat result = Network::runUnlessCancelled(m_network, m_token, blob);
    if (!result.isContinuous() && result.dims > 2)
        result = result.clone();

    Image upscaled = imageFromOutputTensor(viewOf(result), width * networkFactor, height * networkFactor);
    if (factor == networkFactor)
        return upscaled;
    // Reduce the 4x result to exactly the tile times two; the tile stays opaque.
    Image reduced = ImageServices::toRGBA8(ImageServices::downscale(upscaled, width * factor, height * factor));
    reduced.alphaInfo = AlphaInfo::premultipliedLast;
    return reduced;
}

} // namespace glintwork
