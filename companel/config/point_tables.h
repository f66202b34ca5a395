#pragma once
// The four point tables of the VKD2950 register map. Each table is both the description of
// its points (loaded from the point-table INI) and the live image of the device. The parameter
// and setting tables are saved and loaded as raw byte images by project files, so their layout
// is fixed to the byte: fixed-width fields, explicit alignment members, checked below.

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace companel {

constexpr std::size_t kTablePoints = 128; // capacity of every table
constexpr std::size_t kTextSize = 32;     // names and option texts, GBK, zero-terminated
constexpr std::size_t kMaxChoices = 32;   // option texts per setting
constexpr std::uint16_t kNoValue = 0xFFFF;
constexpr std::uint16_t kStateLinkDown = 0x8888;

// Colour as stored: R, G, B, 0.
struct Colour {
    std::uint8_t R;
    std::uint8_t G;
    std::uint8_t B;
    std::uint8_t Zero;
};
static_assert(sizeof(Colour) == 4);

bool operator==(const Colour& a, const Colour& b);
inline bool operator!=(const Colour& a, const Colour& b) {
    return !(a == b);
}

struct TelemetryTable {
    std::uint16_t AskNumber;
    std::uint16_t Number;
    std::uint16_t TimePost;
    std::uint16_t VersionPost;
    std::uint16_t YXPost;
    char Name[kTablePoints][kTextSize];
    std::uint16_t RawValue[kTablePoints];
    std::uint16_t CC2[kTablePoints];
    std::uint8_t Type[kTablePoints];
    float Value[kTablePoints];
    float ShownValue[kTablePoints];
    std::uint8_t Post[kTablePoints];
    std::uint8_t PostH[kTablePoints];
    Colour ColorBack[kTablePoints];
    Colour ColorText[kTablePoints];
    std::int32_t bCanBeClick[kTablePoints];
    std::uint16_t bCheckMemery[kTablePoints];
    float Max[kTablePoints];
    float Min[kTablePoints];
};

struct SignalTable {
    std::uint16_t Number;
    char Name[kTablePoints][kTextSize];
    std::uint16_t State[kTablePoints];
    std::uint16_t ShownState[kTablePoints];
    std::uint8_t Post[kTablePoints];
    Colour ColorBack[kTablePoints];
    Colour ColorText[kTablePoints];
};

struct ParameterTable {
    std::uint16_t Start;
    std::uint16_t Number;
    std::uint8_t YKWayPost;
    char Name[kTablePoints][kTextSize];
    std::uint8_t Alignment1[1]; // kept as held in memory, ignored on reading
    std::uint16_t ShowName[kTablePoints];
    std::uint16_t RawValue[kTablePoints];
    std::uint16_t CC2[kTablePoints];
    std::uint8_t Alignment2[2];
    std::uint8_t Reserved[kTablePoints][4]; // zero; nothing uses it
    std::uint8_t Post[kTablePoints];
    Colour ColorBack[kTablePoints];
    Colour ColorText[kTablePoints];
};

struct SettingTable {
    std::uint16_t Start;
    std::uint16_t Number;
    char Name[kTablePoints][kTextSize];
    std::uint16_t RawValue[kTablePoints];
    std::uint16_t CC2[kTablePoints];
    float Scaled[kTablePoints];
    std::uint16_t Max[kTablePoints];
    std::uint16_t Min[kTablePoints];
    std::uint8_t Post[kTablePoints];
    Colour ColorBack[kTablePoints];
    Colour ColorText[kTablePoints];
    std::uint8_t ValueNmuber[kTablePoints];
    char ValueDescribe[kTablePoints][kMaxChoices][kTextSize];
};

// Tables are copied as byte images (project files) and cleared with memset.
static_assert(std::is_trivially_copyable_v<SettingTable>);
static_assert(std::is_trivially_copyable_v<ParameterTable>);
static_assert(std::is_trivial_v<TelemetryTable> && std::is_trivial_v<SignalTable>);

struct PointTables {
    TelemetryTable Telemetry;
    SignalTable Signals;
    ParameterTable Parameters;
    SettingTable Settings;
};

// The project-file images are little-endian with IEEE single floats; the tables are copied to
// and from them byte for byte.
static_assert(sizeof(float) == 4);
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "project files assume a little-endian host");
#endif

constexpr std::size_t kSettingImageSize = 137988;
constexpr std::size_t kParameterImageSize = 6536;

static_assert(sizeof(SettingTable) == kSettingImageSize);
static_assert(offsetof(SettingTable, Start) == 0);
static_assert(offsetof(SettingTable, Number) == 2);
static_assert(offsetof(SettingTable, Name) == 4);
static_assert(offsetof(SettingTable, RawValue) == 4100);
static_assert(offsetof(SettingTable, CC2) == 4356);
static_assert(offsetof(SettingTable, Scaled) == 4612);
static_assert(offsetof(SettingTable, Max) == 5124);
static_assert(offsetof(SettingTable, Min) == 5380);
static_assert(offsetof(SettingTable, Post) == 5636);
static_assert(offsetof(SettingTable, ColorBack) == 5764);
static_assert(offsetof(SettingTable, ColorText) == 6276);
static_assert(offsetof(SettingTable, ValueNmuber) == 6788);
static_assert(offsetof(SettingTable, ValueDescribe) == 6916);

static_assert(sizeof(ParameterTable) == kParameterImageSize);
static_assert(offsetof(ParameterTable, Start) == 0);
static_assert(offsetof(ParameterTable, Number) == 2);
static_assert(offsetof(ParameterTable, YKWayPost) == 4);
static_assert(offsetof(ParameterTable, Name) == 5);
static_assert(offsetof(ParameterTable, Alignment1) == 4101);
static_assert(offsetof(ParameterTable, ShowName) == 4102);
static_assert(offsetof(ParameterTable, RawValue) == 4358);
static_assert(offsetof(ParameterTable, CC2) == 4614);
static_assert(offsetof(ParameterTable, Alignment2) == 4870);
static_assert(offsetof(ParameterTable, Reserved) == 4872);
static_assert(offsetof(ParameterTable, Post) == 5384);
static_assert(offsetof(ParameterTable, ColorBack) == 5512);
static_assert(offsetof(ParameterTable, ColorText) == 6024);

} // namespace companel
