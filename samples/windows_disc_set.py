#!/usr/bin/env python3
"""The sample disc set for a Windows launcher: samples/disc_set.json with its game and runtime setups
made the Windows program PROGRAM (samples/windows_program_win32.cpp, cross-built), and readme.txt stored in
code page 932 as real discs have it.

    windows_disc_set.py PROGRAM OUT.json [KEY=JSON]...

KEY=JSON pairs change settings (ShowReadme=false). Paths in OUT.json are absolute, so it may lie
anywhere; `vnkit disc build OUT.json -o DIR --launcher vnsetup.exe` then makes the discs."""
import json
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
program, out = os.path.abspath(sys.argv[1]), sys.argv[2]
with open(os.path.join(here, "disc_set.json"), encoding="utf-8") as f:
    spec = json.load(f)
for pair in sys.argv[3:]:
    key, value = pair.split("=", 1)
    spec["settings"][key] = json.loads(value)
spec["background"] = os.path.join(here, spec["background"])
first = spec["discs"][0]
first["files"][spec["settings"]["ExeName"]] = program
first["runtimes"] = program
with open(os.path.join(here, "readme.txt"), encoding="utf-8") as f:
    first["files"]["readme.txt"] = {"text": f.read(), "encoding": "cp932"}
with open(out, "w", encoding="utf-8") as f:
    json.dump(spec, f, ensure_ascii=False, indent=1)
