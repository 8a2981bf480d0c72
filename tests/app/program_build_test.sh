#!/usr/bin/env bash
# Configures and builds the run command's configuration (the "program" preset) where the packages
# that only the tests and benchmarks need cannot be seen, as on a machine where only the "build"
# packages are installed: in a private mount namespace their headers, CMake and pkg-config files
# and libraries are covered, and so is Qt's test module. No compiler cache is used.
#
# The build is optimised as a release's, without debug information and as a unity build to save
# time (which packages a build needs does not depend on those choices), and is left in BUILD_DIR,
# where the package test packs it, when one is given.
#
#   program_build_test.sh SOURCE_DIR [CMAKE] [BUILD_DIR]
set -euo pipefail
source=$(cd "$1" && pwd)
cmake=${2:-cmake}
kept=${3:-}
packages=$source/tools/debian-packages.txt

if [ "${DOZEWICK_INSIDE_NAMESPACE:-}" != 1 ]; then
  command -v unshare >/dev/null || { echo "program build: no unshare; skipped"; exit 77; }
  # Root needs only a mount namespace; anyone else maps themselves to root in a user namespace.
  namespace=(unshare --mount)
  [ "$(id -u)" -eq 0 ] || namespace=(unshare --map-root-user --mount)
  if ! "${namespace[@]}" true 2>/dev/null; then
    echo "program build: this system allows no private mount namespace; skipped"
    exit 77
  fi
  exec env DOZEWICK_INSIDE_NAMESPACE=1 "${namespace[@]}" bash "$0" "$@"
fi

hidden=0
cover() {
  if [ -d "$1" ]; then
    mount -t tmpfs none "$1"
  else
    mount --bind /dev/null "$1"
  fi
  hidden=$((hidden + 1))
}
# A folder of headers that belongs to one package alone is covered whole (a mount per file of
# thousands of headers took most of a minute); in a folder it shares, only its own files are.
owned_alone() {
  local owners
  owners=$(dpkg-query -S "$1" 2>/dev/null | head -n 1) || return 1
  owners=${owners%": $1"}
  [ "$owners" = "$2" ] || [ "${owners%:*}" = "$2" ]
}
if command -v dpkg-query >/dev/null; then
  for package in $(awk '!/^#/ && $1 == "test" { print $2 }' "$packages"); do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || continue
    whole=
    while read -r file; do
      [ -n "$whole" ] && [ "${file#"$whole"/}" != "$file" ] && continue
      if [ -d "$file" ] && [ "${file%/*}" = /usr/include ] && owned_alone "$file" "$package"; then
        whole=$file
        cover "$file"
      elif [ -f "$file" ]; then
        cover "$file"
      fi
    done < <(dpkg-query -L "$package" |
      grep -E '^/usr/(include/|lib/[^/]+/(cmake|pkgconfig)/|lib/[^/]+/lib[^/]*\.(a|so)$)')
  done
fi
for dir in /usr/include/*/qt6/QtTest /usr/lib/*/cmake/Qt6Test; do
  [ -d "$dir" ] && cover "$dir"
done
if [ -s /usr/include/gtest/gtest.h ]; then
  echo "program build: GoogleTest is still visible" >&2
  exit 1
fi
echo "program build: $hidden files and folders of the test packages hidden"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build=$work/build
if [ -n "$kept" ]; then
  rm -rf "$kept"
  build=$kept
fi
unset CMAKE_CXX_COMPILER_LAUNCHER CMAKE_C_COMPILER_LAUNCHER
cd "$source"
"$cmake" --preset program -B "$build" -DCMAKE_UNITY_BUILD=ON \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" >"$work/configure.log" 2>&1 || {
  cat "$work/configure.log" >&2
  echo "program build: the program configuration does not configure without the test packages" >&2
  exit 1
}
"$cmake" --build "$build" >"$work/build.log" 2>&1 || {
  tail -n 40 "$work/build.log" >&2
  echo "program build: the program does not build without the test packages" >&2
  exit 1
}
[ -x "$build/src/app/dozewick" ] || { echo "program build: no program" >&2; exit 1; }
echo "program build: configured and built without the test packages"
