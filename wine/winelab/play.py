"""One play: a program and uidriver.exe side by side in a prefix."""

from pathlib import Path


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
