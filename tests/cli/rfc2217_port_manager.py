#!/usr/bin/python3
"""A serial device server with RFC 2217 made of python3-serial's own PortManager, an independent
implementation of the server side: it serves one TCP connection on 127.0.0.1 and bridges it to a
serial device (the simulator's pseudo-terminal), applying the line settings the client sets.

Usage: rfc2217_port_manager.py DEVICE
Prints the TCP port on its first line, then serves until the connection closes.
"""
import socket
import sys
import threading

import serial
import serial.rfc2217


class PtyPort(serial.Serial):
    """A pseudo-terminal has no modem lines: PortManager asks for them, they read low."""

    @property
    def cts(self):
        return False

    @property
    def dsr(self):
        return False

    @property
    def ri(self):
        return False

    @property
    def cd(self):
        return False


class Connection:
    """What PortManager writes its answers to."""

    def __init__(self, sock):
        self.sock = sock

    def write(self, data):
        self.sock.sendall(data)


def main():
    port = PtyPort()
    port.port = sys.argv[1]
    port.timeout = 0.01
    port.open()
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    print(server.getsockname()[1], flush=True)
    sock, _ = server.accept()
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    manager = serial.rfc2217.PortManager(port, Connection(sock))
    alive = [True]

    def line_to_network():
        while alive[0]:
            data = port.read(port.in_waiting or 1)
            if data:
                sock.sendall(b"".join(manager.escape(data)))

    reader = threading.Thread(target=line_to_network, daemon=True)
    reader.start()
    try:
        while True:
            data = sock.recv(1024)
            if not data:
                break
            port.write(b"".join(manager.filter(data)))
    finally:
        alive[0] = False
        reader.join(1)
        sock.close()
        port.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
