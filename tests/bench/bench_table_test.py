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
    def setUp(self):
        self.run = bench_table.parse_log(data('complete_run.log'))

    def test_reading_runs_from_parsing_to_the_last_summary_line(self):
        self.assertAlmostEqual(self.run['reading'], 0.950 - 0.100)

    def test_each_phase_runs_from_its_heading_to_its_closing_line(self):
        self.assertAlmostEqual(self.run['discretization'], 1.460 - 0.960)
        self.assertAlmostEqual(self.run['grid'], 1.500 - 1.480)
        self.assertAlmostEqual(self.run['cell exposure'], 3.500 - 1.500)
        self.assertAlmostEqual(self.run['net exposure'], 6.000 - 3.500)

    def test_reports_end_at_the_last_finish_writing(self):
        self.assertAlmostEqual(self.run['reports'], 6.250 - 6.000)

    def test_bins_are_the_unique_edges_less_one(self):
        self.assertEqual((self.run['nx'], self.run['ny']), (40000, 30000))

    def test_total_is_the_last_timestamp_and_peak_the_memory_line(self):
        self.assertAlmostEqual(self.run['total'], 6.251)
        self.assertAlmostEqual(self.run['peak_mb'], 2048.5)

    def test_a_warning_is_no_error(self):
        self.assertIsNone(self.run['error'])

    def test_a_failed_run_has_its_error_and_no_later_phases(self):
        run = bench_table.parse_log(data('failed_run.log'))
        self.assertEqual(run['error'],
                         'Error: The grid of 120000 x 110000 bins does not fit in memory')
        self.assertAlmostEqual(run['reading'], 4.030 - 0.001)
        self.assertAlmostEqual(run['discretization'], 9.000 - 4.100)
        self.assertIsNone(run['cell exposure'])
        self.assertIsNone(run['net exposure'])
        self.assertIsNone(run['reports'])
        self.assertIsNone(run['peak_mb'])
        self.assertEqual((run['nx'], run['ny']), (120000, 110000))

    def test_an_empty_log_has_no_figures(self):
        run = bench_table.parse_log('')
        for key in ('reading', 'nx', 'total', 'peak_mb', 'reports'):
            self.assertIsNone(run[key], key)

    def test_reading_does_not_run_into_an_error_line(self):
        text = ('[   0.000] Parsing input files: cell: c; net: n\n'
                '[   0.500] Finish parsing cells.\n'
                '[   1.000] \x1b[1;31mError\x1b[0m: Incompatible layer format\n')
        self.assertIsNone(bench_table.parse_log(text)['reading'])


class TimeReportTest(unittest.TestCase):
    def test_peak_wall_and_status(self):
        report = bench_table.parse_time_report(data('complete_time.txt'))
        self.assertAlmostEqual(report['peak_mb'], 2202009 / 1024.0)
        self.assertAlmostEqual(report['wall'], 6.31)
        self.assertEqual(report['status'], '0')

    def test_wall_time_with_hours(self):
        line = '\tElapsed (wall clock) time (h:mm:ss or m:ss): 1:02:03.50\n'
        report = bench_table.parse_time_report(line)
        self.assertAlmostEqual(report['wall'], 3723.5)


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

    def test_run_takes_sizes_from_the_inputs_and_peak_from_time(self):
        run = bench_table.load_run(self.make_run('L', 1))
        self.assertAlmostEqual(run['input_mb'], 2.0)
        self.assertAlmostEqual(run['read_mbps'], 2.0 / 0.85)
        self.assertAlmostEqual(run['peak_mb'], 2202009 / 1024.0)
        self.assertAlmostEqual(run['limit_mb'], 40000 * 30000 / MB + 2 * 2.0 + 100)

    def test_without_time_report_peak_comes_from_the_memory_line(self):
        run = bench_table.load_run(self.make_run('L', 1, timing=False))
        self.assertAlmostEqual(run['peak_mb'], 2048.5)

    def test_table_has_one_row_per_run(self):
        runs = [bench_table.load_run(self.make_run('L', t)) for t in (1, 8)]
        lines = bench_table.format_table(runs).splitlines()
        self.assertEqual(len(lines), 3)
        self.assertEqual(lines[0].split()[:4], ['design', 'threads', 'input', 'MB'])
        self.assertEqual(lines[2].split(),
                         ['L', '8', '2.0', '40000', '30000', '0.850', '0.500', '0.020', '2.000',
                          '2.500', '0.250', '6.251', '2150', '1248', '2', '0'])

    def test_markdown_table_has_a_rule_under_the_heading(self):
        runs = [bench_table.load_run(self.make_run('L', 1))]
        lines = bench_table.format_table(runs, markdown=True).splitlines()
        self.assertTrue(lines[0].startswith('| design | threads |'))
        self.assertTrue(lines[1].startswith('|---|---:|'))
        self.assertEqual(lines[2].count('|'), len(bench_table.COLUMNS) + 1)

    def test_failed_run_shows_dashes(self):
        run = bench_table.load_run(self.make_run('XL', 8, log='failed_run.log', status='1'))
        row = bench_table.format_table([run]).splitlines()[1].split()
        self.assertEqual(row[8:11], ['-', '-', '-'])
        self.assertEqual(row[-1], '1')

    def test_identical_reports_are_reported_so(self):
        runs = [bench_table.load_run(self.make_run('L', t)) for t in (8, 1)]
        lines, same = bench_table.compare_reports(runs)
        self.assertTrue(same)
        self.assertEqual(lines, ['L: reports of 1 and 8 threads are byte-identical'])

    def test_differing_reports_are_named(self):
        runs = [bench_table.load_run(self.make_run('L', 1)),
                bench_table.load_run(self.make_run('L', 8, nets_report='net 2\n'))]
        lines, same = bench_table.compare_reports(runs)
        self.assertFalse(same)
        self.assertEqual(lines, ['L: reports of 1 and 8 threads DIFFER: L_nets_ea.rpt'])

    def test_a_missing_report_fails_the_comparison(self):
        runs = [bench_table.load_run(self.make_run('L', 1)),
                bench_table.load_run(self.make_run('L', 8, nets_report=None))]
        lines, same = bench_table.compare_reports(runs)
        self.assertFalse(same)
        self.assertIn('not compared: no report', lines[0])

    def test_a_failed_run_is_not_compared(self):
        runs = [bench_table.load_run(self.make_run('XL', 1, log='failed_run.log', status='1')),
                bench_table.load_run(self.make_run('XL', 8, log='failed_run.log', status='1'))]
        lines, same = bench_table.compare_reports(runs)
        self.assertTrue(same)
        self.assertEqual(lines, ['XL: reports of 1 and 8 threads not compared: '
                                 'a run did not end with status 0'])

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
