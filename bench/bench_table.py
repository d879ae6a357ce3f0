#!/usr/bin/env python3
"""Turns the benchmark runs into one table.

Each run is a folder written by run_benchmarks.sh holding:
  meta      key=value lines: design, threads, cell_file, net_file and status (the exit status,
            or "signal N")
  log       the program's standard output (every line starts "[   12.345] ")
  time.txt  the report of /usr/bin/time -v (optional)
  *.rpt     the reports the run left

Phase times come from the program's own timestamps; peak memory from /usr/bin/time (else from
the program's "MEM: ... peak=..MB" line). Then it checks that the reports of every thread count of
a design are byte-identical, and prints the figures the targets are judged by.

usage: bench_table.py [--markdown] [--strict] RUN_DIR...
exit status 1 when reports differ or are missing, or with --strict when a run did not end with
status 0
"""
import argparse
import filecmp
import os
import re
import sys

MB = float(1 << 20)
LOG_LINE = re.compile(r'^\[\s*(-?\d+\.\d+)\] (.*)$')
ANSI = re.compile(r'\x1b\[[0-9;]*m')
UNIQUE = re.compile(r'^After remove duplicates: (\d+) unique values$')
MEMORY = re.compile(r'MEM: cur=([-\d.e+]+)MB, peak=([-\d.e+]+)MB')
READ_SUMMARY = re.compile(r'^(Read-in Summary: '
                          r'|Number of (Cell Assets|Net Assets|Metal Segments): \d+'
                          r'|Layer details: |\S+: \d+)$')

# name, first line of the phase, last line of the phase (the last such line for reports)
PHASES = [
    ('discretization', 'Start discret mapping', 'Finish discretization'),
    ('grid', '==============Start exposed region calculation...',
     '==============Calculating Cell Asset Exposed Area...'),
    ('cell exposure', '==============Calculating Cell Asset Exposed Area...',
     'Finished Cell Asset Exposed Area Calculation'),
    ('net exposure', '==============Calculating Net Asset Exposed Area...',
     'Finished Net Asset Exposed Area Calculation'),
    ('reports', 'Writing Cell Report ', 'Finish writing '),
]


def log_lines(text):
    """(seconds, text) of every timestamped line, colour codes removed."""
    lines = []
    for raw in text.splitlines():
        match = LOG_LINE.match(raw)
        if match:
            lines.append((float(match.group(1)), ANSI.sub('', match.group(2))))
    return lines


def first_index(lines, prefix, start=0):
    for i in range(start, len(lines)):
        if lines[i][1].startswith(prefix):
            return i
    return None


def last_index(lines, prefix, start=0):
    found = None
    for i in range(start, len(lines)):
        if lines[i][1].startswith(prefix):
            found = i
    return found


def reading_time(lines):
    """From "Parsing input files" to the last line of the read-in summary."""
    start = first_index(lines, 'Parsing input files: ')
    end = first_index(lines, 'Finish parsing nets.', start or 0) if start is not None else None
    if end is None:
        return None
    while end + 1 < len(lines) and READ_SUMMARY.match(lines[end + 1][1]):
        end += 1
    return lines[end][0] - lines[start][0]


def phase_time(lines, first, last):
    start = first_index(lines, first)
    if start is None:
        return None
    find_end = last_index if first.startswith('Writing') else first_index
    end = find_end(lines, last, start)
    return None if end is None else lines[end][0] - lines[start][0]


def parse_log(text):
    """Phase seconds, nx, ny, total seconds, peak MB and the first Error line of one run's log."""
    lines = log_lines(text)
    result = {'reading': reading_time(lines)}
    for name, first, last in PHASES:
        result[name] = phase_time(lines, first, last)
    counts = [int(m.group(1)) for m in (UNIQUE.match(t) for _, t in lines) if m]
    result['nx'] = counts[0] - 1 if len(counts) > 0 else None
    result['ny'] = counts[1] - 1 if len(counts) > 1 else None
    result['total'] = lines[-1][0] if lines else None
    peaks = [float(m.group(2)) for m in (MEMORY.search(t) for _, t in lines) if m]
    result['peak_mb'] = peaks[-1] if peaks else None
    errors = [t for _, t in lines if t.startswith(('Error: ', ' F A T A L '))]
    result['error'] = errors[0] if errors else None
    return result


def parse_time_report(text):
    """Peak resident MB, wall seconds and exit status from /usr/bin/time -v."""
    result = {}
    for line in text.splitlines():
        key, _, value = line.strip().partition(': ')
        if key == 'Maximum resident set size (kbytes)':
            result['peak_mb'] = int(value) / 1024.0
        elif key.startswith('Elapsed (wall clock) time'):
            seconds = 0.0
            for part in value.split(':'):
                seconds = seconds * 60 + float(part)
            result['wall'] = seconds
        elif key == 'Exit status':
            result['status'] = value
    return result


def read_text(path):
    try:
        with open(path, encoding='utf-8', errors='replace') as f:
            return f.read()
    except OSError:
        return ''


def read_meta(path):
    meta = {}
    for line in read_text(path).splitlines():
        key, _, value = line.partition('=')
        meta[key.strip()] = value.strip()
    return meta


def file_mb(path):
    try:
        return os.path.getsize(path) / MB
    except OSError:
        return None


def load_run(folder):
    """Everything the table shows about one run folder."""
    meta = read_meta(os.path.join(folder, 'meta'))
    run = parse_log(read_text(os.path.join(folder, 'log')))
    timing = parse_time_report(read_text(os.path.join(folder, 'time.txt')))
    if 'peak_mb' in timing:
        run['peak_mb'] = timing['peak_mb']
    if run['total'] is None:
        run['total'] = timing.get('wall')
    run['folder'] = folder
    run['design'] = meta.get('design', os.path.basename(folder))
    run['threads'] = int(meta.get('threads', '0'))
    run['status'] = meta.get('status', timing.get('status', '?'))
    sizes = [file_mb(meta.get(k, '')) for k in ('cell_file', 'net_file')]
    run['input_mb'] = sum(sizes) if None not in sizes else None
    run['net_mb'] = sizes[1]
    run['read_mbps'] = (run['input_mb'] / run['reading']
                        if run['input_mb'] is not None and run['reading'] else None)
    run['limit_mb'] = (run['nx'] * run['ny'] / MB + 2 * run['input_mb'] + 100
                       if None not in (run['nx'], run['ny'], run['input_mb']) else None)
    return run


COLUMNS = [  # heading, key, decimals
    ('design', 'design', None), ('threads', 'threads', None), ('input MB', 'input_mb', 1),
    ('nx', 'nx', None), ('ny', 'ny', None), ('read s', 'reading', 3),
    ('discr s', 'discretization', 3), ('grid s', 'grid', 3), ('cells s', 'cell exposure', 3),
    ('nets s', 'net exposure', 3), ('reports s', 'reports', 3), ('total s', 'total', 3),
    ('peak MB', 'peak_mb', 0), ('limit MB', 'limit_mb', 0), ('read MB/s', 'read_mbps', 0),
    ('status', 'status', None),
]


def cell_text(value, decimals):
    if value is None:
        return '-'
    if decimals is None:
        return str(value)
    return '%.*f' % (decimals, value)


def format_table(runs, markdown=False):
    rows = [[h for h, _, _ in COLUMNS]]
    for run in runs:
        rows.append([cell_text(run.get(key), d) for _, key, d in COLUMNS])
    if markdown:
        lines = ['| ' + ' | '.join(r) + ' |' for r in rows]
        lines.insert(1, '|' + '|'.join('---:' if i else '---' for i in range(len(COLUMNS))) + '|')
        return '\n'.join(lines)
    widths = [max(len(r[i]) for r in rows) for i in range(len(COLUMNS))]
    return '\n'.join('  '.join(c.ljust(w) if i == 0 else c.rjust(w)
                               for i, (c, w) in enumerate(zip(r, widths))).rstrip() for r in rows)


def report_names(run):
    return [run['design'] + '_cells_ea.rpt', run['design'] + '_nets_ea.rpt']


def compare_reports(runs):
    """One line per design and thread count against its fewest threads; False when any differ."""
    lines, same = [], True
    designs = []
    for run in runs:
        if run['design'] not in designs:
            designs.append(run['design'])
    for design in designs:
        group = sorted((r for r in runs if r['design'] == design), key=lambda r: r['threads'])
        base = group[0]
        for other in group[1:]:
            pair = '%s: reports of %d and %d threads' % (design, base['threads'], other['threads'])
            if base['status'] != '0' or other['status'] != '0':
                lines.append(pair + ' not compared: a run did not end with status 0')
                continue
            paths = [(os.path.join(base['folder'], n), os.path.join(other['folder'], n))
                     for n in report_names(base)]
            missing = [p for pair_paths in paths for p in pair_paths if not os.path.isfile(p)]
            differing = [os.path.basename(a) for a, b in paths
                         if not missing and not filecmp.cmp(a, b, shallow=False)]
            if missing:
                same = False
                lines.append(pair + ' not compared: no report ' + ', '.join(missing))
            elif differing:
                same = False
                lines.append(pair + ' DIFFER: ' + ', '.join(differing))
            else:
                lines.append(pair + ' are byte-identical')
    return lines, same


def _find(runs, design, threads=None):
    matches = [r for r in runs
               if r['design'] == design and (threads is None or r['threads'] == threads)]
    return matches[0] if matches else None


def _exposure(run, phases=('cell exposure', 'net exposure')):
    if run is None or any(run[phase] is None for phase in phases):
        return None
    return sum(run[phase] for phase in phases)


def target_lines(runs, design='L', grown='L_die2'):
    """The figures the targets are judged by, for those whose runs are there."""
    lines = []
    threads = sorted({r['threads'] for r in runs if r['design'] == design})
    if not threads:
        return lines
    few, many = _find(runs, design, threads[0]), _find(runs, design, threads[-1])
    if many is not few and few['read_mbps'] and many['read_mbps']:
        lines.append('%s reader, %d / %d threads: %.0f / %.0f MB/s of input, %.2fx (target >= '
                     '1000 MB/s and >= 3x)' % (design, few['threads'], many['threads'],
                                               few['read_mbps'], many['read_mbps'],
                                               many['read_mbps'] / few['read_mbps']))
    if many is not few and few['discretization'] and many['discretization']:
        lines.append('%s discretization %d threads / %d threads: %.2fx faster (target >= 4x)'
                     % (design, few['threads'], many['threads'],
                        few['discretization'] / many['discretization']))
    big = _find(runs, grown, threads[-1])
    if big and big['net exposure'] and many['net exposure']:
        lines.append('%s net exposure / %s net exposure, %d threads: %.2fx (target < 1.5x)'
                     % (grown, design, many['threads'], big['net exposure'] / many['net exposure']))
    if many is not few and _exposure(few) and _exposure(many):
        speedup = _exposure(few) / _exposure(many)
        lines.append('%s exposure (cells + nets) %d threads / %d threads: %.2fx faster '
                     '(target >= 4x)' % (design, few['threads'], many['threads'], speedup))
    with_grid = ('grid', 'cell exposure', 'net exposure')
    if many is not few and _exposure(few, with_grid) and _exposure(many, with_grid):
        speedup = _exposure(few, with_grid) / _exposure(many, with_grid)
        lines.append('%s exposure with the grid build (grid + cells + nets) %d threads / %d '
                     'threads: %.2fx faster' % (design, few['threads'], many['threads'], speedup))
    for run in (few, many) if many is not few else (few,):
        if run['peak_mb'] is not None and run['limit_mb'] is not None:
            verdict = 'within' if run['peak_mb'] <= run['limit_mb'] else 'OVER'
            lines.append('%s peak memory, %d threads: %.0f MB, %s the limit of %.0f MB'
                         % (design, run['threads'], run['peak_mb'], verdict, run['limit_mb']))
    return lines


def main(argv):
    parser = argparse.ArgumentParser(description='Prints the benchmark table of run folders.')
    parser.add_argument('--markdown', action='store_true', help='print the table in Markdown')
    parser.add_argument('--strict', action='store_true',
                        help='fail when a run did not end with status 0')
    parser.add_argument('runs', nargs='+', help='run folders written by run_benchmarks.sh')
    args = parser.parse_args(argv)
    runs = [load_run(folder) for folder in args.runs]
    print(format_table(runs, args.markdown))
    print()
    for run in runs:
        if run['error']:
            print('%s, %d threads: %s' % (run['design'], run['threads'], run['error']))
    comparisons, same = compare_reports(runs)
    for line in comparisons + target_lines(runs):
        print(line)
    failed = args.strict and any(run['status'] != '0' for run in runs)
    return 0 if same and not failed else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
