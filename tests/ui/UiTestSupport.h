#pragma once

#include <atomic>
#include <memory>

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include "compress/ConversionViewModel.h"
#include "cutout/CutoutPipeline.h"
#include "cutout/CutoutViewModel.h"

class QWidget;

namespace glintwork::test {

// Points the preference store at a fresh temporary folder for this test process.
void isolatePreferences(QTemporaryDir& folder);

// Writes `count` small PNG files (`name0.png`, ...) into `folder`, of distinct sizes.
QList<QUrl> writeImages(const QString& folder, int count, const QString& name = QStringLiteral("photo"));

// Drags `urls` onto `target` the way a file manager does (text/uri-list) and drops them;
// false when the target refused the drag.
bool dropFiles(QWidget* target, const QList<QUrl>& urls);

// A stand-in for the encoder that the test controls: items whose file name is in
// `finishAtOnce` are "converted" at once (a copy of half the input's bytes is written);
// every other item waits until the run is cancelled or `release` is set.
struct ControlledConverter {
    std::shared_ptr<std::atomic<bool>> release = std::make_shared<std::atomic<bool>>(false);
    QStringList finishAtOnce;

    [[nodiscard]] ConversionViewModel::Pipeline converter() const;
};

// The cut-out pipeline with `remover` making the masks.
[[nodiscard]] CutoutViewModel::Pipeline cutoutWith(std::shared_ptr<const BackgroundRemoving> remover);

} // namespace glintwork::test
