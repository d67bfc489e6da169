#include "batch/BatchRunner.h"

#include <QPointer>
#include <QThread>
#include <QThreadPool>

#include "platform/CancellationToken.h"
#include "platform/Error.h"
#include "platform/ThreadBudget.h"

namespace glintwork {

namespace {

bool isFinished(const ConversionStatus& status) {
    return status.is(ConversionStatus::Kind::completed) ||
           status.is(ConversionStatus::Kind::cancelled) ||
           status.is(ConversionStatus::Kind::error);
}

} // namespace

void resetUnfinishedItems(const ItemList& items) {
    for (const auto& item : items) {
        if (item->status().is(ConversionStatus::Kind::cancelled) ||
            item->status().is(ConversionStatus::Kind::error)) {
            item->setStatus(ConversionStatus::waiting());
            item->setErrorMessage(std::nullopt);
        }
    }
}

BatchRunner::BatchRunner(QObject* parent)
    : QObject(parent),
      // The last holder may be a pool thread; the mailbox is deleted on its own thread.
      m_mailbox(new QObject, [](QObject* mailbox) {
          if (mailbox->thread() == QThread::currentThread())
              delete mailbox;
          else
              mailbox->deleteLater();
      }) {}

QThreadPool* BatchRunner::threadPool() {
    static QThreadPool pool;
    return &pool;
}

BatchRunner::~BatchRunner() {
    // Jobs still running hold their own token and items; they stop at their next check
    // and their results, addressed to this object, are dropped with it.
    if (m_token)
        m_token->cancel();
}

bool BatchRunner::isCancelled() const {
    return m_token && m_token->isCancelled();
}

bool BatchRunner::start(Hooks hooks, int concurrency) {
    if (m_running)
        return false;
    m_hooks = std::move(hooks);
    resetUnfinishedItems(m_hooks.items());
    m_token = std::make_shared<CancellationToken>();
    m_concurrency = std::max(1, concurrency);
    m_index = 0;
    m_started = 0;
    m_inFlight = 0;
    m_walkEnded = false;
    m_running = true;
    // A pool smaller than the cap would silently lower it.
    QThreadPool* pool = threadPool();
    if (pool->maxThreadCount() < m_concurrency)
        pool->setMaxThreadCount(m_concurrency);
    pump();
    return true;
}

void BatchRunner::cancel() {
    if (!m_running || !m_token)
        return;
    m_token->cancel();
    pump();
}

void BatchRunner::pump() {
    while (!m_walkEnded) {
        const ItemList& items = m_hooks.items();
        if (m_index >= items.size() || m_token->isCancelled()) {
            m_walkEnded = true;
            break;
        }
        const std::shared_ptr<ImageItem> item = items.at(m_index);
        if (isFinished(item->status())) {
            ++m_index;
            continue;
        }
        if (m_inFlight >= m_concurrency)
            return; // resumed when a job ends
        // A file run again starts from nothing, not from where a cancelled pass stopped.
        item->setProgress(0.0);
        item->setStatus(ConversionStatus::processing());
        const int startedIndex = m_started++;
        ++m_index;
        Job job;
        try {
            job = m_hooks.prepare(*item, startedIndex);
        } catch (...) {
            const QString message = describeCurrentException();
            item->setStatus(ConversionStatus::error(message));
            item->setErrorMessage(message);
            continue;
        }
        launch(item, std::move(job));
    }
    finishIfDone();
}

void BatchRunner::launch(const std::shared_ptr<ImageItem>& item, Job job) {
    ++m_inFlight;
    const std::shared_ptr<CancellationToken> token = m_token;
    QPointer<BatchRunner> self(this);
    // The outcome is posted to the mailbox, which the job keeps alive: the runner itself
    // may be destroyed at any moment on its own thread, even between a check of `self`
    // here and the post.
    std::shared_ptr<QObject> mailbox = m_mailbox;
    threadPool()->start([self, mailbox, item, token, job = std::move(job)]() {
        const ThreadBudget::FileInFlight counted;
        std::function<void()> record;
        bool cancelled = false;
        std::optional<QString> error;
        try {
            token->check();
            record = job(*token);
        } catch (const CancelledError&) {
            cancelled = true;
        } catch (...) {
            error = describeCurrentException();
        }
        // A failure noticed after the user cancelled is a consequence of cancelling.
        if (token->isCancelled() && error)
            cancelled = true;
        QMetaObject::invokeMethod(
            mailbox.get(),
            [self, item, record = std::move(record), cancelled, error]() mutable {
                if (self)
                    self->jobEnded(item, record, cancelled, error);
            },
            Qt::QueuedConnection);
    });
}

void BatchRunner::jobEnded(const std::shared_ptr<ImageItem>& item,
                           const std::function<void()>& record, bool cancelled,
                           const std::optional<QString>& error) {
    --m_inFlight;
    if (cancelled) {
        item->setStatus(ConversionStatus::cancelled());
    } else if (error) {
        item->setStatus(ConversionStatus::error(*error));
        item->setErrorMessage(*error);
    } else {
        if (record)
            record();
        item->setStatus(ConversionStatus::completed());
    }
    if (m_hooks.finished)
        m_hooks.finished(*item);
    pump();
}

void BatchRunner::finishIfDone() {
    if (!m_running || !m_walkEnded || m_inFlight > 0)
        return;
    const bool cancelled = m_token->isCancelled();
    if (cancelled) {
        for (const auto& item : m_hooks.items()) {
            if (item->status().is(ConversionStatus::Kind::waiting))
                item->setStatus(ConversionStatus::cancelled());
        }
    }
    m_running = false;
    Q_EMIT finished(cancelled);
}

} // namespace glintwork
