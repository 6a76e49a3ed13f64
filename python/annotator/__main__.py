"""python3 -m annotator: small commands over training-example files."""

import argparse
import sys

from . import FormatError, AlignmentError, read


def _show(arguments) -> int:
    if arguments.number < 1:
        print("annotator show: N counts from 1", file=sys.stderr)
        return 2
    for example in read(arguments.infile):
        if example.number == arguments.number:
            sys.stdout.write(example._repr_svg_())
            return 0
    print(
        f"annotator show: {arguments.infile} has no record {arguments.number}",
        file=sys.stderr,
    )
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
        help="write record N's picture (its tree, words and alignment) "
        "as SVG to standard output",
        description="Write record N of InFile as an SVG picture: its tree, "
        "the SL words at its foot, the TL words below them and a line per "
        "alignment link. Example: python3 -m annotator show in.txt 3 > 3.svg",
    )
    show.add_argument("infile", metavar="InFile", help="a training-example file")
    show.add_argument("number", metavar="N", type=int, help="the record, from 1")
    show.set_defaults(run=_show)
    arguments = parser.parse_args(argv)
    try:
        return arguments.run(arguments)
    except (OSError, FormatError, AlignmentError) as error:
        print(f"annotator {arguments.command}: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
