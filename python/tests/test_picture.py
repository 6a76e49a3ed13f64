import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
import zlib

import pytest

import annotator
from annotator import _picture
from conftest import BUNDLED, ROOT, record

SVG = "{http://www.w3.org/2000/svg}"


def elements(svg, tag, kind):
    root = ElementTree.fromstring(svg)
    return [e for e in root.iter(SVG + tag) if e.get("class") == kind]


def texts(svg, kind):
    return [e.text or "" for e in elements(svg, "text", kind)]


def test_every_label_word_and_link_is_drawn(write_file):
    odd = record(sl='a/<b c/&"', tl="x<y \xe9t\xe9 z", alignment="((1,2),(2,1),(2,3))",
                 cstructure='(<S> (<&> a-1) (Q" c\x01-2))', header="<7> SentenceIndex: &8")
    path = write_file(BUNDLED.read_bytes() + odd.encode("latin-1"))
    for example in annotator.read(path):
        tree = example.tree
        # The title names the record as its header does, with its type and score.
        (title,) = texts(example._repr_svg_(), "title")
        assert title.startswith(_picture._clean(example.header) + " ")
        assert f" Type: {_picture._clean(example.type)} " in title
        assert title.endswith(f" CoEmbeddingScore: {example.score}")
        for svg, whole in ((example._repr_svg_(), True), (tree._repr_svg_(), False)):
            labels = [_picture._clean(t.label) for t in tree.subtrees()]
            words = [_picture._clean(t.word) for t in tree.leaves()]
            assert texts(svg, "label") == labels
            assert texts(svg, "word") == words
            tl = [_picture._clean(w) for w in example.tl_words] if whole else []
            assert texts(svg, "tl") == tl
            links = elements(svg, "line", "link")
            assert len(links) == (len(example.alignment) if whole else 0)
            assert svg == (example._repr_svg_() if whole else tree._repr_svg_())


def text_boxes(svg):
    for element in elements(svg, "text", "label") + elements(svg, "text", "word") + \
            elements(svg, "text", "tl"):
        x, y = float(element.get("x")), float(element.get("y"))
        half = _picture._width(element.text or "") / 2
        yield x - half, y - _picture.FONT_SIZE, x + half, y + 3


def test_labels_and_words_never_overlap():
    # 300 leaves under one node, then nested pairs with labels wider than
    # their children: both stress the intervals. Then TL words that cannot
    # all stand under their SL words: all linked to one, wider than theirs,
    # linked in crossing order, and unlinked ones among them.
    wide = "(S " + " ".join(f"(NN w{i}-{i + 1})" for i in range(300)) + ")"
    nested = "(TOP (VERYLONGLABELNAME (A x-1)) (B (C (D y-2)) (EXTRAORDINARILY z-3)))"
    pictures = [annotator.parse_tree(text)._repr_svg_() for text in (wide, nested)]
    pair = "(S (NN a) (NN b))"
    for tl, links in (("x y z w v", "1-0 1-1 1-2 1-3 1-4"),
                      ("translation interpretation", "0-0 1-1"),
                      ("p q r s", "0-3 1-0 0-1"),
                      ("unlinked x more unlinked words y", "0-1 1-5")):
        pictures.append(annotator.make_example(pair, tl, links)._repr_svg_())
    for picture in pictures:
        boxes = sorted(text_boxes(picture))
        for i, (left, top, right, bottom) in enumerate(boxes):
            for other in boxes[i + 1:]:
                if other[0] >= right:
                    break
                assert other[1] >= bottom or other[3] <= top, (boxes[i], other)


def read_png(data):
    """Width, height, bytes per pixel and rows of an 8-bit RGB or RGBA PNG."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6)
            pixel = 4 if colour == 6 else 3
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw, stride, rows = zlib.decompress(idat), width * pixel, []
    previous = bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - pixel] if i >= pixel else 0
            up, corner = previous[i], previous[i - pixel] if i >= pixel else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(line)
        previous = line
    return width, height, pixel, rows


def test_rendered_picture_has_ink_where_the_words_are(tmp_path):
    converter = shutil.which("rsvg-convert")
    if not converter:
        pytest.skip("rsvg-convert is not installed (apt-get install librsvg2-bin)")
    example = list(annotator.read(BUNDLED))[1]
    svg = example._repr_svg_()
    png = subprocess.run([converter, "-f", "png"], input=svg.encode(),
                         capture_output=True, check=True).stdout
    width, height, pixel, rows = read_png(png)

    def inked(left, top, right, bottom):
        return sum(1 for y in range(max(0, int(top)), min(height, int(bottom)))
                   for x in range(max(0, int(left)), min(width, int(right)))
                   if sum(rows[y][pixel * x:pixel * x + 3]) < 3 * 160
                   and (pixel == 3 or rows[y][pixel * x + 3] > 128))

    boxes = list(text_boxes(svg))
    assert len(boxes) == len(example.tree.subtrees()) + len(example.tree.leaves()) + \
        len(example.tl_words)
    for box in boxes:
        assert inked(*box) > 5, box
    # The margin under the TL words stays blank.
    assert inked(0, height - 6, width, height) == 0


def test_show_writes_the_picture_of_record_n_or_of_id_k(tmp_path, write_file):
    def show(*arguments):
        return subprocess.run([sys.executable, "-m", "annotator", *map(str, arguments)],
                              capture_output=True, text=True)

    shown = show("show", BUNDLED, "3")
    assert (shown.returncode, shown.stderr) == (0, "")
    assert shown.stdout == list(annotator.read(BUNDLED))[2]._repr_svg_()
    # Once sentences were skipped, a record's place and its id differ.
    path = write_file(record(header="SentenceIndex: 4") +
                      record(header="SentenceIndex: 9", tl="un chat"))
    ninth = list(annotator.read(path))[1]._repr_svg_()
    assert show("show", path, "--id", "9").stdout == ninth == show("show", path, "2").stdout
    assert "show" in show("--help").stdout
    for arguments, message, status in (
            (("show", BUNDLED, "99"), "has no record 99", 1),
            (("show", path, "--id", "2"), "has no record with id 2", 1),
            (("show", tmp_path / "none", "1"), "No such file", 1),
            (("show", path, "0"), "counts from 1", 2),
            (("show", path), "required", 2),
            (("show", write_file(record(cstructure="(NP"), "bad.txt"), "1"),
             "malformed C-structure", 1),
            (("show", path, "1", "--id", "4"), "not allowed", 2)):
        failed = show(*arguments)
        assert (failed.returncode, failed.stdout) == (status, "")
        assert message in failed.stderr


@pytest.mark.parametrize("fields", [
    {"cstructure": "(NP (DT the-1) (NN cat-2)"}, {"cstructure": "NP DT the-1"},
    {"cstructure": " (NP (DT the-1) (NN cat-2))"}, {"alignment": "((1,1),(2,3))"},
], ids=["unclosed tree", "no tree", "unscored tree", "link past the TL"])
def test_a_record_that_cannot_be_drawn_shows_as_its_text(write_file, fields):
    # In a notebook a raising _repr_svg_ shows a traceback; None shows str().
    (example,) = annotator.read(write_file(record(**fields)))
    assert example._repr_svg_() is None


@pytest.mark.parametrize("error", [KeyboardInterrupt, MemoryError])
def test_drawing_lets_other_errors_through(monkeypatch, error):
    def fail(_):
        raise error
    monkeypatch.setattr(_picture, "example_svg", fail)
    with pytest.raises(error):
        next(annotator.read(BUNDLED))._repr_svg_()


# The Python guide's picture (doc/python.md): a long, nearly monotone sentence,
# as make_example makes it.
PICTURE_SENTENCE = (
    "(ROOT (S (NP (DT The) (NN committee)) (VP (VBD approved) (NP (NP (DT the) (JJ new) "
    "(NN budget)) (PP (IN for) (NP (NP (DT the) (JJ public) (NNS libraries)) (PP (IN of) "
    "(NP (DT the) (NN city)))))) (NP (JJ last) (NN week))) (. .)))",
    "le comité a approuvé le nouveau budget des bibliothèques publiques de la ville "
    "la semaine dernière .",
    "0-0 1-1 2-2 2-3 3-4 4-5 5-6 6-7 7-7 8-9 9-8 10-10 11-11 12-12 13-15 14-13 14-14 15-16")


def test_readme_picture_is_the_sentence_as_drawn_today():
    example = annotator.make_example(*PICTURE_SENTENCE, number=7)
    assert example._repr_svg_() == (ROOT / "doc" / "example.svg").read_text()


@pytest.mark.parametrize("order, steepest", [("reversed", 3), ("monotone", 0)])
def test_links_stand_as_upright_as_the_order_allows(write_file, order, steepest):
    # Thirty words linked in reverse order: in a low band the links would lie
    # nearly flat and run together, so the band grows. Linked in order, each
    # TL word stands under its SL word.
    words = 30
    tl_at = (lambda i: words - i) if order == "reversed" else (lambda i: i + 1)
    example = next(annotator.read(write_file(record(
        sl=" ".join(f"w{i}/nn" for i in range(words)),
        tl=" ".join(f"t{i}" for i in range(words)),
        alignment="(" + ",".join(f"({i + 1},{tl_at(i)})" for i in range(words)) + ")",
        cstructure="(S " + " ".join(f"(NN w{i}-{i + 1})" for i in range(words)) + ")"))))
    for link in elements(example._repr_svg_(), "line", "link"):
        run = abs(float(link.get("x1")) - float(link.get("x2")))
        rise = float(link.get("y2")) - float(link.get("y1"))
        assert run <= steepest * rise + 0.1, (run, rise)
