#pragma once

#include <stdexcept>
#include <string>

namespace glintwork::inference {

// A network that cannot be read or run: the text names the file and what is wrong with it,
// ready for the user.
class InferenceError : public std::runtime_error {
public:
    explicit InferenceError(const std::string& text) : std::runtime_error(text) {}
};

// A pass given up because the caller asked it to stop between two layers.
class InferenceCancelled : public std::exception {
public:
    [[nodiscard]] const char* what() const noexcept override { return "Cancelled"; }
};

} // namespace glintwork::inference
