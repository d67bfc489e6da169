#include <gtest/gtest.h>

#include <QFile>

#include "platform/PreferenceStore.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

TEST(PreferenceStore, ValuesRoundTripAcrossInstancesByType) {
    test::ScratchDir dir;
    {
        PreferenceStore store;
        store.setString(QStringLiteral("glintwork.a.s"), QStringLiteral("ünïcode/with\\slashes"));
        store.setInteger(QStringLiteral("glintwork.a.i"), -9000000000LL);
        store.setBoolean(QStringLiteral("glintwork.a.b"), true);
        store.setBytes(QStringLiteral("glintwork.a.d"), QByteArray("\0\x01\xff", 3));
        store.setStringList(QStringLiteral("AppleLanguages"), {QStringLiteral("de"), QStringLiteral("ja")});
    }
    PreferenceStore store;
    EXPECT_EQ(store.string(QStringLiteral("glintwork.a.s"), {}), QStringLiteral("ünïcode/with\\slashes"));
    EXPECT_EQ(store.integer(QStringLiteral("glintwork.a.i"), 0), -9000000000LL);
    EXPECT_TRUE(store.boolean(QStringLiteral("glintwork.a.b"), false));
    EXPECT_EQ(store.bytes(QStringLiteral("glintwork.a.d")), QByteArray("\0\x01\xff", 3));
    EXPECT_EQ(store.stringList(QStringLiteral("AppleLanguages")),
              (QStringList{QStringLiteral("de"), QStringLiteral("ja")}));
    EXPECT_TRUE(QFile::exists(PreferenceStore::storagePath()));
    EXPECT_TRUE(PreferenceStore::storagePath().startsWith(dir.path()));
}

TEST(PreferenceStore, AbsentOrMistypedKeysReadAsDefault) {
    test::ScratchDir dir;
    PreferenceStore store;
    EXPECT_EQ(store.string(QStringLiteral("missing"), QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_EQ(store.integer(QStringLiteral("missing"), 7), 7);
    store.setString(QStringLiteral("k"), QStringLiteral("42"));
    EXPECT_EQ(store.integer(QStringLiteral("k"), 7), 7);
    EXPECT_FALSE(store.boolean(QStringLiteral("k"), false));
    EXPECT_EQ(store.bytes(QStringLiteral("k"), QByteArray("x")), QByteArray("x"));
    store.setBoolean(QStringLiteral("k"), true);
    EXPECT_EQ(store.string(QStringLiteral("k"), QStringLiteral("d")), QStringLiteral("d"));
    store.remove(QStringLiteral("k"));
    EXPECT_FALSE(store.contains(QStringLiteral("k")));
}

TEST(PreferenceStore, WriteIsVisibleToAnotherInstanceAtOnce) {
    test::ScratchDir dir;
    PreferenceStore reader;
    EXPECT_EQ(reader.integer(QStringLiteral("q"), 80), 80);
    PreferenceStore().setInteger(QStringLiteral("q"), 55);
    EXPECT_EQ(reader.integer(QStringLiteral("q"), 80), 55);
}

} // namespace
} // namespace glintwork
