#pragma once

#include <array>
#include <memory>
#include <optional>

#include <QSet>
#include <QString>

#include "naming/NamingConfig.h"

namespace glintwork {

class PreferenceStore;

// The super-resolution networks. x4fast is the compact general network: far less work per
// pixel than x4plus, for machines without a GPU; animeX4fast is its anime counterpart, and
// animeX2 the same anime network with its result halved inside the network.
enum class UpscaleModel { x4plus, animeX4, x2plus, x4fast, animeX4fast, animeX2 };
inline constexpr std::array<UpscaleModel, 6> kAllUpscaleModels{
    UpscaleModel::x4plus, UpscaleModel::animeX4,     UpscaleModel::x2plus,
    UpscaleModel::x4fast, UpscaleModel::animeX4fast, UpscaleModel::animeX2};
[[nodiscard]] QString keyword(UpscaleModel model);
[[nodiscard]] QString displayName(UpscaleModel model);
// The factor the network itself enlarges by.
[[nodiscard]] int scaleFactor(UpscaleModel model);
// File name without extension in Resources/models/.
[[nodiscard]] QString resourceName(UpscaleModel model);

// What the user says the images are.
enum class UpscaleStyle { automatic, generalPhoto, anime };
inline constexpr std::array<UpscaleStyle, 3> kAllUpscaleStyles{
    UpscaleStyle::automatic, UpscaleStyle::generalPhoto, UpscaleStyle::anime};
[[nodiscard]] QString keyword(UpscaleStyle style);
[[nodiscard]] std::optional<UpscaleStyle> upscaleStyleFromKeyword(const QString& word);
[[nodiscard]] QString displayName(UpscaleStyle style);

enum class UpscaleOutputFormat { png, jpeg };
inline constexpr std::array<UpscaleOutputFormat, 2> kAllUpscaleOutputFormats{
    UpscaleOutputFormat::png, UpscaleOutputFormat::jpeg};
[[nodiscard]] QString keyword(UpscaleOutputFormat format);
[[nodiscard]] std::optional<UpscaleOutputFormat>
upscaleOutputFormatFromKeyword(const QString& word);
[[nodiscard]] QString displayName(UpscaleOutputFormat format);
[[nodiscard]] QString fileExtension(UpscaleOutputFormat format);

// Which general network the user trades speed against: the best one, or the fast one.
enum class UpscaleQuality { best, fast };
inline constexpr std::array<UpscaleQuality, 2> kAllUpscaleQualities{UpscaleQuality::best,
                                                                    UpscaleQuality::fast};
[[nodiscard]] QString keyword(UpscaleQuality quality);
[[nodiscard]] QString displayName(UpscaleQuality quality);

inline constexpr std::array<int, 2> kAllowedUpscaleFactors{2, 4};
[[nodiscard]] bool isAllowedUpscaleFactor(int factor);

struct ModelChoice {
    UpscaleModel model;
    int factor;
    friend bool operator==(const ModelChoice&, const ModelChoice&) = default;
};

// 2 picks a 2x network and anything else a 4x one. Anime at 2x has one network, whatever
// the quality; at 4x `fast` picks the compact anime network. Otherwise `fast` picks the
// fast general 4x network at either factor (reduced for 2x). Auto inspects nothing.
[[nodiscard]] ModelChoice chooseModel(UpscaleStyle style, int scale,
                                      UpscaleQuality quality = UpscaleQuality::best);

struct UpscaleSettings {
    UpscaleOutputFormat outputFormat = UpscaleOutputFormat::png;
    UpscaleStyle style = UpscaleStyle::automatic;
    int scale = 2;
    UpscaleQuality quality = UpscaleQuality::best;
    NamingConfig naming{NamingMode::suffix, QStringLiteral("-upscaled-{scale}x"),
                        QStringLiteral("image"), QStringLiteral("01")};

    [[nodiscard]] const NamingConfig& namingConfig() const { return naming; }

    friend bool operator==(const UpscaleSettings&, const UpscaleSettings&) = default;

    [[nodiscard]] static const QSet<QString>& supportedExtensions();
};

class UpscaleSettingsPersistence {
public:
    UpscaleSettingsPersistence();
    ~UpscaleSettingsPersistence();

    [[nodiscard]] UpscaleSettings load() const;
    void save(const NamingConfig& namingConfig);

    // Written by the driver the moment the user changes them.
    void setSavedFormat(UpscaleOutputFormat format);
    void setSavedStyle(UpscaleStyle style);
    void setSavedScale(int scale);
    void setSavedQuality(UpscaleQuality quality);

private:
    std::unique_ptr<PreferenceStore> m_store;
};

} // namespace glintwork
