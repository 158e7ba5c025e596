#!/usr/bin/env python3
"""Reads what the testbed's bench scenario left in its keep folder and prints the table of
scripts/bench: medians and ranges over the rounds, in Markdown.
  bench_table.py KEEP_DIR"""

import math
import statistics
import sys
from pathlib import Path


class ImpossibleFigure(Exception):
    pass


def rows(path):
    text = path.read_text() if path.exists() else ""
    return [line.split("\t") for line in text.splitlines() if line]


def load(keep):
    tools, daemons = [], []
    for fields in rows(keep / "timing"):
        if fields[0] == "tool":
            tools.append((float(fields[1]), float(fields[2]), fields[3]))
        elif fields[0] == "daemon":
            daemons.append((float(fields[1]), float(fields[2]), float(fields[3])))
    ops = {}
    for kind, case, round_, sent, answered, cpu in rows(keep / "bench-ops.tsv"):
        ops.setdefault((kind, case), []).append(
            {"kind": kind, "case": case, "sent": float(sent), "answered": float(answered),
             "cpu_ns": int(cpu) if cpu else None})
    figures = {}
    for name, value in rows(keep / "bench-figures.tsv"):
        figures.setdefault(name, []).append(float(value))
    probes = []
    for _, sent, returned in rows(keep / "bench-probe.tsv"):
        sent, returned = float(sent), float(returned)
        own = [t for t in tools if sent <= t[0] and t[1] <= returned]
        if own:
            probes.append((returned - sent - (own[0][1] - own[0][0])) * 1000)
    rtt = {}
    for fields in rows(keep / "bench-rtt.tsv"):
        what, p50, p99 = fields[1].split()[:3]
        rtt.setdefault(what, {"p50": [], "p99": []})
        rtt[what]["p50"].append(float(p50))
        rtt[what]["p99"].append(float(p99))
    return tools, daemons, ops, figures, rtt, probes


def split(op, tools, daemons):
    """An operation's wall time, its tool time and runs, the daemon's readiness, and the rest."""
    sent, answered = op["sent"], op["answered"]
    inside = [t for t in tools if t[0] >= sent and t[1] <= answered]
    tool_ms = sum(t[1] - t[0] for t in inside) * 1000
    wall_ms = (answered - sent) * 1000
    result = {"wall": wall_ms, "tools": tool_ms, "runs": len(inside)}
    if op["cpu_ns"] is not None:
        result["cpu"] = op["cpu_ns"] / 1e6
    launched = [d for d in daemons if sent <= d[0] <= answered]
    if op["kind"] == "start" and len(launched) != 1:
        raise ImpossibleFigure(f"a start ({op['case']}) saw {len(launched)} daemon launches, not one")
    ready_ms = 0.0
    if launched:
        launch, socket, both = launched[0]
        ready = max(socket, both)
        ready_ms = (ready - launch) * 1000
        result["socket after launch"] = (socket - launch) * 1000
        after = [t[0] for t in inside if t[0] >= ready]
        if after:
            result["ready to next tool"] = (min(after) - ready) * 1000
        before = [t[1] for t in inside if t[1] <= launch]
        if before:
            result["last tool to launch"] = (launch - max(before)) * 1000
    # Between one tool's exit and the next one's first line: the helper's reap and spawn and the
    # next stand-in's start-up; the gap that holds the daemon's launch and readiness is left out.
    gaps = [b[0] - a[1] for a, b in zip(inside, inside[1:])
            if not (launched and a[1] <= launched[0][0] <= b[0])]
    result["gaps"] = sum(gaps) * 1000
    result["ready"] = ready_ms
    result["own"] = wall_ms - tool_ms - ready_ms
    return result


def check(name, values, unit):
    """Every figure is a count, size, time or ratio: finite and not below 0 (a ratio above 0)."""
    for value in values:
        if not math.isfinite(value) or value < 0 or (unit == "×" and value == 0):
            raise ImpossibleFigure(f"{name}: {value} {unit} among {values}")


def stat(values, unit, digits=1):
    if not values:
        return "–", "–"
    fmt = "{:.%df}" % digits
    median = fmt.format(statistics.median(values))
    return f"{median} {unit}", f"{fmt.format(min(values))}–{fmt.format(max(values))}"


class Table:
    def __init__(self):
        self.lines = ["| Figure | Median | Range | Goal |", "|---|---|---|---|"]

    def add(self, name, values, unit, goal="", digits=1):
        check(name, values, unit)
        median, spread = stat(values, unit, digits)
        self.lines.append(f"| {name} | {median} | {spread} | {goal} |")

    def section(self, title):
        self.lines.append(f"| **{title}** | | | |")


def main():
    keep = Path(sys.argv[1])
    tools, daemons, ops, figures, rtt, probes = load(keep)
    parts = {key: [split(op, tools, daemons) for op in value] for key, value in ops.items()}

    def column(kind, case, field):
        return [p[field] for p in parts.get((kind, case), []) if field in p]

    table = Table()
    rounds = len(parts.get(("start", "default"), []))
    for (kind, case), values in parts.items():
        if len(values) != rounds:
            raise ImpossibleFigure(f"{len(values)} of {kind} ({case}) in {rounds} rounds")
    table.section(f"Start, as configured (4 services, 3 enabled; DNS), {rounds} rounds")
    table.add("start: wall time", column("start", "default", "wall"), "ms")
    table.add("… tool time (stand-ins' own)", column("start", "default", "tools"), "ms")
    table.add("… tool runs", column("start", "default", "runs"), "", digits=0)
    table.add("… daemon readiness (launch → name file and socket both there)", column("start", "default", "ready"), "ms")
    table.add("… helper's own time (the rest)", column("start", "default", "own"), "ms", "≤ 10 ms")
    table.add("… … of it between tool runs (reap, spawn, stand-in start-up)", column("start", "default", "gaps"),
              "ms")
    table.add("a stand-in's start-up and exit outside its own time, from a shell", probes, "ms")
    table.add("daemon: socket after launch", column("start", "default", "socket after launch"), "ms")
    table.add("daemon ready → helper's next tool starts", column("start", "default", "ready to next tool"), "ms",
              "noticed ≤ 2 ms")
    table.add("helper CPU per start", column("start", "default", "cpu"), "ms")
    table.add("stop: wall time", column("stop", "default", "wall"), "ms")
    table.add("… tool time", column("stop", "default", "tools"), "ms")
    table.add("… tool runs", column("stop", "default", "runs"), "", digits=0)
    table.add("… helper's own time", column("stop", "default", "own"), "ms", "≤ 5 ms")
    table.add("… … of it between tool runs", column("stop", "default", "gaps"), "ms")
    table.add("helper CPU per stop", column("stop", "default", "cpu"), "ms")

    table.section("Requests, tunnel up (200 per round on one connection)")
    for what, goal50, goal99 in (("status", "≤ 200 µs", "≤ 1 ms"), ("version", "", "")):
        if what in rtt:
            table.add(f"{what} round trip p50", rtt[what]["p50"], "µs", goal50, digits=0)
            table.add(f"{what} round trip p99", rtt[what]["p99"], "µs", goal99, digits=0)
    for what in ("status", "version"):
        table.add(f"one `zorvikctl {what}` process, wall", figures.get(f"zorvikctl-{what}-ms", []), "ms")

    table.section("Memory and wake-ups")
    kib = lambda name: [v / 1024 for v in figures.get(name, [])]
    table.add("peak RSS, idle (before any tunnel)", kib("peak-rss-idle-kib"), "MiB", "≤ 4 MiB", digits=2)
    table.add("peak RSS, first tunnel up", kib("peak-rss-up-first-kib"), "MiB", digits=2)
    table.add(f"peak RSS after {rounds} rounds", kib("peak-rss-up-kib"), "MiB", digits=2)
    table.add("peak RSS at the end of the run", kib("peak-rss-end-kib"), "MiB", digits=2)
    table.add("context switches in 10 s idle, no tunnel", figures.get("switches-idle-10s", []), "", "0", digits=0)
    table.add("context switches in 10 s idle, tunnel up", figures.get("switches-up-10s", []), "", "0", digits=0)

    table.section("Against wg-quick on the same daemon (no services, no DNS)")
    table.add("helper start, same steps", column("start", "same", "wall"), "ms")
    table.add("… tool runs", column("start", "same", "runs"), "", digits=0)
    table.add("… tool time", column("start", "same", "tools"), "ms")
    table.add("… daemon readiness", column("start", "same", "ready"), "ms")
    table.add("… helper's own time", column("start", "same", "own"), "ms")
    table.add("helper stop, same steps", column("stop", "same", "wall"), "ms")
    up = column("wg-quick-up", "same", "wall")
    down = column("wg-quick-down", "same", "wall")
    table.add("`wg-quick up`", up, "ms")
    table.add("`wg-quick down`", down, "ms")
    start_same, stop_same = column("start", "same", "wall"), column("stop", "same", "wall")
    table.add("start ÷ `wg-quick up`, per round", [a / b for a, b in zip(start_same, up)], "×",
              "≤ 1.1×", digits=2)
    table.add("stop ÷ `wg-quick down`, per round", [a / b for a, b in zip(stop_same, down)], "×", digits=2)
    start_default = column("start", "default", "wall")
    table.add("start as configured ÷ `wg-quick up`, per round", [a / b for a, b in zip(start_default, up)], "×",
              digits=2)

    counts = [n for n in (1, 4, 16) if ("start", f"services-{n}") in parts]
    if counts:
        table.section("By enabled network services (no DNS of their own, IPv6 automatic)")
        for n in counts:
            case = f"services-{n}"
            runs = column("start", case, "runs")
            stop_runs = column("stop", case, "runs")
            table.add(f"{n}: start ({statistics.median(runs):.0f} tool runs)", column("start", case, "wall"), "ms")
            table.add(f"{n}: … helper's own time", column("start", case, "own"), "ms")
            table.add(f"{n}: stop ({statistics.median(stop_runs):.0f} tool runs)", column("stop", case, "wall"), "ms")
        if len(counts) >= 2:
            for kind in ("start", "stop"):
                medians = [statistics.median(column(kind, f"services-{n}", "wall")) for n in counts]
                slope, base = statistics.linear_regression(counts, medians)
                table.lines.append(f"| {kind} ≈ a + b × services (least squares over the medians) | "
                                   f"{base:.0f} ms + {slope:.1f} ms each | | |")
    cases = [("full", "0.0.0.0/0, routed around the server"),
             ("30", "the 30 ranges that leave out private addresses, and ::/0"),
             ("1000", "1000 ranges (/24s of 100.64.0.0/10)")]
    cases = [(n, what) for n, what in cases if ("start", f"ranges-{n}") in parts]
    if cases:
        table.section("By AllowedIPs ranges (no services, no DNS)")
        for n, what in cases:
            case = f"ranges-{n}"
            runs = column("start", case, "runs")
            stop_runs = column("stop", case, "runs")
            table.add(f"{what}: start ({statistics.median(runs):.0f} tool runs)", column("start", case, "wall"),
                      "ms")
            table.add(f"{n}: … helper's own time", column("start", case, "own"), "ms")
            table.add(f"{n}: … helper CPU", column("start", case, "cpu"), "ms")
            table.add(f"{n}: stop ({statistics.median(stop_runs):.0f} tool runs)", column("stop", case, "wall"),
                      "ms")
        if len(cases) >= 2:
            # Only the routes differ between the cases, so the slope over tool runs is one route's cost.
            runs = [statistics.median(column("start", f"ranges-{n}", "runs")) for n, _ in cases]
            for field, label in (("wall", "start"), ("own", "… helper's own time")):
                medians = [statistics.median(column("start", f"ranges-{n}", field)) for n, _ in cases]
                slope, base = statistics.linear_regression(runs, medians)
                check(f"{label} per route", [slope], "ms")
                table.lines.append(f"| {label} ≈ a + b × tool runs (least squares over the medians) | "
                                   f"{base:.0f} ms + {slope:.2f} ms per route | | |")
    print("\n".join(table.lines))


if __name__ == "__main__":
    try:
        main()
    except ImpossibleFigure as error:
        print(f"bench: an impossible figure, so no table: {error}", file=sys.stderr)
        sys.exit(1)
