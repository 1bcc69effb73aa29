#!/usr/bin/python3
"""Writes the program's string table of command texts: for every command of
the menu table whose key has an info text in the English locale file, that
text under the command's identifier. The status bar shows it while a
toolbar button's tooltip is up, and dialog tooltips read it by control
identifier.

    command_strings.py MENU_TABLE_CPP LOCALE_FILE OUTPUT_RC
"""
import re
import sys


def locale_texts(path):
    texts = {}
    last = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith(";"):
                continue
            if line.startswith("=") and last:
                texts[last] += line[1:]
                continue
            key, sep, text = line.partition("=")
            if sep:
                texts[key] = text
                last = key
    return texts


def rc_string(text):
    text = text.replace("\\n", " ").replace("\\t", " ").replace("\\{", "{").replace("\\}", "}")
    text = text.replace("\\\\", "\\")
    return '"' + text.replace('"', '""') + '"'


def main(argv):
    if len(argv) != 4:
        print(__doc__)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        table = f.read()
    texts = locale_texts(argv[2])
    rows = {}
    for key, ident in re.findall(r'ITEM(?:_ACC)?\(\s*"(\w+)"(?:\s*,\s*"[^"]*")?\s*,\s*(\d+)\s*\)', table):
        info = texts.get(key + "Info")
        if info and int(ident) not in rows:
            rows[int(ident)] = info
    with open(argv[3], "w", encoding="latin-1", errors="replace") as out:
        out.write("// Made by the build from the menu table and the English locale file.\n")
        out.write("STRINGTABLE\nBEGIN\n")
        for ident in sorted(rows):
            out.write("  %d, %s\n" % (ident, rc_string(rows[ident])))
        out.write("END\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
