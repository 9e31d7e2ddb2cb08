#!/usr/bin/env python3
"""Reads a price workbook the way an import does, with openpyxl: the active worksheet, rows 2 on
until column A is empty or "小计", 13 cells a row. Prints the number of rows read."""
import sys

import openpyxl

sheet = openpyxl.load_workbook(sys.argv[1]).active
n = 0
for row in range(2, 10000):
    a = sheet.cell(row=row, column=1).value
    if a is None or str(a).strip() in ("", "小计"):
        break
    for col in range(1, 14):
        str(sheet.cell(row=row, column=col).value)
    n += 1
print(n)
