#include "companel/ui/remote_operations.h"

#include "common/support/gbk.h"

#include <algorithm>

namespace companel {

RemoteOperations::RemoteOperations(CompanelState& state, SerialPort& port, CompanelReporter& out,
                                   std::function<bool(const QString&)> askOkCancel)
    : state_(state), port_(port), out_(out), askOkCancel_(std::move(askOkCancel)) {}

QString RemoteOperations::AccidentQuestion() {
    return QStringLiteral("系统检测到事故总信号存在，必须复归后才能进行遥控，是否先进行复归？");
}

QString RemoteOperations::PendingText() {
    return QStringLiteral("已经下发操作命令，请等待本次操作结束后重试!");
}

Operation RemoteOperations::OutputOperation(int n) {
    static const Operation outputs[] = {
        Operation::HighSideClose, Operation::HighSideOpen,  Operation::LowSide1Close,
        Operation::LowSide1Open,  Operation::LowSide2Close, Operation::LowSide2Open,
        Operation::Output7,       Operation::Output8,       Operation::Output9,
        Operation::Output10,
    };
    return outputs[(n >= 1 && n <= 10 ? n : 1) - 1];
}

std::optional<std::size_t> RemoteOperations::AccidentSignal(const SignalTable& table) {
    const std::size_t count = std::min<std::size_t>(table.Number, kTablePoints);
    for (std::size_t i = 0; i < count; ++i) {
        if (support::FieldText(table.Name[i], kTextSize).contains(QStringLiteral("事故总")))
            return i;
    }
    return std::nullopt;
}

bool RemoteOperations::MayQueue(const QString& portFailureText) {
    if (!port_.IsUsable()) {
        out_.ReportStatus(portFailureText);
        return false;
    }
    if (state_.CommandSlot.IsPending() || state_.CalibrationSlot.IsPending()) {
        out_.ReportStatus(PendingText());
        return false;
    }
    return true;
}

bool RemoteOperations::PassesAccidentTest() {
    const std::optional<std::size_t> index =
        state_.WithTables([](const PointTables& t) { return AccidentSignal(t.Signals); });
    if (!index || state_.SignalState(*index) != 1)
        return true;
    // Either way the operation asked for is dropped: a breaker is never driven while the
    // accident signal stands.
    if (askOkCancel_ && askOkCancel_(AccidentQuestion()))
        Press(Operation::SignalReset);
    return false;
}

void RemoteOperations::SetClock() {
    if (!MayQueue(TimeSetPortFailureText()))
        return;
    const std::uint16_t timePost =
        state_.WithTables([](const PointTables& t) { return t.Telemetry.TimePost; });
    state_.CommandSlot.Fill(BuildTimeSet(state_.SlaveAddress.load(), timePost, Now()));
    out_.ReportStatus(TimeSetProgressText());
}

void RemoteOperations::Press(Operation op) {
    const OperationInfo& info = InfoOf(op);
    if (!MayQueue(QString::fromUtf8(info.PortFailure)))
        return;
    if (op != Operation::SignalReset && !PassesAccidentTest())
        return;
    state_.CommandSlot.Fill(BuildOperation(state_.SlaveAddress.load(), op));
    out_.ReportStatus(QString::fromUtf8(info.Progress));
}

} // namespace companel
