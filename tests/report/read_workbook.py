#!/usr/bin/python3
"""Reads a workbook with openpyxl and prints what the export tests look at as JSON: sheet names,
merged ranges, column widths, and for every cell its value, font and alignment."""
import json
import sys

import openpyxl


def colour(font):
    c = font.color
    if c is None:
        return None
    if c.type == "rgb":
        return c.rgb
    return "%s:%s" % (c.type, c.value)


def main(path):
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    widths = {}
    for key, dim in sheet.column_dimensions.items():
        if dim.customWidth:
            widths[key] = dim.width
    cells = {}
    for row in sheet.iter_rows(min_row=1, max_row=sheet.max_row, max_col=sheet.max_column):
        for cell in row:
            if type(cell).__name__ == "MergedCell":
                continue
            cells[cell.coordinate] = {
                "value": cell.value,
                "type": type(cell.value).__name__,
                "font": cell.font.name,
                "size": cell.font.sz,
                "color": colour(cell.font),
                "underline": cell.font.underline,
                "horizontal": cell.alignment.horizontal,
                "vertical": cell.alignment.vertical,
            }
    json.dump({
        "sheets": book.sheetnames,
        "merged": sorted(str(r) for r in sheet.merged_cells.ranges),
        "widths": widths,
        "max_row": sheet.max_row,
        "max_column": sheet.max_column,
        "cells": cells,
    }, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main(sys.argv[1])
