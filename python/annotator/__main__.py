"""python3 -m annotator: small commands over training-example files."""

import argparse
import sys

from . import FormatError, AlignmentError, read
from ._picture import example_svg


def _sentence_id(example) -> str:
    """The id the record's header gives: what follows "SentenceIndex:"."""
    return example.header.partition("SentenceIndex:")[2].strip()


def _show(arguments) -> int:
    if arguments.id is not None:
        wanted, named = (lambda e: _sentence_id(e) == arguments.id.strip(),
                         f"no record with id {arguments.id}")
    elif arguments.number >= 1:
        wanted, named = (lambda e: e.number == arguments.number,
                         f"no record {arguments.number}")
    else:
        print("annotator show: N counts from 1", file=sys.stderr)
        return 2
    for example in read(arguments.infile):
        if wanted(example):
            sys.stdout.write(example_svg(example))
            return 0
    print(f"annotator show: {arguments.infile} has {named}", file=sys.stderr)
    return 1


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(
        prog="python3 -m annotator",
        description="Commands over training-example files.",
    )
    commands = parser.add_subparsers(dest="command", metavar="COMMAND")
    commands.required = True
    show = commands.add_parser(
        "show",
        help="write the picture of record N, or of the record with id K "
        "(its title, tree, words and alignment) as SVG to standard output",
        description="Write record N of InFile, or the record whose header "
        "says SentenceIndex: K, as an SVG picture: a title line with the "
        "record's header, type and score, its tree, the SL words at its "
        "foot, the TL words below them and a line per alignment link. "
        "Examples: python3 -m annotator show in.txt 3 > 3.svg; python3 -m "
        "annotator show in.txt --id 17 > 17.svg",
    )
    show.add_argument("infile", metavar="InFile", help="a training-example file")
    which = show.add_mutually_exclusive_group(required=True)
    which.add_argument("number", metavar="N", type=int, nargs="?",
                       help="the record, counted from 1 in the file")
    which.add_argument("--id", metavar="K",
                       help="the record whose header says SentenceIndex: K "
                       "(make_examples numbers its records by sentence, so "
                       "after a skipped sentence N and K differ)")
    show.set_defaults(run=_show)
    arguments = parser.parse_args(argv)
    try:
        return arguments.run(arguments)
    except (OSError, FormatError, AlignmentError) as error:
        print(f"annotator {arguments.command}: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
