"""A standard Modbus RTU server (pymodbus) on a serial device, the independent peer of the
interoperability tests. Prints "ready" once the device is open; stops when stdin closes.

Usage: /usr/bin/python3 pymodbus_server.py DEVICE
Holding register i starts as (i * 7 + 3) & 0xFFFF for i in 0 .. 999; unit ids are not checked.
"""
import asyncio
import logging
import sys

try:
    from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                    ModbusSlaveContext)
    from pymodbus.server.async_io import ModbusSerialServer
    from pymodbus.transaction import ModbusRtuFramer
except ImportError as error:  # the test skips on this code
    print(f"missing: {error}", flush=True)
    sys.exit(77)


async def main(device):
    registers = ModbusSequentialDataBlock(0, [(i * 7 + 3) & 0xFFFF for i in range(1000)])
    store = ModbusSlaveContext(hr=registers, zero_mode=True)
    context = ModbusServerContext(slaves=store, single=True)
    server = ModbusSerialServer(context, framer=ModbusRtuFramer, port=device, baudrate=9600,
                                bytesize=8, parity="N", stopbits=1, timeout=0.05)
    await server.start()
    if server.transport is None:
        print("cannot open " + device, flush=True)
        return 1
    print("ready", flush=True)
    loop = asyncio.get_running_loop()
    # Ends when the test closes our stdin (or goes away).
    await loop.run_in_executor(None, sys.stdin.read)
    await server.shutdown()
    return 0


if __name__ == "__main__":
    logging.basicConfig(level=logging.ERROR)
    sys.exit(asyncio.run(main(sys.argv[1])))
