"""Convert text with lumo: reads standard input (or files), writes standard output.

    python scripts/convert.py CONFIG [FILE ...]

CONFIG is one of lumo.configs(), for example s2twp.
"""

import sys

import lumo


def main(argv: list[str]) -> int:
    if len(argv) < 2 or argv[1] not in lumo.configs():
        sys.stderr.write(__doc__)
        sys.stderr.write("configs: " + ", ".join(lumo.configs()) + "\n")
        return 2
    converter = lumo.Converter(argv[1])
    paths = argv[2:]
    if not paths:
        sys.stdout.write(converter.convert(sys.stdin.read()))
    for path in paths:
        with open(path, encoding="utf-8") as file:
            sys.stdout.write(converter.convert(file.read()))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
