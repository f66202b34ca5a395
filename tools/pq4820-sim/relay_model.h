#pragma once
// A PQ4820-family relay as lanpanel sees it over TCP: identification, general interrogation,
// generic reads and writes of its zones, settings, protection values, plates and outputs, and
// its clock. Pure state and bytes; the client moves the bytes.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

namespace pq4820sim {

using Bytes = std::vector<std::uint8_t>;

struct SettingDef {
    QString name;
    QString unit;
    std::uint8_t dataType; // 3 unsigned, 7 float
    int decimals;
    float initial;
};

struct ProtectionDef {
    QString name;
    QString unit;
    float factor;
    float value;
};

class RelayModel {
public:
    struct Options {
        QByteArray model = "48-21";   // five characters
        QByteArray version = "V2.10"; // five characters
        std::uint16_t series = 0x2A5C;
        std::uint8_t address = 1;
    };

    explicit RelayModel(Options options);

    // Cuts the next complete request off the front of `buffer`; empty when none is complete.
    // Bytes that cannot start a request are dropped.
    static Bytes NextRequest(QByteArray& buffer);

    // Answers to one request (possibly several frames, possibly none), and a line describing
    // what the relay did.
    std::vector<Bytes> Handle(const Bytes& request, QString* report);

    // A spontaneous change: one signal flips and one measurement moves.
    Bytes SpontaneousChange(QString* report);

    // Forget what was described on the previous connection.
    void NewConnection();

    // State that a later read shows (tests look at it).
    std::uint8_t RunningZone() const { return runningZone_; }
    std::uint8_t SelectedZone() const { return selectedZone_; }
    float Setting(std::uint8_t zone, int index) const;
    int PlateState(int index) const { return plates_[static_cast<std::size_t>(index)]; }
    int OutputState(int entry) const;
    int SignalState(int index) const { return signals_[static_cast<std::size_t>(index)]; }
    QDateTime Clock() const;
    int SettingCount() const { return static_cast<int>(settingDefs_.size()); }
    const Options& options() const { return options_; }

private:
    Bytes Header(std::uint8_t type, std::uint8_t cot, std::uint8_t inf, std::uint8_t rii) const;
    std::vector<Bytes> ReadGroup(std::uint8_t group, std::uint8_t rii, QString* report);
    std::vector<Bytes> Write(const Bytes& req, QString* report);
    Bytes Interrogation();
    std::vector<float>& Zone(std::uint8_t zone);

    Options options_;
    std::vector<QString> analogueNames_;
    std::vector<float> analogues_;
    std::vector<int> signals_;
    std::vector<SettingDef> settingDefs_;
    std::map<std::uint8_t, std::vector<float>> zones_;
    std::vector<ProtectionDef> protection_;
    std::vector<QString> plateNames_;
    std::vector<int> plates_;
    std::map<int, int> outputs_;
    std::uint8_t runningZone_ = 1;
    std::uint8_t selectedZone_ = 1;
    qint64 clockOffsetMs_ = 0;
    bool describedSettings_ = false;
    bool describedProtection_ = false;
    bool describedPlates_ = false;
    std::mt19937 rng_{4820};
};

} // namespace pq4820sim
