#pragma once
// Recognising the answer to a command-slot request by its content. The answer's address and
// CRC are not tested; the first matching rule of the table decides what happens.

#include <QString>
#include <cstddef>
#include <cstdint>

namespace companel {

struct ConfirmationContext {
    std::uint16_t RemoteMode = 0xFFFF; // ParameterTable.RawValue[50]
    std::uint16_t ParameterNumber = 0;
    std::uint16_t SettingNumber = 0;
    bool CalibrationPending = false; // the calibration slot still holds a frame
    bool WheelAdjusted = false;      // a coefficient step has happened since start
};

struct Confirmation {
    enum class Call {
        Nothing,
        DecodeParameterUpload,
        DecodeSettingUpload,
        EventPage, // hand the answer to the event-record window, then report EventBatchText
    };
    int Rule = 20;              // 1..20
    QString Text;               // status line, empty when none
    const char* Wave = nullptr; // sound after the text, or none
    int PauseBeforeWaveMs = 0;
    Call Then = Call::Nothing;
};

Confirmation Confirm(const std::uint8_t* answer, std::size_t length,
                     const ConfirmationContext& context);

// Status line after an event page: the window's batch counter after it took the page.
QString EventBatchText(int batchCounter);

} // namespace companel
