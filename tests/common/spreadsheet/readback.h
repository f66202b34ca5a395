#pragma once
// Independent read-back of the workbooks the tests write: libfreexl called directly,
// python3-xlrd run as Debian's /usr/bin/python3 (after python3-olefile has checked the
// container strictly), and LibreOffice or gnumeric converting to CSV where one is installed.

#include "common/spreadsheet/xls_workbook.h"

#include <QString>
#include <gtest/gtest.h>
#include <vector>

namespace readback {

struct DumpCell {
    std::uint32_t row = 0;
    std::uint16_t column = 0;
    char type = 's'; // 's' text, 'n' number, 'd' date/time
    double number = 0.0;
    QString text;
};

struct DumpSheet {
    QString name;
    std::vector<DumpCell> cells; // row-major
};

using Dump = std::vector<DumpSheet>;

// What a correct reader must see in `book`.
Dump Expected(const xls::Workbook& book);

bool DumpWithFreexl(const QString& path, Dump& out, QString& error);
bool DumpWithXlrd(const QString& path, Dump& out, QString& error);

::testing::AssertionResult SameDump(const char* who, const Dump& expected, const Dump& actual);

// libfreexl, xlrd and ReadWorkbook all read `path` as `expected` (sheet names in order,
// values, types).
::testing::AssertionResult ReadersAgree(const QString& path, const Dump& expected);

// Converts the first sheet (LibreOffice) or every sheet (gnumeric) to CSV and compares texts
// and numbers. Returns false with `skipped` set when neither program is installed.
::testing::AssertionResult OfficeAgrees(const QString& path, const Dump& expected, bool& skipped);

} // namespace readback
