#!/usr/bin/env bash
# The main job (`make demo`, after `make build`): packs the sample screen saver
# into out/demo/Demo.exe and runs it in a fresh Wine prefix, with a screenshot
# of every prompt in out/demo/*.png and a closing report (out/demo/report.txt).
#
#   scripts/demo.sh                  headless: Xvfb, every prompt answered by
#                                    the UI driver
#   scripts/demo.sh --interactive    on $DISPLAY, you answer the prompts
#   scripts/demo.sh --language LANG  the installer in LANG (nl, en, de, fr;
#                                    default nl), into out/demo-LANG/ (Dutch:
#                                    out/demo/)
#
# BUILD names the build directory (default: build). Where this machine cannot
# run Wine's 32-bit side (scripts/wine-check.sh decides), the demo packs,
# lists and verifies Demo.exe, says why it stops there and exits 77.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { sed -n '2,15s/^# \{0,1\}//p' "$0"; }
interactive=0
language=nl
while [ $# -gt 0 ]; do
  case "$1" in
    --interactive) interactive=1 ;;
    --language) [ $# -ge 2 ] || { echo "demo: --language needs nl, en, de or fr" >&2; exit 1; }
                language=$2; shift ;;
    --language=*) language=${1#--language=} ;;
    -h|--help) usage; exit 0 ;;
    *) echo "demo: unknown argument '$1'" >&2; usage >&2; exit 1 ;;
  esac
  shift
done
case "$language" in
  nl) out=out/demo ;;
  en|de|fr) out=out/demo-$language ;;
  *) echo "demo: unknown language '$language'; the languages are nl, en, de, fr" >&2; exit 1 ;;
esac

build=${BUILD:-build}
cross=$build/cross
args=(--stub "$cross/stub.exe" --saver "$cross/sample_saver.scr" --driver "$cross/uidriver.exe"
      --scrpack "$build/tools/scrpack/scrpack" --texts "$build/wine/wine_texts" --out "$out" --language "$language")
for f in "$cross/stub.exe" "$cross/sample_saver.scr" "$cross/uidriver.exe" \
         "$build/tools/scrpack/scrpack" "$build/wine/wine_texts"; do
  if [ ! -f "$f" ]; then
    echo "demo: $f is missing; run 'make build' first (make demo does)" >&2
    # The report says how far every run got, this one too.
    mkdir -p "$out"
    printf '\n==== demo: report ====\nSteps done:\n  (none)\nOutcome: FAILED: %s is missing; run make build first\n' \
      "$f" >"$out/report.txt"
    exit 1
  fi
done

# The Wine lab is the package wine/winelab; -B keeps __pycache__ out of the
# sources.
export PYTHONPATH="$PWD/wine"
needs=(--need import)
[ "$interactive" = 1 ] || needs+=(--need xvfb-run)
if ! why=$(scripts/wine-check.sh "${needs[@]}"); then
  [ -n "$why" ] || exit 2
  echo "demo: $why"
  python3 -B demo/run_demo.py "${args[@]}" --cannot-run "$why" && rc=0 || rc=$?
  [ "$rc" = 0 ] && rc=1  # the demo cannot have run to its end here
  exit "$rc"
fi
if [ "$interactive" = 1 ]; then
  if [ -z "${DISPLAY:-}" ]; then
    echo "demo: --interactive needs an X display (DISPLAY is not set)" >&2
    exit 1
  fi
  exec python3 -B demo/run_demo.py "${args[@]}" --interactive
fi
# A private X server, so that the screenshots show only our windows.
exec timeout 600 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
  python3 -B demo/run_demo.py "${args[@]}"
