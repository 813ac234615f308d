"""What the Wine tests that compare a Windows build with a Linux build share
around their checks: whether they can run at all, and their verdict."""

from pathlib import Path


def cannot_start(prefix, products):
    """Why a test cannot run (a build product missing, or no prefix because
    the e2e fixture failed or did not run), or None. Such a test fails; it
    never skips."""
    for p in products:
        if not Path(p).is_file():
            return f"missing build product {p}"
    if not prefix.exists():
        return (f"no Wine prefix at {prefix.path}: the e2e_prefix step failed or did not run; "
                "this test fails, it never skips")
    return None


def report(failures, summary):
    """Prints every failure and the verdict line; returns the exit code."""
    for f in failures:
        print("  - " + f)
    print(f"{'FAILED' if failures else 'passed'}: {summary}")
    return 1 if failures else 0
