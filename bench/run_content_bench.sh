#!/usr/bin/env bash
# Times vardex-cli's content comparison against the duplicate finders packaged
# by Debian and against the floor of reading every same-size file once.
#
#   bench/run_content_bench.sh [OPTIONS] [DIR]      # DIR = /tmp/vdx-bench
#
# Trees are generated once under DIR by vdx-make-tree, with the true
# same-content groups beside them (TREE.groups). For each tree, with a warm
# cache, every tool runs once under /usr/bin/time for its peak memory and its
# answer, which is read into groups and compared with the true ones; then
# ROUNDS timed rounds follow, each running every tool once (hyperfine, one run
# per call, the order turned by one each round so that drift of the machine
# spreads over all tools). Only ratios within one run mean anything.
#
# Tools, set to look at the same files (hidden ones in, zero-size ones out):
#   vardex-cli find --quiet --compare --view content --no-protect-hidden --format json
#   duff -r -a -z -q -0 -f '#'       (-a: hidden files, -z: no empty files)
#   fdupes -r -n -q                   (-n: no empty files; hidden files are in)
#   jdupes -r -q -0                   (empty files are out unless -z)
#   rdfind -outputname FILE           (empty files are out by default)
#   rmlint -T df --hidden -o fdupes:FILE (empty files are out by default)
# Floors: BM_ReadFloor of ContentCompare_bench (every same-size file read once
# in 128 KiB reads, in-process, the tree walk not counted), `xargs -0 cat` of
# the same files, and `find -printf '%s %p'` (the walk alone). BM_Compare of
# the same program times vardex's comparison alone (scan and grouping done
# before, untimed), to set against the read floor.
#
# Options:
#   --sizes LIST    file counts of the mixed trees, comma-separated (default 20000,200000)
#   --no-large      leave out the tree of 20 large files (50-300 MB, 3.3 GB)
#   --rounds R      timed rounds (default 5)
#   --seed S        seed of the mixed trees (default 1)
#   --no-build      use the programs already built
#   --no-install    never apt-get install a missing tool (it is then left out)
#   --cli PATH      the vardex-cli to time (default build/release/cli/vardex-cli)
#   --bench-bin DIR where vdx-make-tree and ContentCompare_bench are (default build/bench/bench)
#   --out DIR       keep the answers, timings and table there (default DIR/content-results)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
sizes=20000,200000
large=1
rounds=5
seed=1
build=1
install=1
cli=$root/build/release/cli/vardex-cli
bin=$root/build/bench/bench
out=
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --sizes) sizes=${2:?--sizes needs a list}; shift 2 ;;
    --no-large) large=0; shift ;;
    --rounds) rounds=${2:?--rounds needs a number}; shift 2 ;;
    --seed) seed=${2:?--seed needs a number}; shift 2 ;;
    --no-build) build=0; shift ;;
    --no-install) install=0; shift ;;
    --cli) cli=${2:?--cli needs a path}; shift 2 ;;
    --bench-bin) bin=${2:?--bench-bin needs a folder}; shift 2 ;;
    --out) out=${2:?--out needs a folder}; shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "run_content_bench: unknown option $1" >&2; exit 2 ;;
    *) positional+=("$1"); shift ;;
  esac
done
dir=${positional[0]:-/tmp/vdx-bench}
out=${out:-$dir/content-results}
for n in "$rounds" "$seed" ${sizes//,/ }; do
  case "$n" in ''|*[!0-9]*) echo "run_content_bench: '$n' is not a whole number" >&2; exit 2 ;; esac
done
[ "$rounds" -ge 1 ] || { echo "run_content_bench: --rounds must be at least 1" >&2; exit 2; }

say() { printf '%s\n' "$*"; }
have() { command -v "$1" >/dev/null 2>&1; }
helper=$root/bench/content_groups.py
python=$(command -v python3 || true)
[ -n "$python" ] || { echo "run_content_bench: python3 is needed to read the answers" >&2; exit 1; }
mkdir -p "$dir" "$out"
work=$out/work
rm -rf "$work"
mkdir -p "$work"

# --- build -------------------------------------------------------------------
if [ "$build" -eq 1 ]; then
  # A whole flavour is built as asked; when something unrelated in it does not
  # build, the programs this script needs are enough to go on with.
  for spec in release:vardex-cli bench:vdx-make-tree,ContentCompare_bench; do
    flavour=${spec%%:*} targets=${spec#*:}
    if ! "$root/scripts/build" "$flavour" >"$work/build-$flavour.txt" 2>&1; then
      # shellcheck disable=SC2086
      if cmake --build "$root/build/$flavour" --target ${targets//,/ } -- -j"$(nproc)" \
        >>"$work/build-$flavour.txt" 2>&1; then
        say "warning: scripts/build $flavour failed; built ${targets//,/ } alone."
      else
        tail -n 30 "$work/build-$flavour.txt" >&2
        echo "run_content_bench: scripts/build $flavour failed" >&2
        exit 1
      fi
    fi
  done
fi
maker=$bin/vdx-make-tree
floor_bench=$bin/ContentCompare_bench
for program in "$maker" "$floor_bench" "$cli"; do
  [ -x "$program" ] || { echo "run_content_bench: $program is missing" >&2; exit 1; }
done
"$maker" --help | grep -q -- --groups ||
  { echo "run_content_bench: $maker is too old (no --groups)" >&2; exit 1; }

# --- tools -------------------------------------------------------------------
missing=()
for tool in hyperfine duff fdupes jdupes rdfind rmlint; do have "$tool" || missing+=("$tool"); done
[ -x /usr/bin/time ] || missing+=(time)
if [ ${#missing[@]} -gt 0 ] && [ "$install" -eq 1 ] && [ "$(id -u)" -eq 0 ]; then
  say "Installing ${missing[*]} ..."
  { DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" ||
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"; }
  } >"$work/apt.txt" 2>&1 || say "  (apt-get failed; see $work/apt.txt)"
fi
have hyperfine || { echo "run_content_bench: hyperfine is needed (apt-get install hyperfine)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "run_content_bench: /usr/bin/time is needed (apt-get install time)" >&2; exit 1; }
say "Timer: $(hyperfine --version), $rounds interleaved rounds, warm cache"
say "Versions: $(duff -v 2>&1 | head -n 1 || true); $(fdupes --version 2>&1 || true);" \
  "$(jdupes --version 2>&1 | head -n 1 || true); $(rdfind -v 2>&1 || true);" \
  "rmlint $(rmlint --version 2>&1 | sed -n 's/^version \([^ ]*\).*/\1/p' | head -n 1 || true)"

# --- trees -------------------------------------------------------------------
version=$("$maker" --version | awk '{print $2}')
# make_tree NAME OPTIONS...: the tree DIR/NAME with its .summary and .groups.
make_tree() {
  local name=$1 tree=$dir/$1
  shift
  if [ ! -s "$tree.summary" ]; then
    # No summary means no finished tree: start again from nothing.
    rm -rf "$tree" "$tree.groups"
    say "Generating $tree ..."
    "$maker" "$@" --groups "$work/groups" "$tree" >"$work/summary"
    mv "$work/groups" "$tree.groups"
    mv "$work/summary" "$tree.summary"
  elif [ ! -e "$tree.groups" ]; then
    # A tree of the scan benchmark: the same options plan the same files.
    "$maker" "$@" --dry-run --groups "$work/groups" "$tree" >/dev/null
    mv "$work/groups" "$tree.groups"
  fi
  if [ ! -s "$tree.samesize.count" ]; then
    "$python" "$helper" same-size "$tree" "$work/samesize" >"$work/samesize.count"
    mv "$work/samesize" "$tree.samesize"
    mv "$work/samesize.count" "$tree.samesize.count"
  fi
}
trees=()
for n in ${sizes//,/ }; do
  make_tree "tree-v$version-$n-s$seed" --files "$n" --seed "$seed"
  trees+=("tree-v$version-$n-s$seed")
done
if [ "$large" -eq 1 ]; then
  # Seed 5 gives two same-size groups of five, each with a near-copy.
  make_tree "tree-v$version-large20-s5" --files 20 --seed 5 --min-size 50M --max-size 300M \
    --max-total 4G
  trees+=("tree-v$version-large20-s5")
fi

results=$out/results.tsv
: >"$results"
cd "$work" # rdfind and rmlint write their answers into the working folder

for name in "${trees[@]}"; do
  tree=$dir/$name
  q_tree=$(printf '%q' "$tree")
  q_list=$(printf '%q' "$tree.samesize")
  value() { sed -n "s/^$1: //p" "$tree.summary" | head -n 1; }
  read -r same_files same_bytes <"$tree.samesize.count"
  say ""
  say "Tree $tree"
  say "  files $(value files), bytes $(value bytes), zero-size $(value 'zero-size files')," \
    "same-size files $same_files ($same_bytes bytes), same-content groups $(value 'same-content groups')"

  # Contents and metadata into the cache, twice.
  for _ in 1 2; do
    find "$tree" -type f -print0 | xargs -0 cat >/dev/null
  done

  # label | package | command | answer file ('-' for stdout) | answer format
  tools=(
    "vardex-cli find --compare|vardex|$(printf '%q' "$cli") find --quiet --compare --view content --no-protect-hidden --format json $q_tree|-|vardex"
    "duff -r -a -z|duff|duff -r -a -z -q -0 -f '#' $q_tree|-|duff"
    "fdupes -r -n|fdupes|fdupes -r -n -q $q_tree|-|lines"
    "jdupes -r|jdupes|jdupes -r -q -0 $q_tree|-|nul"
    "rdfind|rdfind|rdfind -outputname rdfind.txt $q_tree|rdfind.txt|rdfind"
    "rmlint -T df --hidden|rmlint|rmlint -T df --hidden -o fdupes:rmlint.txt $q_tree|rmlint.txt|lines"
  )
  timed=()
  for spec in "${tools[@]}"; do
    IFS='|' read -r label package command answer format <<<"$spec"
    program=${command%% *}
    if [ "$package" != vardex ] && ! have "$program"; then
      printf '%s\t%s\t\t-\t-\t-\tnot installed (apt-get install %s)\n' "$name" "$label" "$package" >>"$results"
      continue
    fi
    # The answer run: peak memory and the groups.
    status=0
    eval "/usr/bin/time -f %M -o peak.txt $command" >"$package.stdout" 2>"$package.stderr" || status=$?
    peak=$(tail -n 1 peak.txt)
    if [ "$answer" = - ]; then answer=$package.stdout; fi
    cp "$answer" "$out/$name.$package.answer"
    if [ "$status" -ne 0 ]; then
      printf '%s\t%s\t\t%s\t-\t-\tfailed with status %s\n' "$name" "$label" "$peak" "$status" >>"$results"
      continue
    fi
    read -r groups files verdict < <("$python" "$helper" check "$tree.groups" "$tree" "$format" "$answer")
    printf '%s\n' "$label|$command|$answer|$peak|$groups|$files|$verdict" >>"$work/answers"
    timed+=("$label|$command|$answer")
  done
  timed+=("comparison alone (BM_Compare)|BM_Compare|null"
    "read floor (BM_ReadFloor)|BM_ReadFloor|null"
    "xargs -0 cat of same-size files|xargs -0 -a $q_list cat|null"
    "find -printf (walk alone)|find $q_tree -type f -printf '%s %p\n'|null")

  # Timed rounds, the order turned by one each round.
  count=${#timed[@]}
  for ((r = 0; r < rounds; r++)); do
    printf '  round %d/%d\r' $((r + 1)) "$rounds"
    for ((k = 0; k < count; k++)); do
      i=$(((k + r) % count))
      IFS='|' read -r label command answer <<<"${timed[$i]}"
      if [ "${command#BM_}" != "$command" ]; then
        # One pass over the files; the scan before it is not timed.
        VDX_BENCH_TREE=$tree "$floor_bench" --benchmark_filter="^$command/" \
          --benchmark_min_time=0.000001 --benchmark_format=json 2>/dev/null |
          "$python" -c 'import json,sys; b=json.load(sys.stdin)["benchmarks"][0]; print(b["real_time"] / 1000.0)' \
            >"time-$i-$r.s"
        continue
      fi
      # Answers on standard output go to a file, as in the answer run.
      target=/dev/null
      [ "$answer" = - ] && target=$work/timed.stdout
      hyperfine -N -i --runs 1 --style none --output "$target" --export-json "time-$i-$r.json" \
        "$command" >/dev/null 2>>hyperfine.err
      "$python" -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["times"][0])' \
        "time-$i-$r.json" >"time-$i-$r.s"
    done
  done
  printf '%*s\r' 20 ''

  for ((i = 0; i < count; i++)); do
    IFS='|' read -r label command answer <<<"${timed[$i]}"
    times=$(cat time-"$i"-*.s | paste -sd, -)
    rm -f time-"$i"-*
    line=$(awk -F'|' -v l="$label" '$1 == l { print; exit }' "$work/answers" 2>/dev/null || true)
    if [ -n "$line" ]; then
      IFS='|' read -r _ _ _ peak groups files verdict <<<"$line"
    else
      peak=- groups=- files=- verdict=reference
    fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$label" "$times" "$peak" "$groups" "$files" \
      "$verdict" >>"$results"
  done
  rm -f "$work/answers"
done

say ""
say "Medians of $rounds interleaved rounds (wall clock); peak resident memory of one run;"
say "groups and files as each tool reported them, checked against the generator's groups."
"$python" "$helper" table "$results" | tee "$out/table.txt"
say ""
say "Answers, timings (results.tsv) and this table: $out"
