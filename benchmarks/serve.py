"""Load `lumo serve` on loopback and measure it: many clients at once on the JSON routes, and one
large Big5 file through /api/convert-file with the server's peak memory. From the repository root,
with lumo and the serve-test extra installed (or PYTHONPATH naming a build and python/):

    python benchmarks/serve.py [--clients 20] [--requests 200] [--file-mb 200] [--json]

The server is started as users start it, `python -m lumo_cli serve --port P`, in its own process.

  load       --requests POST /api/convert calls of a 2,000-character paragraph (s2twp), sent by
             --clients clients at once (each with its own connection, the requests split evenly);
             every answer is checked; latency percentiles in milliseconds, and requests per second
  busy       the same load again while one client converts a 60 MB text through /api/convert:
             the small requests must not wait for the large one, since conversions run on worker
             threads and release the interpreter
  file       (run before busy, so that the peak is its own) a Big5 file of --file-mb MB (a
             Traditional paragraph repeated) POSTed to /api/convert-file?config=t2tw&encoding=big5
             from disk, the answer read as it streams and checked against the paragraph converted;
             MB/s, and the server's peak resident set (VmHWM) before and after, which stays near
             its start whatever the file's size

--json prints the figures as one JSON object (tests/python/test_serve_load.py runs a short form).
"""

from __future__ import annotations

import argparse
import asyncio
import hashlib
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import httpx
import lumo

PARAGRAPH = (
    "我们的软件在网络上发布了新版本，用户可以下载后安装。头发干了以后，她把面条放进锅里。"
    "视频里的人说这个程序的内存不够用，需要重新编写。秋天的时候，我们一起去公园里散步。\n"
) * 20  # about 2,000 characters
BUSY_BYTES = 60_000_000  # the large text of the busy run
TRADITIONAL = "頭髮乾了以後，她把麵條放進鍋裡。後面的臺灣軟體在網路上發佈了新版本。\r\n" * 100


def free_port() -> int:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start_server(port: int) -> subprocess.Popen:
    server = subprocess.Popen(
        [sys.executable, "-m", "lumo_cli", "serve", "--port", str(port)],
        stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE,
    )
    for _ in range(200):
        try:
            httpx.get(f"http://127.0.0.1:{port}/api/configs", timeout=1)
            return server
        except httpx.TransportError:
            time.sleep(0.05)
    server.kill()
    raise RuntimeError("the server did not start: " + server.stderr.read().decode())


def peak_rss_mb(pid: int) -> float:
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1]) / 1024
    return float("nan")


def percentiles(samples: list[float]) -> dict[str, float]:
    ordered = sorted(samples)

    def at(share: float) -> float:
        return round(ordered[min(len(ordered) - 1, int(share * len(ordered)))] * 1000, 1)

    return {"p50": at(0.50), "p90": at(0.90), "p99": at(0.99), "max": at(1.0)}


async def load(base: str, clients: int, requests: int) -> dict[str, object]:
    expected = lumo.convert(PARAGRAPH, "s2twp")
    latencies: list[float] = []
    errors: list[str] = []
    barrier = asyncio.Event()

    async def client(count: int) -> None:
        async with httpx.AsyncClient(base_url=base, timeout=120) as session:
            await barrier.wait()
            for _ in range(count):
                start = time.perf_counter()
                answer = await session.post(
                    "/api/convert", json={"text": PARAGRAPH, "config": "s2twp"}
                )
                latencies.append(time.perf_counter() - start)
                if answer.status_code != 200 or answer.json() != {"text": expected}:
                    errors.append(f"{answer.status_code} {answer.text[:80]}")

    shares = [requests // clients + (index < requests % clients) for index in range(clients)]
    tasks = [asyncio.create_task(client(count)) for count in shares]
    await asyncio.sleep(0.2)  # every client connected and waiting
    start = time.perf_counter()
    barrier.set()
    await asyncio.gather(*tasks)
    elapsed = time.perf_counter() - start
    return {
        "requests": len(latencies),
        "errors": len(errors),
        "first_errors": errors[:3],
        "per_second": round(len(latencies) / elapsed),
        "ms": percentiles(latencies),
    }


# The large conversion's client, in a process of its own so that its JSON work does not hold
# up the measuring clients.
BIG_CLIENT = """
import sys, httpx
with open(sys.argv[2], "rb") as body:
    answer = httpx.post(sys.argv[1] + "/api/convert", content=body.read(), timeout=600)
sys.exit(answer.status_code != 200)
"""


def busy_load(base: str, clients: int, requests: int) -> dict[str, object]:
    big = PARAGRAPH * (BUSY_BYTES // len(PARAGRAPH.encode()))
    with tempfile.NamedTemporaryFile(suffix=".json", dir=os.environ.get("TMPDIR")) as file:
        file.write(json.dumps({"text": big, "config": "s2twp"}, ensure_ascii=False).encode())
        file.flush()
        start = time.perf_counter()
        client = subprocess.Popen([sys.executable, "-c", BIG_CLIENT, base, file.name])
        time.sleep(0.8)  # the large body is on its way, then parsed and converted
        figures = asyncio.run(load(base, clients, requests))
        figures["big_still_running_after_load"] = client.poll() is None
        figures["big_failed"] = client.wait() != 0
        figures["big_seconds"] = round(time.perf_counter() - start, 2)
    return figures


def big_file(base: str, pid: int, megabytes: int) -> dict[str, object]:
    paragraph = TRADITIONAL.encode("big5")
    converted = lumo.convert(TRADITIONAL, "t2tw").encode("big5")
    copies = megabytes * 1_000_000 // len(paragraph)
    expected = hashlib.sha256()
    with tempfile.NamedTemporaryFile(suffix=".txt", dir=os.environ.get("TMPDIR")) as file:
        for _ in range(copies):
            file.write(paragraph)
            expected.update(converted)
        file.flush()
        size = file.tell()
        before = peak_rss_mb(pid)

        def body():
            with open(file.name, "rb") as source:
                while data := source.read(1 << 20):
                    yield data

        got = hashlib.sha256()
        received = 0
        start = time.perf_counter()
        with httpx.stream(
            "POST",
            f"{base}/api/convert-file?config=t2tw&encoding=big5",
            content=body(),
            timeout=600,
        ) as answer:
            assert answer.status_code == 200, answer.read()[:200]
            for data in answer.iter_bytes():
                got.update(data)
                received += len(data)
        elapsed = time.perf_counter() - start
    return {
        "mb": round(size / 1e6),
        "seconds": round(elapsed, 1),
        "mb_per_second": round(size / 1e6 / elapsed, 1),
        "output_matches": got.digest() == expected.digest() and received == copies * len(converted),
        "peak_rss_mb_before": round(before),
        "peak_rss_mb_after": round(peak_rss_mb(pid)),
    }


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--clients", type=int, default=20)
    parser.add_argument("--requests", type=int, default=200)
    parser.add_argument("--file-mb", type=int, default=200)
    parser.add_argument("--no-busy", action="store_true", help="leave out the busy run")
    parser.add_argument("--json", action="store_true")
    args = parser.parse_args()
    port = free_port()
    server = start_server(port)
    base = f"http://127.0.0.1:{port}"
    try:
        figures: dict[str, object] = {
            "cpus": os.cpu_count(),
            "load": asyncio.run(load(base, args.clients, args.requests)),
        }
        figures["file"] = big_file(base, server.pid, args.file_mb)
        if not args.no_busy:
            figures["busy"] = busy_load(base, args.clients, args.requests)
    finally:
        server.terminate()
        server.wait(timeout=30)
    if args.json:
        print(json.dumps(figures))
        return
    for name, values in figures.items():
        print(f"{name:6} {values}")


if __name__ == "__main__":
    main()
