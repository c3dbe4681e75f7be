#!/usr/bin/env python3
"""Helpers of scripts/bench-all.sh.

  bench_report.py re <page> <json out>
      times re.findall of the picture markers over a page (what a few lines
      of Python would do), the same way cut_bench times the cut: repetitions
      of at least 0.3 s each, the median of their throughputs
  bench_report.py quiet
      how busy the machine's cores are with other work, over 2 s
  bench_report.py table <dir> <exe> <doc out> <date> <quiet text>
      reads the outputs in <dir>, prints one table of what they measured and
      writes it, with the machine it ran on, to <doc out>
"""
import json
import os
import platform
import re
import statistics
import subprocess
import sys
import time

# The same markers as the program's cut (src/app/job_text.cpp).
LEFT = b'{"imageUrl":"'
RIGHT = b".jpg"

REPETITIONS = 5
MIN_SECONDS = 0.3

# Goals the benchmark programs do not print themselves.
CUT_GOAL = 0.25   # the cut at least this fraction of memmem's speed
PAGE_GOAL = 1.1   # the page request at most this many times the bare loop's time


def time_re(page_path, out_path):
    with open(page_path, "rb") as f:
        page = f.read()
    results = {}
    for name, flags in (("exact", re.S), ("ignorecase", re.S | re.I)):
        pattern = re.compile(re.escape(LEFT) + b"(.*?)" + re.escape(RIGHT), flags)
        values = len(pattern.findall(page))
        rates = []
        for _ in range(REPETITIONS):
            runs, start = 0, time.perf_counter()
            while True:
                pattern.findall(page)
                runs += 1
                took = time.perf_counter() - start
                if took >= MIN_SECONDS:
                    break
            rates.append(len(page) * runs / took)
        results[name] = {"bytes_per_second": statistics.median(rates), "values": values}
    results["page_bytes"] = len(page)
    results["python"] = platform.python_version()
    with open(out_path, "w") as f:
        json.dump(results, f, indent=1)


def cpu_times():
    with open("/proc/stat") as f:
        fields = [int(x) for x in f.readline().split()[1:]]
    user, nice, system, idle, iowait = fields[:5]
    return sum(fields[:8]), idle + iowait, nice


def quiet():
    total0, idle0, nice0 = cpu_times()
    time.sleep(2)
    total1, idle1, nice1 = cpu_times()
    total = max(total1 - total0, 1)
    busy = 100.0 * (total - (idle1 - idle0)) / total
    niced = 100.0 * (nice1 - nice0) / total
    print(f"{busy:.0f} {niced:.0f}")


def first_line(command):
    try:
        out = subprocess.run(command, capture_output=True, text=True, timeout=30).stdout
        return out.splitlines()[0].strip() if out else "?"
    except (OSError, subprocess.SubprocessError):
        return "?"


def package_version(name):
    return first_line(["dpkg-query", "-W", "-f=${Version}", name])


def machine():
    model = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        kb = int(next(line for line in f if line.startswith("MemTotal")).split()[1])
    system = "?"
    if os.path.exists("/etc/os-release"):
        with open("/etc/os-release") as f:
            for line in f:
                if line.startswith("PRETTY_NAME="):
                    system = line.split("=", 1)[1].strip().strip('"')
    return [
        ("CPU", f"{model}, {os.cpu_count()} cores"),
        ("Memory", f"{kb / 1024 / 1024:.1f} GiB"),
        ("System", f"{system}, Linux {platform.release()}"),
        ("Wine", first_line(["/usr/lib/wine/wine64", "--version"])),
        ("Native compiler", first_line(["g++", "--version"])),
        ("Windows compiler", first_line(["x86_64-w64-mingw32-g++-posix", "--version"])),
        ("Google Benchmark", package_version("libbenchmark-dev")),
        ("Python", platform.python_version()),
        ("curl", " ".join(first_line(["curl", "--version"]).split()[:2])),
    ]


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read().replace("\r", "")


def find(pattern, text, what):
    found = re.search(pattern, text)
    if not found:
        sys.exit(f"bench_report: no '{what}' in the benchmarks' output")
    return found.groups()


def verdict(ok):
    return "met" if ok else "missed"


def table(out_dir, exe, doc, date, quiet_text):
    rows = []  # (what, measured, ratio, goal)

    # The cut: medians of cut_bench's repetitions.
    with open(os.path.join(out_dir, "cut_bench.json")) as f:
        runs = json.load(f)["benchmarks"]
    speed = {r["run_name"]: r["bytes_per_second"] / 1e9 for r in runs
             if r.get("aggregate_name") == "median"}
    pages = (("real 3.7 MB page", 0), ("synthetic 1 MB page", 1), ("adversarial 1 MB page", 2))
    for name, page in pages:
        cut, floor = speed[f"CutFast/{page}"], speed[f"CutMemmem/{page}"]
        rows.append((f"Picture cut vs memmem cut, {name}", f"{cut:.2f} vs {floor:.2f} GB/s",
                     f"{cut / floor:.2f}× the speed",
                     f"≥ {CUT_GOAL}×: {verdict(cut / floor >= CUT_GOAL)}"))
    cut, stepping = speed["CutFast/0"], speed["CutStepping/0"]
    rows.append(("Picture cut vs a loop stepping one character, real page",
                 f"{cut:.2f} vs {stepping:.2f} GB/s", f"{cut / stepping:.1f}× the speed", ""))
    with open(os.path.join(out_dir, "python_re.json")) as f:
        python = json.load(f)
    exact = python["exact"]["bytes_per_second"] / 1e9
    folded = python["ignorecase"]["bytes_per_second"] / 1e9
    rows.append(("Picture cut vs Python `re.findall`, real page",
                 f"{cut:.2f} vs {exact:.2f} GB/s ({folded:.2f} with `re.I`)",
                 f"{cut / exact:.1f}× the speed", ""))

    # The Windows benchmarks.
    windows = read(os.path.join(out_dir, "bench-windows.log"))
    fetched, bare, ratio = map(float, find(
        r"RESULT page 4MB: FetchPageText ([\d.]+) s, bare WinINet loop ([\d.]+) s, ratio ([\d.]+)",
        windows, "page 4MB"))
    rows.append(("Page request (4 MB) vs bare WinINet loop, same 1 KB reads",
                 f"{fetched:.3f} vs {bare:.3f} s", f"{ratio:.2f}× the time",
                 f"≤ {PAGE_GOAL}×: {verdict(ratio <= PAGE_GOAL)}"))
    for key, name in (("50x200KB", "50 × 200 KB"), ("1x50MB", "1 × 50 MB")):
        fetched, block, bare, ratio = find(
            rf"RESULT {key} FetchUrlBytes ([\d.]+) s, best bare loop \((\d+) KB reads\) "
            r"([\d.]+) s, ratio ([\d.]+)x", windows, key)
        rows.append((f"Picture fetch vs best bare WinINet loop, {name}",
                     f"{float(fetched):.3f} vs {float(bare):.3f} s ({block} KB reads)",
                     f"{float(ratio):.2f}× the time", ""))
    for key, name in (("50x200KB", "50 × 200 KB"), ("1x50MB", "1 × 50 MB")):
        fetched = float(find(rf"RESULT {key} FetchUrlBytes ([\d.]+) s", windows, key)[0])
        curl = float(find(rf"RESULT curl {key} ([\d.]+) s", windows, f"curl {key}")[0])
        rows.append((f"Picture fetch vs native curl, {name}", f"{fetched:.3f} vs {curl:.3f} s",
                     f"{fetched / curl:.2f}× the time", ""))
    size, added, ratio, goal = map(float, find(
        r"RESULT peak memory of a ([\d.]+) MB fetch: ([\d.]+) MB added, ([\d.]+)x its size "
        r"\(goal ([\d.]+) MB\)", windows, "peak memory"))
    rows.append((f"Peak memory of a {size:.0f} MB picture fetch (working set added)",
                 f"{added:.1f} MB", f"{ratio:.3f}× the picture",
                 f"≤ 1.25× + 8 MB = {goal:.1f} MB: {verdict(added <= goal)}"))
    huge, small, difference = map(int, find(
        r"RESULT peak resident size \(Linux\): (\d+) MB fetching 100 MB, (\d+) MB fetching "
        r"200 KB; difference (\d+) MB", windows, "peak resident size"))
    rows.append(("Peak resident size seen from Linux, 100 MB fetch less a 200 KB one",
                 f"{huge} − {small} = {difference} MB", f"{difference / 100:.2f}× the picture",
                 ""))

    # The whole job.
    e2e = read(os.path.join(out_dir, "bench-e2e.log"))
    megabytes, rounds = find(r"RESULT page and 16 pictures, ([\d.]+) MB; best of (\d+) rounds",
                             e2e, "page and 16 pictures")
    job = list(map(float, find(r"RESULT\s+orvalin\.exe\s+([\d.]+) ms\s+([\d.]+) ms", e2e,
                               "orvalin.exe")))
    floor = list(map(float, find(r"RESULT\s+bare WinINet floor\s+([\d.]+) ms\s+([\d.]+) ms",
                                 e2e, "bare WinINet floor")))
    fastest = list(map(float, find(r"RESULT\s+fastest WinINet\s+([\d.]+) ms\s+([\d.]+) ms",
                                   e2e, "fastest WinINet")))
    job_goal = float(find(r"RESULT\s+ratio \(goal <= ([\d.]+)\)", e2e, "goal")[0])
    curl = float(find(r"RESULT curl \(native, one process\) ([\d.]+) ms", e2e, "curl")[0])
    startup = float(find(r"RESULT window start-up\s+([\d.]+) ms", e2e, "start-up")[0])
    for i, name in enumerate(("first", "later")):
        rows.append((f"Whole job vs bare WinINet floor, {name} job",
                     f"{job[i]:.1f} vs {floor[i]:.1f} ms", f"{job[i] / floor[i]:.2f}× the time",
                     f"≤ {job_goal:g}×: {verdict(job[i] / floor[i] <= job_goal)}"))
    rows.append(("Whole job vs fastest WinINet loop, first / later job",
                 f"{job[0]:.1f} vs {fastest[0]:.1f} ms / {job[1]:.1f} vs {fastest[1]:.1f} ms",
                 f"{job[0] / fastest[0]:.2f}× / {job[1] / fastest[1]:.2f}× the time", ""))
    rows.append(("Whole job vs native curl, first / later job",
                 f"{job[0]:.1f} / {job[1]:.1f} vs {curl:.1f} ms",
                 f"{job[0] / curl:.1f}× / {job[1] / curl:.1f}× the time", ""))
    rows.append(("Window start-up, start to all controls shown", f"{startup:.1f} ms", "", ""))
    exe_bytes = os.path.getsize(exe)
    rows.append(("orvalin.exe size", f"{exe_bytes / 1024:.0f} KB ({exe_bytes} bytes)", "", ""))

    head = ("What", "Measured", "Ratio", "Goal")
    widths = [max(len(r[i]) for r in rows + [head]) for i in range(4)]
    line = lambda r: "| " + " | ".join(c.ljust(w) for c, w in zip(r, widths)) + " |"
    lines = [line(head), "|" + "|".join("-" * (w + 2) for w in widths) + "|"]
    lines += [line(r) for r in rows]
    print("\n".join(lines))

    busy, niced = map(int, quiet_text.split())
    load = (f"Other work on the machine when the benchmarks began: {busy}% of the cores' "
            f"time over 2 s ({niced}% at low priority).")
    if busy >= 10:
        load += " The figures are noisier than on an idle machine."
    doc_lines = [
        "# Performance",
        "",
        "Every benchmark of the project, run together; each ratio compares two figures of",
        "the same run. To measure again (a few minutes; it builds what is missing first,",
        "rewrites this file and keeps the benchmarks' own output in `build/bench-all/`):",
        "",
        "```sh",
        "bash scripts/bench-all.sh",
        "```",
        "",
        f"Run on {date}.",
        "",
    ]
    doc_lines += [f"- {k}: {v}" for k, v in machine()]
    doc_lines += [
        "",
        load,
        "",
    ]
    doc_lines += lines
    doc_lines += [
        "",
        "How the figures are taken:",
        "",
        "- The cut (`bench/cut_bench.cpp`) and Python's `re.findall` of the same markers: the",
        f"  median of {REPETITIONS} repetitions of at least {MIN_SECONDS} s each. The cut ignores case",
        "  and knows double-byte characters; the memmem cut and `re` without `re.I` do",
        "  neither.",
        "- The page request and the picture fetch (`scripts/bench-windows.sh`, under Wine on",
        "  loopback): the best of 9 and 7 rounds, the bare loop taking turns with the",
        "  program's code; curl runs natively, best of 3. The peak memory is the working set",
        "  added while fetching a 100 MB picture.",
        "- The whole job (`scripts/bench-e2e.sh`): the real orvalin.exe under Wine against the",
        "  local marketplace in a private network namespace: the real 3.7 MB page and its 16",
        f"  pictures, {megabytes} MB in all, best of {rounds} rounds; a job is timed from the",
        "  click until the status bar shows it done.",
        "- Under this machine's Wine the whole job's floor is the program's own requests made",
        "  by the shortest WinINet code: the page over a session of its own with 1 KB reads,",
        "  each picture as HTTP/1.0 over a connection of its own (see the header of",
        "  `scripts/bench-e2e.sh`). The fastest WinINet loop (one session, connections",
        "  reused, 64 KB reads) and curl are shown for reference only.",
    ]
    with open(doc, "w", encoding="utf-8") as f:
        f.write("\n".join(doc_lines) + "\n")


def main():
    args = sys.argv[1:]
    if len(args) == 3 and args[0] == "re":
        time_re(args[1], args[2])
    elif len(args) == 1 and args[0] == "quiet":
        quiet()
    elif len(args) == 6 and args[0] == "table":
        table(*args[1:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
