#pragma once
// The catalogue of requests sent to the device: one builder per request, the texts that go
// with them, and the arithmetic of bit-rate codes, calibration and the coefficient step.

#include "companel/config/point_tables.h"
#include "companel/link/frame.h"

#include <QDateTime>
#include <QString>
#include <cstdint>

namespace companel {

constexpr std::uint8_t kSearchAddress = 254;
constexpr std::uint16_t kDefaultCoefficient = 1024;
constexpr std::size_t kEventBatches = 20;
constexpr std::uint16_t kEventsPerBatch = 25;
// The coefficient registers are taken as relative to a parameter block starting here.
constexpr std::uint16_t kCoefficientBlockStart = 100;
constexpr std::size_t kHardwareInfoSize = 14;
constexpr std::size_t kRemoteModeIndex = 50;
constexpr std::size_t kHardwareInfoRegister = 50; // block registers 50..56

// The coil operations of the main window's buttons.
enum class Operation {
    SignalReset,
    HighSideClose,
    HighSideOpen,
    LowSide1Close,
    LowSide1Open,
    LowSide2Close,
    LowSide2Open,
    Output7,
    Output8,
    Output9,
    Output10,
};

struct OperationInfo {
    std::uint16_t Coil;
    const char* Progress;    // UTF-8 status line when queued
    const char* PortFailure; // UTF-8 status line when the link is not usable
};
const OperationInfo& InfoOf(Operation op);
QString TimeSetProgressText();
QString TimeSetPortFailureText();

// Either a frame or the reason it cannot be built (shown to the user).
struct FrameResult {
    Frame Request;
    QString Refusal;
    bool Ok() const { return Refusal.isEmpty(); }
};

Frame BuildReadRegisters(std::uint8_t address, std::uint16_t start, std::uint16_t count);
Frame BuildPoll(std::uint8_t address, std::uint16_t askNumber);
Frame BuildAddressSearch();
Frame BuildCoilOn(std::uint8_t address, std::uint16_t coil);
Frame BuildOperation(std::uint8_t address, Operation op);
// Device clock from the PC's local time (two-digit year).
Frame BuildTimeSet(std::uint8_t address, std::uint16_t timePost, const QDateTime& now);
// Writes `count` registers from `start`; refused when the frame would pass 255 bytes.
FrameResult BuildWriteRegisters(std::uint8_t address, std::uint16_t start,
                                const std::uint16_t* values, std::size_t count);

Frame BuildParameterUpload(std::uint8_t address, const ParameterTable& table);
Frame BuildSettingUpload(std::uint8_t address, const SettingTable& table);
// RawValue[0 .. Number-1] from Start, the bit rates at 4 and 6 sent as device codes.
FrameResult BuildParameterDownload(std::uint8_t address, const ParameterTable& table);
FrameResult BuildSettingDownload(std::uint8_t address, const SettingTable& table);
// A parameter download whose block registers 50..56 carry the hardware ID instead.
FrameResult BuildHardwareInfoDownload(std::uint8_t address, const ParameterTable& table,
                                      const std::uint8_t (&hardwareInfo)[kHardwareInfoSize]);
// Batch k (0..19) of the event log: 25 records from k x 25.
Frame BuildEventBatch(std::uint8_t address, std::uint16_t batch);
Frame BuildCoefficientWrite(std::uint8_t address, std::uint16_t reg, std::uint16_t value);
Frame BuildCalibrationDefault(std::uint8_t address, std::uint16_t reg);

// Bit rate (bit/s) <-> device code of parameters 4 and 6.
std::uint16_t BaudCode(std::uint16_t rate);
std::uint16_t BaudRateOfCode(std::uint16_t code);

// T x 1024 / Value in float arithmetic, truncated toward zero, low 16 bits.
std::uint16_t CalibrationCoefficient(float target, float value);
// Puts the coefficient into a prepared calibration-set frame and renews its CRC.
bool FinishCalibrationFrame(Frame& frame, std::uint16_t coefficient);

QString CalibrationDefaultText(const QString& name);
QString CalibrationSetText(const QString& name);

// Status line when a request taken from the command slot got no answer.
QString NoAnswerText(const std::uint8_t* request, std::size_t length, std::uint16_t parameterNumber,
                     std::uint16_t settingNumber);

// Mouse-wheel coefficient step over telemetry point `point` at horizontal position x inside
// its name label. Changes the coefficients in `parameters.RawValue` as it steps.
struct WheelStep {
    enum class Kind {
        SendStep,             // Request is the coefficient write; empties the calibration slot
        QueueParameterUpload, // limit reached: Request is a parameter upload
        Refused,              // a coefficient register lies outside the parameter block
    };
    Kind Action = Kind::Refused;
    Frame Request;
};
WheelStep CoefficientStep(std::uint8_t address, const TelemetryTable& telemetry,
                          ParameterTable& parameters, std::size_t point, int x, int delta,
                          bool ctrl);

} // namespace companel
