# bash completion for tarvel-cli, installed as bash-completion/completions/tarvel-cli.
# It needs bash alone, none of the helpers of the bash-completion package.

# Prints the word $1 as the name it stands for: without the quote it opens
# or the backslashes that escape its characters ('my set/, my\ set/).
_tarvel_cli_dequote() {
  local word=$1 name= i
  case $word in
    \'* | \"*) printf '%s' "${word:1}" ;;
    *)
      for ((i = 0; i < ${#word}; i++)); do
        [[ ${word:i:1} == \\ ]] && ((i++))
        name+=${word:i:1}
      done
      printf '%s' "$name"
      ;;
  esac
}

# Prints, one a line, the folders and the files whose names a volume has
# (BASE.PAR, BASE.P01 ... BASE.P99, BASE.Q00 ..., in any letter case) that
# start with the word $1.  The other files of a set are no volumes, and
# verify and repair take volumes only.
_tarvel_cli_volumes() {
  local name path
  while IFS= read -r name; do
    path=$name
    [[ $path == "~/"* ]] && path=$HOME/${path#"~/"}
    if [[ -d $path ]]; then
      printf '%s\n' "$name"
    else
      case $name in
        *.[Pp][Aa][Rr] | *.[PpQq][0-9][0-9]) printf '%s\n' "$name" ;;
      esac
    fi
  done < <(compgen -f -- "$1")
}

_tarvel_cli() {
  local cur
  cur=$(_tarvel_cli_dequote "${COMP_WORDS[COMP_CWORD]}")
  local prev=${COMP_WORDS[COMP_CWORD - 1]}
  local command=${COMP_WORDS[1]}
  COMPREPLY=()

  if ((COMP_CWORD == 1)); then
    mapfile -t COMPREPLY < <(compgen -W 'create verify repair protect --help --version' -- "$cur")
    return
  fi

  local options
  case $command in
    create) options='-n -o --small -t --threads -q --quiet -f --force --help' ;;
    verify) options='--found --json -t --threads -q --quiet -r --recursive --help' ;;
    repair) options='--found --revert-changed --json -t --threads -q --quiet -r --recursive --help' ;;
    protect) options='-p --hidden --drop-missing --small --json -t --threads -q --quiet --help' ;;
    *) return ;;  # --help and --version take nothing more
  esac

  # After "--" every word is a file, however it starts.
  local i options_ended=
  for ((i = 2; i < COMP_CWORD; i++)); do
    [[ ${COMP_WORDS[i]} == -- ]] && options_ended=1
  done

  if [[ -z $options_ended ]]; then
    case $prev in
      -n | -p | -t | --threads)
        return  # a number
        ;;
      --small)
        mapfile -t COMPREPLY < <(compgen -W 'crc parity' -- "$cur")
        return
        ;;
      --found)
        mapfile -t COMPREPLY < <(compgen -W 'leave rename copy' -- "$cur")
        return
        ;;
      -o | -r | --recursive)
        # -o: the folder of the base name, to which the name itself is added.
        compopt -o filenames
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        return
        ;;
    esac
    if [[ $cur == -* ]]; then
      mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
      return
    fi
  fi

  compopt -o filenames
  if [[ $command == protect ]]; then
    mapfile -t COMPREPLY < <(compgen -d -- "$cur")
  elif [[ $command == create ]]; then
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  else
    mapfile -t COMPREPLY < <(_tarvel_cli_volumes "$cur")
  fi
}

complete -F _tarvel_cli tarvel-cli
