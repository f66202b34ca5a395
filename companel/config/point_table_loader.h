#pragma once
// Loading the point tables from the point-table INI ("\配置文件\VKD2950.ini" under AppDir).

#include "common/support/profile.h"
#include "companel/config/point_tables.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace companel {

// Limits that follow from the frames and the main window; the loader reports tables beyond them.
constexpr std::uint16_t kMaxAskNumber = 126;      // a poll answer's byte count must fit one byte
constexpr std::uint16_t kMaxDownloadNumber = 123; // a download frame must fit 255 bytes
constexpr std::size_t kTelemetryCells = 63;
constexpr std::size_t kSignalCells = 68;

// ShownValue before anything was displayed: no decoded reading can equal it.
float NeverShownValue();

QString DefaultPointTablePath();

// Colour for a colour name (GBK bytes compared exactly); unknown names give the default.
Colour ColourByName(const QByteArray& name);
Colour DefaultColour();

// Fills all four tables from the profile: every key with its default, live fields at their
// start values. Counts over the arrays are clipped. Returns one line per clipped or refused
// value, for the program to show.
QStringList LoadPointTables(const support::Profile& profile, PointTables& tables);
QStringList LoadPointTables(PointTables& tables, const QString& path = DefaultPointTablePath());

} // namespace companel
