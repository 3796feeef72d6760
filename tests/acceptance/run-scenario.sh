#!/bin/sh
# Runs one acceptance scenario through the session runner and compares what
# it printed with the expected file; prints a unified diff when they differ.
#
#   run-scenario.sh RUNNER SCENARIO_DIR NAME EXPECTED_DIR
#
# The compared text is the runner's standard output (the transcript), then
# each line of its standard error prefixed "stderr: ", then "status N" with
# its exit status. The runner is started in SCENARIO_DIR with the bare file
# name, so that messages naming the scenario do not depend on where the tree
# lies.
#
# With UPDATE_EXPECTED=1 the expected file is (re)written from this run
# instead: read the new file before accepting it.
set -u

runner=$1
dir=$2
name=$3
expected=$4/$name.txt

work=$(mktemp -d "${TMPDIR:-/tmp}/qfw-acceptance.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

(cd "$dir" && "$runner" "$name.toml" >"$work/stdout" 2>"$work/stderr")
status=$?
{
  cat "$work/stdout"
  sed 's/^/stderr: /' "$work/stderr"
  echo "status $status"
} >"$work/actual"

if [ "${UPDATE_EXPECTED:-}" = 1 ]; then
  cp "$work/actual" "$expected" || exit 1
  echo "wrote $expected"
  exit 0
fi

if [ ! -f "$expected" ]; then
  echo "no expected file $expected; this run printed:"
  cat "$work/actual"
  echo "(run with UPDATE_EXPECTED=1 to write it, then read it before accepting it)"
  exit 1
fi

if diff -u --label "expected/$name.txt" --label "this run" "$expected" "$work/actual"; then
  exit 0
fi
echo "scenario $name: the transcript differs from expected/$name.txt (lines - expected, + this run)"
exit 1
