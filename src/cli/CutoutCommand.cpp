#include "cli/BatchCommand.h"
#include "cutout/CutoutViewModel.h"

namespace glintwork::cli {

int runCutout(const QStringList& arguments) {
    const ParsedCommand command = parseCommandLine(
        arguments, {QStringLiteral("--mode"), QStringLiteral("--format")},
        {QStringLiteral("--export-mask")});
    CutoutSettings settings;
    if (const auto mode = command.value(QStringLiteral("--mode"))) {
        if (*mode == QStringLiteral("clean-edges"))
            settings.mode = CutoutMode::cleanEdges;
        else if (*mode == QStringLiteral("lossless"))
            settings.mode = CutoutMode::lossless;
        else
            throw UsageError(
                QStringLiteral("--mode must be clean-edges or lossless, not '%1'").arg(*mode));
    }
    if (const auto format = command.value(QStringLiteral("--format"))) {
        const auto parsed = cutoutOutputFormatFromRawValue(*format);
        if (!parsed)
            throw UsageError(QStringLiteral("--format must be png or tiff, not '%1'").arg(*format));
        settings.outputFormat = *parsed;
    }
    settings.exportMaskSeparately = command.hasFlag(QStringLiteral("--export-mask"));
    const NamingConfig naming = namingFrom(command.common, settings.namingConfig());
    settings.naming = naming;

    CutoutViewModel driver;
    driver.applySettings(settings);
    driver.setFixedOutputDirectory(outputFolderFrom(command.common));
    if (command.common.jobs)
        driver.setConcurrencyLimit(*command.common.jobs);
    return runBatch(driver, command.common);
}

} // namespace glintwork::cli
