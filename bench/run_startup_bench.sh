#!/usr/bin/env bash
# Start-up of the desktop program with a large settings file: 500 stored
# search sets of 4 paths each, a current set of 20 paths and every history
# list at 100 entries. Prints the time from the start to the main window's
# first shown event for each of several runs (offscreen platform, or the
# display given). The settings home is a temporary folder.
#   bench/run_startup_bench.sh [path/to/vardex] [runs]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
vardex=${1:-$root/build/release/ui/vardex}
runs=${2:-5}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/.config/Quillborne/QVD"
python3 - "$home/.config/Quillborne/QVD/QVD.ini" <<'PY'
import sys
out = []
def section(name, keys):
    out.append("[%s]" % name)
    out.extend("%s=%s" % kv for kv in keys)
    out.append("")
def path_keys(path):
    return [("SearchPath", path), ("bSubFolders", 1), ("FLT_Include", "*.txt;*.doc"),
            ("FLT_Exclude", "*.tmp"), ("FLT_bUseExclude", 1), ("FLT_bUseDate", 0),
            ("FLT_bUseSize", 1), ("FLT_bUseAttr", 0), ("FLT_DateTimeA", "45000.5"),
            ("FLT_DateTimeB", "45100.5"), ("FLT_DatePos", 0), ("FLT_SizeA", 10),
            ("FLT_SizeB", 0), ("FLT_SizeDegreeA", 1), ("FLT_SizeDegreeB", 0),
            ("FLT_SizePos", 0), ("FLT_Attr_IncMask", 0), ("FLT_Attr_ExcMask", 0),
            ("FolderFilterCount", 2), ("FolderFilter_1", path + "/cache"),
            ("FolderFilter_2", path + "/tmp")]
section("HistorySection", [("MaxHistoryItems", 100)])
def history(name, count_key, prefix, make):
    keys = [(count_key, 100)] + [("%s%d" % (prefix, i), make(i)) for i in range(1, 101)]
    section(name, keys)
history("SearchPathHistory", "SearchPathCount", "SearchPath_", lambda i: "/home/user/folder%03d" % i)
history("CopyPathHistory", "CopyPathCount", "CopyPath_", lambda i: "/media/backup/copy%03d" % i)
history("FileFilterIncHistory", "FileFilterCount", "FileFilter_", lambda i: "*.ext%03d" % i)
history("FileFilterExcHistory", "FileFilterCount", "FileFilter_", lambda i: "*.bak%03d" % i)
section("CurrentSetSection", [("CurrentSetCount", 20)])
for n in range(1, 21):
    section("CurrentSearchData_%d" % n, path_keys("/home/user/current%02d" % n))
section("SetStoreSection", [("SetStoreCount", 500)])
for s in range(1, 501):
    section("StoreSet_%d" % s, [("SetName", "Stored set %03d" % s), ("PathCount", 4)])
    for p in range(1, 5):
        section("StoreSet_%d_%d" % (s, p), path_keys("/data/set%03d/path%d" % (s, p)))
open(sys.argv[1], "w").write("\n".join(out))
PY
echo "settings file: $(wc -c <"$home/.config/Quillborne/QVD/QVD.ini") bytes"
platform=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
fi
for i in $(seq "$runs"); do
  # A copy each run: closing the window writes the settings back.
  cp "$home/.config/Quillborne/QVD/QVD.ini" "$home/QVD.ini.keep"
  HOME="$home" XDG_CONFIG_HOME="$home/.config" VDX_STARTUP_PROBE=1 "$vardex" 2>&1 |
    grep 'main window shown'
  cp "$home/QVD.ini.keep" "$home/.config/Quillborne/QVD/QVD.ini"
done
