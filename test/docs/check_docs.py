#!/usr/bin/env python3
"""Runs what README.md, the guides under doc/ and the man pages show and
compares it with what the programs do, so that a change to either shows up
as a failing test. Each check reads the one document that holds its text
(WHERE below): when text moves, move its entry with it.

  check_docs.py write-examples ROOT OUTDIR
      writes the library guide's C++ examples as programs: the complete one
      as it stands, the learner step inside a main() with the includes it
      needs.
  check_docs.py check ROOT --annotator BIN --extract-patterns BIN
      --examples DIR --man-dir DIR [--example NAME=BIN ...]
      runs every check; --example names a program built from the C++
      example NAME (library, learner). README's road runs the programs of
      build/release/ from the folder that holds --annotator.
"""
import argparse
import glob
import os
import re
import subprocess
import sys
import tempfile

# Where each check's text lives, relative to the project's root.
WHERE = {
    "road": "README.md",
    "extract example": "doc/patterns.md",
    "pattern counts": "doc/patterns.md",
    "pattern recovery": "doc/patterns.md",
    "annotator messages": "doc/messages.md",
    "usage lines": "doc/messages.md",
    "synopses": "README.md",
    "cpp examples": "doc/library.md",
}

LEARNER_PRELUDE = """#include <annotator/ParseParser.h>
#include <annotator/Pattern.h>
#include <annotator/TrainingSentencePair.h>

#include <iostream>
#include <string>
#include <vector>

int main() {
"""


def blocks(text, language):
    return re.findall(r"^```" + language + r"\n(.*?)^```\n", text, re.M | re.S)


def cpp_examples(guide):
    """The library guide's C++ examples by name: the complete program and
    the learner step, found by what they call."""
    found = {}
    for code in blocks(guide, "cpp"):
        if "int main()" in code:
            found.setdefault("library", code)
        elif "ReturnPatternAsString" in code:
            found.setdefault("learner", LEARNER_PRELUDE + code + "}\n")
    return found


def shown_output(code):
    """What a C++ example says it prints: the comment lines after a
    `// prints` line, or else the comment that ends each line writing to
    std::cout."""
    lines = code.splitlines()
    for at, line in enumerate(lines):
        if line.startswith("// prints"):
            return [re.sub(r"^// ?", "", l) for l in lines[at + 1:] if l.startswith("//")]
    return [l.split("// ", 1)[1] for l in lines if "std::cout" in l and "// " in l]


def run(argv, **kwargs):
    return subprocess.run(argv, capture_output=True, text=True, errors="replace", **kwargs)


def check_road(doc, a, fail):
    """README's road from a parser's and an aligner's output to patterns:
    its commands run in an empty folder, with the programs built here in
    place of build/release/, must print what the block after them shows."""
    road = [code for code in blocks(doc.text, "sh") if "make_examples corpus.ptb" in code]
    if not road:
        return fail(f"{doc.name} no longer shows the road through make_examples corpus.ptb")
    at = doc.text.index(road[0]) + len(road[0]) + len("```\n")
    shown = re.search(r"^```\n(.*?)^```\n", doc.text[at:], re.M | re.S)
    bin_dir = os.path.dirname(os.path.abspath(a.annotator)) + "/"
    script = "".join(line.replace("build/release/", bin_dir)
                     for line in road[0].splitlines(keepends=True)
                     if not line.startswith("cmake "))
    with tempfile.TemporaryDirectory() as tmp:
        got = run(["bash", "-e", "-o", "pipefail", "-c", script], cwd=tmp)
    if got.returncode != 0 or got.stderr:
        fail(f"{doc.name}'s road fails ({got.returncode}):\n{script}{got.stderr}")
    elif not shown or got.stdout != shown.group(1):
        fail(f"{doc.name}'s road prints\n{got.stdout}which the block after it does not show")


def check_extract_example(doc, a, fail):
    command = "extract_patterns examples/training-examples.txt | head -20\n```\n\n```\n"
    at = doc.text.find(command)
    if at < 0:
        return fail(f"{doc.name} no longer shows extract_patterns ... | head -20 and its output")
    shown = doc.text[at + len(command):doc.text.index("```", at + len(command))]
    got = run([a.extract_patterns, os.path.join(a.examples, "training-examples.txt")])
    actual = "".join(got.stdout.splitlines(keepends=True)[:20])
    if actual != shown:
        fail(f"extract_patterns' first 20 lines differ from {doc.name}'s:\n{actual}")


def check_pattern_counts(doc, a, fail):
    examples = os.path.join(a.examples, "training-examples.txt")
    claims = [(r"The bundled example\s+gives (\d+) patterns", []),
              (r"\((\d+) of the \d+ above\)", ["--consistent"])]
    for claim, options in claims:
        said = re.search(claim, doc.text)
        if not said:
            fail(f"{doc.name} no longer says /{claim}/")
            continue
        got = run([a.extract_patterns, *options, examples]).stdout.count("SentenceIndex:")
        if got != int(said.group(1)):
            fail(f"{doc.name} says {said.group(0)!r}; extract_patterns {options} gives {got}")


def check_pattern_recovery(doc, a, fail):
    """The patterns guide's way to keep the whole patterns of an OutFile that
    SIGKILL cut short, run on cuts at and inside every line: it must keep
    each pattern a whole header line follows, and none the cut follows,
    which may have lost constraint lines."""
    recipe = [code for code in blocks(doc.text, "sh") if "out.txt > whole.txt" in code]
    if not recipe:
        return fail(f"{doc.name} no longer shows how to keep the whole patterns of out.txt")
    full = run([a.extract_patterns, os.path.join(a.examples, "training-examples.txt")]).stdout
    ends = [at + 1 for at, c in enumerate(full) if c == "\n"]
    starts = [at for at in ends if full.startswith("SentenceIndex:\n", at)]
    cuts = sorted({*ends, *(end - 3 for end in ends)})
    with tempfile.TemporaryDirectory() as tmp:
        for cut in cuts:
            os.mkdir(os.path.join(tmp, str(cut)))
            with open(os.path.join(tmp, str(cut), "out.txt"), "w") as f:
                f.write(full[:cut])
        # One shell for every cut: a shell each would take seconds.
        got = run(["bash", "-e", "-c", f"for cut in *; do (cd $cut\n{recipe[0]}); done"], cwd=tmp)
        for cut in cuts if got.returncode == 0 else []:
            kept = open(os.path.join(tmp, str(cut), "whole.txt")).read()
            least = max([0, *(s for s in starts if s + 15 <= cut)])
            if kept != full[:len(kept)] or not least <= len(kept) < cut or \
                    (kept and len(kept) not in starts):
                return fail(f"{doc.name}'s recovery keeps {len(kept)} bytes of patterns cut "
                            f"after {cut}, not the {least} bytes of whole patterns")
    if got.returncode != 0:
        fail(f"{doc.name}'s recovery fails: {got.stderr}")


def check_annotator_messages(doc, a, fail):
    table = dict(re.findall(r"^\| `([^`]+)`( followed by text)? \|", doc.text, re.M))
    with tempfile.TemporaryDirectory() as tmp:
        good = os.path.join(a.examples, "training-examples.txt")
        long_line = os.path.join(tmp, "long.txt")
        with open(long_line, "w") as f:
            f.write("x" * 100000 + "\n")
        malformed = os.path.join(tmp, "malformed.txt")
        with open(malformed, "w") as f:
            f.write("SentenceIndex: 1\nSL: a/dt\nTL: un\nAlignment: ((1,1))\nType: A\n"
                    "CoEmbeddingScore: 0\nC-Structure:(A (NP) (N a-1))\nConstSeq: A\n\n\n")
        out = os.path.join(tmp, "out.txt")
        # Each message as the table gives it, N standing for a number,
        # and the arguments that must produce it.
        cases = [("Usage: annotator InFile OutFile.", [good]),
                 ("InFile and OutFile name the same file.", [good, good]),
                 ("Couldn't open outfile.", [good, tmp]),
                 ("Couldn't open training file.", [os.path.join(tmp, "missing"), out]),
                 ("Couldn't write outfile.", [good, "/dev/full"]),
                 ("Line N of the training file is longer than 99,999 bytes.",
                  [long_line, out]),
                 ("format error: no closing right paren found:", [malformed, out])]
        for message, arguments in cases:
            if message not in table:
                fail(f"{doc.name}'s message table lacks `{message}`")
                continue
            got = run(["annotator", *arguments], executable=a.annotator).stderr
            pattern = re.escape(message).replace("N", r"\d+")
            pattern += ".*" if table[message] else r"\n"
            if not re.fullmatch(pattern, got, re.S):
                fail(f"{doc.name} gives `{message}`; annotator {arguments} says {got!r}")


def check_usage_lines(doc, a, fail):
    """The usage line a program prints when used wrongly, as its man page
    gives it whole and the messages guide quotes its start."""
    bin_dir = os.path.dirname(os.path.abspath(a.annotator))
    for program in ("extract_patterns", "make_examples"):
        # What was wrong comes first, on its own line; the usage line last.
        got = run([os.path.join(bin_dir, program)]).stderr.rstrip("\n")
        got = got.split("\n")[-1]
        page = open(os.path.join(a.man_dir, f"{program}.1"), encoding="utf-8").read()
        line = re.search(rf"^\.B (Usage: {program} .*)$", page, re.M)
        if not line or line.group(1).replace("\\-", "-") != got:
            fail(f"{program}.1 does not give the usage line {got!r}")
        said = re.search(rf"`(Usage: {program} [^`]*?)\s*\.\.\.`", doc.text)
        if not said or not got.startswith(re.sub(r"\s+", " ", said.group(1))):
            fail(f"{doc.name} does not quote the start of the usage line {got!r}")


def usage_forms(usage):
    """The ways of running a program its usage line gives, split at the
    top-level bars; a bar inside brackets is a choice within one form."""
    forms, depth, start = [], 0, 0
    for at, char in enumerate(usage):
        depth += {"[": 1, "]": -1}.get(char, 0)
        if depth == 0 and usage.startswith(" | ", at):
            forms.append(usage[start:at])
            start = at + 3
    return forms + [usage[start:]]


def check_synopses(doc, a, fail):
    """Each program's paragraph in README gives every way of running it
    that its usage line gives, every option with it; --help and --version,
    alone, are said once for all."""
    bin_dir = os.path.dirname(os.path.abspath(a.annotator))
    for program in ("make_examples", "extract_patterns", "score_patterns"):
        usage = run([os.path.join(bin_dir, program), "--help"]).stdout.split("\n")[0]
        usage = usage.removeprefix(f"Usage: {program} ").removesuffix(".")
        paragraph = re.search(rf"^\*\*{program}\*\* (.*?)\n\n", doc.text, re.M | re.S)
        said = re.sub(r"\s+", " ", paragraph.group(1).replace("`", "")) if paragraph else ""
        for form in usage_forms(usage):
            if form not in ("--help", "--version") and form not in said:
                fail(f"{doc.name}'s synopsis of {program} lacks `{form}`")


def check_cpp_examples(doc, a, fail):
    examples = cpp_examples(doc.text)
    for name, program in a.example:
        want = shown_output(examples.get(name, ""))
        got = run([program]).stdout.splitlines()
        if not want or [l.rstrip() for l in got] != [l.rstrip() for l in want]:
            fail(f"{doc.name}'s {name} example prints\n" + "\n".join(got) +
                 f"\nwhere {doc.name} shows\n" + "\n".join(want))


def check_man_breaks(a, fail):
    """roff takes a line that begins with a blank for a line of its own, and
    breaks the paragraph before it; only the examples may do so."""
    for page in sorted(glob.glob(os.path.join(a.man_dir, "*.1"))):
        example = False
        for number, line in enumerate(open(page, encoding="utf-8"), 1):
            example = {".EX": True, ".nf": True, ".EE": False, ".fi": False}.get(
                line.strip(), example)
            if line.startswith(" ") and not example:
                fail(f"{os.path.basename(page)}:{number} begins with a blank, "
                     "which breaks its paragraph there")


def anchors(text):
    """The anchors of a Markdown file's headings, as GitHub makes them."""
    made, seen = set(), {}
    for heading in re.findall(r"^#+ (.*)$", re.sub(r"^```.*?^```\n", "", text, flags=re.M | re.S),
                              re.M):
        slug = re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")
        made.add(slug if slug not in seen else f"{slug}-{seen[slug]}")
        seen[slug] = seen.get(slug, 0) + 1
    return made


def check_links(root, docs, fail):
    """Every link of README and the guides reaches a file and, where it
    names one, a heading; README links every guide."""
    targets = set()
    for doc in docs:
        prose = re.sub(r"^```.*?^```\n", "", doc.text, flags=re.M | re.S)
        for link in re.findall(r"\]\(([^)\s]+)\)", prose):
            if re.match(r"[a-z]+:", link):
                continue
            path, _, anchor = link.partition("#")
            target = os.path.normpath(os.path.join(os.path.dirname(doc.path), path)) \
                if path else doc.path
            if doc.name == "README.md":
                targets.add(target)
            if not os.path.exists(target):
                fail(f"{doc.name} links {link}, which is no file")
            elif anchor and anchor not in anchors(open(target, encoding="utf-8").read()):
                fail(f"{doc.name} links {link}, which is no heading of {path or doc.name}")
    for guide in glob.glob(os.path.join(root, "doc", "*.md")):
        if os.path.normpath(guide) not in targets:
            fail(f"README does not link the guide {os.path.relpath(guide, root)}")


class Doc:
    def __init__(self, root, name):
        self.name = name
        self.path = os.path.normpath(os.path.join(root, name))
        self.text = open(self.path, encoding="utf-8").read()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["write-examples", "check"])
    parser.add_argument("root")
    parser.add_argument("outdir", nargs="?")
    parser.add_argument("--annotator")
    parser.add_argument("--extract-patterns")
    parser.add_argument("--examples")
    parser.add_argument("--man-dir")
    parser.add_argument("--example", action="append", default=[],
                        type=lambda s: tuple(s.split("=", 1)))
    a = parser.parse_args()
    if a.mode == "write-examples":
        os.makedirs(a.outdir, exist_ok=True)
        for name, code in cpp_examples(Doc(a.root, WHERE["cpp examples"]).text).items():
            with open(os.path.join(a.outdir, f"readme_{name}.cpp"), "w") as f:
                f.write(code)
        return 0

    failures = []
    checks = {"road": check_road, "extract example": check_extract_example,
              "pattern counts": check_pattern_counts,
              "pattern recovery": check_pattern_recovery,
              "annotator messages": check_annotator_messages,
              "usage lines": check_usage_lines, "synopses": check_synopses,
              "cpp examples": check_cpp_examples}
    for what, check in checks.items():
        check(Doc(a.root, WHERE[what]), a, failures.append)
    guides = sorted(os.path.relpath(g, a.root) for g in glob.glob(os.path.join(a.root, "doc", "*.md")))
    check_links(a.root, [Doc(a.root, name) for name in ["README.md", *guides]], failures.append)
    check_man_breaks(a, failures.append)
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
