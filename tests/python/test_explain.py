"""Converter.explain: spans that partition the input and the output, with
the other outputs the dictionaries allow where a conversion chose."""

import functools
import json
import random
from pathlib import Path

import lumo
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from test_long_texts import TEXT, convert_with

ROOT = Path(__file__).resolve().parents[2]
CUSTOM = [None, {"干": "X", "头发": "頭髮!", "了": ""}]
ALPHABET = "干了头发后里面乾幹髮發着著台臺U盘OK \n\r😀の。"


@functools.cache
def dictionary(name):
    """key -> values of one dictionary text, from the data or from a build's derived texts."""
    for folder in [ROOT / "data" / "dictionary", *ROOT.glob("out/wheel/*/generated/dictionary")]:
        if (folder / f"{name}.txt").exists():
            entries = {}
            for line in (folder / f"{name}.txt").read_text(encoding="utf-8").splitlines():
                key, tab, values = line.partition("\t")
                if tab and not line.startswith("#") and values.split():
                    entries[key] = values.split()
            return entries
    pytest.skip(f"{name}.txt is derived at build time and no build tree holds it")


def merged(spec):
    """The one lexicon a description names: its texts read in order, later entries winning."""
    names = [d["file"] for d in spec["dicts"]] if spec.get("type") == "group" else [spec["file"]]
    entries = {}
    for name in names:
        entries.update(dictionary(name.split(".")[0]))
    return entries


class Reference:
    """Conversion and explanation, plainly, stage by stage, with every value kept."""

    def __init__(self, config, custom):
        spec = json.loads((ROOT / "data" / "config" / f"{config}.json").read_text("utf-8"))
        self.custom = {key: [value] for key, value in (custom or {}).items()}
        self.segmentation = merged(spec["segmentation"]["dict"]) if "segmentation" in spec else None
        self.stages = [merged(stage["dict"]) for stage in spec["conversion_chain"]]

    def match(self, lexicon, text, pos):
        for group in (self.custom, lexicon):
            for end in range(len(text), pos, -1):
                if text[pos:end] in group:
                    return end - pos, group[text[pos:end]], group is lexicon
        return 0, None, False

    def segments(self, text):
        if self.segmentation is None:
            return [text] if text else []
        found, run, pos = [], 0, 0
        while pos < len(text):
            length = self.match(self.segmentation, text, pos)[0]
            if length == 0:
                pos += 1
                continue
            found += [text[run:pos]] if run < pos else []
            found.append(text[pos : pos + length])
            pos += length
            run = pos
        return found + ([text[run:]] if run < len(text) else [])

    def stage(self, k, text, ascii_led):
        """The output and the atoms: (start in text, start in output, further values)."""
        out, atoms, pos = "", [], 0
        while pos < len(text):
            length, values, ambiguous = (0, None, False)
            if not (ascii_led and text[pos] < "\x80"):
                length, values, ambiguous = self.match(self.stages[k], text, pos)
            atoms.append((pos, len(out), values[1:] if ambiguous else []))
            out += values[0] if length else text[pos]
            pos += length or 1
        return out, atoms

    def explain(self, text):
        spans = []
        for segment in self.segments(text):
            levels, atoms, led = [segment], [], []
            for k in range(len(self.stages)):
                led.append(levels[-1][:1] < "\x80" and levels[-1] != "")
                out, stage_atoms = self.stage(k, levels[-1], led[-1])
                levels.append(out)
                atoms.append(stage_atoms)
            # Bounds: atom starts at every level, followed down the stages.
            bounds = (
                [[a[0]] for a in atoms[0]] + [[len(segment)]] if atoms else [[0], [len(segment)]]
            )
            for k, stage_atoms in enumerate(atoms):
                starts = {a[0]: a[1] for a in stage_atoms}
                starts[len(levels[k])] = len(levels[k + 1])
                bounds = [b + [starts[b[k]]] for b in bounds if b[k] in starts]
            for b, e in zip(bounds, bounds[1:]):
                target = levels[-1][b[-1] : e[-1]]
                alternatives = []
                for k, stage_atoms in enumerate(atoms):
                    for i, (start, out_start, further) in enumerate(stage_atoms):
                        if not b[k] <= start < e[k]:
                            continue
                        out_end = stage_atoms[i + 1][1] if i + 1 < len(stage_atoms) else None
                        out_end = len(levels[k + 1]) if out_end is None else out_end
                        for value in further:
                            level = levels[k + 1]
                            text_ = level[b[k + 1] : out_start] + value + level[out_end : e[k + 1]]
                            for later in range(k + 1, len(self.stages)):
                                leads = (
                                    text_[:1] < "\x80" and text_ != "" if b[0] == 0 else led[later]
                                )
                                text_ = self.stage(later, text_, leads)[0]
                            if text_ != target and text_ not in alternatives:
                                alternatives.append(text_)
                spans.append((segment[b[0] : e[0]], target, tuple(alternatives)))
        return merge_plain(spans)


def merge_plain(spans):
    merged_spans = []
    for source, target, alternatives in spans:
        if merged_spans and not alternatives and not merged_spans[-1][2]:
            previous = merged_spans.pop()
            source, target = previous[0] + source, previous[1] + target
        if source or target or alternatives:
            merged_spans.append((source, target, alternatives))
    return merged_spans


def vocabulary():
    words = ["U盘", "OK", "A", " ", "\n", "の", "😀", "。", "干", "了", "头发", "后", "里", "发"]
    rng = random.Random(3)
    for name in (
        "STPhrases",
        "STCharacters",
        "TSCharacters",
        "TWPhrases",
        "HKVariants",
        "JPShinjitaiCharacters",
    ):
        entries = dictionary(name)
        several = [key for key, values in entries.items() if len(values) > 1]
        words += rng.sample(several, min(40, len(several)))
        words += [v for key in rng.sample(several, min(20, len(several))) for v in entries[key]]
    return words


@pytest.mark.parametrize("config", lumo.configs())
@pytest.mark.parametrize("custom", CUSTOM, ids=["plain", "custom"])
def test_explanations_match_a_plain_reference(config, custom):
    reference = Reference(config, custom)
    converter = lumo.Converter(config)
    if custom:
        converter = converter.with_custom(custom)
    rng, words = random.Random(config), vocabulary()
    for _ in range(40):
        text = "".join(rng.choice(words) for _ in range(rng.randrange(1, 30)))
        assert converter.explain(text) == reference.explain(text), text


@settings(max_examples=200, deadline=None)
@given(
    st.sampled_from(lumo.configs()),
    st.sampled_from(CUSTOM),
    st.text(
        alphabet=st.sampled_from("干了头发后里面乾幹髮發着著台臺U盘OK \n\r😀の。"), max_size=60
    ),
)
def test_spans_partition_the_input_and_the_output(config, custom, text):
    converter = lumo.Converter(config)
    if custom:
        converter = converter.with_custom(custom)
    spans = converter.explain(text)
    assert "".join(source for source, _, _ in spans) == text
    assert "".join(target for _, target, _ in spans) == converter.convert(text)
    # In pieces, the same choices in the same places.
    streamed = list(converter.explain_stream(text[i : i + 7] for i in range(0, len(text), 7)))
    assert "".join(s + "\0" + t for s, t, a in streamed if a) == "".join(
        s + "\0" + t for s, t, a in spans if a
    )
    assert "".join(target for _, target, _ in streamed) == converter.convert(text)
    for (_, _, before), (_, target, alternatives) in zip([("", "", ("x",)), *spans], spans):
        assert before or alternatives  # plain spans next to each other come as one
        assert target not in alternatives and len(set(alternatives)) == len(alternatives)


@pytest.mark.parametrize("config", ["s2t", "s2twp", "t2s", "jp2t"])
def test_long_texts_explain_as_threads_convert(monkeypatch, config):
    converter = lumo.Converter(config)
    spans = converter.explain(TEXT)
    assert "".join(t for _, t, _ in spans) == convert_with(
        monkeypatch, 2, lambda: converter.convert(TEXT)
    )


@pytest.mark.parametrize(
    ("config", "text", "span"),
    [
        ("s2t", "干", ("干", "幹", ("乾", "干", "榦"))),
        ("s2twp", "干", ("干", "幹", ("乾", "干", "榦"))),
        ("s2t", "他的头发", ("他的头发", "他的頭髮", ())),
    ],
)
def test_a_choice_lists_the_other_values_as_they_come_out(config, text, span):
    assert lumo.Converter(config).explain(text) == [span]


def test_custom_words_are_never_ambiguous():
    assert lumo.Converter("s2t").with_custom({"干": "乾"}).explain("干") == [("干", "乾", ())]
