"""One Wine prefix: created, reset between scenarios, inspected; and the
system.ini reader."""

import os
import shutil
import subprocess
from pathlib import Path

WINE_ENV = {
    "WINEDEBUG": "-all",
    "WINEDLLOVERRIDES": "mscoree,mshtml=",
}

# Where Debian's fonts-wine puts the fonts Wine itself provides.
WINE_FONTS = Path("/usr/share/wine/fonts")


class WineError(RuntimeError):
    """Wine itself did not work: no prefix, no process."""


class Prefix:
    """One Wine prefix: created once, reset between scenarios.

    display=None runs headless (Wine's null graphics driver); otherwise the X
    display to use (Xvfb or a real one).
    """

    def __init__(self, path, display=None, managed=False):
        self.path = Path(path).resolve()
        self.display = display
        self.managed = managed
        self.env = dict(os.environ)
        self.env.update(WINE_ENV)
        self.env["WINEPREFIX"] = str(self.path)
        self.env.pop("DISPLAY", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        if display:
            self.env["DISPLAY"] = display
        self.pristine_file = self.path / "e2e-pristine.txt"

    @property
    def windir(self):
        return self.path / "drive_c" / "windows"

    @property
    def drive_c(self):
        return self.path / "drive_c"

    def win_path(self, unix_path):
        """The Windows name of a Unix path: below drive_c as C:, else through Z:."""
        p = Path(unix_path).resolve()
        try:
            rel = p.relative_to(self.drive_c.resolve())
            return "C:\\" + "\\".join(rel.parts)
        except ValueError:
            return "Z:" + str(p).replace("/", "\\")

    # -- running things --

    def run(self, args, log, timeout=60):
        """Runs a wine command to the end, its output into `log`; returns the exit code."""
        with open(log, "ab") as out:
            return subprocess.run(["timeout", "-k", "5", str(timeout)] + [str(a) for a in args],
                                  env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=subprocess.STDOUT).returncode

    def start(self, args, log, timeout=60):
        out = open(log, "ab")
        proc = subprocess.Popen(["timeout", "-k", "5", str(timeout)] + [str(a) for a in args],
                                env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.STDOUT)
        proc.log_file = out
        return proc

    def wine(self, *args, log, timeout=60):
        return self.run(["wine"] + list(args), log, timeout)

    def kill(self, log):
        """Ends every process of the prefix and the wineserver."""
        self.run(["wineserver", "-k"], log, timeout=30)
        self.run(["wineserver", "-w"], log, timeout=30)

    # -- creation --

    def create(self, log):
        """A fresh prefix; raises WineError, loudly, when Wine does not work here."""
        self.pristine_file.unlink(missing_ok=True)  # no scenario runs on a half-made prefix
        if shutil.which("wine") is None or shutil.which("wineserver") is None:
            raise WineError("wine is not installed (scripts/setup.sh installs it)")
        if self.path.exists():
            self.kill(log)
            shutil.rmtree(self.path)
        self.path.parent.mkdir(parents=True, exist_ok=True)
        rc = self.run(["wineboot", "-i"], log, timeout=300)
        if rc != 0 or not (self.windir / "system32").is_dir():
            raise WineError(f"wineboot -i failed with exit code {rc}; see {log}")
        rc = self.wine("reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics",
                       "/d", "x11,null", "/f", log=log, timeout=60)
        if rc != 0:
            raise WineError(f"wine reg add failed with exit code {rc}; see {log}")
        if not self.managed:
            self.wine("reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed",
                      "/d", "N", "/f", log=log, timeout=60)
        # The switch the installer turns on starts off, so turning it on shows.
        self.wine("reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "ScreenSaveActive",
                  "/d", "0", "/f", log=log, timeout=60)
        self.add_wine_fonts()
        self.kill(log)
        (self.drive_c / "setup").mkdir(exist_ok=True)
        self.save_pristine()

    def add_wine_fonts(self):
        """Copies Wine's own fonts (Debian's fonts-wine) into C:\\windows\\Fonts.
        Debian's Wine 8 looks for them at "<data dir>\\../fonts", a path its
        file layer cannot open, so without this it has no Marlett (the caption
        buttons then show letters: "r" for the close box) and no MS Sans Serif."""
        if not any(WINE_FONTS.glob("*.ttf")):
            raise WineError(f"no Wine fonts in {WINE_FONTS}: fonts-wine is missing "
                            "(scripts/setup.sh installs it)")
        fonts = self.windir / "Fonts"
        fonts.mkdir(exist_ok=True)
        for font in sorted(WINE_FONTS.iterdir()):
            shutil.copyfile(font, fonts / font.name)

    def save_pristine(self):
        lines = sorted(str(p.relative_to(self.windir)) for p in self.windir.rglob("*"))
        self.pristine_file.write_text("\n".join(lines) + "\n", encoding="utf-8")
        shutil.copyfile(self.windir / "system.ini", self.path / "e2e-system.ini")

    def exists(self):
        return self.pristine_file.is_file()

    def reset(self):
        """Back to the files of the fresh prefix: what scenarios add below the
        Windows directory is removed, system.ini restored, the setup folder
        emptied. Cheaper than copying ~590 MB."""
        pristine = set(self.pristine_file.read_text(encoding="utf-8").split("\n"))
        for p in sorted(self.windir.rglob("*"), key=lambda q: len(q.parts)):
            if str(p.relative_to(self.windir)) in pristine or not os.path.lexists(p):
                continue
            if p.is_dir() and not p.is_symlink():
                shutil.rmtree(p)
            else:
                p.unlink()
        shutil.copyfile(self.path / "e2e-system.ini", self.windir / "system.ini")
        setup = self.drive_c / "setup"
        if setup.exists():
            shutil.rmtree(setup)
        setup.mkdir()

    # -- inspection --

    def snapshot(self):
        """Every path below the Windows directory with (kind, size, mtime)."""
        state = {}
        for p in self.windir.rglob("*"):
            st = p.lstat()
            kind = "dir" if p.is_dir() else "file"
            state[str(p.relative_to(self.windir))] = (kind, st.st_size if kind == "file" else 0,
                                                      st.st_mtime_ns)
        return state


def diff_snapshots(before, after):
    """(added, removed, changed) relative paths."""
    added = sorted(set(after) - set(before))
    removed = sorted(set(before) - set(after))
    changed = sorted(p for p in set(before) & set(after)
                     if before[p] != after[p] and before[p][0] == "file")
    return added, removed, changed


def ini_value(data, section, key):
    """The value of key in [section] of an ini file's bytes, or None."""
    current = None
    for raw in data.split(b"\n"):
        line = raw.rstrip(b"\r").strip()
        if line.startswith(b"[") and line.endswith(b"]"):
            current = line[1:-1].strip().lower()
            continue
        if current == section.lower().encode() and b"=" in line:
            k, v = line.split(b"=", 1)
            if k.strip().lower() == key.lower().encode():
                return v.strip()
    return None
