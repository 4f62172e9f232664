# SPDX-License-Identifier: MIT
"""Reads the power status READS times through the supctl module, then by
running supctl -j as many times and reading its JSON, and prints both times.
Run under supctl-sim by bench/run-python-bench."""
import json
import subprocess
import sys
import time

import supctl


def through_module(reads: int) -> None:
    with supctl.Supervisor() as board:
        for _ in range(reads):
            board.power_status()


def through_processes(reads: int, program: str) -> None:
    for _ in range(reads):
        json.loads(subprocess.run([program, "-j"], capture_output=True, check=True).stdout)


def seconds(run, *args) -> float:
    start = time.perf_counter()
    run(*args)
    return time.perf_counter() - start


def main() -> None:
    program, reads = sys.argv[1], int(sys.argv[2])
    module = seconds(through_module, reads)
    processes = seconds(through_processes, reads, program)
    print(f"{reads} power status reads: module {module:.3f} s ({1e6 * module / reads:.0f} us each), "
          f"supctl -j {processes:.3f} s ({1e6 * processes / reads:.0f} us each), "
          f"{processes / module:.0f} times faster")


if __name__ == "__main__":
    main()
