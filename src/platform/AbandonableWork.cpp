#include "platform/AbandonableWork.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/CancellationToken.h"

namespace glintwork::AbandonableWork {

namespace {

std::atomic<int> abandoned{0};

// Shared by the worker thread and the caller waiting for it.
struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool givenUp = false;
    std::exception_ptr error;
};

} // namespace

int abandonedCount() {
    return abandoned.load();
}

void run(CancellationToken& token, std::function<void()> work) {
    token.check();
    auto pending = std::make_shared<Pending>();
    auto task = std::make_shared<std::function<void()>>(std::move(work));
    try {
        std::thread([task, pending] {
            std::exception_ptr error;
            try {
                (*task)();
            } catch (...) {
                error = std::current_exception();
            }
            const std::lock_guard lock(pending->mutex);
            pending->error = error;
            pending->finished = true;
            if (pending->givenUp)
                --abandoned;
            pending->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        (*task)(); // no thread to spare: the work runs here, to its end
        return;
    }
    // Declared before the lock, so it is released after it: unregistering waits for a
    // running callback, which takes the lock.
    const auto registration = token.registerCallback([pending] {
        const std::lock_guard lock(pending->mutex);
        pending->done.notify_all();
    });
    std::unique_lock lock(pending->mutex);
    pending->done.wait(lock, [&] { return pending->finished || token.isCancelled(); });
    if (!pending->finished) {
        pending->givenUp = true;
        ++abandoned;
        throw CancelledError();
    }
    if (pending->error)
        std::rethrow_exception(pending->error);
}

} // namespace glintwork::AbandonableWork
