#!/usr/bin/python3
"""Sends one raw frame (hexadecimal text) to the simulated module and prints the hexadecimal reply
(empty line for none). Usage: dlt645_exchange.py PORT HEXFRAME"""
import sys

import serial


def main():
    port, frame = sys.argv[1], bytes.fromhex(sys.argv[2])
    with serial.Serial(port, 9600, timeout=1.5) as line:
        line.reset_input_buffer()
        line.write(frame)
        reply = line.read(256)
    print(reply.hex())
    return 0


if __name__ == "__main__":
    sys.exit(main())
