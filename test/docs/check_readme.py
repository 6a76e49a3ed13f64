#!/usr/bin/env python3
"""Runs what README.md and the man pages show and compares it with what the
programs do, so that a change to either shows up as a failing test.

  check_readme.py write-examples README OUTDIR
      writes README's C++ examples as programs: the complete one as it
      stands, the learner step inside a main() with the includes it needs.
  check_readme.py check README --annotator BIN --extract-patterns BIN
      --examples DIR --man-dir DIR [--example NAME=BIN ...]
      runs every check; --example names a program built from README's C++
      example NAME (library, learner).
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

LEARNER_PRELUDE = """#include <annotator/ParseParser.h>
#include <annotator/Pattern.h>
#include <annotator/TrainingSentencePair.h>

#include <iostream>
#include <string>
#include <vector>

int main() {
"""


def blocks(readme, language):
    return re.findall(r"^```" + language + r"\n(.*?)^```\n", readme, re.M | re.S)


def cpp_examples(readme):
    """README's C++ examples by name: the complete program and the learner
    step, found by what they call."""
    found = {}
    for code in blocks(readme, "cpp"):
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


def check_extract_example(readme, a, fail):
    command = "extract_patterns examples/training-examples.txt | head -20\n```\n\n```\n"
    at = readme.find(command)
    if at < 0:
        return fail("README no longer shows extract_patterns ... | head -20 and its output")
    shown = readme[at + len(command):readme.index("```", at + len(command))]
    got = run([a.extract_patterns, os.path.join(a.examples, "training-examples.txt")])
    actual = "".join(got.stdout.splitlines(keepends=True)[:20])
    if actual != shown:
        fail(f"extract_patterns' first 20 lines differ from README's:\n{actual}")


def check_pattern_counts(readme, a, fail):
    examples = os.path.join(a.examples, "training-examples.txt")
    claims = [(r"The bundled example\s+gives (\d+) patterns", []),
              (r"\((\d+) of the \d+ above\)", ["--consistent"])]
    for claim, options in claims:
        said = re.search(claim, readme)
        if not said:
            fail(f"README no longer says /{claim}/")
            continue
        got = run([a.extract_patterns, *options, examples]).stdout.count("SentenceIndex:")
        if got != int(said.group(1)):
            fail(f"README says {said.group(0)!r}; extract_patterns {options} gives {got}")


def check_annotator_messages(readme, a, fail):
    table = dict(re.findall(r"^\| `([^`]+)`( followed by text)? \|", readme, re.M))
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
        # Each message as README's table gives it, N standing for a number,
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
                fail(f"README's message table lacks `{message}`")
                continue
            got = run(["annotator", *arguments], executable=a.annotator).stderr
            pattern = re.escape(message).replace("N", r"\d+")
            pattern += ".*" if table[message] else r"\n"
            if not re.fullmatch(pattern, got, re.S):
                fail(f"README gives `{message}`; annotator {arguments} says {got!r}")


def check_extract_usage(readme, a, fail):
    got = run([a.extract_patterns]).stderr.rstrip("\n")
    page = open(os.path.join(a.man_dir, "extract_patterns.1"), encoding="utf-8").read()
    line = re.search(r"^\.B (Usage: extract_patterns .*)$", page, re.M)
    if not line or line.group(1).replace("\\-", "-") != got:
        fail(f"extract_patterns.1 does not give the usage line {got!r}")
    said = re.search(r"`(Usage: extract_patterns [^`]*?)\s*\.\.\.`", readme)
    if not said or not got.startswith(re.sub(r"\s+", " ", said.group(1))):
        fail(f"README does not quote the start of the usage line {got!r}")


def check_cpp_examples(readme, a, fail):
    examples = cpp_examples(readme)
    for name, program in a.example:
        want = shown_output(examples.get(name, ""))
        got = run([program]).stdout.splitlines()
        if not want or [l.rstrip() for l in got] != [l.rstrip() for l in want]:
            fail(f"README's {name} example prints\n" + "\n".join(got) +
                 "\nwhere README shows\n" + "\n".join(want))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["write-examples", "check"])
    parser.add_argument("readme")
    parser.add_argument("outdir", nargs="?")
    parser.add_argument("--annotator")
    parser.add_argument("--extract-patterns")
    parser.add_argument("--examples")
    parser.add_argument("--man-dir")
    parser.add_argument("--example", action="append", default=[],
                        type=lambda s: tuple(s.split("=", 1)))
    a = parser.parse_args()
    readme = open(a.readme, encoding="utf-8").read()
    if a.mode == "write-examples":
        os.makedirs(a.outdir, exist_ok=True)
        for name, code in cpp_examples(readme).items():
            with open(os.path.join(a.outdir, f"readme_{name}.cpp"), "w") as f:
                f.write(code)
        return 0

    failures = []
    for check in (check_extract_example, check_pattern_counts, check_annotator_messages,
                  check_extract_usage, check_cpp_examples):
        check(readme, a, failures.append)
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
