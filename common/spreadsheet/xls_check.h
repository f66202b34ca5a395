#pragma once
// Check before reading: walks a workbook file's compound-file container and BIFF records with
// explicit bounds, and refuses what libfreexl would read past its buffers or trust blindly
// (sector chains leaving the file or looping, records longer than their stream, sheets larger
// than A1:IV65536, shared strings spread over more records than libfreexl follows, more cell
// formats than it holds).

#include <QByteArray>
#include <QString>

namespace xls {

// The "Workbook" (or BIFF5 "Book") stream of a compound file, or false with the reason.
bool ExtractWorkbookStream(const QByteArray& file, QByteArray& stream, QString& problem);

// True when the file image can be handed to libfreexl; otherwise false with the reason.
bool CheckWorkbookImage(const QByteArray& file, QString& problem);
bool CheckWorkbookFile(const QString& path, QString& problem);

} // namespace xls
