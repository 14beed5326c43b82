#!/usr/bin/python3
"""One Modbus exchange with the simulated module through python3-serial's RFC 2217 client, an
independent implementation of the Telnet COM port control: the client negotiates the options and
sets the remote port's line (baud rate, data bits, parity, stop bits) before the request goes out.

Usage: rfc2217_exchange.py PORT PARITY(N|O|E) STOPBITS REQUEST_HEX
Prints the reply in hexadecimal ("none" when nothing came back within a second); exits 1 when
the connection or the settings negotiation fails.
"""
import sys

import serial


def main():
    port, parity, stopbits, request = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    try:
        link = serial.serial_for_url("rfc2217://127.0.0.1:%s" % port, baudrate=9600, bytesize=8,
                                     parity=parity, stopbits=stopbits, timeout=1)
    except serial.SerialException as error:
        print("cannot open:", error)
        return 1
    try:
        link.reset_input_buffer()
        link.write(bytes.fromhex(request))
        reply = link.read(256)
        print(reply.hex().upper() if reply else "none")
        return 0
    finally:
        link.close()


if __name__ == "__main__":
    sys.exit(main())
