"""The lumo command, run as users run it: a subprocess reading and writing
bytes, compared with the module's own conversion."""

import contextlib
import json
import os
import re
import select
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import lumo
import pytest

LUMO = [sys.executable, "-m", "lumo_cli"]
README = Path(__file__).resolve().parents[2] / "README.md"
# The line above the table of configurations in README.md.
CONFIGURATIONS_MARKER = "<!-- The configurations, written by tools/configuration_tables.py. -->"
# Phrases, line endings of every kind and characters outside the BMP, so
# that chunk boundaries fall inside phrases, CRLF pairs and UTF-8 sequences.
TEXT = "我的U盘坏了，鼠标\r\n头发𠀀发展\r干燥。\n" * 40


JSON_SHAPES = 'an object of strings, {"key": "value"}, or an array of pairs, [["key", "value"]]'


def lumo_run(*args, stdin=b"", cwd=None):
    return subprocess.run([*LUMO, *map(str, args)], input=stdin, capture_output=True, cwd=cwd)


def signals_as_in_a_terminal(ignored=()):
    # A command run in the background inherits SIGINT ignored: tests that
    # send signals set what they expect, whatever started them.
    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, signal.SIG_IGN if signum in ignored else signal.SIG_DFL)


@pytest.fixture
def handlers_in_this_process():
    """Signals handled in the test process as in a terminal: they raise."""
    signums = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)
    previous = {signum: signal.signal(signum, signal.default_int_handler) for signum in signums}
    yield
    for signum, handler in previous.items():
        signal.signal(signum, handler)


def expect_error(result, status, message):
    assert result.returncode == status
    assert result.stderr.decode() == f"lumo: {message}\n"


@pytest.mark.parametrize("chunk", [1, 7, 4096, 1 << 20])
@pytest.mark.parametrize("text", [TEXT, "\ufeff" + TEXT, "\r\n" * 3 + "头发\r", ""])
def test_output_is_the_whole_text_converted(text, chunk):
    result = lumo_run("-c", "s2twp", "--chunk-size", chunk, stdin=text.encode())
    assert result.returncode == 0, result.stderr
    assert result.stdout == lumo.Converter("s2twp").convert(text).encode()


def test_a_long_text_from_a_file(tmp_path):
    text = TEXT * 300  # converted on threads, in many chunks
    (tmp_path / "in.txt").write_bytes(text.encode())
    result = lumo_run("--from", "cn-s", "--to", "cn-tw", "in.txt", "-o", "out.txt",
                      "--chunk-size", 65537, cwd=tmp_path)  # fmt: skip
    assert result.returncode == 0, result.stderr
    assert (tmp_path / "out.txt").read_bytes() == lumo.convert(text, "s2twp").encode()


@pytest.mark.parametrize(
    "codec, config, text",
    [
        ("gb18030", "s2t", "汉字头发𠀀\r\n"),
        ("gbk", "s2t", "汉字头发\n"),
        ("big5", "t2tw", "漢字頭髮\r"),
        ("big5hkscs", "t2hk", "漢字頭髮\n"),
        ("shift_jis", "t2jp", "舊字體の漢字\n"),
        ("euc_jp", "jp2t", "旧字体の漢字\n"),
        ("utf-16", "s2t", "\ufeff汉字头发𠀀\n"),
    ],
)
def test_encodings_in_and_out(codec, config, text):
    source = text.encode(codec)
    for chunk in (1, 4096):
        result = lumo_run("-c", config, "--encoding", codec, "--output-encoding", codec,
                          "--chunk-size", chunk, stdin=source)  # fmt: skip
        assert result.returncode == 0, result.stderr
        assert result.stdout == lumo.convert(text, config).encode(codec)


@pytest.mark.parametrize(
    "source, args, expected",
    [
        ("\ufeff汉字".encode("utf-16-be"), ["--encoding", "utf-16"], "\ufeff漢字".encode()),
        ("\ufeff汉字".encode(), ["--output-encoding", "utf-16"], "\ufeff漢字".encode("utf-16-le")),
        ("汉字".encode(), ["--output-encoding", "utf-16"], "\ufeff漢字".encode("utf-16-le")),
        ("汉字".encode("utf-16-be"), ["--encoding", "utf-16-be"], "漢字".encode()),
        ("\ufeff汉字".encode(), ["--output-encoding", "big5"], "漢字".encode("big5")),
        ("\ufeff汉字".encode(), ["--output-encoding", "gb18030"], "\ufeff漢字".encode("gb18030")),
    ],
)
def test_byte_order_marks(source, args, expected):
    result = lumo_run("-c", "s2t", *args, stdin=source)
    assert (result.returncode, result.stdout) == (0, expected)


@pytest.mark.parametrize("chunk", [1, 1 << 20])
@pytest.mark.parametrize(
    "codec, source, byte, offset",
    [
        ("utf-8", "汉字".encode() + b"\xff", 0xFF, 6),
        ("utf-8", "汉".encode() + "字".encode()[:2], 0xE5, 3),  # cut short at the end
        ("gb18030", "汉字".encode("gb18030") + b"\xff\xff", 0xFF, 4),
        ("big5", b"\xba~\x80", 0x80, 2),
        ("utf-16", b"\xff\xfe" + "漢".encode("utf-16-le") + b"\x00\xd8a\x00", 0x00, 4),
    ],
)
def test_invalid_bytes_stop_the_file(tmp_path, codec, source, byte, offset, chunk):
    (tmp_path / "in.txt").write_bytes(source)
    (tmp_path / "out.txt").write_text("kept")
    result = lumo_run("-c", "s2t", "--encoding", codec, "in.txt", "-o", "out.txt",
                      "--chunk-size", chunk, cwd=tmp_path)  # fmt: skip
    name = {"utf-8": "UTF-8", "gb18030": "GB18030", "big5": "Big5", "utf-16": "UTF-16"}[codec]
    expect_error(result, 1, f"in.txt: cannot decode byte 0x{byte:02x} at offset {offset} as {name}")
    assert sorted(os.listdir(tmp_path)) == ["in.txt", "out.txt"]
    assert (tmp_path / "out.txt").read_text() == "kept"


def test_an_output_that_is_no_regular_file_is_written_in_place(tmp_path):
    # Renaming a finished file over a named pipe (or /dev/null) would
    # replace it with a plain file.
    pipe = tmp_path / "pipe"
    os.mkfifo(pipe)
    received = []
    reader = threading.Thread(target=lambda: received.append(pipe.read_bytes()), daemon=True)
    reader.start()
    result = lumo_run("-c", "s2t", "-o", pipe, stdin=TEXT.encode())
    reader.join(timeout=30)
    assert result.returncode == 0, result.stderr
    assert received == [lumo.convert(TEXT, "s2t").encode()]
    assert stat.S_ISFIFO(os.stat(pipe).st_mode) and os.listdir(tmp_path) == ["pipe"]


@pytest.mark.parametrize("chunk", [3, 1 << 20])
def test_ambiguities_and_marks(chunk):
    converter = lumo.Converter("s2twp")
    spans = converter.explain(TEXT)
    offsets = [(sum(len(s) for s, _, _ in spans[:i]), sum(len(t) for _, t, _ in spans[:i]))
               for i in range(len(spans))]  # fmt: skip
    result = lumo_run("-c", "s2twp", "--ambiguities", "--chunk-size", chunk, stdin=TEXT.encode())
    *lines, summary = map(json.loads, result.stdout.decode().splitlines())
    assert lines == [
        {"input_offset": i, "output_offset": o, "source": s, "target": t, "alternatives": list(a)}
        for (s, t, a), (i, o) in zip(spans, offsets) if a
    ]  # fmt: skip
    assert summary == {"summary": {"ambiguous_spans": len(lines), "input_characters": len(TEXT),
                                   "output_characters": len(converter.convert(TEXT))}}  # fmt: skip
    marked = lumo_run("-c", "s2twp", "--mark", "--chunk-size", chunk, stdin=TEXT.encode())
    assert marked.stdout.decode() == "".join("{" + "|".join((t, *a)) + "}" if a else t
                                             for _, t, a in spans)  # fmt: skip


def test_utf16_without_a_byte_order_mark_is_refused():
    result = lumo_run("-c", "s2t", "--encoding", "utf-16", stdin="汉".encode("utf-16-le"))
    assert result.returncode == 1
    assert b"no byte order mark" in result.stderr


def test_a_character_the_output_encoding_lacks():
    source = "汉字\n𠀀".encode()  # 𠀀 is at offset 3 of the converted text
    result = lumo_run("-c", "s2t", "--output-encoding", "big5", stdin=source)
    assert result.returncode == 1
    assert "cannot encode character '𠀀' (U+20000) at offset 3 as Big5" in result.stderr.decode()
    result = lumo_run("-c", "s2t", "--output-encoding", "big5", "--errors", "replace", stdin=source)
    assert (result.returncode, result.stdout) == (0, "漢字\n?".encode("big5"))


@pytest.mark.parametrize(
    "config, codec, message",
    [
        ("s2t", "big5", "'爲' (U+7232) at offset 0 as Big5; -c s2tw writes '為', which Big5 holds"),
        ("s2hk", "big5", "(U+8AAC) at offset 1 as Big5; -c s2tw writes '說', which Big5 holds"),
        ("s2t", "big5hkscs", "as Big5-HKSCS; -c s2hk writes '為', which Big5-HKSCS holds"),
    ],
)
def test_a_configuration_that_fits_the_output_encoding_is_named(config, codec, message):
    result = lumo_run("-c", config, "--output-encoding", codec, stdin="为说".encode())
    assert result.returncode == 1
    assert f"{message}; --errors replace writes '?' instead" in result.stderr.decode()


@pytest.mark.parametrize("name", ["s2t.json", "/usr/share/lumo/s2t.json", "conf/s2t", "s2x.json"])
def test_a_configuration_named_as_a_file(name):
    result = lumo_run("-c", name, stdin="汉字".encode())
    if name.endswith("s2t.json"):
        assert (result.returncode, result.stdout) == (0, "漢字".encode())
    else:
        expect_error(result, 2, f"-c {name}: configurations are built in, not read from files; "
                     f"choose one of {', '.join(lumo.configs())} (see 'lumo configs')")  # fmt: skip


@pytest.mark.parametrize("command", [["-c", "s2t"], ["-c", "s2t", "--in-place"], ["detect"]])
def test_double_dash_ends_the_options(tmp_path, command):
    (tmp_path / "-x.txt").write_text("汉字")
    result = lumo_run(*command, "--", "-x.txt", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert (result.stdout.decode(), (tmp_path / "-x.txt").read_text()) == {
        "s2t": ("漢字", "汉字"),
        "--in-place": ("", "漢字"),
        "detect": ("-x.txt\tcn-s\t50\n", "汉字"),
    }[command[-1]]


def test_names_that_would_break_a_line_are_quoted(tmp_path):
    (tmp_path / "a\nb.txt").write_bytes(b"\xff")
    (tmp_path / "c\td.txt").write_text("汉字")
    result = lumo_run("-c", "s2t", "a\nb.txt", "'quoted'", "-o", "out/", cwd=tmp_path)
    assert sorted(result.stderr.decode().splitlines()) == [
        "lumo: \"'quoted'\": No such file or directory",
        "lumo: 'a\\nb.txt': cannot decode byte 0xff at offset 0 as UTF-8",
    ]
    result = lumo_run("detect", "a\nb.txt", "c\td.txt", cwd=tmp_path)
    assert result.stdout == b"'c\\td.txt'\tcn-s\t50\n"
    assert result.stderr == b"lumo: 'a\\nb.txt': cannot decode byte 0xff at offset 0 as UTF-8\n"


def test_every_configuration_passes_each_line_at_once():
    for name in lumo.configs():
        pieces = list(lumo.Converter(name).convert_stream(iter(["x\n", "这是一个测试\n", "y\n"])))
        assert len(pieces) == 3, name


def read_for(stream, size, timeout=30):
    """Up to `size` bytes from `stream`, as many as come within `timeout` seconds."""
    data = b""
    deadline = time.monotonic() + timeout
    while len(data) < size and select.select([stream], [], [], deadline - time.monotonic())[0]:
        piece = os.read(stream.fileno(), size - len(data))
        if not piece:
            break
        data += piece
    return data


@pytest.mark.parametrize(
    ("config", "args"),
    [("t2s", []), ("t2s", ["--output-encoding", "gb18030"]), ("t2s", ["--mark"]), ("s2t", []),
     ("s2twp", [])],
)  # fmt: skip
def test_each_line_of_a_slow_pipe_comes_out_before_the_next_goes_in(config, args):
    codec = "gb18030" if args[:1] == ["--output-encoding"] else "utf-8"
    process = subprocess.Popen([*LUMO, "-c", config, *args], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE)  # fmt: skip
    traditional = ("漢字\n", "頭髮很長\n", "電腦軟體\n")
    lines = traditional if config == "t2s" else ("汉字\n", "这是一个测试\n", "用U盘\n")
    try:
        for line in lines:
            process.stdin.write(line.encode())
            process.stdin.flush()
            expected = lumo.convert(line, config).encode(codec)
            assert read_for(process.stdout, len(expected)) == expected
        process.stdin.close()
        assert process.wait(timeout=30) == 0
        assert process.stdout.read() == b""
    finally:
        process.kill()
        process.wait()


@pytest.mark.parametrize(
    "args",
    [
        [],
        ["-c", "nope"],
        ["--from", "cn-s"],
        ["--from", "cn-tw", "--to", "cn-hk"],
        ["-c", "s2t", "--from", "cn-s", "--to", "cn-t"],
        ["-c", "s2t", "--encoding", "latin-1"],
        ["-c", "s2t", "--bogus"],
        ["-c", "s2t", "-j", "0"],
        ["-c", "s2t", "--in-place"],
        ["-c", "s2t", "--custom-text", "no-space"],
        ["-c", "s2t", "a.txt", "-o", "a.txt"],
        ["-c", "s2t", "a.txt", "sub/a.txt", "-o", "out"],
        ["-c", "s2t", "a.txt", "b.txt", "-o", "out"],  # several inputs: a folder, or out/
    ],
)
def test_usage_errors(tmp_path, args):
    (tmp_path / "sub").mkdir()
    for name in ("a.txt", "sub/a.txt"):
        (tmp_path / name).write_text("汉")
    result = lumo_run(*args, cwd=tmp_path)
    assert result.returncode == 2
    assert re.fullmatch(rb"lumo: [^\n]+\n", result.stderr), result.stderr
    assert (tmp_path / "a.txt").read_text() == "汉"
    assert not (tmp_path / "out").exists()


def test_in_place_keeps_the_mode(tmp_path):
    path = tmp_path / "a.txt"
    path.write_text("汉字\r\n")
    path.chmod(0o640)
    assert lumo_run("-c", "s2t", "--in-place", path).returncode == 0
    assert path.read_bytes() == "漢字\r\n".encode()
    assert path.stat().st_mode & 0o777 == 0o640
    assert os.listdir(tmp_path) == ["a.txt"]


NOBODY = 65534
needs_root = pytest.mark.skipif(os.geteuid() != 0, reason="needs root")


@pytest.fixture
def open_folder():
    """A folder anyone may write in, where NOBODY can reach it."""
    folder = Path(tempfile.mkdtemp())
    folder.chmod(0o777)
    yield folder
    shutil.rmtree(folder)


def lumo_run_as_nobody(*args, stdin=b"", cwd=None):
    # Root drops its rights once the modules are loaded: the interpreter's
    # own may lie where NOBODY cannot read.
    code = ("import locale, os, sys, lumo_cli, lumo_cli.conversion, lumo_cli.options\n"
            f"os.setgroups([]); os.setgid({NOBODY}); os.setuid({NOBODY})\n"
            "sys.exit(lumo_cli.main(sys.argv[1:]))")  # fmt: skip
    return subprocess.run([sys.executable, "-c", code, *map(str, args)], input=stdin,
                          capture_output=True, cwd=cwd)  # fmt: skip


def owner_and_mode(path):
    found = path.stat()
    return found.st_uid, found.st_gid, stat.S_IMODE(found.st_mode)


@needs_root
@pytest.mark.parametrize("output", [["-o", "f"], ["--in-place"]])
def test_a_replaced_file_keeps_its_owner_mode_and_attributes(tmp_path, output):
    source, target = tmp_path / ("in" if "-o" in output else "f"), tmp_path / "f"
    source.write_text("汉字")
    target.write_text("汉字")
    os.chown(target, NOBODY, NOBODY)
    target.chmod(0o6755)
    with contextlib.suppress(OSError):  # where the file system has them
        os.setxattr(target, "user.lumo", b"kept")
    attributes = {name: os.getxattr(target, name) for name in os.listxattr(target)}
    result = lumo_run("-c", "s2t", source.name, *output, cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert (target.read_text(), owner_and_mode(target)) == ("漢字", (NOBODY, NOBODY, 0o6755))
    assert {name: os.getxattr(target, name) for name in os.listxattr(target)} == attributes


@needs_root
@pytest.mark.parametrize(
    "owner, group, mode, expected",
    [
        (0, 0, 0o6777, (NOBODY, NOBODY, 0o777)),  # neither kept: no set-id bit
        (NOBODY, 0, 0o6775, (NOBODY, NOBODY, 0o4775)),  # the group lost: no set-group-ID
        (NOBODY, NOBODY, 0o6775, (NOBODY, NOBODY, 0o6775)),  # both kept
    ],
)
def test_set_id_bits_whose_owner_cannot_be_kept_are_dropped(open_folder, owner, group, mode,
                                                            expected):  # fmt: skip
    path = open_folder / "f"
    path.write_text("汉字")
    os.chown(path, owner, group)
    path.chmod(mode)
    result = lumo_run_as_nobody("-c", "s2t", "--in-place", path)
    assert result.returncode == 0, result.stderr
    assert (path.read_text(), owner_and_mode(path)) == ("漢字", expected)


def test_a_new_file_takes_its_mode_from_the_umask(tmp_path):
    process = subprocess.run([*LUMO, "-c", "s2t", "-o", "new.txt"], input=b"x", cwd=tmp_path,
                             preexec_fn=lambda: os.umask(0o027))  # fmt: skip
    assert process.returncode == 0
    assert stat.S_IMODE((tmp_path / "new.txt").stat().st_mode) == 0o640


@needs_root
def test_o_into_a_folder_that_cannot_be_written_says_why(open_folder):
    (open_folder / "ro").mkdir(mode=0o755)
    (open_folder / "ro" / "out.txt").write_text("kept")
    os.chown(open_folder / "ro" / "out.txt", NOBODY, NOBODY)
    result = lumo_run_as_nobody("-c", "s2t", "-o", "ro/out.txt", stdin="汉".encode(),
                                cwd=open_folder)  # fmt: skip
    message = ("ro/out.txt: cannot make a temporary file in its folder: Permission denied (the"
               " output is written whole under a temporary name there, then renamed); a shell"
               " redirect (> FILE) writes the file in place instead")  # fmt: skip
    expect_error(result, 1, message)
    assert (open_folder / "ro" / "out.txt").read_text() == "kept"


@pytest.mark.parametrize("jobs", [1, 2])
def test_one_failing_input_does_not_stop_the_others(tmp_path, jobs):
    for name in ("a.txt", "c.txt"):
        (tmp_path / name).write_text(f"汉字{name}")
    (tmp_path / "b.txt").write_bytes(b"\xff")
    result = lumo_run("-c", "s2t", "-j", jobs, "a.txt", "b.txt", "missing.txt", "c.txt",
                      "-o", "out/", cwd=tmp_path)  # fmt: skip
    assert result.returncode == 1
    assert sorted(result.stderr.decode().splitlines()) == [
        "lumo: b.txt: cannot decode byte 0xff at offset 0 as UTF-8",
        "lumo: missing.txt: No such file or directory",
    ]
    assert sorted(os.listdir(tmp_path / "out")) == ["a.txt", "c.txt"]
    assert (tmp_path / "out" / "c.txt").read_text() == "漢字c.txt"


def interrupt_while_converting(args, cwd, signum, folder, ignored=()):
    """Runs lumo, sends `signum` once its temporary file is in `folder`,
    and returns its exit status and standard error."""
    process = subprocess.Popen([*LUMO, *args], cwd=cwd, stderr=subprocess.PIPE,
                               start_new_session=True,
                               preexec_fn=lambda: signals_as_in_a_terminal(ignored))  # fmt: skip
    deadline = time.monotonic() + 30
    while not list(folder.glob(".*.lumo-tmp")) and time.monotonic() < deadline:
        time.sleep(0.005)
    if signum == signal.SIGINT:
        os.killpg(process.pid, signum)  # as Ctrl-C does: to the whole process group
    else:
        os.kill(process.pid, signum)  # as kill does: to lumo alone
    return process.wait(timeout=60), process.stderr.read()


@pytest.mark.parametrize("signum", [signal.SIGINT, signal.SIGTERM])
@pytest.mark.parametrize("jobs", [1, 2])
def test_ctrl_c_leaves_no_partial_output(tmp_path, jobs, signum):
    for name in ("big.txt", "big2.txt"):
        (tmp_path / name).write_bytes(TEXT.encode() * 10000)  # 21 MB
    (tmp_path / "out").mkdir()
    (tmp_path / "out" / "big.txt").write_text("kept")
    args = ["-c", "s2t", "-j", str(jobs), "big.txt", "big2.txt", "-o", "out",
            "--chunk-size", "4096"]  # fmt: skip
    status, stderr = interrupt_while_converting(args, tmp_path, signum, tmp_path / "out")
    name = {signal.SIGINT: b"", signal.SIGTERM: b" by SIGTERM"}[signum]
    assert (status, stderr) == (128 + signum, b"lumo: interrupted" + name + b"\n")
    assert os.listdir(tmp_path / "out") == ["big.txt"]
    assert (tmp_path / "out" / "big.txt").read_text() == "kept"


@pytest.mark.parametrize("output", [["-o", "out.txt"], ["--in-place"]])
@pytest.mark.parametrize("signum", [signal.SIGTERM, signal.SIGHUP])
def test_sigterm_and_sighup_leave_no_partial_output(tmp_path, signum, output):
    big = TEXT.encode() * 10000
    (tmp_path / "big.txt").write_bytes(big)
    (tmp_path / "out.txt").write_text("kept")
    args = ["-c", "s2t", "big.txt", *output, "--chunk-size", "4096"]
    status, _ = interrupt_while_converting(args, tmp_path, signum, tmp_path)
    assert status == 128 + signum
    assert sorted(os.listdir(tmp_path)) == ["big.txt", "out.txt"]
    assert (tmp_path / "big.txt").read_bytes() == big
    assert (tmp_path / "out.txt").read_text() == "kept"


def test_sighup_ignored_at_start_stays_ignored(tmp_path):
    # As under nohup: the conversion goes on to its end.
    (tmp_path / "big.txt").write_bytes(TEXT.encode() * 10000)
    args = ["-c", "s2t", "big.txt", "-o", "out.txt", "--chunk-size", "4096"]
    status, stderr = interrupt_while_converting(args, tmp_path, signal.SIGHUP, tmp_path,
                                                ignored=[signal.SIGHUP])  # fmt: skip
    assert (status, stderr) == (0, b"")
    assert (tmp_path / "out.txt").read_bytes() == lumo.convert(TEXT * 10000, "s2t").encode()


@pytest.mark.parametrize("signum", [signal.SIGINT, signal.SIGTERM, signal.SIGHUP])
def test_a_signal_as_the_temporary_file_is_made_leaves_nothing(
    tmp_path, monkeypatch, handlers_in_this_process, signum
):
    from lumo_cli.output_files import replacing
    from lumo_cli.signals import handled

    make = tempfile.mkstemp

    def make_then_interrupt(*args, **kwargs):
        os.kill(os.getpid(), signum)  # handled at once, in the middle of mkstemp
        made = make(*args, **kwargs)
        os.kill(os.getpid(), signum)  # dropped: only the first one raises
        return made

    monkeypatch.setattr(tempfile, "mkstemp", make_then_interrupt)
    with pytest.raises(KeyboardInterrupt) as raised, handled(), replacing(str(tmp_path / "a")):
        pass
    assert raised.value.signum == signum
    assert os.listdir(tmp_path) == []


def test_a_closed_pipe_ends_quietly(tmp_path):
    (tmp_path / "in.txt").write_bytes(TEXT.encode() * 2000)
    with open(tmp_path / "in.txt", "rb") as source:
        process = subprocess.Popen([*LUMO, "-c", "s2t"], stdin=source,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)  # fmt: skip
    process.stdout.read(10)
    process.stdout.close()
    assert process.wait(timeout=60) == 141
    assert process.stderr.read() == b""


@pytest.mark.parametrize(
    "words, texts, expected",
    [
        ("鼠标 滑鼠\n\n 头发  秀髮 \r\n", [], "滑鼠秀髮"),
        ('{"鼠标": "滑 鼠"}', [], "滑 鼠頭髮"),
        (' [["鼠标", "滑 鼠"], ["头发", "毛"]]', [], "滑 鼠毛"),
        ("鼠标 滑鼠\n", ["头发 秀髮"], "滑鼠秀髮"),
        ("鼠标 滑鼠\n", ["鼠标 老鼠|头发 毛"], "老鼠毛"),  # the text comes later and wins
        (None, ["\u3000鼠标 \u3000 老鼠 |", "头发 毛"], "老鼠毛"),
    ],
)
def test_custom_words(tmp_path, words, texts, expected):
    args = []
    if words is not None:
        (tmp_path / "words").write_text(words)
        args += ["--custom", tmp_path / "words"]
    for text in texts:
        args += ["--custom-text", text]
    result = lumo_run("-c", "s2twp", *args, stdin="鼠标头发".encode())
    assert result.stdout.decode() == expected, result.stderr


@pytest.mark.parametrize(
    "words, reason",
    [
        ("[" * 100000 + "]" * 100000, "not valid JSON: nested too deeply"),
        ("[1, 2", "not valid JSON: Expecting ',' delimiter: line 1 column 6 (char 5)"),
        ('["鼠标 滑鼠"]', "item 1 is not a pair of strings; expected " + JSON_SHAPES),
        ('{"鼠标": ["滑鼠"]}', "the value of '鼠标' is not a string; expected " + JSON_SHAPES),
        ('"鼠标 滑鼠"\n', f"the JSON is a string; expected {JSON_SHAPES}, or 'key value' lines"),
        (None, "No such file or directory"),
    ],
    # Short test names: the deep case's would not fit in the environment
    # (PYTEST_CURRENT_TEST) of the command the test starts.
    ids=["deep", "cut-short", "not-a-pair", "not-a-string", "a-string", "missing"],
)
def test_custom_files_of_another_shape_are_refused(tmp_path, words, reason):
    if words is not None:
        (tmp_path / "words").write_text(words)
    expect_error(lumo_run("-c", "s2t", "--custom", "words", cwd=tmp_path), 1,
                 f"--custom words: {reason}")  # fmt: skip


def test_detect(tmp_path):
    (tmp_path / "cn.txt").write_text("汉字头发这个")
    (tmp_path / "none.txt").write_text("hello")
    result = lumo_run("detect", "cn.txt", "none.txt", "missing.txt", "-", cwd=tmp_path,
                      stdin="舊字體の漢字".encode())  # fmt: skip
    assert result.returncode == 1
    found = lumo.detect("汉字头发这个")
    assert result.stdout.decode().splitlines() == [
        f"cn.txt\t{found.region}\t{found.confidence}",
        "none.txt\tnone",
        "<stdin>\tjp-t\t100",
    ]
    assert result.stderr == b"lumo: missing.txt: No such file or directory\n"
    result = lumo_run("detect", "--json", "none.txt", "cn.txt", cwd=tmp_path)
    assert [json.loads(line) for line in result.stdout.splitlines()] == [
        {"path": "none.txt", "region": None, "confidence": None},
        {"path": "cn.txt", "region": found.region, "confidence": found.confidence},
    ]


def test_configs_lists_every_configuration_as_the_readme_does():
    result = lumo_run("configs")
    lines = result.stdout.decode().splitlines()
    listed = [re.split(r"\s{2,}->\s{2}|\s{2,}", line) for line in lines]
    table = README.read_text().split(CONFIGURATIONS_MARKER, 1)[1].split("\n\n", 1)[0]
    readme = re.findall(r"^\| `(\w+)` \| (.+?) \| (.+?) \|$", table, re.MULTILINE)
    assert [name for name, *_ in listed] == lumo.configs()
    assert [tuple(row) for row in listed] == readme


def test_version():
    assert lumo_run("--version").stdout.decode() == f"lumo {lumo.__version__}\n"


def test_no_progress_bar_when_stderr_is_piped(tmp_path):
    (tmp_path / "big.txt").write_bytes(TEXT.encode() * 8000)  # 17 MB: a bar on a terminal
    result = lumo_run("-c", "s2t", "big.txt", "-o", "out.txt", cwd=tmp_path)
    assert (result.returncode, result.stderr) == (0, b"")


@pytest.mark.skipif(shutil.which("tmux") is None, reason="needs tmux")
def test_progress_bar_on_a_terminal(tmp_path):
    (tmp_path / "big.txt").write_bytes(TEXT.encode() * 8000)
    command = " ".join([*LUMO, "-c", "s2t", "big.txt", "-o", "out.txt", "; echo status=$?"])
    tmux = ["tmux", "-L", f"lumo-test-{os.getpid()}"]  # a server of its own
    subprocess.run([*tmux, "new-session", "-d", "-x", "120", "-y", "30", "-c", str(tmp_path),
                    f"{command}; sleep 60"], check=True)  # fmt: skip
    try:
        deadline = time.monotonic() + 60
        screen = ""
        while "status=" not in screen and time.monotonic() < deadline:
            time.sleep(0.2)
            screen = subprocess.run([*tmux, "capture-pane", "-p"], capture_output=True,
                                    text=True).stdout  # fmt: skip
    finally:
        subprocess.run([*tmux, "kill-server"], capture_output=True)
    assert "status=0" in screen
    assert re.search(r"100%\|█+\| ([\d.]+M)/\1 \[[\d:]+<[\d:]+, +[\d.]+MB/s\]", screen), screen


@pytest.mark.parametrize(
    "failing, written",
    [
        (None, [b"%d" % i for i in range(50)]),
        ("write", [b"0", b"1", b"2"]),  # nothing after the failed write
        ("pieces", [b"0", b"1", b"2", b"3"]),  # what came before, all written
    ],
)
def test_background_writes_keep_the_order_and_raise_the_first_error(failing, written):
    from lumo_cli.background_writes import write_all

    out = []

    def write(piece):
        if failing == "write" and piece == b"3":
            raise OSError("disk full")
        time.sleep(0.001)  # the thread is still writing when the next piece comes
        out.append(piece)

    def pieces():
        for i in range(50):
            if failing == "pieces" and i == 4:
                raise ValueError("bad input")
            yield b"%d" % i

    if failing is None:
        write_all(pieces(), write)
    else:
        with pytest.raises(OSError if failing == "write" else ValueError):
            write_all(pieces(), write)
    assert out == written


def test_background_writes_end_after_ctrl_c_inside_a_handover(monkeypatch):
    # Ctrl-C right after a piece is queued, before the writer hears of it:
    # the run must still end, with every queued piece written.
    from lumo_cli import background_writes

    def interrupted_give(self, piece):
        self._room.acquire()
        self._pieces.append(piece)
        raise KeyboardInterrupt

    monkeypatch.setattr(background_writes._Writer, "give", interrupted_give)
    out, raised = [], []

    def run():
        try:
            background_writes.write_all(iter([b"0", b"1", b"2"]), out.append)
        except KeyboardInterrupt:
            raised.append(True)

    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    thread.join(10)
    assert not thread.is_alive() and raised and out == [b"0", b"1"]


@pytest.mark.parametrize("options", [[], ["--encoding", "gb18030"], ["--mark"]])
def test_input_with_no_place_to_cut_fails_past_max_held(tmp_path, options):
    # The custom key "A" leaves a stretch of A's no safe place to cut.
    text = "A" * (3 << 20)
    (tmp_path / "in.txt").write_bytes(text.encode())
    command = ["-c", "t2jp", "--custom-text", "A B", *options, "in.txt", "-o", "out.txt"]
    result = lumo_run(*command, "--max-held", 1, cwd=tmp_path)
    expect_error(result, 1, "in.txt: found no safe place to cut the text within 1 MiB; "
                 "give --max-held with more MiB, or 0 for no bound")  # fmt: skip
    assert os.listdir(tmp_path) == ["in.txt"]
    result = lumo_run(*command, "--max-held", 0, cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    if not options:
        expected = lumo.Converter("t2jp").with_custom({"A": "B"}).convert(text)
        assert (tmp_path / "out.txt").read_bytes() == expected.encode()
