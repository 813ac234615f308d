#!/usr/bin/env python3
"""scrpack.exe, the Windows build of scrpack, against the Linux build.

One table of commands, each run by both builds in a folder of its own that
holds the same files, scrpack.exe under Wine. For every command the exit
code (also against the table's), standard output, standard error and the
files in the folder afterwards must be the same once what is Windows' own is
taken out: CR LF line ends, '\\' as separator, each side's own folder and
the stub each found. Standard output that carries data is compared byte for
byte. So the installer scrpack.exe packs is compared with the Linux tool's,
byte for byte, and so is every file either extracts or expands.

Then an extraction by scrpack.exe is interrupted (Ctrl+C, which Wine makes
of a SIGINT): it must end with exit 130 and leave nothing behind.

Runs in the Wine prefix that the e2e fixture (e2e_prefix) makes; fails,
never skips, when there is none (where this machine cannot run Wine, the Wine
check skips it before it starts). The Wine lab is the package wine/winelab:
run with PYTHONPATH=wine (CTest does).

  scrpack_exe.py --scrpack TOOL --scrpack-exe SCRPACK.EXE --saver SAVER.SCR --work DIR
"""

import argparse
import json
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import time
from pathlib import Path

import winelab

TITLE = "Zonsondergang \xef"  # one character outside ASCII: the console's code page to Windows-1252
DATA_TEXT = b"Zonsondergang boven de Noordzee.\r\n" * 30


class Command:
    """One row: arguments ("{dir}" is the side's own folder as its system
    writes it, "{/}" its separator), the exit code both must give, standard
    input from a file of the folder, and whether standard output is data."""

    def __init__(self, args, exit_code, stdin=None, data_out=False):
        self.args = args
        self.exit_code = exit_code
        self.stdin = stdin
        self.data_out = data_out


class Step:
    """Files made between commands, in both folders alike."""

    def __init__(self, what, make):
        self.what = what
        self.make = make


def cut_last_byte(side, folder):
    data = (folder / "sunset.exe").read_bytes()
    (folder / "cut.exe").write_bytes(data[:-1])


def copy_as_saver(side, folder):
    shutil.copyfile(folder / "sunset.exe", folder / "SUNSET.SCR")


def make_huge(side, folder):
    shutil.copyfile(folder / "saver.scr", folder / "huge.exe")
    os.truncate(folder / "huge.exe", 3 << 30)  # sparse: a Windows program of 3 GiB


def remove_huge(side, folder):
    (folder / "huge.exe").unlink()


TABLE = [
    # pack: compressed and stored entries, a title and a file name outside
    # ASCII, the stub found beside each program; then the output rules.
    Command(["pack", "-o", "sunset.exe", "--title", TITLE, "--first-number", "13",
             "saver.scr", "sunset.dat", "noise.bin", "notes.txt"], 0),
    Command(["pack", "-o", "zon \xe9.exe", "--title", "Zon", "saver.scr", "caf\xe9.dat"], 0),
    Command(["pack", "-o", "sunset.exe", "--title", "Zon", "saver.scr", "sunset.dat"], 1),
    Command(["pack", "-o", "FILE0001.exe", "--title", "Zon", "saver.scr", "sunset.dat", "x.DAT"], 1),
    # list and verify, by name, by absolute path, several at once
    Command(["list", "sunset.exe"], 0),
    Command(["list", "--json", "sunset.exe", "zon \xe9.exe", "noise.bin"], 2),
    Command(["verify", "{dir}{/}sunset.exe", "zon \xe9.exe"], 0),
    Step("cut.exe: sunset.exe less its last byte", cut_last_byte),
    Command(["verify", "cut.exe"], 2),
    Command(["verify", "noise.bin", "missing.exe"], 2),
    Step("huge.exe: a Windows program of 3 GiB", make_huge),
    Command(["verify", "huge.exe"], 2),
    Step("huge.exe removed", remove_huge),
    # extract: a new folder with its parents, existing files, -f, a folder
    # given absolute with a separator at its end, a damaged installer
    Command(["extract", "-d", "new{/}folder", "sunset.exe"], 0),
    Command(["extract", "-d", "new{/}folder", "sunset.exe"], 1),
    Command(["extract", "-f", "-d", "new{/}folder", "sunset.exe"], 0),
    Command(["extract", "-d", "{dir}{/}absolute{/}", "zon \xe9.exe"], 0),
    Command(["extract", "-d", "cut", "cut.exe"], 2),
    # the option rules, picking entries, standard input and output, JSON
    # (a pattern that names files here would be expanded by scrpack.exe's
    # start-up, as by a shell: these name none)
    Command(["extract", "-fqd", "grouped", "sunset.exe"], 0),
    Command(["extract", "--dir=picked", "-I", "SUNSET.dat", "-I", "none.x", "sunset.exe"], 1),
    Command(["extract", "-p", "-I", "TORVANEL/*/sunset/*.txt", "sunset.exe"], 0, data_out=True),
    Command(["list", "-", "-I", "stdin.scr"], 0, stdin="sunset.exe"),
    Command(["verify", "--json", "sunset.exe", "cut.exe", "noise.bin"], 2),
    Command(["extract", "--s", "sunset.exe"], 1),
    Command(["extract", "--salvage", "-d", "salvaged", "cut.exe"], 2),
    # an installer whose saver would replace the installer itself: refused
    Step("SUNSET.SCR: a copy of sunset.exe", copy_as_saver),
    Command(["extract", "-f", "-d", ".", "SUNSET.SCR"], 1),
    # compress and expand, through files and through standard input and output
    Command(["compress", "noise.bin", "noise.lz"], 0),
    Command(["expand", "--size", "5000", "noise.lz", "noise.out"], 0),
    Command(["compress", "noise.bin", "noise.bin"], 1),
    Command(["compress", "-f", "noise.bin", "-"], 0, data_out=True),
    Command(["expand", "--size", "5000", "-", "stdin.out"], 0, stdin="noise.lz"),
]


class Side:
    """One build and its folder."""

    def __init__(self, name, folder, written_dir, separator):
        self.name = name
        self.folder = folder
        self.written_dir = written_dir  # the folder as arguments name it
        self.separator = separator

    def args(self, args):
        return [a.replace("{dir}", self.written_dir).replace("{/}", self.separator) for a in args]


class Table:
    def __init__(self, opts):
        self.tool = Path(opts.scrpack).resolve()
        self.exe = Path(opts.scrpack_exe).resolve()
        self.saver = Path(opts.saver)
        self.work = Path(opts.work).resolve() / "scrpack-exe"
        self.prefix = winelab.Prefix(Path(opts.work).resolve() / "prefix")
        self.log = self.work / "wine.log"
        # Both builds find their stub on their own; the arguments reach
        # Windows through a UTF-8 locale, as a user's terminal gives them.
        self.env = {k: v for k, v in os.environ.items() if k != "SCRPACK_STUB"}
        self.wine_env = {k: v for k, v in self.prefix.env.items() if k != "SCRPACK_STUB"}
        self.wine_env["LC_ALL"] = "C.UTF-8"
        self.linux = Side("linux", self.work / "linux", str(self.work / "linux"), "/")
        self.windows = Side("windows", self.work / "windows", self.prefix.win_path(self.work / "windows"), "\\")
        self.failures = []

    # -- running --

    def run(self, side, command, index):
        """Runs a row; (exit code, stdout bytes, stderr bytes)."""
        out = self.work / f"{index:02d}-{side.name}.out"
        err = self.work / f"{index:02d}-{side.name}.err"
        args = side.args(command.args)
        if side is self.windows:
            argv, env = ["timeout", "-k", "5", "60", "wine", str(self.exe)] + args, self.wine_env
        else:
            argv, env = ["timeout", "-k", "5", "60", str(self.tool)] + args, self.env
        stdin = open(side.folder / command.stdin, "rb") if command.stdin else subprocess.DEVNULL
        with open(out, "wb") as o, open(err, "wb") as e:
            rc = subprocess.run(argv, cwd=side.folder, env=env, stdin=stdin, stdout=o, stderr=e).returncode
        if command.stdin:
            stdin.close()
        return rc, out.read_bytes(), err.read_bytes()

    def normalised(self, side, text):
        text = text.replace(b"\r\n", b"\n")
        text = text.replace(side.written_dir.encode("utf-8"), b"<dir>")
        text = re.sub(rb"\(stub: [^)\n]*\)", b"(stub: <stub>)", text)
        return text.replace(b"\\", b"/")

    @staticmethod
    def files(folder):
        """Every path with its bytes; huge.exe by its size alone."""
        return {str(p.relative_to(folder)): ("folder" if not p.is_file() else p.read_bytes()
                                             if p.stat().st_size < 1 << 30 else p.stat().st_size)
                for p in sorted(folder.rglob("*"))}

    # -- the table --

    def prepare(self):
        if self.work.exists():
            shutil.rmtree(self.work)
        rng = random.Random(13)
        noise = bytes(rng.randrange(256) for _ in range(5000))
        for side in (self.linux, self.windows):
            side.folder.mkdir(parents=True)
            shutil.copyfile(self.saver, side.folder / "saver.scr")
            (side.folder / "sunset.dat").write_bytes(DATA_TEXT)
            (side.folder / "caf\xe9.dat").write_bytes(DATA_TEXT[:100])
            (side.folder / "noise.bin").write_bytes(noise)
            (side.folder / "notes.txt").write_bytes(b"Extra bestand bij de screen saver.\r\n" * 40)
            (side.folder / "x.DAT").write_bytes(b"x")

    def fail(self, what, detail=""):
        self.failures.append(what + (":\n    " + detail.replace("\n", "\n    ") if detail else ""))

    def compare(self, index, command):
        results = {side.name: self.run(side, command, index) for side in (self.linux, self.windows)}
        (lrc, lout, lerr), (wrc, wout, werr) = results["linux"], results["windows"]
        shown = " ".join(command.args)
        before = len(self.failures)
        if (lrc, wrc) != (command.exit_code, command.exit_code):
            self.fail(f"{shown}: exit codes", f"expected {command.exit_code}; Linux {lrc}, Windows {wrc}")
        if command.data_out:
            if lout != wout:
                self.fail(f"{shown}: standard output (data)", f"Linux {len(lout)} bytes, Windows {len(wout)} bytes")
        elif self.normalised(self.linux, lout) != self.normalised(self.windows, wout):
            self.fail(f"{shown}: standard output", f"Linux:\n{lout.decode(errors='replace')}\n"
                      f"Windows:\n{wout.decode(errors='replace')}")
        if self.normalised(self.linux, lerr) != self.normalised(self.windows, werr):
            self.fail(f"{shown}: standard error", f"Linux:\n{lerr.decode(errors='replace')}\n"
                      f"Windows:\n{werr.decode(errors='replace')}")
        linux_files, windows_files = self.files(self.linux.folder), self.files(self.windows.folder)
        if linux_files != windows_files:
            differ = sorted(p for p in set(linux_files) | set(windows_files)
                            if linux_files.get(p) != windows_files.get(p))
            self.fail(f"{shown}: the files in the folder afterwards", "differ: " + ", ".join(differ))
        print(f"{'ok  ' if len(self.failures) == before else 'FAIL'} [{index:02d}] exit {wrc}: scrpack {shown}")
        return wout

    def check_stub_beside(self, out):
        """pack without --stub: scrpack.exe took the stub in its own folder."""
        stub = self.prefix.win_path(self.exe.parent / "stub.exe")
        found = re.search(rb"\(stub: ([^)\n]*)\)", out)
        if not found or found.group(1).decode("utf-8").lower() != stub.lower():
            self.fail("pack: the stub beside scrpack.exe", f"expected (stub: {stub}) in:\n{out.decode(errors='replace')}")

    def check_round_trips(self):
        for side in (self.linux, self.windows):
            for name in ("noise.out", "stdin.out"):
                got = side.folder / name
                if not got.is_file() or got.read_bytes() != (side.folder / "noise.bin").read_bytes():
                    self.fail(f"{side.name}: {name} is not noise.bin again")

    def run_table(self):
        for index, row in enumerate(TABLE):
            if isinstance(row, Step):
                for side in (self.linux, self.windows):
                    row.make(side, side.folder)
                print(f"     [{index:02d}] {row.what}")
                continue
            out = self.compare(index, row)
            if index == 0:
                self.check_stub_beside(out)
        self.check_round_trips()

    # -- an interrupted extraction --

    def interrupt(self):
        """extract --salvage of 250 entries that share one stream of 4 MiB of
        zeros writes a gigabyte: SIGINT once a temporary file holds data,
        then exit 130 and nothing left of the folder."""
        folder = self.windows.folder
        listing = subprocess.run([str(self.tool), "list", "--json", "sunset.exe"], cwd=folder, env=self.env,
                                 capture_output=True, timeout=60)
        package = json.loads(listing.stdout)[0]["package_offset"]
        (folder / "zeros.bin").write_bytes(bytes(4 << 20))
        subprocess.run([str(self.tool), "compress", "-f", "zeros.bin", "zeros.lz"], cwd=folder, env=self.env,
                       capture_output=True, timeout=60, check=True)
        stream = (folder / "zeros.lz").read_bytes()
        sunset = (folder / "sunset.exe").read_bytes()
        count = 250
        data = package + 34 + 16 * (count + 1)  # after the title, the first number and the entries
        entry = struct.pack("<III4s", data, len(stream), 4 << 20, b".bin")
        (folder / "slow.exe").write_bytes(sunset[:package + 34] + entry * count + bytes(16) + stream)
        out = folder / "interrupted"
        with open(self.work / "interrupt.log", "wb") as log:
            # SIGINT as a terminal sends it: the default disposition, whatever ours is.
            proc = subprocess.Popen(["wine", str(self.exe), "extract", "--salvage", "-d", "interrupted", "slow.exe"],
                                    cwd=folder, env=self.wine_env, stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=log, preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
            writing = False
            deadline = time.monotonic() + 60
            while not writing and proc.poll() is None and time.monotonic() < deadline:
                writing = any(p.name.startswith(".scrpack-") and p.stat().st_size > 100000
                              for p in out.rglob("*") if p.is_file()) if out.exists() else False
                time.sleep(0.01)
            if not writing:
                proc.kill()
                proc.wait()
                self.fail("interrupt: the extraction never got under way", f"exit {proc.returncode}")
                return
            proc.send_signal(signal.SIGINT)
            try:
                rc = proc.wait(timeout=60)
            except subprocess.TimeoutExpired:
                proc.kill()
                rc = proc.wait()
        left = sorted(str(p.relative_to(folder)) for p in out.rglob("*")) if out.exists() else []
        ok = rc == 130 and not out.exists()
        if rc != 130:
            self.fail("interrupt: exit code", f"expected 130, got {rc}")
        if out.exists():
            self.fail("interrupt: left behind", ", ".join(["interrupted"] + left))
        print(f"{'ok  ' if ok else 'FAIL'} [--] exit {rc}: Ctrl+C during scrpack extract --salvage: "
              f"{'nothing' if not out.exists() else 'files'} left behind")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--scrpack", required=True, help="the Linux build")
    parser.add_argument("--scrpack-exe", required=True, help="the Windows build, stub.exe beside it")
    parser.add_argument("--saver", required=True, help="a screen saver to pack")
    parser.add_argument("--work", required=True, help="the e2e work folder, which holds the prefix")
    opts = parser.parse_args()
    table = Table(opts)
    why = winelab.cannot_start(table.prefix, (table.tool, table.exe, table.exe.parent / "stub.exe", table.saver))
    if why:
        print(why, file=sys.stderr)
        return 1
    table.prepare()
    try:
        table.run_table()
        table.interrupt()
    finally:
        table.prefix.kill(table.log)
    return winelab.report(table.failures, f"{len(TABLE)} rows and an interrupt; logs in {table.work}")


if __name__ == "__main__":
    sys.exit(main())
