#!/usr/bin/env bash
# The Debian package as a user gets it: made by CPack from the build,
# checked by lintian, its Depends and its files compared with what the
# programs need and the install rules should give, and its programs run from
# a temporary root it is unpacked into.
#   check-package.sh BUILD-DIR APP-ID
set -uo pipefail
build=$(realpath "$1")
app_id=$2
top=$(realpath "$(dirname "$0")/../..")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
problem() {
  echo "$*"
  fail=1
}

if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  exit 1
fi
deb=$(ls "$work"/out/vexo_*.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "package: $(basename "$deb")"

# --- lintian: no error and no warning. Its remarks below warnings are
# printed, not failed on; those it makes now:
# - binary-has-unneeded-section .comment: the compiler's name and version,
#   which strip keeps;
# - hardening-no-bindnow, hardening-no-fortify-functions: the programs are
#   built with the project's flags, not Debian's hardening set (PIE and
#   RELRO they have, from the toolchain's defaults);
# - spelling-error-in-binary Treshold: the parameter box's label, as the
#   window shows it.
lintian --display-info --fail-on error,warning "$deb" || problem "lintian reported errors or warnings"

# --- Depends: every shared library that an installed program loads is
# provided by a package that Depends names.
mkdir -p "$work/root"
dpkg-deb -x "$deb" "$work/root"
depends=$(dpkg-deb -f "$deb" Depends)
for program in "$work"/root/usr/bin/*; do
  for soname in $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    library=$(/sbin/ldconfig -p | awk -v so="$soname" '$1 == so && /x86-64|64bit/ { print $NF; exit }')
    [ -n "$library" ] || library=$(/sbin/ldconfig -p | awk -v so="$soname" '$1 == so { print $NF; exit }')
    owner=$(dpkg -S "$(realpath "$library")" 2>/dev/null | sed -n '1s/:.*//p')
    [ -n "$owner" ] || owner=$(dpkg -S "$library" 2>/dev/null | sed -n '1s/:.*//p')
    if [ -z "$owner" ]; then
      problem "$(basename "$program") needs $soname, which no installed package provides"
    elif ! sed 's/ *([^)]*)//g; s/ *| */\n/g; s/, */\n/g' <<<"$depends" | grep -Fqx "$owner"; then
      problem "$(basename "$program") needs $soname from $owner, which Depends does not name: $depends"
    fi
  done
done

# --- The files: those of the package, those `cmake --install` gives, and
# those it should give are the same.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | LC_ALL=C sort >"$work/packed"
DESTDIR="$work/installed" cmake --install "$build" --prefix /usr >/dev/null || problem "cmake --install failed"
(cd "$work/installed" && find . -type f -o -type l) | sed 's/^\.//' | LC_ALL=C sort >"$work/install-rules"
{
  echo /usr/bin/vexo
  echo /usr/bin/vexo-cli
  echo /usr/share/applications/vexo.desktop
  echo "/usr/share/metainfo/$app_id.metainfo.xml"
  echo "/usr/share/icons/hicolor/scalable/apps/$app_id.svg"
  for size in 16 22 24 32 48 64 128 256; do
    echo "/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
  done
  echo /usr/share/man/man1/vexo.1.gz
  echo /usr/share/man/man1/vexo-cli.1.gz
  echo /usr/share/bash-completion/completions/vexo-cli
  echo /usr/share/doc/vexo/copyright
  echo /usr/share/doc/vexo/changelog.gz
  for sample in "$top"/samples/*.jpg; do
    echo "/usr/share/vexo/samples/$(basename "$sample")"
  done
} | LC_ALL=C sort >"$work/expected"
diff -u --label expected "$work/expected" --label package "$work/packed" || problem "the package's files are not the ones expected"
diff -u --label install-rules "$work/install-rules" --label package "$work/packed" ||
  problem "the package's files are not the ones cmake --install gives"

# --- The programs, run from the unpacked package.
root=$work/root
if [ -x "$root/usr/bin/vexo-cli" ]; then
  cli_version=$("$root/usr/bin/vexo-cli" --version) || problem "vexo-cli --version failed"
  [[ $cli_version == "vexo-cli $version (libjpeg-turbo "*")" ]] ||
    problem "vexo-cli --version says '$cli_version', the package is version $version"
  "$root/usr/bin/vexo-cli" --help >"$work/help" || problem "vexo-cli --help failed"
  "$build/vexo-cli" --help | cmp -s - "$work/help" || problem "the installed vexo-cli --help differs from the build's"
  summary=$("$root/usr/bin/vexo-cli" "$root/usr/share/vexo/samples/grid-9x9.jpg" --op 16 --summary - --no-progress) ||
    problem "vexo-cli's grid search on the installed sample failed"
  # horizontal_lines, vertical_lines, cells, grid_found
  found=$(awk -F, 'NR == 2 { print $9, $10, $11, $12 }' <<<"$summary")
  [ "$found" = "9 9 64 true" ] || problem "grid search on grid-9x9.jpg: $summary"
fi
if [ -x "$root/usr/bin/vexo" ]; then
  window_version=$("$root/usr/bin/vexo" --version) || problem "vexo --version failed"
  [ "$window_version" = "vexo $version" ] || problem "vexo --version says '$window_version', the package is version $version"
fi
exit "$fail"
