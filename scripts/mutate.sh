#!/usr/bin/env bash
# Mutation run: puts small realistic faults into a copy of the tree, one at a time, builds the
# copy and runs the test suite against it, and reports which faults no test noticed.
#
#   scripts/mutate.sh [LIST] [NUMBER...]
#
# LIST (default scripts/mutations.txt) holds one mutation a line:
#   FILE @@ TEXT @@ REPLACEMENT @@ FIRST
# TEXT must occur exactly once in FILE (a mutation that does not is reported as "UGYLDIG" and
# counts nowhere); it is replaced by REPLACEMENT. FIRST names the test programs (tests/test_x,
# or "e2e") most likely to notice, run first so a caught fault costs little; when they pass,
# the whole suite runs. Lines starting with '#' and empty lines are skipped. NUMBERs pick
# mutations by their line order (1 = first mutation), to run again only those.
#
# The copy lives in $GLIMRA_MUTATION_DIR (default build-mutation/ in the tree, which git ignores)
# and is built in its own build/ folder, incrementally and with ccache when it is installed, so
# only the mutated unit and the links are redone per mutation (the copy's build folder sits where
# the tree's does, so ccache with CCACHE_BASEDIR set finds the tree's own compilations). The shuffled repeats of the test programs are left out: they run the same
# checks as the suite's own entries. The X server for the end-to-end tests takes the first free
# display of $GLIMRA_MUTATION_DISPLAYS ("FIRST LAST", default "140 180"). Run it at low
# priority on a shared machine (nice -n 10). Exit status 0 when every mutation was caught.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
list="${1:-$root/scripts/mutations.txt}"
[ $# -gt 0 ] && shift
[ -f "$list" ] || { echo "Fant ikke mutasjonslisten $list" >&2; exit 2; }
list="$(cd "$(dirname "$list")" && pwd)/$(basename "$list")"
only=" $* "
work="${GLIMRA_MUTATION_DIR:-$root/build-mutation}"
src="$work/src"
build="$src/build"
jobs="${GLIMRA_MUTATION_JOBS:-2}"

# The copy follows the tree: changed files are copied with a new time stamp (so a build of an
# interrupted earlier run is never taken for current), files gone from the tree are removed.
mkdir -p "$src"
cp "$list" "$work/mutations.txt"   # the list as it was at the start, whatever happens to it meanwhile
(cd "$root" && find . -path ./.git -prune -o -path './build*' -prune -o -type f -print | sort) >"$work/files"
(cd "$src" && find . -path ./build -prune -o -type f -print | sort) | comm -13 "$work/files" - | (cd "$src" && xargs -r -d '\n' rm -f)
while IFS= read -r f; do
  cmp -s "$root/$f" "$src/$f" || { mkdir -p "$(dirname "$src/$f")" && cp "$root/$f" "$src/$f"; }
done <"$work/files"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLIMRA_BENCH=OFF \
  "${launcher[@]}" >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 2; }

# The end-to-end tests need an X server; this run brings its own.
source "$root/scripts/xvfb.bash"
read -r first_display last_display <<<"${GLIMRA_MUTATION_DISPLAYS:-140 180}"
start_xvfb "$first_display" "$last_display" "$work/xvfb.log"
trap 'kill $xvfb_pid 2>/dev/null || true; wait $xvfb_pid 2>/dev/null || true' EXIT
export GLIMRA_E2E_DISPLAY="$xvfb_display"

# Builds the named targets (all when none are named).
build_tree() {
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  cmake --build "$build" -j "$jobs" "${targets[@]}" >"$work/build.log" 2>&1
}
# The whole suite less the shuffled repeats; stops at the first failure.
run_suite() {
  (cd "$build" && ctest -j "$jobs" --timeout 600 --stop-on-failure -E '^shuffled_' >"$work/ctest.log" 2>&1)
}
# The programs named first, each built alone; false as soon as one fails. A fault they catch
# costs one program's build, not the whole tree's.
run_first() {
  local t
  for t in $1; do
    if [ "$t" = e2e ]; then
      build_tree glimra || return 2
      (cd "$build" && ctest -L e2e --timeout 600 --stop-on-failure >"$work/first.log" 2>&1) || return 1
    else
      build_tree "$t" || return 2
      (cd "$build/tests" && QT_QPA_PLATFORM=offscreen LANG=nb_NO.UTF-8 timeout 600 "./$t" >"$work/first.log" 2>&1) ||
        return 1
    fi
  done
}

echo "Bygger og prøver kopien uten mutasjoner i $work ..."
build_tree || { echo "Kopien bygger ikke; se $work/build.log" >&2; exit 2; }
run_suite || { echo "Testene feiler uten mutasjoner; se $work/ctest.log" >&2; exit 2; }

killed=0 survived=0 stillborn=0 invalid=0 number=0
survivors=()
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in '' | '#'*) continue ;; esac
  number=$((number + 1))
  [ "$only" = "  " ] || [[ "$only" == *" $number "* ]] || continue
  file="$(perl -e '@f = split(/ @@ /, $ARGV[0], -1); print $f[0]' "$line")"
  export MUT_FROM MUT_TO
  MUT_FROM="$(perl -e '@f = split(/ @@ /, $ARGV[0], -1); print $f[1]' "$line")"
  MUT_TO="$(perl -e '@f = split(/ @@ /, $ARGV[0], -1); print $f[2]' "$line")"
  first="$(perl -e '@f = split(/ @@ /, $ARGV[0], -1); print $f[3] // ""' "$line")"
  label="#$number $file: '$MUT_FROM' -> '$MUT_TO'"
  count=0
  [ -f "$src/$file" ] && count="$(perl -0ne '$c = () = /\Q$ENV{MUT_FROM}\E/g; print $c' "$src/$file")"
  if [ "$count" != 1 ]; then
    echo "UGYLDIG   $label (teksten finnes $count ganger)"
    invalid=$((invalid + 1))
    continue
  fi
  cp -p "$src/$file" "$work/original"
  perl -0pi -e 's/\Q$ENV{MUT_FROM}\E/$ENV{MUT_TO}/' "$src/$file"
  status=0
  by="av $first"
  run_first "$first" || status=$?
  if [ "$status" -eq 0 ]; then
    by="av hele serien"
    build_tree || status=2
    [ "$status" -eq 0 ] && { run_suite || status=1; }
  fi
  if [ "$status" -eq 2 ]; then
    verdict="BYGGER IKKE"
    stillborn=$((stillborn + 1))
  elif [ "$status" -eq 1 ]; then
    verdict="FANGET $by:"
    # What caught it, kept for a look afterwards.
    [ "$by" = "av hele serien" ] && cp "$build/Testing/Temporary/LastTest.log" "$work/caught-$number.log"
    killed=$((killed + 1))
  else
    verdict="OVERLEVDE"
    survived=$((survived + 1))
    survivors+=("$label")
  fi
  cp -p "$work/original" "$src/$file"
  touch "$src/$file"
  echo "$verdict $label"
done <"$work/mutations.txt"

tried=$((killed + survived))
echo
echo "Fanget $killed av $tried mutasjoner ($stillborn bygget ikke, $invalid ugyldige)."
for s in "${survivors[@]}"; do echo "  overlevde: $s"; done
[ "$survived" -eq 0 ]
