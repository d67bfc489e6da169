#include "platform/ThreadBudget.h"

#include <algorithm>
#include <atomic>
#include <sched.h>
#include <thread>

#include <QThreadPool>

#include "inference/Network.h"

namespace glintwork::ThreadBudget {

namespace {

std::atomic<int> inFlight{0};

int countCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace

int cores() {
    // The affinity is the one the process started with; nothing here changes it.
    static const int count = countCores();
    return count;
}

int threadsForStage() {
    return std::max(1, cores() / std::max(1, inFlight.load()));
}

FileInFlight::FileInFlight() {
    ++inFlight;
}

FileInFlight::~FileInFlight() {
    --inFlight;
}

void apply() {
    QThreadPool::globalInstance()->setMaxThreadCount(cores());
    inference::Network::setThreadLimit(cores());
}

} // namespace glintwork::ThreadBudget
