# SPDX-License-Identifier: MIT
"""The supctl module on a simulated board; ctest runs it under supctl-sim."""
import contextlib
import errno
import io
import os
import re
import subprocess
import unittest

import supctl
from supctl import Event, Events, PowerStatus, Rgb


def sim(*args: str) -> None:
    """Changes the test's board with supctl-sim."""
    command = [os.environ["SUPCTL_SIM"], "--state", os.environ["SUPCTL_SIM_STATE"], *args]
    subprocess.run(command, check=True, capture_output=True)


class OnTheBoard(unittest.TestCase):
    def setUp(self) -> None:
        sim("--reset", "--set", "events=")
        self.board = supctl.Supervisor()
        self.addCleanup(self.board.close)

    def test_replies(self) -> None:
        replies = [
            ("power_status", PowerStatus(True, True, False, False, 4012, 87)),
            ("device_id", bytes.fromhex("535550560001202612080a0b0c0d0e0f")),
            ("device_info", "Simulated power supervisor, firmware 1.3"),
            ("supervisor_mode", 1),
            ("active_mcus", [1, 2, 3]),
            ("active_usb_ports", [1, 2]),
            ("events", Events(0, ())),
            ("rgb", Rgb(0, 255, 0)),
            ("low_bat", 20),
            ("critical_low_bat", 10),
            ("accel_sensitivity", 64),
            ("board_temperature", 25.3),
        ]
        for query, reply in replies:
            with self.subTest(query):
                self.assertEqual(getattr(self.board, query)(), reply)

    def test_settings(self) -> None:
        self.board.set_low_bat(100)
        self.board.set_rgb(Rgb(255, 128, 0))
        self.board.enable_mcu(10)
        self.assertEqual(self.board.events(), Events(1, (Event(2, "BATLOW"),)))
        self.assertEqual(str(self.board.rgb()), "#ff8000")
        self.assertEqual(self.board.active_mcus(), [1, 2, 3, 10])

    def test_refused_values(self) -> None:
        for setting, value in [("set_low_bat", 101), ("set_supervisor_mode", 0),
                               ("set_magic", -1), ("set_magic", 1 << 32)]:
            with self.subTest(setting=setting, value=value):
                with self.assertRaises(ValueError) as caught:
                    getattr(self.board, setting)(value)
                self.assertIsInstance(caught.exception, supctl.ArgumentError)
        self.assertEqual(self.board.low_bat(), 20)

    def test_silent_bus_is_not_answered(self) -> None:
        sim("--set", "fault=silent")
        with self.assertRaises(supctl.NotAnswered) as caught:
            self.board.power_status()
        self.assertEqual(caught.exception.value, PowerStatus(True, True, True, True, 65535, 255))

    def test_device_failures_are_os_errors(self) -> None:
        with self.assertRaises(OSError) as missing:
            supctl.Supervisor("/dev/spidev0.7")
        sim("--set", "fault=transfer")
        with self.assertRaises(OSError) as failing:
            self.board.low_bat()
        with supctl.Supervisor() as board:
            pass
        with self.assertRaises(OSError) as closed:
            board.low_bat()
        for caught, result, error in [(missing, supctl.Result.ERROR_OPEN, errno.ENOENT),
                                      (failing, supctl.Result.ERROR_TRANSFER, errno.EIO),
                                      (closed, supctl.Result.ERROR_CLOSED, errno.EBADF)]:
            self.assertIsInstance(caught.exception, supctl.DeviceError)
            self.assertEqual((caught.exception.result, caught.exception.errno), (result, error))

    def test_readme_example(self) -> None:
        with open(os.environ["SUPCTL_README"], encoding="utf-8") as readme:
            example = re.search(r"```python\n(.*?)```", readme.read(), re.S).group(1)
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            exec(example, {})
        self.assertEqual(out.getvalue(), "on line power, 87 %, 4.012 V\nBATLOW\n")


if __name__ == "__main__":
    unittest.main()
