"""The pages of the module that building one converter maps, read from /proc/self/pagemap.

Usage (from the repository root, on Linux):

    .venv/bin/python benchmarks/mapped_pages.py NAME=DIR [NAME=...] [--configs t2tw,t2s,...]

Each NAME=DIR is a folder holding a built module. For each configuration, a fresh interpreter
imports the module from DIR, calls lumo.configs(), notes which pages of the module's file are
present in its page table, builds the converter, and counts the pages that came in: those of
the code (what the build runs) and those of the rest (mostly the dictionary texts it reads),
and the 64 KB windows of the file the code pages lie in. The kernel maps a file's pages in
windows of up to 64 KB around each fault, less the pages importing the module mapped already:
the windows, not the kilobytes, tell whether a change spreads what a build runs over more of
the module.
"""

import argparse
import os
import subprocess
import sys

PAGE = os.sysconf("SC_PAGE_SIZE")

# Run in the fresh interpreter: prints "<code KB> <other KB> <code windows>", the windows
# numbered by their 64 KB of the file.
PROBE = """
import struct, sys
sys.path.insert(0, sys.argv[1])
import lumo
lumo.configs()

def present():
    pages = set()
    with open("/proc/self/maps") as maps, open("/proc/self/pagemap", "rb") as pagemap:
        for line in maps:
            fields = line.split()
            if len(fields) < 6 or not fields[5].startswith(lumo.__file__):
                continue
            start, end = (int(part, 16) for part in fields[0].split("-"))
            for address in range(start, end, PAGE):
                pagemap.seek(address // PAGE * 8)
                if struct.unpack("Q", pagemap.read(8))[0] >> 63:
                    pages.add((address - start + int(fields[2], 16), "x" in fields[1]))
    return pages

before = present()
converter = lumo.Converter(sys.argv[2])
came = present() - before
code = sum(1 for _, executable in came if executable)
windows = sorted({offset >> 16 for offset, executable in came if executable})
print(code * PAGE // 1024, (len(came) - code) * PAGE // 1024, ",".join(map(str, windows)))
"""


def build(value):
    name, sep, folder = value.partition("=")
    if not sep or not name or not os.path.isdir(folder):
        raise argparse.ArgumentTypeError(f"expected NAME=DIR with DIR a folder, got {value!r}")
    return name, os.path.abspath(folder)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("builds", nargs="+", type=build, metavar="NAME=DIR")
    parser.add_argument("--configs", default="s2t,t2s,tw2sp,t2tw,t2jp,jp2t")
    args = parser.parse_args()
    configs = [config for config in args.configs.split(",") if config]
    probe = f"PAGE = {PAGE}\n{PROBE}"
    header = f"{'config':8}"
    for name, _ in args.builds:
        header += f"{name + ' code KB':>16}{name + ' other KB':>16}{name + ' windows':>20}"
    print(header)
    for config in configs:
        row = f"{config:8}"
        for _, folder in args.builds:
            result = subprocess.run([sys.executable, "-c", probe, folder, config],
                                    capture_output=True, text=True, check=True)  # fmt: skip
            code, other, windows = result.stdout.split()
            row += f"{code:>16}{other:>16}{windows:>20}"
        print(row)


if __name__ == "__main__":
    main()
