"""Polls one holding register as fast as pymodbus's synchronous serial client can, for the
engine benchmark's comparison row.

Usage: pymodbus_client.py PORT ascii|rtu REGISTER SECONDS
Prints "exchanges N errors E seconds T".
"""
import sys
import time

from pymodbus.client import ModbusSerialClient
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.framer.rtu_framer import ModbusRtuFramer


def main():
    port, mode, register, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3], 0), float(sys.argv[4])
    framer = ModbusAsciiFramer if mode == "ascii" else ModbusRtuFramer
    client = ModbusSerialClient(port=port, framer=framer, baudrate=38400, parity="N",
                                bytesize=8, stopbits=1, timeout=1)
    if not client.connect():
        print("cannot open", port, flush=True)
        return 1
    good = errors = 0
    start = time.monotonic()
    while time.monotonic() - start < seconds:
        reply = client.read_holding_registers(register, 1, slave=1)
        if reply.isError():
            errors += 1
        else:
            good += 1
    elapsed = time.monotonic() - start
    client.close()
    print(f"exchanges {good} errors {errors} seconds {elapsed:.3f}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
