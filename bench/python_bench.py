# SPDX-License-Identifier: MIT
"""Reads the power status READS times through the supctl module, and as
many times by running supctl -j and reading its JSON, in ten alternating
rounds so that both see the same load on the machine; prints both times.
Run under supctl-sim by bench/run-python-bench."""
import json
import subprocess
import sys
import time

import supctl

ROUNDS = 10


def through_module(board: supctl.Supervisor, reads: int) -> None:
    for _ in range(reads):
        board.power_status()


def through_processes(program: str, reads: int) -> None:
    for _ in range(reads):
        json.loads(subprocess.run([program, "-j"], capture_output=True, check=True).stdout)


def main() -> None:
    program, reads = sys.argv[1], int(sys.argv[2])
    module = processes = 0.0
    with supctl.Supervisor() as board:
        for _ in range(ROUNDS):
            start = time.perf_counter()
            through_module(board, reads // ROUNDS)
            middle = time.perf_counter()
            through_processes(program, reads // ROUNDS)
            module += middle - start
            processes += time.perf_counter() - middle
    print(f"{reads} power status reads: module {module:.3f} s ({1e6 * module / reads:.0f} us each), "
          f"supctl -j {processes:.3f} s ({1e6 * processes / reads:.0f} us each): "
          f"the module {processes / module:.1f} times faster")


if __name__ == "__main__":
    main()
