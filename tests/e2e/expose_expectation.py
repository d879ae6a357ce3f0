#!/usr/bin/env python3
"""Expected output of a run on an exposure case, computed by exact rectangle geometry.

Usage:
  expose_expectation.py expect CASE_DIR        writes CASE_DIR/expected_stdout, expected_status
                                               and expected/ from CASE_DIR/args and its inputs
                                               (args: all five options by full name, one
                                               word per line; inputs in the plain layout)
  expose_expectation.py generate CASE_DIR SEED writes a random design of a few hundred shapes
                                               as CASE_DIR/cells.txt and CASE_DIR/nets.txt

The program cuts the plane into bins; this script does not. A cell's exposed area is its
rectangle less the union of every metal rectangle, clipped to it; a net's total area is the
union of its segments, and its exposed area the union over its segments s of s less the metal
on layers above s. Unions are measured by a sweep over x slabs with merged y intervals, in exact
rational arithmetic. Coordinates are dyadic (integers and halves), so every area is a double
exactly and the program's bin sums must agree to the last bit; ratios, sums and means are then
formed with the same double operations in the same order as the program does.
"""

import os
import random
import sys
from fractions import Fraction

RULE_START = "-" * 78
TITLE = (" " * 20 + "Quorvane").ljust(78)
RULE_END = "-" * 75
TERMINATED = " " * 31 + "Terminated..." + " " * 31
WARNING = "\x1b[1;93mWarning\x1b[0m: "
ERROR = "\x1b[1;31mError\x1b[0m: "
# 0.0 / 0.0 on x86-64 gives the default NaN, whose sign bit is set: the stream prints -nan.
ZERO_BY_ZERO = float("nan")


class Rect:
    def __init__(self, name, coords, layer=-1, net=None):
        self.name, self.layer, self.net = name, layer, net
        self.box = tuple(Fraction(c) for c in coords)  # xlo, ylo, xhi, yhi
        self.fxlo, self.fylo, self.fxhi, self.fyhi = (float(c) for c in coords)

    def clip(self, other):
        """The part of `other` inside this rectangle, or None."""
        xlo, ylo = max(self.box[0], other.box[0]), max(self.box[1], other.box[1])
        xhi, yhi = min(self.box[2], other.box[2]), min(self.box[3], other.box[3])
        return (xlo, ylo, xhi, yhi) if xlo < xhi and ylo < yhi else None


def merge(intervals):
    merged = []
    for lo, hi in sorted(intervals):
        if merged and lo <= merged[-1][1]:
            merged[-1][1] = max(merged[-1][1], hi)
        else:
            merged.append([lo, hi])
    return merged


def subtract(intervals, holes):
    """Merged intervals less merged holes."""
    result = []
    for lo, hi in intervals:
        start = lo
        for hlo, hhi in holes:
            if hhi <= start or hlo >= hi:
                continue
            if hlo > start:
                result.append([start, hlo])
            start = max(start, hhi)
        if start < hi:
            result.append([start, hi])
    return result


def length(intervals):
    return sum((hi - lo for lo, hi in intervals), Fraction(0))


def spanning(boxes, xa, xb):
    return [(b[1], b[3]) for b in boxes if b[0] <= xa and b[2] >= xb]


def slabs(boxes):
    xs = sorted({b[0] for b in boxes} | {b[2] for b in boxes})
    return zip(xs, xs[1:])


def union_area(boxes):
    return sum((length(merge(spanning(boxes, xa, xb))) * (xb - xa) for xa, xb in slabs(boxes)),
               Fraction(0))


def net_exposed_area(own, metal):
    """Area of the union over own boxes b (with layers) of b less metal above b's layer."""
    layers = sorted({layer for _, layer in own})
    area = Fraction(0)
    for xa, xb in slabs([b for b, _ in own] + [b for b, _ in metal]):
        seen = []
        for layer in layers:
            mine = merge(spanning([b for b, l in own if l == layer], xa, xb))
            above = merge(spanning([b for b, l in metal if l > layer], xa, xb))
            seen += subtract(mine, above)
        area += length(merge(seen)) * (xb - xa)
    return area


def fmt(value):
    """A double as the C++ stream writes it by default (%g with 6 significant digits)."""
    if value != value:
        return "-nan" if value is ZERO_BY_ZERO else "nan"
    return "%g" % value


def totals(areas, ratios):
    total = 0.0
    for area in areas:
        total += area
    if not ratios:
        return total, 0.0, 0.0
    maximum, ratio_sum = ratios[0], 0.0
    for ratio in ratios:
        if ratio > maximum:
            maximum = ratio
        ratio_sum += ratio
    mean = ratio_sum / len(ratios)
    if any(r != r for r in ratios):
        mean = ZERO_BY_ZERO
    return total, maximum, mean


def percent(ratio):
    return ratio if ratio != ratio else 100.0 * ratio


def read_design(case_dir, cell_file, net_file):
    cells, segments, nets = [], [], {}
    with open(os.path.join(case_dir, cell_file)) as lines:
        for line in lines:
            f = line.split()
            cells.append(Rect(f[1], f[2:6]))
    with open(os.path.join(case_dir, net_file)) as lines:
        for line in lines:
            f = line.split()
            layer = int(f[7].split(":", 1)[1][len("metal"):]) - 1
            nets.setdefault(f[2], f[8] == "1")
            segments.append(Rect(f[1], f[3:7], layer, f[2]))
    return cells, segments, nets


def cell_results(cells, segments):
    results = []
    for cell in cells:
        area = (cell.fxhi - cell.fxlo) * (cell.fyhi - cell.fylo)
        if area == 0:  # a flat cell
            results.append((0.0, ZERO_BY_ZERO))
            continue
        covered = union_area([c for c in (cell.clip(m) for m in segments) if c])
        exposed = float(union_area([cell.box]) - covered)
        results.append((exposed, exposed / area))
    return results


def net_results(nets, segments):
    metal = [(s.box, s.layer) for s in segments]
    results = []
    for name, is_asset in nets.items():
        if not is_asset:
            continue
        own = [(s.box, s.layer) for s in segments if s.net == name]
        total = float(union_area([b for b, _ in own]))
        if total < 1e-06:
            return results, name
        exposed = float(net_exposed_area(own, metal))
        results.append((name, total, exposed, exposed / total))
    return results, None


def parse_args(case_dir):
    with open(os.path.join(case_dir, "args")) as f:
        words = f.read().split("\n")
    words = [w for w in words if w != ""]
    names = {"bm_name": None, "cell_file": None, "net_file": None, "avail_layer": None,
             "threads": "8"}
    for key, value in zip(words[::2], words[1::2]):
        names[key.lstrip("-")] = value
    return names


def stdout_lines(args, cells, segments, nets):
    layers = int(args["avail_layer"])
    out = [RULE_START + " ", TITLE + " ", RULE_START + " "]
    out += ["Benchmark Name    : " + args["bm_name"], "Cell assets Info  : " + args["cell_file"],
            "Net routing info  : " + args["net_file"],
            "Available routing layer in this design: " + args["avail_layer"],
            "Multi-threading   : " + args["threads"]]
    out += ["Number of Available Metal Layers: %d" % layers, "Lowest: metal1",
            "Highest: metal%d" % layers]
    out += ["Parsing input files: cell: %s; net: %s" % (args["cell_file"], args["net_file"]),
            "Finish parsing cells.", "Finish parsing nets.", "Read-in Summary: ",
            "Number of Cell Assets: %d" % len(cells),
            "Number of Net Assets: %d" % sum(nets.values()),
            "Number of Metal Segments: %d" % len(segments), "Layer details: "]
    out += ["metal%d: %d" % (k + 1, sum(s.layer == k for s in segments)) for k in range(layers)]
    shapes = cells + segments
    out += ["Start discret mapping", "Handling X-coords",
            "After remove duplicates: %d unique values" % len({v for s in shapes
                                                               for v in (s.fxlo, s.fxhi)}),
            "Handling Y-coords",
            "After remove duplicates: %d unique values" % len({v for s in shapes
                                                               for v in (s.fylo, s.fyhi)})]
    out += [WARNING + "Having object with zero width! Please check " + s.name
            for s in shapes if s.fxlo == s.fxhi or s.fylo == s.fyhi]
    out += ["Finish discretization", "==============Start exposed region calculation...",
            "==============Calculating Cell Asset Exposed Area...",
            "Finished Cell Asset Exposed Area Calculation",
            "==============Calculating Net Asset Exposed Area..."]
    return out


def report_lines(cells, cell_res, net_res):
    total, maximum, mean = totals([a for a, _ in cell_res], [r for _, r in cell_res])
    cell_report = ["Total exposed area across cell assets: " + fmt(total),
                   "Max exposure [%] across cell assets: " + fmt(percent(maximum)),
                   "Avg exposure [%] across cell assets: " + fmt(percent(mean)), ""]
    cell_report += ["Instance: %s angle: 0 side: N Area_Exposed: %s Perc_Exposed: %s"
                    % (c.name, fmt(a), fmt(percent(r))) for c, (a, r) in zip(cells, cell_res)]
    total, maximum, mean = totals([n[2] for n in net_res], [n[3] for n in net_res])
    net_report = ["Total exposed area across net assets: " + fmt(total),
                  "Max exposure [%] across net assets: " + fmt(percent(maximum)),
                  "Avg exposure [%] across net assets: " + fmt(percent(mean)), "",
                  "#NetName TotalAreaNet PercentageExposedAreaNet"]
    net_report += ["%s %s %s" % (n[0], fmt(n[1]), fmt(percent(n[3]))) for n in net_res]
    return cell_report, net_report


def write_lines(path, lines, prefix=""):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.writelines(prefix + line + "\n" for line in lines)


def expect(case_dir):
    args = parse_args(case_dir)
    cells, segments, nets = read_design(case_dir, args["cell_file"], args["net_file"])
    out = stdout_lines(args, cells, segments, nets)
    net_res, zero_net = net_results(nets, segments)
    status = 0
    reports = {}
    if zero_net is not None:
        out.append(ERROR + "Found net asset with zero exposable area: " + zero_net)
        status = 1
    else:
        cell_report, net_report = report_lines(cells, cell_results(cells, segments), net_res)
        out.append("Finished Net Asset Exposed Area Calculation")
        for kind, label, lines in (("cells", "Cell", cell_report), ("nets", "Net", net_report)):
            path = args["bm_name"] + "_%s_ea.rpt" % kind
            out.append("Writing %s Report %s" % (label, path))
            if os.path.isdir(os.path.join(case_dir, os.path.dirname(path) or ".")):
                out.append("Finish writing " + path)
                reports[path] = lines
            else:
                out.append(ERROR + "Cannot write report " + path)
                status = 1
        out += ["MEM: cur=#MB, peak=#MB", "", RULE_END + " ", TERMINATED + " ", RULE_END + " "]
    write_lines(os.path.join(case_dir, "expected_stdout"), out, "[TIME] ")
    status_file = os.path.join(case_dir, "expected_status")
    if status:
        write_lines(status_file, [str(status)])
    elif os.path.exists(status_file):
        os.remove(status_file)
    for path, lines in reports.items():
        write_lines(os.path.join(case_dir, "expected", path), lines)


def generate(case_dir, seed):
    """Cells and wires on a coarse lattice (many shared and touching edges), some on halves."""
    rng = random.Random(seed)

    def coord(lo, hi):
        step = rng.choice([10, 5, 0.5])
        return step * rng.randrange(int(lo / step), int(hi / step) + 1)

    def side(most):
        while True:
            value = coord(0, most)
            if value > 0:
                return value

    def rect(long_side, short_side):
        x, y = coord(0, 200), coord(0, 200)
        w, h = side(long_side), side(short_side)
        if rng.random() < 0.5:
            w, h = h, w
        return [x, y, x + w, y + h]

    def text(values):
        return " ".join("%g" % v for v in values)

    cell_lines = ["cell U%d %s N" % (k, text(rect(30, 20))) for k in range(60)]
    cell_lines.insert(30, "cell U_FLAT 40 20 40 60 N")  # zero width: its ratio is 0/0
    net_lines = []
    for n in range(40):
        name = ("key%d" if n % 3 == 0 else "sig%d") % n
        flag = 1 if n % 3 == 0 else 0
        for s in range(rng.randrange(3, 16)):
            layer = rng.randrange(1, 7)
            net_lines.append("seg %s_%d %s %s M%d:metal%d %d x"
                             % (name, s, name, text(rect(90, 10)), layer, layer, flag))
    rng.shuffle(net_lines)  # nets interleave; a net's first line keeps its own flag
    write_lines(os.path.join(case_dir, "cells.txt"), cell_lines)
    write_lines(os.path.join(case_dir, "nets.txt"), net_lines)


if __name__ == "__main__":
    if sys.argv[1] == "generate":
        generate(sys.argv[2], int(sys.argv[3]))
    else:
        expect(sys.argv[2])
