#!/usr/bin/env bash
# Times a scan of a generated tree against the walk-and-stat floor of find(1).
#
#   bench/run_scan_bench.sh [OPTIONS] [N] [DIR]
#
# N files (default 200000) are generated once under DIR (default /tmp/vdx-bench),
# cached by the generator's layout version, N and seed. With a warm cache the
# script times, in the same run:
#   find TREE -type f -printf '%s %p\n'           the floor: walk and stat, nothing else
#   vardex-cli find --quiet --view size TREE      scan and group by size
# and reports the mean times, the ratio vardex/find, and vardex's peak memory
# and bytes per file. With --peers it also times other duplicate finders that
# are installed (fdupes, jdupes, rdfind) and vardex's content comparison; that
# part only reports, it never fails the run.
#
# Options:
#   --runs R        timed runs of each command (default 5)
#   --peer-runs R   timed runs of each peer command (default 2)
#   --seed S        seed of the generated tree (default 1)
#   --peers         add the peer comparison
#   --no-install    never apt-get install hyperfine (fall back to a shell loop)
#   --no-build      use the programs already built
#   --cli PATH      the vardex-cli to time (default build/release/cli/vardex-cli)
#   --loop          time with a shell loop even where hyperfine is installed
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=5
peer_runs=2
seed=1
peers=0
install=1
build=1
loop=0
cli=$root/build/release/cli/vardex-cli
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=${2:?--runs needs a number}; shift 2 ;;
    --peer-runs) peer_runs=${2:?--peer-runs needs a number}; shift 2 ;;
    --seed) seed=${2:?--seed needs a number}; shift 2 ;;
    --peers) peers=1; shift ;;
    --no-install) install=0; shift ;;
    --no-build) build=0; shift ;;
    --cli) cli=${2:?--cli needs a path}; shift 2 ;;
    --loop) loop=1; shift ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "run_scan_bench: unknown option $1" >&2; exit 2 ;;
    *) positional+=("$1"); shift ;;
  esac
done
files=${positional[0]:-200000}
dir=${positional[1]:-/tmp/vdx-bench}
for n in "$files" "$runs" "$peer_runs" "$seed"; do
  case "$n" in ''|*[!0-9]*) echo "run_scan_bench: '$n' is not a whole number" >&2; exit 2 ;; esac
done
if [ "$runs" -lt 1 ] || [ "$peer_runs" -lt 1 ] || [ "$files" -lt 1 ]; then
  echo "run_scan_bench: N and the run counts must be at least 1" >&2
  exit 2
fi

say() { printf '%s\n' "$*"; }
log=$(mktemp -d /tmp/vdx-scan-bench.XXXXXX)
trap 'rm -rf "$log"' EXIT

# --- build -------------------------------------------------------------------
maker=$root/build/bench/bench/vdx-make-tree
if [ "$build" -eq 1 ]; then
  # A whole flavour is built as asked; when something unrelated in it does not
  # build, the one program this script needs is enough to go on with.
  for pair in release:vardex-cli bench:vdx-make-tree; do
    flavour=${pair%%:*} target=${pair#*:}
    if ! "$root/scripts/build" "$flavour" >"$log/build-$flavour.txt" 2>&1; then
      if cmake --build "$root/build/$flavour" --target "$target" -- -j"$(nproc)" \
        >>"$log/build-$flavour.txt" 2>&1; then
        say "warning: scripts/build $flavour failed; built $target alone. Last lines:"
        grep -m 5 -E 'error|FAILED' "$log/build-$flavour.txt" | sed 's/^/  /' || true
      else
        tail -n 30 "$log/build-$flavour.txt" >&2
        echo "run_scan_bench: scripts/build $flavour failed" >&2
        exit 1
      fi
    fi
  done
fi
[ -x "$maker" ] || { echo "run_scan_bench: $maker is missing (run scripts/build bench)" >&2; exit 1; }

# --- tree --------------------------------------------------------------------
version=$("$maker" --version | awk '{print $2}')
tree=$dir/tree-v$version-$files-s$seed
summary=$tree.summary
mkdir -p "$dir"
if [ ! -s "$summary" ]; then
  # No summary means no finished tree: start again from nothing.
  rm -rf "$tree"
  say "Generating $files files under $tree ..."
  "$maker" --files "$files" --seed "$seed" "$tree" >"$log/summary.txt"
  mv "$log/summary.txt" "$summary"
fi
value() { sed -n "s/^$1: //p" "$summary" | head -n 1; }
say "Tree: $tree"
say "  files $(value files), folders $(value folders | sed 's/ (.*//'), bytes $(value bytes)"
say "  same-size groups $(value 'same-size groups' | sed 's/;.*)/)/'), generated in $(value seconds) s"

# --- timer -------------------------------------------------------------------
have() { command -v "$1" >/dev/null 2>&1; }
if [ "$loop" -eq 1 ]; then
  have() { [ "$1" != hyperfine ] && command -v "$1" >/dev/null 2>&1; }
elif ! have hyperfine && [ "$install" -eq 1 ]; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || { have sudo && sudo=(sudo -n); }
  if [ "$(id -u)" -eq 0 ] || [ ${#sudo[@]} -gt 0 ]; then
    say "Installing hyperfine ..."
    { DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq hyperfine ||
      { "${sudo[@]}" apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq hyperfine; }
    } >"$log/apt.txt" 2>&1 || say "  (could not install hyperfine; timing with a shell loop)"
  fi
fi
if have hyperfine; then
  say "Timer: $(hyperfine --version), warm cache"
else
  say "Timer: shell loop with date +%s.%N, warm cache"
fi

# time_command LABEL RUNS COMMAND: prints "mean stddev" in seconds, or "fail"
# when the command exited non-zero on its trial run (its status is kept in
# $log/LABEL.status).
time_command() {
  local label=$1 count=$2 command=$3 status=0
  bash -c "$command" >/dev/null 2>"$log/$label.err" || status=$?
  echo "$status" >"$log/$label.status"
  if [ "$status" -ne 0 ]; then
    echo fail
    return
  fi
  if have hyperfine; then
    hyperfine --shell bash --style none --runs "$count" --export-csv "$log/$label.csv" \
      "$command" >/dev/null 2>"$log/$label.err" || { echo fail; return; }
    awk -F, 'NR == 2 { printf "%.4f %.4f\n", $2, $3 }' "$log/$label.csv"
  else
    local i start end
    for ((i = 0; i < count; i++)); do
      start=$(date +%s.%N)
      eval "$command" >/dev/null 2>&1 || true
      end=$(date +%s.%N)
      echo "$start $end"
    done | awk '{ t = $2 - $1; s += t; q += t * t; n++ }
                END { m = s / n; v = n > 1 ? (q - n * m * m) / (n - 1) : 0;
                      printf "%.4f %.4f\n", m, (v > 0 ? sqrt(v) : 0) }'
  fi
}

# peak_kb COMMAND: the peak resident size in KiB of one run.
peak_kb() {
  /usr/bin/time -f %M -o "$log/peak.txt" bash -c "exec $1" >/dev/null 2>&1 || true
  tail -n 1 "$log/peak.txt"
}

row() { printf '  %-44s %s\n' "$1" "$2"; }
shown() { # "mean stddev" -> "1.234 s ± 0.010"
  if [ "$1" = fail ]; then echo "failed"; else awk '{ printf "%.3f s ± %.3f\n", $1, $2 }' <<<"$1"; fi
}

q_tree=$(printf '%q' "$tree")
q_cli=$(printf '%q' "$cli")

# --- warm-up -----------------------------------------------------------------
find "$tree" -type f -printf '%s %p\n' >/dev/null
find "$tree" -type f -printf '%s %p\n' >/dev/null

# --- scan --------------------------------------------------------------------
say ""
say "Scan, timed runs each: $runs"
floor=$(time_command floor "$runs" "find $q_tree -type f -printf '%s %p\n'")
row "find -type f -printf '%s %p\\n' (floor)" "$(shown "$floor")"

cli_find=0
if [ -x "$cli" ] && "$cli" find --help >/dev/null 2>&1; then
  cli_find=1
fi
if [ "$cli_find" -eq 1 ]; then
  scan=$(time_command scan "$runs" "$q_cli find --quiet --view size $q_tree")
  row "vardex-cli find --quiet --view size" "$(shown "$scan")"
  if [ "$scan" = fail ]; then
    say "  vardex-cli find exited with status $(cat "$log/scan.status"):"
    sed 's/^/    /' "$log/scan.err" | tail -n 5
  else
    row "ratio vardex/find" "$(awk -v a="${scan%% *}" -v b="${floor%% *}" \
      'BEGIN { printf "%.2f\n", (b > 0 ? a / b : 0) }')"
    base=$(peak_kb "$q_cli --version")
    peak=$(peak_kb "$q_cli find --quiet --view size $q_tree")
    row "vardex peak memory" "$peak KiB (program alone: $base KiB)"
    row "bytes per file" "$(awk -v p="$peak" -v b="$base" -v n="$files" \
      'BEGIN { printf "%.0f (above the program alone: %.0f)\n", p * 1024 / n, (p - b) * 1024 / n }')"
  fi
else
  say "  vardex-cli find: not available in this build ($cli has no 'find' command yet);"
  say "  only the floor was timed."
fi

# --- peers -------------------------------------------------------------------
if [ "$peers" -eq 1 ]; then
  say ""
  say "Peers (content comparison), timed runs each: $peer_runs"
  # Content comparison reads every byte: cache the contents too.
  find "$tree" -type f -exec cat {} + >/dev/null 2>&1 || true
  # rdfind writes results.txt into the working folder even in a dry run
  # unless told not to; run every peer from a scratch folder all the same.
  cd "$log"
  peer() { # LABEL PACKAGE PROGRAM COMMAND
    if ! have "$3"; then
      row "$1" "not installed (apt-get install $2)"
      return
    fi
    local result
    result=$(time_command "$2" "$peer_runs" "$4")
    if [ "$result" = fail ]; then
      row "$1" "failed with status $(cat "$log/$2.status")"
    else
      row "$1" "$(shown "$result"), peak $(peak_kb "$4") KiB"
    fi
  }
  peer "fdupes -r -q" fdupes fdupes "fdupes -r -q $q_tree"
  peer "jdupes -r -q" jdupes jdupes "jdupes -r -q $q_tree"
  peer "rdfind -dryrun true" rdfind rdfind "rdfind -dryrun true -makeresultsfile false $q_tree"
  if [ "$cli_find" -eq 1 ]; then
    peer "vardex-cli find --compare --view content" vardex "$cli" \
      "$q_cli find --quiet --compare --view content $q_tree"
  else
    row "vardex-cli find --compare --view content" "not available in this build"
  fi
fi
exit 0
