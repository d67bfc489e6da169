#include "cli/BatchCommand.h"
#include "upscale/UpscaleDriver.h"

namespace glintwork::cli {

int runUpscale(const ParsedCommand& command) {
    UpscaleSettings settings;
    if (const auto style = command.value(QStringLiteral("style"))) {
        const auto parsed = upscaleStyleFromKeyword(*style);
        if (!parsed)
            throw UsageError(
                QStringLiteral("--style must be auto, general or anime, not '%1'").arg(*style));
        settings.style = *parsed;
    }
    if (const auto scale = command.value(QStringLiteral("scale"))) {
        const int factor = parseInteger(QStringLiteral("--scale"), *scale, 2, 4);
        if (!isAllowedUpscaleFactor(factor))
            throw UsageError(QStringLiteral("--scale must be 2 or 4, not '%1'").arg(*scale));
        settings.scale = factor;
    }
    if (command.has(QStringLiteral("fast")))
        settings.quality = UpscaleQuality::fast;
    if (const auto format = command.value(QStringLiteral("format"))) {
        const auto parsed = upscaleOutputFormatFromKeyword(*format);
        if (!parsed)
            throw UsageError(QStringLiteral("--format must be png or jpeg, not '%1'").arg(*format));
        settings.outputFormat = *parsed;
    }
    settings.naming = namingFrom(command.common, settings.namingConfig());

    UpscaleDriver driver;
    driver.applySettings(settings);
    if (command.common.jobs)
        driver.setConcurrencyLimit(*command.common.jobs);
    return runBatch(driver, command.common,
                    {settings.naming, fileExtension(settings.outputFormat),
                     chooseModel(settings.style, settings.scale, settings.quality).factor, false});
}

} // namespace glintwork::cli
