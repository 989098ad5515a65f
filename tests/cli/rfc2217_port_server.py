#!/usr/bin/python3
# A second, independent RFC 2217 server for the end-to-end tests: Debian's
# python3-serial (its serial.rfc2217.PortManager) serving a pseudo-terminal
# on 127.0.0.1 to one client at a time.
#
#   rfc2217_port_server.py DEVICE PORT
# Prints "listening" once the port is open; ends when stdin closes or it is
# killed.
import socket
import sys
import threading

import serial
import serial.rfc2217


class PtyLine(serial.Serial):
    """A pseudo-terminal has no modem lines: PortManager reads CTS, DSR, RI
    and CD and sets RTS and DTR, which would fail on it."""

    cts = dsr = ri = cd = property(lambda self: False)

    def _update_rts_state(self):
        pass

    def _update_dtr_state(self):
        pass


class Connection:
    """What PortManager writes its answers to."""

    def __init__(self, sock):
        self.sock = sock
        self.lock = threading.Lock()

    def write(self, data):
        with self.lock:
            self.sock.sendall(data)


def serve(device, port):
    line = PtyLine(device, 57600, timeout=0.05)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(1)
    print("listening", flush=True)
    while True:
        client, _ = listener.accept()
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        connection = Connection(client)
        manager = serial.rfc2217.PortManager(line, connection)
        running = True

        def device_to_client():
            while running:
                data = line.read(line.in_waiting or 1)
                if data:
                    try:
                        connection.write(b"".join(manager.escape(data)))
                    except OSError:
                        return

        reader = threading.Thread(target=device_to_client, daemon=True)
        reader.start()
        try:
            while True:
                data = client.recv(1024)
                if not data:
                    break
                line.write(b"".join(manager.filter(data)))
        except OSError:
            pass
        running = False
        reader.join()
        client.close()


if __name__ == "__main__":
    serve(sys.argv[1], int(sys.argv[2]))
