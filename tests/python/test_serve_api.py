"""The HTTP API of lumo serve, called in process: exact answers, every
error as JSON, the size limits, the security headers, and the schema."""

import json
import os
import re
import socket
import subprocess
import sys
from pathlib import Path

import lumo
import pytest

pytest.importorskip("starlette")
pytest.importorskip("httpx")

from lumo_serve import create_app  # noqa: E402
from lumo_serve.openapi import schema  # noqa: E402
from starlette.testclient import TestClient  # noqa: E402

LIMIT = 4096
TEXT = "我们干了这杯，视频和干。头发\r\n秋天的面条。\n" * 3


@pytest.fixture(scope="module")
def client():
    with TestClient(create_app(max_bytes=LIMIT, max_file_bytes=4 << 20)) as client:
        yield client


S2T = lumo.Converter("s2t")


@pytest.mark.parametrize(
    "body, expected",
    [
        ({"config": "s2twp"}, lumo.convert(TEXT, "s2twp")),
        ({"from": "cn-s", "to": "cn-hk"}, lumo.convert_region(TEXT, "cn-s", to="cn-hk")),
        ({"config": "s2t", "custom": {"头发": "X"}}, S2T.with_custom({"头发": "X"}).convert(TEXT)),
        (
            {"config": "s2t", "custom": [["头发", "Y"]]},
            S2T.with_custom([("头发", "Y")]).convert(TEXT),
        ),
        (
            {"config": "s2t", "custom": "头发 Z|面条 W"},
            S2T.with_custom("头发 Z|面条 W").convert(TEXT),
        ),
    ],
)
def test_convert(client, body, expected):
    answer = client.post("/api/convert", json={"text": TEXT, **body})
    assert answer.status_code == 200
    assert answer.json() == {"text": expected}


@pytest.mark.parametrize("text", ["我们的头发", "我們的頭髮", "hello", ""])
def test_detect(client, text):
    found = lumo.detect(text)
    expected = {"region": None} if found is None else {
        "region": found.region, "confidence": found.confidence}  # fmt: skip
    assert client.post("/api/detect", json={"text": text}).json() == expected


def test_explain_gives_every_span_and_the_plausible_alternatives(client):
    spans = client.post("/api/explain", json={"text": TEXT, "config": "s2twp"}).json()["spans"]
    expected = lumo.Converter("s2twp").explain(TEXT)
    assert [(s["source"], s["target"], tuple(s["alternatives"])) for s in spans] == expected
    assert all(("plausible" in span) == bool(span["alternatives"]) for span in spans)
    by_source = {span["source"]: span.get("plausible") for span in spans}
    assert by_source["干"] == ["乾", "干"]  # 榦 is rare on its own
    assert by_source["视频"] == ["視訊"]


VALID = "s2t, t2s, s2tw, tw2s, s2hk, hk2s, s2twp, tw2sp, s2hkp, hk2sp, t2tw, tw2t, t2hk, hk2t"


@pytest.mark.parametrize(
    "path, body, status, message",
    [
        ("/api/convert", {"text": "x", "config": "no"}, 400, f"config 'no'. Valid: {VALID}"),
        ("/api/explain", {"text": "x", "from": "xx", "to": "cn-tw"}, 400, "unknown region 'xx'"),
        ("/api/convert", {"text": "x", "config": "s2t", "from": "cn-s"}, 400, "not both"),
        ("/api/convert", {"text": "x", "from": "cn-s"}, 400, 'give "config", or both'),
        ("/api/convert", {"text": "x", "config": 5}, 400, '"config" must be a string'),
        ("/api/convert", {"config": "s2t"}, 400, '"text" must be a string'),
        ("/api/detect", {"text": 1}, 400, '"text" must be a string'),
        ("/api/convert", ["x"], 400, "must be a JSON object"),
        ("/api/convert", b"{bad", 400, "not valid JSON"),
        ("/api/explain", b"\xff{}", 400, "not UTF-8"),
        ("/api/detect", b"[" * 2000, 400, "nested too deeply"),
        ("/api/convert", {"text": "x", "config": "s2t", "custom": {"a": 1}}, 400, '"custom": '),
        ("/api/convert", {"text": "x", "config": "s2t", "custom": 7}, 400, '"custom": '),
        ("/api/convert", {"text": "x" * LIMIT, "config": "s2t"}, 413, f"limit of {LIMIT} bytes"),
        ("/api/nowhere", {}, 404, "no such page or route"),
        ("/openapi.json", {}, 405, "method not allowed"),
    ],
)  # fmt: skip
def test_errors_are_json(client, path, body, status, message):
    content = body if isinstance(body, bytes) else json.dumps(body).encode()
    answer = client.post(path, content=content)
    assert answer.status_code == status
    error = answer.json()["error"]
    assert message is None or message in error
    assert "Traceback" not in error


def test_a_chunked_body_over_the_limit_is_refused_while_read(client):
    def pieces():
        for _ in range(10):
            yield b" " * 1000

    answer = client.post("/api/convert", content=pieces())
    assert answer.status_code == 413


def test_an_unexpected_failure_is_a_line_not_a_trace(monkeypatch):
    def broken(body):
        raise RuntimeError("secret detail")

    monkeypatch.setattr("lumo_serve.converters.from_body", broken)
    with TestClient(create_app(), raise_server_exceptions=False) as client:
        answer = client.post("/api/convert", json={"text": "x", "config": "s2t"})
    assert (answer.status_code, answer.json()) == (500, {"error": "internal error"})


SIMPLIFIED = "头发干了\r\n面条\r台湾" * 40000  # over a MiB: several chunks
TRADITIONAL = "頭髮乾了\r\n麵條\r台灣" * 40000


@pytest.mark.parametrize(
    "query, codec, config, text",
    [
        ("config=t2tw&encoding=big5", "big5", "t2tw", TRADITIONAL),
        ("config=t2hk&encoding=Big5-HKSCS", "big5hkscs", "t2hk", TRADITIONAL),
        ("from=cn-s&to=cn-tw&encoding=gbk", "gbk", "s2tw", SIMPLIFIED),
        ("config=s2twp", "utf-8", "s2twp", "\ufeff𠀀" + SIMPLIFIED),
        ("config=s2t&encoding=utf-16", "utf-16", "s2t", "\ufeff𠀀" + SIMPLIFIED),
        ("config=t2jp&encoding=shift_jis", "shift_jis", "t2jp", "學校の體育館\n" * 1000),
    ],
)
def test_convert_file_answers_in_the_same_encoding(client, query, codec, config, text):
    python_codec = "utf-16-le" if codec == "utf-16" else codec
    answer = client.post(f"/api/convert-file?{query}", content=text.encode(python_codec))
    assert answer.status_code == 200
    assert answer.headers["content-type"].startswith("text/plain; charset=")
    assert answer.content.decode(python_codec) == lumo.convert(text, config)


def test_convert_file_streams_past_the_json_limit_but_not_its_own(client):
    data = ("头发\n" * 2000).encode()
    assert len(data) > LIMIT
    answer = client.post("/api/convert-file?config=s2t", content=data)
    assert answer.content.decode() == lumo.convert(data.decode(), "s2t")
    answer = client.post("/api/convert-file?config=s2t", content=b"x" * (5 << 20))
    assert answer.status_code == 413


@pytest.mark.parametrize(
    "query, data, status, message",
    [
        ("config=t2s&encoding=big5", "頭髮".encode("big5") + b"\xff\xfe", 400,
         "body: cannot decode byte 0xff at offset 4 as Big5"),
        ("config=s2t&encoding=ebcdic", b"x", 400, "unsupported encoding 'ebcdic'"),
        ("config=zz", b"x", 400, "unknown config 'zz'"),
        ("config=s2t&errors=ignore", b"x", 400, "expected strict or replace"),
        ("config=t2s&encoding=big5", "這".encode("big5"), 422,
         "body: cannot encode character '这' (U+8FD9) at offset 0 as Big5"),
        ("config=s2t&encoding=utf-16", b"\x41\x00", 400, "no byte order mark"),
    ],
)  # fmt: skip
def test_convert_file_errors(client, query, data, status, message):
    answer = client.post(f"/api/convert-file?{query}", content=data)
    assert answer.status_code == status
    assert message in answer.json()["error"]


def test_convert_file_replaces_what_the_encoding_cannot_hold(client):
    answer = client.post("/api/convert-file?config=t2s&encoding=big5&errors=replace",
                         content="這是".encode("big5"))  # fmt: skip
    assert answer.content == b"?" + "是".encode("big5")


@pytest.mark.parametrize("codec", ["big5", "gb18030", "shift_jis", "utf-16", "utf-8"])
def test_decode_and_encode_keep_marks_and_line_endings(client, codec):
    text = ("\ufeff" if codec.startswith("utf") else "") + "頭髮\r\n乾燥\r學校\n"
    data = text.encode(codec if codec != "utf-16" else "utf-16-le")  # the BOM leads
    decoded = client.post(f"/api/decode?encoding={codec}", content=data)
    assert decoded.json() == {"text": text}
    encoded = client.post(f"/api/encode?encoding={codec}", json={"text": text})
    assert encoded.content == data


def test_every_answer_forbids_inline_script(client):
    for answer in [
        client.get("/"),
        client.get("/static/page.js"),
        client.post("/api/convert", content=b"{"),
        client.post("/api/convert-file?config=s2t", content="头".encode()),
    ]:
        policy = answer.headers["content-security-policy"]
        assert "script-src 'self'" in policy and "unsafe-inline" not in policy
        assert answer.headers["x-content-type-options"] == "nosniff"


def test_the_page_has_no_inline_script_and_static_files_stay_in_their_folder(client):
    page = client.get("/").text
    assert '<script src="/static/page.js" defer></script>' in page
    assert page.count("<script") == 1 and " on" not in page.replace(" one", "")
    for path in ["/static/../app.py", "/static/%2e%2e/app.py", "/static/..%2fapp.py"]:
        assert client.get(path).status_code == 404


def test_the_schema_lists_every_route(client):
    served = client.get("/openapi.json").json()
    assert served == schema()
    routes = {route.path for route in client.app.routes if route.path.startswith("/api/")}
    assert set(served["paths"]) == routes
    assert served["paths"]["/api/convert"]["post"]["requestBody"]["content"]["application/json"]


@pytest.mark.parametrize(
    "host, status",
    [
        ("localhost:8000", 200),
        ("127.0.0.1", 200),
        ("[::1]:8000", 200),
        ("LOCALHOST", 200),
        ("rebound.example", 400),
        ("rebound.example:8000", 400),
        ("[::2]:8000", 400),
        ("", 400),
    ],
)
def test_a_loopback_server_answers_only_loopback_host_names(host, status):
    from lumo_serve.command import LOOPBACK_NAMES

    with TestClient(create_app(allowed_hosts=LOOPBACK_NAMES)) as client:
        assert client.get("/", headers={"host": host}).status_code == status


@pytest.mark.parametrize(
    "argv, serve",
    [
        (["serve"], True),
        (["serve", "--port", "9000", "--host", "::1"], True),
        (["serve", "-c", "s2t"], False),  # a file named serve, as before
        (["serve", "--from=cn-s", "--to", "cn-tw"], False),
        (["-c", "s2t", "serve"], False),
        (["serve", "--", "-c"], True),
        (["serve", "-h"], True),
        (["serve", "--version"], True),
        (["serve", "-cs2t"], False),
        (["serve", "--config=s2t", "-h"], False),
        (["detect", "serve"], False),
    ],
)
def test_which_command_lines_serve(argv, serve):
    from lumo_cli.options import names_serve

    assert names_serve(argv) is serve


def test_lumo_serve_help_and_a_missing_extra(tmp_path):
    import subprocess
    import sys

    command = [sys.executable, "-m", "lumo_cli", "serve"]
    shown = subprocess.run([*command, "-h"], capture_output=True, text=True)
    assert shown.returncode == 0 and shown.stdout.startswith("usage: lumo serve [-h] [--host")
    # An environment without the serve extra: starlette cannot be imported.
    (tmp_path / "starlette").mkdir()
    (tmp_path / "starlette" / "__init__.py").write_text("raise ImportError(name='starlette')")
    environment = {**os.environ, "PYTHONPATH": os.pathsep.join([str(tmp_path), *sys.path])}
    missing = subprocess.run(command, capture_output=True, text=True, env=environment)
    assert (missing.returncode, missing.stderr) == (1, "lumo: serve: starlette is missing; "
                                                   "install lumo with the serve extra: "
                                                   "pip install 'lumo[serve]'\n")  # fmt: skip


def _listening(port):
    """The local addresses listening on `port`, from the kernel's tables."""
    found = set()
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(table) as lines:
            for line in list(lines)[1:]:
                local, state = line.split()[1], line.split()[3]
                address, local_port = local.split(":")
                if int(local_port, 16) == port and state == "0A":
                    found.add(address)
    return found


def _start_server(output: int) -> tuple[int, subprocess.Popen[bytes]]:
    """`lumo serve` in a process of its own, on a free port of 127.0.0.1,
    with its standard output and error sent to `output`."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    server = subprocess.Popen([sys.executable, "-m", "lumo_cli", "serve", "--port", str(port)],
                              stdout=output, stderr=output)  # fmt: skip
    return port, server


def test_lumo_serve_listens_on_loopback_alone_by_default():
    import time

    import httpx

    port, server = _start_server(subprocess.PIPE)
    try:
        for _ in range(100):
            if _listening(port):
                break
            time.sleep(0.1)
        assert _listening(port) == {"0100007F"}  # 127.0.0.1
        answer = httpx.post(f"http://127.0.0.1:{port}/api/convert",
                            json={"text": "头发", "config": "s2t"})  # fmt: skip
        assert answer.json() == {"text": "頭髮"}
        second = subprocess.run([sys.executable, "-m", "lumo_cli", "serve", "--port", str(port)],
                                capture_output=True, text=True)  # fmt: skip
        assert (second.returncode, second.stderr) == (
            1,
            f"lumo: serve: cannot listen on 127.0.0.1:{port}: Address already in use\n",
        )
    finally:
        server.terminate()
        server.wait(timeout=10)
    assert b"Traceback" not in server.stderr.read()


def test_file_conversions_do_not_wait_on_each_other_for_threads():
    """More file conversions at once than the shared pool has threads: each
    conversion's worker and relay must not take threads the others need."""
    import asyncio

    import anyio.to_thread
    import httpx

    data = "头发干了。\n".encode() * 400_000  # 6.4 MB: more pieces than the queue holds

    async def convert_three():
        anyio.to_thread.current_default_thread_limiter().total_tokens = 2
        transport = httpx.ASGITransport(app=create_app())
        async with httpx.AsyncClient(transport=transport, base_url="http://test") as client:
            calls = [client.post("/api/convert-file?config=s2t", content=data) for _ in range(3)]
            return await asyncio.wait_for(asyncio.gather(*calls), timeout=120)

    answers = asyncio.run(convert_three())
    assert [len(answer.content) for answer in answers] == [len(data)] * 3


DOCS = Path(__file__).resolve().parents[2] / "docs" / "serve.md"


def _docs_api_examples():
    """The console blocks of docs/serve.md left to this test: `$ ` lines and
    what each prints."""
    blocks = re.findall(r"<!-- skip: next -->\n```console\n(.*?)```", DOCS.read_text(), re.S)
    steps = []
    for block in blocks:
        for line in block.splitlines():
            if line.startswith("$ "):
                steps.append((line[2:], []))
            else:
                steps[-1][1].append(line)
    return steps


def test_the_docs_api_examples(tmp_path):
    import time

    import httpx

    port, server = _start_server(subprocess.DEVNULL)
    try:
        for _ in range(100):
            try:
                httpx.get(f"http://127.0.0.1:{port}/api/configs")
                break
            except httpx.TransportError:
                time.sleep(0.1)
        steps = _docs_api_examples()
        assert len(steps) >= 10
        for command, expected in steps:
            command = command.replace("127.0.0.1:8000", f"127.0.0.1:{port}")
            result = subprocess.run(["bash", "-c", command], cwd=tmp_path, capture_output=True)
            printed = result.stdout.decode().rstrip("\n").split("\n")
            assert printed == (expected or [""]), command
    finally:
        server.terminate()
        server.wait(timeout=10)
