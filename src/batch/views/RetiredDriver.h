#pragma once

#include <QCoreApplication>
#include <QObject>

#include "batch/views/CompletionSignal.h"

namespace glintwork {

// A tool view that goes away while its batch still runs hands its driver to the
// application, so the run ends normally (every file finished, none left partial), and
// the driver is released once its run has ended. Quitting cancels such runs.
// Returns false when the driver was idle and may go with its view.
template <typename Driver> bool retireDriverWhileRunning(Driver* driver) {
    if (!driver || !driver->isConverting())
        return false;
    driver->setParent(QCoreApplication::instance());
    QObject::connect(driver, &Driver::runFinished, driver, [driver](bool cancelled) {
        if (!cancelled)
            signalBatchCompletion(nullptr);
        driver->deleteLater();
    });
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, driver,
                     &Driver::cancelConversion);
    return true;
}

} // namespace glintwork
