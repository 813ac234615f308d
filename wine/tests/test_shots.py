"""The screenshot checks of winelab.shots on pictures drawn here: when a
picture counts as blank, when a window counts as drawn, and which part of
the screen a picture keeps. Each table row is one picture and the verdict it
must get; a check that lets a black picture through fails here.

Run with PYTHONPATH=wine (CTest does): python3 -B wine/tests/test_shots.py
"""

import unittest

from winelab.shots import MARGIN, Image, Request, blank_reason

BLACK = b"\x00\x00\x00"
GREY = b"\xc0\xc0\xc0"
WHITE = b"\xff\xff\xff"
BLUE = b"\x00\x00\x80"
DARK = b"\x10\x10\x10"


def picture(width, height, background, *fills):
    """A picture of one colour with (box, colour) rectangles filled on it."""
    rows = [bytearray(background * width) for _ in range(height)]
    for (left, top, right, bottom), colour in fills:
        for y in range(top, bottom):
            rows[y][left * 3:right * 3] = colour * (right - left)
    return Image(width, height, b"".join(rows))


# A 40x30 screen with a dialog at (10,5)-(30,25): a grey face, a blue caption
# bar with a white mark for its text, and a text control with dark letters.
WINDOW = (10, 5, 30, 25)
CAPTION = (11, 6, 29, 9)
TEXT = (12, 14, 28, 18)
FACE = (WINDOW, GREY)
CAPTION_BAR = (CAPTION, BLUE)
CAPTION_TEXT = ((13, 7, 16, 8), WHITE)
LETTERS = ((14, 15, 20, 17), DARK)
REQUEST = "window 10 5 30 25\ncaption 11 6 29 9\ntext 12 14 28 18\n"


class BlankTest(unittest.TestCase):
    CASES = [
        # name, picture, the window's box in it, expected reason (None: not blank)
        ("all black", picture(40, 30, BLACK), WINDOW,
         "the whole picture is one colour (black)"),
        ("all one grey", picture(40, 30, GREY), WINDOW,
         "the whole picture is one colour (#c0c0c0)"),
        ("margin drawn, window black", picture(40, 30, GREY, (WINDOW, BLACK)), WINDOW,
         "the window's area is all black"),
        ("window one plain face", picture(40, 30, BLACK, FACE), WINDOW,
         "the window's area is all #c0c0c0"),
        ("window black but for its last pixel",
         picture(40, 30, GREY, (WINDOW, BLACK), ((29, 24, 30, 25), WHITE)), WINDOW, None),
        ("drawn dialog", picture(40, 30, BLACK, FACE, CAPTION_BAR, CAPTION_TEXT, LETTERS), WINDOW,
         None),
        ("full-screen window drawn", picture(40, 30, BLUE, ((0, 20, 40, 30), DARK)), (0, 0, 40, 30),
         None),
    ]

    def test_cases(self):
        for name, image, window, expected in self.CASES:
            with self.subTest(name):
                self.assertEqual(expected, blank_reason(image, window))


class DrawnTest(unittest.TestCase):
    CASES = [
        # name, the screen, expected reason (None: drawn)
        ("everything drawn", picture(40, 30, BLACK, FACE, CAPTION_BAR, CAPTION_TEXT, LETTERS), None),
        ("nothing drawn yet", picture(40, 30, BLACK),
         "the whole picture is one colour (black)"),
        ("window black on a drawn screen", picture(40, 30, GREY, (WINDOW, BLACK)),
         "the window's area is all black"),
        ("text control without its letters", picture(40, 30, BLACK, FACE, CAPTION_BAR, CAPTION_TEXT),
         "the text at 12,14 is all #c0c0c0"),
        ("caption bar without its text", picture(40, 30, BLACK, FACE, CAPTION_BAR, LETTERS),
         "the caption at 11,6 is all #000080"),
        ("caption not drawn", picture(40, 30, BLACK, FACE, ((11, 6, 29, 9), BLACK), LETTERS),
         "the caption at 11,6 is all black"),
    ]

    def test_cases(self):
        request = Request(REQUEST)
        for name, screen, expected in self.CASES:
            with self.subTest(name):
                self.assertEqual(expected, request.undrawn(screen))

    def test_window_off_the_screen(self):
        request = Request("window 50 40 70 60\n")
        self.assertEqual("the window at 50,40 is off the screen",
                         request.undrawn(picture(40, 30, GREY, ((0, 0, 1, 1), WHITE))))

    def test_bad_requests(self):
        for text in ("", "caption 1 2 3 4\n", "window 1 2 3\n", "window 1 2 3 x\n"):
            with self.subTest(text):
                with self.assertRaises(ValueError):
                    Request(text)


class FrameTest(unittest.TestCase):
    W, H = 300, 200
    CASES = [
        # name, window, expected picture box on the screen, expected window box in the picture
        ("inside", (100, 80, 160, 120), (100 - MARGIN, 80 - MARGIN, 160 + MARGIN, 120 + MARGIN),
         (MARGIN, MARGIN, MARGIN + 60, MARGIN + 40)),
        ("full screen", (0, 0, 300, 200), (0, 0, 300, 200), (0, 0, 300, 200)),
        ("at the top left", (5, 0, 65, 40), (0, 0, 65 + MARGIN, 40 + MARGIN), (5, 0, 65, 40)),
        ("past the bottom right", (280, 190, 340, 230), (280 - MARGIN, 190 - MARGIN, 300, 200),
         (MARGIN, MARGIN, MARGIN + 20, MARGIN + 10)),
    ]

    def test_cases(self):
        screen = picture(self.W, self.H, BLACK)
        for name, window, frame, inner in self.CASES:
            with self.subTest(name):
                self.assertEqual((frame, inner), Request("window %d %d %d %d" % window).frame(screen))

    def test_crop_keeps_the_window(self):
        screen = picture(self.W, self.H, BLACK, ((100, 80, 160, 120), GREY))
        frame, inner = Request("window 100 80 160 120").frame(screen)
        cropped = screen.crop(frame)
        self.assertEqual(GREY, cropped.colour_of(inner))
        self.assertEqual("the window's area is all #c0c0c0", blank_reason(cropped, inner))


class PpmTest(unittest.TestCase):
    def test_round_trip(self):
        image = picture(3, 2, GREY, ((1, 0, 2, 2), BLUE))
        back = Image.from_ppm(image.to_ppm())
        self.assertEqual((3, 2, image.rgb), (back.width, back.height, back.rgb))

    def test_header_with_comment(self):
        image = Image.from_ppm(b"P6\n# made by hand\n2 1\n255\n" + BLACK + WHITE)
        self.assertEqual(WHITE, image.colour_of((1, 0, 2, 1)))

    def test_refused(self):
        for name, data in (("grey map", b"P5\n1 1\n255\n\x00"), ("16 bits", b"P6\n1 1\n65535\n" + b"\0" * 6),
                           ("cut pixels", b"P6\n2 2\n255\n" + BLACK), ("cut header", b"P6\n2")):
            with self.subTest(name):
                with self.assertRaises(ValueError):
                    Image.from_ppm(data)


if __name__ == "__main__":
    unittest.main()
