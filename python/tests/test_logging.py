# SPDX-License-Identifier: MIT
"""The switch that turns the library's standard-error lines into logging records."""

import logging
import socket
import struct
import threading

import pytest

import quorvel
from conftest import loopback_address
from quorvel import NoReply, Printer


class ResettingPeer:
    """A TCP peer that resets the connection (RST) as soon as a query arrives."""

    def __init__(self, address):
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind((address, 9100))
        self.listener.listen(1)
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        connection, _ = self.listener.accept()
        connection.recv(64)
        connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        connection.close()

    def close(self):
        self.thread.join(timeout=5)
        self.listener.close()


@pytest.fixture
def resetting_peer(request):
    peer = ResettingPeer(loopback_address(request.node.nodeid))
    yield peer
    peer.close()


@pytest.fixture
def capture_switch():
    yield quorvel.capture_library_messages
    quorvel.capture_library_messages(False)


def provoke_receive_failure(address):
    with Printer.tcp(address) as p:
        with pytest.raises(NoReply) as caught:
            p.status()
    return caught.value


@pytest.mark.parametrize("enabled,logger", [
    (True, None), (True, "till.printer"), (False, None),
], ids=["captured", "captured-own-logger", "off"])
def test_library_message_goes_to_logging_or_stderr(resetting_peer, capture_switch, capfd, caplog,
                                                   enabled, logger):
    capture_switch(enabled, logger and logging.getLogger(logger))
    name = logger or "quorvel.library"
    with caplog.at_level(logging.WARNING, logger=name):
        error = provoke_receive_failure(resetting_peer.listener.getsockname()[0])
    assert error.code == quorvel.ErrorCode.LINK_CLOSED
    logged = [r.getMessage() for r in caplog.records if r.name == name]
    stderr = capfd.readouterr().err
    assert logged == (["recv() failed"] if enabled else [])
    assert ("recv() failed" in stderr) == (not enabled)
