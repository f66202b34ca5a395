#pragma once
// The application-layer engine of lanpanel. Joins reads the network split, checks the station
// address, decodes identification, device records and generic answers into the identified
// template, tells the pages what changed, and polls the relay on a 10-second schedule.

#include "commands.h"
#include "lanpanel/server/device_link.h"
#include "lanpanel/templates/shared_state.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class QTimer;

namespace lanpanel {

enum class Page { Measurement, Signals, Settings, Plates, Protection, Operations };
enum class MessageIcon { Information, Exclamation };

constexpr int kFrameBuffer = 0x6000; // largest frame, also when two reads are joined
constexpr int kSegmentSize = 1460;   // a read of exactly this size is the first part of a frame
constexpr int kIdentText = 256;      // identification text, terminator included

struct IdentificationFrame {
    QByteArray model;   // up to 5 characters
    QByteArray version; // up to 5 characters, padded to 5 when it has 3 or 4
    std::uint16_t series = 0;
};
// Reads a type-5 frame of `n` bytes; none when it is too short to hold any text.
std::optional<IdentificationFrame> ParseIdentification(const std::uint8_t* frame, int n);

// Size 2: unsigned 16-bit little-endian; size 4: IEEE single little-endian; otherwise none.
std::optional<float> DecodeValue(const std::uint8_t* data, int size);

class ProtocolEngine : public QObject {
    Q_OBJECT
public:
    explicit ProtocolEngine(SharedState& shared, Timing timing = {}, QObject* parent = nullptr);

    void SetLink(DeviceLink* link) { link_ = link; }
    void SetClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

    // One read from the relay (1 to 24 575 bytes).
    void FrameArrived(const std::uint8_t* data, int count);
    // One event of the 200 ms timer; every 50th runs PollTick.
    void TimerEvent();
    void PollTick();
    void ResetEngine();

    // Writes DeviceAddress into byte 3 and sends; false when no relay is connected.
    bool SendFrame(Frame frame);
    bool SendClockSync();
    bool SendFixedClock();
    bool SendSignalReset();
    bool SendRemoteControl(std::uint8_t entry, std::uint8_t value);
    bool SendPlateSwitch(std::uint8_t entry, std::uint8_t value);
    bool SendSettingsDownload();

    // Chooses the template for a model text; false (and a message) when none fits.
    bool IdentifyModel(const QByteArray& modelText);

    DeviceTemplate* CurrentTemplate() const { return current_; }
    const QByteArray& ModelText() const { return modelText_; }
    const QByteArray& VersionText() const { return versionText_; }
    std::uint16_t SeriesNumber() const { return seriesNumber_; }

    bool DownloadPending() const { return downloadPending_; }
    void SetDownloadPending(bool pending) { downloadPending_ = pending; }
    bool TimeSynced() const { return timeSynced_; }
    bool SettingsListed() const { return settingsListed_; }
    void SetSettingsListed(bool listed) { settingsListed_ = listed; }
    bool PlatesListed() const { return platesListed_; }
    void SetPlatesListed(bool listed) { platesListed_ = listed; }
    bool ProtectionListed() const { return protectionListed_; }
    void SetProtectionListed(bool listed) { protectionListed_ = listed; }
    int HeldLength() const { return heldLength_; }
    int SettingsStep() const { return settingsStep_; }

signals:
    void PageReload(lanpanel::Page page);
    void PageUpdate(lanpanel::Page page);
    void TemplateSelected();
    // A message box the user must see (identification failures, a refused download).
    void ShowMessage(const QString& text, const QString& title, lanpanel::MessageIcon icon);

private:
    // Handles one read; returns the length of a frame nested in a kind-10 record that is to be
    // handled next (copied to nested_), or 0.
    int HandleRead(const std::uint8_t* data, int count);
    int HandleGenericData(const std::uint8_t* frame, int n);
    int HandleDeviceRecords(const std::uint8_t* frame, int n);
    void HandleGenericAnswer(const std::uint8_t* data, int len);
    void HandleIdentification(const std::uint8_t* frame, int n);
    void Notify(Page page, bool& listed);

    SharedState& shared_;
    Timing timing_;
    DeviceLink* link_ = nullptr;
    std::function<QDateTime()> clock_;
    QTimer* timer_;

    DeviceTemplate* current_ = nullptr;
    QByteArray modelText_;
    QByteArray versionText_;
    std::uint16_t seriesNumber_ = 0;
    bool downloadPending_ = false;
    bool timeSynced_ = false;
    bool settingsListed_ = false;
    bool platesListed_ = false;
    bool protectionListed_ = false;
    int heldLength_ = 0;
    int tickCounter_ = 0;
    int settingsStep_ = 0;

    std::array<std::uint8_t, kFrameBuffer> held_{};
    std::array<std::uint8_t, kFrameBuffer> frame_{};
    std::array<std::uint8_t, kFrameBuffer> nested_{};
};

} // namespace lanpanel
