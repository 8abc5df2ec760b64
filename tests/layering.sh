#!/usr/bin/env bash
# The layers of the project and the one direction their includes may run:
#
#   platform < contracts < plugins/common < plugins/<name>
#   platform, contracts < host/scene < host/exchange < host/run < host/cli
#   host/scene < host/prep < host/run
#   platform, contracts, host/scene < host/gui;  host/run, host/gui < host/workbench
#   host/cli, host/gui, host/workbench < host/app (the program)
#
# The host never includes the plug-ins' code (plugins/common, plugins/<name>), and no file
# includes from a layer above its own. Each quoted include is looked up as the compiler finds
# it (beside the including file, then in each include folder) and the layer of the file found
# is checked. Prints every include that breaks the order and fails when there is one.
#
# usage: layering.sh SOURCE_DIR
set -euo pipefail
root=${1:?usage: layering.sh SOURCE_DIR}
cd "$root"

# The folders quoted includes are found in, in the order the builds search them.
roots=(platform/include contracts/include plugins/common/include plugins host)

# layer FILE: sets `layer` to the layer a file of the tree belongs to.
set_layer() {
  case $1 in
    platform/*) layer=platform ;;
    contracts/*) layer=contracts ;;
    plugins/common/*) layer=common ;;
    plugins/*/*)
      layer=${1#plugins/}
      layer=plugin:${layer%%/*}
      ;;
    host/scene/*) layer=scene ;;
    host/exchange/*) layer=exchange ;;
    host/prep/*) layer=prep ;;
    host/run/*) layer=run ;;
    host/cli/*) layer=cli ;;
    host/app/*) layer=app ;;
    host/gui/*) layer=gui ;;
    host/workbench/*) layer=workbench ;;
    *) layer=other ;;
  esac
}

# allowed FROM: sets `allowed` to the layers a file of layer FROM may include from.
set_allowed() {
  case $1 in
    platform) allowed="platform" ;;
    contracts) allowed="platform contracts" ;;
    common) allowed="platform contracts common" ;;
    # Two plug-ins build on the support library of the FS10 plug-in.
    plugin:tether | plugin:motive) allowed="platform contracts common $1 plugin:fs10" ;;
    plugin:*) allowed="platform contracts common $1" ;;
    scene) allowed="platform contracts scene" ;;
    exchange) allowed="platform contracts scene exchange" ;;
    prep) allowed="platform contracts scene prep" ;;
    run) allowed="platform contracts scene exchange prep run" ;;
    cli) allowed="platform contracts scene exchange prep run cli" ;;
    gui) allowed="platform contracts scene gui" ;;
    workbench) allowed="platform contracts scene exchange prep run gui workbench" ;;
    app) allowed="platform contracts scene exchange prep run cli gui workbench app" ;;
  esac
}

# Files the build writes (an icon's bytes) and includes from its own folders.
generated=" plugins/flare/flare_bmp.inc "

include_line='^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)"'
checked=0
faults=0
while IFS= read -r file; do
  set_layer "$file"
  from=$layer
  set_allowed "$from"
  ok=" $allowed "
  checked=$((checked + 1))
  number=0
  while IFS= read -r text || [ -n "$text" ]; do
    number=$((number + 1))
    [[ $text =~ $include_line ]] || continue
    name=${BASH_REMATCH[1]}
    found=""
    for dir in "${file%/*}" "${roots[@]}"; do
      if [ -f "$dir/$name" ] || [[ $generated == *" $dir/$name "* ]]; then
        found="$dir/$name"
        break
      fi
    done
    if [ -z "$found" ]; then
      echo "$file:$number: includes \"$name\", which is in none of the project's include folders"
      faults=$((faults + 1))
      continue
    fi
    set_layer "$found"
    if [[ $ok != *" $layer "* ]]; then
      echo "$file:$number: $from includes \"$name\" ($found, layer $layer)"
      faults=$((faults + 1))
    fi
  done <"$file"
done < <(find platform contracts plugins host -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

if [ "$checked" -lt 100 ]; then
  echo "only $checked files found below $root; is it the source folder?"
  exit 1
fi
if [ "$faults" -gt 0 ]; then
  echo "$faults includes run against the layers ($checked files checked)"
  exit 1
fi
echo "$checked files checked: every include runs down the layers"
