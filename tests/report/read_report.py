#!/usr/bin/python3
"""Reads one sheet of a workbook with openpyxl and prints what the report tests look at as JSON:
sheet names, merged ranges, column widths, page setup and print area, for every cell its value,
openpyxl's data type, font, borders and alignment, and a digest of each sheet's XML part as
stored, so that two workbooks can be compared sheet by sheet byte for byte."""
import hashlib
import json
import sys
import zipfile

import openpyxl


def colour(font):
    c = font.color
    if c is None:
        return None
    if c.type == "rgb":
        return c.rgb
    return "%s:%s" % (c.type, c.value)


def fit(value):
    # fitToWidth and fitToHeight are left out of the file when they are 1, their default in the
    # schema of SpreadsheetML; openpyxl then reports None.
    return 1 if value is None else int(value)


def main(path, index):
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[index]
    widths = {}
    for key, dim in sheet.column_dimensions.items():
        if dim.customWidth:
            widths[key] = dim.width
    cells = {}
    for row in sheet.iter_rows(min_row=1, max_row=sheet.max_row, max_col=sheet.max_column):
        for cell in row:
            if type(cell).__name__ == "MergedCell":
                continue
            b = cell.border
            cells[cell.coordinate] = {
                "value": cell.value,
                "data_type": cell.data_type,
                "font": cell.font.name,
                "size": cell.font.sz,
                "bold": bool(cell.font.b),
                "color": colour(cell.font),
                "borders": [s.style for s in (b.left, b.right, b.top, b.bottom)],
                "horizontal": cell.alignment.horizontal,
                "wrap": bool(cell.alignment.wrap_text),
                "number_format": cell.number_format,
            }
    setup = sheet.page_setup
    properties = sheet.sheet_properties.pageSetUpPr
    parts = {}
    with zipfile.ZipFile(path) as archive:
        for name in archive.namelist():
            if name.startswith("xl/worksheets/") and name.endswith(".xml"):
                parts[name] = hashlib.sha256(archive.read(name)).hexdigest()
    json.dump({
        "sheets": book.sheetnames,
        "title": sheet.title,
        "merged": sorted(str(r) for r in sheet.merged_cells.ranges),
        "widths": widths,
        "max_row": sheet.max_row,
        "max_column": sheet.max_column,
        "paper": None if setup.paperSize is None else int(setup.paperSize),
        "orientation": setup.orientation,
        "fit_to_page": bool(properties is not None and properties.fitToPage),
        "fit_width": fit(setup.fitToWidth),
        "fit_height": fit(setup.fitToHeight),
        "print_area": sheet.print_area or [],
        "parts": parts,
        "cells": cells,
    }, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 0)
