#!/usr/bin/python3
"""Reads holding registers from the simulated module with pymodbus, an independent Modbus master.

Usage: pymodbus_read.py PORT SLAVE FIRST COUNT
Prints the values on one line, separated by blanks, and the seconds the read took on a second
line; exits 1 when the read fails.
"""
import sys
import time

from pymodbus.client import ModbusSerialClient


def main():
    port, slave, first, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    client = ModbusSerialClient(port=port, baudrate=9600, bytesize=8, parity="N", stopbits=1,
                                timeout=3)
    if not client.connect():
        print("cannot open", port)
        return 1
    try:
        started = time.monotonic()
        reply = client.read_holding_registers(first, count, slave=slave)
        took = time.monotonic() - started
        if reply.isError():
            print("error", reply)
            return 1
        print(" ".join(str(v) for v in reply.registers))
        print("%.3f" % took)
        return 0
    finally:
        client.close()


if __name__ == "__main__":
    sys.exit(main())
