#pragma once
// One relay model as read from its template file, and at the same time the store of the
// connected relay's data. Every list is a fixed block of 255 records so the engine can store
// by entry number without searching or allocating.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace lanpanel {

constexpr int kTextField = 200;    // every name, type and unit field
constexpr int kMaxFieldText = 128; // longest text a template file may give a field
constexpr int kListSize = 255;     // records per list

struct AnaloguePoint {
    char Name[kTextField];
    char Type[kTextField];
    float Value;
    float Scale;
};

struct DigitalPoint {
    char Name[kTextField];
    std::int32_t State;
};

struct PlatePoint {
    char Name[kTextField];
    std::int32_t State;
};

struct SettingPoint {
    char Name[kTextField];
    char Unit[kTextField];
    std::uint8_t DataType;
    float Value;
    float Factor;
};

struct ProtectionPoint {
    char Name[kTextField];
    char Unit[kTextField];
    float Factor;
    float Value;
};

struct RelayPoint {
    char Name[kTextField];
    char Type[kTextField];
};

struct DeviceTemplate {
    char FileName[kTextField];
    std::int32_t Index;
    AnaloguePoint Analogue[kListSize];
    std::uint16_t AnalogueCount;
    DigitalPoint Digital[kListSize];
    std::uint16_t DigitalCount;
    PlatePoint Plate[kListSize];
    std::uint16_t PlateCount;
    SettingPoint Setting[kListSize];
    std::uint16_t SettingCount;
    std::uint8_t RunningZone;
    std::uint8_t ViewZone;
    ProtectionPoint Protection[kListSize];
    std::uint16_t ProtectionCount;
    RelayPoint Relay[kListSize];
    std::uint16_t RelayCount;

    // Zero-filled, zones at 32, as the scan creates it.
    static std::unique_ptr<DeviceTemplate> Create();
};

using TemplateList = std::vector<std::unique_ptr<DeviceTemplate>>;

// Message-box texts go to whoever shows them; core code shows nothing itself.
using ReportFn = std::function<void(const QString& text)>;

// Marker-scanner text functions over single-byte/GBK text; positions are bytes.
QByteArray ExtractBetween(const QByteArray& start, const QByteArray& end, QByteArray& source);
QByteArray ExtractToEnd(const QByteArray& start, QByteArray& source);
// 0 copied, 1 too long (129 or more), 2 empty; nothing is copied unless 0.
int CopyField(char* field, const QByteArray& text);
// Blanks removed, then a leading decimal number; empty or 129+ characters give 0.
double ReadNumber(const QByteArray& text);

// Parses template text (read whole) into a zero-filled template. Entries beyond the 255th of a
// kind are counted in `dropped` and not stored.
void ParseTemplateText(DeviceTemplate& tpl, const QByteArray& text, int* dropped = nullptr);

// Reads "<folder>/<fileName>" into `tpl`. On open failure reports the message box text and
// returns false.
bool LoadTemplate(DeviceTemplate& tpl, const QString& folder, const QString& fileName,
                  const ReportFn& report);

// Fills `list` from every "*.xml" of `folder` in listing order. Returns true when at least one
// template was created.
bool ScanTemplates(TemplateList& list, const QString& folder, const ReportFn& report);

// The template folder beside the program: AppDir + "\模板文件".
QString TemplateFolder();

} // namespace lanpanel
