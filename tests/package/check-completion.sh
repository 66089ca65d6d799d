#!/usr/bin/env bash
# What Tab offers on vexo-cli's command line, with the completion loaded as
# bash-completion loads it, in a folder of pictures, other files and folders.
#   check-completion.sh COMPLETION-SCRIPT VEXO-CLI
set -uo pipefail
completion=$(realpath "$1")
cli=$(realpath "$2")
# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion || exit 1
# shellcheck disable=SC1090
source "$completion" || exit 1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/photos/sub" "$work/photos/more_pictures"
touch "$work/photos/a.jpg" "$work/photos/B.JPEG" "$work/photos/c.png" "$work/photos/notes.txt"
cd "$work/photos" || exit 1

# offered WORD...: what Tab offers for the last word, sorted, on one line.
offered() {
  COMP_WORDS=("$cli" "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _vexo_cli "$cli" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//'
}

# Every option the help mentions, wherever it stands.
all_options=$("$cli" --help | grep -oE -- '--[a-z][a-z-]*' | LC_ALL=C sort -u | tr '\n' ' ' | sed 's/ $//')

fail=0
expect() {  # expect "WHAT IS OFFERED" WORD...
  local want
  want=$(tr ' ' '\n' <<<"$1" | LC_ALL=C sort | tr '\n' ' ' | sed 's/^ //; s/ $//')
  shift
  local got
  got=$(offered "$@")
  if [ "$got" != "$want" ]; then
    echo "vexo-cli $*<Tab>: offered [$got], expected [$want]"
    fail=1
  fi
}
expect "$all_options" --
expect "--go --go-on" picture.jpg --go
expect "0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17" a.jpg --op ""
expect "1 10 11 12 13 14 15 16 17" a.jpg --shortcut 1
expect "B.JPEG a.jpg more_pictures sub" ""
expect "B.JPEG a.jpg more_pictures sub" a.jpg --op 16 ""
expect "more_pictures sub" a.jpg --out ""
expect "more_pictures sub" a.jpg --dump ""
expect "B.JPEG a.jpg c.png more_pictures notes.txt sub" a.jpg --png ""
expect "B.JPEG a.jpg c.png more_pictures notes.txt sub" a.jpg --summary ""
expect "" a.jpg --jobs ""
expect "" a.jpg --param ""
exit "$fail"
