#include "cutout/CutoutDriver.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThreadPool>

#include "cutout/BackgroundRemover.h"
#include "naming/OutputNamer.h"
#include "platform/ThreadBudget.h"

namespace glintwork {

CutoutDriver::CutoutDriver(QObject* parent)
    : ToolDriverWithSettings(CutoutSettings::supportedExtensions(), parent) {
    // The run's pipeline holds the remover and with it the networks' memory.
    connect(this, &ToolDriver::runFinished, this, [this] { m_pipeline = nullptr; });
}

CutoutDriver::~CutoutDriver() = default;

QString CutoutDriver::cancellingText() const {
    return QCoreApplication::translate("CutoutDriver", "Cancelling processing");
}

void CutoutDriver::updateMode(CutoutMode mode) {
    CutoutSettings next = m_settings;
    next.mode = mode;
    replaceSettings(next);
    m_persistence.setSavedMode(mode);
}

void CutoutDriver::updateOutputFormat(CutoutOutputFormat format) {
    CutoutSettings next = m_settings;
    next.outputFormat = format;
    replaceSettings(next);
    m_persistence.setSavedOutputFormat(format);
}

void CutoutDriver::updateExportMaskSeparately(bool exportMask) {
    CutoutSettings next = m_settings;
    next.exportMaskSeparately = exportMask;
    replaceSettings(next);
    m_persistence.setSavedExportMaskSeparately(exportMask);
}

void CutoutDriver::updateNamingConfig(const NamingConfig& config) {
    replaceSettings(withNamingConfig(m_settings, config));
    m_persistence.save(m_settings.namingConfig());
}

int defaultCutoutConcurrency(int processors, std::int64_t physicalMemoryBytes, bool network) {
    const int cores = std::max(1, processors);
    if (!network)
        return cores;
    constexpr std::int64_t kGiB = std::int64_t(1) << 30;
    // An unknown size is treated as small: a second file is a gain only in time.
    if (physicalMemoryBytes < 4 * kGiB)
        return 1;
    return std::min(cores, 2);
}

int CutoutDriver::defaultConcurrency() const {
    const bool network = !m_chosenPipeline && BackgroundRemover::subjectModelPath().has_value();
    return defaultCutoutConcurrency(ThreadBudget::cores(), physicalMemoryBytes(), network);
}

void CutoutDriver::beginRun() {
    m_snapshot.sharedFolder = outputFolder();
    m_snapshot.format = m_settings.outputFormat;
    m_snapshot.exportMask = m_settings.exportMaskSeparately;
    m_snapshot.mode = m_settings.mode;
    m_snapshot.naming = m_settings.namingConfig();
}

CutoutDriver::Pipeline CutoutDriver::ownPipeline() const {
    auto remover = std::make_shared<BackgroundRemover>();
    QThreadPool::globalInstance()->start([remover] { remover->preloadSubjectNetwork(); });
    return [remover = std::shared_ptr<const BackgroundRemoving>(std::move(remover))](
               const CutoutRequest& request, CancellationToken& token, const Progress& progress) {
        return runCutoutPipeline(request, remover, token, progress);
    };
}

BatchRunner::Job CutoutDriver::prepare(ImageItem& item, int startedIndex) {
    CutoutRequest request;
    request.input = item.url();
    request.mode = m_snapshot.mode;
    request.format = m_snapshot.format;
    const QUrl folder = outputFolderFor(item.url(), m_snapshot.sharedFolder);
    // Names are checked against the disk and against the names already handed out in
    // this run, so two files never race for one output.
    const QString base =
        OutputNamer::computeBaseName(item.url(), m_snapshot.naming, startedIndex, std::nullopt);
    request.outputURL = reserveOutputURL(OutputNamer::outputURL(folder, base, fileExtension(request.format)));
    if (m_snapshot.exportMask) {
        const QString maskBase = OutputNamer::stemOf(request.outputURL) + QStringLiteral("-mask");
        const QUrl maskFolder = QUrl::fromLocalFile(QFileInfo(request.outputURL.toLocalFile()).absolutePath());
        request.maskURL = reserveOutputURL(OutputNamer::outputURL(maskFolder, maskBase, QStringLiteral("png")));
    }
    return jobFor(item, std::move(request));
}

} // namespace glintwork
