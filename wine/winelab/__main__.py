"""python3 -m winelab blank PNG...

Names each picture that is blank (all one colour) and exits 1 when one is;
the demo applies the same check to every screenshot it takes.
"""

import sys

from .shots import blank_reason, read_png


def main(args):
    if len(args) < 2 or args[0] != "blank":
        print(__doc__.strip())
        return 0 if args[:1] in (["-h"], ["--help"]) else 1
    blank = 0
    for path in args[1:]:
        image = read_png(path)
        reason = blank_reason(image, image.whole())
        print(f"{path}: {'blank: ' + reason if reason else 'not blank'}")
        blank += reason is not None
    return 1 if blank else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
