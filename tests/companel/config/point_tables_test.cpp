#include "common/support/gbk.h"
#include "companel/config/point_table_loader.h"

#include <QFile>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace companel {
namespace {

QByteArray Gbk(const char* utf8) {
    return support::ToGbk(QString::fromUtf8(utf8));
}

// Tables loaded from INI text written in UTF-8 (stored as GBK like the real file).
struct Loaded {
    std::unique_ptr<PointTables> t = std::make_unique<PointTables>();
    QStringList notes;
};
Loaded Load(const char* utf8Ini) {
    Loaded l;
    l.notes = LoadPointTables(support::Profile::FromBytes(Gbk(utf8Ini)), *l.t);
    return l;
}

QString Text(const char (&field)[kTextSize]) {
    return support::FieldText(field, kTextSize);
}

TEST(PointTables, DefaultsForMissingKeys) {
    const Loaded l = Load("[YC]\r\nNumber=3\r\n");
    const TelemetryTable& yc = l.t->Telemetry;
    EXPECT_EQ(yc.Number, 3);
    EXPECT_EQ(yc.AskNumber, 0);
    for (std::size_t i : {0u, 2u, 127u}) {
        EXPECT_EQ(Text(yc.Name[i]), QString::fromUtf8("遥测名称"));
        EXPECT_EQ(yc.CC2[i], 1);
        EXPECT_EQ(yc.Type[i], 1);
        EXPECT_EQ(yc.Post[i], 0);
        EXPECT_EQ(yc.ColorBack[i], (Colour{200, 100, 150, 0}));
        EXPECT_EQ(yc.ColorText[i], (Colour{200, 100, 150, 0}));
        EXPECT_EQ(yc.bCheckMemery[i], 0xFFFF);
        EXPECT_EQ(yc.Max[i], 65535.0f);
        EXPECT_EQ(yc.RawValue[i], kNoValue);
        EXPECT_EQ(yc.ShownValue[i], NeverShownValue());
    }
    // A missing section leaves every count at 0.
    EXPECT_EQ(l.t->Signals.Number, 0);
    EXPECT_EQ(Text(l.t->Signals.Name[5]), QString::fromUtf8("遥信名称"));
    EXPECT_EQ(l.t->Signals.ShownState[5], kNoValue);
    EXPECT_EQ(Text(l.t->Parameters.Name[0]), QString::fromUtf8("参数名称"));
    EXPECT_EQ(l.t->Parameters.ShowName[0], 1);
    EXPECT_EQ(l.t->Parameters.RawValue[0], kNoValue);
    EXPECT_EQ(Text(l.t->Settings.Name[0]), QString::fromUtf8("定值名称"));
    EXPECT_EQ(l.t->Settings.Max[0], 0xFFFF);
    EXPECT_EQ(l.t->Settings.Scaled[0], 65535.0f);
    EXPECT_TRUE(l.notes.isEmpty());
}

TEST(PointTables, ValuesAreTruncatedToTheirFields) {
    const Loaded l = Load("[YC]\r\n1.Post=300\r\n1.PostH=-1\r\n1.CC2=65537\r\n1.Max=-1\r\n"
                          "1.bCanBeClick=-5\r\n1.Name=一二三四五六七八九十一二三四五六七八\r\n"
                          "[CS]\r\nYKWayPost=260\r\n");
    const TelemetryTable& yc = l.t->Telemetry;
    EXPECT_EQ(yc.Post[0], 44);
    EXPECT_EQ(yc.PostH[0], 255);
    EXPECT_EQ(yc.CC2[0], 1);
    EXPECT_EQ(yc.Max[0], 4294967295.0f); // read unsigned, so -1 is a huge limit
    EXPECT_EQ(yc.bCanBeClick[0], -5);
    // 18 double-byte characters do not fit 31 bytes: cut on a character boundary.
    EXPECT_EQ(Text(yc.Name[0]), QString::fromUtf8("一二三四五六七八九十一二三四五"));
    EXPECT_EQ(yc.Name[0][31], 0);
    EXPECT_EQ(l.t->Parameters.YKWayPost, 4);
}

TEST(PointTables, ColourNames) {
    const struct {
        const char* name;
        Colour colour;
    } cases[] = {
        {"红", {255, 100, 100, 0}},  {"绿", {0, 255, 0, 0}},       {"蓝", {0, 0, 255, 0}},
        {"棕", {200, 100, 150, 0}},  {"紫", {255, 0, 255, 0}},     {"黄", {255, 255, 0, 0}},
        {"黑", {0, 0, 0, 0}},        {"白", {255, 255, 255, 0}},   {"灰", {240, 240, 240, 0}},
        {"淡", {210, 222, 252, 0}},  {"红色", {200, 100, 150, 0}}, {"", {200, 100, 150, 0}},
        {"red", {200, 100, 150, 0}},
    };
    for (const auto& c : cases) {
        const QByteArray ini = Gbk("[YX]\r\n1.ColorText=") + Gbk(c.name) + "\r\n";
        auto t = std::make_unique<PointTables>();
        LoadPointTables(support::Profile::FromBytes(ini), *t);
        EXPECT_EQ(t->Signals.ColorText[0], c.colour) << c.name;
        EXPECT_EQ(t->Signals.ColorBack[0], DefaultColour());
    }
}

TEST(PointTables, SettingChoicesAndDivisor) {
    const Loaded l = Load("[DZ]\r\nNumber=3\r\n2.ValueNmuber=2\r\n2.1.ValueDescribe=退出\r\n"
                          "2.2.ValueDescribe=投入\r\n2.3.ValueDescribe=多余\r\n3.CC2=0\r\n"
                          "1.CC2=100\r\n1.wValue=7\r\n");
    const SettingTable& dz = l.t->Settings;
    EXPECT_EQ(dz.ValueNmuber[1], 2);
    EXPECT_EQ(Text(dz.ValueDescribe[1][0]), QString::fromUtf8("退出"));
    EXPECT_EQ(Text(dz.ValueDescribe[1][1]), QString::fromUtf8("投入"));
    EXPECT_EQ(dz.ValueDescribe[1][2][0], 0); // beyond ValueNmuber: not read
    EXPECT_TRUE(std::isinf(dz.Scaled[2]));
    EXPECT_EQ(dz.Scaled[0], 655.35f);
    EXPECT_EQ(dz.RawValue[0], kNoValue); // wValue never fills the live value
}

TEST(PointTables, CountsBeyondTheArraysAreClippedAndListed) {
    const Loaded l = Load("[YC]\r\nNumber=200\r\nAskNumber=130\r\n[YX]\r\nNumber=70\r\n"
                          "[CS]\r\nNumber=124\r\n[DZ]\r\nNumber=129\r\n1.ValueNmuber=40\r\n"
                          "1.32.ValueDescribe=末项\r\n1.33.ValueDescribe=越界\r\n");
    EXPECT_EQ(l.t->Telemetry.Number, 128);
    EXPECT_EQ(l.t->Telemetry.AskNumber, 126);
    EXPECT_EQ(l.t->Signals.Number, 70); // kept; only the window's 68 cells are shown
    EXPECT_EQ(l.t->Parameters.Number, 124);
    EXPECT_EQ(l.t->Settings.Number, 128);
    EXPECT_EQ(l.t->Settings.ValueNmuber[0], 32);
    EXPECT_EQ(Text(l.t->Settings.ValueDescribe[0][31]), QString::fromUtf8("末项"));
    const QString all = l.notes.join('\n');
    for (const char* expected :
         {"[YC] Number=200", "AskNumber=130", "[YC] Number=128", "[YX] Number=70",
          "[CS] Number=124", "[DZ] Number=129", "[DZ] Number=128", "1.ValueNmuber=40"})
        EXPECT_TRUE(all.contains(QString::fromUtf8(expected))) << expected << "\n"
                                                               << all.toStdString();
    EXPECT_EQ(l.notes.size(), 8);
}

TEST(PointTables, ParameterImageBytesStartZero) {
    const Loaded l = Load("[CS]\r\nNumber=5\r\n");
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&l.t->Parameters);
    EXPECT_EQ(bytes[4101], 0);
    EXPECT_EQ(bytes[4870], 0);
    EXPECT_EQ(bytes[4871], 0);
    for (std::size_t i = 4872; i < 5384; ++i)
        ASSERT_EQ(bytes[i], 0) << i;
    // RawValue[0] is at 4358, little-endian.
    EXPECT_EQ(bytes[4358], 0xFF);
    EXPECT_EQ(bytes[2], 5);
}

// The sample map shipped beside the program stays inside the limits of the frames and the window.
TEST(PointTables, SampleMapFitsTheLimits) {
    const QString shipped =
        QString::fromUtf8(RELAY_BINARY_DIR "/app/companel/配置文件/VKD2950.ini");
    ASSERT_TRUE(QFile::exists(shipped));
    auto t = std::make_unique<PointTables>();
    const QStringList notes = LoadPointTables(*t, shipped);
    EXPECT_TRUE(notes.isEmpty()) << notes.join('\n').toStdString();

    const TelemetryTable& yc = t->Telemetry;
    EXPECT_GE(yc.Number, 30);
    EXPECT_LE(yc.Number, 63);
    EXPECT_LE(yc.AskNumber, 126);
    EXPECT_LE(yc.TimePost + 6u, yc.AskNumber);
    EXPECT_LT(yc.VersionPost, yc.AskNumber);
    int calibratable = 0, withHighWord = 0, isSigned = 0;
    for (std::size_t i = 0; i < yc.Number; ++i) {
        EXPECT_GE(yc.Post[i], 1);
        EXPECT_LE(yc.Post[i], yc.AskNumber) << i;
        EXPECT_LE(yc.PostH[i], yc.AskNumber) << i;
        EXPECT_NE(Text(yc.Name[i]), QString::fromUtf8("遥测名称")) << i;
        withHighWord += yc.PostH[i] != 0;
        isSigned += yc.Type[i] == 1 || yc.Type[i] == 5;
        if (yc.bCanBeClick[i]) {
            ++calibratable;
            EXPECT_GE(yc.bCheckMemery[i], t->Parameters.Start);
            EXPECT_LT(yc.bCheckMemery[i], t->Parameters.Start + t->Parameters.Number);
        }
    }
    EXPECT_GE(calibratable, 3);
    EXPECT_GE(withHighWord, 1);
    EXPECT_GE(isSigned, 1);

    const SignalTable& yx = t->Signals;
    EXPECT_GE(yx.Number, 40);
    EXPECT_LE(yx.Number, 68);
    int accident = 0;
    for (std::size_t i = 0; i < yx.Number; ++i) {
        accident += Text(yx.Name[i]).contains(QString::fromUtf8("事故总"));
        EXPECT_LE(yc.YXPost + (yx.Post[i] + 15u) / 16, yc.AskNumber) << i;
    }
    EXPECT_EQ(accident, 1);

    EXPECT_EQ(t->Parameters.Start, 100);
    EXPECT_GE(t->Parameters.Number, 57);
    EXPECT_LE(t->Parameters.Number, 123);
    EXPECT_EQ(t->Settings.Start, 200);
    EXPECT_LE(t->Settings.Number, 123);
    int options = 0;
    for (std::size_t i = 0; i < t->Settings.Number; ++i)
        options += t->Settings.ValueNmuber[i] > 0;
    EXPECT_GE(options, 1);
    EXPECT_EQ(Text(t->Settings.ValueDescribe[0][1]), QString::fromUtf8("投入"));
}

} // namespace
} // namespace companel
