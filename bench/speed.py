#!/usr/bin/env python3
"""The jobs' speed against their bound on the wire: see bench/run.sh."""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BYTE_S = 10 / 4800  # a byte on the 4800-baud line: start bit, 8 data bits, stop bit
WORD_PROGRAM_S = 0.004  # PIC16F84A: a program word, the configuration word
EEPROM_WRITE_S = 0.004  # an EEPROM byte
BULK_ERASE_S = 0.008  # program memory or the whole EEPROM

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def full_hex():
    """1024 words in 128 records of 8, as bench/JobsBench.cpp makes them."""
    lines = []
    for word in range(0, 1024, 8):
        data = []
        for i in range(0, 16, 2):
            data += [(word + i) & 0xFF, 0x28]
        record = [16, (2 * word) >> 8, (2 * word) & 0xFF, 0] + data
        record.append((-sum(record)) & 0xFF)
        lines.append(":" + "".join("%02X" % b for b in record))
    lines.append(":00000001FF")
    return "\r\n".join(lines) + "\r\n"


def eeprom_data():
    return "".join("%d,%d,%d,%d\r\n" % (2 * k, (7 * k) & 0xFF, 2 * k + 1, (k + 100) & 0xFF)
                   for k in range(32))


def parse_trace(path):
    """The in-process simulated Writer's trace: (ms, kind, bytes)."""
    events = []
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) < 2:
                continue
            ms, kind = int(parts[0]), parts[1]
            data = [int(x, 16) for x in parts[2:] if re.fullmatch(r"[0-9A-F]{2}", x)]
            events.append((ms, kind, data))
    return events


def bound_of(events):
    """Replays the exchange on an ideal link: the job's pauses (the gaps of
    the in-process trace, whose replies come at once), every byte 10 bit
    times, the PIC's programming times; a read waits for its bytes, a pause
    hides the wire time that falls into it. Returns (bound s, out, in, pauses s)."""
    t = out_free = in_free = ready = 0.0
    prev_ms = None
    cmd, ndata = None, 0
    sent = received = 0
    pauses = 0.0
    for ms, kind, data in events:
        if kind == "open":
            prev_ms, t, out_free, in_free, ready = ms, t, t, t, t
        gap = ms - (prev_ms if prev_ms is not None else ms)
        prev_ms = ms
        # The pauses are whole tens of ms and a sleep never ends early; what
        # is left over is our own work, no part of the bound.
        pause = (gap // 10) * 10 / 1000
        t += pause
        pauses += pause
        if kind == "w":
            for b in data:
                sent += 1
                out_free = max(t, out_free) + BYTE_S
                work = 0.0
                if b < 0x80:
                    cmd, ndata = b, 0
                    if cmd in (ord("L"), ord("F")):
                        work = BULK_ERASE_S
                else:
                    ndata += 1
                    if cmd in (ord("D"), ord("G")) and ndata == 2:
                        work = WORD_PROGRAM_S
                    elif cmd == ord("M") and ndata % 2 == 0:
                        work = EEPROM_WRITE_S
                ready = max(ready, out_free) + work
        elif kind == "r" and data:
            received += len(data)
            in_free = max(in_free, ready) + len(data) * BYTE_S
            t = max(t, in_free)
    return t, sent, received, pauses


class Runner:
    def __init__(self, build, work):
        self.cli = os.path.join(build, "cli", "qlarkw-cli")
        self.sim = os.path.join(build, "tools", "qlarkw-sim", "qlarkw-sim")
        self.gui = os.path.join(build, "app", "qlarkw")
        self.work = work
        self.env = dict(os.environ)
        for name in list(self.env):
            if name.startswith("QLARKW_"):
                del self.env[name]
        self.env.update(HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"), TMPDIR=work)

    def run(self, args, extra_env=None, program=None):
        """Runs a program to its end: (wall s, CPU s, exit status, stderr)."""
        env = dict(self.env)
        env.update(extra_env or {})
        start = time.monotonic()
        proc = subprocess.Popen([program or self.cli] + args, env=env, cwd=self.work,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE)
        err = proc.stderr.read()
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.monotonic() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
        return wall, usage.ru_utime + usage.ru_stime, proc.returncode, err.decode(errors="replace")

    def start_sim(self, *args):
        sim = subprocess.Popen([self.sim] + list(args), env=self.env, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
        path = sim.stdout.readline().strip()
        return sim, path


def job_list(work):
    full = os.path.join(work, "full.hex")
    data = os.path.join(work, "eeprom.txt")
    with open(full, "w") as f:
        f.write(full_hex())
    with open(data, "w") as f:
        f.write(eeprom_data())
    blink = os.path.join(ROOT, "samples", "blink.hex")
    board = ["--board", "2"]
    # In an order that keeps the chip as the next job expects it.
    return [
        ("erase", ["erase"] + board),
        ("full write (1024 words)", ["write", full, "--config", "26"] + board),
        ("write with verify", ["write", full, "--config", "26", "--verify"] + board),
        ("verify", ["verify", full, "--config", "26"] + board),
        ("read", ["read", "-o", os.path.join(work, "back.hex")] + board),
        ("sparse write (blink)", ["write", blink] + board),
        ("EEPROM file write", ["eeprom", "write", data] + board),
        ("EEPROM read", ["eeprom", "read", "-o", os.path.join(work, "eeprom-back.txt")] + board),
        ("configuration read", ["config"] + board),
    ]


def median_runs(runner, args, runs, extra_env):
    walls, cpus = [], []
    for _ in range(runs):
        wall, cpu, code, err = runner.run(args, extra_env)
        if code != 0:
            sys.exit("bench: qlarkw-cli %s failed (%d): %s" % (" ".join(args), code, err))
        walls.append(wall)
        cpus.append(cpu)
    return statistics.median(walls), statistics.median(cpus)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--quick", action="store_true", help="one run per job, not three")
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="the build folder")
    parser.add_argument("--runs", type=int, help="runs per job (median)")
    opts = parser.parse_args()
    runs = opts.runs or (1 if opts.quick else 3)
    work = tempfile.mkdtemp(prefix="qlarkw-bench-")
    try:
        runner = Runner(os.path.abspath(opts.build), work)
        for program in (runner.cli, runner.sim, runner.gui):
            if not os.access(program, os.X_OK):
                sys.exit("bench: %s is not built" % program)
        jobs = job_list(work)
        print("qlarkw speed: %d run(s) per paced job (median), %s" %
              (runs, time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())))
        print()

        # 1. Bytes and bounds from the in-process simulated Writer's trace;
        #    its wall time is the pauses plus our own work.
        chip = os.path.join(work, "chip.hex")
        bounds = {}
        inproc = {}
        for name, args in jobs:
            trace = os.path.join(work, "trace.txt")
            if os.path.exists(trace):
                os.remove(trace)
            wall, cpu, code, err = runner.run(args, {"QLARKW_DEVICE": "sim",
                                                     "QLARKW_SIM_STATE": chip,
                                                     "QLARKW_SIM_TRACE": trace})
            if code != 0:
                sys.exit("bench: in-process %s failed (%d): %s" % (name, code, err))
            bounds[name] = bound_of(parse_trace(trace))
            inproc[name] = (wall, cpu)

        # 2. The paced simulator on a pty, bridge latency 0. The process's
        #    own start and end (Qt, the settings file) are no part of the
        #    link: measured apart as a run whose device fails to open at once.
        starts, start_cpus = [], []
        for _ in range(max(runs, 5)):
            wall, cpu, _, _ = runner.run(["erase"], {"QLARKW_DEVICE": "serial:" + work +
                                                     "/no-such-tty"})
            starts.append(wall)
            start_cpus.append(cpu)
        start = statistics.median(starts)
        sim, path = runner.start_sim("--pace", "real")
        serial = {"QLARKW_DEVICE": "serial:" + path}
        print("Paced qlarkw-sim (--pace real, --latency 0) on a pty, serial backend. "
              "\"start\" is qlarkw-cli's own start and end without a link (%.3f s, the median "
              "of a run whose device fails to open; CPU %.3f s):" %
              (start, statistics.median(start_cpus)))
        print()
        print("| job | bytes PC→Writer | bytes Writer→PC | bound s | wall s | wall/bound "
              "| (wall − start)/bound | CPU s | CPU/wall |")
        print("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
        for name, args in jobs:
            wall, cpu = median_runs(runner, args, runs, serial)
            bound, sent, received, _ = bounds[name]
            print("| %s | %d | %d | %.3f | %.3f | %.3f | %.3f | %.3f | %.1f %% |" %
                  (name, sent, received, bound, wall, wall / bound, (wall - start) / bound, cpu,
                   100 * cpu / wall))
        sim.terminate()
        sim.wait()
        print()

        # 3. Our own overhead: the full write against the instant simulators.
        name, args = jobs[1]
        bound, _, _, pauses = bounds[name]
        sim, path = runner.start_sim("--pace", "instant")
        wall_pty, cpu_pty = median_runs(runner, args, runs, {"QLARKW_DEVICE": "serial:" + path})
        sim.terminate()
        sim.wait()
        wall_in, cpu_in = inproc[name]
        print("Our own time in the full write (wall time minus its %.3f s of pauses):" % pauses)
        print()
        print("| against | wall s | overhead s | overhead / bound | CPU s |")
        print("|---|---:|---:|---:|---:|")
        for label, wall, cpu in (("qlarkw-sim --pace instant (pty)", wall_pty, cpu_pty),
                                 ("in-process sim", wall_in, cpu_in)):
            print("| %s | %.3f | %.3f | %.2f %% | %.3f |" %
                  (label, wall, wall - pauses, 100 * (wall - pauses) / bound, cpu))
        print()

        # 4. The bridge at 16 ms: the full write with the timer left at 16 ms
        #    and with ours. A pty carries no latency call, so the simulator's
        #    --latency stands for the timer as the program leaves it.
        print("Full write with the bridge's latency timer (paced qlarkw-sim; bound %.3f s):" %
              bound)
        print()
        print("| bridge timer | program | wall s | wall/bound |")
        print("|---|---|---:|---:|")
        results = {}
        for label, latency, env in (
                ("16 ms (left at the default)", "16", {"QLARKW_LATENCY_MS": "16"}),
                ("1 ms (lowered by the program)", "1", {})):
            sim, path = runner.start_sim("--pace", "real", "--latency", latency)
            env = dict(env, QLARKW_DEVICE="serial:" + path)
            wall, _ = median_runs(runner, args, runs, env)
            sim.terminate()
            sim.wait()
            results[latency] = wall
            prog = "QLARKW_LATENCY_MS=16" if env.get("QLARKW_LATENCY_MS") else "default (1 ms)"
            print("| %s | %s | %.3f | %.3f |" % (label, prog, wall, wall / bound))
        print()
        print("Speed-up of the low timer: %.2f x" % (results["16"] / results["1"]))
        print()
        # The same in process, where the program's own call reaches the
        # simulated bridge (replies otherwise instant).
        print("In-process sim with the bridge at 16 ms (QLARKW_SIM_LATENCY=16), full write:")
        print()
        print("| program | wall s |")
        print("|---|---:|")
        for label, env in (("QLARKW_LATENCY_MS=16", {"QLARKW_LATENCY_MS": "16"}),
                           ("default (sets 1 ms)", {})):
            env = dict(env, QLARKW_DEVICE="sim", QLARKW_SIM_STATE=chip, QLARKW_SIM_LATENCY="16")
            wall, _ = median_runs(runner, args, runs, env)
            print("| %s | %.3f |" % (label, wall))
        print()

        # 5. The desktop program: time to its first painted window and peak
        #    memory, offscreen, against the in-process simulated Writer.
        firsts, sincemain, peaks = [], [], []
        timer = shutil.which("time") and "/usr/bin/time"
        for _ in range(max(runs, 3)):
            env = dict(runner.env, QT_QPA_PLATFORM="offscreen", QLARKW_STARTUP_PROBE="exit",
                       QLARKW_DEVICE="sim", QLARKW_SIM_STATE=chip)
            command = ([timer, "-v"] if timer else []) + [runner.gui]
            start = time.monotonic()
            proc = subprocess.Popen(command, env=env, cwd=work, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.PIPE, text=True)
            first = None
            lines = []
            for line in proc.stderr:
                lines.append(line)
                if first is None and "first paint" in line:
                    first = time.monotonic() - start
                    m = re.search(r"first paint (\d+) ms after main, peak memory (\d+) kB", line)
                    sincemain.append(int(m.group(1)))
                    peaks.append(int(m.group(2)))
            proc.wait()
            for line in lines:
                m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", line)
                if m:
                    peaks[-1] = max(peaks[-1], int(m.group(1)))
            if first is None:
                sys.exit("bench: qlarkw painted no window:\n" + "".join(lines))
            firsts.append(first)
        print("Desktop program (offscreen, QLARKW_DEVICE=sim), median of %d starts:" % len(firsts))
        print()
        print("| first painted window, from launch | from main() | peak memory |")
        print("|---:|---:|---:|")
        print("| %.0f ms | %d ms | %.1f MB |" % (1000 * statistics.median(firsts),
                                                 statistics.median(sincemain),
                                                 statistics.median(peaks) / 1024))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
