#!/usr/bin/env python3
"""Writes the benchmark's price workbook with openpyxl: ROWS data rows (9,998 unless told) of 13
columns under a title row (Chinese text, prices as numbers and as text, dates, blanks); .xls files
by xlwt (at most 65,535 data rows).
Usage: make-price-workbook.py OUT.xlsx|OUT.xls [ROWS]"""
import datetime
import sys

import openpyxl

count = int(sys.argv[2]) if len(sys.argv) > 2 else 9998
rows = []
names = ["热轧带肋钢筋", "普通硅酸盐水泥", "商品混凝土", "中砂", "碎石", "镀锌钢管", "铜芯电力电缆"]
for i in range(1, count + 1):
    rows.append([
        names[i % len(names)] + " %d号" % (i % 97),
        "0101%05d" % i,
        "ZJ%04d" % (i % 5000),
        "Φ%dmm 国标" % (6 + i % 30),
        None if i % 3 else "HRB400E",
        ["鑫达", "华建", "远通"][i % 3],
        "Q235B",
        ["吨", "立方米", "米"][i % 3],
        4000 + (i % 300) + 0.25 if i % 5 else "面议",
        3800.5 + i % 100,
        None if i % 4 else "含税",
        datetime.date(2026, 1 + i % 12, 1 + i % 28),
        i,
    ])
titles = ["材料名", "标准材料编码", "造价处编码", "规格", "型号", "品牌", "材质", "计量单位", "信息价", "定额价", "备注", "日期", "序"]

if sys.argv[1].endswith(".xls"):
    import xlwt
    book = xlwt.Workbook(encoding="utf-8")
    s = book.add_sheet("信息价")
    date_style = xlwt.easyxf(num_format_str="yyyy-mm-dd")
    for c, t in enumerate(titles):
        s.write(0, c, t)
    for r, values in enumerate(rows, start=1):
        for c, v in enumerate(values):
            if v is not None:
                s.write(r, c, v, date_style) if c == 11 else s.write(r, c, v)
    book.save(sys.argv[1])
    sys.exit(0)

wb = openpyxl.Workbook()
s = wb.active
s.title = "信息价"
s.append(titles)
for i, values in enumerate(rows, start=1):
    s.append(values)
    s.cell(row=i + 1, column=12).number_format = "yyyy-mm-dd"
wb.save(sys.argv[1])
