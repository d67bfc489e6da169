#pragma once

#include <functional>

namespace glintwork {

class CancellationToken;

// Long work that cannot stop halfway (a network's forward pass) but must not hold up a
// cancelled run: it runs on a thread of its own while the caller waits for it or for the
// token's cancellation. Cancelled, the caller throws CancelledError at once and the work
// finishes alone, so it must own (or share) everything it touches. A program that quits
// while such work still runs must leave without running static destructors under it.
namespace AbandonableWork {

// Runs `work` as described; rethrows what it threw. Runs it on the calling thread when
// no thread can be started.
void run(CancellationToken& token, std::function<void()> work);

// How many given-up pieces of work are still running.
[[nodiscard]] int abandonedCount();

} // namespace AbandonableWork
} // namespace glintwork
