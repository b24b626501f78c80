#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the build-tree lines of bindings/pascal/README.md as written, in a copy
# of the tree where build/dev/src is the library's build folder: the program
# must build and find libquorvel.so.1 through the README's LD_LIBRARY_PATH.
#   pascal_readme.sh SOURCE_DIR LIBRARY_DIR WORK_DIR
set -euo pipefail
source=$1 library=$2 work=$3
rm -rf "$work"
mkdir -p "$work/bindings" "$work/build/dev"
cp -r "$source/bindings/pascal" "$work/bindings/"
ln -s "$library" "$work/build/dev/src"
# The second sh block of the README: the build-tree lines.
lines=$(awk '/^```sh$/{n++; inside=1; next} /^```$/{inside=0} inside && n==2' \
        "$source/bindings/pascal/README.md")
[ -n "$lines" ] || { echo "no build-tree block in the README"; exit 1; }
build=$(grep -v '^LD_LIBRARY_PATH=' <<<"$lines")
run=$(grep '^LD_LIBRARY_PATH=' <<<"$lines")
(cd "$work" && eval "$build")
# The run line under ldd instead of running it: libquorvel.so.1 found there.
read -r env_part program _address <<<"$run"
(cd "$work/bindings/pascal" && env "$env_part" ldd "$program") >"$work/ldd.txt"
grep -q 'libquorvel.so.1 => .*/build/dev/src/libquorvel.so.1' "$work/ldd.txt" ||
    { cat "$work/ldd.txt"; echo "the program does not find libquorvel.so.1 the README's way"; exit 1; }
echo "README build lines: built $program, which finds libquorvel.so.1"
