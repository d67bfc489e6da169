#include <gtest/gtest.h>

#include <QDir>

#include "naming/OutputNamer.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::Literals::StringLiterals;

QUrl file(const QString& path) {
    return QUrl::fromLocalFile(path);
}

NamingConfig suffix(const char* text) {
    return {NamingMode::suffix, QString::fromUtf8(text), u"image"_s, u"01"_s};
}

NamingConfig custom(const char* prefix, const char* start) {
    return {NamingMode::custom, QString(), QString::fromUtf8(prefix), QString::fromUtf8(start)};
}

TEST(OutputNamer, BaseNameFollowsTheMode) {
    const NamingConfig original{NamingMode::original, u"-x"_s, u"p"_s, u"7"_s};
    const struct {
        const char* input;
        NamingConfig config;
        int index;
        std::optional<int> scale;
        const char* expected;
    } cases[] = {
        {"IMG_0042.HEIC", original, 3, 4, "IMG_0042"},
        {"archive.tar.gz", original, 0, {}, "archive.tar"},
        {"README", original, 0, {}, "README"},
        {"cat.png", suffix("-upscaled-{scale}x"), 0, 4, "cat-upscaled-4x"},
        {"cat.png", suffix("-{scale}x"), 0, {}, "cat-{scale}x"}, // no scale to put in
        // Separators become underscores, runs of dots lose one.
        {"a.jpg", suffix("x/y\\z..w"), 0, {}, "ax_y_z_w"},
        {"x.png", custom("holiday", "1"), 2, {}, "holiday-03"},
        {"x.png", custom("", "001"), 4, {}, "005"},
        {"x.png", custom("", "abc"), 0, {}, "001"}, // unparsable: 1, keeping the width
        {"x.png", custom("", "-05"), 0, {}, "-05"},
        {"x.png", custom("", " 5"), 0, {}, "01"},
        {"x.png", custom("", "9223372036854775807"), 0, {}, "9223372036854775807"},
        {"x.png", custom("", "9223372036854775808"), 0, {}, "0000000000000000001"},
        {"x.png", custom("", "9223372036854775807"), 5, {}, "9223372036854775807"}, // saturates
        {"x.png", custom("a/b..c", "1"), 0, {}, "a_b_c-01"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OutputNamer::computeBaseName(file(u"/in/"_s + QString::fromUtf8(c.input)),
                                               c.config, c.index, c.scale)
                      .toStdString(),
                  c.expected)
            << c.input << " " << c.config.suffix.toStdString()
            << c.config.startNumber.toStdString();
}

// Taken are files, folders ("name/") and links that point nowhere ("name@"); names reserved
// for other items of the run are the drivers' test, with custom numbers.
TEST(OutputNamer, EnsureUniqueTakesTheFirstFreeName) {
    const struct {
        const char* wanted;
        QStringList taken;
        const char* expected;
    } cases[] = {
        {"cat.png", {"cat.png", "cat-1.png"}, "cat-2.png"},
        {"cat.png", {"cat.png/", "cat-1.png@"}, "cat-2.png"},
        {"notes", {"notes"}, "notes-1"},
    };
    for (const auto& c : cases) {
        test::ScratchDir dir;
        for (const QString& name : c.taken) {
            if (name.endsWith(u'/'))
                QDir(dir.path()).mkdir(name.chopped(1));
            else if (name.endsWith(u'@'))
                QFile::link(dir.filePath(u"nowhere"_s), dir.filePath(name.chopped(1)));
            else
                dir.writeFile(name, "x");
        }
        EXPECT_EQ(OutputNamer::ensureUnique(file(dir.filePath(QLatin1String(c.wanted))), {}),
                  file(dir.filePath(QLatin1String(c.expected))))
            << c.wanted << " " << c.taken.join(u' ').toStdString();
    }
}

TEST(OutputNamer, CleanedStartNumberKeepsAtMostSixDigits) {
    for (const auto& [typed, expected] :
         {std::pair{"01", "01"}, {"a1b2", "12"}, {"1234567", "123456"}, {"abc", "(none)"},
          {"", "(none)"}, {"-5", "5"}, {"000000009", "000000"}})
        EXPECT_EQ(cleanedStartNumber(QString::fromUtf8(typed)).value_or(u"(none)"_s).toStdString(),
                  expected)
            << typed;
}

} // namespace
} // namespace glintwork
