#include "upscale/views/UpscaleFileListView.h"

#include <memory>

#include <QHash>
#include <QMenu>
#include <QSize>

#include "batch/views/BatchListModel.h"
#include "upscale/UpscaleDriver.h"

namespace glintwork {

namespace {

BatchListModel::Layout upscaleLayout(UpscaleDriver* driver) {
    using C = BatchListModel::Column;
    BatchListModel::Layout layout;
    layout.columns = {C::file, C::convert, C::size, C::status};
    const QPointer<UpscaleDriver> guarded(driver);
    layout.convertText = [guarded](const ImageItem& item) {
        return guarded ? UpscaleFileListView::conversionText(item, *guarded) : QString();
    };
    layout.processingText = UpscaleFileListView::tr("Upscaling");
    // Pixels say more about an enlargement than bytes: "1590 × 1073 → 6360 × 4292" once done.
    // A written file's header is read once.
    auto written = std::make_shared<QHash<QUrl, QSize>>();
    layout.sizeText = [written](const ImageItem& item) {
        const QString source =
            UpscaleFileListView::tr("%1 × %2").arg(item.pixelWidth()).arg(item.pixelHeight());
        const auto& output = item.outputURL();
        if (!item.status().is(ConversionStatus::Kind::completed) || !output)
            return source;
        auto found = written->find(*output);
        if (found == written->end()) {
            const ImageItem result(*output);
            found = written->insert(*output, QSize(result.pixelWidth(), result.pixelHeight()));
        }
        if (found->isEmpty())
            return source;
        return source + QStringLiteral(" → ") +
               UpscaleFileListView::tr("%1 × %2").arg(found->width()).arg(found->height());
    };
    layout.statusStyle = BatchListModel::StatusStyle::progress;
    return layout;
}

} // namespace

UpscaleFileListView::UpscaleFileListView(ToolDriver* batch, UpscaleDriver* driver,
                                         QWidget* parent)
    : BatchListView(batch, new BatchListModel(batch, upscaleLayout(driver)), {120, 170, 130},
                    parent),
      m_driver(driver) {}

QString UpscaleFileListView::conversionText(const ImageItem& item, const UpscaleDriver& driver) {
    const UpscaleSettings& settings = driver.settings();
    const ModelChoice choice = chooseModel(settings.style, settings.scale, settings.quality);
    QString text = item.inputFormat().toUpper() + QStringLiteral(" → ") +
                   QStringLiteral("%1x ").arg(choice.factor) + displayName(settings.outputFormat);
    if (choice.model == UpscaleModel::x4fast || choice.model == UpscaleModel::animeX4fast)
        text += QLatin1Char(' ') + tr("(fast)");
    return text;
}

void UpscaleFileListView::addRowActions(QMenu* menu, ImageItem* item) {
    const QPointer<ImageItem> target(item);
    menu->addAction(tr("Preview"), this, [this, target] {
        if (m_driver && target)
            m_driver->setPreviewItem(target);
    });
}

} // namespace glintwork
