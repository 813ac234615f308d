"""Screenshots that the driver asks for, each taken only once its window is
drawn, and the check that no picture is blank.

Hand-shake (see "screenshots" in wine/driver/uidriver.cpp): the driver
freezes the window's thread and writes NAME.req, the rectangles of the
window, its caption bar and its texts in screen coordinates; we answer in
NAME.ack with "taken" once NAME.png is in the output folder, "undrawn: WHAT"
when the window is not drawn yet (the driver lets its thread run a moment
and asks again), or "error: WHAT".

A window counts as drawn when its area is not all one colour (never painted
shows as black under Xvfb), every text and the caption bar are more than
one colour (a text drawn on its background), and two captures in a row agree
on its pixels (drawing that was on its way to the X server when the thread
froze would still change them). The picture is the window with a margin
around it, clipped to the screen: a full-screen window gives the whole
screen.

Captures are `import -window root` (ImageMagick) as PPM; pictures are
written and read back with `convert`. A picture read back is checked again
with blank_reason() before the demo counts it.

`python3 -m winelab blank PNG...` checks pictures on disk (see __main__.py).
"""

import os
import subprocess
import threading
import time
from pathlib import Path

MARGIN = 24  # pixels of screen kept around a window


class Image:
    """An RGB picture: width, height, and 3 bytes per pixel, row by row."""

    def __init__(self, width, height, rgb):
        if len(rgb) != width * height * 3:
            raise ValueError(f"{width}x{height} needs {width * height * 3} bytes, got {len(rgb)}")
        self.width = width
        self.height = height
        self.rgb = bytes(rgb)

    @classmethod
    def from_ppm(cls, data):
        """A binary PPM (P6, 8 bits per sample), as ImageMagick writes it."""
        fields = []
        pos = 0
        while len(fields) < 4:
            while pos < len(data) and data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            end = pos
            while end < len(data) and not data[end:end + 1].isspace():
                end += 1
            if end == pos:
                raise ValueError("PPM header cut short")
            fields.append(data[pos:end])
            pos = end
        magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
        if magic != b"P6" or maxval != 255:
            raise ValueError(f"not an 8-bit binary PPM ({magic!r}, maxval {maxval})")
        return cls(width, height, data[pos + 1:pos + 1 + width * height * 3])

    def to_ppm(self):
        return b"P6\n%d %d\n255\n" % (self.width, self.height) + self.rgb

    def whole(self):
        return (0, 0, self.width, self.height)

    def clip(self, box):
        """box (left, top, right, bottom) cut to the picture; None when nothing is left."""
        left, top, right, bottom = box
        left, top = max(left, 0), max(top, 0)
        right, bottom = min(right, self.width), min(bottom, self.height)
        return (left, top, right, bottom) if left < right and top < bottom else None

    def rows(self, box):
        """The bytes of each row of box (clipped)."""
        box = self.clip(box)
        if box is None:
            return []
        left, top, right, bottom = box
        stride = self.width * 3
        return [self.rgb[y * stride + left * 3:y * stride + right * 3] for y in range(top, bottom)]

    def colour_of(self, box):
        """The one colour that fills box, or None when it holds more than one
        (or nothing of it is on the picture)."""
        rows = self.rows(box)
        if not rows:
            return None
        first = rows[0][:3]
        line = first * (len(rows[0]) // 3)
        return first if all(row == line for row in rows) else None

    def crop(self, box):
        box = self.clip(box)
        left, top, right, bottom = box
        return Image(right - left, bottom - top, b"".join(self.rows(box)))


def describe(colour):
    return "black" if colour == b"\0\0\0" else "#" + colour.hex()


def blank_reason(image, window):
    """Why a picture of a window is blank, or None: the whole picture one
    colour, or the window's area (a box in picture coordinates) one colour,
    black included."""
    colour = image.colour_of(image.whole())
    if colour is not None:
        return f"the whole picture is one colour ({describe(colour)})"
    colour = image.colour_of(window)
    if colour is not None:
        return f"the window's area is all {describe(colour)}"
    return None


class Request:
    """What the driver asks to picture: the window and the parts that must
    show something (caption bar, texts), as (kind, box) in screen coordinates."""

    def __init__(self, text):
        self.window = None
        self.parts = []
        for line in text.splitlines():
            if not line.strip():
                continue
            kind, *numbers = line.split()
            box = tuple(int(n) for n in numbers)
            if len(box) != 4:
                raise ValueError(f"bad request line {line!r}")
            if kind == "window":
                self.window = box
            else:
                self.parts.append((kind, box))
        if self.window is None:
            raise ValueError("request without a window line")

    def undrawn(self, screen):
        """What of the window is not drawn on `screen` yet, or None."""
        if screen.clip(self.window) is None:
            return f"the window at {self.window[0]},{self.window[1]} is off the screen"
        reason = blank_reason(screen, self.window)
        if reason is not None:
            return reason
        for kind, box in self.parts:
            colour = screen.colour_of(box)
            if colour is not None:
                return f"the {kind} at {box[0]},{box[1]} is all {describe(colour)}"
        return None

    def frame(self, screen):
        """The picture's box on the screen (the window and a margin, clipped)
        and the window's box within that picture."""
        left, top, right, bottom = self.window
        frame = screen.clip((left - MARGIN, top - MARGIN, right + MARGIN, bottom + MARGIN))
        inner = screen.clip(self.window) or frame
        return frame, tuple(v - o for v, o in zip(inner, frame[:2] * 2))


# ---- ImageMagick -------------------------------------------------------------

def capture(display):
    """The whole X screen, now."""
    result = subprocess.run(["timeout", "20", "import", "-window", "root", "-depth", "8", "ppm:-"],
                            env=dict(os.environ, DISPLAY=display), capture_output=True)
    if result.returncode != 0:
        raise OSError("import -window root failed: " + result.stderr.decode(errors="replace").strip())
    return Image.from_ppm(result.stdout)


def write_png(image, path):
    subprocess.run(["timeout", "20", "convert", "ppm:-", "png:" + str(path)], input=image.to_ppm(),
                   check=True, capture_output=True)


def read_png(path):
    result = subprocess.run(["timeout", "20", "convert", str(path), "-depth", "8", "ppm:-"],
                            check=True, capture_output=True)
    return Image.from_ppm(result.stdout)


# ---- the taker -------------------------------------------------------------------

class ShotTaker:
    """Answers the driver's requests in the hand-shake folder (every answer
    also goes to answers.log there); the pictures go to the output folder as
    NAME.png. taken: NAME -> (png, the window's
    box in it); errors: (NAME, what went wrong)."""

    def __init__(self, handshake_dir, out_dir, display):
        self.dir = Path(handshake_dir)
        self.out = Path(out_dir)
        self.display = display
        self.taken = {}
        self.errors = []
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._loop, daemon=True)

    def __enter__(self):
        self.dir.mkdir(parents=True, exist_ok=True)
        self.out.mkdir(parents=True, exist_ok=True)
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()

    def _loop(self):
        while not self._stop.is_set():
            for req in sorted(self.dir.glob("*.req")):
                name = req.stem
                try:
                    verdict = self.answer(name, Request(req.read_text(encoding="ascii")))
                except (OSError, ValueError, subprocess.CalledProcessError) as e:
                    verdict = f"error: {e}"
                    self.errors.append((name, str(e)))
                req.unlink()
                with open(self.dir / "answers.log", "a", encoding="ascii", errors="replace") as log:
                    log.write(f"{name}: {verdict}\n")
                ack = self.dir / (name + ".ack")
                tmp = self.dir / (name + ".ack.tmp")
                tmp.write_text(verdict + "\n", encoding="ascii", errors="replace")
                os.replace(tmp, ack)
            time.sleep(0.02)

    def answer(self, name, request):
        first = capture(self.display)
        reason = request.undrawn(first)
        if reason is not None:
            return "undrawn: " + reason
        second = capture(self.display)
        if second.rows(request.window) != first.rows(request.window):
            return "undrawn: its pixels still change"
        frame, window = request.frame(second)
        png = self.out / (name + ".png")
        write_png(second.crop(frame), png)
        self.taken[name] = (png, window)
        return "taken"

    def check_files(self):
        """Reads every picture back and checks it is not blank; returns
        (name, why) for each blank one."""
        blank = []
        for name, (png, window) in sorted(self.taken.items()):
            reason = blank_reason(read_png(png), window)
            if reason is not None:
                blank.append((name, reason))
        return blank
