#!/usr/bin/env python3
"""Prints the medians of Google Benchmark JSON outputs (scripts/bench.sh) as
tables: each call family's time beside its floor and SQLite with the
ratios, what the lock and the journal check cost a read, the file
operations per call of the library and the floor, the totals of the
growth run, and the peak memory of calls on sparse files. bench/runner.h describes the counters."""
import json
import re
import sys

NAME = re.compile(r"^(?P<family>[^/]+)/(?:records|adds|slots):(?P<n>\d+)")
COUNTS = ["cfg_opens", "cfg_reads", "cfg_writes", "cfg_read_B",
          "cfg_written_B", "cfg_syncs", "cfg_fstats", "cfg_locks",
          "jnl_stats", "jnl_opens", "jnl_writes", "jnl_written_B",
          "jnl_syncs", "jnl_truncates"]
GROWTH = "AddUsersOneByOne"


def load(paths):
    """{(family, n): entry}: the median of the repetitions where there are
    several, the run itself where there is one."""
    found = {}
    for path in paths:
        with open(path) as f:
            text = f.read()
        # A program none of whose benchmarks the filter chose writes nothing.
        if not text.strip():
            continue
        for entry in json.loads(text)["benchmarks"]:
            aggregate = entry.get("aggregate_name")
            match = NAME.match(entry["run_name"])
            if (aggregate not in (None, "median") or not match
                    or entry.get("error_occurred")):
                continue
            key = (match["family"], int(match["n"]))
            if aggregate == "median" or key not in found:
                found[key] = entry
    return found


def cell(entry, name, width=10, digits=1):
    value = entry.get(name)
    return f"{value:{width}.{digits}f}" if value is not None else f"{'-':>{width}}"


def ratio(entry, name):
    value = entry.get(name)
    return f"{value:7.2f}x" if value is not None else f"{'-':>8}"


def families(found, memory=False):
    """The call families in the order found: those of the memory benchmark
    (which report "peak_MiB") or the others, never the growth run."""
    order = []
    for (family, _), e in found.items():
        if (family not in order and family != GROWTH
                and ("peak_MiB" in e) == memory):
            order.append(family)
    return order


def sizes(found, family):
    return sorted(n for f, n in found if f == family)


def time_tables(found):
    print("Median wall-clock time per call (microseconds) and the median "
          "ratio of the library's\ntime to each other's, calls made side by "
          "side.\n")
    print(f"  {'call':<15} {'records':>7} {'library':>10} {'floor':>10}"
          f" {'/floor':>8} {'sqlite/call':>11} {'/sqlite':>8}"
          f" {'sqlite kept':>11} {'/kept':>8}")
    for family in families(found):
        for n in sizes(found, family):
            e = found[(family, n)]
            print(f"  {family:<15} {n:>7} {cell(e, 'library_us')}"
                  f" {cell(e, 'floor_us')} {ratio(e, 'x_floor')}"
                  f" {cell(e, 'sqlite_per_call_us', 11)}"
                  f" {ratio(e, 'x_sqlite_per_call')}"
                  f" {cell(e, 'sqlite_kept_us', 11)}"
                  f" {ratio(e, 'x_sqlite_kept')}")
    print()


def guard_table(found):
    rows = [(f, n) for (f, n), e in found.items() if "lock_us" in e]
    if not rows:
        return
    print("What the guards cost a read-only call: the median difference each "
          "makes (microseconds),\nand its share of the call with both (the "
          "library through the pass-through Env).\n")
    print(f"  {'call':<10} {'records':>7} {'':<8} {'with both':>10}"
          f" {'lock':>8} {'share':>7} {'journal check':>14} {'share':>7}")
    for family, n in sorted(rows):
        e = found[(family, n)]
        for label, prefix, base in (("library", "", "passthrough_us"),
                                    ("floor", "floor_", "floor_us")):
            both = e[base]
            lock, check = e[prefix + "lock_us"], e[prefix + "jcheck_us"]
            print(f"  {family:<10} {n:>7} {label:<8} {both:10.2f}"
                  f" {lock:8.2f} {lock / both:7.1%} {check:14.2f}"
                  f" {check / both:7.1%}")
    print()


def count_table(found):
    print("File operations per call (cfg: the configuration file, jnl: its "
          "journal; B: bytes).\n")
    shown = [c for c in COUNTS
             if any(c in e or "floor_" + c in e for e in found.values())]
    width = {c: max(6, len(c)) for c in shown}
    print(f"  {'call':<15} {'records':>7} {'':<7} "
          + " ".join(f"{c:>{width[c]}}" for c in shown))
    for family in families(found):
        for n in sizes(found, family):
            e = found[(family, n)]
            for label, prefix in (("library", ""), ("floor", "floor_")):
                cells = " ".join(f"{e.get(prefix + c, 0):>{width[c]}.0f}"
                                 for c in shown)
                print(f"  {family:<15} {n:>7} {label:<7} {cells}")
    print()


def growth_table(found):
    runs = [(n, found[(GROWTH, n)]) for n in sizes(found, GROWTH)]
    if not runs:
        return
    mb = 1e6
    print("Adding users one by one to the default file with 100 privilege "
          "values and 20 option\ngroups (one run each; least: what the "
          "format's growth rule makes the file take).\n")
    print(f"  {'adds':>6} {'time s':>8} {'ms/add':>7} {'cfg MB':>9}"
          f" {'least MB':>9} {'jnl MB':>9} {'total MB':>9}")
    for n, e in runs:
        seconds = e["real_time"] / 1e3  # reported in milliseconds
        print(f"  {n:>6} {seconds:8.2f} {seconds * 1e3 / n:7.2f}"
              f" {e['cfg_written_B'] / mb:9.2f} {e['cfg_bound_B'] / mb:9.2f}"
              f" {e['jnl_written_B'] / mb:9.2f} {e['all_written_B'] / mb:9.2f}")
    print()


def memory_table(found):
    rows = families(found, memory=True)
    if not rows:
        return
    print("One call in a child process of its own, on a sparse file whose "
          "user table reserves\nthat many slots; the floor is the same call "
          "on the file reserving one (medians;\npeaks are the largest "
          "resident sets; idle: a child that makes no call).\n")
    print(f"  {'call':<15} {'slots':>9} {'ms':>8} {'floor ms':>9}"
          f" {'/floor':>8} {'peak MiB':>9} {'floor MiB':>10}"
          f" {'idle MiB':>9} {'disk MiB':>9}")
    for family in rows:
        for n in sizes(found, family):
            e = found[(family, n)]
            print(f"  {family:<15} {n:>9} {cell(e, 'lib_ms', 8, 2)}"
                  f" {cell(e, 'floor_ms', 9, 2)} {ratio(e, 'x_floor')}"
                  f" {cell(e, 'peak_MiB', 9)} {cell(e, 'floor_peak_MiB', 10)}"
                  f" {cell(e, 'idle_peak_MiB', 9)} {cell(e, 'disk_MiB', 9, 2)}")
    print()


def main(paths):
    found = load(paths)
    time_tables(found)
    guard_table(found)
    count_table(found)
    growth_table(found)
    memory_table(found)


if __name__ == "__main__":
    main(sys.argv[1:])
