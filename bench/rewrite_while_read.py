#!/usr/bin/env python3
"""Rewrites a net file in place while the program reads it and counts how the runs end.

The net file is generated: SEGMENTS lines over 200000 nets (fewer for a smaller file), every tenth
net an asset net. Its new version differs only in every asset flag, 1 -> 0, so it has the same
size and no asset net. Each run starts the program on the old version and, DELAY seconds later
(drawn evenly from MIN to MAX; a negative delay starts the writer first), overwrites the file in
place with the new version from front to back, WRITE_BYTES at a time (one write when 0). A run
ends in one of five ways:

  old       status 0, the reports of the old version
  new       status 0, the reports of the new version
  neither   status 0, reports of neither version: a change taken for a success
  changed   status 1 with the line "Net file <path> changed while it was read"
  other     anything else

Usage: bench/rewrite_while_read.py BINARY [--segments N] [--runs N] [--threads "1 8"]
           [--min-delay S] [--max-delay S] [--write-bytes B] [--seed N] [--check]
Prints one line of counts per thread count. With --check, exit status 1 when a run ended as
"neither" or "other".
"""

import argparse
import os
import random
import subprocess
import sys
import tempfile
import threading
import time

OUTCOMES = ("old", "new", "neither", "changed", "other")


def net_lines(segments, flag_of_assets):
    """The net file: short segments on a 1000 x 1000 grid, metal1 to metal4."""
    nets = min(200000, max(1, segments // 10))
    lines = []
    for i in range(segments):
        net = i % nets
        x, y = i % 1000, (i // 1000) % 1000
        flag = flag_of_assets if net % 10 == 0 else "0"
        lines.append(f"seg s{i} n{net} {x} {y} {x + 1} {y + 1} M:metal{1 + i % 4} {flag} x\n")
    return "".join(lines).encode()


def run_program(binary, folder, name, threads):
    """Runs the program on cells.txt and nets.txt in `folder`; returns its status and output."""
    command = [binary, "--bm_name", name, "--cell_file", "cells.txt", "--net_file", "nets.txt",
               "--avail_layer", "4", "--threads", str(threads)]
    return subprocess.Popen(command, cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def reports(folder, name):
    """The two reports of run `name`, or None when one is missing; then removes them."""
    texts = []
    for kind in ("cells", "nets"):
        path = os.path.join(folder, f"{name}_{kind}_ea.rpt")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as report:
            texts.append(report.read())
        os.remove(path)
    return tuple(texts)


def overwrite(path, text, write_bytes):
    """Writes `text` over the file at `path` in place, from its front, write_bytes at a time."""
    step = write_bytes or len(text)
    view = memoryview(text)
    fd = os.open(path, os.O_WRONLY)
    try:
        for offset in range(0, len(text), step):
            os.pwrite(fd, view[offset:offset + step], offset)
    finally:
        os.close(fd)


def one_run(args, folder, versions, references, threads, delay):
    """One run with the writer `delay` seconds after the program's start; returns its outcome."""
    nets = os.path.join(folder, "nets.txt")
    with open(nets, "wb") as file:
        file.write(versions["old"])
    writer = threading.Thread(target=overwrite, args=(nets, versions["new"], args.write_bytes))
    if delay < 0:
        writer.start()
        time.sleep(-delay)
    program = run_program(args.binary, folder, "run", threads)
    if delay >= 0:
        time.sleep(delay)
        writer.start()
    output = program.communicate()[0].decode(errors="replace")
    writer.join()
    got = reports(folder, "run")
    if program.returncode == 0 and got is not None:
        return next((name for name, text in references.items() if text == got), "neither")
    if program.returncode == 1 and "Net file nets.txt changed while it was read" in output:
        return "changed"
    sys.stderr.write(f"status {program.returncode}:\n{output[-2000:]}\n")
    return "other"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary")
    parser.add_argument("--segments", type=int, default=2000000)
    parser.add_argument("--runs", type=int, default=40)
    parser.add_argument("--threads", default="1 8")
    parser.add_argument("--min-delay", type=float, default=0.0)
    parser.add_argument("--max-delay", type=float, default=0.7)
    parser.add_argument("--write-bytes", type=int, default=4 << 20)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    args.binary = os.path.abspath(args.binary)
    draw = random.Random(args.seed)
    faults = 0
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "cells.txt"), "w") as cells:
            cells.write("cell U0 0 0 10 10 N\ncell U1 500 500 520 530 N\n")
        versions = {"old": net_lines(args.segments, "1"), "new": net_lines(args.segments, "0")}
        references = {}
        for name, text in versions.items():
            with open(os.path.join(folder, "nets.txt"), "wb") as file:
                file.write(text)
            if run_program(args.binary, folder, name, 8).wait() != 0:
                sys.exit(f"the {name} version does not run")
            references[name] = reports(folder, name)
        for threads in args.threads.split():
            counts = dict.fromkeys(OUTCOMES, 0)
            for _ in range(args.runs):
                delay = draw.uniform(args.min_delay, args.max_delay)
                counts[one_run(args, folder, versions, references, int(threads), delay)] += 1
            faults += counts["neither"] + counts["other"]
            print(f"{threads} threads, {args.runs} runs: " +
                  ", ".join(f"{name} {counts[name]}" for name in OUTCOMES), flush=True)
    sys.exit(1 if args.check and faults else 0)


if __name__ == "__main__":
    main()
