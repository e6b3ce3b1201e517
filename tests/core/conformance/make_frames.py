#!/usr/bin/python3
"""Writes seeded random Modbus requests and replies built by pymodbus, one record a line.

Each record: KIND MODE FIELDS..., hex fields in uppercase without separators. MODE is 3
(ASCII) or 4 (RTU). The C++ conformance test rebuilds or judges every record with the core.

  REQ  mode address function register word frame        (function 3: word = quantity 1)
  SUM  mode bytes checksum                              (mode 3: LRC, mode 4: CRC as sent)
  REPLY mode address verdict lastsent reply nwords words...
"""
import argparse
import random
import struct

from pymodbus.factory import ClientDecoder
from pymodbus.file_message import ReadFileRecordResponse
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.pdu import ExceptionResponse
from pymodbus.register_read_message import (
    ReadHoldingRegistersRequest,
    ReadHoldingRegistersResponse,
    ReadInputRegistersResponse,
)
from pymodbus.register_write_message import (
    WriteSingleRegisterRequest,
    WriteSingleRegisterResponse,
)
from pymodbus.utilities import computeCRC, computeLRC

ASCII, RTU = 3, 4
MAX_ADDRESS = 247


class StandardFileRecordResponse(ReadFileRecordResponse):
    """Function 20 reply with one sub-response in the order of the Modbus application
    protocol (length, reference type 6, data); pymodbus 3.0.0 encodes the reference type
    before the length, so only its framing is reused here."""

    def __init__(self, registers, **kwargs):
        super().__init__(**kwargs)
        self.registers = registers

    def encode(self):
        data = b"".join(struct.pack(">H", word) for word in self.registers)
        length = len(data) + 1
        return struct.pack(">BBB", length + 1, length, 0x06) + data


def framers():
    decoder = ClientDecoder()
    return {ASCII: ModbusAsciiFramer(decoder), RTU: ModbusRtuFramer(decoder)}


def hexstr(data):
    return bytes(data).hex().upper()


def request_records(rng, framer, mode, count):
    out = []
    for k in range(count):
        address = rng.randint(0, MAX_ADDRESS)
        register = rng.randint(0, 0xFFFF)
        if k % 2 == 0:
            message = ReadHoldingRegistersRequest(register, 1, unit=address)
            word = 1
        else:
            word = rng.randint(0, 0xFFFF)
            message = WriteSingleRegisterRequest(register, word, unit=address)
        frame = framer.buildPacket(message)
        out.append(f"REQ {mode} {address} {message.function_code} {register} {word} {hexstr(frame)}")
    return out


def checksum_records(rng, mode, count):
    out = []
    for _ in range(count):
        data = bytes(rng.randint(0, 255) for _ in range(rng.randint(1, 260)))
        if mode == ASCII:
            value = computeLRC(data)
        else:
            value = computeCRC(data)  # high byte of the result is the one sent first
        out.append(f"SUM {mode} {hexstr(data)} {value}")
    return out


def random_words(rng, limit):
    return [rng.randint(0, 0xFFFF) for _ in range(rng.randint(1, limit))]


def reply_case(rng, framer, mode, address):
    """One (verdict, lastsent, reply, words) built by pymodbus."""
    kind = rng.choice(["read3", "read4", "write", "exception", "file"])
    register = rng.randint(0, 0xFFFF)
    request = ReadHoldingRegistersRequest(register, 1, unit=address)
    if kind in ("read3", "read4"):
        words = random_words(rng, 40)  # beyond 32 too: only the first 32 are kept
        cls = ReadHoldingRegistersResponse if kind == "read3" else ReadInputRegistersResponse
        reply = cls(words, unit=address)
        return "GOOD", framer.buildPacket(request), framer.buildPacket(reply), words
    if kind == "write":
        value = rng.randint(0, 0xFFFF)
        sent = framer.buildPacket(WriteSingleRegisterRequest(register, value, unit=address))
        reply = WriteSingleRegisterResponse(register, value, unit=address)
        return "GOOD", sent, framer.buildPacket(reply), []
    if kind == "exception":
        function = rng.choice([3, 4, 6, 20])
        reply = ExceptionResponse(function, rng.randint(1, 11), unit=address)
        return "EXCEPTION", framer.buildPacket(request), framer.buildPacket(reply), []
    words = random_words(rng, 40)
    reply = StandardFileRecordResponse(words, unit=address)
    # RTU accepts a function 20 reply without decoding it.
    return "GOOD", framer.buildPacket(request), framer.buildPacket(reply), words if mode == ASCII else []


def spoil_checksum(rng, mode, frame):
    """Same frame with a wrong LRC or CRC."""
    data = bytearray(frame)
    if mode == ASCII:
        lrc_at = len(data) - 4
        lrc = int(data[lrc_at:lrc_at + 2], 16) ^ rng.randint(1, 255)
        data[lrc_at:lrc_at + 2] = b"%02X" % lrc
    else:
        data[-rng.randint(1, 2)] ^= rng.randint(1, 255)
    return bytes(data)


def reply_records(rng, framer, mode, count):
    out = []
    while len(out) < count:
        address = rng.randint(0, MAX_ADDRESS)
        verdict, sent, reply, words = reply_case(rng, framer, mode, address)
        out.append(f"REPLY {mode} {address} {verdict} {hexstr(sent)} {hexstr(reply)} "
                   + " ".join([str(len(words))] + [str(w) for w in words]))
        checksummed = verdict == "EXCEPTION" or reply[1 if mode == RTU else 3:][:2] != b"06"
        rtu_checked = mode == RTU and reply[1] in (3, 4, 0x83, 0x84, 0x86, 0x94)
        if rng.random() < 0.25 and (rtu_checked or (mode == ASCII and checksummed)):
            out.append(f"REPLY {mode} {address} BAD {hexstr(sent)} "
                       f"{hexstr(spoil_checksum(rng, mode, reply))} 0")
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--count", type=int, default=1500, help="records of each kind per mode")
    parser.add_argument("--seed", type=int, default=20261208)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    lines = []
    for mode, framer in framers().items():
        lines += request_records(rng, framer, mode, args.count)
        lines += checksum_records(rng, mode, args.count)
        lines += reply_records(rng, framer, mode, args.count)
    with open(args.out, "w", encoding="ascii") as handle:
        handle.write("\n".join(lines) + "\n")
    for mode in (ASCII, RTU):
        kinds = {k: sum(1 for l in lines if l.startswith(f"{k} {mode} ")) for k in ("REQ", "SUM", "REPLY")}
        print(f"mode {mode}: {kinds['REQ']} requests, {kinds['SUM']} checksums, {kinds['REPLY']} replies")


if __name__ == "__main__":
    main()
