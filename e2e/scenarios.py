#!/usr/bin/env python3
"""End-to-end scenarios: the real installer (stub.exe + a package written by
scrpack) run under Wine, every prompt answered by uidriver.exe.

Each scenario builds its installer with `scrpack pack` (the happy path with
scrpack.exe, the Windows build, under Wine), resets the shared
prefix, runs the installer next to the driver, and then checks what a user
and the system would see: every prompt's exact text (the bytes of
res/texts.h, formatted here with the values the installer should use) in
the expected order, the exit code, every file below the Windows directory
(byte-identical to what `scrpack extract` writes for the same installer, and
nothing else written), the system.ini line, the screen saver switch, and
whether the screen saver was started (its marker file and process).

  scenarios.py --setup ...            creates the shared prefix (fails loudly
                                      when Wine cannot start)
  scenarios.py --only NAME[,NAME] ... runs scenarios in the existing prefix
  scenarios.py --teardown ...         ends the prefix's processes
  scenarios.py ...                    all three, with a summary
  scenarios.py --list                 the scenario names

The Wine lab is the package wine/winelab: run with PYTHONPATH=wine (CTest
does).

Headless: Wine's null graphics driver, no X display needed.
"""

import argparse
import contextlib
import json
import os
import random
import shutil
import subprocess
import sys
import time
from pathlib import Path

import winelab
from winelab import WINDIR, Script, data_path

WINDIR_UPPER = winelab.ascii_upper(WINDIR)  # as the confirmation shows it
TITLE = "Zonsondergang"
DATA_TEXT = ("Zonsondergang boven de Noordzee.\r\n"
             "Een voorbeeld-screensaver, ge\xefnspireerd door de avond.\r\n").encode("cp1252")


SKIP_CODE = 77  # CTest's SKIP_RETURN_CODE for the e2e tests


class ScenarioFailed(AssertionError):
    pass


class ScenarioSkipped(Exception):
    """The scenario cannot run on this machine; the message says why."""


class Lab:
    """The programs under test, the shared prefix and one scenario's folder."""

    def __init__(self, args):
        self.stub = Path(args.stub)
        self.saver = Path(args.saver)
        self.driver = Path(args.driver)
        self.scrpack = Path(args.scrpack)
        self.scrpack_exe = Path(args.scrpack_exe)
        self.work = Path(args.work).resolve()
        self.prefix = winelab.Prefix(self.work / "prefix")
        self.texts = winelab.Texts(args.texts)
        self._texts_program = args.texts
        self._texts_in = {"nl": self.texts}
        self.marker_name = self.texts["SAVER_MARKER_NAME"].decode("ascii")
        self.log = self.work / "wine.log"
        self.dir = None  # the current scenario's folder
        for p in (self.stub, self.saver, self.driver, self.scrpack, self.scrpack_exe):
            if not p.is_file():
                raise ScenarioFailed(f"missing build product {p}")

    def begin(self, name):
        self.dir = self.work / name
        if self.dir.exists():
            shutil.rmtree(self.dir)
        self.dir.mkdir(parents=True)
        self.prefix.reset()
        # The switch that a complete install turns on starts off, in a driver
        # run of its own that ends before the installer starts.
        self.query(Script().screensaver("set", 0))

    def texts_in(self, language):
        """The installer's texts in `language` (nl, en, de, fr)."""
        if language not in self._texts_in:
            self._texts_in[language] = winelab.Texts(self._texts_program, language)
        return self._texts_in[language]

    # -- installers --

    def payload(self, extras=True):
        """Saver, data file and extra files: text that compresses, random bytes
        that do not (so the package holds stored and compressed entries)."""
        data = self.dir / "sample.dat"
        data.write_bytes(DATA_TEXT)
        files = [self.saver, data]
        if extras:
            rng = random.Random(13)
            noise = self.dir / "noise.bin"
            noise.write_bytes(bytes(rng.randrange(256) for _ in range(5000)))
            notes = self.dir / "notes.txt"
            notes.write_bytes(b"Extra bestand bij de screen saver.\r\n" * 40)
            files += [noise, notes]
        return files

    def pack(self, file_name, files, title=TITLE, first_number=None, store=False, language=None):
        """Writes the installer into the scenario's folder and returns its path;
        with `language`, scrpack picks that language's stub itself."""
        out = self.dir / file_name
        stub = ["--language", language] if language else ["--stub", str(self.stub)]
        cmd = [str(self.scrpack), "pack", "-o", str(out)] + stub + ["--title", title]
        if first_number is not None:
            cmd += ["--first-number", str(first_number)]
        if store:
            cmd.append("--store")
        cmd += [str(f) for f in files]
        result = subprocess.run(cmd, capture_output=True, timeout=60)
        if result.returncode != 0:
            raise ScenarioFailed(f"scrpack pack failed: {result.stderr.decode(errors='replace')}")
        return out

    def pack_on_windows(self, file_name, files, title, first_number, language=None):
        """The same with scrpack.exe under Wine, which finds the stub (of
        `language`) beside itself; Windows paths throughout."""
        out = self.dir / file_name
        log = self.dir / "scrpack-exe.log"
        args = [self.scrpack_exe, "pack", "-o", self.prefix.win_path(out), "--title", title,
                "--first-number", str(first_number)]
        args += ["--language", language] if language else []
        args += [self.prefix.win_path(f) for f in files]
        rc = self.prefix.wine(*args, log=log, timeout=60)
        if rc != 0 or not out.is_file():
            raise ScenarioFailed(f"scrpack.exe pack failed (exit {rc}):\n{log.read_text(errors='replace')}")
        return out

    def language_of(self, installer):
        """The language `scrpack list --json` finds in the installer."""
        out = subprocess.run([str(self.scrpack), "list", "--json", str(installer)], capture_output=True,
                             timeout=60, check=True).stdout
        return json.loads(out)[0]["language"]

    def entry_kinds(self, installer):
        """"stored" or "compressed" for each entry, from the last column of
        the entry rows of `scrpack list`."""
        result = subprocess.run([str(self.scrpack), "list", str(installer)], capture_output=True,
                                timeout=60)
        if result.returncode != 0:
            raise ScenarioFailed(f"scrpack list failed: {result.stderr.decode(errors='replace')}")
        rows = [line.split() for line in result.stdout.decode("utf-8", errors="replace").splitlines()]
        return [row[-1] for row in rows if row and row[0].isdigit()]

    def expected_files(self, installer):
        """What `scrpack extract` writes for this installer: relative path -> bytes."""
        root = self.dir / "scrpack-windir"
        if root.exists():
            shutil.rmtree(root)
        root.mkdir()
        result = subprocess.run([str(self.scrpack), "extract", str(installer), "-d", str(root)],
                                capture_output=True, timeout=60)
        if result.returncode != 0:
            raise ScenarioFailed(f"scrpack extract failed: {result.stderr.decode(errors='replace')}")
        return {str(p.relative_to(root)): p.read_bytes() for p in root.rglob("*") if p.is_file()}

    def place(self, installer):
        """Copies the installer into C:\\setup; returns its Windows path."""
        target = self.prefix.drive_c / "setup" / installer.name
        shutil.copyfile(installer, target)
        return self.prefix.win_path(target)

    # -- running --

    def play(self, script, program_args):
        return winelab.play(self.prefix, self.driver, script, program_args, self.dir, "run")

    def query(self, script):
        rc, log = winelab.run_driver(self.prefix, self.driver, script, self.dir, "query")
        if rc != 0:
            raise ScenarioFailed(f"driver query failed (exit {rc}):\n{log}")
        return log

    def end(self):
        self.prefix.kill(self.log)


class Checks:
    """Collects every failed check of a scenario, so one run shows them all."""

    def __init__(self):
        self.failures = []

    def eq(self, what, expected, got):
        if expected != got:
            self.failures.append(f"{what}:\n    expected {expected!r}\n    got      {got!r}")

    def true(self, what, condition, detail=""):
        if not condition:
            self.failures.append(f"{what}{': ' + detail if detail else ''}")


# ---- common expectations ------------------------------------------------------

def confirm_prompt(lab, script, total, answer):
    """The confirmation of installer sunset.exe."""
    t = lab.texts
    return script.box(t.fmt("TEXT_INSTALLER_CAPTION", TITLE),
                      t.fmt("TEXT_CONFIRM", "SUNSET.SCR", TITLE, WINDIR_UPPER, t.thousands(total)),
                      "OKCANCEL", answer)


def install_prompts(lab, script, saver_name, base, total):
    winelab.install_prompts(script, lab.texts, saver_name, base, TITLE, total, DATA_TEXT)


def check_run(c, run, program_rc):
    c.eq("installer exit code", program_rc, run.program_rc)
    c.true("driver: every prompt as expected", run.driver_rc == 0,
           f"driver exit {run.driver_rc}\n{run.driver_log}")


def check_files_as_scrpack(c, lab, expected, names=None):
    """The installed files equal scrpack extract's, byte for byte."""
    for rel, data in sorted(expected.items()):
        if names is not None and rel not in names:
            continue
        installed = lab.prefix.windir / rel
        if not installed.is_file():
            c.failures.append(f"not installed: {rel}")
            continue
        got = installed.read_bytes()
        c.true(f"{rel} byte-identical to scrpack extract", got == data,
               f"{len(got)} bytes installed, {len(data)} bytes from scrpack")


def folders_of(files):
    out = set()
    for rel in files:
        parts = Path(rel).parts[:-1]
        for i in range(1, len(parts) + 1):
            out.add(str(Path(*parts[:i])))
    return out


def check_nothing_started(c, lab, saver_name):
    log = lab.query(Script().noproc(saver_name).screensaver("get"))
    c.eq("screen saver switch", ["0"], winelab.driver_values(log, "screensaveactive"))
    c.true("screen saver not started (no marker)",
           not (lab.prefix.windir / lab.marker_name).exists())


def check_nothing_written(c, before, after):
    added, removed, changed = winelab.diff_snapshots(before, after)
    c.eq("paths added below the Windows directory", [], added)
    c.eq("paths removed", [], removed)
    c.eq("files changed", [], changed)


def check_complete_install(c, lab, installer, saver_name, base, before, after, pristine_ini,
                           replaced=()):
    """Everything a finished install leaves behind."""
    expected = lab.expected_files(installer)
    c.true("scrpack extract names the screen saver " + saver_name, saver_name in expected,
           f"scrpack wrote {sorted(expected)}")
    added, removed, changed = winelab.diff_snapshots(before, after)
    want_added = sorted((set(expected) | folders_of(expected) | {lab.marker_name}) - set(replaced))
    c.eq("paths added below the Windows directory", want_added, added)
    c.eq("paths removed", [], removed)
    c.eq("files changed", sorted({"system.ini"} | set(replaced)), changed)
    check_files_as_scrpack(c, lab, expected)

    saver_path = f"{WINDIR}\\{saver_name}"
    log = lab.query(Script().shortpath(saver_path).screensaver("get"))
    short = winelab.driver_values(log, "shortpath")
    ini = (lab.prefix.windir / "system.ini").read_bytes()
    value = winelab.ini_value(ini, "boot", "SCRNSAVE.EXE")
    c.true("system.ini has [boot] SCRNSAVE.EXE=", value is not None)
    c.true("the system has a short path for " + saver_path, len(short) == 1 and short[0], log)
    if short and value is not None:
        c.eq("system.ini SCRNSAVE.EXE (the short path)", winelab.unescape(short[0]), value)
        leaf = value.decode("cp1252").rsplit("\\", 1)[-1]
        stem, _, ext = leaf.partition(".")
        c.true("SCRNSAVE.EXE value is an 8.3 name", 0 < len(stem) <= 8 and len(ext) <= 3 and " " not in leaf,
               leaf)
    c.true("system.ini keeps its other lines", ini.startswith(pristine_ini.rstrip(b"\r\n")),
           "the original content is no longer its start")
    c.eq("screen saver switch", ["1"], winelab.driver_values(log, "screensaveactive"))
    return expected


def check_marker(c, lab, base, command_line):
    marker = lab.prefix.windir / lab.marker_name
    lines = marker.read_bytes().decode("cp1252").splitlines() if marker.exists() else []
    c.eq("screen saver started once, by the installer", [f"c|{data_path(base)}|{command_line}"], lines)


def install_checked(c, lab, installer, files, saver, base):
    """Installs `installer` (packed from `files`), confirming every prompt,
    and checks the whole result: `saver` in the Windows directory, data
    folder `base`. Returns what scrpack extracts from it."""
    total = sum(p.stat().st_size for p in files)
    win = lab.place(installer)
    pristine_ini = (lab.prefix.windir / "system.ini").read_bytes()
    before = lab.prefix.snapshot()
    script = Script()
    install_prompts(lab, script, saver, base, total)
    run = lab.play(script, [win])
    check_run(c, run, 0)
    lab.end()
    return check_complete_install(c, lab, installer, saver, base, before, lab.prefix.snapshot(), pristine_ini)


# ---- scenarios ----------------------------------------------------------------

def happy_path(lab):
    """Stored and compressed entries, two extra files numbered from 13; the
    installer packed by scrpack.exe."""
    c = Checks()
    files = lab.payload()
    installer = lab.pack_on_windows("sunset.exe", files, TITLE, 13)
    kinds = lab.entry_kinds(installer)
    c.eq("entries in the package", 4, len(kinds))
    c.true("package holds stored and compressed entries",
           "stored" in kinds and "compressed" in kinds, f"kinds {kinds}")
    expected = install_checked(c, lab, installer, files, "SUNSET.SCR", "sunset")
    for name in ("TORVANEL/KAVRELIN/sunset/FILE0013.bin", "TORVANEL/KAVRELIN/sunset/FILE0014.txt"):
        c.true(f"extra file {name}", name in expected, f"scrpack wrote {sorted(expected)}")
    check_marker(c, lab, "sunset", "SUNSET.SCR")
    return c


def signed_installer(lab):
    """An installer signed after packing (a throwaway key, osslsigncode)
    lists as signed and installs as any other: the signature after the
    package changes nothing the stub reads."""
    c = Checks()
    if not (shutil.which("openssl") and shutil.which("osslsigncode")):
        raise ScenarioSkipped("osslsigncode or openssl is not installed (scripts/setup.sh unit installs them)")
    files = lab.payload(extras=False)
    unsigned = lab.pack("unsigned.exe", files)
    key, cert, installer = lab.dir / "key.pem", lab.dir / "cert.pem", lab.dir / "signed.exe"
    for cmd in (["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key), "-out", str(cert),
                 "-days", "1", "-subj", "/CN=Throwaway"],
                ["osslsigncode", "sign", "-certs", str(cert), "-key", str(key), "-in", str(unsigned),
                 "-out", str(installer)]):
        result = subprocess.run(cmd, capture_output=True, timeout=60)
        if result.returncode != 0:
            raise ScenarioFailed(f"{cmd[0]} failed: {result.stderr.decode(errors='replace')}")
    listed = subprocess.run([str(lab.scrpack), "list", str(installer)], capture_output=True, timeout=60)
    c.true("scrpack list says the installer is signed", b"Signed:         yes" in listed.stdout,
           listed.stdout.decode(errors="replace"))
    install_checked(c, lab, installer, files, "SIGNED.SCR", "signed")
    check_marker(c, lab, "signed", "SIGNED.SCR")
    return c


def cancel(lab):
    """Cancel at the confirmation: nothing written, nothing started."""
    c = Checks()
    files = lab.payload(extras=False)
    installer = lab.pack("sunset.exe", files)
    total = sum(p.stat().st_size for p in files)
    win = lab.place(installer)
    before = lab.prefix.snapshot()
    script = confirm_prompt(lab, Script(), total, "CANCEL")
    run = lab.play(script, [win])
    check_run(c, run, 0)
    check_nothing_started(c, lab, "SUNSET.SCR")
    lab.end()
    check_nothing_written(c, before, lab.prefix.snapshot())
    return c


OLD_SAVER = b"an older screen saver of the same name\r\n"


def existing_prompts(lab, script, answer):
    # The question names the file looked for: the installer's name cut at its
    # first '.', its case kept, and ".SCR" (the file system ignores case).
    t = lab.texts
    script.box(t["TEXT_REPLACE_CAPTION"], t.fmt("TEXT_REPLACE", "sunset.SCR"), "YESNO", answer)


def existing_no(lab):
    """An existing SUNSET.SCR, answer No: the rename advice, nothing written."""
    c = Checks()
    installer = lab.pack("sunset.exe", lab.payload(extras=False))
    win = lab.place(installer)
    (lab.prefix.windir / "SUNSET.SCR").write_bytes(OLD_SAVER)
    before = lab.prefix.snapshot()
    t = lab.texts
    script = Script()
    existing_prompts(lab, script, "NO")
    script.box(t["TEXT_RENAME_CAPTION"], t.fmt("TEXT_RENAME", "sunset.EXE"), "OK", "OK")
    run = lab.play(script, [win])
    check_run(c, run, 0)
    check_nothing_started(c, lab, "SUNSET.SCR")
    lab.end()
    check_nothing_written(c, before, lab.prefix.snapshot())
    c.eq("the existing screen saver", OLD_SAVER, (lab.prefix.windir / "SUNSET.SCR").read_bytes())
    return c


def existing_yes(lab):
    """An existing SUNSET.SCR, answer Yes: the install replaces it."""
    c = Checks()
    files = lab.payload(extras=False)
    installer = lab.pack("sunset.exe", files)
    total = sum(p.stat().st_size for p in files)
    win = lab.place(installer)
    (lab.prefix.windir / "SUNSET.SCR").write_bytes(OLD_SAVER)
    pristine_ini = (lab.prefix.windir / "system.ini").read_bytes()
    before = lab.prefix.snapshot()
    script = Script()
    existing_prompts(lab, script, "YES")
    install_prompts(lab, script, "SUNSET.SCR", "sunset", total)
    run = lab.play(script, [win])
    check_run(c, run, 0)
    lab.end()
    check_complete_install(c, lab, installer, "SUNSET.SCR", "sunset", before, lab.prefix.snapshot(),
                           pristine_ini, replaced=("SUNSET.SCR",))
    check_marker(c, lab, "sunset", "SUNSET.SCR")
    return c


def install_as(lab, installer_name, saver, base, command):
    """Packs the payload as `installer_name`, installs it confirming every
    prompt, and checks the whole result: `saver` in the Windows directory,
    data folder `base`, the screen saver started with `command`."""
    c = Checks()
    files = lab.payload(extras=False)
    installer = lab.pack(installer_name, files)
    expected = install_checked(c, lab, installer, files, saver, base)
    check_marker(c, lab, base, command)
    return c, expected


def name_dots(lab):
    """my.saver.exe: MY.SCR in the Windows directory, data folder my.saver."""
    c, expected = install_as(lab, "my.saver.exe", "MY.SCR", "my.saver", "MY.SCR")
    c.true("data file my.saver/my.saver.DAT", "TORVANEL/KAVRELIN/my.saver/my.saver.DAT" in expected,
           f"scrpack wrote {sorted(expected)}")
    return c


def name_blank(lab):
    """"sunset (1).exe": "SUNSET (1).SCR", started with a quoted command line."""
    c, _ = install_as(lab, "sunset (1).exe", "SUNSET (1).SCR", "sunset (1)", '"SUNSET (1).SCR"')
    return c


def damaged_prompt(lab, script, title):
    t = lab.texts
    script.box(t.fmt("TEXT_INSTALLER_CAPTION", title), t["TEXT_DAMAGED"], "OK", "OK")


def damaged_truncated(lab):
    """The installer cut short by one byte: the damaged-package message."""
    c = Checks()
    full = lab.pack("sunset.exe", lab.payload(extras=False), store=True)
    data = full.read_bytes()
    full.write_bytes(data[:-1])
    win = lab.place(full)
    before = lab.prefix.snapshot()
    script = Script()
    damaged_prompt(lab, script, TITLE)
    run = lab.play(script, [win])
    check_run(c, run, 1)
    check_nothing_started(c, lab, "SUNSET.SCR")
    lab.end()
    check_nothing_written(c, before, lab.prefix.snapshot())
    return c


def bare_stub(lab):
    """The stub without a package: the damaged-package message, no title."""
    c = Checks()
    installer = lab.dir / "sunset.exe"
    shutil.copyfile(lab.stub, installer)
    win = lab.place(installer)
    before = lab.prefix.snapshot()
    script = Script()
    damaged_prompt(lab, script, "")
    run = lab.play(script, [win])
    check_run(c, run, 1)
    check_nothing_started(c, lab, "SUNSET.SCR")
    lab.end()
    check_nothing_written(c, before, lab.prefix.snapshot())
    return c


def write_failure(lab):
    """A FILE named TORVANEL where the data folder must go (root ignores Unix
    permissions, a file in the way does not): the failure message naming the
    data file, no temporary file, system.ini unchanged, nothing started."""
    c = Checks()
    files = lab.payload()
    installer = lab.pack("sunset.exe", files, first_number=13)
    total = sum(p.stat().st_size for p in files)
    win = lab.place(installer)
    blocker = lab.prefix.windir / "TORVANEL"
    blocker.write_bytes(b"a file where a folder should be\r\n")
    pristine_ini = (lab.prefix.windir / "system.ini").read_bytes()
    before = lab.prefix.snapshot()
    t = lab.texts
    caption = t.fmt("TEXT_INSTALLER_CAPTION", TITLE)
    script = confirm_prompt(lab, Script(), total, "OK")
    script.transient(caption, 1001, t.fmt("TEXT_INSTALL_ITEM", TITLE))
    script.box(caption, t.fmt("TEXT_FAILED", data_path("sunset")), "OK", "OK")
    run = lab.play(script, [win])
    check_run(c, run, 1)
    check_nothing_started(c, lab, "SUNSET.SCR")
    lab.end()
    after = lab.prefix.snapshot()
    added, removed, changed = winelab.diff_snapshots(before, after)
    # Entries are written in order, each whole or not at all: the screen
    # saver (entry 0) before the data file that failed.
    c.eq("paths added below the Windows directory (no temporary file)", ["SUNSET.SCR"], added)
    c.eq("paths removed", [], removed)
    c.eq("files changed (system.ini untouched)", [], changed)
    check_files_as_scrpack(c, lab, lab.expected_files(installer), names={"SUNSET.SCR"})
    c.eq("system.ini", pristine_ini, (lab.prefix.windir / "system.ini").read_bytes())
    c.eq("the file in the way", b"a file where a folder should be\r\n", blocker.read_bytes())
    return c


@contextlib.contextmanager
def small_drive_c(lab, kilobytes):
    """Drive C of the prefix on a file system of `kilobytes`, so that the
    installer finds too little free space: a tmpfs of that size, mounted for
    the scenario, holding a link to each entry of the prefix's drive_c (which
    keeps every file) and named by the prefix's c: instead. Yields the free
    kilobytes as the installer's query reports them. Mounting needs root;
    without it the scenario is skipped with that reason."""
    mount = lab.dir / "small-c"
    mount.mkdir()
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={kilobytes}k,mode=755", "tmpfs", str(mount)],
                          capture_output=True, text=True, timeout=30)
    if done.returncode != 0:
        raise ScenarioSkipped("a small drive C for the disk-space question needs a tmpfs mount, which "
                              f"this user may not make: {(done.stderr or done.stdout).strip()}")
    drive = lab.prefix.path / "dosdevices" / "c:"
    try:
        for entry in lab.prefix.drive_c.iterdir():
            (mount / entry.name).symlink_to(entry)
        drive.unlink()
        drive.symlink_to(mount)
        disk = os.statvfs(mount)
        yield disk.f_bavail * disk.f_frsize >> 10
    finally:
        lab.end()  # no Wine process may hold the drive while it goes
        if os.path.lexists(drive):
            drive.unlink()
        drive.symlink_to("../drive_c")
        subprocess.run(["umount", str(mount)], capture_output=True, timeout=30)


def install_in(lab, language, existing=False, on_windows=False, short_of_space=False):
    """A complete install by the stub of `language`, packed with
    `pack --language` (by scrpack.exe under Wine when `on_windows`): every
    prompt in that language, byte for byte; with `existing`, an older
    SUNSET.SCR first, replaced on Yes; when `short_of_space`, on a drive C
    with less room than the install needs, going on at the question."""
    c = Checks()
    t = lab.texts_in(language)
    files = lab.payload(extras=False)
    if on_windows:
        installer = lab.pack_on_windows("sunset.exe", files, TITLE, 1, language=language)
    else:
        installer = lab.pack("sunset.exe", files, language=language)
    c.eq("the language scrpack list finds", language, lab.language_of(installer))
    total = sum(p.stat().st_size for p in files)
    win = lab.place(installer)
    if existing:
        (lab.prefix.windir / "SUNSET.SCR").write_bytes(OLD_SAVER)
    pristine_ini = (lab.prefix.windir / "system.ini").read_bytes()
    before = lab.prefix.snapshot()
    script = Script()
    if existing:
        script.box(t["TEXT_REPLACE_CAPTION"], t.fmt("TEXT_REPLACE", "sunset.SCR"), "YESNO", "YES")
    with small_drive_c(lab, 8) if short_of_space else contextlib.nullcontext() as free:
        if short_of_space:
            c.true("the small drive has less room than the install needs", free <= total >> 10,
                   f"{free} KB free for {total} bytes")
            script.box(t["TEXT_DISK_CAPTION"], t.fmt("TEXT_DISK", t.thousands(total >> 10), t.thousands(free)),
                       "OKCANCEL", "OK")
        winelab.install_prompts(script, t, "SUNSET.SCR", "sunset", TITLE, total, DATA_TEXT)
        run = lab.play(script, [win])
        check_run(c, run, 0)
        lab.end()
    check_complete_install(c, lab, installer, "SUNSET.SCR", "sunset", before, lab.prefix.snapshot(),
                           pristine_ini, replaced=("SUNSET.SCR",) if existing else ())
    check_marker(c, lab, "sunset", "SUNSET.SCR")
    return c


def english(lab):
    """The English stub's complete install."""
    return install_in(lab, "en")


def german(lab):
    """The German stub's complete install over an older screen saver on a
    drive C short of space: the question before replacing it, the disk-space
    question, then every prompt of the install."""
    return install_in(lab, "de", existing=True, short_of_space=True)


def french(lab):
    """The French stub's complete install, packed by scrpack.exe under Wine,
    which finds stub-fr.exe beside itself."""
    return install_in(lab, "fr", on_windows=True)


def driver_rejects(lab):
    """The harness itself: a text one byte off and a wrong button set make the
    driver fail. Otherwise every scenario above could pass without looking."""
    c = Checks()
    folder = lab.prefix.windir / "TORVANEL" / "KAVRELIN" / "probe"
    folder.mkdir(parents=True)
    (folder / "probe.DAT").write_bytes(DATA_TEXT)
    saver = lab.prefix.windir / "PROBE.SCR"
    shutil.copyfile(lab.saver, saver)
    t = lab.texts
    right = t.fmt("SAVER_SETTINGS_FOUND", data_path("probe"), DATA_TEXT)
    wrong = right.replace(b"\xef", b"i")
    c.true("the probe text holds the byte 0xEF", wrong != right)
    for name, text, buttons in (("text", wrong, "OK"), ("buttons", right, "OKCANCEL")):
        script = Script().box(t["SAVER_CAPTION"], text, buttons, "OK")
        run = winelab.play(lab.prefix, lab.driver, script, [lab.prefix.win_path(saver)], lab.dir,
                           "probe-" + name)
        c.eq(f"driver exit code on a wrong {name}", 1, run.driver_rc)
        c.true(f"driver names the {name} that differs", f"{name} differs" in run.driver_log,
               run.driver_log)
        lab.end()
    return c


SCENARIOS = {
    "happy_path": happy_path,
    "signed_installer": signed_installer,
    "cancel": cancel,
    "existing_no": existing_no,
    "existing_yes": existing_yes,
    "name_dots": name_dots,
    "name_blank": name_blank,
    "damaged_truncated": damaged_truncated,
    "bare_stub": bare_stub,
    "write_failure": write_failure,
    "driver_rejects": driver_rejects,
    "english": english,
    "german": german,
    "french": french,
}


# ---- command line -------------------------------------------------------------

def banner(lines):
    bar = "!" * 72
    print(bar, *("!! " + line for line in lines), bar, sep="\n", file=sys.stderr)


def log_tail(path, count=8):
    try:
        return Path(path).read_text(encoding="latin-1").splitlines()[-count:]
    except OSError:
        return []


def window_check(lab):
    """Wine runs a program that shows a window, and the driver sees it go:
    the sample screen saver full screen, ended by a key press."""
    work = lab.work / "setup"
    work.mkdir(parents=True, exist_ok=True)
    cls = lab.texts["SAVER_CLASS"]
    script = Script().window(cls).key(cls).waitproc(lab.saver.name)
    run = winelab.play(lab.prefix, lab.driver, script, [lab.saver, "/s"], work, "window-check")
    lab.prefix.kill(lab.log)
    lab.prefix.reset()
    if run.driver_rc != 0 or run.program_rc != 0:
        raise winelab.WineError(f"Wine starts but shows no window (program exit {run.program_rc}, "
                                f"driver exit {run.driver_rc}):\n{run.driver_log}")


def setup(lab):
    try:
        lab.prefix.create(lab.log)
        window_check(lab)
    except winelab.WineError as e:
        banner(["WINE CANNOT START ON THIS MACHINE: the end-to-end tests FAIL.", *str(e).splitlines(),
                "This machine runs 32-bit programs (scripts/wine-check.sh), so the Wine tests",
                "do not skip here: Wine itself is at fault. Reinstall it (scripts/setup.sh wine) and rerun.",
                f"Last lines of {lab.log}:", *log_tail(lab.log)])
        return False
    return True


def run_one(lab, name, skipped):
    start = time.monotonic()
    lab.begin(name)
    try:
        checks = SCENARIOS[name](lab)
        failures = checks.failures
    except ScenarioFailed as e:
        failures = [str(e)]
    except ScenarioSkipped as e:
        print(f"skipped: {name}: {e}")
        skipped.append(name)
        return True
    finally:
        lab.end()
    seconds = time.monotonic() - start
    if failures:
        print(f"FAIL {name} ({seconds:.1f} s)")
        for f in failures:
            print("  - " + f.replace("\n", "\n    "))
        print(f"  (logs in {lab.dir})")
    else:
        print(f"ok   {name} ({seconds:.1f} s)")
    return not failures


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--stub")
    parser.add_argument("--saver")
    parser.add_argument("--driver")
    parser.add_argument("--scrpack")
    parser.add_argument("--scrpack-exe", help="scrpack.exe, the Windows build")
    parser.add_argument("--texts", help="the wine_texts host program")
    parser.add_argument("--work", help="folder for the prefix and the logs")
    parser.add_argument("--setup", action="store_true", help="create the shared prefix only")
    parser.add_argument("--teardown", action="store_true", help="end the prefix's processes only")
    parser.add_argument("--only", help="comma-separated scenario names")
    parser.add_argument("--list", action="store_true", help="print the scenario names")
    args = parser.parse_args()
    if args.list:
        print("\n".join(SCENARIOS))
        return 0
    missing = [o for o in ("stub", "saver", "driver", "scrpack", "scrpack_exe", "texts", "work")
               if getattr(args, o) is None]
    if missing:
        parser.error("missing --" + ", --".join(missing))
    try:
        lab = Lab(args)
    except ScenarioFailed as e:
        banner([str(e)])
        return 1
    lab.work.mkdir(parents=True, exist_ok=True)

    if args.teardown:
        lab.prefix.kill(lab.log)
        return 0
    if args.setup:
        return 0 if setup(lab) else 1

    names = args.only.split(",") if args.only else list(SCENARIOS)
    unknown = [n for n in names if n not in SCENARIOS]
    if unknown:
        parser.error("unknown scenario(s): " + ", ".join(unknown))
    if args.only:
        if not lab.prefix.exists():
            banner([f"no Wine prefix at {lab.prefix.path}: the setup step failed or did not run."])
            return 1
    elif not setup(lab):
        return 1
    start = time.monotonic()
    skipped = []
    passed = sum(run_one(lab, n, skipped) for n in names)
    print(f"{passed} of {len(names)} scenarios passed in {time.monotonic() - start:.1f} s"
          + (f" ({len(skipped)} skipped)" if skipped else ""))
    if passed == len(names) and skipped and len(skipped) == len(names):
        return SKIP_CODE
    return 0 if passed == len(names) else 1


if __name__ == "__main__":
    sys.exit(main())
