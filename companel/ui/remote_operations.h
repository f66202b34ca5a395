#pragma once
// The twelve buttons that act on the relay at once: clock setting, signal reset and the ten
// outputs (of which 1..6 close and open breakers). A button only queues its request in the
// command slot; the management thread sends it and reports the outcome.

#include "companel/link/requests.h"
#include "companel/link/serial_port.h"
#include "companel/polling/companel_reporter.h"
#include "companel/polling/companel_state.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace companel {

class RemoteOperations {
public:
    // `askOkCancel` puts the accident question to the user; true for OK.
    RemoteOperations(CompanelState& state, SerialPort& port, CompanelReporter& out,
                     std::function<bool(const QString&)> askOkCancel);

    // "校对时钟": sets the relay's clock to the PC's local time of this moment.
    void SetClock();
    // "信号复归" and "出口1".."出口10". Breaker and output operations first pass the accident test.
    void Press(Operation op);
    // "出口n" (1..10) as an operation.
    static Operation OutputOperation(int n);

    // The first binary input whose name contains "事故总", in table order.
    static std::optional<std::size_t> AccidentSignal(const SignalTable& table);

    static QString AccidentQuestion();
    static QString PendingText();

    // The clock used for the time set; replaceable in tests.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

private:
    // Link and pending tests; false (after reporting why) when the button must stop.
    bool MayQueue(const QString& portFailureText);
    // True when the operation may go on; otherwise the accident question has been dealt with.
    bool PassesAccidentTest();

    CompanelState& state_;
    SerialPort& port_;
    CompanelReporter& out_;
    std::function<bool(const QString&)> askOkCancel_;
};

} // namespace companel
