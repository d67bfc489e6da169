#include <gtest/gtest.h>

#include <QFile>

#include "platform/PreferenceStore.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::Literals::StringLiterals;

// Another instance (opened before the writes) sees each type at once, bytes and non-ASCII
// text intact; a key holding another type reads as the default.
TEST(PreferenceStore, ValuesReachOtherInstancesAndMistypedKeysReadAsDefault) {
    test::ScratchDir dir;
    PreferenceStore reader;
    PreferenceStore store;
    store.setString(u"s"_s, u"ünïcode/with\\slashes"_s);
    store.setInteger(u"i"_s, -9000000000LL);
    store.setBoolean(u"b"_s, true);
    store.setBytes(u"d"_s, QByteArray("\0\x01\xff", 3));
    store.setStringList(u"l"_s, {u"de"_s, u"ja"_s});
    EXPECT_EQ(reader.string(u"s"_s, {}), u"ünïcode/with\\slashes"_s);
    EXPECT_EQ(reader.integer(u"i"_s, 0), -9000000000LL);
    EXPECT_TRUE(reader.boolean(u"b"_s, false));
    EXPECT_EQ(reader.bytes(u"d"_s), QByteArray("\0\x01\xff", 3));
    EXPECT_EQ(reader.stringList(u"l"_s), (QStringList{u"de"_s, u"ja"_s}));
    EXPECT_TRUE(PreferenceStore::storagePath().startsWith(dir.path()));
    EXPECT_TRUE(QFile::exists(PreferenceStore::storagePath()));

    EXPECT_EQ(reader.integer(u"s"_s, 7), 7);
    EXPECT_FALSE(reader.boolean(u"s"_s, false));
    EXPECT_EQ(reader.bytes(u"s"_s, "x"), QByteArray("x"));
    EXPECT_EQ(reader.string(u"b"_s, u"d"_s), u"d"_s);
    EXPECT_EQ(reader.string(u"missing"_s, u"d"_s), u"d"_s);
    store.remove(u"s"_s);
    EXPECT_FALSE(reader.contains(u"s"_s));
}

} // namespace
} // namespace glintwork
