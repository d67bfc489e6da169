#include "cli/BatchCommand.h"
#include "upscale/UpscaleViewModel.h"

namespace glintwork::cli {

int runUpscale(const QStringList& arguments) {
    const ParsedCommand command = parseCommandLine(
        arguments, {QStringLiteral("--style"), QStringLiteral("--scale"), QStringLiteral("--format")},
        {QStringLiteral("--fast")});
    UpscaleSettings settings;
    if (const auto style = command.value(QStringLiteral("--style"))) {
        const auto parsed = upscaleStyleFromRawValue(*style);
        if (!parsed)
            throw UsageError(
                QStringLiteral("--style must be auto, general or anime, not '%1'").arg(*style));
        settings.style = *parsed;
    }
    if (const auto scale = command.value(QStringLiteral("--scale"))) {
        const int factor = parseInteger(QStringLiteral("--scale"), *scale, 2, 4);
        if (!isAllowedUpscaleFactor(factor))
            throw UsageError(QStringLiteral("--scale must be 2 or 4, not '%1'").arg(*scale));
        settings.scale = factor;
    }
    if (command.hasFlag(QStringLiteral("--fast")))
        settings.quality = UpscaleQuality::fast;
    if (const auto format = command.value(QStringLiteral("--format"))) {
        const auto parsed = upscaleOutputFormatFromRawValue(*format);
        if (!parsed)
            throw UsageError(QStringLiteral("--format must be png or jpeg, not '%1'").arg(*format));
        settings.outputFormat = *parsed;
    }
    const NamingConfig naming = namingFrom(command.common, settings.namingConfig());
    settings.naming = naming;

    UpscaleViewModel driver;
    driver.applySettings(settings);
    driver.setFixedOutputDirectory(outputFolderFrom(command.common));
    if (command.common.jobs)
        driver.setConcurrencyLimit(*command.common.jobs);
    return runBatch(driver, command.common);
}

} // namespace glintwork::cli
