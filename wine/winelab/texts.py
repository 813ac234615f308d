"""The texts of the installer and of the sample screen saver, as their
headers define them: read from the wine_texts host program, never retyped."""

import subprocess


class Texts:
    """The named texts of res/texts.h and wine/saver/saver_texts.h."""

    def __init__(self, dumper):
        out = subprocess.run([str(dumper)], check=True, capture_output=True, timeout=30).stdout
        self._texts = {}
        for line in out.decode("ascii").splitlines():
            name, hexbytes = line.split("\t")
            self._texts[name] = bytes.fromhex(hexbytes)

    def __getitem__(self, name):
        return self._texts[name]

    def fmt(self, name, *args):
        """The text with its "%s" placeholders filled in order, as the C code does."""
        return self._texts[name] % tuple(cp1252(a) for a in args)


def cp1252(value):
    return value if isinstance(value, bytes) else str(value).encode("cp1252")


def thousands(n):
    """The installer's byte count: ',' between groups of three digits."""
    return f"{n:,}"
