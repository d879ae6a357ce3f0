#!/usr/bin/env python3
"""Runs the program under a range of memory limits and checks how every run ends.

What it checks: in a memory control group at any limit, a run ends either
  - with status 0, nothing on standard error, the closing banner last on standard output, and
    the same report files, byte for byte, as a run without a limit ("complete"), or
  - with status 1, exactly one Error line followed by what follows it in a run given a cell file
    that does not exist (nothing, for now), nothing on standard error and no report file left
    behind ("error: <the Error line, numbers as N>"); or, when a report cannot be written (on a
    memory file system), with one Error line for each such report where the complete run says
    it finished writing it, none of those reports left and the other one as the complete run
    wrote it.
Anything else is a VIOLATION: a kill (by a signal, the memory controller's OOM kill among them,
or status 137), another status, no Error line or several, an Error line in a complete run, text
on standard error, reports that differ from the reference or are left after an Error, a run
that does not end within the timeout.

How: one run without a limit first (in a child group without a limit of its own) gives the
reference reports and the peak usage, and one given a missing cell file the end of an Error run.
Then every limit from --from to --to MB in --step MB steps is tried; between two neighbouring
limits whose outcomes differ, every --fine MB step is tried too, which finds narrow windows of
another outcome. Each run gets a fresh child group nested in this process's own memory group
(cgroup v1 or v2, from /proc/self/cgroup), its own empty folder, standard input from /dev/null;
the group is removed after the run, also on errors and Ctrl-C. With --pipe the net file reaches
the program through a pipe (/dev/fd/N) fed by `cat`, outside the group. MB here is 2^20 bytes.

How the input and the reports reach the group (the kernel charges a file's page cache to the
group that first reads it, and the pages of a memory file system to the group that writes them):
  - by default the input is read from where it is, usually already cached by another group;
  - with --fresh the input files are written back and dropped from the page cache before every
    run (the reference runs too), so that the run's own reading charges its group; an input file
    whose pages stay cached (one on a memory file system) stops the scan;
  - with --staged every run first copies the input files into its own folder, by a process in
    the run's group that then starts the program on the copies: a batch job that stages its input
    on local scratch. The copies are dirty pages of the group's own when the program starts, so
    they count as used. A copy that fails ends the run with status 125 and a line on standard
    error. With --pipe only the cell file is staged: the net file still comes through the pipe,
    as a stream that a job does not stage;
  - with --reports-on-tmpfs DIR the program runs in a fresh folder in DIR, which must be on a
    memory file system (tmpfs or ramfs), so that its reports take the group's memory as it
    writes them; the reports are checked there and the folder removed after the run. Where DIR
    is missing or on another file system the scan is skipped.

Prints one line per limit (limit, outcome, the group's peak usage, the run's time and, for a
violation, the last line of standard output, which tells how far the run got), then a summary:
the limits tried, the count of each outcome, the outcome over the range of limits and the limits
with a violation.

A run that the group does not even let start (the program cannot be executed, or a process
is killed before it) is classified too: a kill is a violation like any other, a failed start is
"VIOLATION: not started: ...".

Exit status: 0 when no run broke the rule, and also when no child memory group can be made here
or the --reports-on-tmpfs folder is not on a memory file system (one line says why, starting
with "memory_scan: skipped:"); 1 when a run broke the rule; 2 on a bad command line, a reference
run that does not complete, an input that --fresh cannot drop, or a group that fails mid-scan.

Usage: scripts/memory_scan.py --program BIN --cell_file CELLS --net_file NETS
           [--avail_layer K] [--threads T] [--from MB] [--to MB] [--step MB] [--fine MB]
           [--pipe] [--fresh] [--staged] [--reports-on-tmpfs DIR] [--timeout S]
           [--bm_name NAME]
"""
import argparse
import copy
import ctypes
import errno
import math
import mmap
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

MB = 1 << 20
ERROR_MARK = b"\x1b[1;31mError\x1b[0m: "
TIMESTAMP = re.compile(rb"^\[ *-?\d+\.\d{3}\] ")
NUMBER = re.compile(r"\d+(\.\d+)?([eE][-+]?\d+)?")
REPORT_ERROR = re.compile(rb"Cannot write report (.+?)(?::\s\d+ bytes needed|\s?$)")
MEMORY_FIGURES = re.compile(rb"\d+(\.\d+)?MB")
SKIP_PREFIX = "memory_scan: skipped:"
MEMORY_FILE_SYSTEMS = ("tmpfs", "ramfs")
STAGING_FAILED = 125
# Run in the run's group: copies every SOURCE to its COPY, then becomes the program.
STAGE_SCRIPT = """
while [ "$1" != -- ]; do
  cp -- "$1" "$2" || { echo "memory_scan: staging $1 failed" >&2; exit %d; }
  shift 2
done
shift
exec "$@"
""" % STAGING_FAILED


class NoGroup(Exception):
    """No child memory group can be made here (found before the scan starts); the text says
    why."""


class NotMemoryFileSystem(Exception):
    """The folder given for the reports is missing or not on a memory file system."""


class ScanAborted(Exception):
    """A signal asked the scan to stop."""


class SetupFailed(Exception):
    """The scan cannot go on: the run without a limit fails, or a group fails mid-scan."""


# ---------------------------------------------------------------------------------------------
# Control groups


def read_file(path):
    with open(path) as f:
        return f.read().strip()


def write_file(path, text):
    with open(path, "w") as f:
        f.write(text)


def unescape_mount_path(path):
    return re.sub(r"\\([0-7]{3})", lambda m: chr(int(m.group(1), 8)), path)


def cgroup_mounts():
    """(fstype, root, mount point, super options) of every cgroup mount."""
    mounts = []
    with open("/proc/self/mountinfo") as f:
        for line in f:
            before, _, after = line.partition(" - ")
            fields, tail = before.split(), after.split()
            if len(fields) >= 5 and len(tail) >= 3 and tail[0] in ("cgroup", "cgroup2"):
                mounts.append((tail[0], unescape_mount_path(fields[3]),
                               unescape_mount_path(fields[4]), tail[2].split(",")))
    return mounts


def own_group_paths():
    """This process's memory group: (v1 path or None, v2 path or None)."""
    v1 = v2 = None
    with open("/proc/self/cgroup") as f:
        for line in f:
            parts = line.rstrip("\n").split(":", 2)
            if len(parts) != 3:
                continue
            hierarchy, controllers, path = parts
            if hierarchy == "0" and controllers == "":
                v2 = path
            elif "memory" in controllers.split(","):
                v1 = path
    return v1, v2


def folder_of(path, mount_root, mount_point):
    if mount_root != "/" and path != mount_root and not path.startswith(mount_root + "/"):
        return None
    rel = path[len(mount_root):] if mount_root != "/" else path
    return os.path.normpath(os.path.join(mount_point, rel.lstrip("/")))


def find_parent():
    """The folder of this process's own memory group and its cgroup version; raises NoGroup."""
    v1_path, v2_path = own_group_paths()
    mounts = cgroup_mounts()
    if v1_path is not None:
        for fstype, root, point, options in mounts:
            if fstype == "cgroup" and "memory" in options:
                folder = folder_of(v1_path, root, point)
                if folder and os.path.isdir(folder):
                    return 1, folder
        raise NoGroup(f"the memory group {v1_path} (cgroup v1) is not mounted here")
    if v2_path is None:
        raise NoGroup("/proc/self/cgroup names no memory group")
    for fstype, root, point, _ in mounts:
        if fstype == "cgroup2":
            folder = folder_of(v2_path, root, point)
            if folder and os.path.isdir(folder):
                return 2, folder
    raise NoGroup(f"the group {v2_path} (cgroup v2) is not mounted here")


class Parent:
    """This process's own memory group, under which the scan makes its child groups."""

    def __init__(self):
        self.version, self.folder = find_parent()
        self.enabled_memory = False
        if self.version == 2:
            self._enable_memory_v2()
        self.serial = 0

    def _enable_memory_v2(self):
        controllers = self._words("cgroup.controllers")
        if "memory" not in controllers:
            raise NoGroup(f"the memory controller is not available in {self.folder} "
                          f"(cgroup.controllers: {' '.join(controllers) or 'none'})")
        if "memory" in self._words("cgroup.subtree_control"):
            return
        try:
            write_file(os.path.join(self.folder, "cgroup.subtree_control"), "+memory")
        except OSError as e:
            raise NoGroup(f"the memory controller is not enabled for the children of "
                          f"{self.folder} and enabling it failed: {e.strerror}") from e
        self.enabled_memory = True

    def _words(self, name):
        try:
            return read_file(os.path.join(self.folder, name)).split()
        except OSError:
            return []

    def restore(self):
        if self.enabled_memory:
            try:
                write_file(os.path.join(self.folder, "cgroup.subtree_control"), "-memory")
            except OSError:
                pass

    def new_group(self):
        self.serial += 1
        return Group(self, f"memory_scan.{os.getpid()}.{self.serial}")


class Group:
    """One child memory group: made on creation, removed by remove()."""

    def __init__(self, parent, name):
        self.version = parent.version
        self.folder = os.path.join(parent.folder, name)
        os.mkdir(self.folder)
        self.procs = os.path.join(self.folder, "cgroup.procs")

    def _path(self, name):
        return os.path.join(self.folder, name)

    def set_limit(self, nbytes):
        if self.version == 2:
            write_file(self._path("memory.max"), str(nbytes))
            if os.path.exists(self._path("memory.swap.max")):
                write_file(self._path("memory.swap.max"), "0")
            return
        files = [self._path("memory.limit_in_bytes")]
        if os.path.exists(self._path("memory.memsw.limit_in_bytes")):
            files.append(self._path("memory.memsw.limit_in_bytes"))
        # Memory and swap may never be limited below memory alone: when the limit falls, the
        # memory limit goes first; when it rises, the memory and swap limit.
        if nbytes > int(read_file(files[0])):
            files.reverse()
        for path in files:
            write_file(path, str(nbytes))

    def join(self):
        """Moves the calling process into the group (run in the child before exec)."""
        write_file(self.procs, str(os.getpid()))

    def peak_bytes(self):
        for name in ("memory.max_usage_in_bytes", "memory.peak"):
            try:
                return int(read_file(self._path(name)))
            except (OSError, ValueError):
                pass
        return None

    def oom_kills(self):
        name = "memory.oom_control" if self.version == 1 else "memory.events"
        try:
            for line in read_file(self._path(name)).splitlines():
                key, _, value = line.partition(" ")
                if key == "oom_kill":
                    return int(value)
        except (OSError, ValueError):
            pass
        return 0

    def pids(self):
        try:
            return [int(p) for p in read_file(self.procs).split()]
        except (OSError, ValueError):
            return []

    def kill_all(self):
        for _ in range(100):
            pids = self.pids()
            if not pids:
                return
            for pid in pids:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            time.sleep(0.02)

    def remove(self):
        self.kill_all()
        for _ in range(250):
            try:
                os.rmdir(self.folder)
                return
            except FileNotFoundError:
                return
            except OSError as e:
                if e.errno != errno.EBUSY:
                    raise
                time.sleep(0.02)
        raise OSError(errno.EBUSY, f"cannot remove the group {self.folder}")


def probe(parent):
    """Makes a group, limits it and runs a process in it; raises NoGroup when that fails."""
    try:
        group = parent.new_group()
    except OSError as e:
        raise NoGroup(f"cannot make a group in {parent.folder}: {e.strerror}") from e
    try:
        try:
            group.set_limit(256 * MB)
        except OSError as e:
            raise NoGroup(f"cannot set a memory limit in {group.folder}: {e.strerror}") from e
        joined = subprocess.run(["sh", "-c", 'echo $$ > "$1"', "sh", group.procs],
                                stdin=subprocess.DEVNULL, capture_output=True, text=True)
        if joined.returncode != 0:
            raise NoGroup(f"cannot move a process into {group.folder}: "
                          f"{joined.stderr.strip() or 'status %d' % joined.returncode}")
    finally:
        group.remove()


# ---------------------------------------------------------------------------------------------
# Input and reports: the page cache, staging, memory file systems


def file_system_type(path):
    """The type of the file system that holds `path` (from /proc/self/mountinfo)."""
    path = os.path.realpath(path)
    found, found_point = None, ""
    with open("/proc/self/mountinfo") as f:
        for line in f:
            before, _, after = line.partition(" - ")
            fields, tail = before.split(), after.split()
            if len(fields) < 5 or not tail:
                continue
            point = unescape_mount_path(fields[4])
            inside = path == point or path.startswith(point.rstrip("/") + "/")
            # The longest mount point holding the path; of equal ones the last mounted.
            if inside and len(point) >= len(found_point):
                found, found_point = tail[0], point
    return found


def check_reports_folder(folder):
    """Raises NotMemoryFileSystem unless `folder` is a folder on a memory file system."""
    if not os.path.isdir(folder):
        raise NotMemoryFileSystem(f"{folder} is not a folder")
    fstype = file_system_type(folder)
    if fstype not in MEMORY_FILE_SYSTEMS:
        raise NotMemoryFileSystem(f"{folder} is on {fstype or 'an unknown file system'}, not on "
                                  f"a memory file system ({' or '.join(MEMORY_FILE_SYSTEMS)})")


def drop_from_cache(path):
    """Writes the file's dirty pages back and drops its pages from the page cache."""
    fd = os.open(path, os.O_RDONLY)
    try:
        os.fsync(fd)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
    finally:
        os.close(fd)


def cached_pages(path):
    """How many pages of the file are in the page cache (mincore(2) of a mapping of it)."""
    size = os.path.getsize(path)
    if size == 0:
        return 0
    libc = ctypes.CDLL(None, use_errno=True)
    libc.mmap.restype = ctypes.c_void_p
    libc.mmap.argtypes = (ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int, ctypes.c_int,
                          ctypes.c_int, ctypes.c_long)
    libc.mincore.argtypes = (ctypes.c_void_p, ctypes.c_size_t, ctypes.c_void_p)
    libc.munmap.argtypes = (ctypes.c_void_p, ctypes.c_size_t)
    pages = (size + mmap.PAGESIZE - 1) // mmap.PAGESIZE
    with open(path, "rb") as f:
        address = libc.mmap(None, size, mmap.PROT_READ, mmap.MAP_SHARED, f.fileno(), 0)
    if address in (None, ctypes.c_void_p(-1).value):
        raise OSError(ctypes.get_errno(), f"cannot map {path}")
    try:
        vector = (ctypes.c_ubyte * pages)()
        if libc.mincore(ctypes.c_void_p(address), size, vector) != 0:
            raise OSError(ctypes.get_errno(), f"mincore of {path} failed")
        return sum(byte & 1 for byte in vector)
    finally:
        libc.munmap(ctypes.c_void_p(address), size)


def drop_inputs(opts, check=False):
    """Drops the input files from the page cache (--fresh). With `check`, raises SetupFailed when
    pages of one stay cached, as those of a file on a memory file system do."""
    for path in (opts.cell_file, opts.net_file):
        drop_from_cache(path)
        left = cached_pages(path) if check else 0
        if left:
            raise SetupFailed(f"--fresh: {left} pages of {path} stay in the page cache after "
                              f"they are dropped ({file_system_type(path)})")


def staged_inputs(opts, work):
    """The input files a run reads and the copies it makes of them (source, copy) with
    --staged: both files, or only the cell file when the net file comes through a pipe."""
    if not opts.staged:
        return opts.cell_file, opts.net_file, []
    folder = os.path.join(work, "staged")
    os.mkdir(folder)
    cell_file = os.path.join(folder, "cells." + os.path.basename(opts.cell_file))
    net_file = os.path.join(folder, "nets." + os.path.basename(opts.net_file))
    if opts.pipe:
        return cell_file, opts.net_file, [(opts.cell_file, cell_file)]
    return cell_file, net_file, [(opts.cell_file, cell_file), (opts.net_file, net_file)]


def staging_command(copies, command):
    """`command` run after the copies are made, by the same process (see STAGE_SCRIPT)."""
    if not copies:
        return command
    pairs = [path for pair in copies for path in pair]
    return ["sh", "-c", STAGE_SCRIPT, "memory_scan-stage", *pairs, "--", *command]


# ---------------------------------------------------------------------------------------------
# Runs


class Run:
    """What one run of the program did. `inputs` are the paths the program was given for the
    cell and net file (the staged copies with --staged), `not_started` why the program could
    not be started in the group (None when it was)."""

    def __init__(self, status, timed_out, stdout, stderr, files, peak, oom_kills, seconds):
        self.status, self.timed_out = status, timed_out
        self.stdout, self.stderr = stdout, stderr
        self.files, self.peak, self.oom_kills, self.seconds = files, peak, oom_kills, seconds
        self.inputs, self.not_started = (), None


def read_folder(folder):
    """Every file under `folder` (relative path -> bytes)."""
    files = {}
    for dirpath, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(dirpath, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, folder)] = f.read()
    return files


def program_command(opts, cell_file, net_file):
    command = [opts.program, "--bm_name", opts.bm_name, "--cell_file", cell_file,
               "--net_file", net_file]
    if opts.avail_layer is not None:
        command += ["--avail_layer", str(opts.avail_layer)]
    if opts.threads is not None:
        command += ["--threads", str(opts.threads)]
    return command


def start_feeder(opts):
    """A `cat` of the net file into a pipe: (its process, the read end)."""
    read_end, write_end = os.pipe()
    try:
        feeder = subprocess.Popen(["cat", opts.net_file], stdin=subprocess.DEVNULL,
                                  stdout=write_end)
    except OSError:
        os.close(read_end)
        raise
    finally:
        os.close(write_end)
    return feeder, read_end


def report_folder(opts, work):
    """The folder the program runs in: in the run's own folder, or a fresh one in the
    --reports-on-tmpfs folder."""
    if opts.reports_on_tmpfs:
        return tempfile.mkdtemp(dir=opts.reports_on_tmpfs, prefix="memory_scan.")
    folder = os.path.join(work, "folder")
    os.mkdir(folder)
    return folder


def run_program(opts, scratch, group):
    """Runs the program once in `group` in a fresh folder and collects what it did."""
    work = tempfile.mkdtemp(dir=scratch, prefix="run.")
    folder = None
    try:
        folder = report_folder(opts, work)
        return run_in_folder(opts, work, folder, group)
    finally:
        if folder is not None and opts.reports_on_tmpfs:
            shutil.rmtree(folder, ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)


def run_in_folder(opts, work, folder, group):
    """Runs the program once in `group` with `folder` as its working folder."""
    out_path, err_path = os.path.join(work, "stdout"), os.path.join(work, "stderr")
    cell_file, net_file, copies = staged_inputs(opts, work)
    feeder, read_end = start_feeder(opts) if opts.pipe else (None, None)
    if opts.pipe:
        net_file = f"/dev/fd/{read_end}"
    command = staging_command(copies, program_command(opts, cell_file, net_file))
    started = time.monotonic()
    process, not_started, timed_out = None, None, False
    try:
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            try:
                process = subprocess.Popen(command, cwd=folder, stdin=subprocess.DEVNULL,
                                           stdout=out, stderr=err,
                                           pass_fds=(read_end,) if opts.pipe else (),
                                           preexec_fn=group.join)
            except OSError as e:
                # The program itself cannot be executed in the group (the check of the command
                # line found it executable): exec failed, for want of memory say.
                not_started = f"{e.strerror or e}"
        if read_end is not None:
            os.close(read_end)
            read_end = None
        if process is not None:
            timed_out = wait_for(process, opts.timeout)
    finally:
        if read_end is not None:
            os.close(read_end)
        stop(process)
        stop(feeder)
    seconds = time.monotonic() - started
    with open(out_path, "rb") as out, open(err_path, "rb") as err:
        stdout, stderr = out.read(), err.read()
    run = Run(process.returncode if process else None, timed_out, stdout, stderr,
              read_folder(folder), group.peak_bytes(), group.oom_kills(), seconds)
    run.inputs, run.not_started = (cell_file, net_file), not_started
    return run


def wait_for(process, timeout):
    """Waits for the process; True when it had to be killed at the timeout."""
    try:
        process.wait(timeout=timeout)
        return False
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        return True


def stop(process):
    if process is not None and process.poll() is None:
        process.kill()
        process.wait()


def run_in_group(parent, opts, scratch, limit_bytes):
    """One run in a fresh child group limited to `limit_bytes` (None: no limit of its own)."""
    if opts.fresh:
        drop_inputs(opts)
    group = parent.new_group()
    try:
        if limit_bytes is not None:
            group.set_limit(limit_bytes)
        return run_program(opts, scratch, group)
    finally:
        group.remove()


# ---------------------------------------------------------------------------------------------
# Outcomes


def stdout_lines(run):
    return run.stdout.split(b"\n")[:-1] if run.stdout.endswith(b"\n") else run.stdout.split(b"\n")


def without_timestamp(line):
    return TIMESTAMP.sub(b"", line)


def normalized(text):
    return NUMBER.sub("N", text)


def count_of(count, noun):
    return f"{count} {noun}" + ("" if count == 1 else "s")


def shown(data, limit=120):
    text = data.decode("utf-8", "backslashreplace").replace("\x1b", "\\e")
    return text if len(text) <= limit else text[:limit] + "..."


def closing_lines(run, count=3):
    return [without_timestamp(line) for line in stdout_lines(run)[-count:]]


def signal_name(number):
    try:
        return signal.Signals(number).name
    except ValueError:
        return f"signal {number}"


def kill_problems(run, timeout):
    """What a run that did not end by itself shows, or [] when it ended on its own."""
    if run.not_started:
        return [f"not started: {run.not_started}"]
    if run.timed_out:
        return [f"hang: no end within {timeout:g} s"]
    oom = " (OOM kill in the group)" if run.oom_kills else ""
    if run.status < 0:
        return [f"killed by {signal_name(-run.status)}{oom}"]
    if run.status == 137:
        return [f"status 137{oom}"]
    return []


def report_problems(files, reference_files):
    """How the files a run left ({name: bytes}) differ from those of the reference run."""
    problems = []
    for name in sorted(set(files) | set(reference_files)):
        if name not in files:
            problems.append(f"report {name} missing")
        elif name not in reference_files:
            problems.append(f"file {name} not written by the reference run")
        elif files[name] != reference_files[name]:
            problems.append(f"report {name} differs from the reference")
    return problems


def complete_problems(run, reference, error_count):
    problems = report_problems(run.files, reference.files)
    if error_count:
        problems.append(f"{count_of(error_count, 'Error line')} in a run with status 0")
    if closing_lines(run) != closing_lines(reference):
        problems.append("standard output does not end with the closing banner: "
                        + shown(stdout_lines(run)[-1] if run.stdout else b"(empty)"))
    return problems


def after_error_line(run):
    """The Error line and the lines after it, without their timestamps."""
    lines = [without_timestamp(line) for line in stdout_lines(run)]
    return next(lines[at:] for at, line in enumerate(lines) if ERROR_MARK in line)


def unwritten_report(error_line):
    """The report that an Error line says could not be written, or None."""
    found = REPORT_ERROR.search(error_line)
    return found.group(1).decode("utf-8", "backslashreplace") if found else None


def masked_lines(lines):
    return [MEMORY_FIGURES.sub(b"N", line) for line in lines]


def report_error_problems(run, lines, errors, reports, reference):
    """What is wrong with a run whose Error lines each say that another report could not be
    written: it goes on as the complete run, an Error line where that run finished writing the
    report, leaves none of those reports and leaves the others as the complete run wrote them."""
    problems = [f"report {report} left after its Error line"
                for report in reports if report in run.files]
    problems += report_problems(
        {name: text for name, text in run.files.items() if name not in reports},
        {name: text for name, text in reference.files.items() if name not in reports})
    as_complete = [b"Finish writing " + unwritten_report(line).encode() if at in errors else line
                   for at, line in enumerate(lines)][errors[0]:]
    complete = [without_timestamp(line) for line in stdout_lines(reference)]
    finished = complete.index(as_complete[0]) if as_complete[0] in complete else len(complete)
    if masked_lines(as_complete) != masked_lines(complete[finished:]):
        problems.append("standard output after the Error line differs from the complete run's "
                        "after it wrote " + reports[0])
    return problems


def error_problems(run, error_count, reference):
    """What is wrong with a run of status 1: it ends after its one Error line as a run given a
    missing cell file does, and leaves no report; or each of its Error lines says that another
    report could not be written (see report_error_problems)."""
    if error_count == 0:
        return ["status 1 without an Error line"]
    lines = [without_timestamp(line) for line in stdout_lines(run)]
    errors = [at for at, line in enumerate(lines) if ERROR_MARK in line]
    problems = [f"the Error line does not begin the line: {shown(lines[at])}"
                for at in errors if not lines[at].startswith(ERROR_MARK)]
    reports = [unwritten_report(lines[at]) for at in errors]
    if None not in reports and len(set(reports)) == len(reports) == error_count:
        return problems + report_error_problems(run, lines, errors, reports, reference)
    if error_count > 1:
        return [count_of(error_count, "Error line")]
    after = lines[errors[0] + 1:]
    if after != reference.error_ending:
        last = f", the last: {shown(after[-1])}" if after else ""
        problems.append("the end of standard output after the Error line differs from an "
                        f"Error run's ({count_of(len(after), 'line')}{last})")
    if run.files:
        problems.append("reports left after an Error: " + ", ".join(sorted(run.files)))
    return problems


def error_text(run, opts):
    """The Error line's text, the input paths (the staged copies' too) as <cell_file> and
    <net_file>, numbers as N."""
    line = next(l for l in stdout_lines(run) if ERROR_MARK in l)
    text = line.split(ERROR_MARK, 1)[1].decode("utf-8", "backslashreplace")
    names = list(zip(run.inputs, ("<cell_file>", "<net_file>")))
    for path, name in names + [(opts.cell_file, "<cell_file>"), (opts.net_file, "<net_file>")]:
        text = text.replace(path, name)
    return normalized(text)


def classify(run, reference, opts):
    """'complete', 'error: <text>' or 'VIOLATION: <problems>'. `reference` is the complete run
    without a limit, with the lines after the Error line of an Error run as `error_ending`."""
    error_count = run.stdout.count(ERROR_MARK)
    problems = kill_problems(run, opts.timeout)
    if not problems:
        if run.status == 0:
            problems = complete_problems(run, reference, error_count)
        elif run.status == 1:
            problems = error_problems(run, error_count, reference)
        else:
            problems = [f"status {run.status}"]
    if run.stderr:
        problems.append("standard error: " + normalized(shown(run.stderr.strip()[:200])))
    if problems:
        return "VIOLATION: " + "; ".join(problems)
    return "complete" if run.status == 0 else "error: " + error_text(run, opts)


def is_violation(outcome):
    return outcome.startswith("VIOLATION")


# ---------------------------------------------------------------------------------------------
# Scan


def megabytes(nbytes):
    return "-" if nbytes is None else f"{nbytes / MB:.1f}"


def reference_run(parent, opts, scratch):
    """The run without a limit; raises SetupFailed when it does not complete (or, with --fresh,
    when the input files cannot be dropped from the page cache)."""
    if opts.fresh:
        drop_inputs(opts, check=True)
    run = run_in_group(parent, opts, scratch, None)
    problems = kill_problems(run, opts.timeout)
    if run.status != 0 or problems or run.stderr or run.stdout.count(ERROR_MARK):
        tail = b"\n".join(stdout_lines(run)[-3:])
        raise SetupFailed(f"the run without a limit does not complete (status {run.status}"
                          f"{'; ' + '; '.join(problems) if problems else ''}); standard output "
                          f"ends with:\n{shown(tail, 2000)}\nstandard error:\n"
                          f"{shown(run.stderr, 2000)}")
    if not run.files:
        raise SetupFailed("the run without a limit writes no report")
    return run


def error_ending(parent, opts, scratch):
    """The lines (without timestamps) after the Error line of a run given a missing cell file;
    raises SetupFailed when that run does not end with status 1 and one Error line."""
    missing = copy.copy(opts)
    missing.cell_file = os.path.join(scratch, "missing_cells.txt")
    missing.fresh = missing.staged = False  # nothing to drop or copy
    run = run_in_group(parent, missing, scratch, None)
    if run.status != 1 or run.stdout.count(ERROR_MARK) != 1:
        raise SetupFailed(f"a run given a missing cell file ends with status {run.status} and "
                          f"{count_of(run.stdout.count(ERROR_MARK), 'Error line')}")
    return after_error_line(run)[1:]


def program_peak(run):
    """The peak the program reports itself (`MEM: cur=..MB, peak=..MB`), in bytes."""
    found = re.search(rb"MEM: cur=[^,]*MB, peak=([0-9.]+)MB", run.stdout)
    return int(float(found.group(1)) * MB) if found else None


def default_to(opts, peak):
    """The first coarse limit at least a tenth above the reference run's peak."""
    target = math.ceil(peak * 1.1 / MB) if peak else opts.start + 10 * opts.step
    steps = max(0, math.ceil((target - opts.start) / opts.step))
    return opts.start + steps * opts.step


class Scan:
    """The limits tried so far and their outcomes."""

    def __init__(self, parent, opts, scratch, reference):
        self.parent, self.opts, self.scratch, self.reference = parent, opts, scratch, reference
        self.outcomes = {}

    def run(self, limit):
        run = run_in_group(self.parent, self.opts, self.scratch, limit * MB)
        outcome = classify(run, self.reference, self.opts)
        self.outcomes[limit] = outcome
        seen = f"peak {megabytes(run.peak)} MB, {run.seconds:.2f} s"
        if is_violation(outcome) and run.stdout:
            seen += ", last output: " + shown(without_timestamp(stdout_lines(run)[-1]), 60)
        print(f"{limit:7d} MB  {outcome}  ({seen})", flush=True)
        return outcome

    def sweep(self, end):
        previous = None
        for limit in coarse_limits(self.opts.start, end, self.opts.step):
            outcome = self.run(limit)
            if previous is not None and self.outcomes[previous] != outcome:
                for fine in range(previous + self.opts.fine, limit, self.opts.fine):
                    self.run(fine)
            previous = limit


def coarse_limits(start, end, step):
    limits = list(range(start, end + 1, step))
    if limits[-1] != end:
        limits.append(end)
    return limits


def outcome_ranges(outcomes):
    """Runs of neighbouring tried limits with one outcome: (first, last, count, outcome)."""
    ranges = []
    for limit in sorted(outcomes):
        if ranges and ranges[-1][3] == outcomes[limit]:
            first, _, count, outcome = ranges[-1]
            ranges[-1] = (first, limit, count + 1, outcome)
        else:
            ranges.append((limit, limit, 1, outcomes[limit]))
    return ranges


def print_summary(outcomes):
    limits = sorted(outcomes)
    print(f"Summary: {len(limits)} limits tried, {limits[0]} .. {limits[-1]} MB")
    print("Outcomes:")
    counts = {}
    for outcome in outcomes.values():
        counts[outcome] = counts.get(outcome, 0) + 1
    for outcome, count in sorted(counts.items(), key=lambda item: (-item[1], item[0])):
        print(f"  {count:5d}  {outcome}")
    print("By limit:")
    for first, last, count, outcome in outcome_ranges(outcomes):
        span = f"{first}" if first == last else f"{first} .. {last}"
        print(f"  {span:>14} MB ({count:3d} tried)  {outcome}")
    bad = [limit for limit in limits if is_violation(outcomes[limit])]
    if bad:
        print(f"VIOLATIONS at {len(bad)} limit(s): " + ", ".join(f"{l} MB" for l in bad))
    else:
        print("No violation.")
    return bool(bad)


# ---------------------------------------------------------------------------------------------
# Command line


def positive_int(text):
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, got {value}")
    return value


def parse_options(argv):
    parser = argparse.ArgumentParser(
        description="Runs the program under a range of memory limits of a control group and "
                    "checks that every run either completes or ends with exactly one Error line.")
    parser.add_argument("--program", required=True, help="the program to run")
    parser.add_argument("--cell_file", required=True)
    parser.add_argument("--net_file", required=True)
    parser.add_argument("--avail_layer", type=int)
    parser.add_argument("--threads", type=int)
    parser.add_argument("--bm_name", default="scan", help="benchmark name given to the program")
    parser.add_argument("--from", dest="start", type=positive_int, default=10,
                        help="lowest limit in MB (default 10)")
    parser.add_argument("--to", dest="end", type=positive_int,
                        help="highest limit in MB (default: the first step a tenth above the "
                             "peak of the run without a limit)")
    parser.add_argument("--step", type=positive_int, default=10,
                        help="MB between coarse limits (default 10)")
    parser.add_argument("--fine", type=positive_int, default=1,
                        help="MB between the limits tried where coarse outcomes change "
                             "(default 1)")
    parser.add_argument("--pipe", action="store_true",
                        help="give the net file through a pipe (/dev/fd/N)")
    parser.add_argument("--fresh", action="store_true",
                        help="drop the input files from the page cache before every run, so "
                             "that the run's reading charges its group")
    parser.add_argument("--staged", action="store_true",
                        help="copy the input files into the run's folder from inside its group "
                             "before the program starts on the copies (with --pipe only the "
                             "cell file)")
    parser.add_argument("--reports-on-tmpfs", dest="reports_on_tmpfs", metavar="DIR",
                        help="run the program in a fresh folder in DIR, a folder on tmpfs or "
                             "ramfs, so that its reports take the group's memory (skipped "
                             "where DIR is not on one)")
    parser.add_argument("--timeout", type=float, default=120,
                        help="seconds a run may take before it counts as a hang (default 120)")
    opts = parser.parse_args(argv)
    if opts.end is not None and opts.end < opts.start:
        parser.error(f"--to {opts.end} is below --from {opts.start}")
    for name in ("program", "cell_file", "net_file", "reports_on_tmpfs"):
        if getattr(opts, name) is not None:
            setattr(opts, name, os.path.abspath(getattr(opts, name)))
    if not os.access(opts.program, os.X_OK):
        parser.error(f"cannot run {opts.program}")
    return opts


def stop_on_signal(signum, _frame):
    raise ScanAborted(signal.Signals(signum).name)


def scan(opts, parent, scratch):
    reference = reference_run(parent, opts, scratch)
    reference.error_ending = error_ending(parent, opts, scratch)
    peak = reference.peak or program_peak(reference)
    end = opts.end if opts.end is not None else default_to(opts, peak)
    print(f"Reference run without a limit: complete, peak {megabytes(peak)} MB, "
          f"{reference.seconds:.2f} s; an Error run prints "
          f"{count_of(len(reference.error_ending), 'line')} after its Error line; "
          f"limits {opts.start} .. {end} MB, step {opts.step}, fine {opts.fine}", flush=True)
    if ways(opts):
        print("Every run: " + "; ".join(ways(opts)), flush=True)
    sweep = Scan(parent, opts, scratch, reference)
    sweep.sweep(end)
    return 1 if print_summary(sweep.outcomes) else 0


def ways(opts):
    """How the input and the reports reach the runs, in words."""
    said = []
    if opts.fresh:
        said.append("the input files dropped from the page cache first")
    if opts.staged:
        said.append("the cell file" + ("" if opts.pipe else " and the net file")
                    + " copied into the run's folder from inside its group")
    if opts.pipe:
        said.append("the net file through a pipe")
    if opts.reports_on_tmpfs:
        said.append(f"the reports in a folder in {opts.reports_on_tmpfs} "
                    f"({file_system_type(opts.reports_on_tmpfs)})")
    return said


def skipped(reason):
    print(f"{SKIP_PREFIX} {reason}")
    return 0


def main(argv):
    opts = parse_options(argv)
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, stop_on_signal)
    if opts.reports_on_tmpfs:
        try:
            check_reports_folder(opts.reports_on_tmpfs)
        except NotMemoryFileSystem as e:
            return skipped(f"the reports cannot go to a memory file system: {e}")
    try:
        parent = Parent()
    except NoGroup as e:
        return skipped(f"no child memory control group can be made: {e}")
    scratch = tempfile.mkdtemp(prefix="memory_scan.")
    try:
        probe(parent)
        return scan(opts, parent, scratch)
    except NoGroup as e:
        return skipped(f"no child memory control group can be made: {e}")
    except (KeyboardInterrupt, ScanAborted) as e:
        print(f"memory_scan: stopped ({str(e) or 'interrupted'})", file=sys.stderr)
        return 2
    except SetupFailed as e:
        print(f"memory_scan: {e}", file=sys.stderr)
        return 2
    except (OSError, subprocess.SubprocessError) as e:
        print(f"memory_scan: a run could not be set up: {e}", file=sys.stderr)
        return 2
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
        parent.restore()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
