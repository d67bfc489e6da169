#include "batch/views/BatchDriver.h"

#include <algorithm>

#include <QCoreApplication>

#include "batch/views/CompletionSignal.h"

namespace glintwork {

BatchDriver* BatchDriver::bind(ToolDriver* driver, QObject* parent) {
    return new BatchDriver(driver, parent);
}

BatchDriver::BatchDriver(ToolDriver* driver, QObject* parent) : QObject(parent), m_driver(driver) {
    connect(driver, &ToolDriver::itemsChanged, this, [this] {
        watchItems();
        Q_EMIT itemsChanged();
    });
    connect(driver, &ToolDriver::intakeProblems, this, &BatchDriver::intakeProblems);
    connect(driver, &ToolDriver::settingsChanged, this, &BatchDriver::settingsChanged);
    connect(driver, &ToolDriver::isRunningChanged, this, &BatchDriver::isRunningChanged);
    connect(driver, &ToolDriver::isCancellingChanged, this, &BatchDriver::isCancellingChanged);
    connect(driver, &ToolDriver::announcement, this, &BatchDriver::announcement);
    connect(driver, &ToolDriver::runFinished, this, &BatchDriver::runFinished);
    watchItems();
}

const ItemList& BatchDriver::items() const {
    static const ItemList none;
    return m_driver ? m_driver->items() : none;
}

int BatchDriver::completedCount() const {
    const ItemList& list = items();
    return static_cast<int>(std::count_if(list.begin(), list.end(), [](const auto& item) {
        return item->status().is(ConversionStatus::Kind::completed);
    }));
}

bool BatchDriver::anyCompleted() const {
    const ItemList& list = items();
    return std::any_of(list.begin(), list.end(), [](const auto& item) {
        return item->status().is(ConversionStatus::Kind::completed);
    });
}

std::optional<QUrl> BatchDriver::outputFolderToOpen() const {
    return m_driver ? m_driver->outputFolderToOpen() : std::nullopt;
}

void BatchDriver::addFiles(const QList<QUrl>& urls) {
    if (m_driver)
        m_driver->addFilesInBackground(urls);
}

void BatchDriver::start() {
    if (m_driver)
        m_driver->start();
}

void BatchDriver::cancel() {
    if (m_driver)
        m_driver->cancel();
}

void BatchDriver::clearItems() {
    if (m_driver)
        m_driver->clearItems();
}

void BatchDriver::removeItem(const ImageItem* item) {
    if (m_driver && item)
        m_driver->removeItem(item);
}

void BatchDriver::loadSettings() {
    if (m_driver)
        m_driver->loadSettings();
}

bool BatchDriver::retireWhileRunning() {
    if (!m_driver || !m_driver->isRunning())
        return false;
    ToolDriver* driver = m_driver;
    driver->setParent(QCoreApplication::instance());
    connect(driver, &ToolDriver::runFinished, driver, [driver](bool cancelled) {
        if (!cancelled)
            signalBatchCompletion(nullptr);
        driver->deleteLater();
    });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, driver,
            [driver] { driver->cancel(); });
    // The view that goes away no longer hears from the driver.
    m_driver->disconnect(this);
    for (const auto& connection : m_itemConnections)
        disconnect(connection);
    m_itemConnections.clear();
    m_driver = nullptr;
    return true;
}

void BatchDriver::watchItems() {
    for (const auto& connection : m_itemConnections)
        disconnect(connection);
    m_itemConnections.clear();
    for (const auto& item : items()) {
        m_itemConnections.append(
            connect(item.get(), &ImageItem::statusChanged, this, &BatchDriver::itemOutcomeChanged));
        m_itemConnections.append(connect(item.get(), &ImageItem::compressedSizeChanged, this,
                                         &BatchDriver::itemOutcomeChanged));
    }
}

} // namespace glintwork
