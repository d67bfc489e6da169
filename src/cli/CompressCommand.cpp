#include "cli/BatchCommand.h"
#include "compress/CompressDriver.h"

namespace glintwork::cli {

int runCompress(const ParsedCommand& command) {
    ConversionSettings settings;
    if (const auto format = command.value(QStringLiteral("format"))) {
        const auto parsed = outputFormatFromKeyword(*format);
        if (!parsed)
            throw UsageError(
                QStringLiteral("--format must be webp, jpeg, png, heic or avif, not '%1'")
                    .arg(*format));
        settings.outputFormat = *parsed;
    }
    if (const auto quality = command.value(QStringLiteral("quality")))
        settings.quality = parseInteger(QStringLiteral("--quality"), *quality, 0, 100);
    if (const auto width = command.value(QStringLiteral("max-width")))
        settings.maxWidth = parseInteger(QStringLiteral("--max-width"), *width, 1, 1'000'000);
    if (const auto height = command.value(QStringLiteral("max-height")))
        settings.maxHeight = parseInteger(QStringLiteral("--max-height"), *height, 1, 1'000'000);
    settings.resizeEnabled = settings.maxWidth || settings.maxHeight;
    settings.naming = namingFrom(command.common, settings.namingConfig());

    CompressDriver driver;
    driver.applySettings(settings);
    if (command.common.jobs)
        driver.setConcurrencyLimit(*command.common.jobs);
    return runBatch(driver, command.common,
                    {settings.naming, fileExtension(settings.outputFormat), std::nullopt, false});
}

} // namespace glintwork::cli
