#include "common/support/gbk.h"

#include <gtest/gtest.h>

using namespace support;

TEST(Gbk, RoundTripsChineseText) {
    const QString text = QStringLiteral("遥测名称 Ia 事故总");
    const QByteArray bytes = ToGbk(text);
    // 遥 is D2 A3 in code page 936.
    ASSERT_GE(bytes.size(), 2);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xD2);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xA3);
    EXPECT_EQ(FromGbk(bytes), text);
}

TEST(Gbk, CopyFieldCutsOnCharacterBoundaryAndZeroFills) {
    struct Case {
        QString text;
        std::size_t size;
        QString expected;
        bool fits;
    };
    const Case cases[] = {
        {QStringLiteral("abc"), 8, QStringLiteral("abc"), true},
        {QStringLiteral("a遥测"), 5, QStringLiteral("a遥"),
         false}, // 4 bytes max: a + 遥, 测 would split
        {QStringLiteral("遥测名称"), 4, QStringLiteral("遥"), false},
        {QStringLiteral("遥测名称遥测名称遥测名称遥测名称"), 32,
         QStringLiteral("遥测名称遥测名称遥测名称遥测名"), false},
        {QString(), 4, QString(), true},
    };
    for (const Case& c : cases) {
        char field[40];
        std::memset(field, 'X', sizeof field);
        EXPECT_EQ(CopyGbkField(field, c.size, ToGbk(c.text)), c.fits) << c.text.toStdString();
        EXPECT_EQ(FieldText(field, c.size), c.expected);
        for (std::size_t i = static_cast<std::size_t>(ToGbk(c.expected).size()); i < c.size; ++i)
            EXPECT_EQ(field[i], 0);
        EXPECT_EQ(field[c.size], 'X') << "wrote past the field";
    }
}

TEST(Gbk, FieldWithoutTerminatorStopsAtItsEnd) {
    const char field[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(FieldBytes(field, 4), QByteArray("abcd"));
}
