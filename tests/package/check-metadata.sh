#!/usr/bin/env bash
# The desktop entry and the AppStream metadata as the freedesktop tools
# validate them: no error and no warning.
#   check-metadata.sh vexo.desktop ID.metainfo.xml
set -uo pipefail
desktop=$1
metainfo=$2
fail=0

# desktop-file-validate prints errors, warnings and hints. One hint is
# expected: the entry names two main categories (Graphics and Science), so a
# menu may list Vexo under both, which is meant.
report=$(desktop-file-validate "$desktop" 2>&1) || fail=1
unexplained=$(grep -v 'contains more than one main category' <<<"$report" | grep -v '^$' || true)
if [ -n "$unexplained" ]; then
  echo "desktop-file-validate $desktop:"
  echo "$unexplained"
  fail=1
fi

# Without --pedantic: its one remark is that the id has an upper-case letter,
# which reverse-DNS ids customarily have in their last part.
if ! appstreamcli validate --no-net --explain "$metainfo"; then
  fail=1
fi
exit "$fail"
