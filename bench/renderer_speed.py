#!/usr/bin/env python3
"""Frame time of every part on each kind of GL context, against an earlier build.

    bench/renderer_speed.py BEFORE_BUILD [AFTER_BUILD] [--rounds N] [--parts 6,7]

Runs bench_parts BM_PartFrame (a part's whole frame at 1024 x 576) from the BEFORE
build on its default context and from the AFTER build (default: build/) on the compat,
core and es contexts (BENCH_GL): one part at a time, its four variants back to back
(each part starting one variant later), and starts over for N rounds (default 2), so
that the variants of a part meet the same half-minute of the machine: a shared machine
drifts by several per cent within minutes.
Prints the median part_ms (wall time) and CPU time (all threads: the rasteriser's
too, steadier when other work shares the machine) per part and variant, the ratios
after/before on compat and core, es against compat, and the allocations per frame. Needs a display or xvfb-run;
each build folder needs its data.zip.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys


def run(build, kind, part):
    env = dict(os.environ)
    if kind:
        env["BENCH_GL"] = kind
    command = ["./bench/bench_parts", f"--benchmark_filter=BM_PartFrame/{part}/", "--benchmark_format=json"]
    if not env.get("DISPLAY"):
        command = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24"] + command
    out = subprocess.run(command, cwd=build, env=env, capture_output=True, text=True, check=True).stdout
    rows = {}
    for b in json.loads(out[out.index("{"):])["benchmarks"]:
        if "part_ms" in b:
            cpu = b.get("part_main", 0.0) + b.get("part_rast", 0.0)
            rows[b["label"]] = (b["part_ms"], cpu, b.get("allocs/frame", 0.0))
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("before")
    parser.add_argument("after", nargs="?", default=os.path.join(os.path.dirname(__file__), "..", "build"))
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--parts", help="part numbers to run, as 6,7 (default: all)")
    args = parser.parse_args()
    variants = [("before", args.before, None), ("compat", args.after, "compat"), ("core", args.after, "core"),
                ("es", args.after, "es")]
    times = {name: {} for name, _, _ in variants}
    cpus = {name: {} for name, _, _ in variants}
    allocs = {name: 0.0 for name, _, _ in variants}
    parts = []
    listing = subprocess.run(["./bench/bench_parts", "--benchmark_list_tests", "--benchmark_filter=BM_PartFrame/"],
                             cwd=args.after, capture_output=True, text=True, check=True).stdout
    indices = [line.split("/")[1] for line in listing.splitlines() if line.startswith("BM_PartFrame/")]
    if args.parts:
        indices = [i for i in indices if i in args.parts.split(",")]
    for r in range(args.rounds):
        for i, index in enumerate(indices):
            # Each part starts one variant later, so that none always runs first or last.
            shift = (r + i) % len(variants)
            for name, build, kind in variants[shift:] + variants[:shift]:
                print(f"round {r + 1}/{args.rounds}, part {index}: {name}", file=sys.stderr, flush=True)
                for part, (ms, cpu, alloc) in run(build, kind, index).items():
                    if part not in parts:
                        parts.append(part)
                    times[name].setdefault(part, []).append(ms)
                    cpus[name].setdefault(part, []).append(cpu)
                    allocs[name] = max(allocs[name], alloc)
    for title, table in (("wall time per frame (part_ms)", times), ("CPU time per frame, all threads", cpus)):
        median = {n: {p: statistics.median(v) for p, v in t.items()} for n, t in table.items()}
        print(f"\n{title}, median of {args.rounds} rounds\n")
        print("| part | before ms | compat ms | core ms | es ms | compat/before | core/before | core/compat | es/compat |")
        print("|---|---|---|---|---|---|---|---|---|")
        for p in parts:
            b, c, k, e = (median[n].get(p, float("nan")) for n in ("before", "compat", "core", "es"))
            print(f"| {p} | {b:.2f} | {c:.2f} | {k:.2f} | {e:.2f} | {c / b:.2f} | {k / b:.2f} | {k / c:.2f} | "
                  f"{e / c:.2f} |")
    print("allocations per frame (most of any part): " + ", ".join(f"{n} {a:g}" for n, a in allocs.items()))


if __name__ == "__main__":
    if not shutil.which("xvfb-run") and not os.environ.get("DISPLAY"):
        sys.exit("needs a display or xvfb-run")
    main()
