# Completion of fennick-convert's command line for bash; zsh takes it too
# after `autoload -U bashcompinit && bashcompinit`.
# The format names, short names, settings and their items come from the
# program itself (--list-formats, --list-short-names, --list-settings), so
# they are always those of the installed version.

# Adds each of the lines of $1 that start with $2 to COMPREPLY, quoted for
# the shell (names hold blanks, parentheses and asterisks).
_fennick_convert_offer() {
  local line prefix=$2
  while IFS= read -r line; do
    [[ -n $line && $line == "$prefix"* ]] && COMPREPLY+=("$(printf '%q' "$line")")
  done <<<"$1"
}

# Prints "CONTROL=ITEM" for every item of every settings list of the format
# $2, as `$1 --list-settings` lists them.
_fennick_convert_settings() {
  local line control=
  "$1" --list-settings "$2" 2>/dev/null | while IFS= read -r line; do
    case $line in
      "    "* | "  * "*) [[ -n $control ]] && printf '%s=%s\n' "$control" "${line:4}" ;;
      [A-Za-z]*:*) control=${line%%:*} ;;
    esac
  done
}

_fennick_convert() {
  local program=${COMP_WORDS[0]}
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  COMPREPLY=()

  # bash splits "--set VideoCodec=H264" at "=" (COMP_WORDBREAKS): put the
  # control and the item typed so far back together.
  local head=
  if [[ $cur == "=" ]]; then
    head="$prev="
    cur=
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  elif [[ $prev == "=" ]]; then
    head="${COMP_WORDS[COMP_CWORD - 2]}="
    prev=${COMP_WORDS[COMP_CWORD - 3]}
  fi
  # What was typed with backslashes or quotes, as the program will see it.
  local typed=${cur//\\/}
  typed=${typed#[\"\']}

  # The format the command line names so far (for the settings' items).
  local format="" i
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      -f | --format) format=${COMP_WORDS[i + 1]} ;;
    esac
  done
  format=${format//\\/}
  format=${format#[\"\']}
  format=${format%[\"\']}

  case $prev in
    -f | --format | --list-settings)
      _fennick_convert_offer "$("$program" --list-short-names 2>/dev/null)" "$typed"
      _fennick_convert_offer "$("$program" --list-formats 2>/dev/null | sed '/^Presets:$/,$d')" "$typed"
      return ;;
    --preset)
      _fennick_convert_offer "$("$program" --list-formats 2>/dev/null | sed '1,/^Presets:$/d')" "$typed"
      return ;;
    --set)
      local items
      items=$(_fennick_convert_settings "$program" "$format")
      if [[ -z $head && $typed != *=* ]]; then
        # The controls first; the item follows the "=".
        _fennick_convert_offer "$(sed 's/=.*/=/' <<<"$items" | uniq)" "$typed"
        compopt -o nospace 2>/dev/null
      else
        # After "=", bash replaces only what follows it.
        local line
        while IFS= read -r line; do
          [[ -n $line && $line == "$head$typed"* ]] || continue
          if [[ -n $head ]]; then
            COMPREPLY+=("$(printf '%q' "${line#"$head"}")")
          else
            COMPREPLY+=("$(printf '%q' "$line")")
          fi
        done <<<"$items"
      fi
      return ;;
    --aspect) COMPREPLY=($(compgen -W "Original 4:3 16:9" -- "$typed")); return ;;
    --zoom) COMPREPLY=($(compgen -W "letterbox none" -- "$typed")); return ;;
    --subtitles)
      COMPREPLY=($(compgen -W "keep none" -- "$typed"))
      COMPREPLY+=($(compgen -f -- "$typed"))
      compopt -o filenames 2>/dev/null
      return ;;
    -o | --output-folder)
      COMPREPLY=($(compgen -d -- "$typed"))
      compopt -o filenames 2>/dev/null
      return ;;
    --threads) COMPREPLY=($(compgen -W "auto 0 1 2 4 8" -- "$typed")); return ;;
    --volume | --audio-track | -j | --jobs) return ;;
  esac

  if [[ $cur == -* ]]; then
    # The options as the program's --help lists them: the terms of its
    # option lines (up to column 26, or two blanks) and the commands of its
    # usage lines.
    local options
    options=$("$program" --help 2>/dev/null |
              awk '/^  -/ { t = (length($0) < 26 || substr($0, 26, 1) == " ") ? substr($0, 3, 24) : substr($0, 3)
                            sub(/  .*/, "", t); print t }
                   /^  [a-z-]+ --/ { print $2 }' |
              grep -oE -- '--?[a-zA-Z][-a-zA-Z]*' | sort -u)
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return
  fi
  COMPREPLY=($(compgen -f -- "$typed"))
  compopt -o filenames 2>/dev/null
}

complete -F _fennick_convert fennick-convert
