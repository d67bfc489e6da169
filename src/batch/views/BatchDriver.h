#pragma once

#include <functional>
#include <optional>

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include "batch/ImageItem.h"
#include "batch/views/CompletionSignal.h"

namespace glintwork {

// One face for the three tools' batch drivers, so that the list, the summary and the
// action bar are written once. It forwards the driver's notifications, adds one for any
// item's status, and calls the driver's own operations. The driver stays the owner of
// everything; this object only holds a guarded pointer to it.
class BatchDriver : public QObject {
    Q_OBJECT

public:
    // `Driver` offers the operations every tool driver has (items, clearItems, removeItem,
    // outputFolderToOpen, loadSettings, addFiles, isCancelling and its notifications); the run itself
    // is named isConverting/startConversion/cancelConversion (compress) or
    // isProcessing/startProcessing/cancelProcessing (cutout, upscale).
    template <typename Driver> static BatchDriver* bind(Driver* driver, QObject* parent);

    [[nodiscard]] QObject* driver() const { return m_driver; }
    [[nodiscard]] const ItemList& items() const;
    [[nodiscard]] bool isRunning() const { return m_driver && m_ops.isRunning(); }
    [[nodiscard]] bool isCancelling() const { return m_driver && m_ops.isCancelling(); }
    [[nodiscard]] bool canStart() const { return m_driver && m_ops.canStart(); }
    [[nodiscard]] bool anyCompleted() const;
    [[nodiscard]] int completedCount() const;
    [[nodiscard]] std::optional<QUrl> outputFolderToOpen() const;

    void addFiles(const QList<QUrl>& urls);
    void start();
    void cancel();
    void clearItems();
    void removeItem(const ImageItem* item);
    void loadSettings();
    // Called when the view that shows the driver goes away: a running batch is finished
    // by the driver on its own (which then releases itself); returns false when the
    // driver was idle and may go with its view.
    bool retireWhileRunning();

Q_SIGNALS:
    void itemsChanged();
    void settingsChanged();
    void isRunningChanged();
    void isCancellingChanged();
    // Some item's status or output size changed (many may change within one moment).
    void itemOutcomeChanged();
    void announcement(const QString& text);
    void runFinished(bool cancelled);

private:
    struct Operations {
        std::function<const ItemList&()> items;
        std::function<bool()> isRunning;
        std::function<bool()> isCancelling;
        std::function<bool()> canStart;
        std::function<void(const QList<QUrl>&)> addFiles;
        std::function<void()> start;
        std::function<void()> cancel;
        std::function<void()> clearItems;
        std::function<void(const ImageItem*)> removeItem;
        std::function<void()> loadSettings;
        std::function<std::optional<QUrl>()> outputFolderToOpen;
        std::function<bool()> retire;
    };

    BatchDriver(QObject* driver, Operations ops, QObject* parent);
    void watchItems();

    QPointer<QObject> m_driver;
    Operations m_ops;
    QList<QMetaObject::Connection> m_itemConnections;
};

namespace detail {

template <typename Driver> bool isRunning(const Driver& driver) {
    if constexpr (requires { driver.isConverting(); })
        return driver.isConverting();
    else
        return driver.isProcessing();
}

template <typename Driver> auto runningChangedSignal() {
    if constexpr (requires { &Driver::isConvertingChanged; })
        return &Driver::isConvertingChanged;
    else
        return &Driver::isProcessingChanged;
}

template <typename Driver> auto cancelSlot() {
    if constexpr (requires { &Driver::cancelConversion; })
        return &Driver::cancelConversion;
    else
        return &Driver::cancelProcessing;
}

} // namespace detail

template <typename Driver> BatchDriver* BatchDriver::bind(Driver* driver, QObject* parent) {
    Operations ops;
    ops.items = [driver]() -> const ItemList& { return driver->items(); };
    ops.isRunning = [driver] { return detail::isRunning(*driver); };
    ops.isCancelling = [driver] { return driver->isCancelling(); };
    ops.canStart = [driver] {
        if constexpr (requires { driver->canStartConversion(); })
            return driver->canStartConversion();
        else
            return driver->canStartProcessing();
    };
    ops.addFiles = [driver](const QList<QUrl>& urls) { driver->addFiles(urls); };
    ops.start = [driver] {
        if constexpr (requires { driver->startConversion(); })
            driver->startConversion();
        else
            driver->startProcessing();
    };
    ops.cancel = [driver] { (driver->*detail::cancelSlot<Driver>())(); };
    ops.clearItems = [driver] { driver->clearItems(); };
    ops.removeItem = [driver](const ImageItem* item) { driver->removeItem(item); };
    ops.loadSettings = [driver] { driver->loadSettings(); };
    ops.outputFolderToOpen = [driver] { return driver->outputFolderToOpen(); };
    ops.retire = [driver] {
        if (!detail::isRunning(*driver))
            return false;
        driver->setParent(QCoreApplication::instance());
        QObject::connect(driver, &Driver::runFinished, driver, [driver](bool cancelled) {
            if (!cancelled)
                signalBatchCompletion(nullptr);
            driver->deleteLater();
        });
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, driver,
                         detail::cancelSlot<Driver>());
        return true;
    };

    auto* binding = new BatchDriver(driver, std::move(ops), parent);
    connect(driver, &Driver::itemsChanged, binding, [binding] {
        binding->watchItems();
        Q_EMIT binding->itemsChanged();
    });
    connect(driver, &Driver::settingsChanged, binding, &BatchDriver::settingsChanged);
    connect(driver, detail::runningChangedSignal<Driver>(), binding, &BatchDriver::isRunningChanged);
    connect(driver, &Driver::isCancellingChanged, binding, &BatchDriver::isCancellingChanged);
    connect(driver, &Driver::announcement, binding, &BatchDriver::announcement);
    connect(driver, &Driver::runFinished, binding, &BatchDriver::runFinished);
    binding->watchItems();
    return binding;
}

} // namespace glintwork
