#!/usr/bin/python3
"""Reads holding registers from the simulated module over TCP with pymodbus's RTU framer (RTU
frames over a TCP connection, as through a serial device server in raw mode), an independent
master.

Usage: pymodbus_rtu_over_tcp.py HOST PORT SLAVE FIRST COUNT
Prints the values on one line, separated by blanks; exits 1 when the read fails.
"""
import sys

from pymodbus.client import ModbusTcpClient
from pymodbus.transaction import ModbusRtuFramer


def main():
    host, port = sys.argv[1], int(sys.argv[2])
    slave, first, count = int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
    client = ModbusTcpClient(host, port=port, framer=ModbusRtuFramer, timeout=3)
    if not client.connect():
        print("cannot connect", host, port)
        return 1
    try:
        reply = client.read_holding_registers(first, count, slave=slave)
        if reply.isError():
            print("error", reply)
            return 1
        print(" ".join(str(v) for v in reply.registers))
        return 0
    finally:
        client.close()


if __name__ == "__main__":
    sys.exit(main())
