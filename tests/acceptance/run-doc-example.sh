#!/bin/sh
# Runs the commented example of docs/scenario-format.md (its one toml block)
# through the session runner: the documented example must stay a valid
# scenario that runs to the program's end.
#
#   run-doc-example.sh RUNNER DOC
set -u

runner=$1
doc=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/qfw-doc-example.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

sed -n '/^```toml$/,/^```$/p' "$doc" | sed '1d;$d' >"$work/example.toml"
if [ ! -s "$work/example.toml" ]; then
  echo "no toml block in $doc"
  exit 1
fi
(cd "$work" && "$runner" example.toml >"$work/transcript")
status=$?
if [ "$status" -ne 0 ]; then
  cat "$work/transcript"
  echo "the example of $doc ended with status $status"
  exit 1
fi
exit 0
