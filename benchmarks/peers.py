"""One shape for lumo and the libraries benchmarks/compare.py measures it against.

A converter adapter has `supports(config)`, `build(config)` (a callable from str to str) and
`one_shot(text, config)`; constructing one raises ImportError when its library is not installed in
this interpreter. Libraries without converter objects have `has_builder = False`: their `build`
only picks a function.
"""

import importlib
import os
from importlib import metadata

CONFIGS = ("s2t", "t2s", "s2twp", "tw2sp", "s2hkp", "hk2sp", "t2jp", "jp2t")
# name: (module, function); each module is also its distribution's name
DETECTORS = {"lumo": ("lumo", "detect"), "hanzidentifier": ("hanzidentifier", "identify")}


def installed(dist):
    try:
        return metadata.version(dist)
    except metadata.PackageNotFoundError:
        return None


def detector(name):
    module, function = DETECTORS[name]
    return getattr(importlib.import_module(module), function)


class Lumo:
    dist, has_builder = "lumo", True

    def __init__(self):
        import lumo

        self.lumo = lumo

    def supports(self, config):
        return config in self.lumo.configs()

    def build(self, config):
        return self.lumo.Converter(config).convert

    def one_shot(self, text, config):
        return self.lumo.convert(text, config)


class LumoOneThread(Lumo):
    """lumo held to one thread: it converts long texts in pieces, one thread per processor,
    unless LUMO_THREADS says otherwise."""

    def __init__(self):
        os.environ["LUMO_THREADS"] = "1"
        super().__init__()


class OpenCC:
    """The opencc package (C++ core). Its configurations are named with or without ".json"
    depending on the version; the first name this version accepts is the one that gets timed."""

    dist, has_builder, names = "opencc", True, ("{}.json", "{}")

    def __init__(self):
        # opencc-python-reimplemented installs a module of the same name.
        if not installed(self.dist) or installed("opencc-python-reimplemented"):
            raise ImportError(f"{self.dist} is not installed")
        import opencc

        self.opencc = opencc

    def supports(self, config):
        try:
            self.build(config)
        except Exception:
            return False
        return True

    def build(self, config):
        error = None
        for name in self.names:
            try:
                return self.opencc.OpenCC(name.format(config)).convert
            except Exception as e:
                error = e
        raise error

    def one_shot(self, text, config):
        return self.build(config)(text)


class OpenCCReimplemented(OpenCC):
    dist, names = "opencc-python-reimplemented", ("{}",)

    def __init__(self):
        if not installed(self.dist):
            raise ImportError(f"{self.dist} is not installed")
        import opencc

        self.opencc = opencc


class Functions:
    """A library of plain functions, one per configuration it can stand in for."""

    has_builder = False

    def supports(self, config):
        return config in self.calls

    def build(self, config):
        return self.calls[config]

    def one_shot(self, text, config):
        return self.calls[config](text)


class Zhconv(Functions):
    dist = "zhconv"
    # Its locales only approximate lumo's configurations.
    locales = {"s2t": "zh-hant", "t2s": "zh-hans", "s2twp": "zh-tw", "tw2sp": "zh-hans"}
    locales.update(s2hkp="zh-hk", hk2sp="zh-hans")

    def __init__(self):
        import zhconv

        self.calls = {
            config: lambda text, locale=locale: zhconv.convert(text, locale)
            for config, locale in self.locales.items()
        }


class HanziConv(Functions):
    dist = "hanziconv"

    def __init__(self):
        from hanziconv import HanziConv

        self.calls = {"s2t": HanziConv.toTraditional, "t2s": HanziConv.toSimplified}


CONVERTERS = {
    "lumo": Lumo,
    "lumo-1t": LumoOneThread,
    "opencc": OpenCC,
    "opencc-reimpl": OpenCCReimplemented,
    "zhconv": Zhconv,
    "hanziconv": HanziConv,
}
