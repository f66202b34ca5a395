#include "monitor_format.h"

namespace companel {

QString StampLine(const QString& text, const QTime& now) {
    return QStringLiteral("%1:%2:%3 -> ")
               .arg(now.hour(), 2, 10, QLatin1Char('0'))
               .arg(now.minute(), 2, 10, QLatin1Char('0'))
               .arg(now.second(), 2, 10, QLatin1Char('0')) +
           text + QStringLiteral("\r\n");
}

QString FormatMonitorFrame(const std::uint8_t* bytes, std::size_t count, bool received,
                           bool receiveMark, bool signalHints) {
    const QString mark = !received     ? QStringLiteral("发")
                         : receiveMark ? QStringLiteral("收")
                                       : QStringLiteral("--");
    QString text = QStringLiteral("%1 (%2)").arg(mark).arg(count, 3, 10, QLatin1Char('0'));
    text.reserve(text.size() + static_cast<qsizetype>(count) * 3);
    static const char hex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < count; ++i) {
        text.append(QLatin1Char(' '));
        text.append(QLatin1Char(hex[bytes[i] >> 4]));
        text.append(QLatin1Char(hex[bytes[i] & 0x0F]));
    }
    if (received && signalHints) {
        // The input words of a poll answer: six registers from byte 19, each taken only when
        // it lies wholly before the CRC.
        for (int a = 0; a < 96; ++a) {
            const std::size_t k = static_cast<std::size_t>(a / 16);
            if (count < 3 || 20 + 2 * k > count - 3)
                break;
            const unsigned word =
                (static_cast<unsigned>(bytes[19 + 2 * k]) << 8) | bytes[20 + 2 * k];
            if (word & (1u << (a % 16)))
                text += QStringLiteral("\r\n                遥信 %1 为合！")
                            .arg(a + 1, 2, 10, QLatin1Char('0'));
        }
    }
    return text;
}

} // namespace companel
