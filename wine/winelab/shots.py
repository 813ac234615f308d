"""Screenshots that the driver asks for."""

import os
import subprocess
import threading
import time
from pathlib import Path


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
