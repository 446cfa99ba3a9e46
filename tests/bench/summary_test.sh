#!/usr/bin/env bash
# bench/summary over a bench folder of stand-in benchmarks: it gathers the
# trailing "name: value" lines (values "skipped (reason)" included, notes
# before them left out); a benchmark marked on-request runs only when named,
# and otherwise shows the figures of its saved output, or says there is none.
set -u
summary=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; echo "--- output:"; cat "$work/out"; exit 1; }

mkdir -p "$work/bench/quick" "$work/bench/slow" "$work/build"
cp "$summary" "$work/bench/summary"
cat >"$work/bench/quick/run" <<'SH'
#!/usr/bin/env bash
echo "quick_note: this line is ended by the note below"
echo "Note: the figures follow"
echo "quick_ratio: 1.250"
echo "quick_vs_peer: skipped (not installed: peer)"
echo
SH
cat >"$work/bench/slow/run" <<'SH'
#!/usr/bin/env bash
touch "$NUVE_BUILD_DIR/slow-ran"
echo "slow_ratio: 2.000"
SH
chmod +x "$work/bench/quick/run" "$work/bench/slow/run"
: >"$work/bench/slow/on-request"

# Not named and nothing saved: the slow one does not run and says why.
"$work/bench/summary" --build-dir "$work/build" >"$work/out" 2>&1 || fail "exit status $? with nothing failed"
[[ -e $work/build/slow-ran ]] && fail "an on-request benchmark ran without being named"
grep -q '^slow .*not run: on request only .*bench-results/slow.txt does not exist' "$work/out" \
    || fail "no word that the on-request benchmark has no saved output"
grep -qx 'quick_ratio: 1.250' "$work/out" || fail "the quick figure is missing"
grep -qx 'quick_vs_peer: skipped (not installed: peer)' "$work/out" || fail "a skipped figure is missing"
grep -q '^quick_note' "$work/out" && fail "a line before a note was taken for a figure"

# Not named, with a saved output: its figures are shown, from the file.
mkdir -p "$work/build/bench-results"
printf 'startup lines\nslow_ratio: 0.900\nslow_vs_other: nan\n' >"$work/build/bench-results/slow.txt"
"$work/bench/summary" --build-dir "$work/build" >"$work/out" 2>&1 || fail "exit status $? with a saved output"
[[ -e $work/build/slow-ran ]] && fail "an on-request benchmark with a saved output ran"
grep -q '^slow .*not run (on request only.*figures of its output saved' "$work/out" \
    || fail "the saved output is not named"
grep -qx 'slow_ratio: 0.900' "$work/out" && grep -qx 'slow_vs_other: nan' "$work/out" \
    || fail "the saved figures are missing"

# Named: it runs, and its fresh figures are shown rather than the saved ones.
"$work/bench/summary" --build-dir "$work/build" slow >"$work/out" 2>&1 || fail "exit status $? when named"
[[ -e $work/build/slow-ran ]] || fail "the named on-request benchmark did not run"
grep -qx 'slow_ratio: 2.000' "$work/out" || fail "the fresh figure is missing"
grep -q 'slow_ratio: 0.900' "$work/out" && fail "the saved figure was shown beside the fresh one"

# --list says which ones run on request only.
"$work/bench/summary" --build-dir "$work/build" --list >"$work/out" 2>&1 || fail "--list failed"
grep -q '^slow .*(on request' "$work/out" || fail "--list does not mark the on-request benchmark"
grep -q '^quick .*on request' "$work/out" && fail "--list marks an ordinary benchmark as on request"
echo PASS
