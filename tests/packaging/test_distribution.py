"""The installed distribution: what a wheel carries besides the code, and
its types as checkers see them. Run against an install, not the source tree
(scripts/check_packaging.sh runs them in a fresh environment holding the
repaired wheel)."""

import json
import shutil
import subprocess
import sys
from importlib import metadata
from pathlib import Path

import lumo
import pytest

ROOT = Path(__file__).resolve().parents[2]
TYPING = ROOT / "tests" / "typing"


def run(*command, cwd):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True)


def test_the_module_is_installed_not_built_in_place():
    assert Path(lumo.__file__).resolve().is_relative_to(Path(sys.prefix).resolve())


def test_only_the_init_function_is_exported():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("needs nm")
    listed = run(nm, "-D", "--defined-only", lumo.__file__, cwd=ROOT)
    assert listed.returncode == 0, listed.stderr
    assert [line.split()[-1] for line in listed.stdout.splitlines()] == ["PyInit_lumo"]


def test_the_dictionary_licence_travels_in_the_metadata():
    distribution = metadata.distribution("lumo")
    assert distribution.metadata["License-Expression"] == "Apache-2.0"
    (licence,) = [f for f in distribution.files if f.name == "LICENSE"]
    assert ".dist-info/licenses/" in str(licence)
    assert licence.read_text() == (ROOT / "data" / "LICENSE").read_text()


def test_the_command_carries_the_list_of_configurations():
    import lumo_cli

    installed = Path(lumo_cli.__file__).parent / "configurations.json"
    assert installed.read_bytes() == (ROOT / "data" / "config" / "configurations.json").read_bytes()


@pytest.fixture(scope="module")
def checked(tmp_path_factory):
    """A directory outside the source tree with the typed scripts, so that
    the checkers find lumo's types only where the install put them."""
    where = tmp_path_factory.mktemp("typing")
    for script in ("usage.py", "rejected.py"):
        shutil.copy(TYPING / script, where)
    # Every line of rejected.py carries an ignore comment: one that is not
    # needed, because the checker accepted the line, is an error.
    config = {"typeCheckingMode": "strict", "reportUnnecessaryTypeIgnoreComment": "error"}
    (where / "pyrightconfig.json").write_text(json.dumps(config))
    return where


@pytest.mark.parametrize("script", ["usage.py", "rejected.py"])
@pytest.mark.parametrize(
    "checker",
    [
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental"],
        [sys.executable, "-m", "pyright", "--pythonpath", sys.executable],
    ],
    ids=["mypy", "pyright"],
)
def test_checkers_take_the_installed_types(checked, checker, script):
    result = run(*checker, script, cwd=checked)
    assert result.returncode == 0, result.stdout + result.stderr


@pytest.mark.parametrize("checker", [["mypy", "--strict"], ["pyright"]])
def test_checkers_reject_a_wrong_call(checked, checker):
    (checked / "wrong.py").write_text('import lumo\n\nlumo.convert(1, "s2t")\n')
    result = run(sys.executable, "-m", *checker, "wrong.py", cwd=checked)
    assert result.returncode != 0
    assert "wrong.py:3:" in result.stdout


@pytest.mark.parametrize(
    "checker",
    [
        ["mypy", "--strict", "--no-incremental", "-p", "lumo_cli"],
        ["pyright", "--pythonpath", sys.executable, "lumo_cli"],
    ],
    ids=["mypy", "pyright"],
)
def test_checkers_pass_the_installed_command(tmp_path, checker):
    """The command's package as installed, checked as strictly as a project's own code."""
    import lumo_cli

    shutil.copytree(Path(lumo_cli.__file__).parent, tmp_path / "lumo_cli")
    assert (tmp_path / "lumo_cli" / "py.typed").exists()
    (tmp_path / "pyrightconfig.json").write_text(json.dumps({"typeCheckingMode": "strict"}))
    result = run(sys.executable, "-m", *checker, cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


def test_stubs_match_the_module():
    result = run(sys.executable, "-m", "mypy.stubtest", "lumo", cwd=TYPING)
    assert result.returncode == 0, result.stdout + result.stderr
