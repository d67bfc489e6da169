#include "batch/views/BatchDriver.h"

#include <algorithm>

namespace glintwork {

BatchDriver::BatchDriver(QObject* driver, Operations ops, QObject* parent)
    : QObject(parent), m_driver(driver), m_ops(std::move(ops)) {}

const ItemList& BatchDriver::items() const {
    static const ItemList none;
    return m_driver ? m_ops.items() : none;
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
    return m_driver ? m_ops.outputFolderToOpen() : std::nullopt;
}

void BatchDriver::addFiles(const QList<QUrl>& urls) {
    if (m_driver)
        m_ops.addFiles(urls);
}

void BatchDriver::start() {
    if (m_driver)
        m_ops.start();
}

void BatchDriver::cancel() {
    if (m_driver)
        m_ops.cancel();
}

void BatchDriver::clearItems() {
    if (m_driver)
        m_ops.clearItems();
}

void BatchDriver::removeItem(const ImageItem* item) {
    if (m_driver && item)
        m_ops.removeItem(item);
}

void BatchDriver::loadSettings() {
    if (m_driver)
        m_ops.loadSettings();
}

bool BatchDriver::retireWhileRunning() {
    if (!m_driver || !m_ops.retire())
        return false;
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
