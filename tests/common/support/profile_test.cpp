#include "common/support/gbk.h"
#include "common/support/profile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using support::Profile;
using support::ToGbk;

TEST(Profile, ParseIntFollowsThePlatformReader) {
    struct Case {
        const char* text;
        std::int32_t def;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"", 7, 7},       {"12", 0, 12}, {"  42", 0, 42}, {"+5", 0, 5},    {"-1", 0, 0xFFFFFFFFu},
        {"12abc", 0, 12}, {"x", 2, 0},   {"0x10", 0, 0},  {"300", 0, 300}, {"4294967297", 0, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Profile::ParseInt(c.text, c.def), c.expected) << c.text;
}

TEST(Profile, LooksUpCaseInsensitivelyAndTrims) {
    const Profile p = Profile::FromBytes("; comment\r\n[YC]\r\n Number = 3 \r\nname=\"quoted\"\r\n"
                                         "[yc]\r\nNumber=9\r\n[Other]\r\nNumber=5\r\n");
    EXPECT_EQ(p.ReadInt("yc", "NUMBER", 0), 3u) << "first section of a name wins";
    EXPECT_EQ(p.ReadString("YC", "Name", "d", 32), QByteArray("quoted"));
    EXPECT_EQ(p.ReadInt("other", "number", 0), 5u);
    EXPECT_EQ(p.ReadInt("YC", "Missing", 17), 17u);
    EXPECT_EQ(p.ReadString("Nope", "Name", "默认", 32), QByteArray("默认"));
    EXPECT_FALSE(p.Value("YC", "Missing").has_value());
}

TEST(Profile, GbkNamesWithBracketTrailByteAndNoFoldingOfTrailBytes) {
    // 0x81 0x5D is a GBK character whose trail byte is ']'; 0x81 0x41 and 0x81 0x61 are two
    // different characters that an ASCII fold would wrongly merge.
    QByteArray content;
    content += QByteArray("[\x81\x5D\x81\x41]\r\nKey=1\r\n");
    content += QByteArray("[\x81\x61]\r\nKey=2\r\n");
    const Profile p = Profile::FromBytes(content);
    EXPECT_EQ(p.ReadInt(QByteArray("\x81\x5D\x81\x41"), "key", 0), 1u);
    EXPECT_EQ(p.ReadInt(QByteArray("\x81\x61"), "key", 0), 2u);
    EXPECT_EQ(p.ReadInt(QByteArray("\x81\x41"), "key", 0), 0u);
}

TEST(Profile, StringIsCutToItsField) {
    const Profile p = Profile::FromBytes(
        ToGbk(QStringLiteral("[YX]\n1.Name=一二三四五六七八九十一二三四五六七八\n")));
    const QByteArray v = p.ReadString("YX", "1.Name", "", 32);
    EXPECT_EQ(v.size(), 30) << "15 characters fit in 31 bytes; the 16th would be split";
}

TEST(Profile, WriteKeepsTheRestOfTheFile) {
    struct Case {
        const char* before;
        const char* after;
    };
    const Case cases[] = {
        {"", "[Settings]\r\nPort=7\r\n"},
        {"; mine\r\n[Settings]\r\nPort=2\r\nOther=x\r\n",
         "; mine\r\n[Settings]\r\nPort=7\r\nOther=x\r\n"},
        {"[settings]\nA=1\n\n[B]\nC=2\n", "[settings]\nA=1\nPort=7\n\n[B]\nC=2\n"},
        {"[B]\r\nC=2\r\n", "[B]\r\nC=2\r\n\r\n[Settings]\r\nPort=7\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Profile::WriteString(QByteArray(c.before), "Settings", "Port", "7"),
                  QByteArray(c.after))
            << c.before;
}

TEST(Profile, WriteCreatesFolderAndFileThenReadsBack) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.path() + QStringLiteral("/配置文件/基本配置.ini");
    ASSERT_TRUE(Profile::WriteString(path, "Settings", "Port", "x"));
    EXPECT_EQ(Profile::Load(path).ReadInt("Settings", "Port", 2), 0u)
        << "text without digits reads as 0";
    ASSERT_TRUE(Profile::WriteString(path, "Settings", "Port", "12"));
    EXPECT_EQ(Profile::Load(path).ReadInt("Settings", "Port", 2), 12u);
    EXPECT_EQ(Profile::Load(dir.path() + "/none.ini").ReadInt("Settings", "Port", 2), 2u);
}
