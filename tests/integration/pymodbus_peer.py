"""A Modbus serial slave served by pymodbus, standing in for the drive in the peer tests.

Usage: pymodbus_peer.py PORT ascii|rtu ADDRESS
Holds the output frequency, the control reference and the virtual inputs but not the motor
current, so a read of that register is refused with an exception reply. Prints "ready" once the
port is open and serves until terminated.
"""
import asyncio
import sys

from pymodbus.datastore import (ModbusServerContext, ModbusSlaveContext,
                                ModbusSparseDataBlock)
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.server.async_io import ModbusSerialServer

REGISTERS = {
    0xF098: 5000,   # output frequency: 50.00 Hz
    0xF510: 32768,  # control reference: 327.7 Hz
    0xF508: 0x0015, # virtual inputs 1, 3, 5
}


async def serve(port, framer, address):
    block = ModbusSparseDataBlock(dict(REGISTERS))
    slave = ModbusSlaveContext(hr=block, zero_mode=True)
    context = ModbusServerContext(slaves={address: slave}, single=False)
    server = ModbusSerialServer(context, framer, port=port, baudrate=38400,
                                parity="N", bytesize=8, stopbits=1, timeout=0)
    await server.start()
    if server.transport is None:
        print("cannot open", port, flush=True)
        return 1
    print("ready", flush=True)
    await asyncio.Event().wait()
    return 0


def main():
    port, mode, address = sys.argv[1], sys.argv[2], int(sys.argv[3])
    framer = ModbusAsciiFramer if mode == "ascii" else ModbusRtuFramer
    return asyncio.run(serve(port, framer, address))


if __name__ == "__main__":
    sys.exit(main())
