#include <gtest/gtest.h>

#include "compress/CompressSettingsPersistence.h"
#include "cutout/CutoutSettings.h"
#include "platform/PreferenceStore.h"
#include "support/TestSupport.h"
#include "upscale/UpscaleSettings.h"

namespace glintwork {
namespace {

// Every test gets an empty preference store of its own.
class SettingsTest : public ::testing::Test {
protected:
    test::ScratchDir m_dir;
    PreferenceStore m_store;
};

TEST_F(SettingsTest, FreshStoreGivesEachToolItsDefaults) {
    const ConversionSettings compress = CompressSettingsPersistence().load();
    EXPECT_EQ(compress, ConversionSettings{});
    EXPECT_EQ(compress.outputFormat, OutputFormat::webp);
    EXPECT_EQ(compress.quality, 80);
    EXPECT_FALSE(compress.resizeEnabled);
    EXPECT_FALSE(compress.maxWidth || compress.maxHeight);
    EXPECT_EQ(compress.namingConfig(), (NamingConfig{NamingMode::original, QString(),
                                                     QStringLiteral("image"), QStringLiteral("01")}));

    const CutoutSettings cutout = CutoutSettingsPersistence().load();
    EXPECT_EQ(cutout, CutoutSettings{});
    EXPECT_EQ(cutout.mode, CutoutMode::lossless);
    EXPECT_EQ(cutout.namingConfig(), (NamingConfig{NamingMode::suffix, QStringLiteral("-cutout"),
                                                   QStringLiteral("image"), QStringLiteral("01")}));

    const UpscaleSettings upscale = UpscaleSettingsPersistence().load();
    EXPECT_EQ(upscale, UpscaleSettings{});
    EXPECT_EQ(upscale.scale, 2);
    EXPECT_EQ(upscale.naming.suffix, QStringLiteral("-upscaled-{scale}x"));
}

struct StoredStringCase {
    const char* key;
    const char* stored;
    std::function<bool()> check;
};

TEST_F(SettingsTest, StoredStringsMapExactlyOrFallBack) {
    const StoredStringCase cases[] = {
        {"glintwork.compress.outputFormat", "jpeg",
         [] { return CompressSettingsPersistence().load().outputFormat == OutputFormat::jpeg; }},
        {"glintwork.compress.outputFormat", "jpg",
         [] { return CompressSettingsPersistence().load().outputFormat == OutputFormat::webp; }},
        {"glintwork.compress.outputFormat", "JPEG",
         [] { return CompressSettingsPersistence().load().outputFormat == OutputFormat::webp; }},
        {"glintwork.compress.namingMode", "Custom",
         [] { return CompressSettingsPersistence().load().naming.mode == NamingMode::original; }},
        {"glintwork.compress.namingMode", "custom",
         [] { return CompressSettingsPersistence().load().naming.mode == NamingMode::custom; }},
        {"glintwork.cutout.mode", "cleanEdges",
         [] { return CutoutSettingsPersistence().load().mode == CutoutMode::cleanEdges; }},
        {"glintwork.cutout.mode", "Lossless",
         [] { return CutoutSettingsPersistence().load().mode == CutoutMode::lossless; }},
        {"glintwork.cutout.mode", "CleanEdges",
         [] { return CutoutSettingsPersistence().load().mode == CutoutMode::lossless; }},
        {"glintwork.cutout.outputFormat", "tiff",
         [] { return CutoutSettingsPersistence().load().outputFormat == CutoutOutputFormat::tiff; }},
        {"glintwork.cutout.outputFormat", "jpeg",
         [] { return CutoutSettingsPersistence().load().outputFormat == CutoutOutputFormat::png; }},
        {"glintwork.cutout.namingMode", "bogus",
         [] { return CutoutSettingsPersistence().load().naming.mode == NamingMode::suffix; }},
        {"glintwork.cutout.namingMode", "original",
         [] { return CutoutSettingsPersistence().load().naming.mode == NamingMode::original; }},
        {"glintwork.upscale.style", "Anime",
         [] { return UpscaleSettingsPersistence().load().style == UpscaleStyle::automatic; }},
        {"glintwork.upscale.style", "general",
         [] { return UpscaleSettingsPersistence().load().style == UpscaleStyle::generalPhoto; }},
        {"glintwork.upscale.outputFormat", "jpg",
         [] { return UpscaleSettingsPersistence().load().outputFormat == UpscaleOutputFormat::png; }},
        {"glintwork.upscale.outputFormat", "jpeg",
         [] { return UpscaleSettingsPersistence().load().outputFormat == UpscaleOutputFormat::jpeg; }},
        {"glintwork.upscale.namingMode", "custom",
         [] { return UpscaleSettingsPersistence().load().naming.mode == NamingMode::custom; }},
    };
    for (const auto& c : cases) {
        m_store.setString(QString::fromUtf8(c.key), QString::fromUtf8(c.stored));
        EXPECT_TRUE(c.check()) << c.key << " = " << c.stored;
        m_store.remove(QString::fromUtf8(c.key));
    }
}

TEST_F(SettingsTest, CompressLimitsAndQuality) {
    const struct {
        qint64 stored;
        std::optional<int> limit;
    } cases[] = {{0, std::nullopt}, {-5, std::nullopt}, {1, 1}, {4000, 4000}};
    for (const auto& c : cases) {
        m_store.setInteger(QStringLiteral("glintwork.compress.resizeMaxWidth"), c.stored);
        m_store.setInteger(QStringLiteral("glintwork.compress.resizeMaxHeight"), c.stored);
        const auto settings = CompressSettingsPersistence().load();
        EXPECT_EQ(settings.maxWidth, c.limit) << c.stored;
        EXPECT_EQ(settings.maxHeight, c.limit) << c.stored;
    }
    CompressSettingsPersistence persistence;
    persistence.setSavedQuality(150);
    persistence.setSavedMaxWidth(0);
    EXPECT_EQ(persistence.load().quality, 150);
    EXPECT_FALSE(persistence.load().maxWidth.has_value());
    EXPECT_EQ(m_store.integer(QStringLiteral("glintwork.compress.resizeMaxWidth"), -1), 0);
}

TEST_F(SettingsTest, WrongTypeReadsAsDefault) {
    m_store.setString(QStringLiteral("glintwork.compress.quality"), QStringLiteral("90"));
    m_store.setInteger(QStringLiteral("glintwork.compress.outputFormat"), 3);
    m_store.setString(QStringLiteral("glintwork.compress.resizeEnabled"), QStringLiteral("true"));
    m_store.setString(QStringLiteral("glintwork.upscale.scale"), QStringLiteral("4"));
    const auto compress = CompressSettingsPersistence().load();
    EXPECT_EQ(compress.quality, 80);
    EXPECT_EQ(compress.outputFormat, OutputFormat::webp);
    EXPECT_FALSE(compress.resizeEnabled);
    EXPECT_EQ(UpscaleSettingsPersistence().load().scale, 2);
}

TEST_F(SettingsTest, UpscaleScaleOnlyTwoOrFour) {
    for (const auto& [stored, expected] : {std::pair{3, 2}, {4, 4}, {2, 2}, {8, 2}, {0, 2}}) {
        m_store.setInteger(QStringLiteral("glintwork.upscale.scale"), stored);
        EXPECT_EQ(UpscaleSettingsPersistence().load().scale, expected) << stored;
    }
}

TEST_F(SettingsTest, NamingSaveTouchesOnlyItsTool) {
    CompressSettingsPersistence().save(
        {NamingMode::suffix, QStringLiteral("-min"), QStringLiteral("p"), QStringLiteral("5")});
    EXPECT_EQ(m_store.string(QStringLiteral("glintwork.compress.namingMode"), {}),
              QStringLiteral("suffix"));
    EXPECT_FALSE(m_store.contains(QStringLiteral("glintwork.cutout.namingMode")));
    EXPECT_FALSE(m_store.contains(QStringLiteral("glintwork.upscale.namingMode")));
    const auto loaded = CompressSettingsPersistence().load();
    EXPECT_EQ(loaded.namingConfig(), (NamingConfig{NamingMode::suffix, QStringLiteral("-min"),
                                                   QStringLiteral("p"), QStringLiteral("5")}));
}

TEST_F(SettingsTest, CutoutChoicesSurviveRestart) {
    {
        CutoutSettingsPersistence persistence;
        persistence.setSavedMode(CutoutMode::cleanEdges);
        persistence.setSavedOutputFormat(CutoutOutputFormat::tiff);
        persistence.setSavedExportMaskSeparately(true);
    }
    const auto loaded = CutoutSettingsPersistence().load();
    EXPECT_EQ(loaded.mode, CutoutMode::cleanEdges);
    EXPECT_EQ(loaded.outputFormat, CutoutOutputFormat::tiff);
    EXPECT_TRUE(loaded.exportMaskSeparately);
}

TEST(ModelChoice, FollowsStyleScaleAndQuality) {
    using enum UpscaleStyle;
    constexpr auto best = UpscaleQuality::best;
    constexpr auto fast = UpscaleQuality::fast;
    const struct {
        UpscaleStyle style;
        int scale;
        UpscaleQuality quality;
        ModelChoice expected;
    } cases[] = {
        {anime, 2, best, {UpscaleModel::animeX4, 4}},
        {anime, 4, fast, {UpscaleModel::animeX4, 4}},
        {automatic, 2, best, {UpscaleModel::x2plus, 2}},
        {generalPhoto, 2, best, {UpscaleModel::x2plus, 2}},
        {automatic, 4, best, {UpscaleModel::x4plus, 4}},
        {generalPhoto, 3, best, {UpscaleModel::x4plus, 4}},
        {automatic, 4, fast, {UpscaleModel::x4fast, 4}},
        {generalPhoto, 2, fast, {UpscaleModel::x4fast, 2}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chooseModel(c.style, c.scale, c.quality), c.expected)
            << rawValue(c.style).toStdString() << " " << c.scale << " " << rawValue(c.quality).toStdString();
}

TEST_F(SettingsTest, UpscaleQualityIsFastOnlyWhenStoredExactly) {
    EXPECT_EQ(UpscaleSettingsPersistence().load().quality, UpscaleQuality::best);
    for (const auto& [stored, expected] :
         {std::pair{"fast", UpscaleQuality::fast}, {"Fast", UpscaleQuality::best}, {"best", UpscaleQuality::best}}) {
        m_store.setString(QStringLiteral("glintwork.upscale.quality"), QString::fromLatin1(stored));
        EXPECT_EQ(UpscaleSettingsPersistence().load().quality, expected) << stored;
    }
    UpscaleSettingsPersistence().setSavedQuality(UpscaleQuality::fast);
    EXPECT_EQ(m_store.string(QStringLiteral("glintwork.upscale.quality"), {}), QStringLiteral("fast"));
}

} // namespace
} // namespace glintwork
