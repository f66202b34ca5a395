#pragma once
// Misbehaviour on request: how an answer the relay built reaches the line, if at all. The plan
// is pure (bytes and delays); the link carries it out.

#include <QString>
#include <cstdint>
#include <random>
#include <vector>

namespace vkdsim {

enum class FaultKind {
    None,
    Silent,       // no answer
    Late,         // the whole answer after LateMs
    Split,        // the answer in two bursts, SplitGapMs apart
    BadCrc,       // the CRC does not hold (either byte order)
    WrongAddress, // another relay's address, CRC renewed
    Short,        // the first half of the answer only
};

struct FaultSettings {
    FaultKind Kind = FaultKind::None;
    int LateMs = 2500;
    int SplitGapMs = 150;
    // How many more answers Kind applies to; 0: until it is changed.
    int Remaining = 0;
    // Chance that an answer is swallowed, whatever Kind says.
    double SilenceProbability = 0.0;
    // Bytes leave at the pace of 9600 bit/s, 10 bits per byte.
    bool Pacing = true;
    // The relay's think time between the request and its answer.
    int TurnaroundMs = 5;
};

struct Burst {
    int DelayMs = 0; // silence before this burst
    std::vector<std::uint8_t> Bytes;
};

struct Delivery {
    std::vector<Burst> Bursts; // empty: no answer
    QString Note;              // what was done to the answer, for the log
};

// Plans how `answer` goes out under `faults`; counts down Remaining and falls back to no fault
// when it runs out. An empty answer stays unanswered.
Delivery PlanDelivery(const std::vector<std::uint8_t>& answer, FaultSettings& faults,
                      std::mt19937& rng);

// Microseconds one byte takes on the line at 9600 bit/s (start, 8 data, stop bit).
constexpr long kByteTimeMicros = 10 * 1000000L / 9600;

QString FaultName(FaultKind kind);
QString Describe(const FaultSettings& faults);

// The command language shared by the command line and the running console:
//   fault off|silent|late [ms]|split [ms]|crc|address|short  [xN]   (xN: next N answers only)
//   silence <probability 0..1>
//   pacing on|off
//   turnaround <ms>
// Returns false with a reason when the line is not such a command; changes nothing then.
bool ApplyFaultCommand(const QString& line, FaultSettings& faults, QString* error);

} // namespace vkdsim
