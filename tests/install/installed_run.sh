#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what an installation
# gives a user: exactly the files of the build's list of installed files (the
# two programs, their manual pages, the README, the licence and the example,
# and the Python package where it is built); the installed ecflux run on a
# copy of the installed example from another working directory, writing the
# same bytes as the build's ecflux; the installed ecflux-plot drawing that
# run; and one version everywhere.
#
# usage: installed_run.sh BUILD_FOLDER SOURCE_FOLDER VERSION BUILT_ECFLUX
set -euo pipefail

build=$1
source=$2
version=$3
built_ecflux=$4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" ||
  { cat "$scratch/install.log" >&2; fail "cmake --install"; }

# Nothing but the listed files (COMPONENT PATH per line, resolved by the
# build from packaging/installed-files.txt): no test program, tool, benchmark
# or library.
expected=$(awk '{ print $2 }' "$build/installed-files.txt" | LC_ALL=C sort)
[ -n "$expected" ] || fail "no list of installed files in $build"
installed=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
if [ "$installed" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$installed") >&2 || true
  fail "the installed files are not the expected ones (< expected, > installed)"
fi
for program in ecflux ecflux-plot; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done
cmp "$source/README.md" "$prefix/share/doc/ecflux/README.md" || fail "installed README differs"
cmp "$source/LICENSE" "$prefix/share/doc/ecflux/copyright" || fail "installed copyright differs"

# One version: the project's, in both programs and in both manual pages.
[ "$("$prefix/bin/ecflux" --version)" = "ecflux $version" ] || fail "ecflux --version"
[ "$("$prefix/bin/ecflux-plot" --version)" = "ecflux-plot $version" ] ||
  fail "ecflux-plot --version"
for page in ecflux ecflux-plot; do
  manual=$prefix/share/man/man1/$page.1
  title=$(echo "$page" | tr '[:lower:]' '[:upper:]')
  grep -q "^\.TH $title 1 .*\"ecflux $version\"" "$manual" ||
    fail "the title line of $page.1 does not give version $version"
  if command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$manual" 2>&1)
    [ -z "$warnings" ] || fail "groff warns about $page.1: $warnings"
  fi
  # man finds the page of a program on the PATH in the prefix beside it.
  if command -v man >/dev/null; then
    found=$(env -u MANPATH PATH="$prefix/bin:$PATH" man -w "$page" 2>/dev/null) || true
    [ "$found" = "$manual" ] || fail "man -w $page gives \"$found\", not $manual"
  fi
done

# The installed example, run from elsewhere with the run folder as argument.
for copy in installed built; do
  mkdir "$scratch/$copy"
  cp "$prefix/share/doc/ecflux/examples/"* "$scratch/$copy/"
done
status=0
(cd / && "$prefix/bin/ecflux" "$scratch/installed") >"$scratch/installed.stdout" \
  2>"$scratch/installed.stderr" || status=$?
[ "$status" -eq 0 ] || { cat "$scratch/installed.stderr" >&2; fail "installed ecflux: exit $status"; }
[ ! -s "$scratch/installed.stderr" ] || fail "installed ecflux wrote on standard error"
(cd "$scratch/built" && "$built_ecflux") >"$scratch/built.stdout"
for file in results.out cumflux.out CFSHIFT.out Cospectra.out; do
  [ -s "$scratch/installed/$file" ] || fail "installed ecflux wrote no $file"
  cmp "$scratch/built/$file" "$scratch/installed/$file" ||
    fail "$file of the installed ecflux differs from the build's"
done
cmp "$scratch/built.stdout" "$scratch/installed.stdout" ||
  fail "standard output of the installed ecflux differs from the build's"

(cd / && "$prefix/bin/ecflux-plot" "$scratch/installed") >"$scratch/plot.stdout" ||
  fail "installed ecflux-plot"
for plot in flux_by_block.svg cumulative_flux.svg flux_by_window.svg report.html; do
  [ -s "$scratch/installed/$plot" ] || fail "installed ecflux-plot drew no $plot"
done

echo "installed into a scratch prefix: files, versions, manual page and the example run as built"
