#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR, then uses only the installed tree: the program
# prints its version, registers the installed plug-ins in a scratch home and runs Obverse on
# the installed example scene.
#   install_test.sh CMAKE BUILD_DIR PREFIX BINDIR PLUGINDIR DATADIR
set -euo pipefail
cmake=$1 build=$2 prefix=$3 bindir=$4 plugindir=$5 datadir=$6

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
DESTDIR="$scratch/stage" "$cmake" --install "$build" >"$scratch/install.log"
root="$scratch/stage$prefix"
vlmhost="$root/$bindir/vlmhost"

fail() { echo "FAIL: $*" >&2; exit 1; }

# Nothing of the build tree may be needed: no library path, no build folder's libraries.
unset LD_LIBRARY_PATH
# (Each output is read whole before it is searched: grep -q stopping early would fail the
# writer with SIGPIPE under pipefail.)
libraries=$(ldd "$vlmhost")
grep -q "$root/.*libvlmplatform" <<<"$libraries" ||
  fail "the installed vlmhost does not load the installed runtime library: $libraries"

version=$("$vlmhost" --version 2>&1)
grep -Eq '^vlmhost [0-9]+\.[0-9]+\.[0-9]+$' <<<"$version" || fail "vlmhost --version printed: $version"

for file in "$plugindir/libobverse.so" "$plugindir/tether.xml" "$plugindir/modeldef.xml" \
            "$datadir/machine.reg" \
            "$datadir/examples/machine.reg.in" "$datadir/examples/hangar.json"; do
  [ -f "$root/$file" ] || fail "not installed: $file"
done

export VLM_HOME="$scratch/home"
"$vlmhost" register >/dev/null  # without arguments: the plug-ins installed beside it
listed=$("$vlmhost" list)
grep -q "VLMPlugin9.Obverse" <<<"$listed" || fail "Obverse is not registered"
"$vlmhost" run VLMPlugin9.Obverse "$root/$datadir/examples/hangar.json" \
  --select group:Hangar/Wing --ui 'input X' -o "$scratch/mirrored.json" >/dev/null
[ -s "$scratch/mirrored.json" ] || fail "Obverse wrote no scene"

# Without a machine registry in the home, Motive reads the part definitions beside it.
"$vlmhost" run VLMPlugin9.Motive "$root/$datadir/examples/hangar.json" --select node:Hangar/Wing \
  --ui 'cmbAnim=flap; txtName=left; click OKButton' -o "$scratch/motive.json" >"$scratch/motive.log" 2>&1 ||
  fail "Motive failed on a home without a machine registry: $(cat "$scratch/motive.log")"
grep -q '"flap_left"' "$scratch/motive.json" || fail "Motive did not rename the wing"
# The program's modules load from the installed tree: Assimp's writer and reader (the import
# reads in a child process) and, where this vlmhost has windows, the forms and the workbench
# drawn to pictures.
modules="$root/$(dirname "$plugindir")"
[ -f "$modules/vlmhost_models.so" ] || fail "not installed: $(dirname "$plugindir")/vlmhost_models.so"
"$vlmhost" export-model "$root/$datadir/examples/hangar.json" -o "$scratch/hangar.obj" \
  >"$scratch/models.log" 2>&1 || fail "export-model failed: $(cat "$scratch/models.log")"
"$vlmhost" import "$scratch/hangar.obj" -o "$scratch/hangar-again.json" >"$scratch/models.log" 2>&1 ||
  fail "import failed: $(cat "$scratch/models.log")"
shots=$(QT_QPA_PLATFORM=offscreen "$vlmhost" screenshots "$scratch/pictures" wingform --one 2>&1) || true
if ! grep -q "built without windows" <<<"$shots"; then
  [ -f "$scratch/pictures/VLMPluginImportExport9.Wingform.png" ] || fail "screenshots drew nothing: $shots"
  if command -v xvfb-run >/dev/null; then
    xvfb-run -a "$vlmhost" gui "$root/$datadir/examples/hangar.json" --picture "$scratch/gui.png" \
      >"$scratch/gui.log" 2>&1 || fail "gui --picture failed: $(cat "$scratch/gui.log")"
    [ -s "$scratch/gui.png" ] || fail "gui --picture drew nothing"
  fi
fi
# The README's links to docs/ (pages and pictures) lead where they lead in the checkout.
readme="$root/share/doc/vlm/README.md"
[ -f "$readme" ] || fail "not installed: share/doc/vlm/README.md"
for link in $(grep -o '](docs/[^)]*)' "$readme" | sed 's/^](//; s/)$//' | sort -u); do
  [ -f "$(dirname "$readme")/$link" ] || fail "the installed README links to $link, which is not installed"
done
# The manual page, and the completion that bash runs: a plug-in's short name, and for
# --select a group of the scene named on the line.
for file in share/man/man1/vlmhost.1 share/bash-completion/completions/vlmhost \
            share/zsh/site-functions/_vlmhost; do
  [ -f "$root/$file" ] || fail "not installed: $file"
done
completions() {  # the words so far -> what bash offers, one a line
  bash -c 'source "$1"; shift; COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}; _vlmhost
           printf "%s\n" "${COMPREPLY[@]}"' - "$root/share/bash-completion/completions/vlmhost" "$@"
}
offered=$(completions "$vlmhost" run ridge)
[ "$offered" = ridgepull ] || fail "completing 'run ridge' offered: $offered"
offered=$(completions "$vlmhost" run ridgepull "$root/$datadir/examples/hangar.json" --select group:Hangar/W)
grep -qx 'Hangar/Wing' <<<"$offered" || fail "completing a --select path offered: $offered"
offered=$(completions "$vlmhost" sh)
[ "$offered" = show ] || fail "completing 'sh' offered: $offered"
echo "the installed tree runs on its own"
