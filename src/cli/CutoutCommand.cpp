#include "cli/BatchCommand.h"
#include "cutout/CutoutDriver.h"

namespace glintwork::cli {

int runCutout(const ParsedCommand& command) {
    CutoutSettings settings;
    if (const auto mode = command.value(QStringLiteral("mode"))) {
        if (*mode == QStringLiteral("clean-edges"))
            settings.mode = CutoutMode::cleanEdges;
        else if (*mode == QStringLiteral("lossless"))
            settings.mode = CutoutMode::lossless;
        else
            throw UsageError(
                QStringLiteral("--mode must be clean-edges or lossless, not '%1'").arg(*mode));
    }
    if (const auto format = command.value(QStringLiteral("format"))) {
        const auto parsed = cutoutOutputFormatFromKeyword(*format);
        if (!parsed)
            throw UsageError(QStringLiteral("--format must be png or tiff, not '%1'").arg(*format));
        settings.outputFormat = *parsed;
    }
    settings.exportMaskSeparately = command.has(QStringLiteral("export-mask"));
    settings.naming = namingFrom(command.common, settings.namingConfig());

    CutoutDriver driver;
    driver.applySettings(settings);
    if (command.common.jobs)
        driver.setConcurrencyLimit(*command.common.jobs);
    return runBatch(driver, command.common,
                    {settings.naming, fileExtension(settings.outputFormat), std::nullopt,
                     settings.exportMaskSeparately});
}

} // namespace glintwork::cli
