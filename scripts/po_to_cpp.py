#!/usr/bin/env python3
"""Turns a gettext catalogue (.po) into the table the program compiles in.

Each entry is keyed by its msgctxt, the identifier of messages.def; msgid is the designed Japanese
text the translation was made for, msgstr the translation. Entries marked fuzzy, without a context
or without a translation are left out (the program then shows the Japanese). Output: one line
VN_TRANSLATION(identifier, "original", "translation") per entry, the strings kept in the C escapes
gettext uses (which C++ reads alike).

usage: po_to_cpp.py IN.po OUT.inc
"""
import re
import sys

STRING = re.compile(r'"((?:[^"\\]|\\.)*)"')


def entries(lines, name):
    entry, field, flags = {}, None, ""
    for number, raw in enumerate(lines + [""], 1):
        line = raw.strip()
        if not line:
            if entry:
                yield entry, flags
            entry, field, flags = {}, None, ""
            continue
        if line.startswith("#,"):
            flags += line[2:]
            continue
        if line.startswith("#"):
            continue
        keyword, _, rest = line.partition(" ")
        if keyword in ("msgctxt", "msgid", "msgstr"):
            field, line = keyword, rest
            entry[field] = []
        if field is None or not STRING.fullmatch(line.strip()):
            sys.exit(f"{name}:{number}: not a line of a gettext catalogue: {raw.rstrip()}")
        entry[field].append(STRING.fullmatch(line.strip()).group(1))


def literal(parts):
    parts = [p for p in parts if p] or [""]
    # Adjacent literals as in the catalogue; "" between them keeps an escape from running on.
    return " ".join(f'"{p}"' for p in parts)


def main():
    source, target = sys.argv[1], sys.argv[2]
    with open(source, encoding="utf-8") as f:
        lines = f.read().splitlines()
    out = ["// Made from " + source.rsplit("/", 1)[-1] + " by po_to_cpp.py; edit the catalogue, not this file."]
    seen = set()
    for entry, flags in entries(lines, source):
        context = "".join(entry.get("msgctxt", []))
        translation = "".join(entry.get("msgstr", []))
        if not context or not translation or "fuzzy" in flags:
            continue
        if not re.fullmatch(r"k[A-Za-z0-9]+", context):
            sys.exit(f"{source}: {context!r} is no identifier of messages.def")
        if context in seen:
            sys.exit(f"{source}: {context} is translated twice")
        seen.add(context)
        out.append(f"VN_TRANSLATION({context}, {literal(entry['msgid'])}, {literal(entry['msgstr'])})")
    with open(target, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
