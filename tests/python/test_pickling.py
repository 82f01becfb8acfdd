"""Converters and detections pickle as their recipe, and cross into other
processes."""

import copy
import importlib
import pickle
from pathlib import Path

import lumo
import pytest

TEXT = "我的U盘坏了，头发干了。後來乾燥的鼠标\n"
EXAMPLES = Path(__file__).resolve().parents[2] / "docs" / "examples"


def made(config):
    if config == "region":
        return lumo.Converter.for_region("cn-s", "cn-hk")
    if config == "custom":
        return lumo.Converter("s2twp").with_custom("鼠标 老鼠|U盘 V|干 X")
    if config == "custom-empty":
        return lumo.Converter("s2t").with_custom({"": "x", "头": "", "坏了": "好 了"})
    return lumo.Converter(config)


@pytest.mark.parametrize("config", [*lumo.configs(), "region", "custom", "custom-empty"])
@pytest.mark.parametrize("protocol", [0, pickle.DEFAULT_PROTOCOL, pickle.HIGHEST_PROTOCOL])
def test_converters_round_trip_as_their_recipe(config, protocol):
    converter = made(config)
    data = pickle.dumps(converter, protocol)
    copied = pickle.loads(data)
    assert type(copied) is lumo.Converter and copied is not converter
    assert copied.config == converter.config
    assert copied.convert(TEXT) == converter.convert(TEXT)
    assert len(data) < 200  # the name and the words, never the tables


def test_detections_round_trip_and_copies_are_the_objects():
    detection = lumo.detect("我的隨身碟壞了")
    copied = pickle.loads(pickle.dumps(detection))
    assert (copied.region, copied.confidence, repr(copied)) == (
        detection.region,
        detection.confidence,
        repr(detection),
    )
    for immutable in (detection, lumo.Converter("s2t")):
        assert copy.copy(immutable) is immutable
        assert copy.deepcopy([immutable])[0] is immutable


@pytest.mark.parametrize(
    ("restore", "arguments", "error"),
    [
        (lumo.Detection._restore, ("xx", 3), ValueError),
        (lumo.Detection._restore, ("cn-tw", 256), ValueError),
        (lumo.Detection._restore, ("cn-tw", "3"), ValueError),
        (lumo.Converter._restore, ("s2x", {"a": "b"}), ValueError),
        (lumo.Converter._restore, ("s2t", 3), ValueError),
        (lumo.Converter._restore, ("s2t", {"a": 3}), ValueError),
    ],
)
def test_a_forged_pickle_is_refused(restore, arguments, error):
    with pytest.raises(error):
        restore(*arguments)


@pytest.mark.parametrize("start_method", ["fork", "spawn"])
def test_the_process_pool_example_converts_a_folder(tmp_path, monkeypatch, start_method):
    source = tmp_path / "in"
    (source / "sub").mkdir(parents=True)
    texts = {"a.txt": TEXT * 50, "sub/b.txt": "汉字\r\n" * 10, "c.txt": ""}
    for name, text in texts.items():
        (source / name).write_bytes(text.encode("utf-8"))
    # The docs' example (docs/examples/process_pool.py) as an importable module, as workers
    # started afresh need one.
    monkeypatch.syspath_prepend(str(EXAMPLES))
    module = importlib.import_module("process_pool")
    module.convert_folder(source, tmp_path / "out", "s2twp", workers=2, start_method=start_method)
    converter = lumo.Converter("s2twp")
    for name, text in texts.items():
        written = (tmp_path / "out" / name).read_bytes().decode("utf-8")
        assert written == converter.convert(text)
