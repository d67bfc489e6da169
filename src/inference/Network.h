#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace glintwork::inference {

using Shape = std::vector<std::int64_t>;

// A graph input or output as the file declares it; -1 marks a dimension left open.
struct TensorInfo {
    std::string name;
    Shape shape;
};

// float32 NCHW data the caller keeps alive for the pass.
struct InputTensor {
    std::string name;
    Shape shape;
    const float* data = nullptr;
};

struct OutputTensor {
    std::string name;
    Shape shape;
    std::vector<float> data; // dense NCHW
};

enum class Precision { automatic, full, bf16 };

struct PassOptions {
    // Polled between layers; true gives the pass up with InferenceCancelled.
    std::function<bool()> cancelled;
    // The fraction of the pass done (by arithmetic), after each layer.
    std::function<void(double)> progress;
    // Frees the pass's working memory when it ends instead of keeping it for the next pass
    // of the same size.
    bool releaseWorkingMemory = false;
};

// An ONNX network run on oneDNN. Loading reads and checks the graph; the first pass for a
// given input size plans it: shape arithmetic folded, convolutions fused with the
// activations, scalings and residual additions that follow them, activations kept in
// oneDNN's own layouts between layers, working buffers shared by tensors whose lives do not
// overlap, and each weight reordered once into the layout its convolution wants. One pass
// at a time per network; passes of different networks may run at once and share the cores.
// Errors are InferenceError with a text that names the file.
class Network {
public:
    // Throws InferenceError for a missing, unreadable, damaged file and for an operator
    // this executor does not run (the text names the operator).
    [[nodiscard]] static std::shared_ptr<Network> load(const std::string& path);
    // A network held in memory; `name` stands for the file in error texts.
    [[nodiscard]] static std::shared_ptr<Network> fromBytes(std::string bytes,
                                                            const std::string& name);
    ~Network();
    Network(const Network&) = delete;
    Network& operator=(const Network&) = delete;

    [[nodiscard]] const std::string& fileName() const;
    [[nodiscard]] const std::vector<TensorInfo>& inputs() const;
    [[nodiscard]] const std::vector<TensorInfo>& outputs() const;
    [[nodiscard]] const std::map<std::string, std::string>& metadata() const;
    // Whether some node of the graph computes a value of this name.
    [[nodiscard]] bool computes(const std::string& value) const;

    // The shapes of `outputs` (the graph's outputs when empty) for inputs of these shapes,
    // in the order of inputs(), found without running anything. Throws InferenceError
    // when the network cannot take such inputs.
    [[nodiscard]] std::vector<Shape>
    outputShapes(const std::vector<Shape>& inputShapes,
                 const std::vector<std::string>& outputs = {}) const;

    // One pass. `outputs` may name any value the graph computes (the graph's outputs when
    // empty); only the nodes they need run. Throws InferenceError, or InferenceCancelled.
    [[nodiscard]] std::vector<OutputTensor> run(const std::vector<InputTensor>& inputs,
                                                const std::vector<std::string>& outputs = {},
                                                const PassOptions& options = {}) const;

    // Winograd convolutions where oneDNN offers them (the default); off, every convolution
    // is direct. For measurements.
    static void setWinogradAllowed(bool allowed);
    // What the layers compute in. Where the CPU has bf16 instructions, bf16 halves the cost of
    // direct convolutions (8 bits of mantissa, sums kept in float32); automatic (the default)
    // uses it there unless float32 Winograd takes nearly all of a network's arithmetic. The
    // installed networks' results stay within tolerance of float32 in the automatic choice.
    static void setPrecision(Precision precision);
    [[nodiscard]] static bool hasNativeBf16();
    // Passes running now in the whole process; the cores are divided between them.
    [[nodiscard]] static int passesRunning();
    // The cores the passes running at once share (0: every processor of the machine). The
    // program sets its thread budget here; measurements set 1 or 2.
    static void setThreadLimit(int threads);
    // The arithmetic of the latest pass, in floating-point operations (convolutions count
    // two per multiply-add, other layers one per element).
    [[nodiscard]] double lastPassOperations() const;
    // CPU-seconds one n × n × n single-precision matrix product takes with `threads`
    // threads: what this machine's floating-point units can do, to compare passes with.
    [[nodiscard]] static double sgemmCpuSeconds(int n, int threads);

private:
    struct Impl;
    explicit Network(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

} // namespace glintwork::inference
