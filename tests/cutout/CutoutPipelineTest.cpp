#include <gtest/gtest.h>

#include <QDir>

#include "cutout/CutoutPipeline.h"
#include "platform/CancellationToken.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::StringLiterals;

// A source that cannot be read fails with the pipeline's own words, keeps the decoder's
// reason for whoever needs more, and leaves nothing in the output folder. The remover is
// never reached.
TEST(CutoutPipeline, AnUnreadableSourceKeepsTheDecodersReason) {
    test::ScratchDir dir;
    const struct {
        QString name;
        QByteArray bytes;
        bool exists;
        QString reason;
    } cases[] = {
        {u"broken.png"_s, "not a png", true, u"it is not in a known image format"_s},
        {u"empty.png"_s, {}, true, u"the file is empty"_s},
        {u"absent.png"_s, {}, false, u"the file does not exist"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QString path = c.exists ? dir.writeFile(c.name, c.bytes) : dir.filePath(c.name);
        CutoutRequest request;
        request.input = QUrl::fromLocalFile(path);
        request.outputURL = QUrl::fromLocalFile(dir.filePath(u"out/cutout.png"_s));
        CancellationToken token;
        const auto error = test::errorOf([&] { (void)runCutoutPipeline(request, nullptr, token); });
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->kind(), ErrorKind::imageUnreadable);
        EXPECT_EQ(error->text(), u"Could not read source image at "_s + c.name + u'.');
        EXPECT_EQ(error->reason(), c.reason);
        EXPECT_EQ(error->file(), path);
        EXPECT_EQ(QDir(dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden),
                  QStringList());
    }
}

} // namespace
} // namespace glintwork
