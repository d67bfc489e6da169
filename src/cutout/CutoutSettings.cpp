#include "cutout/CutoutSettings.h"

#include <QCoreApplication>

#include "platform/TabKind.h"
#include "naming/NamingPersistence.h"
#include "platform/PreferenceStore.h"

namespace glintwork {

namespace {

QString key(const char* name) {
    return preferenceKey(TabKind::cutout, name);
}

} // namespace

QString keyword(CutoutMode mode) {
    return mode == CutoutMode::cleanEdges ? QStringLiteral("cleanEdges")
                                          : QStringLiteral("lossless");
}

QString displayName(CutoutMode mode) {
    return mode == CutoutMode::cleanEdges
               ? QCoreApplication::translate("CutoutMode", "Clean Edges")
               : QCoreApplication::translate("CutoutMode", "Lossless");
}

QString cutoutModeHelpText() {
    return QCoreApplication::translate(
        "CutoutMode",
        "Clean Edges: AI person matting with halo-free, smooth edges \u2014 best for photos of "
        "people. Lossless: subject mask only; foreground pixels stay byte-for-byte identical.");
}

QString keyword(CutoutOutputFormat format) {
    return format == CutoutOutputFormat::png ? QStringLiteral("png") : QStringLiteral("tiff");
}

std::optional<CutoutOutputFormat> cutoutOutputFormatFromKeyword(const QString& word) {
    for (CutoutOutputFormat format : kAllCutoutOutputFormats) {
        if (keyword(format) == word)
            return format;
    }
    return std::nullopt;
}

QString displayName(CutoutOutputFormat format) {
    return format == CutoutOutputFormat::png ? QStringLiteral("PNG") : QStringLiteral("TIFF");
}

QString fileExtension(CutoutOutputFormat format) {
    return keyword(format);
}

const QSet<QString>& CutoutSettings::supportedExtensions() {
    static const QSet<QString> extensions{
        QStringLiteral("png"),  QStringLiteral("jpg"),  QStringLiteral("jpeg"),
        QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("tiff"),
        QStringLiteral("tif"),  QStringLiteral("webp"), QStringLiteral("bmp"),
        QStringLiteral("gif")};
    return extensions;
}

CutoutSettingsPersistence::CutoutSettingsPersistence()
    : m_store(std::make_unique<PreferenceStore>()) {}

CutoutSettingsPersistence::~CutoutSettingsPersistence() = default;

CutoutSettings CutoutSettingsPersistence::load() const {
    CutoutSettings settings;
    settings.mode = m_store->string(key("mode"), QStringLiteral("lossless")) ==
                            QLatin1String("cleanEdges")
                        ? CutoutMode::cleanEdges
                        : CutoutMode::lossless;
    settings.outputFormat =
        cutoutOutputFormatFromKeyword(m_store->string(key("outputFormat"), QStringLiteral("png")))
            .value_or(CutoutOutputFormat::png);
    settings.exportMaskSeparately = m_store->boolean(key("exportMaskSeparately"), false);
    const NamingConfig naming =
        loadNamingConfig(*m_store, TabKind::cutout, CutoutSettings().namingConfig());
    settings.naming = naming;
    return settings;
}

void CutoutSettingsPersistence::save(const NamingConfig& namingConfig) {
    saveNamingConfig(*m_store, TabKind::cutout, namingConfig);
}

void CutoutSettingsPersistence::setSavedMode(CutoutMode mode) {
    m_store->setString(key("mode"), keyword(mode));
}

void CutoutSettingsPersistence::setSavedOutputFormat(CutoutOutputFormat format) {
    m_store->setString(key("outputFormat"), keyword(format));
}

void CutoutSettingsPersistence::setSavedExportMaskSeparately(bool exportMask) {
    m_store->setBoolean(key("exportMaskSeparately"), exportMask);
}

} // namespace glintwork
