#include "batch/ToolDriver.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>
#include <QThreadPool>

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "batch/FileService.h"
#include "naming/OutputNamer.h"

namespace glintwork {

ToolDriver::ToolDriver(const QSet<QString>& extensions, QObject* parent)
    : QObject(parent), m_extensions(extensions) {
    connect(&m_runner, &BatchRunner::finished, this, [this](bool cancelled) {
        m_reserved.clear();
        setRunning(false);
        Q_EMIT runFinished(cancelled);
        setCancelling(false);
    });
}

ToolDriver::~ToolDriver() = default;

void ToolDriver::setSharedOutputSettings(SharedOutputSettings* shared) {
    if (m_shared == shared)
        return;
    m_shared = shared;
}

void ToolDriver::addFiles(const QList<QUrl>& urls) {
    const FileService::Intake intake = FileService::collect(urls, m_extensions);
    takeIntake(intake, FileService::newItems(intake.files, m_items));
}

void ToolDriver::addFilesInBackground(const QList<QUrl>& urls) {
    const QPointer<ToolDriver> self(this);
    QThread* home = thread();
    QThreadPool::globalInstance()->start([self, urls, extensions = m_extensions, home] {
        const FileService::Intake intake = FileService::collect(urls, extensions);
        const ItemList found = FileService::newItems(intake.files, {});
        for (const auto& item : found)
            item->moveToThread(home);
        // Delivered through the application object, which outlives every driver; the
        // items go with the closure when the driver is gone meanwhile.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, intake, found] {
                if (self)
                    self->takeIntake(intake, FileService::unlisted(found, self->m_items));
            },
            Qt::QueuedConnection);
    });
}

void ToolDriver::addIntake(const FileService::Intake& intake) {
    takeIntake(intake, FileService::newItems(intake.files, m_items));
}

void ToolDriver::takeIntake(const FileService::Intake& intake, const ItemList& added) {
    if (!added.isEmpty()) {
        const auto first = static_cast<int>(m_items.size());
        m_items.append(added);
        for (const auto& item : added)
            watch(item.get());
        Q_EMIT itemsInserted(first, static_cast<int>(added.size()));
        Q_EMIT itemsChanged();
    }
    if (!intake.problems.isEmpty())
        Q_EMIT intakeProblems(intake.problems);
}

int ToolDriver::completedCount() const {
    return static_cast<int>(std::count_if(m_items.begin(), m_items.end(), [](const auto& item) {
        return item->status().is(ConversionStatus::Kind::completed);
    }));
}

void ToolDriver::watch(ImageItem* item) {
    // Outcomes are announced to the whole list before the item's own row hears of them.
    connect(item, &ImageItem::statusChanged, this, [this, item] {
        Q_EMIT itemOutcomeChanged();
        Q_EMIT itemChanged(item, ItemChange::outcome);
    });
    connect(item, &ImageItem::errorMessageChanged, this,
            [this, item] { Q_EMIT itemChanged(item, ItemChange::outcome); });
    connect(item, &ImageItem::progressChanged, this,
            [this, item] { Q_EMIT itemChanged(item, ItemChange::progress); });
    connect(item, &ImageItem::compressedSizeChanged, this, [this, item] {
        Q_EMIT itemOutcomeChanged();
        Q_EMIT itemChanged(item, ItemChange::outputSize);
    });
}

void ToolDriver::unwatch(const ImageItem* item) {
    // A job may still hold the item and change it; nothing of that reaches the list.
    disconnect(item, nullptr, this, nullptr);
}

void ToolDriver::clearItems() {
    const ItemList removed = std::exchange(m_items, {});
    for (const auto& item : removed)
        unwatch(item.get());
    if (!removed.isEmpty())
        Q_EMIT itemsRemoved(0, static_cast<int>(removed.size()));
    Q_EMIT itemsChanged();
}

void ToolDriver::removeItem(const ImageItem* item) {
    const auto found = std::find_if(m_items.cbegin(), m_items.cend(),
                                    [item](const auto& entry) { return entry.get() == item; });
    if (found == m_items.cend())
        return;
    const auto row = static_cast<int>(found - m_items.cbegin());
    const std::shared_ptr<ImageItem> removed = m_items.takeAt(row);
    unwatch(removed.get());
    Q_EMIT itemsRemoved(row, 1);
    Q_EMIT itemsChanged();
}

std::optional<QUrl> ToolDriver::outputFolder() const {
    return m_shared ? m_shared->outputDirectory() : m_fixedOutputDirectory;
}

QUrl ToolDriver::outputFolderFor(const QUrl& input, const std::optional<QUrl>& runFolder) const {
    const auto found = m_outputFolderByInput.constFind(input.toLocalFile());
    return found != m_outputFolderByInput.cend() ? *found
                                                 : OutputNamer::outputFolder(input, runFolder);
}

bool ToolDriver::hasUnfinishedItems() const {
    return std::any_of(m_items.begin(), m_items.end(), [](const auto& item) {
        return !item->status().is(ConversionStatus::Kind::completed);
    });
}

std::optional<QUrl> ToolDriver::outputFolderToOpen() const {
    return FileService::folderToOpen(outputFolder(), m_items);
}

void ToolDriver::setRunning(bool running) {
    if (m_isRunning == running)
        return;
    m_isRunning = running;
    Q_EMIT isRunningChanged();
}

void ToolDriver::setCancelling(bool cancelling) {
    if (m_isCancelling == cancelling)
        return;
    m_isCancelling = cancelling;
    Q_EMIT isCancellingChanged();
}

void ToolDriver::cancel() {
    if (!m_isRunning || m_isCancelling)
        return;
    setCancelling(true);
    Q_EMIT announcement(cancellingText());
    m_runner.cancel();
}

QUrl ToolDriver::reserveOutputURL(const QUrl& url) {
    const QUrl unique = OutputNamer::ensureUnique(url, m_reserved);
    m_reserved.insert(unique);
    return unique;
}

void ToolDriver::start() {
    if (!canStart() || m_runner.isRunning())
        return;
    choosePipeline();
    beginRun();
    setCancelling(false);
    resetUnfinishedItems(m_items);
    setRunning(true);
    m_reserved.clear();
    BatchRunner::Hooks hooks;
    hooks.items = [this]() -> const ItemList& { return m_items; };
    hooks.prepare = [this](ImageItem& item, int startedIndex) {
        return prepare(item, startedIndex);
    };
    m_runner.start(std::move(hooks), concurrencyLimit());
}

BatchRunner::Job
ToolDriver::jobFor(ImageItem& item,
                   std::function<FileOutcome(CancellationToken&, const Progress&)> work) {
    const QPointer<ImageItem> target(&item);
    return [target, work = std::move(work)](CancellationToken& token) -> std::function<void()> {
        // The item outlives the job (the runner holds it), so posting to it is safe; an
        // update is dropped when the item is gone by the time it is delivered.
        ImageItem* context = target.data();
        const Progress progress = [context, target](double value) {
            QMetaObject::invokeMethod(
                context,
                [target, value] {
                    if (target)
                        target->setProgress(value);
                },
                Qt::QueuedConnection);
        };
        const FileOutcome outcome = work(token, progress);
        const QFileInfo info(outcome.written.toLocalFile());
        const qint64 size = info.exists() ? info.size() : 0;
        return [target, outcome, size]() {
            if (!target)
                return;
            target->setOutputURL(outcome.written);
            target->setCompressedSize(size);
            if (outcome.warning)
                target->setErrorMessage(*outcome.warning);
        };
    };
}

std::int64_t ToolDriver::physicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? std::int64_t(pages) * pageSize : 0;
}

} // namespace glintwork
