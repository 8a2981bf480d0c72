#!/usr/bin/env bash
# Builds the Debian package as a release is built and checks it as a user's system would: lintian
# with every tag but the package's justified overrides, the distribution's hardening, the files it
# holds, an install into a throwaway root where every needed library resolves and comes from a
# declared dependency, a valid menu entry and AppStream metadata, one version everywhere, a man
# page that names every option, an unknown option refused, and no path of the build machine in
# the stripped program.
#
#   package_test.sh CMAKE CPACK SOURCE_DIR BUILD_DIR
#
# BUILD_DIR holds the run command's configuration (the "program" preset), optimised as a release's
# is: the program build test leaves it there, and here it is only brought up to date (or built, if
# that test did not run) with the same settings.
set -euo pipefail
cmake=$1
cpack=$2
source=$(cd "$3" && pwd)
build=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

(cd "$source" && "$cmake" --preset program -B "$build" -DCMAKE_UNITY_BUILD=ON \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG") >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log" >&2; fail "the program configuration does not configure"; }
"$cmake" --build "$build" >"$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log" >&2; fail "the program configuration does not build"; }
"$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack could not build the package"; }
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one package, got: ${debs[*]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "dozewick_${version}_${arch}.deb" ] || fail "named $(basename "$deb")"

# Every tag counts, down to the pedantic and experimental ones; an override that no longer
# matches is a tag of its own.
lintian --allow-root --display-info --pedantic --display-experimental \
  --fail-on error,warning,info,pedantic,experimental "$deb" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log" >&2; fail "lintian reports tags"; }

# The files it holds, no more and no less.
expected="./usr/bin/dozewick
./usr/share/applications/dozewick.desktop
./usr/share/doc/dozewick/changelog.gz
./usr/share/doc/dozewick/copyright
./usr/share/dozewick/help/index.html
./usr/share/icons/hicolor/scalable/apps/dozewick.svg
./usr/share/lintian/overrides/dozewick
./usr/share/man/man1/dozewick.1.gz
./usr/share/metainfo/org.dozewick.Dozewick.metainfo.xml"
actual=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
[ "$actual" = "$expected" ] || fail "unexpected contents:
$(diff <(echo "$expected") <(echo "$actual"))"

# Installed into an empty root whose dependencies are the ones of this system.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg=(dpkg)
[ "$(id -u)" -eq 0 ] || dpkg=(fakeroot dpkg --force-not-root)
"${dpkg[@]}" --root="$root" --log=/dev/null --force-depends -i "$deb" >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log" >&2; fail "dpkg could not install it"; }
program=$root/usr/bin/dozewick
[ -x "$program" ] || fail "no executable"
# lintian sees a read-only GOT bound at start, checked functions and no compiler signature; it no
# longer looks for the stack protector.
grep -qw __stack_chk_fail <<<"$(objdump -T "$program")" || fail "the program's stack is not protected"
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/[ (].*//')
ldd "$program" >"$work/ldd.log" || fail "ldd cannot read the program"
! grep -q 'not found' "$work/ldd.log" || fail "unresolved libraries: $(grep 'not found' "$work/ldd.log")"
for library in $(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }'); do
  path=$(awk -v lib="$library" '$1 == lib { print $3 }' "$work/ldd.log")
  owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null || dpkg -S "$path") ||
    fail "no package holds $library ($path)"
  owner=${owner%%:*}
  grep -qx "$owner" <<<"$depends" || fail "$library comes from $owner, not in Depends: $depends"
done

entry=$root/usr/share/applications/dozewick.desktop
grep -qx 'Exec=dozewick' "$entry" || fail "the menu entry does not start dozewick"
grep -qx 'Icon=dozewick' "$entry" || fail "the menu entry names another icon"
desktop-file-validate "$entry" || fail "the menu entry is not valid"
appstreamcli validate-tree --no-net --explain "$root" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log" >&2; fail "the AppStream metadata is not valid"; }
metainfo=$root/usr/share/metainfo/org.dozewick.Dozewick.metainfo.xml
grep -q '<launchable type="desktop-id">dozewick.desktop</launchable>' "$metainfo" ||
  fail "the metadata launches another desktop entry"

for tree in "$source" "$build"; do
  if grep -qaF "$tree" "$program"; then
    fail "the program holds the path $tree: $(strings "$program" | grep -F "$tree")"
  fi
done

# One version: the package's, the program's, the metadata's release, the man page's, the
# changelog's. --version answers without a desktop session.
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version | head -n 1)" = "dozewick $version" ] ||
  fail "--version does not say $version"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metadata releases another version"
man=$(zcat "$root/usr/share/man/man1/dozewick.1.gz" | sed 's/\\-/-/g')
grep -q "^\.TH DOZEWICK 1 .*\"Dozewick $version\"" <<<"$man" || fail "the man page is of another version"
zcat "$root/usr/share/doc/dozewick/changelog.gz" | head -n 1 | grep -qF "dozewick ($version)" ||
  fail "the changelog ends at another version"

# The man page names every option and variable --help names.
help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --help)
for name in $(grep -oE -- '--[a-z-]+|\b[A-Z][A-Z_]{5,}\b' <<<"$help" | sort -u); do
  grep -qF -- "$name" <<<"$man" || fail "the man page does not mention $name"
done
# An unknown option is refused before anything starts (no desktop is needed to say so).
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$program" --verison >"$work/out.txt" 2>"$work/err.txt" || status=$?
[ "$status" -eq 2 ] || fail "an unknown option ended with status $status, not 2"
[ ! -s "$work/out.txt" ] && grep -q -- "--verison" "$work/err.txt" && grep -q '^Usage: ' "$work/err.txt" ||
  fail "an unknown option is not named with the usage on standard error: $(cat "$work/err.txt")"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
  "$root/usr/share/man/man1/dozewick.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the man page does not format cleanly: $warnings"

"${dpkg[@]}" --root="$root" --log=/dev/null -r dozewick >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log" >&2; fail "dpkg could not remove it"; }
left=$(find "$root" -path "$root/var" -prune -o ! -type d -print)
[ -z "$left" ] || fail "removing it left: $left"
echo "package: $(basename "$deb"): lintian clean, hardened, installs, resolves, one version"
