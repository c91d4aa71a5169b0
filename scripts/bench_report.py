#!/usr/bin/env python3
"""Prints the medians of Google Benchmark JSON outputs as tables: each call
family's times beside its floor and SQLite with the ratios, what the lock
and the journal check cost, the per-call file operation counts of the
library and the floor, and the totals of the growth run.

Names are "<Family>/<variant>/records:<n>" (see bench/runner.h) and
"AddUsersOneByOne/adds:<n>"."""
import json
import re
import sys

NAME = re.compile(r"^(?P<family>[^/]+)/(?:(?P<variant>[a-z_]+)/)?"
                  r"(?:records|adds):(?P<n>\d+)")
COUNTS = ["cfg_opens", "cfg_reads", "cfg_writes", "cfg_read_B",
          "cfg_written_B", "cfg_syncs", "cfg_fstats", "cfg_locks",
          "jnl_stats", "jnl_opens", "jnl_writes", "jnl_written_B",
          "jnl_syncs", "jnl_truncates"]
TO_MICROS = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}


def load(paths):
    """{(family, variant, n): entry}, the median where there are several
    repetitions, the run itself where there is one."""
    found = {}
    for path in paths:
        with open(path) as f:
            for entry in json.load(f)["benchmarks"]:
                aggregate = entry.get("aggregate_name")
                if aggregate not in (None, "median"):
                    continue
                match = NAME.match(entry["run_name"])
                if not match or entry.get("error_occurred"):
                    continue
                key = (match["family"], match["variant"] or "library",
                       int(match["n"]))
                if aggregate == "median" or key not in found:
                    entry["us"] = entry["real_time"] * TO_MICROS[
                        entry["time_unit"]]
                    found[key] = entry
    return found


def micros(value):
    return f"{value:10.1f}" if value is not None else f"{'-':>10}"


def ratio(a, b):
    return f"{a / b:7.2f}x" if a is not None and b else f"{'-':>8}"


def families(found):
    order = []
    for family, _, _ in found:
        if family not in order and family != "AddUsersOneByOne":
            order.append(family)
    return order


def time_tables(found):
    def us(family, variant, n):
        entry = found.get((family, variant, n))
        return entry["us"] if entry else None

    print("Medians of wall-clock time per call, in microseconds; ratios are "
          "the library's time over the other's.\n")
    for family in families(found):
        sizes = sorted({n for f, v, n in found if f == family})
        print(f"{family}")
        print(f"  {'records':>8} {'library':>10} {'floor':>10} {'/floor':>8}"
              f" {'sqlite/call':>11} {'/sqlite':>8} {'sqlite_kept':>11}"
              f" {'/kept':>8}")
        for n in sizes:
            lib = us(family, "library", n)
            floor = us(family, "floor", n)
            per_call = us(family, "sqlite_per_call", n)
            kept = us(family, "sqlite_kept", n)
            print(f"  {n:>8} {micros(lib)} {micros(floor)} {ratio(lib, floor)}"
                  f" {micros(per_call):>11} {ratio(lib, per_call)}"
                  f" {micros(kept):>11} {ratio(lib, kept)}")
        print()

    guards = [(f, n) for f, v, n in found if v == "library_passthrough"]
    if not guards:
        return
    print("What the guards cost a read-only call: the same call with and "
          "without each (microseconds; share of the call with both).\n")
    print(f"  {'call':<10} {'records':>8} {'with both':>10} {'no lock':>10}"
          f" {'lock':>8} {'share':>7} {'no jcheck':>10} {'jcheck':>8}"
          f" {'share':>7}")
    for family, n in sorted(set(guards)):
        for kept, lock_off, check_off, label in (
                ("library_passthrough", "library_no_lock",
                 "library_no_journal_check", family),
                ("floor", "floor_no_lock", "floor_no_journal_check",
                 "  floor")):
            both = us(family, kept, n)
            no_lock = us(family, lock_off, n)
            no_check = us(family, check_off, n)
            if None in (both, no_lock, no_check):
                continue
            print(f"  {label:<10} {n:>8} {micros(both)} {micros(no_lock)}"
                  f" {both - no_lock:8.2f} {(both - no_lock) / both:7.1%}"
                  f" {micros(no_check)} {both - no_check:8.2f}"
                  f" {(both - no_check) / both:7.1%}")
    print()


def count_tables(found):
    print("File operations per call (cfg: the configuration file, jnl: its "
          "journal; B: bytes).\n")
    shown = [c for c in COUNTS
             if any(c in e for e in found.values())]
    print(f"  {'call':<15} {'records':>7} {'variant':<8} "
          + " ".join(f"{c:>{max(7, len(c))}}" for c in shown))
    for family in families(found):
        for n in sorted({n for f, v, n in found if f == family}):
            for variant in ("library", "floor"):
                entry = found.get((family, variant, n))
                if entry is None:
                    continue
                cells = " ".join(f"{entry.get(c, 0):>{max(7, len(c))}.0f}"
                                 for c in shown)
                print(f"  {family:<15} {n:>7} {variant:<8} {cells}")
    print()


def growth_table(found):
    runs = sorted((n, e) for (f, _, n), e in found.items()
                  if f == "AddUsersOneByOne")
    if not runs:
        return
    mb = 1e6
    print("Adding users one by one to the default file with 100 privilege "
          "values and 20 option groups (one run each).\n")
    print(f"  {'adds':>6} {'time s':>8} {'ms/add':>7} {'cfg MB':>9}"
          f" {'least MB':>9} {'jnl MB':>9} {'total MB':>9}")
    for n, e in runs:
        print(f"  {n:>6} {e['us'] / 1e6:8.2f} {e['us'] / 1e3 / n:7.2f}"
              f" {e['cfg_written_B'] / mb:9.2f} {e['cfg_bound_B'] / mb:9.2f}"
              f" {e['jnl_written_B'] / mb:9.2f} {e['all_written_B'] / mb:9.2f}")
    print()


def main(paths):
    found = load(paths)
    time_tables(found)
    count_tables(found)
    growth_table(found)


if __name__ == "__main__":
    main(sys.argv[1:])
