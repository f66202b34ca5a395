#pragma once
// A VKD2950 relay as the serial master sees it: the register map laid out from a point-table
// INI, live telemetry, binary inputs, its own clock, the parameter and setting blocks, coil
// commands, the event log and the search address. Handle() turns one request frame into the
// answer frame (or none); time is passed in, so every answer can be reproduced.

#include "companel/config/point_tables.h"
#include "tools/vkd2950-sim/event_log.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace vkdsim {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kSearchAddress = 254;
constexpr std::uint16_t kNeutralCoefficient = 1024;
constexpr std::size_t kMaxReadRegisters = 127;  // the byte count of the answer is one byte
constexpr std::size_t kMaxWriteRegisters = 123; // a write request fits 255 bytes
constexpr std::size_t kMaxEventsPerRead = 31;   // 8 bytes each behind a one-byte count
constexpr std::uint16_t kCoilCount = 16;

// Modbus exception codes the relay answers with.
constexpr std::uint8_t kIllegalFunction = 1;
constexpr std::uint8_t kIllegalAddress = 2;
constexpr std::uint8_t kIllegalValue = 3;

struct DeviceOptions {
    std::uint8_t Address = 1;
    std::uint16_t RemoteMode = 0;  // parameter 50: 0 or 1
    bool AccidentHeld = false;     // hold the input named "...事故总" closed
    std::uint16_t Firmware = 1640; // register VersionPost
    // The 24-digit hardware ID in block registers 50..56; empty for a relay never programmed.
    QString HardwareId = QStringLiteral("000001240315103000012345");
    std::size_t Events = kEventCapacity; // events in the log at start
    std::uint32_t Seed = 2950;
    // Mean seconds between spontaneous binary-input changes; 0 keeps them still.
    int SignalPeriodSeconds = 20;
    bool MovingTelemetry = true; // false: every reading is the channel's nominal value
};

class Device {
public:
    Device(const companel::PointTables& tables, const DeviceOptions& options, qint64 nowMs);

    // One complete request (CRC included) in, the answer out; empty = the relay stays silent
    // (another address, a broken frame). Advances the relay's own life to `nowMs` first.
    Bytes Handle(const std::uint8_t* request, std::size_t length, qint64 nowMs);
    // Spontaneous changes of binary inputs up to `nowMs`.
    void Advance(qint64 nowMs);

    std::uint8_t Address() const { return options_.Address; }
    // Moves the relay to another address (1..247), as a changed address parameter would.
    bool SetAddress(std::uint8_t address);
    const companel::PointTables& Tables() const { return tables_; }

    // Register as a read would return it; nothing when the relay does not hold it.
    std::optional<std::uint16_t> ReadRegister(std::uint16_t reg, qint64 nowMs) const;
    // Writes a stored register directly (parameter or setting block, coefficients).
    bool SetStoredRegister(std::uint16_t reg, std::uint16_t value);
    // Register of parameter i (where an upload finds it).
    std::uint16_t ParameterRegister(std::size_t i) const;

    // The quantity applied to telemetry channel i (what a test set would read) and what the
    // relay reports for it, scaled as the master decodes it.
    double AppliedValue(std::size_t i, qint64 nowMs) const;
    double ReportedValue(std::size_t i, qint64 nowMs) const;
    // Register of the channel's calibration coefficient; nothing when it has none.
    std::optional<std::uint16_t> CoefficientRegister(std::size_t i) const;

    QDateTime Clock(qint64 nowMs) const;
    std::uint16_t RemoteMode() const;
    void SetRemoteMode(std::uint16_t mode);
    bool Signal(std::size_t i) const { return i < signals_.size() && signals_[i]; }
    void SetSignal(std::size_t i, bool closed);
    // The accident input ("事故总"); nothing when the point table has none.
    std::optional<std::size_t> AccidentSignal() const { return accident_; }
    void SetAccidentHeld(bool held);
    const EventLog& Events() const { return events_; }

    // The answer frames the relay builds, exposed for tests and faults.
    static Bytes Exception(std::uint8_t address, std::uint8_t function, std::uint8_t code);
    static void Seal(Bytes& frame);

private:
    struct Channel {
        double Nominal = 0; // applied quantity in the channel's unit
        double Wobble = 0;  // relative amplitude of the slow swing
        double PeriodMs = 60000;
        double Phase = 0;
        double Gain = 1; // error of the channel before calibration
        double EnergyPerHour = 0;
    };

    Bytes Read(const std::uint8_t* r, std::uint8_t address, qint64 nowMs) const;
    Bytes Write(const std::uint8_t* r, std::size_t length, qint64 nowMs);
    Bytes Coil(const std::uint8_t* r, qint64 nowMs);
    Bytes EventRead(const std::uint8_t* r) const;
    std::vector<std::uint16_t> PollRegisters(qint64 nowMs) const;
    bool Stored(std::uint16_t reg) const { return held_[reg] != 0; }
    void Hold(std::uint16_t reg, std::uint16_t value);
    void LayOutParameters();
    void LayOutSettings();
    void LayOutChannels(std::mt19937& rng);
    void LayOutSignals();
    void WriteHardwareId(const QString& digits);
    void ScheduleSignalChange(qint64 fromMs);
    void OperateBreaker(int side, bool close);
    void ResetSignals();
    std::optional<std::size_t> SignalNamed(const QString& part) const;
    std::int64_t RawReading(std::size_t i, qint64 nowMs) const;

    companel::PointTables tables_;
    DeviceOptions options_;
    std::vector<std::uint16_t> stored_;
    std::vector<std::uint8_t> held_;
    std::vector<Channel> channels_;
    std::vector<bool> signals_;
    std::vector<std::size_t> restless_; // inputs that change by themselves
    std::optional<std::size_t> accident_;
    qint64 startMs_ = 0;
    qint64 clockOffsetMs_ = 0;
    qint64 nextSignalChangeMs_ = 0;
    std::mt19937 rng_;
    EventLog events_;
};

// A relay laid out from the point-table INI at `iniPath`; nothing (and the reason in `error`)
// when the file does not exist. Notes of the loader (clipped counts) go to `notes`.
std::unique_ptr<Device> LoadDevice(const QString& iniPath, const DeviceOptions& options,
                                   qint64 nowMs, QString* error, QStringList* notes = nullptr);

} // namespace vkdsim
