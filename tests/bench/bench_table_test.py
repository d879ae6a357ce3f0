#!/usr/bin/env python3
"""Tests of the benchmark table on hand-made logs (data/) whose phase times were chosen by hand."""
import contextlib
import io
import os
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', '..', 'bench'))
import bench_table  # noqa: E402

DATA = os.path.join(HERE, 'data')
MB = 1 << 20


def data(name):
    with open(os.path.join(DATA, name), encoding='utf-8') as f:
        return f.read()


class ParseLogTest(unittest.TestCase):
    def assertFigures(self, run, expected):
        for key, value in expected.items():
            with self.subTest(key):
                if isinstance(value, float):
                    self.assertAlmostEqual(run[key], value)
                else:
                    self.assertEqual(run[key], value)

    def test_each_phase_runs_from_its_heading_to_its_closing_line(self):
        self.assertFigures(bench_table.parse_log(data('complete_run.log')), {
            'reading': 0.950 - 0.100,  # from parsing to the last summary line
            'discretization': 1.460 - 0.960, 'grid': 1.500 - 1.480,
            'cell exposure': 3.500 - 1.500, 'net exposure': 6.000 - 3.500,
            'reports': 6.250 - 6.000,  # to the last finish writing
            'nx': 40000, 'ny': 30000,  # the unique edges less one
            'total': 6.251, 'peak_mb': 2048.5,  # the last timestamp, the memory line
            'error': None})  # a warning is no error

    def test_a_failed_run_has_its_error_and_no_later_phases(self):
        self.assertFigures(bench_table.parse_log(data('failed_run.log')), {
            'error': 'Error: The grid of 120000 x 110000 bins does not fit in memory',
            'reading': 4.030 - 0.001, 'discretization': 9.000 - 4.100,
            'cell exposure': None, 'net exposure': None, 'reports': None, 'peak_mb': None,
            'nx': 120000, 'ny': 110000})

    def test_an_empty_log_or_an_error_while_reading_has_no_figures(self):
        self.assertFigures(bench_table.parse_log(''), dict.fromkeys(
            ('reading', 'nx', 'total', 'peak_mb', 'reports')))
        text = ('[   0.000] Parsing input files: cell: c; net: n\n'
                '[   0.500] Finish parsing cells.\n'
                '[   1.000] \x1b[1;31mError\x1b[0m: Incompatible layer format\n')
        self.assertIsNone(bench_table.parse_log(text)['reading'])


class TimeReportTest(unittest.TestCase):
    def test_peak_wall_and_status_with_and_without_hours(self):
        report = bench_table.parse_time_report(data('complete_time.txt'))
        self.assertAlmostEqual(report['peak_mb'], 2202009 / 1024.0)
        self.assertAlmostEqual(report['wall'], 6.31)
        self.assertEqual(report['status'], '0')
        line = '\tElapsed (wall clock) time (h:mm:ss or m:ss): 1:02:03.50\n'
        self.assertAlmostEqual(bench_table.parse_time_report(line)['wall'], 3723.5)


class RunFoldersTest(unittest.TestCase):
    """Run folders laid out as the runner leaves them, with inputs of known size."""

    def setUp(self):
        self.root = tempfile.mkdtemp()
        self.cells = self.write('cells.txt', b'c' * (MB // 2))
        self.nets = self.write('nets.txt', b'n' * (3 * MB // 2))

    def tearDown(self):
        shutil.rmtree(self.root)

    def write(self, name, content):
        path = os.path.join(self.root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(content)
        return path

    def make_run(self, design, threads, log='complete_run.log', status='0', nets_report='net 1\n',
                 timing=True):
        folder = os.path.join(self.root, design, 't%d' % threads)
        meta = 'design=%s\nthreads=%d\ncell_file=%s\nnet_file=%s\nstatus=%s\n' % (
            design, threads, self.cells, self.nets, status)
        self.write(os.path.join(folder, 'meta'), meta.encode())
        self.write(os.path.join(folder, 'log'), data(log).encode())
        if timing:
            self.write(os.path.join(folder, 'time.txt'), data('complete_time.txt').encode())
        self.write(os.path.join(folder, design + '_cells_ea.rpt'), b'cell 1\n')
        if nets_report is not None:
            self.write(os.path.join(folder, design + '_nets_ea.rpt'), nets_report.encode())
        return folder

    def test_run_takes_sizes_from_the_inputs_and_peak_from_time_else_from_the_log(self):
        run = bench_table.load_run(self.make_run('L', 1))
        self.assertAlmostEqual(run['input_mb'], 2.0)
        self.assertAlmostEqual(run['read_mbps'], 2.0 / 0.85)
        self.assertAlmostEqual(run['peak_mb'], 2202009 / 1024.0)
        self.assertAlmostEqual(run['limit_mb'], 40000 * 30000 / MB + 2 * 2.0 + 100)
        run = bench_table.load_run(self.make_run('L', 2, timing=False))
        self.assertAlmostEqual(run['peak_mb'], 2048.5)

    def test_table_has_a_row_per_run_and_dashes_for_a_failed_one(self):
        runs = [bench_table.load_run(self.make_run('L', t)) for t in (1, 8)]
        runs.append(bench_table.load_run(self.make_run('XL', 8, log='failed_run.log', status='1')))
        lines = bench_table.format_table(runs).splitlines()
        self.assertEqual(len(lines), 4)
        self.assertEqual(lines[0].split()[:4], ['design', 'threads', 'input', 'MB'])
        self.assertEqual(lines[2].split(),
                         ['L', '8', '2.0', '40000', '30000', '0.850', '0.500', '0.020', '2.000',
                          '2.500', '0.250', '6.251', '2150', '1248', '2', '0'])
        failed = lines[3].split()
        self.assertEqual((failed[8:11], failed[-1]), (['-', '-', '-'], '1'))

    def test_markdown_table_has_a_rule_under_the_heading(self):
        runs = [bench_table.load_run(self.make_run('L', 1))]
        lines = bench_table.format_table(runs, markdown=True).splitlines()
        self.assertTrue(lines[0].startswith('| design | threads |'))
        self.assertTrue(lines[1].startswith('|---|---:|'))
        self.assertEqual(lines[2].count('|'), len(bench_table.COLUMNS) + 1)

    def test_reports_of_each_thread_count_are_compared_with_the_fewest_threads(self):
        failed = dict(log='failed_run.log', status='1')
        cases = [  # (design, options of the 1-thread and the 8-thread run, same, line)
            ('L', {}, {}, True, 'L: reports of 1 and 8 threads are byte-identical'),
            ('L', {}, {'nets_report': 'net 2\n'}, False,
             'L: reports of 1 and 8 threads DIFFER: L_nets_ea.rpt'),
            ('L', {}, {'nets_report': None}, False,
             'L: reports of 1 and 8 threads not compared: no report '
             + os.path.join(self.root, 'L', 't8', 'L_nets_ea.rpt')),
            ('XL', failed, failed, True,
             'XL: reports of 1 and 8 threads not compared: a run did not end with status 0'),
        ]
        for design, one, eight, same, line in cases:
            with self.subTest(line):
                runs = [bench_table.load_run(self.make_run(design, 8, **eight)),
                        bench_table.load_run(self.make_run(design, 1, **one))]
                self.assertEqual(bench_table.compare_reports(runs), ([line], same))
                shutil.rmtree(os.path.join(self.root, design))

    def test_target_figures_of_l(self):
        runs = [bench_table.load_run(self.make_run(d, t)) for d in ('L', 'L_die2') for t in (1, 8)]
        lines = bench_table.target_lines(runs)
        self.assertEqual(lines, [
            'L reader, 1 thread(s): %.0f MB/s of net file (target >= 300)' % (1.5 / 0.85),
            'L_die2 net exposure / L net exposure, 8 threads: 1.00x (target < 1.5x)',
            'L exposure (cells + nets) 1 threads / 8 threads: 1.00x faster (target >= 4x)',
            'L exposure with the grid build (grid + cells + nets) 1 threads / 8 threads: '
            '1.00x faster',
            'L peak memory, 1 threads: 2150 MB, OVER the limit of 1248 MB',
            'L peak memory, 8 threads: 2150 MB, OVER the limit of 1248 MB'])

    def test_main_prints_the_table_and_fails_on_differing_reports(self):
        folders = [self.make_run('L', 1), self.make_run('L', 8, nets_report='other\n')]
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            status = bench_table.main(folders)
        self.assertEqual(status, 1)
        self.assertIn('DIFFER', out.getvalue())
        self.assertTrue(out.getvalue().startswith('design'))


if __name__ == '__main__':
    unittest.main()
