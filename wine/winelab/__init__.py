"""Wine lab: what the end-to-end scenarios and the demo share.

A Wine prefix we create, reset and inspect (prefix); the texts of the
installer and of the sample screen saver as their headers define them
(texts, through the wine_texts host program, never retyped); driver scripts
for uidriver.exe (script) and the prompts of a complete install (prompts);
one "play" that runs an installer next to the driver (play) and, under X,
takes the screenshots the driver asks for (shots); and, for the tests that
compare a Windows build with a Linux one, their start and verdict (checks).

Wine facts this relies on: WINEDEBUG=-all keeps its noise out; mshtml and
mscoree are switched off so no add-on installer pops up; the graphics driver
"x11,null" makes windows work with no X display at all (headless) and under
Xvfb alike; Managed=N spares a window manager that Xvfb does not have; every
wine call runs under `timeout`; the output of wine processes goes to files,
never to a pipe (the desktop process that the first one starts would keep the
pipe open).
"""

import os

from .checks import cannot_start, report
from .play import Play, play, run_driver
from .prefix import WINE_ENV, Prefix, WineError, diff_snapshots, ini_value
from .prompts import WINDIR, ascii_upper, data_path, install_prompts
from .script import Script, driver_values, escape, unescape
from .shots import ShotTaker
from .texts import Texts, cp1252

__all__ = [
    "cannot_start", "report",
    "Play", "play", "run_driver",
    "WINE_ENV", "Prefix", "WineError", "diff_snapshots", "ini_value",
    "WINDIR", "ascii_upper", "data_path", "install_prompts",
    "Script", "driver_values", "escape", "unescape",
    "ShotTaker",
    "Texts", "cp1252",
]
