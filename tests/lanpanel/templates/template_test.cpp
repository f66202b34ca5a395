#include "common/support/gbk.h"
#include "lanpanel/templates/device_template.h"
#include "lanpanel/templates/identify.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lanpanel;

namespace {
QByteArray G(const char* utf8) {
    return support::ToGbk(QString::fromUtf8(utf8));
}
QByteArray F(const char* field) {
    return support::FieldBytes(field, kTextField);
}
std::unique_ptr<DeviceTemplate> Parse(const QByteArray& text) {
    auto tpl = DeviceTemplate::Create();
    ParseTemplateText(*tpl, text);
    return tpl;
}
void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

TEST(TextFunctions, ExtractBetweenAndToEnd) {
    QByteArray src = "xx name=Ia type=A";
    EXPECT_EQ(ExtractBetween("name=", " ", src), "Ia");
    EXPECT_EQ(src, " type=A");
    // missing end leaves the source as it was
    EXPECT_EQ(ExtractBetween("type=", ")", src), "");
    EXPECT_EQ(src, " type=A");
    // end inside start: ")(" found at the start's own position is no end
    QByteArray overlap = "a)(b";
    EXPECT_EQ(ExtractBetween(")(", ")", overlap), "");
    EXPECT_EQ(overlap, "a)(b");
    EXPECT_EQ(ExtractToEnd("type=", src), "A");
    EXPECT_TRUE(src.isEmpty());
    QByteArray none = "abc";
    EXPECT_EQ(ExtractToEnd("cc2=", none), "");
    EXPECT_EQ(none, "abc");
}

TEST(TextFunctions, CopyFieldAndNumberReader) {
    char field[kTextField];
    std::memset(field, 'z', sizeof field);
    EXPECT_EQ(CopyField(field, QByteArray(128, 'a')), 0);
    EXPECT_EQ(F(field), QByteArray(128, 'a'));
    EXPECT_EQ(CopyField(field, QByteArray(129, 'b')), 1);
    EXPECT_EQ(F(field), QByteArray(128, 'a'));
    EXPECT_EQ(CopyField(field, ""), 2);

    struct Case {
        const char* text;
        double value;
    } cases[] = {{"0.01", 0.01}, {" 1 2.5 ", 12.5}, {"-3e2x", -300}, {"abc", 0}, {"", 0},
                 {"0x10", 0},    {"inf", 0},        {"1e999", 0},    {".5", 0.5}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(ReadNumber(c.text), c.value) << c.text;
    EXPECT_EQ(ReadNumber(QByteArray(129, '1')), 0.0);
}

TEST(TemplateParse, FourLineFile) {
    auto t =
        Parse(G("Analogue( name=Ia type=A cc2=0.01 )\r\nAnalogue( name=Ua type=kV cc2=0.1 )\r\n"
                "Digital( name=断路器合位 )\r\nRelay( name=跳闸 type=出口 )\r\n"));
    ASSERT_EQ(t->AnalogueCount, 2);
    EXPECT_EQ(F(t->Analogue[0].Name), "Ia");
    EXPECT_EQ(F(t->Analogue[0].Type), "A");
    EXPECT_FLOAT_EQ(t->Analogue[0].Scale, 0.01f);
    EXPECT_EQ(F(t->Analogue[1].Name), "Ua");
    EXPECT_EQ(F(t->Analogue[1].Type), "kV");
    EXPECT_FLOAT_EQ(t->Analogue[1].Scale, 0.1f);
    ASSERT_EQ(t->DigitalCount, 1);
    EXPECT_EQ(F(t->Digital[0].Name), G("断路器合位 "));
    ASSERT_EQ(t->RelayCount, 1);
    EXPECT_EQ(F(t->Relay[0].Name), G("跳闸"));
    EXPECT_EQ(F(t->Relay[0].Type), G("出口 "));
    EXPECT_EQ(t->RunningZone, 32);
    EXPECT_EQ(t->ViewZone, 32);
}

TEST(TemplateParse, EntryRules) {
    struct Case {
        const char* what;
        const char* text;
        int analogues, digitals, relays;
        const char* firstName;
        const char* firstType;
        float firstScale;
    } cases[] = {
        {"quotes removed, empty cc2 is 1.0",
         "Analogue( name=\"Ia\" type=\"A\" cc2=0.001 ) Analogue( name=Ib type=A cc2= )", 2, 0, 0,
         "Ia", "A", 0.001f},
        {"attributes out of order lose the type", "Analogue( type=A name=Ia cc2=1 )", 1, 0, 0, "Ia",
         "", 1.0f},
        {"missing attributes still count", "Analogue( )", 1, 0, 0, "", "", 1.0f},
        {"cc2 0 and text give 1.0",
         "Analogue( name=X type=Y cc2=0 ) Analogue( name=Z type=Y cc2=q )", 2, 0, 0, "X", "Y",
         1.0f},
        {"digital before the last analogue is skipped",
         "Digital( name=D1 ) Analogue( name=A type=T cc2=2 ) Digital( name=D2 )", 1, 1, 0, "A", "T",
         2.0f},
        {"relay before the last digital is skipped",
         "Relay( name=R1 type=T ) Digital( name=D ) Relay( name=R2 type=T2 )", 0, 1, 1, "", "",
         0.0f},
        {"case matters", "analogue( name=a type=b cc2=1 )", 0, 0, 0, "", "", 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto t = Parse(c.text);
        EXPECT_EQ(t->AnalogueCount, c.analogues);
        EXPECT_EQ(t->DigitalCount, c.digitals);
        EXPECT_EQ(t->RelayCount, c.relays);
        if (c.analogues > 0) {
            EXPECT_EQ(F(t->Analogue[0].Name), c.firstName);
            EXPECT_EQ(F(t->Analogue[0].Type), c.firstType);
            EXPECT_FLOAT_EQ(t->Analogue[0].Scale, c.firstScale);
        }
    }
    auto t = Parse("Analogue( name=\"Ia\" type=\"A\" cc2=0.001 ) Analogue( name=Ib type=A cc2= )");
    EXPECT_EQ(F(t->Analogue[1].Name), "Ib");
    EXPECT_EQ(F(t->Analogue[1].Type), "A");
    EXPECT_FLOAT_EQ(t->Analogue[1].Scale, 1.0f);
    const char zeroInside[] = "Analogue( name=A type=T cc2=1 )\0Analogue( name=B )";
    EXPECT_EQ(Parse(QByteArray(zeroInside, sizeof zeroInside - 1))->AnalogueCount, 1);
    auto r = Parse("Relay( name=R1 type=T ) Digital( name=D ) Relay( name=R2 type=T2 )");
    EXPECT_EQ(F(r->Relay[0].Name), "R2");
}

TEST(TemplateParse, MeasureCutAndLongNames) {
    auto t = Parse(G("Digital( name=断路器合位 measure=1 )"));
    EXPECT_EQ(F(t->Digital[0].Name), G("断路器合位 "));
    const QByteArray longName(129, 'n');
    auto l = Parse("Analogue( name=" + longName + " type=A cc2=1 )");
    EXPECT_EQ(l->AnalogueCount, 1);
    EXPECT_EQ(F(l->Analogue[0].Name), "");
    EXPECT_EQ(F(l->Analogue[0].Type), "A");
}

TEST(TemplateParse, MoreThan255EntriesStayInTheList) {
    QByteArray text;
    for (int i = 0; i < 300; ++i)
        text += "Analogue( name=A" + QByteArray::number(i) + " type=T cc2=1 )";
    text += "Digital( name=after )";
    auto t = DeviceTemplate::Create();
    int dropped = 0;
    ParseTemplateText(*t, text, &dropped);
    EXPECT_EQ(t->AnalogueCount, kListSize);
    EXPECT_EQ(dropped, 45);
    EXPECT_EQ(F(t->Analogue[254].Name), "A254");
    EXPECT_EQ(t->DigitalCount, 1); // the scan goes on behind the dropped entries
    EXPECT_EQ(F(t->Digital[0].Name), "after ");
}

TEST(TemplateScan, FolderListingAndFailures) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList messages;
    auto report = [&](const QString& m) { messages << m; };
    TemplateList list;
    EXPECT_FALSE(ScanTemplates(list, dir.path(), report));
    EXPECT_TRUE(list.empty());

    WriteFile(dir.filePath("0.xml"), "Analogue( name=X type=Y cc2=2 )");
    WriteFile(dir.filePath("ABCDE.xml"), "Digital( name=Z )");
    WriteFile(dir.filePath("notes.txt"), "Analogue( name=X type=Y cc2=2 )");
    QDir(dir.path()).mkdir("sub.xml");
    WriteFile(dir.filePath(QString(200, 'L') + ".xml"), "");
    EXPECT_TRUE(ScanTemplates(list, dir.path(), report));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(F(list[0]->FileName), "0.xml");
    EXPECT_EQ(list[0]->Index, 0);
    EXPECT_EQ(list[0]->AnalogueCount, 1);
    EXPECT_EQ(F(list[1]->FileName), "ABCDE.xml");
    EXPECT_EQ(list[1]->Index, 1);
    EXPECT_EQ(list[1]->DigitalCount, 1);
    ASSERT_EQ(messages.size(), 1); // the over-long name
    EXPECT_TRUE(messages[0].contains(QStringLiteral("模板文件名过长")));

    auto missing = DeviceTemplate::Create();
    EXPECT_FALSE(LoadTemplate(*missing, dir.path(), "gone.xml", report));
    EXPECT_TRUE(messages.last().startsWith(QStringLiteral("打开配置文件出错：\r\n")));
    EXPECT_TRUE(messages.last().endsWith(QStringLiteral("gone.xml，请检查文件是否存在！")));
}

TEST(TemplateScan, SampleTemplatesLoad) {
    TemplateList list;
    ASSERT_TRUE(ScanTemplates(list, RELAY_SOURCE_DIR "/resources/lanpanel/模板文件", {}));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(F(list[1]->FileName), "PQ4821.xml");
    EXPECT_EQ(F(list[1]->Analogue[0].Name), "Ia"); // currents first
    EXPECT_EQ(F(list[2]->Analogue[0].Name), "Ua"); // voltages first
    EXPECT_FLOAT_EQ(list[2]->Analogue[0].Scale, 0.001f);
    EXPECT_GT(list[1]->DigitalCount, 5);
    EXPECT_GT(list[1]->RelayCount, 2);
    EXPECT_EQ(F(list[1]->Digital[0].Name), G("断路器合位 "));
}

namespace {
TemplateList Named(std::initializer_list<const char*> names) {
    TemplateList list;
    for (const char* n : names) {
        auto t = DeviceTemplate::Create();
        t->Index = static_cast<int>(list.size());
        std::strcpy(t->FileName, n);
        list.push_back(std::move(t));
    }
    return list;
}
} // namespace

TEST(Identify, ChoosesByFileName) {
    struct Case {
        std::initializer_list<const char*> files;
        const char* model;
        int chosen; // -1: none
        const char* message;
    } cases[] = {
        {{"XYZ.xml", "PQ48A.xml"}, "PQ-48", 1, ""},
        {{"PQ48A.xml", "PQ48B.xml"}, "PQ48", 0, ""},
        {{"XYZ.xml", "0.xml"}, "ABCDE", 1, ""},
        {{"XYZ.xml"}, "ABCDE", -1, "未找到型号为：ABCDE 的设备模板，设备型号识别失败！"},
        {{"0.xml"}, "     ", -1, "未找到与该设备相匹配的模板，设备型号识别失败！"},
        {{"abcde.xml"}, "ABCDE", -1, "未找到型号为：ABCDE 的设备模板，设备型号识别失败！"},
        {{"A0.xml", "0.xml"}, "B C-D", 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        const TemplateList list = Named(c.files);
        const Identification id = IdentifyModel(list, c.model);
        if (c.chosen < 0) {
            EXPECT_EQ(id.chosen, nullptr);
        } else {
            ASSERT_NE(id.chosen, nullptr);
            EXPECT_EQ(id.chosen->Index, c.chosen);
        }
        EXPECT_EQ(id.message, QString::fromUtf8(c.message));
    }
}
