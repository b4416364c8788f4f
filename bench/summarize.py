#!/usr/bin/env python3
"""Prints the figures of one vellum_bench run (its --benchmark_out JSON) as the
Markdown tables of docs/performance.md, each figure beside its
ceiling or floor from the same run. With repetitions, medians are used.

    bench/summarize.py run.json [before.json]

With a second file (an earlier run, e.g. of the code before a change), a
column "before" is added to the tables for comparison.
"""
import json
import re
import sys


def load(path):
    with open(path) as f:
        data = json.load(f)
    runs = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        name = re.sub(r"/(iterations:\d+|real_time|manual_time)", "", b.get("run_name", b["name"]))
        if b.get("run_type") == "aggregate" or name not in runs:
            runs[name] = b
    return data.get("context", {}), runs


class Figures:
    def __init__(self, runs):
        self.runs = runs

    def get(self, name, field):
        run = self.runs.get(name)
        if run is None or field not in run:
            return None
        return float(run[field])

    def us_per_item(self, name):
        rate = self.get(name, "items_per_second")
        return None if not rate else 1e6 / rate

    def ms(self, name):
        run = self.runs.get(name)
        if run is None:
            return None
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[run.get("time_unit", "ns")]
        return float(run["real_time"]) * scale


def fmt(value, digits=1):
    if value is None:
        return "n/a"
    if abs(value) >= 10000:
        return f"{value:,.0f}"
    return f"{value:.{digits}f}"


def ratio(a, b):
    return "n/a" if a is None or not b else f"{a / b:.2f}x"


def times(value):
    return "n/a" if value is None else f"{value:.2f}x"


def table(header, rows, before=None):
    cols = header + (["before"] if before is not None else [])
    out = ["| " + " | ".join(cols) + " |", "|" + "---|" * len(cols)]
    for i, row in enumerate(rows):
        cells = list(row)
        if before is not None:
            cells.append(before[i])
        out.append("| " + " | ".join(cells) + " |")
    return "\n".join(out)


def batch_rows(f):
    rows = []
    for mode in ("fresh", "refresh"):
        sql = f"SqlPerTrack/{mode}"
        rows.append([
            f"batch add, {mode}",
            fmt(f.get(f"BatchAdd/{mode}", "items_per_second"), 0) + " tracks/s",
            fmt(f.get(f"BatchAddSplit/{mode}", "probe_us")) + " µs",
            fmt(f.get(f"BatchAddSplit/{mode}", "sql_us")) + " µs",
            fmt(f.get(sql, "path_us")) + " µs",
            fmt(f.get(sql, "floor_us")) + " µs (" + times(f.get(sql, "path_per_floor")) + ")",
            fmt(f.get(sql, "prepared_us")) + " µs (" + times(f.get(sql, "path_per_prepared")) + ")",
        ])
    return rows


def per_second(us):
    return None if not us else 1e6 / us


def lookup_rows(f):
    name = "LookupPerRecord"
    return [["GetRecord, 100,000 rows", fmt(per_second(f.get(name, "get_us")), 0) + " records/s",
             fmt(per_second(f.get(name, "floor_us")), 0) + " records/s (" + times(f.get(name, "get_per_floor")) + ")",
             fmt(per_second(f.get(name, "prepared_us")), 0) + " records/s ("
             + times(f.get(name, "get_per_prepared")) + ")"]]


def scan_rows(f):
    purge, collect = "PurgeScan", "CollectSelection"
    c10, walk = f.get(collect, "ms_10k"), f.ms("CollectWalkPerRow/10000")
    return [
        ["purge scan, 100,000 rows (warm)",
         fmt(f.get(purge, "cached_ms")) + " ms, " + fmt(f.get(purge, "cached_tests"), 0) + " disk tests",
         "every row tested: " + fmt(f.get(purge, "every_row_ms")) + " ms, "
         + fmt(f.get(purge, "every_row_tests"), 0) + " tests",
         "every row / cached: " + times(f.get(purge, "every_row_per_cached"))],
        ["collect 10,000 / 100,000 selected", fmt(c10, 2) + " ms / " + fmt(f.get(collect, "ms_100k"), 2) + " ms",
         "100k / 10k: " + times(f.get(collect, "ratio_100k_10k")) + " (chain steps per entry "
         + fmt(f.get(collect, "steps_per_entry"), 2) + ")",
         "walk from the first entry per row, 10k: " + fmt(walk) + " ms (" + ratio(walk, c10) + ")"],
    ]


def cue_rows(f):
    rows = []
    for enc in ("ansi", "utf8", "utf16le", "utf16be"):
        rows.append([f"cue track lookup, 99-track sheet, {enc}",
                     fmt(f.us_per_item(f"CueTrackLookup/{enc}")) + " µs",
                     "parse alone (in memory): " + fmt(f.us_per_item(f"CueParseInMemory/{enc}")) + " µs"])
    return rows


def play_rows(f):
    rows = []
    for mode, label in (("sync_off", "synchronous=OFF"), ("sync_full", "default (FULL)")):
        name = f"PlayStart/{mode}"
        rows.append([f"play start, 100,000 rows, {label}", fmt(f.get(name, "median_ms"), 3) + " ms",
                     fmt(f.get(name, "p99_ms"), 3) + " ms"])
    return rows


def memory_rows(f):
    name = "BatchMemory/100000"
    heap = [f.get(name, f"heap_peak_KiB@{k}k") for k in (10, 50, 100)]
    rss = [f.get(name, f"rss_peak_KiB@{k}k") for k in (10, 50, 100)]
    growth = None if None in heap else (heap[2] - heap[0]) * 1024 / 90000
    return [["heap peak since batch start", *(fmt(h, 0) + " KiB" for h in heap), fmt(growth, 2) + " B/item"],
            ["resident peak growth", *(fmt(r, 0) + " KiB" for r in rss), ""]]


def flatten(rows):
    return [" / ".join(r[1:]) for r in rows]


def main():
    context, runs = load(sys.argv[1])
    before = Figures(load(sys.argv[2])[1]) if len(sys.argv) > 2 else None
    f = Figures(runs)
    b = (lambda rows_of: flatten(rows_of(before))) if before else (lambda rows_of: None)
    print(f"Machine: {context.get('num_cpus')} x {context.get('mhz_per_cpu')} MHz, "
          f"SQLite {context.get('sqlite', '?')}, {context.get('date', '')}\n")
    print(table(["", "RunBatch", "probe", "SQL", "SQL path alone", "design floor (path time x)",
                 "prepared ceiling (path time x)"],
                batch_rows(f), b(batch_rows)))
    print(f"\nCore's own probe work (instant audio library): {fmt(f.us_per_item('ProbeCoreOnly'), 2)} µs/track\n")
    print(table(["", "measured", "design floor (GetRecord time x)", "prepared ceiling (GetRecord time x)"],
                lookup_rows(f), b(lookup_rows)))
    print()
    print(table(["", "measured", "against", "ratio"], scan_rows(f), b(scan_rows)))
    print()
    print(table(["", "per lookup", "note"], cue_rows(f), b(cue_rows)))
    print()
    print(table(["", "median", "p99"], play_rows(f), b(play_rows)))
    print()
    print(table(["memory, 100,000-track batch", "after 10k", "after 50k", "after 100k", "growth"], memory_rows(f),
                b(memory_rows)))


if __name__ == "__main__":
    main()
