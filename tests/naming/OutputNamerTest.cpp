#include <gtest/gtest.h>

#include <QDir>

#include "naming/OutputNamer.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

QUrl file(const QString& path) {
    return QUrl::fromLocalFile(path);
}

struct BaseNameCase {
    const char* name;
    const char* input;
    NamingConfig config;
    int index;
    std::optional<int> scale;
    const char* expected;
};

class ComputeBaseName : public ::testing::TestWithParam<BaseNameCase> {};

TEST_P(ComputeBaseName, ProducesExpectedName) {
    const auto& c = GetParam();
    EXPECT_EQ(OutputNamer::computeBaseName(file(QString::fromUtf8(c.input)), c.config, c.index,
                                           c.scale),
              QString::fromUtf8(c.expected));
}

NamingConfig suffix(const char* s) {
    return {NamingMode::suffix, QString::fromUtf8(s), QStringLiteral("image"), QStringLiteral("01")};
}

NamingConfig custom(const char* prefix, const char* start) {
    return {NamingMode::custom, QString(), QString::fromUtf8(prefix), QString::fromUtf8(start)};
}

const NamingConfig kOriginal{NamingMode::original, QStringLiteral("-x"), QStringLiteral("p"),
                             QStringLiteral("7")};

INSTANTIATE_TEST_SUITE_P(
    Modes, ComputeBaseName,
    ::testing::Values(
        BaseNameCase{"OriginalDropsExtension", "/in/IMG_0042.HEIC", kOriginal, 3, 4, "IMG_0042"},
        BaseNameCase{"OriginalDropsOnlyLastExtension", "/in/archive.tar.gz", kOriginal, 0, {},
                     "archive.tar"},
        BaseNameCase{"OriginalWithoutExtension", "/in/README", kOriginal, 0, {}, "README"},
        BaseNameCase{"SuffixWithScale", "/in/cat.png", suffix("-upscaled-{scale}x"), 0, 4,
                     "cat-upscaled-4x"},
        BaseNameCase{"SuffixEveryScaleToken", "/in/cat.png", suffix("{scale}-{scale}"), 0, 2,
                     "cat2-2"},
        BaseNameCase{"SuffixKeepsTokenWithoutHint", "/in/cat.png", suffix("-{scale}x"), 0, {},
                     "cat-{scale}x"},
        BaseNameCase{"SuffixAfterInnerDots", "/in/a.b.jpg", suffix("-min"), 0, {}, "a.b-min"},
        BaseNameCase{"SuffixSeparatorsBecomeUnderscores", "/in/a.jpg", suffix("x/y\\z..w"), 0, {},
                     "ax_y_z_w"},
        BaseNameCase{"SuffixThreeDotsLeaveOne", "/in/a.jpg", suffix("..."), 0, {}, "a_."},
        BaseNameCase{"SuffixSlashThenDotsInOrder", "/in/a.jpg", suffix("./."), 0, {}, "a._."},
        BaseNameCase{"SuffixScaleTextIsSanitisedToo", "/in/a.jpg", suffix("{scale}"), 0, -1,
                     "a-1"},
        BaseNameCase{"SuffixEmpty", "/in/a.jpg", suffix(""), 0, {}, "a"},
        BaseNameCase{"CustomFirst", "/in/x.png", custom("holiday", "1"), 0, {}, "holiday-01"},
        BaseNameCase{"CustomSecond", "/in/x.png", custom("holiday", "1"), 1, {}, "holiday-02"},
        BaseNameCase{"CustomThird", "/in/x.png", custom("holiday", "1"), 2, {}, "holiday-03"},
        BaseNameCase{"CustomEmptyPrefixKeepsWidth", "/in/x.png", custom("", "001"), 4, {}, "005"},
        BaseNameCase{"CustomUnparseableStartIsOneWithItsWidth", "/in/x.png", custom("", "abc"), 0,
                     {}, "001"},
        BaseNameCase{"CustomEmptyStart", "/in/x.png", custom("", ""), 9, {}, "10"},
        BaseNameCase{"CustomNegativeStart", "/in/x.png", custom("", "-5"), 0, {}, "-5"},
        BaseNameCase{"CustomNegativeStartPadsAfterSign", "/in/x.png", custom("", "-05"), 0, {},
                     "-05"},
        BaseNameCase{"CustomPlusSign", "/in/x.png", custom("", "+7"), 0, {}, "07"},
        BaseNameCase{"CustomWidthIsAMinimum", "/in/x.png", custom("", "1"), 120, {}, "121"},
        BaseNameCase{"CustomSpaceDoesNotParse", "/in/x.png", custom("", " 5"), 0, {}, "01"},
        BaseNameCase{"CustomLoneSignDoesNotParse", "/in/x.png", custom("", "-"), 0, {}, "01"},
        BaseNameCase{"CustomInt64MaxParses", "/in/x.png", custom("", "9223372036854775807"), 0, {},
                     "9223372036854775807"},
        BaseNameCase{"CustomInt64MinParses", "/in/x.png", custom("", "-9223372036854775808"), 0,
                     {}, "-9223372036854775808"},
        BaseNameCase{"CustomOverflowFallsBackToOne", "/in/x.png",
                     custom("", "9223372036854775808"), 0, {}, "0000000000000000001"},
        BaseNameCase{"CustomSumSaturatesInsteadOfWrapping", "/in/x.png",
                     custom("", "9223372036854775807"), 5, {}, "9223372036854775807"},
        BaseNameCase{"CustomPrefixSanitised", "/in/x.png", custom("a/b..c", "1"), 0, {},
                     "a_b_c-01"},
        BaseNameCase{"CustomIgnoresScale", "/in/x.png", custom("p{scale}", "1"), 0, 4,
                     "p{scale}-01"}),
    [](const auto& info) { return std::string(info.param.name); });

// Taken are files, folders ("name/") and links that point nowhere ("name@"), and names
// reserved for other items of the run; the number goes after any custom number.
TEST(EnsureUnique, TakesTheFirstFreeName) {
    const struct {
        const char* wanted;
        QStringList taken;
        QStringList reserved;
        const char* expected;
    } cases[] = {
        {"cat.png", {}, {}, "cat.png"},
        {"cat.png", {"cat.png", "cat-1.png"}, {}, "cat-2.png"},
        {"cat.png", {"cat.png/", "cat-1.png@"}, {}, "cat-2.png"},
        {"cat.png", {"cat-2.png"}, {"cat.png", "cat-1.png"}, "cat-3.png"},
        {"holiday-01.webp", {"holiday-01.webp"}, {}, "holiday-01-1.webp"},
        {"notes", {"notes"}, {}, "notes-1"},
    };
    for (const auto& c : cases) {
        test::ScratchDir dir;
        for (const QString& name : c.taken) {
            if (name.endsWith(u'/'))
                QDir(dir.path()).mkdir(name.chopped(1));
            else if (name.endsWith(u'@'))
                QFile::link(dir.filePath(QStringLiteral("nowhere")), dir.filePath(name.chopped(1)));
            else
                dir.writeFile(name, "x");
        }
        QSet<QUrl> reserved;
        for (const QString& name : c.reserved)
            reserved.insert(file(dir.filePath(name)));
        EXPECT_EQ(OutputNamer::ensureUnique(file(dir.filePath(QLatin1String(c.wanted))), reserved),
                  file(dir.filePath(QLatin1String(c.expected))))
            << c.wanted << " " << c.taken.join(u' ').toStdString();
    }
}

TEST(OutputLocation, SharedFolderWinsOverInputFolder) {
    const QUrl input = file(QStringLiteral("/photos/trip/a.png"));
    EXPECT_EQ(OutputNamer::outputFolder(input, std::nullopt), file(QStringLiteral("/photos/trip")));
    EXPECT_EQ(OutputNamer::outputFolder(input, file(QStringLiteral("/out"))),
              file(QStringLiteral("/out")));
    EXPECT_EQ(OutputNamer::outputURL(file(QStringLiteral("/out")), QStringLiteral("a-min"),
                                     QStringLiteral("webp")),
              file(QStringLiteral("/out/a-min.webp")));
}

TEST(OutputLocation, InputInsideOutputFolderGetsNumbered) {
    // Same folder, same name, same format: the input itself occupies the plain name.
    test::ScratchDir dir;
    const QString input = dir.writeFile(QStringLiteral("photo.png"), "x");
    const QUrl folder = OutputNamer::outputFolder(file(input), std::nullopt);
    const QUrl url = OutputNamer::ensureUnique(
        OutputNamer::outputURL(folder, OutputNamer::stemOf(file(input)), QStringLiteral("png")));
    EXPECT_EQ(url, file(dir.filePath(QStringLiteral("photo-1.png"))));
}

struct StartNumberCase {
    const char* typed;
    std::optional<const char*> expected;
};

TEST(CleanedStartNumber, KeepsAtMostSixDigits) {
    const StartNumberCase cases[] = {{"01", "01"},         {"a1b2", "12"},     {"1234567", "123456"},
                                     {"abc", std::nullopt}, {"", std::nullopt}, {"-5", "5"},
                                     {"000000009", "000000"}};
    for (const auto& c : cases) {
        const auto got = cleanedStartNumber(QString::fromUtf8(c.typed));
        if (c.expected)
            EXPECT_EQ(got, QString::fromUtf8(*c.expected)) << c.typed;
        else
            EXPECT_FALSE(got.has_value()) << c.typed;
    }
}

TEST(NamingConfigJson, RoundTripsAndRejectsUnknownMode) {
    const NamingConfig config{NamingMode::custom, QStringLiteral("-s"), QStringLiteral("p"),
                              QStringLiteral("007")};
    EXPECT_EQ(NamingConfig::fromJson(config.toJson()), config);
    QJsonObject bad = config.toJson();
    bad[QStringLiteral("mode")] = QStringLiteral("Custom");
    EXPECT_FALSE(NamingConfig::fromJson(bad).has_value());
}

} // namespace
} // namespace glintwork
