#!/usr/bin/env python3
"""Reads a price .xls workbook the way an import does, with xlrd: rows 2 on until column A is
empty or "小计", 13 cells a row. Prints the number of rows read."""
import sys

import xlrd

sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
n = 0
for row in range(1, min(9999, sheet.nrows)):
    a = sheet.cell_value(row, 0)
    if str(a).strip() in ("", "小计"):
        break
    for col in range(0, min(13, sheet.ncols)):
        str(sheet.cell_value(row, col))
    n += 1
print(n)
