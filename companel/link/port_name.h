#pragma once
// Where "COM port number N" leads on this machine.
//
// Windows: "COM%d" for 1..9 and "\\.\COM%d" above 9, as the operating system expects.
// Elsewhere, in this order:
//   1. AppDir/ports/COM<N> when it exists (a symbolic link to any serial device or to a
//      pseudo-terminal, so simulators and tests reach the program without root);
//   2. /dev/ttyUSB<N-1>, then /dev/ttyACM<N-1>, when present (USB-RS485 adapters);
//   3. /dev/ttyS<N-1> (built-in ports).

#include <QString>

namespace companel {

QString WindowsPortName(int portNumber);
QString PortDeviceName(int portNumber);
// The folder in which COM<N> links are looked for first (not on Windows).
QString PortLinkFolder();

} // namespace companel
