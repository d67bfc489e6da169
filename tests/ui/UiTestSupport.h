#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "batch/ToolDriver.h"
#include "platform/CancellationToken.h"

class QWidget;

namespace glintwork::test {

// Points the preference store at a fresh folder inside `folder`: nothing stored yet.
void isolatePreferences(QTemporaryDir& folder);

// Shows the window and waits until it is active (a QVERIFY failure when it never is).
void activate(QWidget* window);

// Writes `count` small PNG files (`name0.png`, ...) into `folder`, of distinct sizes.
QList<QUrl> writeImages(const QString& folder, int count,
                        const QString& name = QStringLiteral("photo"));

// Drags `urls` onto `target` the way a file manager does (text/uri-list) and drops them;
// false when the target refused the drag.
bool dropFiles(QWidget* target, const QList<QUrl>& urls);

// A stand-in for any tool's pipeline that the test controls: items whose file name is in
// `finishAtOnce` are done at once (a copy of half the input's bytes is written), those in
// `failAtOnce` fail at once with `kControlledFailure`; every other item reports a quarter
// done and waits until the run is cancelled or `release` is set.
inline constexpr const char* kControlledFailure =
    "The encoder could not read this file: unexpected end of data at byte 12";

struct ControlledPipeline {
    std::shared_ptr<std::atomic<bool>> release = std::make_shared<std::atomic<bool>>(false);
    QStringList finishAtOnce;
    QStringList failAtOnce;

    template <typename Driver> void attach(Driver* driver) const {
        driver->setPipeline([self = *this](const auto& request, CancellationToken& token,
                                           const ToolDriver::Progress& progress) {
            if (self.failAtOnce.contains(request.input.fileName()))
                throw std::runtime_error(kControlledFailure);
            if (!self.finishAtOnce.contains(request.input.fileName()))
                progress(0.25);
            while (!self.finishAtOnce.contains(request.input.fileName()) && !self.release->load()) {
                token.check();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            token.check();
            QFile source(request.input.toLocalFile());
            QFile written(request.outputURL.toLocalFile());
            if (!source.open(QIODevice::ReadOnly) || !written.open(QIODevice::WriteOnly))
                throw std::runtime_error("the stand-in pipeline could not copy its input");
            written.write(source.read(source.size() / 2));
            return FileOutcome{request.outputURL, std::nullopt};
        });
    }
};

// Rows named by `cases[i].name` whose one column "row" is the index into `cases`.
template <typename Case, std::size_t N> void addRows(const Case (&cases)[N]) {
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < N; ++i)
        QTest::newRow(cases[i].name) << int(i);
}

} // namespace glintwork::test
