#pragma once

#include <memory>
#include <optional>

#include <QString>

#include "upscale/UpscaleSettings.h"
#include "upscale/Upscaler.h"

namespace glintwork {

class CancellationToken;

// Runs one Real-ESRGAN network, stored as ONNX in Resources/models/, on the network executor.
// Fixed-size networks see every tile top-left on a 512 × 512 canvas that repeats its edges;
// networks that accept any size see a small tile at its own size (rounded up to a multiple
// of 4, edges repeated again), so small images cost in proportion to their area. 2x from a
// 4x network (the fast one, or the general one standing in for a missing 2x network) is its
// result reduced with Lanczos, tile by tile. One instance per file and thread.
class DnnUpscaler : public Upscaler {
public:
    // Loads the model's network at once; a missing or broken file, or one that is not an
    // upscaling network, surfaces at the first upscale call.
    explicit DnnUpscaler(UpscaleModel model);
    // Loads the network from a given file instead of the resources (tests, benchmarks).
    DnnUpscaler(UpscaleModel model, const QString& networkPath);
    ~DnnUpscaler() override;
    DnnUpscaler(const DnnUpscaler&) = delete;
    DnnUpscaler& operator=(const DnnUpscaler&) = delete;

    // Throws Error (UpscaleErrors). The result is opaque RGBA8, exactly the tile times the
    // model's factor, or times 2 when a 4x network is asked for `scale` 2; `progress` gets
    // the fraction of the pass done, layer by layer.
    [[nodiscard]] Image upscale(const Image& tile, int scale,
                                const std::function<void(double)>& progress) override;

    // With a token, a cancellation stops the pass at the next layer: upscale throws
    // CancelledError and nothing keeps computing.
    void setCancellationToken(CancellationToken* token) { m_token = token; }

    [[nodiscard]] UpscaleModel model() const { return m_model; }
    [[nodiscard]] bool isLoaded() const { return m_network != nullptr; }
    // Why the network's file could not be used, when it exists but failed to load.
    [[nodiscard]] const QString& loadError() const { return m_loadError; }
    // True when this instance stands in for the 2x network with the 4x one.
    [[nodiscard]] bool reducesFromFourX() const { return m_reduceFromFourX; }

    // The model's network file in the resources, when present.
    [[nodiscard]] static std::optional<QString> modelURL(UpscaleModel model);
    // Whether a file for this model (or its stand-in) is installed.
    [[nodiscard]] static bool isAvailable(UpscaleModel model);

    // Edge of the square canvas fixed-size networks take.
    static constexpr int kCanvasSize = 512;

private:
    class Network;
    void load(const QString& path);

    UpscaleModel m_model;
    std::shared_ptr<Network> m_network;
    QString m_loadError;
    CancellationToken* m_token = nullptr;
    bool m_reduceFromFourX = false;
};

} // namespace glintwork
