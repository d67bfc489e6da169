#pragma once

namespace glintwork {

// How many threads the program keeps busy, stated once. The budget is the processors this
// process may run on; everything that starts threads asks here:
// - the batch pool runs each tool's default number of files at once, derived from cores();
// - a stage that splits one file's work over helper threads (the PNG deflate bands, the
//   palette quantizer's colour count) takes threadsForStage(): the cores shared out between
//   the files in flight, so eight files at once do not start eight threads each;
// - the network executor divides cores() between the passes running in the process
//   (apply()); a pass runs on a thread of its own only while its file's thread waits for it,
//   so it adds no work;
// - Qt's global pool (intake, previews, preloading) gets cores() threads (apply()).
namespace ThreadBudget {

// The processors this process may run on (its CPU affinity, so a container's or a
// scheduler's limit counts), at least 1.
[[nodiscard]] int cores();

// Threads one file's parallel stage may use, its own included: at least 1.
[[nodiscard]] int threadsForStage();

// Counts one file as being processed for as long as it lives.
class FileInFlight {
public:
    FileInFlight();
    ~FileInFlight();
    FileInFlight(const FileInFlight&) = delete;
    FileInFlight& operator=(const FileInFlight&) = delete;
};

// Sizes Qt's global thread pool and gives the network executor the budget's cores; the
// programs call it once at start.
void apply();

} // namespace ThreadBudget
} // namespace glintwork
