#!/usr/bin/env bash
# The demo: what is registered, the example scene, the wing mirrored in X, the result.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
VLMHOST="$BUILD/bin/vlmhost"
mkdir -p out

echo "== registered classes"
"$VLMHOST" list
echo
echo "== the example scene"
"$VLMHOST" show examples/hangar.json
echo
echo "== mirror Hangar/Wing in X"
"$VLMHOST" run VLMPlugin9.Obverse examples/hangar.json --select group:Hangar/Wing \
  --ui 'input X' -o out/hangar-mirrored.json
echo
echo "== the result"
"$VLMHOST" show out/hangar-mirrored.json
