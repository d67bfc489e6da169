#pragma once

#include <array>
#include <optional>

#include <QSet>
#include <QString>

#include "naming/NamingConfig.h"

namespace glintwork {

enum class OutputFormat { webp, jpeg, png, heic, avif };

inline constexpr std::array<OutputFormat, 5> kAllOutputFormats{
    OutputFormat::webp, OutputFormat::jpeg, OutputFormat::png, OutputFormat::heic,
    OutputFormat::avif};

[[nodiscard]] QString keyword(OutputFormat format);
// Exact, case-sensitive: "jpg" and "JPEG" are not formats.
[[nodiscard]] std::optional<OutputFormat> outputFormatFromKeyword(const QString& word);
// Shown verbatim, never translated.
[[nodiscard]] QString displayName(OutputFormat format);
// "jpg" for JPEG; the keyword otherwise.
[[nodiscard]] QString fileExtension(OutputFormat format);

// Everything the compress driver needs for one batch.
struct ConversionSettings {
    OutputFormat outputFormat = OutputFormat::webp;
    int quality = 80;
    bool resizeEnabled = false;
    // Absent or not positive: no limit.
    std::optional<int> maxWidth;
    std::optional<int> maxHeight;
    NamingConfig naming{NamingMode::original, QString(), QStringLiteral("image"), QStringLiteral("01")};

    [[nodiscard]] const NamingConfig& namingConfig() const { return naming; }

    friend bool operator==(const ConversionSettings&, const ConversionSettings&) = default;

    // The input extensions the compress tool accepts.
    [[nodiscard]] static const QSet<QString>& supportedExtensions();
};

} // namespace glintwork
