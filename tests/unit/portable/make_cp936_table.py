#!/usr/bin/env python3
"""Writes the two-byte half of code page 936 (GBK) as a C++ table.

Usage: make_cp936_table.py OUT.cpp

Row lead-0x81, column trail-0x40 holds the UTF-16 unit of the pair, or 0
when the pair is not a character. Every GBK character is in the BMP.
"""
import sys

LEADS = range(0x81, 0xFF)
TRAILS = range(0x40, 0xFF)


def unit(lead, trail):
    try:
        text = bytes([lead, trail]).decode("gbk")
    except UnicodeDecodeError:
        return 0
    if len(text) != 1 or ord(text) < 0x80 or ord(text) > 0xFFFF:
        return 0
    return ord(text)


def main():
    rows = []
    for lead in LEADS:
        cells = ",".join("0x%04X" % unit(lead, trail) for trail in TRAILS)
        rows.append("  {" + cells + "},")
    with open(sys.argv[1], "w", encoding="ascii") as out:
        out.write("// Made by make_cp936_table.py.\n")
        out.write('#include "portable/table_code_page.h"\n\n')
        out.write("namespace tav::test {\n\n")
        out.write("const char16_t kCp936Pairs[%d][%d] = {\n" % (len(LEADS), len(TRAILS)))
        out.write("\n".join(rows))
        out.write("\n};\n\n}  // namespace tav::test\n")


if __name__ == "__main__":
    main()
