#!/usr/bin/env python3
"""The decoder as the stub ships it against the decoder as the tools build it.

The stub's decoder takes ways of its own (a 32-bit bit buffer, a smaller top
table built afresh after every change, byte-by-byte match copies), and the
installers of the other Wine tests carry a few kilobytes: none of them
rebuilds the code tree or crosses a read block. decodecheck.exe is the
decoder with exactly the stub's code generation; decodecheck the same program
as the tools build it. Both expand the same streams, in one process each,
decodecheck.exe under Wine; what they print (bytes given and status, per
stream) and every file they write must be the same, and a sound stream must
give back its original.

The streams: scrpack's own streams of a real Windows program (scrpack.exe,
several code rebuilds), English-like text, runs that repeat 1 to 7 bytes,
noise and a mix; each also cut short at three places; random bytes read as
streams of several sizes; and a stream of original size 0.

Runs in the Wine prefix that the e2e fixture (e2e_prefix) makes; fails,
never skips, when there is none (where this machine cannot run Wine, the Wine
check skips it before it starts). The Wine lab is the package wine/winelab:
run with PYTHONPATH=wine (CTest does).

  stub_decoder.py --scrpack TOOL --check DECODECHECK --check-exe DECODECHECK.EXE
                  --program SOME.EXE --work DIR
"""

import argparse
import random
import shutil
import subprocess
import sys
from pathlib import Path

import winelab

WORDS = ("de het een en van in is op te dat die niet met zijn voor er maar om aan ook als bij "
         "screen saver zonsondergang boven noordzee avond licht water wolken kleur golven").split()


def text(rng, size):
    out = bytearray()
    while len(out) < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randrange(4, 14)))
        out += line.capitalize().encode() + b".\r\n"
    return bytes(out[:size])


def runs(rng, size):
    """Repeats of 1 to 7 bytes, of every length, between short literal stretches."""
    out = bytearray()
    while len(out) < size:
        period = rng.randrange(1, 8)
        unit = bytes(rng.randrange(256) for _ in range(period))
        out += (unit * 64)[:rng.randrange(period, 200)]
        out += bytes(rng.randrange(256) for _ in range(rng.randrange(0, 5)))
    return bytes(out[:size])


def noise(rng, size):
    return bytes(rng.randrange(256) for _ in range(size))


class Check:
    def __init__(self, opts):
        self.tool = Path(opts.scrpack).resolve()
        self.check = Path(opts.check).resolve()
        self.check_exe = Path(opts.check_exe).resolve()
        self.program = Path(opts.program).resolve()
        self.work = Path(opts.work).resolve() / "stub-decoder"
        self.prefix = winelab.Prefix(Path(opts.work).resolve() / "prefix")
        self.log = self.work / "wine.log"
        self.entries = []  # (name, stream path, stored, size, original bytes or None)
        self.failures = []

    def fail(self, what):
        self.failures.append(what)

    def add(self, name, stream, size, original=None):
        self.entries.append((name, stream, stream.stat().st_size, size, original))

    def prepare(self):
        shutil.rmtree(self.work, ignore_errors=True)
        (self.work / "linux").mkdir(parents=True)
        (self.work / "windows").mkdir()
        rng = random.Random(10)
        data = {
            "program": self.program.read_bytes(),
            "text": text(rng, 300_000),
            "runs": runs(rng, 200_000),
            "noise": noise(rng, 40_000),
        }
        data["mixed"] = data["text"][:50_000] + data["noise"][:20_000] + data["runs"][:50_000] + data["program"][:80_000]
        for name, original in data.items():
            src = self.work / f"{name}.bin"
            src.write_bytes(original)
            stream = self.work / f"{name}.lz"
            subprocess.run([str(self.tool), "compress", "-q", str(src), str(stream)], check=True)
            self.add(name, stream, len(original), original)
            whole = stream.read_bytes()
            for keep in (len(whole) // 2, len(whole) - 1, 100):
                cut = self.work / f"{name}-cut{keep}.lz"
                cut.write_bytes(whole[:keep])
                self.add(f"{name} cut to {keep} bytes", cut, len(original))
        for stored, size in ((1, 24), (7, 100), (333, 5000), (20_000, 20_000), (20_000, 200_000),
                             (70_000, 30_000), (70_000, 700_000)):
            garbage = self.work / f"garbage{stored}.lz"
            garbage.write_bytes(noise(rng, stored))
            self.add(f"{stored} random bytes as a stream of {size}", garbage, size)
        self.add("original size 0", self.work / "noise.lz", 0, b"")

    def arguments(self, side, to_windows):
        args = []
        for i, (_, stream, stored, size, _) in enumerate(self.entries):
            out = self.work / side / f"{i:02d}.out"
            paths = (stream, out)
            if to_windows:
                paths = tuple(self.prefix.win_path(p) for p in paths)
            args += [str(paths[0]), str(stored), str(size), str(paths[1])]
        return args

    def run_side(self, side, argv, env=None):
        """Runs one build, its output into files (a wine process's output
        never goes to a pipe: the desktop process it starts would hold it
        open); its printed lines."""
        out, err = self.work / f"{side}.out", self.work / f"{side}.err"
        with open(out, "wb") as o, open(err, "wb") as e:
            rc = subprocess.run(["timeout", "-k", "5", "120"] + argv, env=env, stdin=subprocess.DEVNULL,
                                stdout=o, stderr=e).returncode
        if rc != 0:
            self.fail(f"{side}: exit {rc}: {err.read_bytes().decode(errors='replace').strip()}")
        return out.read_bytes().decode().replace("\r\n", "\n").splitlines()

    def run(self):
        lines = {
            "linux": self.run_side("linux", [str(self.check)] + self.arguments("linux", False)),
            "windows": self.run_side("windows", ["wine", str(self.check_exe)] + self.arguments("windows", True),
                                     self.prefix.env),
        }
        for side, got in lines.items():
            if len(got) != len(self.entries):
                self.fail(f"{side}: {len(got)} lines for {len(self.entries)} streams")
                return
        compared = 0
        for i, (name, _, _, size, original) in enumerate(self.entries):
            linux_line, windows_line = lines["linux"][i], lines["windows"][i]
            linux_out = (self.work / "linux" / f"{i:02d}.out").read_bytes()
            windows_out = (self.work / "windows" / f"{i:02d}.out").read_bytes()
            ok = True
            if windows_line != linux_line:
                self.fail(f"{name}: stub build printed {windows_line!r}, tools build {linux_line!r}")
                ok = False
            if windows_out != linux_out:
                at = next((k for k, (a, b) in enumerate(zip(windows_out, linux_out)) if a != b),
                          min(len(windows_out), len(linux_out)))
                self.fail(f"{name}: outputs differ from byte {at} ({len(windows_out)} and {len(linux_out)} bytes)")
                ok = False
            if original is not None and (linux_out != original or linux_line != f"{size}\tok"):
                self.fail(f"{name}: the tools build did not give the original back ({linux_line!r})")
                ok = False
            compared += len(linux_out)
            print(f"{'ok  ' if ok else 'FAIL'} {name}: {linux_line.replace(chr(9), ' bytes, ')}")
        print(f"{compared:,} bytes compared in {len(self.entries)} streams")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--scrpack", required=True, help="the Linux scrpack, to make the streams")
    parser.add_argument("--check", required=True, help="decodecheck as the tools build it")
    parser.add_argument("--check-exe", required=True, help="decodecheck.exe, built as the stub")
    parser.add_argument("--program", required=True, help="a real Windows program to compress")
    parser.add_argument("--work", required=True, help="the e2e work folder, which holds the prefix")
    check = Check(parser.parse_args())
    why = winelab.cannot_start(check.prefix, (check.tool, check.check, check.check_exe, check.program))
    if why:
        print(why, file=sys.stderr)
        return 1
    check.prepare()
    try:
        check.run()
    finally:
        check.prefix.kill(check.log)
    return winelab.report(check.failures, f"the stub's decoder against the tools'; files in {check.work}")


if __name__ == "__main__":
    sys.exit(main())
