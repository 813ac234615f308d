"""Scripts for uidriver.exe (wine/driver): steps written with escaped
fields, and the values the driver prints back."""

from pathlib import Path

from .texts import cp1252


def escape(value):
    """A script field: TAB, CR, LF, '\\' and bytes outside printable ASCII escaped."""
    out = []
    for b in cp1252(value):
        if b == 0x5C:
            out.append("\\\\")
        elif b == 0x0D:
            out.append("\\r")
        elif b == 0x0A:
            out.append("\\n")
        elif b == 0x09:
            out.append("\\t")
        elif 0x20 <= b < 0x7F:
            out.append(chr(b))
        else:
            out.append(f"\\x{b:02X}")
    return "".join(out)


class Script:
    """Steps for uidriver.exe (see the comment at the top of uidriver.cpp)."""

    def __init__(self):
        self.lines = []

    def _add(self, *fields):
        self.lines.append("\t".join(escape(f) for f in fields if f is not None))
        return self

    def box(self, caption, text, buttons, click, shot=None):
        return self._add("box", caption, text, buttons, click, shot)

    def dialog(self, caption, control_id, text, click, shot=None):
        return self._add("dialog", caption, str(control_id), text, str(click), shot)

    def transient(self, caption, control_id, text, shot=None):
        return self._add("transient", caption, str(control_id), text, shot)

    def window(self, class_name, shot=None):
        return self._add("window", class_name, shot)

    def key(self, class_name):
        return self._add("key", class_name)

    def noproc(self, exe):
        return self._add("noproc", exe)

    def waitproc(self, exe):
        return self._add("waitproc", exe)

    def shortpath(self, path):
        return self._add("shortpath", path)

    def screensaver(self, *args):
        return self._add("screensaver", *[str(a) for a in args])

    def sleep(self, ms):
        return self._add("sleep", str(ms))

    def write(self, path):
        Path(path).write_text("".join(line + "\n" for line in self.lines), encoding="ascii")


def driver_values(log, key):
    """Values that the driver printed as `key value` lines."""
    prefix = key + " "
    return [line[len(prefix):] for line in log.splitlines() if line.startswith(prefix)]


def unescape(text):
    """Inverse of escape() for one value the driver printed."""
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x":
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
                continue
            out += {"r": b"\r", "n": b"\n", "t": b"\t", "\\": b"\\"}[n]
            i += 2
            continue
        out += c.encode("ascii")
        i += 1
    return bytes(out)
