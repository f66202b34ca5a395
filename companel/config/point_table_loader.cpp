#include "companel/config/point_table_loader.h"

#include "common/support/appdir.h"
#include "common/support/gbk.h"

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <limits>
#include <vector>

namespace companel {
namespace {

QByteArray Gbk(const char* utf8) {
    return support::ToGbk(QString::fromUtf8(utf8));
}

QByteArray Key(int point, const char* name) {
    return QByteArray::number(point) + '.' + name;
}

void CopyText(char (&field)[kTextSize], const QByteArray& bytes) {
    support::CopyGbkField(field, kTextSize, bytes);
}

class Reader {
public:
    Reader(const support::Profile& profile, const char* section)
        : profile_(profile), section_(section) {}
    std::uint32_t Int(const QByteArray& key, std::int32_t def) const {
        return profile_.ReadInt(section_, key, def);
    }
    std::uint16_t U16(const QByteArray& key, std::int32_t def) const {
        return static_cast<std::uint16_t>(Int(key, def));
    }
    std::uint8_t U8(const QByteArray& key, std::int32_t def) const {
        return static_cast<std::uint8_t>(Int(key, def));
    }
    void Text(char (&field)[kTextSize], const QByteArray& key, const QByteArray& def) const {
        CopyText(field, profile_.ReadString(section_, key, def, kTextSize));
    }
    Colour Color(const QByteArray& key) const {
        return ColourByName(profile_.ReadString(section_, key, QByteArray(), kTextSize));
    }
    const char* Section() const { return section_.constData(); }

private:
    const support::Profile& profile_;
    QByteArray section_;
};

// Number of a section, clipped to the arrays.
std::uint16_t ReadCount(const Reader& r, QStringList& notes) {
    const std::uint16_t n = r.U16("Number", 0);
    if (n <= kTablePoints)
        return n;
    notes << QString::fromUtf8("[%1] Number=%2 超过%3，只使用前%3个点")
                 .arg(QLatin1String(r.Section()))
                 .arg(n)
                 .arg(kTablePoints);
    return kTablePoints;
}

void LoadTelemetry(const support::Profile& p, TelemetryTable& t, QStringList& notes) {
    std::memset(&t, 0, sizeof t);
    const Reader r(p, "YC");
    t.AskNumber = r.U16("AskNumber", 0);
    if (t.AskNumber > kMaxAskNumber) {
        notes << QString::fromUtf8("[YC] AskNumber=%1 超过%2，每次轮循只读%2个寄存器")
                     .arg(t.AskNumber)
                     .arg(kMaxAskNumber);
        t.AskNumber = kMaxAskNumber;
    }
    t.Number = ReadCount(r, notes);
    if (t.Number > kTelemetryCells)
        notes << QString::fromUtf8("[YC] Number=%1 超过主界面的%2个遥测位置，多出的点不显示")
                     .arg(t.Number)
                     .arg(kTelemetryCells);
    t.TimePost = r.U16("TimePost", 0);
    t.VersionPost = r.U16("VersionPost", 0);
    t.YXPost = r.U16("YXPost", 0);
    const QByteArray defName = Gbk("遥测名称");
    for (std::size_t i = 0; i < kTablePoints; ++i) {
        const int k = static_cast<int>(i) + 1;
        r.Text(t.Name[i], Key(k, "Name"), defName);
        t.CC2[i] = r.U16(Key(k, "CC2"), 1);
        t.Type[i] = r.U8(Key(k, "Type"), 1);
        t.Post[i] = r.U8(Key(k, "Post"), 0);
        t.PostH[i] = r.U8(Key(k, "PostH"), 0);
        t.ColorBack[i] = r.Color(Key(k, "ColorBack"));
        t.ColorText[i] = r.Color(Key(k, "ColorText"));
        t.bCanBeClick[i] = static_cast<std::int32_t>(r.Int(Key(k, "bCanBeClick"), 0));
        t.bCheckMemery[i] = r.U16(Key(k, "bCheckMemery"), 0xFFFF);
        // Read as unsigned 32-bit: a negative entry becomes a very large limit.
        t.Max[i] = static_cast<float>(r.Int(Key(k, "Max"), 65535));
        t.Min[i] = static_cast<float>(r.Int(Key(k, "Min"), 0));
        t.RawValue[i] = kNoValue;
        t.Value[i] = 0.0f;
        t.ShownValue[i] = NeverShownValue();
    }
}

void LoadSignals(const support::Profile& p, SignalTable& t, QStringList& notes) {
    std::memset(&t, 0, sizeof t);
    const Reader r(p, "YX");
    t.Number = ReadCount(r, notes);
    if (t.Number > kSignalCells)
        notes << QString::fromUtf8("[YX] Number=%1 超过主界面的%2个遥信位置，多出的点不显示")
                     .arg(t.Number)
                     .arg(kSignalCells);
    const QByteArray defName = Gbk("遥信名称");
    for (std::size_t i = 0; i < kTablePoints; ++i) {
        const int k = static_cast<int>(i) + 1;
        r.Text(t.Name[i], Key(k, "Name"), defName);
        t.Post[i] = r.U8(Key(k, "Post"), 0);
        t.ColorBack[i] = r.Color(Key(k, "ColorBack"));
        t.ColorText[i] = r.Color(Key(k, "ColorText"));
        t.State[i] = 0;
        t.ShownState[i] = kNoValue;
    }
}

void NoteDownloadLimit(const char* section, std::uint16_t number, QStringList& notes) {
    if (number > kMaxDownloadNumber)
        notes << QString::fromUtf8("[%1] Number=%2 超过%3，不能下载")
                     .arg(QLatin1String(section))
                     .arg(number)
                     .arg(kMaxDownloadNumber);
}

void LoadParameters(const support::Profile& p, ParameterTable& t, QStringList& notes) {
    std::memset(&t, 0, sizeof t); // alignment bytes and the reserved block start as zero
    const Reader r(p, "CS");
    t.Start = r.U16("Start", 0);
    t.Number = ReadCount(r, notes);
    NoteDownloadLimit("CS", t.Number, notes);
    t.YKWayPost = r.U8("YKWayPost", 0);
    const QByteArray defName = Gbk("参数名称");
    for (std::size_t i = 0; i < kTablePoints; ++i) {
        const int k = static_cast<int>(i) + 1;
        r.Text(t.Name[i], Key(k, "Name"), defName);
        t.ShowName[i] = r.U16(Key(k, "ShowName"), 1);
        t.CC2[i] = r.U16(Key(k, "CC2"), 1);
        t.Post[i] = r.U8(Key(k, "Post"), 0);
        t.ColorBack[i] = r.Color(Key(k, "ColorBack"));
        t.ColorText[i] = r.Color(Key(k, "ColorText"));
        t.RawValue[i] = kNoValue;
    }
}

void LoadSettings(const support::Profile& p, SettingTable& t, QStringList& notes) {
    std::memset(&t, 0, sizeof t);
    const Reader r(p, "DZ");
    t.Start = r.U16("Start", 0);
    t.Number = ReadCount(r, notes);
    NoteDownloadLimit("DZ", t.Number, notes);
    const QByteArray defName = Gbk("定值名称");
    for (std::size_t i = 0; i < kTablePoints; ++i) {
        const int k = static_cast<int>(i) + 1;
        r.Text(t.Name[i], Key(k, "Name"), defName);
        // wValue is part of the file format but the live value always starts empty.
        (void)r.Int(Key(k, "wValue"), 0xFFFF);
        t.RawValue[i] = kNoValue;
        t.CC2[i] = r.U16(Key(k, "CC2"), 1);
        t.Scaled[i] = t.CC2[i] == 0 ? std::numeric_limits<float>::infinity()
                                    : 65535.0f / static_cast<float>(t.CC2[i]);
        t.Max[i] = r.U16(Key(k, "Max"), 0xFFFF);
        t.Min[i] = r.U16(Key(k, "Min"), 0);
        t.Post[i] = r.U8(Key(k, "Post"), 0);
        t.ColorBack[i] = r.Color(Key(k, "ColorBack"));
        t.ColorText[i] = r.Color(Key(k, "ColorText"));
        std::uint8_t choices = r.U8(Key(k, "ValueNmuber"), 0);
        if (choices > kMaxChoices) {
            notes << QString::fromUtf8("[DZ] %1.ValueNmuber=%2 超过%3，只读取前%3个选项")
                         .arg(k)
                         .arg(choices)
                         .arg(kMaxChoices);
            choices = kMaxChoices;
        }
        t.ValueNmuber[i] = choices;
        for (int j = 1; j <= choices; ++j) {
            const QByteArray key =
                QByteArray::number(k) + '.' + QByteArray::number(j) + ".ValueDescribe";
            r.Text(t.ValueDescribe[i][j - 1], key, QByteArray());
        }
    }
}

} // namespace

bool operator==(const Colour& a, const Colour& b) {
    return a.R == b.R && a.G == b.G && a.B == b.B && a.Zero == b.Zero;
}

float NeverShownValue() {
    // Decoded values stay within about ±2.9e14 (a 32-bit reading); -FLT_MAX is never reached.
    return -FLT_MAX;
}

QString DefaultPointTablePath() {
    return support::AppPath(QString::fromUtf8("\\配置文件\\VKD2950.ini"));
}

Colour DefaultColour() {
    return Colour{200, 100, 150, 0};
}

Colour ColourByName(const QByteArray& name) {
    struct Named {
        QByteArray Gbk;
        Colour Value;
    };
    static const std::vector<Named> kNames = {
        {Gbk("红"), {255, 100, 100, 0}}, {Gbk("绿"), {0, 255, 0, 0}},
        {Gbk("蓝"), {0, 0, 255, 0}},     {Gbk("棕"), {200, 100, 150, 0}},
        {Gbk("紫"), {255, 0, 255, 0}},   {Gbk("黄"), {255, 255, 0, 0}},
        {Gbk("黑"), {0, 0, 0, 0}},       {Gbk("白"), {255, 255, 255, 0}},
        {Gbk("灰"), {240, 240, 240, 0}}, {Gbk("淡"), {210, 222, 252, 0}},
    };
    for (const Named& n : kNames) {
        if (name == n.Gbk)
            return n.Value;
    }
    return DefaultColour();
}

QStringList LoadPointTables(const support::Profile& profile, PointTables& tables) {
    QStringList notes;
    LoadTelemetry(profile, tables.Telemetry, notes);
    LoadSignals(profile, tables.Signals, notes);
    LoadParameters(profile, tables.Parameters, notes);
    LoadSettings(profile, tables.Settings, notes);
    return notes;
}

QStringList LoadPointTables(PointTables& tables, const QString& path) {
    return LoadPointTables(support::Profile::Load(path), tables);
}

} // namespace companel
