#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

namespace glintwork {

// Thrown by a job that notices its token was cancelled; the item then ends as cancelled,
// not as failed.
class CancelledError : public std::exception {
public:
    [[nodiscard]] const char* what() const noexcept override { return "Cancelled"; }
};

// Cooperative cancellation shared by a batch and every job it hands to the thread pool
// (std::shared_ptr<CancellationToken>). Jobs poll it at their check points; work that
// blocks outside our control (a child process) registers a callback to be woken.
class CancellationToken {
    struct State;

public:
    // Keeps a callback registered for as long as it lives. Destroying it unregisters the
    // callback; if the callback is running on another thread at that moment, the
    // destructor waits for it to return, so nothing it captured is used afterwards.
    class Registration {
    public:
        Registration() = default;
        Registration(Registration&& other) noexcept;
        Registration& operator=(Registration&& other) noexcept;
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;
        ~Registration();

        void reset() noexcept;

    private:
        friend class CancellationToken;
        Registration(std::shared_ptr<State> state, std::uint64_t id);

        std::shared_ptr<State> m_state;
        std::uint64_t m_id = 0;
    };

    CancellationToken();
    ~CancellationToken();
    CancellationToken(const CancellationToken&) = delete;
    CancellationToken& operator=(const CancellationToken&) = delete;

    // Marks the token cancelled and runs every registered callback once, on this thread
    // and outside any lock. Later calls do nothing. Callbacks must not throw.
    void cancel() noexcept;
    [[nodiscard]] bool isCancelled() const noexcept;
    // Throws CancelledError when cancelled.
    void check() const;

    // On a token that is already cancelled the callback runs at once, on this thread,
    // and the returned registration is empty.
    [[nodiscard]] Registration registerCallback(std::function<void()> callback);

private:
    std::shared_ptr<State> m_state;
};

} // namespace glintwork
