#!/usr/bin/env bash
# Runs the Wine tests N times in a row (default 20) while busy loops keep every core of the
# machine busy, and prints how many runs failed: they must pass on a busy machine every time.
# Needs the three presets built (scripts/test.sh does that). The log of each failed run stays
# in build/native/wine-stress/.
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
logs=build/native/wine-stress
if [ ! -f build/native/CTestTestfile.cmake ]; then
    echo "build the presets first: scripts/test.sh" >&2
    exit 2
fi
mkdir -p "$logs"

busy=()
stop_busy() {
    [ ${#busy[@]} -eq 0 ] || kill "${busy[@]}" 2>/dev/null
    wait "${busy[@]}" 2>/dev/null
}
trap stop_busy EXIT
trap 'exit 130' INT TERM
for ((core = 0; core < $(nproc); ++core)); do
    yes >/dev/null &
    busy+=($!)
done

failures=0
start=$SECONDS
for ((run = 1; run <= runs; ++run)); do
    log="$logs/run-$run.log"
    if ctest --preset native -L wine >"$log" 2>&1; then
        echo "run $run: passed"
        rm -f "$log"
    else
        failures=$((failures + 1))
        echo "run $run: FAILED, see $log"
        grep -E '^[[:space:]]*[0-9]+ - |FAIL' "$log"
    fi
done
echo "$failures of $runs runs failed, $((SECONDS - start)) s in all"
[ "$failures" -eq 0 ]
