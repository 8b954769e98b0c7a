#!/usr/bin/env python3
"""Prints the benchmark table: each phase's time, its floor from the same run, the ratio
and the target. Native times are CPU times from Google Benchmark's JSON; Wine times are
wall-clock medians from wine_bench (the registry work happens in wineserver too)."""
import json
import os
import sys


def load_native(path):
    with open(path) as f:
        data = json.load(f)
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
    times = {}
    for b in data["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration":
            continue
        times[b["name"]] = b["cpu_time"] * scale[b["time_unit"]]
    return data["context"], times


def load_wine(path):
    times, memory, info, ratios, phases = {}, {}, {}, {}, {}
    with open(path) as f:
        for line in f:
            parts = line.rstrip("\r\n").split("\t")
            if parts[0] == "RESULT":
                times[parts[1]] = (float(parts[2]), float(parts[3]), int(parts[4]))
            elif parts[0] == "MEMORY":
                memory[parts[1]] = (int(parts[2]), int(parts[3]))
            elif parts[0] == "INFO":
                info[parts[1]] = parts[2]
            elif parts[0] == "RATIO":
                ratios[parts[1]] = float(parts[2])
            elif parts[0] == "PHASE":
                phases.setdefault(parts[1], []).append((parts[2], float(parts[3])))
    return times, memory, info, ratios, phases


def fmt(us):
    if us >= 1e6:
        return f"{us / 1e6:.2f} s"
    if us >= 1e3:
        return f"{us / 1e3:.2f} ms"
    return f"{us:.1f} µs"


rows = []


def row(phase, time, floor_name, floor, target=None, ratio=None):
    if ratio is None:
        ratio = time / floor if floor else float("nan")
    verdict = ""
    if target is not None:
        verdict = f"≤ {target:g}: " + ("met" if ratio <= target else "missed")
    rows.append((phase, fmt(time), floor_name, fmt(floor), f"{ratio:.2f}", verdict))


def main():
    context, native = load_native(sys.argv[1])
    wine, memory, info, ratios, phases = load_wine(sys.argv[2]) if len(sys.argv) > 2 else ({}, {}, {}, {}, {})

    scheme = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "scheme.xml")
    parse = f"Scheme parse ({os.path.getsize(scheme) // 1000} KB)"
    row(parse, native["parse/scheme"], "byte scan", native["parse/floor_scan"], 10)
    row(parse, native["parse/scheme"], "widen to wchar_t", native["parse/widen_only"])
    n = info.get("objects", "512")
    row(f"Start-up lookups, {n} objects, first use (walk ÷ indexed)", native["lookups/walk_first_use"],
        "indexed, index built", native["lookups/indexed_first_use"])
    row(f"Start-up lookups, {n} objects, warm (walk ÷ indexed)", native["lookups/walk"],
        "indexed", native["lookups/indexed"])
    row("Element searches only, warm (walk ÷ indexed)", native["lookups/elements_walk"],
        "indexed", native["lookups/elements_indexed"])
    # Growth: the cost per entry at one size against the size before it; 1 is linear, 10 or
    # 100 quadratic. At 100 entries the fixed cost of opening the file still dominates, so
    # the target is judged on the larger step.
    steps = ((100, 10_000), (10_000, 100_000))
    for op in ("load", "save"):
        for small, big in steps:
            row(f"Store {op}, {big:,} entries, per entry", native[f"store/{op}/{big}"] / big,
                f"per entry at {small:,}", native[f"store/{op}/{small}"] / small, 2 if small > 100 else None)
    for small, big in steps:
        row(f"Store name look-up, {big:,} entries", native[f"store/lookup/{big}"] / 100,
            f"one look-up at {small:,}", native[f"store/lookup/{small}"] / 100)
    for small, big in ((100, 1_000), (1_000, 10_000)):
        row(f"Store load + look up every name, {big:,} entries, per entry",
            native[f"store/load_lookup_all/{big}"] / big, f"per entry at {small:,}",
            native[f"store/load_lookup_all/{small}"] / small, 2 if small > 100 else None)

    def w(name):
        return wine[name][1]

    if wine:
        for state, label in (("empty", "empty registry"), ("set", "every tweak set")):
            floor = w(f"read.{state}.floor")
            row(f"Tweak state of all objects, {label}", w(f"read.{state}.state"), "advapi32 reads", floor, 1.3)
            if f"read.{state}.load" in wine:
                row(f"LoadAppObjects, {label}", w(f"read.{state}.load"), "advapi32 reads", floor, 1.3)
            row(f"Save that changes nothing, {label}", w(f"read.{state}.savenothing"), "advapi32 reads", floor,
                1.3)
        row("Save switching every tweak on", w("saveall.on"), "advapi32 writes", w("saveall.floor_on"), 1.5)
        row("Save switching every tweak off", w("saveall.off"), "advapi32 writes", w("saveall.floor_off"), 1.5)
        if "start.quillmark" in wine:
            # Ratios of paired starts (each round's quillmark.exe right after its floors).
            for floor, label, target in (("probe", "probe: same DLLs and controls, empty", 1.3),
                                         ("trivial", "trivial Win32 exe", 2.5)):
                row("quillmark.exe start to idle window", w("start.quillmark"), label, w(f"start.{floor}"), target,
                    ratios.get(f"start.quillmark/start.{floor}"))

    print("| Phase | Time | Floor | Floor time | Ratio | Target |")
    print("|---|---:|---|---:|---:|---|")
    for r in rows:
        print("| " + " | ".join(r) + " |")
    if memory:
        print()
        print("| Program at idle | Working set | Private (pagefile) |")
        print("|---|---:|---:|")
        for name, (ws, private) in memory.items():
            print(f"| {name.split('.')[1]} | {ws / 1024:.1f} MB | {private / 1024:.1f} MB |")
    if phases.get("start.quillmark"):
        # The probe marks the phases it shares; each "takes" counts from the program's own
        # previous mark.
        probe = {}
        before = 0.0
        for name, at in phases.get("start.probe", []):
            probe[name] = (at, at - before)
            before = at
        print()
        print("| Start, phase | quillmark.exe ends after | Takes | Probe ends after | Takes |")
        print("|---|---:|---:|---:|---:|")
        before = 0.0
        for name, at in phases["start.quillmark"]:
            label = "CreateProcess to wWinMain (loader, C runtime, static constructors)" if name == "wWinMain" \
                else name
            probe_at, probe_takes = (fmt(t) for t in probe[name]) if name in probe else ("", "")
            print(f"| {label} | {fmt(at)} | {fmt(at - before)} | {probe_at} | {probe_takes} |")
            before = at
    if wine and "read.empty.floor" in wine:
        runs = wine["read.empty.floor"][2]
        starts = wine.get("start.quillmark", (0, 0, 0))[2]
        print()
        print(f"Wine phases: median of {runs} runs ({starts} starts for the whole program), "
              f"{info.get('locations', '?')} registry locations, {info.get('writes_on', '?')} writes to switch "
              f"everything on. Native phases: CPU time per Google Benchmark.")


main()
