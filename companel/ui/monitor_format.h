#pragma once
// Texts of the communication monitor and the status box.

#include <QString>
#include <QTime>
#include <cstddef>
#include <cstdint>

namespace companel {

// "hh:mm:ss -> " + text + "\r\n", as every status and monitor line is stamped.
QString StampLine(const QString& text, const QTime& now = QTime::currentTime());

// The monitor text of one frame: "发 (008) 01 03 ..." for a sent frame; "-- (nnn) ..." (or
// "收 (nnn) ..." with `receiveMark`) for a received one, followed, with `signalHints`, by one
// line per closed input found in the input words at bytes 19..30.
QString FormatMonitorFrame(const std::uint8_t* bytes, std::size_t count, bool received,
                           bool receiveMark, bool signalHints);

// Oldest characters are dropped from the status box and the monitor once they pass this size.
constexpr int LogTrimThreshold = 8999999;
constexpr int LogTrimAmount = 15000;
constexpr int LogMaxCharacters = 9000000;

} // namespace companel
