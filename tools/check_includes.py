"""Checks that the includes between the rooms of src/ run one way, and that
no file's includes lead back to it.

Each room is a folder of src/ and a library of its own (CMakeLists.txt). A
room may include its own headers and those of the rooms it stands on, listed
below; the binding stands on the outer rooms only. A header and the source
file of the same name count as one unit, so that the check also finds a
header whose source file includes a header that includes it back.

    python tools/check_includes.py        # prints each fault; exit 1 on any
"""

from __future__ import annotations

import re
import sys
from pathlib import Path

# Each room and the rooms its files may include, besides its own.
ROOMS = {
    "platform": (),
    "dict": ("platform",),
    "engine/core": ("dict",),
    "engine/whole": ("engine/core", "dict", "platform"),
    "engine/explain": ("engine/core", "dict"),
    "engine/config": ("engine/whole", "engine/core", "dict", "platform"),
    "detect": ("engine/config", "dict"),
    "columns": ("engine/whole", "dict"),
    "python": ("engine/config", "engine/whole", "engine/explain", "detect", "columns", "dict"),
}
# Headers the build writes, which any room may include.
GENERATED = "generated/"

_INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def room_of(path: str) -> str | None:
    """The room holding `path`, relative to src/; None outside every room."""
    return max((room for room in ROOMS if path.startswith(room + "/")), key=len, default=None)


def unit_of(path: str) -> str:
    """`path` without its extension: a header and its source file share it."""
    return path.rsplit(".", 1)[0]


def check(src: Path) -> list[str]:
    faults: list[str] = []
    edges: dict[str, set[str]] = {}
    for file in sorted(src.rglob("*")):
        if file.suffix not in (".h", ".cc", ".inc"):
            continue
        path = file.relative_to(src).as_posix()
        room = room_of(path)
        if room is None:
            faults.append(f"src/{path}: lies in no room; put it in one of {', '.join(ROOMS)}")
            continue
        allowed = (room, *ROOMS[room])
        for included in _INCLUDE.findall(file.read_text(encoding="utf-8")):
            if included.startswith(GENERATED):
                continue
            target = room_of(included)
            if target is None or not (src / included).is_file():
                faults.append(f"src/{path}: includes {included}, which is no file of a room")
            elif target not in allowed:
                faults.append(
                    f"src/{path}: includes {included}, but {room} may include only"
                    f" {', '.join(allowed)}"
                )
            if unit_of(included) != unit_of(path):
                edges.setdefault(unit_of(path), set()).add(unit_of(included))
    faults += [f"include cycle: {' -> '.join(cycle)}" for cycle in find_cycles(edges)]
    return faults


def find_cycles(edges: dict[str, set[str]]) -> list[list[str]]:
    """One cycle through each unit that starts one, found depth first."""
    cycles: list[list[str]] = []
    state: dict[str, int] = {}  # 1 while on the path, 2 once done
    path: list[str] = []

    def visit(unit: str) -> None:
        state[unit] = 1
        path.append(unit)
        for target in sorted(edges.get(unit, ())):
            if state.get(target) == 1:
                cycles.append([*path[path.index(target) :], target])
            elif target not in state:
                visit(target)
        path.pop()
        state[unit] = 2

    for unit in sorted(edges):
        if unit not in state:
            visit(unit)
    return cycles


def main() -> int:
    faults = check(Path(__file__).resolve().parent.parent / "src")
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
