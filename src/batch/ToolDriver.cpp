#include "batch/ToolDriver.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>
#include <QThreadPool>

#include <unistd.h>

#include <algorithm>

#include "batch/FileService.h"
#include "naming/OutputNamer.h"

namespace glintwork {

ToolDriver::ToolDriver(const QSet<QString>& extensions, QObject* parent)
    : QObject(parent), m_extensions(extensions) {
    connect(this, &ToolDriver::itemsChanged, this, &ToolDriver::watchItems);
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
        m_items.append(added);
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

void ToolDriver::watchItems() {
    for (const auto& connection : m_itemConnections)
        disconnect(connection);
    m_itemConnections.clear();
    for (const auto& item : m_items) {
        m_itemConnections.append(
            connect(item.get(), &ImageItem::statusChanged, this, &ToolDriver::itemOutcomeChanged));
        m_itemConnections.append(connect(item.get(), &ImageItem::compressedSizeChanged, this,
                                         &ToolDriver::itemOutcomeChanged));
    }
}

void ToolDriver::clearItems() {
    m_items.clear();
    Q_EMIT itemsChanged();
}

void ToolDriver::removeItem(const ImageItem* item) {
    const auto removed =
        m_items.removeIf([item](const auto& entry) { return entry.get() == item; });
    if (removed > 0)
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
