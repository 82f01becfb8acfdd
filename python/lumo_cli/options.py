"""The command line: its three forms, their options and their help."""

from __future__ import annotations

import argparse
import os
import textwrap
from dataclasses import dataclass
from typing import NoReturn

import lumo

from .detection import SAMPLE_BYTES
from .errors import UsageError, shown_name
from .streaming import CHUNK_BYTES, MAX_HELD_MIB
from .text_codecs import ENCODINGS

USAGE = """\
lumo (-c NAME | --from CODE --to CODE) [options] [--] [FILE ...]
       lumo detect [--encoding ENC] [--json] [--] [FILE ...]
       lumo configs
       lumo serve [--host ADDRESS] [--port N] [--max-bytes N] [--max-file-bytes N]"""

_ENCODINGS_NOTE = textwrap.fill(
    f"encodings: {', '.join(ENCODINGS.values())}, or any other name Python knows for them."
    " UTF-16 input must start with a byte order mark; UTF-16 output is little-endian with one."
    " Line endings and a leading byte order mark pass through unchanged.",
    width=76,
)

EPILOG = f"""\
commands:
  lumo detect [FILE ...]  print "path<TAB>region<TAB>confidence" per input,
                          or "path<TAB>none"; --json writes JSON lines. Only
                          the first {SAMPLE_BYTES >> 20} MiB of each input are read.
  lumo configs            list the configurations, with what each converts
                          from and to
  lumo serve              a local page to convert text and review its
                          choices, and an HTTP API ('lumo serve -h'; needs
                          the serve extra: pip install 'lumo[serve]')

Without FILE, or with "-", lumo reads standard input; after "--", every
argument is a file, even one starting with "-". Without -o it writes
standard output, as the text arrives: from a pipe or a terminal, each line
as soon as it is read, under every configuration. -c also takes a
configuration's file name, s2t.json, or a path ending in one; the
configurations are built in, and no file is read.

Output files are written under a temporary name in their folder (which
must be writable) and renamed into place only when the whole input
converted; after an error, Ctrl-C, SIGTERM or SIGHUP none is left. With
several inputs, -o names an existing folder, or ends with "/" to make one.
A replaced file keeps its mode, and its owner, group and extended
attributes where lumo may set them; set-id bits whose owner or group cannot
be kept are dropped. --in-place replaces the file's name: other hard links
to it keep the old text, as with "sed -i".

{_ENCODINGS_NOTE}

errors are one line each, "lumo: FILE: ...". Offsets in "cannot decode"
errors count bytes of the input; offsets in "cannot encode" errors count
characters of the converted text. Both count from 0. A file name holding a
character that is not printable (a line feed, a tab), or starting with a
quote, is written as a Python string literal, 'two\\nlines.txt', in errors
and in the lines of lumo detect.

exit status: 0 done, 1 an input, output or conversion error (the other
inputs are still converted), 2 a wrong command line, 128 + N after signal
N (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP; a signal ignored at the start, as
under nohup, stays ignored), 141 standard output closed early (as in
"lumo ... | head").
"""


class _Parser(argparse.ArgumentParser):
    """Reports a wrong command line as one line and exit status 2."""

    def error(self, message: str) -> NoReturn:
        raise UsageError(f"{message} (see '{self.prog} -h')")


def _whole_number(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        value = -1
    if value < 0:
        raise argparse.ArgumentTypeError(f"expected a whole number, got {text!r}")
    return value


def _positive(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        value = 0
    if value < 1:
        raise argparse.ArgumentTypeError(f"expected a positive whole number, got {text!r}")
    return value


@dataclass(frozen=True)
class ConvertOptions:
    config: str | None
    regions: tuple[str, str] | None
    inputs: list[str]
    output: str | None
    in_place: bool
    encoding: str
    output_encoding: str
    replace_errors: bool
    custom_files: list[str]
    custom_texts: list[str]
    jobs: int
    quiet: bool
    chunk_bytes: int
    explain: str | None = None  # "ambiguities" or "mark"
    max_held_mib: int = MAX_HELD_MIB
    plausible: bool = False  # only the alternatives that matter, with `explain`


@dataclass(frozen=True)
class DetectOptions:
    inputs: list[str]
    encoding: str
    as_json: bool


def _convert_parser() -> _Parser:
    parser = _Parser(
        prog="lumo",
        usage=USAGE,
        description="Convert Chinese text between Simplified, Traditional, Taiwan, "
        "Hong Kong and Japanese kanji forms.",
        epilog=EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    add = parser.add_argument
    add("files", nargs="*", metavar="FILE", help="input files (default: standard input)")
    add("-c", "--config", metavar="NAME",
        help="configuration, such as s2twp or s2twp.json ('lumo configs')")  # fmt: skip
    add("--from", dest="source", metavar="CODE", help="region code of the input, such as cn-s")
    add("--to", dest="target", metavar="CODE", help="region code of the output, such as cn-tw")
    add("-i", "--input", action="append", default=[], metavar="FILE", help="an input file")
    add(
        "-o",
        "--output",
        metavar="PATH",
        help="output file, or folder (an existing one, or a path ending in / to make one) "
        "(default: standard output)",
    )
    add("--in-place", action="store_true", help="replace each input file with its conversion")
    add("--encoding", default="utf-8", metavar="ENC", help="input encoding (default: UTF-8)")
    add("--output-encoding", default="utf-8", metavar="ENC",
        help="output encoding (default: UTF-8)")  # fmt: skip
    add(
        "--errors",
        choices=["strict", "replace"],
        default="strict",
        help="a character the output encoding cannot hold: an error (strict, the default) "
        "or '?' (replace)",
    )
    add("--custom", action="append", default=[], metavar="FILE",
        help="custom words: 'key value' lines, or JSON: an object of strings or an array "
        "of [key, value] pairs")  # fmt: skip
    add("--custom-text", action="append", default=[], metavar="TEXT",
        help="custom words as 'key value|key value'")  # fmt: skip
    add("-j", "--jobs", type=_positive, default=1, metavar="N",
        help="convert N files at a time in N processes (with -o FOLDER or --in-place)")  # fmt: skip
    shown = parser.add_mutually_exclusive_group()
    shown.add_argument("--ambiguities", dest="explain", action="store_const", const="ambiguities",
                       help="write JSON lines, one per place where the conversion chose between "
                       "values, then a summary line, instead of the text")  # fmt: skip
    shown.add_argument("--mark", dest="explain", action="store_const", const="mark",
                       help="write the text with each such place as {chosen|other}")  # fmt: skip
    add("--plausible", action="store_true",
        help="with --ambiguities or --mark: leave out alternatives that are rare forms on their "
        "own, such as 鞦 for 秋 outside 鞦韆 (see docs/serve.md)")  # fmt: skip
    add("--max-held", type=_whole_number, default=MAX_HELD_MIB, metavar="MIB",
        help="the most text held while no safe place to cut it comes, in MiB (from UTF-8 "
        "to UTF-8) or in 2**20 characters (otherwise); an input that needs more fails "
        f"(default: {MAX_HELD_MIB}; 0: no bound)")  # fmt: skip
    add("-q", "--quiet", action="store_true", help="no progress bar")
    add("--version", action="version", version=f"lumo {lumo.__version__}")
    # Small chunks put chunk boundaries everywhere, for tests.
    add("--chunk-size", type=_positive, default=CHUNK_BYTES, help=argparse.SUPPRESS)
    return parser


def _parse(parser: _Parser, argv: list[str]) -> argparse.Namespace:
    """The options of `argv`, given in any order among the files, and the
    files. Everything after the first `--` is a file, whatever it looks like
    (argparse's intermixed parsing does not end the options there in every
    Python version)."""
    files: list[str] = []
    if "--" in argv:
        end = argv.index("--")
        argv, files = argv[:end], argv[end + 1 :]
    args = parser.parse_intermixed_args(argv)
    args.files += files
    return args


def _config_name(text: str) -> str:
    """The configuration -c names. A built-in name may also be written as its
    file name, s2t.json, or as a path ending in that; another path names no
    configuration, since all of them are built in."""
    folder, name = os.path.split(text)
    if name.endswith(".json") and name[: -len(".json")] in lumo.configs():
        return name[: -len(".json")]
    if folder or name.endswith(".json"):
        raise UsageError(
            f"-c {shown_name(text)}: configurations are built in, not read from files;"
            f" choose one of {', '.join(lumo.configs())} (see 'lumo configs')"
        )
    return text


def parse_convert(argv: list[str]) -> ConvertOptions:
    parser = _convert_parser()
    args = _parse(parser, argv)
    regions = None
    if args.source is not None or args.target is not None:
        if args.config is not None:
            parser.error("give either -c NAME or --from CODE --to CODE, not both")
        if args.source is None or args.target is None:
            parser.error("--from and --to go together")
        regions = (args.source, args.target)
    elif args.config is None:
        parser.error("choose a conversion with -c NAME or --from CODE --to CODE")
    if args.plausible and args.explain is None:
        parser.error("--plausible goes with --ambiguities or --mark")
    return ConvertOptions(
        config=None if args.config is None else _config_name(args.config),
        regions=regions,
        inputs=[*args.input, *args.files],
        output=args.output,
        in_place=args.in_place,
        encoding=args.encoding,
        output_encoding=args.output_encoding,
        replace_errors=args.errors == "replace",
        custom_files=args.custom,
        custom_texts=args.custom_text,
        jobs=args.jobs,
        quiet=args.quiet,
        chunk_bytes=args.chunk_size,
        explain=args.explain,
        max_held_mib=args.max_held,
        plausible=args.plausible,
    )


def parse_detect(argv: list[str]) -> DetectOptions:
    parser = _Parser(
        prog="lumo detect",
        description="Print which script variant each input is written in: "
        '"path<TAB>region<TAB>confidence", or "path<TAB>none". Reads the first '
        f"{SAMPLE_BYTES >> 20} MiB of each input.",
    )
    parser.add_argument("files", nargs="*", metavar="FILE", help="default: standard input")
    parser.add_argument("--encoding", default="utf-8", metavar="ENC", help="default: UTF-8")
    parser.add_argument("--json", action="store_true", help="write JSON lines")
    args = _parse(parser, argv)
    return DetectOptions(inputs=args.files, encoding=args.encoding, as_json=args.json)


def parse_configs(argv: list[str]) -> None:
    parser = _Parser(prog="lumo configs", description="List the configurations.")
    parser.parse_args(argv)


@dataclass(frozen=True)
class ServeOptions:
    host: str
    port: int
    max_bytes: int
    max_file_bytes: int


def names_serve(argv: list[str]) -> bool:
    """Whether `argv` is `lumo serve ...`: its first word is "serve" and it
    chooses no conversion (-c, --config, --from or --to before any "--").
    `lumo -c NAME serve`, and `lumo serve -c NAME` as before, convert a file
    named serve."""
    if argv[:1] != ["serve"]:
        return False
    end = argv.index("--") if "--" in argv else len(argv)
    probe = _Parser(add_help=False)
    probe.add_argument("-c", "--config")
    probe.add_argument("--from", dest="source")
    probe.add_argument("--to", dest="target")
    try:
        known, _ = probe.parse_known_args(argv[1:end])
    except UsageError:
        return True
    return known.config is None and known.source is None and known.target is None


def parse_serve(argv: list[str]) -> ServeOptions:
    parser = _Parser(
        prog="lumo serve",
        description="Serve a page to convert text and review the choices the conversion made, "
        "and an HTTP API (/openapi.json), until Ctrl-C.",
        allow_abbrev=False,
    )
    add = parser.add_argument
    add("--host", default="127.0.0.1", metavar="ADDRESS",
        help="the address to listen on (default: 127.0.0.1, this machine alone; 0.0.0.0 "
        "lets every machine that can reach this one use it)")  # fmt: skip
    add("--port", type=_whole_number, default=8000, metavar="N", help="default: 8000")
    add("--max-bytes", type=_positive, default=64 << 20, metavar="N",
        help="the largest JSON request body, in bytes (default: 64 MiB)")  # fmt: skip
    add("--max-file-bytes", type=_positive, default=4 << 30, metavar="N",
        help="the largest file /api/convert-file takes, in bytes; it streams in bounded "
        "memory whatever the size (default: 4 GiB)")  # fmt: skip
    args = parser.parse_args(argv)
    if args.port > 65535:
        parser.error(f"--port: expected at most 65535, got {args.port}")
    return ServeOptions(args.host, args.port, args.max_bytes, args.max_file_bytes)
