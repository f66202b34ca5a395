"""Prints every sheet of an .xls workbook as JSON, read with xlrd (an independent reader),
after olefile has checked the compound-file container strictly (any defect fails).

Usage: /usr/bin/python3 xlrd_dump.py FILE
Output: [{"name": ..., "cells": [[row, col, type, value], ...]}, ...] with type "s" (text),
"n" (number), "d" (date), "b" (boolean), "e" (error); empty and blank cells are left out.
"""
import json
import sys

import olefile
import xlrd

TYPES = {
    xlrd.XL_CELL_TEXT: "s",
    xlrd.XL_CELL_NUMBER: "n",
    xlrd.XL_CELL_DATE: "d",
    xlrd.XL_CELL_BOOLEAN: "b",
    xlrd.XL_CELL_ERROR: "e",
}


def check_container(path):
    ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_POTENTIAL)
    if ole.parsing_issues:
        raise SystemExit("olefile: %s" % ole.parsing_issues)
    size = ole.get_size("Workbook")
    if len(ole.openstream("Workbook").read()) != size:
        raise SystemExit("olefile: Workbook stream shorter than its size")
    ole.close()


def main():
    check_container(sys.argv[1])
    book = xlrd.open_workbook(sys.argv[1], logfile=sys.stderr, verbosity=0)
    out = []
    for sheet in book.sheets():
        cells = []
        for r in range(sheet.nrows):
            for c in range(sheet.row_len(r)):
                cell = sheet.cell(r, c)
                if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    continue
                cells.append([r, c, TYPES[cell.ctype], cell.value])
        out.append({"name": sheet.name, "cells": cells})
    sys.stdout.write(json.dumps(out, ensure_ascii=False))


if __name__ == "__main__":
    main()
