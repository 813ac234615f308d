"""The texts of the installer and of the sample screen saver, as their
headers define them: read from the wine_texts host program, never retyped."""

import subprocess


class Texts:
    """The named texts of res/texts_<language>.h and wine/saver/saver_texts.h."""

    def __init__(self, dumper, language="nl"):
        out = subprocess.run([str(dumper), language], check=True, capture_output=True, timeout=30).stdout
        self.language = language
        self._texts = {}
        for line in out.decode("ascii").splitlines():
            name, hexbytes = line.split("\t")
            self._texts[name] = bytes.fromhex(hexbytes)

    def __getitem__(self, name):
        return self._texts[name]

    def fmt(self, name, *args):
        """The text with its "%s" placeholders filled in order, as the C code does."""
        return self._texts[name] % tuple(cp1252(a) for a in args)

    def thousands(self, n):
        """A count as the installer shows it: the language's separator
        between groups of three digits."""
        return f"{n:,}".encode("ascii").replace(b",", self._texts["TEXT_THOUSANDS_SEPARATOR"])


def cp1252(value):
    return value if isinstance(value, bytes) else str(value).encode("cp1252")
