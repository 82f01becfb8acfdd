"""lumo serve under load on loopback, the short form of benchmarks/serve.py:
200 requests from 20 clients at once without an error, and a 60 MB Big5 file
through /api/convert-file in bounded memory."""

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("starlette")
pytest.importorskip("uvicorn")
pytest.importorskip("httpx")

BENCHMARK = Path(__file__).resolve().parents[2] / "benchmarks" / "serve.py"


def test_many_clients_and_a_large_file(tmp_path):
    environment = {**os.environ, "TMPDIR": str(tmp_path)}
    command = [sys.executable, BENCHMARK, "--clients", "20", "--requests", "200",
               "--file-mb", "60", "--no-busy", "--json"]  # fmt: skip
    result = subprocess.run(command, capture_output=True, check=True, env=environment)
    figures = json.loads(result.stdout)
    assert figures["load"]["requests"] == 200 and figures["load"]["errors"] == 0
    assert figures["file"]["output_matches"]
    # The file is 60 MB and its answer as much: the server holds a few
    # pieces of it, not the file.
    assert figures["file"]["peak_rss_mb_after"] - figures["file"]["peak_rss_mb_before"] < 40
