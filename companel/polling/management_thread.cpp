#include "management_thread.h"

#include "common/support/gbk.h"
#include "companel/link/answer.h"
#include "companel/link/confirmation.h"
#include "companel/link/requests.h"
#include "companel/polling/decoders.h"

#include <chrono>

namespace companel {

namespace {
constexpr int kMaxFailures = 10; // LinkOk drops on the turn after this many misses

QString PcClockText(const QDateTime& now) {
    const QDate d = now.date();
    const QTime t = now.time();
    return QString::asprintf("%02d-%02d-%02d %02d:%02d:%02d", d.year() - 2000, d.month(), d.day(),
                             t.hour(), t.minute(), t.second());
}
} // namespace

ManagementThread::ManagementThread(CompanelState& state, SerialPort& port, CompanelReporter& out,
                                   PollTiming timing)
    : state_(state), port_(port), out_(out), timing_(timing) {}

ManagementThread::~ManagementThread() {
    RequestStop();
    if (thread_.joinable())
        thread_.join();
}

bool ManagementThread::Start() {
    if (thread_.joinable())
        return false;
    try {
        running_ = true;
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        running_ = false;
        return false;
    }
    return true;
}

void ManagementThread::RequestStop() {
    state_.StopRequested = 1;
    { std::lock_guard<std::mutex> lock(pauseMutex_); }
    pauseCv_.notify_all();
    port_.WakeWaiters();
}

bool ManagementThread::StopWanted() const {
    return state_.StopRequested.load() != 0;
}

bool ManagementThread::Pause(int ms) {
    std::unique_lock<std::mutex> lock(pauseMutex_);
    pauseCv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return StopWanted(); });
    return !StopWanted();
}

void ManagementThread::Run() {
    if (Pause(timing_.startDelayMs)) {
        while (Pause(timing_.turnPauseMs)) {
            Turn();
            ++turns_;
        }
    }
    running_ = false;
}

void ManagementThread::Send(const Frame& frame) {
    port_.Send(frame.data(), static_cast<int>(frame.size()));
    out_.LogFrame(0, frame.data(), frame.size());
}

bool ManagementThread::WaitAnswer(int waits) {
    for (int i = 0; i < waits; ++i) {
        if (port_.WaitFrame(std::chrono::milliseconds(timing_.answerWaitMs)))
            return true;
        if (StopWanted())
            return false;
    }
    return false;
}

std::size_t ManagementThread::TakeAnswer() {
    const int n = port_.TakeFrame(answer_);
    const std::size_t length = n > 0 ? static_cast<std::size_t>(n) : 0;
    out_.LogFrame(1, answer_, length);
    failures_ = 0;
    state_.LinkOk = 1;
    return length;
}

void ManagementThread::CountFailure() {
    if (++failures_ > kMaxFailures)
        state_.LinkOk = 0;
}

void ManagementThread::Turn() {
    out_.SetPcClock(PcClockText(Now()));

    if (!port_.IsUsable()) {
        // Shown once per spell; then the port is looked at again at a calm pace.
        if (!linkDownShown_)
            MarkLinkDown(state_, out_, QStringLiteral("串口错误"));
        linkDownShown_ = true;
        Pause(timing_.unusableRetryMs);
        return;
    }
    linkDownShown_ = false;

    const Frame command = state_.CommandSlot.Take();
    if (!command.empty()) {
        CommandTurn(command);
        return;
    }
    const Frame search = state_.SearchSlot.Take();
    if (!search.empty()) {
        SearchTurn(search);
        return;
    }
    PollTurn();
}

void ManagementThread::CommandTurn(const Frame& request) {
    Send(request);
    const bool answered = WaitAnswer(1);
    if (StopWanted())
        return;
    if (!answered) {
        // The text names the request that went unanswered, even if a window has queued
        // another one meanwhile.
        const ConfirmationContext ctx = ConfirmationContextOf(state_);
        out_.ReportStatus(
            NoAnswerText(request.data(), request.size(), ctx.ParameterNumber, ctx.SettingNumber));
        CountFailure();
        return;
    }
    const std::size_t length = TakeAnswer();
    const Confirmation c = Confirm(answer_, length, ConfirmationContextOf(state_));
    switch (c.Then) {
    case Confirmation::Call::DecodeParameterUpload:
        DecodeParameterUpload(state_, out_, answer_, length);
        break;
    case Confirmation::Call::DecodeSettingUpload:
        DecodeSettingUpload(state_, out_, answer_, length);
        break;
    case Confirmation::Call::EventPage:
        out_.ReportStatus(EventBatchText(out_.OnEventPage(answer_, length)));
        break;
    case Confirmation::Call::Nothing:
        break;
    }
    if (!c.Text.isEmpty())
        out_.ReportStatus(c.Text);
    if (c.Wave) {
        if (c.PauseBeforeWaveMs > 0 && !Pause(c.PauseBeforeWaveMs))
            return;
        out_.PlayWave(c.Wave);
    }
}

void ManagementThread::SearchTurn(const Frame& request) {
    Send(request);
    const bool answered = WaitAnswer(1);
    if (StopWanted() || !answered)
        return; // an unanswered search says nothing and is no failure
    const std::size_t length = TakeAnswer();
    const std::optional<std::uint8_t> found = SearchAnswerAddress(answer_, length);
    if (!found) {
        out_.ReportStatus(QStringLiteral("寻找地址收到CRC错误的报文!"));
        return;
    }
    if (*found != state_.SlaveAddress.load()) {
        state_.SlaveAddress = *found;
        out_.SetAddressField(*found);
        out_.ReportStatus(QStringLiteral("寻找地址成功，地址为：%1").arg(*found));
    }
}

void ManagementThread::PollTurn() {
    const std::uint8_t address = state_.SlaveAddress.load();
    Send(BuildPoll(address, state_.Tables.Telemetry.AskNumber));
    const bool answered = WaitAnswer(networkMode_.load() ? 2 : 1);
    if (StopWanted())
        return;
    if (!answered) {
        MarkLinkDown(state_, out_, QStringLiteral("通讯中断"));
        out_.ReportStatus(QStringLiteral("轮循回复超时!"));
        CountFailure();
        return;
    }
    const std::size_t length = TakeAnswer();
    const PollCheck check = CheckPollAnswer(answer_, length, address);
    if (!check.Accepted()) {
        out_.ReportStatus(check.Text);
        return;
    }
    DecodePoll(state_, out_, answer_, length);
    CalibrationStep();
}

void ManagementThread::CalibrationStep() {
    if (state_.CommandSlot.IsPending() || !state_.CalibrationSlot.IsPending())
        return;
    if (!Pause(timing_.calibrationPauseMs))
        return;
    Frame frame = state_.CalibrationSlot.Take();
    if (frame.empty())
        return; // a wheel step emptied the slot meanwhile
    const std::size_t index = state_.CalibrationIndex.load();
    if (index >= kTablePoints)
        return;
    const QString name = support::FieldText(state_.Tables.Telemetry.Name[index], kTextSize);
    const float value = state_.TelemetryValue(index);
    const std::uint16_t coefficient =
        CalibrationCoefficient(state_.CalibrationTarget.load(), value);
    // Without a reading under the default coefficient there is nothing to scale against: a
    // coefficient of 0 would silence the channel, so the calibration is dropped instead.
    if (value == 65535.0f || coefficient == 0 || !FinishCalibrationFrame(frame, coefficient)) {
        out_.ReportStatus(QStringLiteral("%1 没有有效测量值，未下载设定参数!").arg(name));
        return;
    }
    state_.CommandSlot.Fill(frame);
    out_.ReportStatus(CalibrationSetText(name));
}

} // namespace companel
