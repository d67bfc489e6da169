#include "upscale/UpscaleSettings.h"

#include <algorithm>

#include <QCoreApplication>

#include "platform/TabKind.h"
#include "naming/NamingPersistence.h"
#include "platform/PreferenceStore.h"

namespace glintwork {

namespace {

QString key(const char* name) {
    return preferenceKey(TabKind::upscale, name);
}

template <typename Enum, size_t N>
std::optional<Enum> fromKeyword(const std::array<Enum, N>& all, const QString& word) {
    for (Enum value : all) {
        if (keyword(value) == word)
            return value;
    }
    return std::nullopt;
}

} // namespace

QString keyword(UpscaleModel model) {
    switch (model) {
    case UpscaleModel::x4plus:
        return QStringLiteral("x4plus");
    case UpscaleModel::animeX4:
        return QStringLiteral("anime_x4");
    case UpscaleModel::x2plus:
        return QStringLiteral("x2plus");
    case UpscaleModel::x4fast:
        return QStringLiteral("x4fast");
    case UpscaleModel::animeX4fast:
        return QStringLiteral("anime_x4fast");
    case UpscaleModel::animeX2:
        return QStringLiteral("anime_x2");
    }
    return {};
}

QString displayName(UpscaleModel model) {
    switch (model) {
    case UpscaleModel::x4plus:
        return QCoreApplication::translate("UpscaleModel", "General 4x");
    case UpscaleModel::animeX4:
        return QCoreApplication::translate("UpscaleModel", "Anime / Illustration 4x");
    case UpscaleModel::x2plus:
        return QCoreApplication::translate("UpscaleModel", "General 2x");
    case UpscaleModel::x4fast:
        return QCoreApplication::translate("UpscaleModel", "General 4x (fast)");
    case UpscaleModel::animeX4fast:
        return QCoreApplication::translate("UpscaleModel", "Anime / Illustration 4x (fast)");
    case UpscaleModel::animeX2:
        return QCoreApplication::translate("UpscaleModel", "Anime / Illustration 2x");
    }
    return {};
}

int scaleFactor(UpscaleModel model) {
    return model == UpscaleModel::x2plus || model == UpscaleModel::animeX2 ? 2 : 4;
}

QString resourceName(UpscaleModel model) {
    switch (model) {
    case UpscaleModel::x4plus:
        return QStringLiteral("RealESRGAN_x4plus");
    case UpscaleModel::animeX4:
        return QStringLiteral("RealESRGAN_anime_x4");
    case UpscaleModel::x2plus:
        return QStringLiteral("RealESRGAN_x2plus");
    case UpscaleModel::x4fast:
        return QStringLiteral("RealESRGAN_x4fast");
    case UpscaleModel::animeX4fast:
        return QStringLiteral("RealESRGAN_anime_x4fast");
    case UpscaleModel::animeX2:
        return QStringLiteral("RealESRGAN_anime_x2");
    }
    return {};
}

QString keyword(UpscaleStyle style) {
    switch (style) {
    case UpscaleStyle::automatic:
        return QStringLiteral("auto");
    case UpscaleStyle::generalPhoto:
        return QStringLiteral("general");
    case UpscaleStyle::anime:
        return QStringLiteral("anime");
    }
    return {};
}

std::optional<UpscaleStyle> upscaleStyleFromKeyword(const QString& word) {
    return fromKeyword(kAllUpscaleStyles, word);
}

QString displayName(UpscaleStyle style) {
    switch (style) {
    case UpscaleStyle::automatic:
        return QCoreApplication::translate("UpscaleStyle", "Auto");
    case UpscaleStyle::generalPhoto:
        return QCoreApplication::translate("UpscaleStyle", "General photo");
    case UpscaleStyle::anime:
        return QCoreApplication::translate("UpscaleStyle", "Anime / Illustration");
    }
    return {};
}

QString keyword(UpscaleOutputFormat format) {
    return format == UpscaleOutputFormat::png ? QStringLiteral("png") : QStringLiteral("jpeg");
}

std::optional<UpscaleOutputFormat> upscaleOutputFormatFromKeyword(const QString& word) {
    return fromKeyword(kAllUpscaleOutputFormats, word);
}

QString displayName(UpscaleOutputFormat format) {
    return format == UpscaleOutputFormat::png
               ? QCoreApplication::translate("UpscaleOutputFormat", "PNG")
               : QCoreApplication::translate("UpscaleOutputFormat", "JPEG");
}

QString fileExtension(UpscaleOutputFormat format) {
    return format == UpscaleOutputFormat::png ? QStringLiteral("png") : QStringLiteral("jpg");
}

QString keyword(UpscaleQuality quality) {
    return quality == UpscaleQuality::fast ? QStringLiteral("fast") : QStringLiteral("best");
}

QString displayName(UpscaleQuality quality) {
    return quality == UpscaleQuality::fast
               ? QCoreApplication::translate("UpscaleQuality", "Fast")
               : QCoreApplication::translate("UpscaleQuality", "Best");
}

bool isAllowedUpscaleFactor(int factor) {
    return std::find(kAllowedUpscaleFactors.begin(), kAllowedUpscaleFactors.end(), factor) !=
           kAllowedUpscaleFactors.end();
}

ModelChoice chooseModel(UpscaleStyle style, int scale, UpscaleQuality quality) {
    if (style == UpscaleStyle::anime) {
        if (scale == 2)
            return {UpscaleModel::animeX2, 2};
        return {quality == UpscaleQuality::fast ? UpscaleModel::animeX4fast : UpscaleModel::animeX4,
                4};
    }
    if (quality == UpscaleQuality::fast)
        return {UpscaleModel::x4fast, scale == 2 ? 2 : 4};
    if (scale == 2)
        return {UpscaleModel::x2plus, 2};
    return {UpscaleModel::x4plus, 4};
}

const QSet<QString>& UpscaleSettings::supportedExtensions() {
    static const QSet<QString> extensions{
        QStringLiteral("png"),  QStringLiteral("jpg"),  QStringLiteral("jpeg"),
        QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("tiff"),
        QStringLiteral("tif"),  QStringLiteral("webp"), QStringLiteral("bmp")};
    return extensions;
}

UpscaleSettingsPersistence::UpscaleSettingsPersistence()
    : m_store(std::make_unique<PreferenceStore>()) {}

UpscaleSettingsPersistence::~UpscaleSettingsPersistence() = default;

UpscaleSettings UpscaleSettingsPersistence::load() const {
    UpscaleSettings settings;
    settings.outputFormat =
        m_store->string(key("outputFormat"), QStringLiteral("png")) == QLatin1String("jpeg")
            ? UpscaleOutputFormat::jpeg
            : UpscaleOutputFormat::png;
    const QString style = m_store->string(key("style"), QStringLiteral("auto"));
    settings.style = style == QLatin1String("anime")     ? UpscaleStyle::anime
                     : style == QLatin1String("general") ? UpscaleStyle::generalPhoto
                                                         : UpscaleStyle::automatic;
    const qint64 scale = m_store->integer(key("scale"), 2);
    settings.scale = (scale == 2 || scale == 4) ? static_cast<int>(scale) : 2;
    settings.quality = m_store->string(key("quality"), QStringLiteral("best")) == QLatin1String("fast")
                           ? UpscaleQuality::fast
                           : UpscaleQuality::best;
    const NamingConfig naming =
        loadNamingConfig(*m_store, TabKind::upscale, UpscaleSettings().namingConfig());
    settings.naming = naming;
    return settings;
}

void UpscaleSettingsPersistence::save(const NamingConfig& namingConfig) {
    saveNamingConfig(*m_store, TabKind::upscale, namingConfig);
}

void UpscaleSettingsPersistence::setSavedFormat(UpscaleOutputFormat format) {
    m_store->setString(key("outputFormat"), keyword(format));
}

void UpscaleSettingsPersistence::setSavedStyle(UpscaleStyle style) {
    m_store->setString(key("style"), keyword(style));
}

void UpscaleSettingsPersistence::setSavedQuality(UpscaleQuality quality) {
    m_store->setString(key("quality"), keyword(quality));
}

void UpscaleSettingsPersistence::setSavedScale(int scale) {
    if (isAllowedUpscaleFactor(scale))
        m_store->setInteger(key("scale"), scale);
}

} // namespace glintwork
