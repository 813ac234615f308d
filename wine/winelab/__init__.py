"""Wine lab: what the end-to-end scenarios and the demo share.

A Wine prefix we create, reset and inspect; the texts of the installer and of
the sample screen saver as their headers define them (through the wine_texts
host program, never retyped); driver scripts for uidriver.exe; and one
"play" that runs an installer next to the driver and, under X, takes the
screenshots the driver asks for.

Wine facts this relies on: WINEDEBUG=-all keeps its noise out; mshtml and
mscoree are switched off so no add-on installer pops up; the graphics driver
"x11,null" makes windows work with no X display at all (headless) and under
Xvfb alike; Managed=N spares a window manager that Xvfb does not have; every
wine call runs under `timeout`; the output of wine processes goes to files,
never to a pipe (the desktop process that the first one starts would keep the
pipe open).
"""

import os
import shutil
import subprocess
import threading
import time
from pathlib import Path

WINE_ENV = {
    "WINEDEBUG": "-all",
    "WINEDLLOVERRIDES": "mscoree,mshtml=",
}


class WineError(RuntimeError):
    """Wine itself did not work: no prefix, no process."""


# ---- texts ------------------------------------------------------------------

class Texts:
    """The named texts of shell/texts.h and demo/saver/saver_texts.h."""

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


# ---- driver scripts -----------------------------------------------------------

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


# ---- what a complete install shows ------------------------------------------------

WINDIR = "C:\\windows"  # GetWindowsDirectoryA in a Wine prefix


def ascii_upper(text):
    """Upper case as the installer makes it: the letters a to z only."""
    return "".join(c.upper() if "a" <= c <= "z" else c for c in text)


def data_path(base):
    """Where an installer of base name `base` puts its data file."""
    return f"{WINDIR}\\TORVANEL\\KAVRELIN\\{base}\\{base}.DAT"


def install_prompts(script, texts, saver_name, base, title, total, data_text, shots=None):
    """The prompts of a complete install, in order, each answered with OK:
    confirmation, please-wait dialog, completion, order info, and the settings
    box of the screen saver that the installer starts without arguments
    (showing the data file it found). `shots`: five screenshot names or None."""
    shots = shots or [None] * 5
    caption = texts.fmt("TEXT_INSTALLER_CAPTION", title)
    script.box(caption, texts.fmt("TEXT_CONFIRM", saver_name, title, ascii_upper(WINDIR),
                                  thousands(total)), "OKCANCEL", "OK", shots[0])
    script.transient(caption, 1001, texts.fmt("TEXT_INSTALL_ITEM", title), shots[1])
    script.box(caption, texts.fmt("TEXT_COMPLETE", WINDIR + "\\", "\\" + ascii_upper(base)),
               "OK", "OK", shots[2])
    script.dialog(texts["TEXT_ORDER_CAPTION"], 0xFFFF, texts["TEXT_ORDER_BANNER"], 1, shots[3])
    script.box(texts["SAVER_CAPTION"], texts.fmt("SAVER_SETTINGS_FOUND", data_path(base), data_text),
               "OK", "OK", shots[4])
    script.waitproc(saver_name)
    return script


# ---- the prefix -----------------------------------------------------------------

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
        self.kill(log)
        (self.drive_c / "setup").mkdir(exist_ok=True)
        self.save_pristine()

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


# ---- screenshots ------------------------------------------------------------------

class ShotTaker:
    """Answers the driver's screenshot requests: NAME.req in the hand-shake
    folder becomes NAME.png in the output folder (import -window root), then
    NAME.ack tells the driver to go on."""

    def __init__(self, handshake_dir, out_dir, display):
        self.dir = Path(handshake_dir)
        self.out = Path(out_dir)
        self.display = display
        self.taken = []
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
                png = self.out / (name + ".png")
                env = dict(os.environ, DISPLAY=self.display)
                result = subprocess.run(["timeout", "20", "import", "-window", "root", str(png)],
                                        env=env, capture_output=True)
                if result.returncode == 0:
                    self.taken.append(png)
                else:
                    self.errors.append(f"{name}: {result.stderr.decode(errors='replace').strip()}")
                req.unlink()
                (self.dir / (name + ".ack")).touch()
            time.sleep(0.02)


# ---- one play: a program and the driver side by side ----------------------------

class Play:
    """Outcome of one run: exit codes, the driver's log."""

    def __init__(self, program_rc, driver_rc, driver_log):
        self.program_rc = program_rc
        self.driver_rc = driver_rc
        self.driver_log = driver_log


def play(prefix, driver_exe, script, program_args, work, name, shots=None, watch=False,
         timeout=60, driver_timeout=20):
    """Runs `program_args` (a wine command line) while uidriver plays `script`.

    shots: a ShotTaker whose folder the driver hands its requests to, or None.
    """
    work = Path(work)
    work.mkdir(parents=True, exist_ok=True)
    script_file = work / f"{name}.script"
    script.write(script_file)
    driver_log = work / f"{name}.driver.log"
    program_log = work / f"{name}.program.log"
    for f in (driver_log, program_log):
        f.unlink(missing_ok=True)
    args = ["wine", str(driver_exe), "--timeout", str(driver_timeout)]
    if watch:
        args.append("--watch")
    if shots is not None:
        args += ["--shots", prefix.win_path(shots.dir)]
    args.append(prefix.win_path(script_file))
    driver_limit = 900 if watch else timeout
    program = prefix.start(["wine"] + list(program_args), program_log, timeout=driver_limit)
    driver = prefix.start(args, driver_log, timeout=driver_limit)
    driver_rc = driver.wait()
    if driver_rc != 0:
        # Something did not come as expected: whatever waits for an answer
        # now would only wait for its timeout.
        prefix.kill(program_log)
    program_rc = program.wait()
    program.log_file.close()
    driver.log_file.close()
    return Play(program_rc, driver_rc, driver_log.read_text(encoding="latin-1"))


def run_driver(prefix, driver_exe, script, work, name, timeout=30):
    """The driver alone (queries such as shortpath or the screen saver switch)."""
    work = Path(work)
    script_file = work / f"{name}.script"
    script.write(script_file)
    log = work / f"{name}.driver.log"
    log.unlink(missing_ok=True)
    rc = prefix.wine(str(driver_exe), prefix.win_path(script_file), log=log, timeout=timeout)
    return rc, log.read_text(encoding="latin-1")


# ---- system.ini ---------------------------------------------------------------------

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
