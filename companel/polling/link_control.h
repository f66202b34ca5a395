#pragma once
// Reopening the link with the port typed in the main window, and the address search.

#include "companel/link/serial_port.h"
#include "companel/polling/companel_state.h"

#include <QString>

namespace companel {

// Stores the port field's text in the basic settings (whether or not the port then opens),
// then opens the relay route (network mode, port number's low 8 bits) or the serial port at
// 9600 8N1, closing a usable port first. Returns whether the link opened.
bool Reconnect(SerialPort& port, const QString& portFieldText, bool networkMode,
               const QString& settingsPath);

// The port number a field text stands for (leading decimal digits, as the settings reader).
int PortNumberOf(const QString& portFieldText);

// Queues the search for the relay's address (read of register 0 at address 254).
void QueueAddressSearch(CompanelState& state);

} // namespace companel
