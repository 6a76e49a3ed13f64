"""SVG pictures of trees and training examples.

Laid out in one pass up and one pass down the tree (time linear in its
size, no recursion): every node gets an interval of the width as wide as its
own label and the intervals of its children side by side, and is drawn at
the middle of it. Intervals of one row never overlap, so neither do labels;
words stand at the foot, one column per leaf. The TL words keep their order
and stand as near as it allows under the SL words they link to, so that a
monotone alignment draws upright links. Text is monospace, so widths are
known without a font.
"""

import re
import unicodedata
from xml.sax.saxutils import escape

from ._annotator import AlignmentError, FormatError

FONT_SIZE = 14
CHAR_WIDTH = 8.5  # a little over a monospace advance at FONT_SIZE
PAD = 14  # between neighbouring intervals
ROW = 44  # from one tree level to the next
MARGIN = 10
TITLE_ROW = FONT_SIZE + 14  # the example's title line above the tree
UNLINKED = 1e-3  # how little an unlinked TL word's wished place weighs
LINK_SLOPE = 3  # sideways run of the farthest link per unit of the band's height
MAX_BAND = 10 * ROW

# What XML 1.0 cannot hold, and the lone surrogates that stand for bytes that
# were not UTF-8.
_UNWRITABLE = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ud800-\udfff\ufffe\uffff]")


def _clean(text):
    return _UNWRITABLE.sub("\ufffd", text)


def _width(text):
    if text.isascii():
        return len(text) * CHAR_WIDTH
    wide = sum(unicodedata.east_asian_width(c) in "WF" for c in text)
    return (len(text) + wide) * CHAR_WIDTH


def _n(value):
    return f"{value:.1f}"


# How each kind of mark looks, beyond the black text and grey lines.
_LOOK = {
    "word": ' fill="#1a4f9c"',
    "tl": ' fill="#7a1f0a"',
    "link": ' stroke="#3f7fd8" stroke-dasharray="4 3"',
}


def _text(parts, x, y, kind, text):
    parts.append(
        f'<text class="{kind}"{_LOOK.get(kind, "")} x="{_n(x)}" y="{_n(y)}">'
        f"{escape(_clean(text))}</text>"
    )


def _line(parts, kind, x1, y1, x2, y2):
    parts.append(
        f'<line class="{kind}"{_LOOK.get(kind, "")} x1="{_n(x1)}" y1="{_n(y1)}" '
        f'x2="{_n(x2)}" y2="{_n(y2)}"/>'
    )


def _layout(rows, room=None):
    """Centres and levels of the pre-order rows of Tree._flat(); `room`
    maps a leaf's place to the least width its column needs."""
    count = len(rows)
    level = [0] * count
    children = [[] for _ in range(count)]
    for place in range(1, count):
        parent = rows[place][2]
        level[place] = level[parent] + 1
        children[parent].append(place)
    width = [0.0] * count
    inner = [0.0] * count
    for place in range(count - 1, -1, -1):
        label, word, parent, _ = rows[place]
        own = _width(label)
        if word is not None and not children[place]:
            own = max(own, _width(word), room.get(place, 0) if room else 0)
        width[place] = max(own + PAD, inner[place])
        if parent >= 0:
            inner[parent] += width[place]
    left = [0.0] * count
    centre = [0.0] * count
    if count:
        left[0] = MARGIN
    for place in range(count):
        centre[place] = left[place] + width[place] / 2
        at = left[place] + (width[place] - inner[place]) / 2
        for child in children[place]:
            left[child] = at
            at += width[child]
    total = (width[0] if count else 0) + 2 * MARGIN
    return level, children, centre, total


def _svg(width, height, parts):
    head = (
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{_n(width)}" '
        f'height="{_n(height)}" viewBox="0 0 {_n(width)} {_n(height)}" '
        f'font-family="monospace" font-size="{FONT_SIZE}" text-anchor="middle">'
        f'<rect width="100%" height="100%" fill="white"/>'
        '<g stroke="#555" stroke-width="1">'
    )
    return head + "".join(parts) + "</g></svg>"


def _draw_tree(rows, parts, top=MARGIN, room=None):
    """Draws the tree from `top` down, its leaves' columns as wide as `room`
    asks; returns its layout and where its word row stands."""
    level, children, centre, total = _layout(rows, room)
    deepest = max(level, default=0)
    foot = top + (deepest + 1) * ROW + FONT_SIZE
    for place, (label, word, parent, _) in enumerate(rows):
        y = top + level[place] * ROW + FONT_SIZE
        _text(parts, centre[place], y, "label", label)
        for child in children[place]:
            child_y = top + level[child] * ROW
            _line(parts, "edge", centre[place], y + 4, centre[child], child_y)
        if word is not None and not children[place]:
            _line(parts, "edge", centre[place], y + 4, centre[place], foot - FONT_SIZE)
            _text(parts, centre[place], foot, "word", word)
    return centre, total, foot


def tree_svg(tree):
    """The subtree under `tree` as an SVG document (a str)."""
    rows = tree._flat()
    parts = []
    _, total, foot = _draw_tree(rows, parts)
    return _svg(total, foot + MARGIN + 4, parts)


def title(example):
    """What the picture's top line says: the record's header (its sentence
    id), its type and its score."""
    return f"{example.header} \u00b7 Type: {example.type} \u00b7 CoEmbeddingScore: {example.score}"


def _tl_places(widths, wished):
    """Centres for TL words of `widths`, in their order and never
    overlapping, as near to the `wished` centres as the order allows (least
    squares), none left of the margin. A word wishing for None (it has no
    link) weighs next to nothing and would stand against its neighbours.

    Shifting each word left by the room the words before it need turns
    "no overlap" into "places never decrease", which pooling adjacent
    violators solves in linear time."""
    room = [0.0]
    for left, right in zip(widths, widths[1:]):
        room.append(room[-1] + (left + right) / 2)
    targets = [None if want is None else want - shift
               for want, shift in zip(wished, room)]
    before = next((target for target in targets if target is not None), MARGIN)
    blocks = []  # [weighted sum, weight, words] of runs that share a place
    for target in targets:
        weight = UNLINKED if target is None else 1.0
        before = before if target is None else target
        blocks.append([before * weight, weight, 1])
        while len(blocks) > 1 and \
                blocks[-2][0] * blocks[-1][1] > blocks[-1][0] * blocks[-2][1]:
            total, weight, words = blocks.pop()
            blocks[-1][0] += total
            blocks[-1][1] += weight
            blocks[-1][2] += words
    least = MARGIN + widths[0] / 2 if widths else MARGIN
    places = []
    for total, weight, words in blocks:
        places += [max(least, total / weight)] * words
    return [place + shift for place, shift in zip(places, room)]


def example_svg(example):
    """`example` as an SVG document: a title line, its tree with the SL words
    at its foot, the TL words in a row below them and one line per alignment
    link."""
    rows = example.tree._flat()
    tl_words = example.tl_words
    widths = [_width(word) + PAD for word in tl_words]
    leaf_place = {}
    for place, (_, word, _, index) in enumerate(rows):
        if word is not None and index is not None:
            leaf_place.setdefault(index, place)
    kept = [(sl, tl) for sl, tl in example.alignment
            if sl in leaf_place and 1 <= tl <= len(tl_words)]
    # Each SL word's column makes room for the TL words whose first link is
    # to it, so that where the alignment is monotone they fit under it.
    first = {}
    for sl, tl in kept:
        first[tl] = min(first.get(tl, sl), sl)
    room = {}
    for tl, sl in first.items():
        room[leaf_place[sl]] = room.get(leaf_place[sl], -PAD) + widths[tl - 1]
    parts = []
    heading = title(example)
    parts.append(
        f'<text class="title" text-anchor="start" x="{_n(MARGIN)}" '
        f'y="{_n(MARGIN + FONT_SIZE)}">{escape(_clean(heading))}</text>'
    )
    centre, total, foot = _draw_tree(rows, parts, MARGIN + TITLE_ROW, room)
    leaf_at = {index: centre[place] for index, place in leaf_place.items()}

    # Each TL word wishes to stand under the middle of its SL words.
    over = [[] for _ in tl_words]
    for sl, tl in kept:
        over[tl - 1].append(leaf_at[sl])
    tl_centre = _tl_places(widths, [sum(xs) / len(xs) if xs else None for xs in over])

    drawn = [(leaf_at[sl], tl_centre[tl - 1]) for sl, tl in kept]
    # Links that reach far sideways would lie nearly flat in a low band and
    # run together, so the band grows with the farthest reach (up to a
    # bound, past which a picture is too tall to take in).
    reach = max((abs(top - bottom) for top, bottom in drawn), default=0)
    rise = min(max(2 * ROW - FONT_SIZE - 5, reach / LINK_SLOPE), MAX_BAND)
    tl_y = foot + 5 + rise + FONT_SIZE
    for word, x in zip(tl_words, tl_centre):
        _text(parts, x, tl_y, "tl", word)
    for top, bottom in drawn:
        _line(parts, "link", top, foot + 5, bottom, tl_y - FONT_SIZE)
    right = tl_centre[-1] + widths[-1] / 2 + MARGIN if tl_words else 0
    width = max(total, right, _width(heading) + 2 * MARGIN)
    return _svg(width, tl_y + MARGIN + 4, parts)


def shown_example_svg(example):
    """example_svg for a notebook: None for a record whose tree, score or
    alignment does not read, so that the notebook shows its text instead of
    a traceback."""
    try:
        return example_svg(example)
    except (FormatError, AlignmentError):
        return None
