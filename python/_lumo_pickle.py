"""How pickled lumo objects are made again.

lumo's classes report the module `builtins`, where pickle cannot find them,
so their pickles name these functions instead: a Converter pickles as its
configuration name and custom pairs, a Detection as its region code and
confidence. Not for direct use.
"""

import lumo


def converter(config, pairs=()):
    """The Converter for `config` with the custom `pairs`, if any."""
    if not pairs:
        return lumo.Converter(config)
    # As a dict: the one shape that takes every pair a converter may hold
    # (an empty key too), and the later of two equal keys wins in both.
    return lumo.Converter._restore(config, dict(pairs))


def detection(region, confidence):
    """The Detection of `region` with `confidence`."""
    return lumo.Detection._restore(region, confidence)
