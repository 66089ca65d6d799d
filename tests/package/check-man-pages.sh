#!/usr/bin/env bash
# The manual pages that the build made: man reads them without a warning,
# and each says every line of its program's --help.
#   check-man-pages.sh BUILD-DIR
set -uo pipefail
build=$1
fail=0
checked=0
for program in vexo vexo-cli; do
  page=$build/data/man/$program.1
  [ -x "$build/$program" ] || continue
  checked=$((checked + 1))
  if [ ! -f "$page" ]; then
    echo "$page: missing"
    fail=1
    continue
  fi
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "man --warnings $page:"
    echo "$warnings"
    fail=1
  fi

  # The page as text on one line, words one blank apart, in lower case
  # (headings are in capitals there); lines too wide for any break, so that
  # no word is hyphenated.
  rendered=$(LC_ALL=C MANWIDTH=2000 man -l "$page" 2>/dev/null | tr -s ' \n\t' '   ' | tr '[:upper:]' '[:lower:]')
  help=$(QT_QPA_PLATFORM=offscreen "$build/$program" --help) || {
    echo "$program --help failed"
    fail=1
    continue
  }
  # Every line of the help, without "Usage:" and a heading's colon; the
  # lines that continue a usage form are looked for with the form they
  # continue, as the synopsis joins them.
  missing=0
  says() {
    local wanted
    wanted=$(tr -s ' \t' '  ' <<<"$1" | sed 's/^ //; s/ $//' | tr '[:upper:]' '[:lower:]')
    if [ -n "$wanted" ] && [[ $rendered != *"$wanted"* ]]; then
      echo "$page does not say: $1"
      missing=1
    fi
  }
  form=
  while IFS= read -r line; do
    if [[ $line =~ ^Usage:\ +(.*)$ || $line =~ ^\ +($program\ .*)$ ]]; then
      [ -n "$form" ] && says "$form"
      form=${BASH_REMATCH[1]}
    elif [ -n "$form" ] && [[ $line =~ ^\ +(.*)$ ]]; then
      form+=" ${BASH_REMATCH[1]}"
    else
      [ -n "$form" ] && says "$form"
      form=
      says "${line%:}"
    fi
  done <<<"$help"
  [ -n "$form" ] && says "$form"
  [ "$missing" -eq 0 ] || fail=1
done
if [ "$checked" -eq 0 ]; then
  echo "no program in $build"
  exit 1
fi
exit "$fail"
