#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that a desktop finds everything there:
# the program, a valid menu entry that starts it, its icon and the help page; and that a stripped
# program holds no path of the machine it was built on.
set -euo pipefail
cmake=$1
build=$2
source=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

"$cmake" --install "$build" --prefix "$prefix" --strip >/dev/null
fail() { echo "install: $*" >&2; exit 1; }

[ -x "$prefix/bin/dozewick" ] || fail "no executable"
entry=$prefix/share/applications/dozewick.desktop
[ -f "$entry" ] || fail "no menu entry"
[ -f "$prefix/share/icons/hicolor/scalable/apps/dozewick.svg" ] || fail "no icon"
compgen -G "$prefix/share/dozewick/help/*.html" >/dev/null || fail "no help page"
grep -qx 'Exec=dozewick' "$entry" || fail "the entry does not start dozewick"
grep -qx 'Icon=dozewick' "$entry" || fail "the entry names another icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "the menu entry is not valid"
fi
for tree in "$source" "$build"; do
  if grep -qaF "$tree" "$prefix/bin/dozewick"; then
    fail "the program holds the path $tree: $(strings "$prefix/bin/dozewick" | grep -F "$tree")"
  fi
done
echo "install: executable, menu entry, icon and help page in place"
