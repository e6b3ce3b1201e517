#!/usr/bin/env python3
"""kelmar-sim against an independent Modbus master: pymodbus's serial client.

Starts the simulator on a private port folder, reads and writes every served register in
ASCII and RTU (each on its own simulator, then both on one in auto mode), checks the refusals,
then stops it with SIGTERM and reconciles its summary with what was sent.

usage: pymodbus_client_test.py PATH_TO_KELMAR_SIM
"""
import json
import os
import signal
import subprocess
import sys
import tempfile
import time

from pymodbus.client import ModbusSerialClient
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.framer.rtu_framer import ModbusRtuFramer

OUTPUT_FREQUENCY = 0xF098
MOTOR_CURRENT = 0xF0A0
CONTROL_REFERENCE = 0xF510
VIRTUAL_INPUTS = 0xF508
SLAVE = 7
START_TIMEOUT = 30.0  # generous: sanitizer builds on a loaded machine start slowly
FRAMERS = {"ascii": ModbusAsciiFramer, "rtu": ModbusRtuFramer}


def frequency_word(hz):
    """Split scale: hundredths up to 327.67 Hz (all the values used here)."""
    return round(hz * 100)


def current_word(hz):
    """The simulated motor: 2.0 A plus 0.2 A per hertz while turning, in tenths of an ampere."""
    return 0 if hz == 0 else round((2.0 + 0.2 * hz) * 10)


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Tally:
    def __init__(self):
        self.good = 0
        self.exception = 0


class Simulator:
    def __init__(self, binary, folder, mode):
        self.folder = folder
        self.name = f"SIMTEST{os.getpid()}{mode.upper()}"
        self.stdout_path = os.path.join(folder, f"{mode}.out")
        self.status_path = os.path.join(folder, f"{mode}.status.json")
        env = dict(os.environ, XDG_RUNTIME_DIR=folder)
        args = [binary, "--mode", mode, "--name", self.name, "--address", str(SLAVE),
                "--frozen", "--reference", "50", "--inputs", "1",
                "--status-file", self.status_path, "--seed", "1"]
        with open(self.stdout_path, "wb") as out:
            self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out, env=env)
        self.link = os.path.join(folder, "quorvel", "ports", self.name)
        self.pty = self._wait_for_port()

    def _lines(self):
        with open(self.stdout_path, encoding="ascii") as out:
            return out.read().splitlines()

    def _wait_for_port(self):
        deadline = time.monotonic() + START_TIMEOUT
        while time.monotonic() < deadline:
            lines = self._lines()
            if len(lines) >= 2:
                check(lines[0].startswith("pty /dev/"), f"first line {lines[0]!r}")
                check(lines[1] == f"port {self.name}", f"second line {lines[1]!r}")
                pty = lines[0][len("pty "):]
                check(os.readlink(self.link) == pty, "the port link points at the pty")
                return pty
            check(self.process.poll() is None, f"simulator exited early: {self.process.returncode}")
            time.sleep(0.05)
        raise Failure("simulator did not announce its port")

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        code = self.process.wait(timeout=START_TIMEOUT)
        check(code == 0, f"exit code {code}")
        check(not os.path.lexists(self.link), "the port link is removed at exit")
        summaries = [line for line in self._lines() if line.startswith("summary ")]
        check(len(summaries) == 1, f"one summary line, got {self._lines()}")
        return json.loads(summaries[0][len("summary "):])

    def status(self, requests):
        """The status file once it counts the given number of requests (it follows each reply)."""
        deadline = time.monotonic() + START_TIMEOUT
        while True:
            with open(self.status_path, encoding="ascii") as status:
                current = json.load(status)
            if current["counts"]["requests"] >= requests or time.monotonic() > deadline:
                return current
            time.sleep(0.02)


def client_for(sim, mode):
    client = ModbusSerialClient(sim.link, framer=FRAMERS[mode], baudrate=19200, bytesize=8,
                                parity="N", stopbits=1, timeout=5)
    check(client.connect(), f"{mode}: pymodbus opens {sim.link}")
    return client


def read(client, tally, register):
    reply = client.read_holding_registers(register, 1, slave=SLAVE)
    check(not reply.isError(), f"read {register:#06x}: {reply}")
    check(len(reply.registers) == 1, f"read {register:#06x}: one word")
    tally.good += 1
    return reply.registers[0]


def write(client, tally, register, value):
    reply = client.write_register(register, value, slave=SLAVE)
    check(not reply.isError(), f"write {register:#06x}: {reply}")
    check(reply.address == register and reply.value == value, f"write echo {reply}")
    tally.good += 1


def expect_exception(tally, what, reply, code):
    check(reply.isError(), f"{what}: exception expected, got {reply}")
    check(reply.exception_code == code, f"{what}: exception code {reply.exception_code}")
    tally.exception += 1


def exercise(client, mode, tally):
    """Reads and writes every served register; returns the words the drive should now hold."""
    def registers():
        return {reg: read(client, tally, reg)
                for reg in (OUTPUT_FREQUENCY, MOTOR_CURRENT, CONTROL_REFERENCE, VIRTUAL_INPUTS)}

    check(registers() == {OUTPUT_FREQUENCY: frequency_word(50), MOTOR_CURRENT: current_word(50),
                          CONTROL_REFERENCE: frequency_word(50), VIRTUAL_INPUTS: 1},
          f"{mode}: the start values")

    write(client, tally, CONTROL_REFERENCE, frequency_word(30))
    check(registers() == {OUTPUT_FREQUENCY: frequency_word(30), MOTOR_CURRENT: current_word(30),
                          CONTROL_REFERENCE: frequency_word(30), VIRTUAL_INPUTS: 1},
          f"{mode}: a new reference is followed at once when frozen")

    write(client, tally, VIRTUAL_INPUTS, 0b101010)  # input 1 off: the motor stops
    check(registers() == {OUTPUT_FREQUENCY: 0, MOTOR_CURRENT: 0,
                          CONTROL_REFERENCE: frequency_word(30), VIRTUAL_INPUTS: 0b101010},
          f"{mode}: input 1 off stops the drive")

    write(client, tally, VIRTUAL_INPUTS, 0xFFC1)  # bits 6-15 are ignored by the drive
    check(read(client, tally, VIRTUAL_INPUTS) == 0x01, f"{mode}: bits 6-15 ignored")
    # Put the start values back so that every run ends in the same state.
    write(client, tally, CONTROL_REFERENCE, frequency_word(50))

    expect_exception(tally, "read unserved", client.read_holding_registers(0xF000, 1, slave=SLAVE), 2)
    expect_exception(tally, "read two", client.read_holding_registers(OUTPUT_FREQUENCY, 2, slave=SLAVE), 2)
    expect_exception(tally, "write read-only",
                     client.write_register(OUTPUT_FREQUENCY, 1, slave=SLAVE), 2)
    expect_exception(tally, "write current", client.write_register(MOTOR_CURRENT, 1, slave=SLAVE), 2)
    expect_exception(tally, "function 4",
                     client.read_input_registers(OUTPUT_FREQUENCY, 1, slave=SLAVE), 1)
    return {OUTPUT_FREQUENCY: frequency_word(50), MOTOR_CURRENT: current_word(50),
            CONTROL_REFERENCE: frequency_word(50), VIRTUAL_INPUTS: 1}


def run(binary, folder, sim_mode, client_modes):
    sim = Simulator(binary, folder, sim_mode)
    tally = Tally()
    try:
        for mode in client_modes:
            client = client_for(sim, mode)
            try:
                expected = exercise(client, mode, tally)
                check(read(client, tally, VIRTUAL_INPUTS) == 1, f"{mode}: inputs restored")
            finally:
                client.close()
        status = sim.status(tally.good + tally.exception)
        check(status["registers"] == {"F098": expected[OUTPUT_FREQUENCY],
                                      "F0A0": expected[MOTOR_CURRENT],
                                      "F510": expected[CONTROL_REFERENCE],
                                      "F508": expected[VIRTUAL_INPUTS]},
              f"status file registers {status['registers']}")
    except BaseException:
        sim.process.kill()
        sim.process.wait()
        raise
    summary = sim.stop()
    sent = tally.good + tally.exception
    expected_summary = {"requests": sent, "requests_bad_checksum": 0,
                        "requests_other_address": 0, "replies_good": tally.good,
                        "replies_exception": tally.exception, "replies_corrupted": 0,
                        "replies_dropped": 0, "garbage_bursts": 0, "exceptions_injected": 0,
                        "discarded_bytes": 0, "seed": 1}
    check(summary == expected_summary, f"{sim_mode}: summary {summary} != {expected_summary}")
    check(status["counts"]["requests"] == sent, "status file counts every request")
    print(f"{sim_mode}: {sent} exchanges with {'+'.join(client_modes)} clients reconciled")


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    binary = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix="kelmar-sim-pymodbus-") as folder:
        os.chmod(folder, 0o700)
        try:
            run(binary, folder, "ascii", ["ascii"])
            run(binary, folder, "rtu", ["rtu"])
            run(binary, folder, "auto", ["ascii", "rtu"])
        except Failure as failure:
            print(f"FAIL: {failure}", file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
