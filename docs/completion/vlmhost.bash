# bash completion for vlmhost: its commands and options, the registered plug-ins' names, and
# for --select the groups and objects of the scene or model named on the line (from `vlmhost
# show SCENE --json`), and the rules after faces:PATH:; after `prep`, its steps and each
# step's options. Installed as
# share/bash-completion/completions/vlmhost.

# The registered plug-ins: short names and identifiers.
_vlmhost_plugins() {
  "$1" list 2>/dev/null | sed -n -e '/^[^ ]/p' -e 's/^  short name: //p'
}

# The --select arguments of every group and object of scene $2: group:PATH, object:PATH.
_vlmhost_paths() {
  "$1" show "$2" --json 2>/dev/null | sed -n \
    -e 's/^ *"kind": "\(group\|object\)",\{0,1\}$/K\1/p' \
    -e 's/^ *"path": "\(.*\)",\{0,1\}$/P\1/p' |
    while IFS= read -r line; do
      case $line in
        K*) kind=${line#K} ;;
        P*) [[ -n $kind ]] && printf '%s:%s\n' "$kind" "$(printf '%s' "${line#P}" |
              sed -e 's/\\"/"/g' -e 's/\\\\/\\/g')"
            kind= ;;
      esac
    done
}

# The preparation steps, and the options of each besides those they all take.
_vlmhost_steps="transform materials rename shorten flatten merge split clean normals lod"
_vlmhost_step_options() {
  case $1 in
    transform) echo "--apply --up-axis --rotate --scale --pivot --move --centre --ground" ;;
    materials) echo "--material --texture --untextured --rebase --merge-equal --rename" ;;
    rename) echo "--match --regex --to --items" ;;
    shorten) echo "--max --plain --items" ;;
    flatten | merge) echo "--name" ;;
    clean) echo "--empty-groups --degenerate --duplicates --weld" ;;
    normals) echo "--flat --smooth" ;;
    lod) echo "--levels --error --naming --far" ;;
  esac
}

# The rules a face selection takes after faces:PATH: or polygons:PATH:.
_vlmhost_rules="facing=+x facing=-x facing=+y facing=-y facing=+z facing=-z material= name= box= all"

# The words of $2... that start with $1, each quoted for the shell (IFC names hold "$", which
# must reach vlmhost as it is), without the part of $1 up to its last word break (":", "=",
# "&", ...), since bash completes only what follows it. compgen -W is not used: it expands "$"
# in the words it offers.
_vlmhost_offer() {
  local cur=$1 word prefix="" rest quoted i
  shift
  for ((i = ${#cur} - 1; i >= 0; i--)); do
    if [[ $COMP_WORDBREAKS == *"${cur:i:1}"* ]]; then
      prefix=${cur:0:i+1}
      break
    fi
  done
  for word in "$@"; do
    [[ $word == "$cur"* ]] || continue
    rest=${word#"$prefix"}
    [[ -n $rest ]] || continue
    printf -v quoted '%q' "$rest"
    printf '%s\n' "$quoted"
  done
}

# The words of line $1 into `toks` as the shell will pass them on, quotes and backslashes taken
# out (a path offered as Wall\$1\ a is read back as the path), the last the word being typed.
_vlmhost_words() {
  local line=$1 word="" quote="" c i started=""
  toks=()
  for ((i = 0; i < ${#line}; i++)); do
    c=${line:i:1}
    if [[ $quote == "'" ]]; then
      if [[ $c == "'" ]]; then quote=""; else word+=$c; fi
    elif [[ $c == "\\" ]]; then
      ((i++))
      word+=${line:i:1}
      started=1
    elif [[ -n $quote ]]; then
      if [[ $c == '"' ]]; then quote=""; else word+=$c; fi
    elif [[ $c == "'" || $c == '"' ]]; then
      quote=$c
      started=1
    elif [[ $c == [[:space:]] ]]; then
      [[ -n $started ]] && toks+=("$word")
      word="" started=""
    else
      word+=$c
      started=1
    fi
  done
  toks+=("$word")
}

_vlmhost() {
  local -a toks
  _vlmhost_words "${COMP_LINE:0:COMP_POINT}"
  local cur=${toks[-1]} prev=${toks[-2]:-} prog=${toks[0]:-vlmhost}
  local commands="list register unregister show describe help screenshots run prep import export-model inspect validate batch gui"
  # Options that take a value (the preparation steps' too), and the command's positional words
  # so far.
  local valued=" -o --output --scene-out --select --ui --ui-file --param --save-pictures --report --faces --scale --name --max-memory --timeout --run --job -j --jobs --for --up-axis --rotate --pivot --move --centre --material --texture --untextured --rebase --rename --match --regex --to --items --max --weld --smooth --levels --error --naming --far "
  local cmd="" i
  local -a positional=()
  for ((i = 1; i < ${#toks[@]} - 1; i++)); do
    local w=${toks[i]}
    if [[ $w == -* ]]; then
      [[ $valued == *" $w "* ]] && ((i++))
    elif [[ -z $cmd ]]; then
      cmd=$w
    else
      positional+=("$w")
    fi
  done
  local -a reply=()
  local quoted=""  # the replies are quoted already
  if [[ -z $cmd ]]; then
    mapfile -t reply < <(compgen -W "$commands --help --version" -- "$cur")
  elif [[ $prev == --select ]]; then
    local scene="" typed=$cur
    [[ $cmd == run || $cmd == prep ]] && scene=${positional[1]:-}
    [[ $cmd == gui || $cmd == validate ]] && scene=${positional[0]:-}
    scene=${scene/#\~/$HOME}
    quoted=1
    if [[ $typed =~ ^(faces|polygons):.*: ]]; then
      # faces:PATH: is followed by its rules; a rule's text after "&" too.
      local stem=${typed%"${typed##*[:&]}"} rule
      local -a rules=()
      for rule in $_vlmhost_rules; do rules+=("$stem$rule"); done
      mapfile -t reply < <(_vlmhost_offer "$typed" "${rules[@]}")
    elif [[ -n $scene && -f $scene ]]; then
      # The paths under the kind typed: node: and shape: as group: and object:, and faces: and
      # polygons: of either, followed by the ":" their indices or rules come after.
      local -a paths offered=()
      local entry kind=${typed%%:*}
      mapfile -t paths < <(_vlmhost_paths "$prog" "$scene")
      for entry in "${paths[@]}"; do
        case $kind:${entry%%:*} in
          faces:* | polygons:*) offered+=("$kind:${entry#*:}:") ;;
          node:group | shape:object) offered+=("$kind:${entry#*:}") ;;
          *) offered+=("$entry") ;;
        esac
      done
      [[ $kind == faces || $kind == polygons ]] && compopt -o nospace 2>/dev/null
      mapfile -t reply < <(_vlmhost_offer "$typed" "${offered[@]}")
    fi
  elif [[ $prev == --for ]]; then
    mapfile -t reply < <(compgen -W "obj8 igs" -- "$cur")
  elif [[ $cmd == prep && $prev == --@(up-axis|pivot|centre|naming|items) ]]; then
    local words
    case ${positional[0]:-}:$prev in
      *:--up-axis) words="+x -x +y -y +z -z" ;;
      *:--pivot) words="origin centre" ;;
      *:--centre) words="xz xyz" ;;
      *:--naming) words="suffix range" ;;
      shorten:--items) words="groups objects materials all" ;;
      *:--items) words="groups objects all" ;;
    esac
    mapfile -t reply < <(compgen -W "$words" -- "$cur")
  elif [[ $valued == *" $prev "* ]]; then
    compopt -o filenames 2>/dev/null  # bash quotes the names it offers
    mapfile -t reply < <(compgen -f -- "$cur")
  elif [[ $cur == -* ]]; then
    local opts="--help"
    case $cmd in
      run) opts+=" -o --output --scene-out --copy-textures --allow-outside --select --ui --ui-file --param --gui --fresh --save-pictures --quiet --report" ;;
      show) opts+=" --json --faces" ;;
      describe) opts+=" --json" ;;
      screenshots) opts+=" --scale --one" ;;
      import) opts+=" -o --output --name --scale --allow-outside --max-memory --timeout --quiet --report" ;;
      export-model) opts+=" -o --output --quiet --report" ;;
      batch) opts+=" --run --job -j --jobs --fail-fast --force --list-commands --quiet --report --max-memory --timeout" ;;
      inspect) opts+=" --json --max-memory --timeout" ;;
      validate) opts+=" --for --select --json" ;;
      prep) [[ -n ${positional[0]:-} ]] &&
        opts+=" --select -o --output --quiet --report --max-memory --timeout $(_vlmhost_step_options "${positional[0]}")" ;;
    esac
    mapfile -t reply < <(compgen -W "$opts" -- "$cur")
  elif [[ $cmd == prep && ${#positional[@]} -eq 0 ]]; then
    mapfile -t reply < <(compgen -W "$_vlmhost_steps" -- "$cur")
  elif [[ ($cmd == run || $cmd == describe || $cmd == help) && ${#positional[@]} -eq 0 ]] ||
    [[ $cmd == screenshots && ${#positional[@]} -ge 1 ]]; then
    mapfile -t reply < <(compgen -W "$(_vlmhost_plugins "$prog")" -- "$cur")
  else
    compopt -o filenames 2>/dev/null
    mapfile -t reply < <(compgen -f -- "$cur")
  fi
  # Bash splits words at ":", so a reply replaces only what follows the last one.
  if [[ -z $quoted && $cur == *:* && $COMP_WORDBREAKS == *:* ]]; then
    local prefix=${cur%"${cur##*:}"}
    reply=("${reply[@]#"$prefix"}")
  fi
  COMPREPLY=("${reply[@]}")
}

complete -o default -F _vlmhost vlmhost
