#include <gtest/gtest.h>

#include <variant>

#include "compress/CompressSettingsPersistence.h"
#include "cutout/CutoutSettings.h"
#include "platform/PreferenceStore.h"
#include "support/TestSupport.h"
#include "upscale/UpscaleSettings.h"

namespace glintwork {
namespace {

using namespace Qt::Literals::StringLiterals;

// What loading gives for each stored key (less its "glintwork." prefix), as text.
std::string loaded(const char* key) {
    const ConversionSettings compress = CompressSettingsPersistence().load();
    const CutoutSettings cutout = CutoutSettingsPersistence().load();
    const UpscaleSettings upscale = UpscaleSettingsPersistence().load();
    const auto limit = [](std::optional<int> v) { return v ? QString::number(*v) : u"none"_s; };
    return QMap<QString, QString>{
        {u"compress.outputFormat"_s, keyword(compress.outputFormat)},
        {u"compress.namingMode"_s, keyword(compress.naming.mode)},
        {u"compress.quality"_s, QString::number(compress.quality)},
        {u"compress.resizeEnabled"_s, compress.resizeEnabled ? u"on"_s : u"off"_s},
        {u"compress.resizeMaxWidth"_s, limit(compress.maxWidth)},
        {u"compress.resizeMaxHeight"_s, limit(compress.maxHeight)},
        {u"cutout.mode"_s, keyword(cutout.mode)},
        {u"cutout.outputFormat"_s, keyword(cutout.outputFormat)},
        {u"cutout.namingMode"_s, keyword(cutout.naming.mode)},
        {u"upscale.style"_s, keyword(upscale.style)},
        {u"upscale.outputFormat"_s, keyword(upscale.outputFormat)},
        {u"upscale.namingMode"_s, keyword(upscale.naming.mode)},
        {u"upscale.scale"_s, QString::number(upscale.scale)},
        {u"upscale.quality"_s, keyword(upscale.quality)},
    }
        .value(QString::fromLatin1(key), u"(no such key)"_s)
        .toStdString();
}

// Every test gets an empty preference store of its own.
class SettingsTest : public ::testing::Test {
protected:
    test::ScratchDir m_dir;
    PreferenceStore m_store;
};

// Stored texts map exactly or fall back to the default (what a fresh store gives), as do
// values of the wrong type and numbers out of range.
TEST_F(SettingsTest, StoredValuesMapExactlyOrFallBack) {
    const struct {
        const char* key;
        std::variant<const char*, qint64> stored;
        const char* expected;
    } cases[] = {
        {"compress.outputFormat", "jpeg", "jpeg"},
        {"compress.outputFormat", "jpg", "webp"},
        {"compress.outputFormat", 3, "webp"},
        {"compress.namingMode", "Custom", "original"},
        {"compress.resizeEnabled", "true", "off"},
        {"compress.resizeMaxWidth", 0, "none"},
        {"compress.resizeMaxHeight", 4000, "4000"},
        {"cutout.mode", "cleanEdges", "cleanEdges"},
        {"cutout.outputFormat", "jpeg", "png"},
        {"cutout.namingMode", "bogus", "suffix"},
        {"upscale.style", "Anime", "auto"},
        {"upscale.outputFormat", "jpeg", "jpeg"},
        {"upscale.namingMode", "custom", "custom"},
        {"upscale.scale", "4", "2"},
        {"upscale.scale", 4, "4"},
        {"upscale.scale", 3, "2"},
        {"upscale.quality", "Fast", "best"},
    };
    for (const auto& c : cases) {
        const QString key = u"glintwork."_s + QLatin1String(c.key);
        if (const auto* text = std::get_if<const char*>(&c.stored))
            m_store.setString(key, QString::fromUtf8(*text));
        else
            m_store.setInteger(key, std::get<qint64>(c.stored));
        EXPECT_EQ(loaded(c.key), c.expected) << c.key;
        m_store.remove(key);
    }
}

TEST_F(SettingsTest, SavedChoicesSurviveRestartAndNamingTouchesOnlyItsTool) {
    const NamingConfig naming{NamingMode::suffix, u"-min"_s, u"p"_s, u"5"_s};
    {
        CompressSettingsPersistence compress;
        compress.setSavedQuality(150);
        compress.setSavedMaxWidth(0);
        compress.save(naming);
        CutoutSettingsPersistence().setSavedOutputFormat(CutoutOutputFormat::tiff);
        UpscaleSettingsPersistence().setSavedQuality(UpscaleQuality::fast);
    }
    EXPECT_EQ(CompressSettingsPersistence().load().naming, naming);
    EXPECT_FALSE(m_store.contains(u"glintwork.cutout.namingMode"_s) ||
                 m_store.contains(u"glintwork.upscale.namingMode"_s));
    for (const auto& [key, expected] : {std::pair{"compress.quality", "150"},
                                        {"compress.resizeMaxWidth", "none"},
                                        {"cutout.outputFormat", "tiff"},
                                        {"upscale.quality", "fast"}})
        EXPECT_EQ(loaded(key), expected) << key;
}

} // namespace
} // namespace glintwork
