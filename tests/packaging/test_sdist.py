"""The sdist holds every file the repository tracks, except the repository's
own dotfiles, and nothing else: not build trees, environments or benchmark
output, even when they lie in the source tree."""

import shutil
import subprocess
import sys
import tarfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
# What a working tree gathers besides its tracked files.
LITTER = [
    "out/wheel/CMakeCache.txt", ".venv/bin/python", "dist/lumo-0.0.0.tar.gz", "notes.txt",
    "benchmarks/results.txt", "benchmarks/results/compare.json", "lumo.cpython-311.so",
    "tests/python/__pycache__/test_module.cpython-311.pyc", ".hypothesis/examples/x",
]  # fmt: skip


def tracked_files():
    try:
        listed = subprocess.run(
            ["git", "ls-files", "-z"], cwd=ROOT, capture_output=True, check=True
        )
    except (OSError, subprocess.CalledProcessError):
        pytest.skip("needs the git repository")
    return [name for name in listed.stdout.decode().split("\0") if name]


def test_sdist_lists_the_tracked_files_and_nothing_else(tmp_path):
    tracked = set(tracked_files())
    tree = tmp_path / "tree"
    for name in [*tracked, *LITTER]:
        (tree / name).parent.mkdir(parents=True, exist_ok=True)
        if name in tracked:
            shutil.copy2(ROOT / name, tree / name)
        else:
            (tree / name).write_text("litter\n")
    subprocess.run(
        [sys.executable, "-m", "build", "--sdist", "--outdir", str(tmp_path / "dist"), str(tree)],
        check=True, capture_output=True,
    )  # fmt: skip
    (sdist,) = (tmp_path / "dist").glob("lumo-*.tar.gz")
    with tarfile.open(sdist) as archive:
        members = [m for m in archive.getmembers() if m.isfile()]
    top = sdist.name[: -len(".tar.gz")]
    assert all(m.name.startswith(top + "/") for m in members)
    listed = {m.name[len(top) + 1 :] for m in members}
    expected = {name for name in tracked if not name.startswith(".")} | {"PKG-INFO"}
    assert sorted(listed - expected) == []
    assert sorted(expected - listed) == []
    assert {"data/LICENSE", "README.md", "stubs/lumo-stubs/__init__.pyi"} <= listed
