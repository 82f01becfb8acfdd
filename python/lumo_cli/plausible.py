"""Which alternatives of an explained span matter: the filter behind
``--plausible`` and the page's default view.

A span of several characters is a phrase the dictionaries chose between
({影片|視訊}, {幹了|乾了}): all its alternatives stay. A span of one
character is one where the longest match found no phrase; an alternative
that the phrase tables write for that character only in a few set phrases
(鞦 in 鞦韆, 瞭 in 瞭解), which the match already tried here, is a rare form
on its own and is left out. rare_alternatives.py holds those, generated
from the dictionaries by tools/gen_rare_alternatives.py, which gives the
exact rule.
"""

from __future__ import annotations

from .rare_alternatives import RARE


def plausible_alternatives(source: str, alternatives: tuple[str, ...]) -> tuple[str, ...]:
    """The alternatives of the span `source` that are plausible in its
    place; none when every one is a rare form."""
    rare = RARE.get(source, "") if len(source) == 1 else ""
    if not rare:
        return alternatives
    return tuple(alternative for alternative in alternatives if alternative not in rare)
