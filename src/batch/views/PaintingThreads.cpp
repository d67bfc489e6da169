#include "batch/views/PaintingThreads.h"

#include <algorithm>

#include <QThreadPool>

namespace glintwork {

void keepPoolThreadsForPainting(int batchJobs) {
    constexpr int kSpareThreads = 2;
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setMaxThreadCount(std::max(pool->maxThreadCount(), batchJobs + kSpareThreads));
}

} // namespace glintwork
