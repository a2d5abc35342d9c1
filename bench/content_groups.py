#!/usr/bin/env python3
"""Reads the answers of duplicate finders as groups of paths for run_content_bench.sh.

    content_groups.py check TRUTH ROOT FORMAT OUTPUT   prints "GROUPS FILES VERDICT"
    content_groups.py same-size ROOT LIST             writes the same-size files, NUL-ended
    content_groups.py table RESULTS                   prints the results table

Paths are handled as raw bytes throughout, so names that are not UTF-8 compare
as they are on disk. TRUTH is the --groups file of vdx-make-tree: paths
relative to the tree, one a line, a blank line after each group. FORMAT names
how OUTPUT is laid out:

    lines     one path a line, groups split by blank lines (fdupes, rmlint -o fdupes)
    nul       one path per NUL, groups split by an empty entry (jdupes -0)
    duff      duff -0 -f '#': a '#' entry opens each group
    rdfind    rdfind's results file: the id column, negative for the copies
    vardex    vardex-cli find --format json: \\uDCxx stands for a raw byte
"""

import json
import os
import statistics
import sys


def split_groups(entries):
    """Groups of the entries between empty entries."""
    groups, current = [], []
    for entry in entries:
        if entry:
            current.append(entry)
        elif current:
            groups.append(current)
            current = []
    if current:
        groups.append(current)
    return groups


def read_groups(fmt, data):
    if fmt == "lines":
        return split_groups(data.split(b"\n"))
    if fmt == "nul":
        return split_groups(data.split(b"\0"))
    if fmt == "duff":
        return split_groups(b"" if e == b"#" else e for e in data.split(b"\0"))
    if fmt == "rdfind":
        by_id = {}
        for line in data.split(b"\n"):
            if not line or line.startswith(b"#"):
                continue
            # duptype id depth size device inode priority name: the name may hold spaces.
            fields = line.split(b" ", 7)
            by_id.setdefault(abs(int(fields[1])), []).append(fields[7])
        return list(by_id.values())
    if fmt == "vardex":
        # surrogateescape turns the \uDCxx of a name back into its raw byte.
        view = json.loads(data.decode("utf-8", "surrogateescape"))
        return [[os.fsencode(p) for p in g["files"]] for g in view["groups"]]
    raise SystemExit(f"content_groups: unknown format {fmt}")


def relative(groups, root):
    prefix = os.fsencode(root).rstrip(b"/") + b"/"
    out = []
    for group in groups:
        paths = []
        for path in group:
            if path.startswith(b"./"):
                path = path[2:]
            paths.append(path[len(prefix):] if path.startswith(prefix) else path)
        out.append(frozenset(paths))
    return out


def shown(path):
    return path.decode("utf-8", "backslashreplace")


def check(truth_file, root, fmt, output):
    with open(truth_file, "rb") as f:
        truth = set(frozenset(g) for g in split_groups(f.read().split(b"\n")))
    try:
        with open(output, "rb") as f:
            found_list = relative(read_groups(fmt, f.read()), root)
    except (OSError, ValueError, IndexError, KeyError) as error:
        print(f"0 0 unreadable ({type(error).__name__})")
        return
    found = set(found_list)
    files = sum(len(g) for g in found_list)
    if found == truth and len(found_list) == len(found):
        print(f"{len(found_list)} {files} correct")
        return
    missing = truth - found
    extra = found - truth
    note = f"wrong: {len(missing)} groups missed, {len(extra)} not true"
    sample = next(iter(sorted(missing, key=sorted)), None) or next(iter(sorted(extra, key=sorted)), None)
    if sample is not None:
        note += f"; e.g. {'missed' if missing else 'extra'} [{', '.join(shown(p) for p in sorted(sample)[:3])}]"
    print(f"{len(found_list)} {files} {note}")


def same_size(root, list_file):
    """Every regular file above 0 bytes whose size another file shares, hidden ones too."""
    by_size = {}
    for folder, _dirs, names in os.walk(os.fsencode(root)):
        for name in names:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            if st.st_size > 0 and (st.st_mode & 0o170000) == 0o100000:
                by_size.setdefault(st.st_size, []).append(path)
    count = total = 0
    with open(list_file, "wb") as out:
        for size in sorted(by_size):
            paths = by_size[size]
            if len(paths) < 2:
                continue
            for path in paths:
                out.write(path + b"\0")
            count += len(paths)
            total += size * len(paths)
    print(f"{count} {total}")


def table(results_file):
    """RESULTS: tab-separated tree, tool, times in s (comma-separated), peak KiB, groups,
    files, verdict. Ratios are against vardex-cli and the read floor of the same tree."""
    rows = []
    with open(results_file, encoding="utf-8") as f:
        for line in f:
            tree, tool, times, peak, groups, files, verdict = line.rstrip("\n").split("\t")
            samples = [float(t) for t in times.split(",") if t]
            median = statistics.median(samples) if samples else None
            rows.append((tree, tool, samples, median, peak, groups, files, verdict))
    trees = []
    for row in rows:
        if row[0] not in trees:
            trees.append(row[0])
    for tree in trees:
        mine = [r for r in rows if r[0] == tree]
        vardex = next((r[3] for r in mine if r[1].startswith("vardex")), None)
        floor = next((r[3] for r in mine if r[1].startswith("read floor")), None)
        print(f"\nTree {tree}")
        print(f"  {'tool':<34} {'median s':>9} {'min-max s':>13} {'/vardex':>8} {'/floor':>7}"
              f" {'peak MiB':>9} {'groups':>7} {'files':>7}  result")
        for _, tool, samples, median, peak, groups, files, verdict in mine:
            if median is None:
                print(f"  {tool:<34} {'-':>9} {'':>13} {'':>8} {'':>7} {'':>9} {'':>7} {'':>7}  {verdict}")
                continue
            spread = f"{min(samples):.3f}-{max(samples):.3f}"
            to_vardex = f"{median / vardex:.2f}" if vardex else "-"
            to_floor = f"{median / floor:.2f}" if floor else "-"
            peak_text = f"{int(peak) / 1024:.1f}" if peak.isdigit() else "-"
            print(f"  {tool:<34} {median:>9.3f} {spread:>13} {to_vardex:>8} {to_floor:>7}"
                  f" {peak_text:>9} {groups:>7} {files:>7}  {verdict}")
        peers = [r for r in mine if not r[1].startswith("vardex") and r[7] not in ("floor", "reference") and r[3]]
        walk = next((r[3] for r in mine if r[1].startswith("find")), None)
        mine_row = next((r for r in mine if r[1].startswith("vardex")), None)
        alone = next((r[3] for r in mine if r[1].startswith("comparison alone")), None)
        if vardex and peers and mine_row:
            fastest = min(peers, key=lambda r: r[3])
            slimmest = min((r for r in peers if r[4].isdigit()), key=lambda r: int(r[4]), default=None)
            print(f"  goal: faster than every peer: {'yes' if vardex < fastest[3] else 'no'}"
                  f" (fastest peer {fastest[1]}, {fastest[3] / vardex:.2f}x vardex's time)")
            if floor:
                print(f"        vardex / read floor {vardex / floor:.2f} (goal 1.3)"
                      + (f", vardex / (walk + read floor) {vardex / (walk + floor):.2f}" if walk else "")
                      + (f", comparison alone / read floor {alone / floor:.2f}" if alone else ""))
            if slimmest and mine_row[4].isdigit():
                print(f"        peak below every peer: {'yes' if int(mine_row[4]) < int(slimmest[4]) else 'no'}"
                      f" (lowest peer {slimmest[1]}, {int(slimmest[4]) / 1024:.1f} MiB)")


def main(argv):
    if len(argv) == 5 and argv[0] == "check":
        check(*argv[1:])
    elif len(argv) == 3 and argv[0] == "same-size":
        same_size(argv[1], argv[2])
    elif len(argv) == 2 and argv[0] == "table":
        table(argv[1])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
