#!/bin/sh
# Builds tavrin.exe again, the way it is shipped (configure preset PRESET,
# without the tests), from a copy of the sources in another folder, and
# checks that it has the same bytes as EXE: an administrator's allowlist may
# name the program by its SHA-256, which then holds for every build of one
# commit; and the program that the tests ran is the one that is shipped.
#
#   check_reproducible.sh CMAKE SOURCE_DIR PRESET EXE
set -eu
cmake=$1 source=$2 preset=$3 exe=$(realpath "$4")

# In the current folder (the build's), where a copy left by a killed run
# goes with the build.
copy=$(mktemp -d "$PWD/reproducible.XXXXXX")
trap 'rm -rf "$copy"' EXIT
tar -C "$source" --exclude=./build --exclude=./out --exclude=./.git -cf - . | tar -C "$copy" -xmf -
cd "$copy"
"$cmake" --preset "$preset" -DTAVRIN_BUILD_TESTS=OFF >build.log 2>&1 &&
  "$cmake" --build --preset "$preset" --target tavrin -j 2 >>build.log 2>&1 ||
  { cat build.log; exit 1; }
again=$(find build -name tavrin.exe)

tested=$(sha256sum <"$exe" | cut -d' ' -f1)
rebuilt=$(sha256sum <"$again" | cut -d' ' -f1)
echo "$exe: $tested"
echo "$copy/$again: $rebuilt"
if [ "$tested" != "$rebuilt" ]; then
  cmp -l "$exe" "$again" | head -n 20
  exit 1
fi
