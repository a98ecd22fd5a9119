"""python -m morvanteportio plot FILE.csv [-o FILE.png] [--title TEXT]"""
from __future__ import annotations

import argparse
import sys
from pathlib import Path
from typing import List, Optional

from .recording import read_csv


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m morvanteportio",
                                     description="Tools for the converter card's recordings.")
    commands = parser.add_subparsers(dest="command", required=True)
    draw = commands.add_parser("plot", help="draw an adcread CSV file: volts against time, one line per channel")
    draw.add_argument("csv", type=Path, help="a CSV file that adcread wrote")
    draw.add_argument("-o", "--output", type=Path, help="the picture (default: the CSV file's name, .png)")
    draw.add_argument("--title", help="the title (default: how many readings, from when)")
    args = parser.parse_args(argv)

    output = args.output or args.csv.with_suffix(".png")
    try:
        from .plot import plot
        plot(read_csv(args.csv), output, args.title)
    except (OSError, ValueError, ImportError) as e:
        print(f"python -m morvanteportio plot: {e}", file=sys.stderr)
        return 1
    print(output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
