#include "upscale/views/UpscaleFileListView.h"

#include <QMenu>

#include "batch/views/BatchListModel.h"
#include "upscale/UpscaleViewModel.h"

namespace glintwork {

namespace {

BatchListModel::Layout upscaleLayout(UpscaleViewModel* driver) {
    using C = BatchListModel::Column;
    BatchListModel::Layout layout;
    layout.columns = {C::file, C::convert, C::size, C::status};
    const QPointer<UpscaleViewModel> guarded(driver);
    layout.convertText = [guarded](const ImageItem& item) {
        return guarded ? UpscaleFileListView::conversionText(item, *guarded) : QString();
    };
    layout.processingText = UpscaleFileListView::tr("Upscaling");
    layout.statusStyle = BatchListModel::StatusStyle::progress;
    return layout;
}

} // namespace

UpscaleFileListView::UpscaleFileListView(ToolDriver* batch, UpscaleViewModel* driver,
                                         QWidget* parent)
    : BatchListView(batch, new BatchListModel(batch, upscaleLayout(driver)), {120, 80, 110},
                    parent),
      m_driver(driver) {}

QString UpscaleFileListView::conversionText(const ImageItem& item, const UpscaleViewModel& driver) {
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
