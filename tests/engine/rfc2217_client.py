"""pyserial's RFC 2217 client against tovan's telnet port: opens it with the
default settings, changes the line to 19200 8E2, sends bytes to the device
and reads the device's answer, 0xFF included. Prints what it found; the
exit code is 0 only when everything held."""
import sys

import serial

port = sys.argv[1]
with serial.serial_for_url("rfc2217://127.0.0.1:%s" % port, timeout=10) as line:
    line.baudrate = 19200
    line.parity = serial.PARITY_EVEN
    line.stopbits = serial.STOPBITS_TWO
    # Each change above waited for the server's answer and compared it.
    print("read back %d %d %s %d" % (line.baudrate, line.bytesize, line.parity, line.stopbits), flush=True)
    line.write(b"ping\xff\x00\xfe")
    line.flush()
    answer = line.read(6)
    if answer != b"pong\xff\xff":
        print("received %r" % answer)
        sys.exit(1)
    print("received ok")
