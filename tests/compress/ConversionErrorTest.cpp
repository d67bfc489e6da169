#include <gtest/gtest.h>

#include "compress/ConversionError.h"

namespace glintwork {
namespace {

TEST(ConversionError, DescriptionsAreTheUserVisibleTexts) {
    const struct {
        ConversionError error;
        std::string text;
    } cases[] = {
        {ConversionError::processExitedWithError(1, QStringLiteral("bad input\n")),
         "Process exited with code 1: bad input\n"},
        {ConversionError::processExitedWithError(9, QString()), "Process exited with code 9: "},
        {ConversionError::processExitedWithError(-2147483647 - 1, QStringLiteral("x")),
         "Process exited with code -2147483648: x"},
        // The tool's own text is kept verbatim, placeholders and all.
        {ConversionError::processExitedWithError(2, QStringLiteral("at 50%1 of %2 %L1")),
         "Process exited with code 2: at 50%1 of %2 %L1"},
        {ConversionError::processExitedWithError(3, QStringLiteral("café ✓")),
         "Process exited with code 3: café ✓"},
        {ConversionError::imageDecodingFailed(), "Image decoding failed"},
        {ConversionError::bmpExportFailed(), "BMP export failed"},
        {ConversionError::outputFileNotCreated(), "Output file was not created"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.description().toStdString(), c.text);
        EXPECT_STREQ(c.error.what(), c.text.c_str());
    }
}

} // namespace
} // namespace glintwork
