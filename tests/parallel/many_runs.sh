#!/usr/bin/env bash
# Many run folders processed at once, as the README shows, must give each
# folder exactly the files and the standard output of a run of that folder
# alone. Three folders are made from the example with different block and
# window lengths, so that their outputs differ.
#
# usage: many_runs.sh MODE ECFLUX EXAMPLES_FOLDER
#   xargs     the folders through `xargs -0 -n 1 -P 2`
#   parallel  the folders through GNU parallel (exit 77, skipped, without it)
#   locked    a folder whose run is still going is refused, and left as it was
set -euo pipefail

mode=$1
ecflux=$2
examples=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

outputs=(results.out cumflux.out CFSHIFT.out Cospectra.out)
runs=(run-a run-b run-c)

# Writes VALUE into the configuration's field on LINE (WIDTH columns from
# column 24), keeping the line's CR LF ending.
set_field() {
  local config=$1 line=$2 width=$3 value=$4
  awk -v line="$line" -v width="$width" -v value="$value" '
    NR == line {
      cr = sub(/\r$/, "")
      $0 = sprintf("%-23.23s%-" width "s%s", $0, value, substr($0, 24 + width))
      if (cr) $0 = $0 "\r"
    }
    { print }' "$config" >"$config.new"
  mv "$config.new" "$config"
}

# make_runs PARENT: the three run folders, each with its own configuration.
make_runs() {
  local parent=$1 setting name block window
  for setting in a:60:30 b:30:10 c:90:45; do
    IFS=: read -r name block window <<<"$setting"
    mkdir -p "$parent/run-$name"
    cp "$examples/ConfigDRAVEK.Dat" "$examples/example.dat" "$parent/run-$name/"
    set_field "$parent/run-$name/ConfigDRAVEK.Dat" 36 8 "$block"
    set_field "$parent/run-$name/ConfigDRAVEK.Dat" 39 4 "$window"
  done
}

# The reference: each folder run alone, one after the other.
alone() {
  make_runs "$scratch/alone"
  local name folder
  for name in "${runs[@]}"; do
    folder=$scratch/alone/$name
    "$ecflux" "$folder" >"$folder.stdout" 2>"$folder.stderr" || fail "$name alone"
    [ ! -s "$folder.stderr" ] || fail "$name alone wrote on standard error"
  done
  # The settings must make the folders differ, or the comparison proves little.
  cmp -s "$scratch/alone/run-a/results.out" "$scratch/alone/run-b/results.out" &&
    fail "run-a and run-b give the same results"
  cmp -s "$scratch/alone/run-a/results.out" "$scratch/alone/run-c/results.out" &&
    fail "run-a and run-c give the same results"
  return 0
}

# same_as_alone PARENT: every folder's outputs equal those of its run alone.
same_as_alone() {
  local parent=$1 name file
  for name in "${runs[@]}"; do
    for file in "${outputs[@]}"; do
      cmp "$scratch/alone/$name/$file" "$parent/$name/$file" ||
        fail "$name/$file differs from its run alone"
    done
  done
}

case $mode in
  xargs)
    alone
    make_runs "$scratch/together"
    # Each process's progress lines into a file of its own beside its folder.
    status=0
    # shellcheck disable=SC2016 # expanded by the shell that xargs starts
    printf '%s\0' "$scratch"/together/*/ |
      ECFLUX="$ecflux" xargs -0 -n 1 -P 2 \
        bash -c '"$ECFLUX" "$1" >"${1%/}.stdout" 2>"${1%/}.stderr"' run || status=$?
    [ "$status" -eq 0 ] || fail "xargs: a run failed (exit $status)"
    same_as_alone "$scratch/together"
    for name in "${runs[@]}"; do
      cmp "$scratch/alone/$name.stdout" "$scratch/together/$name.stdout" ||
        fail "standard output of $name differs from its run alone"
      [ ! -s "$scratch/together/$name.stderr" ] || fail "$name wrote on standard error"
    done
    echo "three run folders through xargs -P 2: the same files as alone"
    ;;
  parallel)
    if ! timeout 10 parallel --version </dev/null 2>/dev/null | grep -q 'GNU parallel'; then
      echo "GNU parallel is not installed: skipped"
      exit 77
    fi
    alone
    make_runs "$scratch/together"
    # --keep-order: each run's lines together, in the order of the folders.
    status=0
    parallel --will-cite --keep-order -j 2 "$ecflux" ::: "$scratch"/together/*/ \
      >"$scratch/together.stdout" 2>"$scratch/together.stderr" || status=$?
    [ "$status" -eq 0 ] || { cat "$scratch/together.stderr" >&2; fail "parallel: exit $status"; }
    [ ! -s "$scratch/together.stderr" ] || fail "parallel: a run wrote on standard error"
    same_as_alone "$scratch/together"
    (cd "$scratch/alone" && cat run-a.stdout run-b.stdout run-c.stdout) | cmp - "$scratch/together.stdout" ||
      fail "the standard output of parallel is not that of the runs alone, in order"
    echo "three run folders through GNU parallel -j 2: the same files as alone"
    ;;
  locked)
    # A run holds its folder while it writes; flock(1) stands in for it, so
    # that the second run certainly starts while the first one is going.
    make_runs "$scratch/locked"
    folder=$scratch/locked/run-a
    status=0
    flock "$folder" "$ecflux" "$folder" >"$scratch/stdout" 2>"$scratch/stderr" ||
      status=$?
    [ "$status" -eq 1 ] || fail "a second run in the same folder: exit $status, not 1"
    grep -q "^ecflux: another run is writing in $folder; nothing was written" "$scratch/stderr" ||
      fail "a second run in the same folder: $(cat "$scratch/stderr")"
    [ ! -s "$scratch/stdout" ] || fail "the refused run wrote on standard output"
    for file in "${outputs[@]}"; do
      [ ! -e "$folder/$file" ] || fail "the refused run created $file"
    done
    # Once the first run has finished, the folder is free again.
    "$ecflux" "$folder" >/dev/null || fail "a run after the first has finished"
    echo "a second run in a folder whose run is going is refused and writes nothing"
    ;;
  *)
    fail "unknown mode $mode"
    ;;
esac
