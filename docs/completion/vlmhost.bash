# bash completion for vlmhost: its commands and options, the registered plug-ins' names, and
# for --select the groups and objects of the scene named on the line (from `vlmhost show
# SCENE --json`). Installed as share/bash-completion/completions/vlmhost.

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

_vlmhost() {
  local line=${COMP_LINE:0:COMP_POINT}
  local -a toks
  read -ra toks <<<"$line"
  [[ $line == *[[:space:]] || ${#toks[@]} -eq 0 ]] && toks+=("")
  local cur=${toks[-1]} prev=${toks[-2]:-} prog=${toks[0]:-vlmhost}
  local commands="list register unregister show describe help screenshots run import export-model inspect validate batch gui"
  # Options that take a value, and the command's positional words so far.
  local valued=" -o --output --scene-out --select --ui --ui-file --param --save-pictures --report --faces --scale --name --max-memory --timeout --run --job -j --jobs --for "
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
  if [[ -z $cmd ]]; then
    mapfile -t reply < <(compgen -W "$commands --help --version" -- "$cur")
  elif [[ $prev == --select ]]; then
    local scene=""
    [[ $cmd == run ]] && scene=${positional[1]:-}
    [[ $cmd == gui || $cmd == validate ]] && scene=${positional[0]:-}
    scene=${scene/#\~/$HOME}
    if [[ -n $scene && -f $scene ]]; then
      local IFS=$'\n'
      mapfile -t reply < <(compgen -W "$(_vlmhost_paths "$prog" "$scene")" -- "$cur")
    fi
  elif [[ $prev == --for ]]; then
    mapfile -t reply < <(compgen -W "obj8 igs" -- "$cur")
  elif [[ $valued == *" $prev "* ]]; then
    mapfile -t reply < <(compgen -f -- "$cur")
  elif [[ $cur == -* ]]; then
    local opts="--help"
    case $cmd in
      run) opts+=" -o --output --scene-out --copy-textures --select --ui --ui-file --param --gui --fresh --save-pictures --quiet --report" ;;
      show) opts+=" --json --faces" ;;
      describe) opts+=" --json" ;;
      screenshots) opts+=" --scale --one" ;;
      import) opts+=" -o --output --name --scale --allow-outside --max-memory --timeout --quiet --report" ;;
      export-model) opts+=" -o --output --quiet --report" ;;
      batch) opts+=" --run --job -j --jobs --fail-fast --force --list-commands --quiet --report --max-memory --timeout" ;;
      inspect) opts+=" --json --max-memory --timeout" ;;
      validate) opts+=" --for --select --json" ;;
    esac
    mapfile -t reply < <(compgen -W "$opts" -- "$cur")
  elif [[ ($cmd == run || $cmd == describe || $cmd == help) && ${#positional[@]} -eq 0 ]] ||
    [[ $cmd == screenshots && ${#positional[@]} -ge 1 ]]; then
    mapfile -t reply < <(compgen -W "$(_vlmhost_plugins "$prog")" -- "$cur")
  else
    mapfile -t reply < <(compgen -f -- "$cur")
  fi
  # Bash splits words at ":", so a reply replaces only what follows the last one.
  if [[ $cur == *:* && $COMP_WORDBREAKS == *:* ]]; then
    local prefix=${cur%"${cur##*:}"}
    reply=("${reply[@]#"$prefix"}")
  fi
  COMPREPLY=("${reply[@]}")
}

complete -o default -F _vlmhost vlmhost
