#include "protocol_engine.h"

#include "common/support/gbk.h"
#include "lanpanel/templates/identify.h"

#include <QTimer>
#include <algorithm>
#include <cstring>

namespace lanpanel {

namespace {
constexpr std::uint8_t kTypeIdentification = 5;
constexpr std::uint8_t kTypeGenericData = 10;
constexpr int kGenericHeader = 8;
constexpr int kSetHeader = 6;

QByteArray DataBytes(const std::uint8_t* set, int size) {
    return QByteArray(reinterpret_cast<const char*>(set + kSetHeader), size);
}

// Walks the data sets from `data`: a set is taken only when it fits whole in what remains.
// With `group` >= 0 the walk also ends at the first set of another group.
template <typename Fn> void WalkSets(const std::uint8_t* data, int len, int group, Fn&& fn) {
    int pos = 0;
    while (len - pos >= kSetHeader) {
        const std::uint8_t* set = data + pos;
        const int size = set[4];
        if (kSetHeader + size > len - pos)
            break;
        if (group >= 0 && set[0] != group)
            break;
        fn(set, size);
        pos += kSetHeader + size;
    }
}

// Entry numbers count from 1; entry 0 has no record.
int RecordOf(const std::uint8_t* set) {
    return set[1] >= 1 ? set[1] - 1 : -1;
}
} // namespace

std::optional<IdentificationFrame> ParseIdentification(const std::uint8_t* frame, int n) {
    if (n < 8)
        return std::nullopt;
    IdentificationFrame id;
    const int available = std::min(n - 7, kIdentText - 1);
    const auto* text = reinterpret_cast<const char*>(frame + 7);
    const void* zero = std::memchr(text, 0, static_cast<std::size_t>(available));
    const int length = zero ? static_cast<int>(static_cast<const char*>(zero) - text) : available;
    id.model = QByteArray(text, std::min(length, 5));
    if (length > 5)
        id.version = QByteArray(text + 5, std::min(length - 5, 5));
    if (id.version.size() == 3)
        id.version += "00";
    else if (id.version.size() == 4)
        id.version += "0";
    // The series bytes follow the model at a fixed distance; bytes past the frame read as 0,
    // as they would from the zero-filled receive buffer.
    const int high = 12 + static_cast<int>(id.model.size());
    const std::uint8_t hi = high < n ? frame[high] : 0;
    const std::uint8_t lo = high + 1 < n ? frame[high + 1] : 0;
    id.series = static_cast<std::uint16_t>(hi << 8 | lo);
    return id;
}

std::optional<float> DecodeValue(const std::uint8_t* data, int size) {
    if (size == 2)
        return static_cast<float>(data[0] | data[1] << 8);
    if (size == 4) {
        const std::uint32_t bits =
            static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
            static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
        float v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    return std::nullopt;
}

ProtocolEngine::ProtocolEngine(SharedState& shared, Timing timing, QObject* parent)
    : QObject(parent), shared_(shared), timing_(timing),
      clock_([] { return QDateTime::currentDateTime(); }), timer_(new QTimer(this)) {
    connect(timer_, &QTimer::timeout, this, &ProtocolEngine::TimerEvent);
    timer_->start(timing_.EngineTimerMs);
}

void ProtocolEngine::FrameArrived(const std::uint8_t* data, int count) {
    // A kind-10 record carries a frame of its own; handling it in a loop rather than by
    // recursion keeps a frame of nested records from exhausting the stack.
    int next = HandleRead(data, count);
    while (next > 0)
        next = HandleRead(nested_.data(), next);
}

int ProtocolEngine::HandleRead(const std::uint8_t* data, int count) {
    if (count <= 0 || count > kFrameBuffer)
        return 0;
    if (!current_ && data[0] != kTypeIdentification)
        return 0;
    if (count == kSegmentSize) {
        std::memcpy(held_.data(), data, kSegmentSize);
        heldLength_ = kSegmentSize;
        return 0;
    }
    const int n = heldLength_ + count;
    const int held = heldLength_;
    heldLength_ = 0;
    if (n > kFrameBuffer)
        return 0; // cannot be a frame of this relay; joining it would overrun the buffer
    std::memcpy(frame_.data(), held_.data(), static_cast<std::size_t>(held));
    std::memmove(frame_.data() + held, data, static_cast<std::size_t>(count));
    const std::uint8_t* f = frame_.data();
    if (n < 4 || f[3] != shared_.DeviceAddress)
        return 0;
    if (f[0] == kTypeIdentification) {
        HandleIdentification(f, n);
        return 0;
    }
    if (f[0] == kTypeGenericData)
        return HandleGenericData(f, n);
    return 0;
}

void ProtocolEngine::HandleIdentification(const std::uint8_t* frame, int n) {
    const auto id = ParseIdentification(frame, n);
    if (!id)
        return;
    modelText_ = id->model;
    versionText_ = id->version;
    seriesNumber_ = id->series;
    IdentifyModel(modelText_);
}

bool ProtocolEngine::IdentifyModel(const QByteArray& modelText) {
    const Identification result = lanpanel::IdentifyModel(shared_.Templates, modelText);
    if (!result.chosen) {
        emit ShowMessage(result.message, QString(), MessageIcon::Information);
        return false;
    }
    shared_.SelectedTemplateIndex = static_cast<std::uint16_t>(result.chosen->Index);
    current_ = result.chosen;
    emit TemplateSelected();
    return true;
}

int ProtocolEngine::HandleGenericData(const std::uint8_t* frame, int n) {
    // A joined read can bring a data frame after the engine was reset; without a template
    // there is nowhere to store it.
    if (!current_ || n < kGenericHeader + 1)
        return 0;
    switch (frame[2]) {
    case 1:
    case 2:
    case 9:
        return HandleDeviceRecords(frame, n);
    case 42:
        HandleGenericAnswer(frame + kGenericHeader, n - kGenericHeader);
        return 0;
    default:
        return 0;
    }
}

int ProtocolEngine::HandleDeviceRecords(const std::uint8_t* frame, int n) {
    DeviceTemplate& tpl = *current_;
    int nested = 0;
    int pos = kGenericHeader;
    while (n - pos >= 7) {
        const std::uint8_t* r = frame + pos;
        const int point = r[1] >= 1 ? r[1] - 1 : -1;
        const std::uint8_t kind = r[0];
        if (kind == 4 || kind == 5 || kind == 24) {
            pos += 12;
        } else if (kind == 7) {
            if (n - pos < 10)
                break;
            if (point >= 0) {
                AnaloguePoint& a = tpl.Analogue[point];
                a.Value = *DecodeValue(r + 6, 4) * a.Scale;
            }
            pos += 10;
        } else if (kind == 8) {
            if (point >= 0)
                tpl.Digital[point].State = r[6] - 1;
            pos += 7;
        } else if (kind == 10) {
            nested = n - pos;
            std::memmove(nested_.data(), r, static_cast<std::size_t>(nested));
            break;
        } else {
            break;
        }
    }
    emit PageUpdate(Page::Measurement);
    emit PageUpdate(Page::Signals);
    return nested;
}

void ProtocolEngine::Notify(Page page, bool& listed) {
    if (!listed) {
        listed = true;
        emit PageReload(page);
    } else {
        emit PageUpdate(page);
    }
}

void ProtocolEngine::HandleGenericAnswer(const std::uint8_t* data, int len) {
    // An answer whose first set is cut short carries nothing reliable, not even its group.
    if (len < kSetHeader || kSetHeader + data[4] > len)
        return;
    DeviceTemplate& tpl = *current_;
    const std::uint8_t group = data[0];
    const std::uint8_t kod = data[2];
    auto copyText = [](char* field, const std::uint8_t* set, int size) {
        support::CopyGbkField(field, kTextField, DataBytes(set, size));
    };

    switch (group) {
    case 0:
        if (data[4] >= 1)
            tpl.RunningZone = data[kSetHeader];
        return;
    case 3:
        if (kod == 1) {
            WalkSets(data, len, 3, [&](const std::uint8_t* set, int size) {
                const int i = RecordOf(set);
                const auto v = DecodeValue(set + kSetHeader, size);
                // A size the relay's value sets never have is not guessed at: the setting keeps
                // the last value it was read with.
                if (i < 0 || !v)
                    return;
                tpl.Setting[i].DataType = set[3];
                tpl.Setting[i].Value = *v;
            });
            Notify(Page::Settings, settingsListed_);
        } else if (kod == 5) {
            // Precision sets are two 16-bit elements, 10 bytes, whatever their size byte says.
            if (len < 10)
                return;
            tpl.SettingCount = 0;
            for (int pos = 0; len - pos >= 10; pos += 10) {
                const std::uint8_t* set = data + pos;
                const int i = RecordOf(set);
                if (i < 0 || tpl.SettingCount >= kListSize)
                    continue;
                float factor = 1.0f;
                for (int d = 0; d < set[8]; ++d)
                    factor /= 10.0f;
                tpl.Setting[i].Factor = factor;
                ++tpl.SettingCount;
            }
        } else if (kod == 9 || kod == 10) {
            WalkSets(data, len, -1, [&](const std::uint8_t* set, int size) {
                const int i = RecordOf(set);
                if (i >= 0)
                    copyText(kod == 9 ? tpl.Setting[i].Unit : tpl.Setting[i].Name, set, size);
            });
        }
        return;
    case 6:
        if (kod == 1) {
            WalkSets(data, len, 6, [&](const std::uint8_t* set, int size) {
                const int i = RecordOf(set);
                const auto v = DecodeValue(set + kSetHeader, size);
                if (i >= 0 && v)
                    tpl.Protection[i].Value = *v;
            });
            Notify(Page::Protection, protectionListed_);
        } else if (kod == 6) {
            WalkSets(data, len, -1, [&](const std::uint8_t* set, int size) {
                const int i = RecordOf(set);
                const auto v = DecodeValue(set + kSetHeader, size);
                if (i >= 0 && v)
                    tpl.Protection[i].Factor = *v;
            });
        } else if (kod == 9 || kod == 10) {
            WalkSets(data, len, -1, [&](const std::uint8_t* set, int size) {
                const int i = RecordOf(set);
                if (i < 0)
                    return;
                if (kod == 9) {
                    copyText(tpl.Protection[i].Unit, set, size);
                } else {
                    copyText(tpl.Protection[i].Name, set, size);
                    // Counted by entry, not by set: descriptions come again on every
                    // connection.
                    tpl.ProtectionCount = std::max<std::uint16_t>(
                        tpl.ProtectionCount, static_cast<std::uint16_t>(i + 1));
                }
            });
        }
        return;
    case 14:
        if (kod == 1) {
            tpl.PlateCount = 0;
            WalkSets(data, len, 14, [&](const std::uint8_t* set, int size) {
                const int i = RecordOf(set);
                if (i < 0 || size < 1 || tpl.PlateCount >= kListSize)
                    return;
                tpl.Plate[i].State = set[kSetHeader] - 1;
                ++tpl.PlateCount;
            });
            Notify(Page::Plates, platesListed_);
        } else if (kod == 10) {
            WalkSets(data, len, -1, [&](const std::uint8_t* set, int size) {
                const int i = RecordOf(set);
                if (i >= 0)
                    copyText(tpl.Plate[i].Name, set, size);
            });
        }
        return;
    default:
        return; // groups 4 and 5 carry nothing the pages show
    }
}

void ProtocolEngine::TimerEvent() {
    if (++tickCounter_ >= timing_.TicksPerPoll)
        PollTick();
}

void ProtocolEngine::PollTick() {
    tickCounter_ = 0;
    const std::uint8_t address = shared_.DeviceAddress;
    if (modelText_.isEmpty())
        SendFrame(IdentificationRequest(address));
    if (!current_)
        return;
    if (!timeSynced_) {
        SendClockSync();
        return;
    }
    switch (static_cast<PollPage>(shared_.CurrentPage)) {
    case PollPage::MeasurementOrSignals:
        SendFrame(GeneralInterrogation(address));
        break;
    case PollPage::Settings:
        switch (settingsStep_) {
        case 1:
            SendFrame(ReadZone(address));
            break;
        case 2:
            SendFrame(SelectZone(address, current_->ViewZone));
            break;
        case 3:
            settingsStep_ = 0;
            if (downloadPending_)
                SendSettingsDownload();
            else
                SendFrame(ReadSettingsValues(address));
            break;
        default:
            break;
        }
        ++settingsStep_;
        break;
    case PollPage::Plates:
        SendFrame(ReadPlateValues(address));
        break;
    case PollPage::Protection:
        SendFrame(ReadProtectionValues(address));
        break;
    default:
        break;
    }
}

void ProtocolEngine::ResetEngine() {
    current_ = nullptr;
    modelText_.clear();
    versionText_.clear();
    seriesNumber_ = 0;
    timeSynced_ = false;
    settingsListed_ = false;
    platesListed_ = false;
    protectionListed_ = false;
}

bool ProtocolEngine::SendFrame(Frame frame) {
    if (!link_ || !link_->DeviceConnected() || frame.size() < 4 || frame.size() > 0xFFFF)
        return false;
    frame[3] = shared_.DeviceAddress;
    link_->SendToDevice(frame.data(), static_cast<std::uint16_t>(frame.size()));
    return true;
}

bool ProtocolEngine::SendClockSync() {
    const bool sent = SendFrame(ClockSync(shared_.DeviceAddress, clock_()));
    if (sent)
        timeSynced_ = true;
    return sent;
}

bool ProtocolEngine::SendFixedClock() {
    const bool sent = SendFrame(FixedClock(shared_.DeviceAddress));
    if (sent)
        timeSynced_ = true;
    return sent;
}

bool ProtocolEngine::SendSignalReset() {
    const bool sent = SendFrame(SignalReset(shared_.DeviceAddress));
    if (sent)
        timeSynced_ = true;
    return sent;
}

bool ProtocolEngine::SendRemoteControl(std::uint8_t entry, std::uint8_t value) {
    return SendFrame(RemoteControl(shared_.DeviceAddress, entry, value));
}

bool ProtocolEngine::SendPlateSwitch(std::uint8_t entry, std::uint8_t value) {
    return SendFrame(PlateSwitch(shared_.DeviceAddress, entry, value));
}

bool ProtocolEngine::SendSettingsDownload() {
    if (!current_) {
        emit ShowMessage(QStringLiteral("还没有连接上设备，下载失败！"), QStringLiteral("失败提示"),
                         MessageIcon::Exclamation);
        return false;
    }
    downloadPending_ = false;
    return SendFrame(SettingsDownload(shared_.DeviceAddress, *current_));
}

} // namespace lanpanel
