#include "platform/CancellationToken.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace glintwork {

struct CancellationToken::State {
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    std::condition_variable callbackFinished;
    std::map<std::uint64_t, std::function<void()>> callbacks;
    std::uint64_t nextId = 1;
    // The callback cancel() is running right now, so an unregistering thread can wait
    // for it instead of returning while it still touches captured state.
    std::uint64_t runningId = 0;
    std::thread::id runningThread;

    void unregister(std::uint64_t id) noexcept {
        std::function<void()> removed;
        std::unique_lock lock(mutex);
        if (const auto it = callbacks.find(id); it != callbacks.end()) {
            removed = std::move(it->second);
            callbacks.erase(it);
        } else if (runningId == id && runningThread != std::this_thread::get_id()) {
            callbackFinished.wait(lock, [&] { return runningId != id; });
        }
        lock.unlock();
        // `removed` (and whatever it captured) is destroyed here, outside the lock.
    }
};

CancellationToken::Registration::Registration(std::shared_ptr<State> state, std::uint64_t id)
    : m_state(std::move(state)), m_id(id) {}

CancellationToken::Registration::Registration(Registration&& other) noexcept
    : m_state(std::move(other.m_state)), m_id(std::exchange(other.m_id, 0)) {}

CancellationToken::Registration&
CancellationToken::Registration::operator=(Registration&& other) noexcept {
    if (this != &other) {
        reset();
        m_state = std::move(other.m_state);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

CancellationToken::Registration::~Registration() {
    reset();
}

void CancellationToken::Registration::reset() noexcept {
    if (m_state)
        m_state->unregister(m_id);
    m_state.reset();
    m_id = 0;
}

CancellationToken::CancellationToken() : m_state(std::make_shared<State>()) {}

CancellationToken::~CancellationToken() = default;

void CancellationToken::cancel() noexcept {
    std::unique_lock lock(m_state->mutex);
    if (m_state->cancelled.exchange(true))
        return;
    // One at a time, so that a registration destroyed meanwhile either removes its
    // callback before it runs or waits for it to finish.
    while (!m_state->callbacks.empty()) {
        auto node = m_state->callbacks.extract(m_state->callbacks.begin());
        m_state->runningId = node.key();
        m_state->runningThread = std::this_thread::get_id();
        lock.unlock();
        node.mapped()();
        node = {};
        lock.lock();
        m_state->runningId = 0;
        m_state->callbackFinished.notify_all();
    }
}

bool CancellationToken::isCancelled() const noexcept {
    return m_state->cancelled.load(std::memory_order_acquire);
}

void CancellationToken::check() const {
    if (isCancelled())
        throw CancelledError();
}

CancellationToken::Registration
CancellationToken::registerCallback(std::function<void()> callback) {
    {
        const std::lock_guard lock(m_state->mutex);
        if (!m_state->cancelled.load(std::memory_order_relaxed)) {
            const std::uint64_t id = m_state->nextId++;
            m_state->callbacks.emplace(id, std::move(callback));
            return Registration(m_state, id);
        }
    }
    callback();
    return {};
}

} // namespace glintwork
