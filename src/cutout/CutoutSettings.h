#pragma once

#include <array>
#include <memory>
#include <optional>

#include <QSet>
#include <QString>

#include "naming/NamingConfig.h"

namespace glintwork {

class PreferenceStore;

enum class CutoutMode { cleanEdges, lossless };
inline constexpr std::array<CutoutMode, 2> kAllCutoutModes{CutoutMode::cleanEdges,
                                                           CutoutMode::lossless};
[[nodiscard]] QString keyword(CutoutMode mode);
[[nodiscard]] QString displayName(CutoutMode mode);
// One help text for the mode control, covering both modes.
[[nodiscard]] QString cutoutModeHelpText();

enum class CutoutOutputFormat { png, tiff };
inline constexpr std::array<CutoutOutputFormat, 2> kAllCutoutOutputFormats{
    CutoutOutputFormat::png, CutoutOutputFormat::tiff};
[[nodiscard]] QString keyword(CutoutOutputFormat format);
[[nodiscard]] std::optional<CutoutOutputFormat> cutoutOutputFormatFromKeyword(const QString& word);
[[nodiscard]] QString displayName(CutoutOutputFormat format);
[[nodiscard]] QString fileExtension(CutoutOutputFormat format);

struct CutoutSettings {
    CutoutMode mode = CutoutMode::lossless;
    CutoutOutputFormat outputFormat = CutoutOutputFormat::png;
    bool exportMaskSeparately = false;
    NamingConfig naming{NamingMode::suffix, QStringLiteral("-cutout"), QStringLiteral("image"),
                        QStringLiteral("01")};

    [[nodiscard]] const NamingConfig& namingConfig() const { return naming; }

    friend bool operator==(const CutoutSettings&, const CutoutSettings&) = default;

    [[nodiscard]] static const QSet<QString>& supportedExtensions();
};

class CutoutSettingsPersistence {
public:
    CutoutSettingsPersistence();
    ~CutoutSettingsPersistence();

    [[nodiscard]] CutoutSettings load() const;
    void save(const NamingConfig& namingConfig);

    // Written by the driver the moment the user changes them.
    void setSavedMode(CutoutMode mode);
    void setSavedOutputFormat(CutoutOutputFormat format);
    void setSavedExportMaskSeparately(bool exportMask);

private:
    std::unique_ptr<PreferenceStore> m_store;
};

} // namespace glintwork
