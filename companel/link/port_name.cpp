#include "port_name.h"

#include "common/support/appdir.h"

#include <QFileInfo>

namespace companel {

QString WindowsPortName(int portNumber) {
    return portNumber > 9 ? QStringLiteral("\\\\.\\COM%1").arg(portNumber)
                          : QStringLiteral("COM%1").arg(portNumber);
}

QString PortLinkFolder() {
    return support::AppPath(QStringLiteral("ports"));
}

QString PortDeviceName(int portNumber) {
#ifdef Q_OS_WIN
    return WindowsPortName(portNumber);
#else
    const QString link = PortLinkFolder() + QStringLiteral("/COM%1").arg(portNumber);
    if (QFileInfo::exists(link))
        return link;
    const int index = portNumber - 1;
    for (const char* prefix : {"/dev/ttyUSB", "/dev/ttyACM"}) {
        const QString dev = QString::fromLatin1(prefix) + QString::number(index);
        if (index >= 0 && QFileInfo::exists(dev))
            return dev;
    }
    return QStringLiteral("/dev/ttyS%1").arg(index);
#endif
}

} // namespace companel
