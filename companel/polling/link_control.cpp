#include "link_control.h"

#include "common/support/gbk.h"
#include "common/support/profile.h"
#include "companel/config/basic_settings.h"
#include "companel/link/requests.h"

namespace companel {

int PortNumberOf(const QString& portFieldText) {
    return static_cast<int>(support::Profile::ParseInt(support::ToGbk(portFieldText.trimmed()), 0));
}

bool Reconnect(SerialPort& port, const QString& portFieldText, bool networkMode,
               const QString& settingsPath) {
    WritePortSetting(portFieldText, settingsPath);
    const int number = PortNumberOf(portFieldText);
    if (networkMode)
        return port.OpenRelay(number & 0xFF);
    if (port.IsUsable())
        port.Close();
    return port.Open(number, 9600, 8, 0, 0);
}

void QueueAddressSearch(CompanelState& state) {
    state.SearchSlot.Fill(BuildAddressSearch());
}

} // namespace companel
