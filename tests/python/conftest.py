"""pytest fixtures: sessions with `trx serve` ($TRX, else build/default/trx) on the sample client."""
import os
import pathlib
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "samples" / "crm.xml"
TRX = os.environ.get("TRX", str(ROOT / "build" / "default" / "trx"))
sys.path.insert(0, str(ROOT / "clients" / "python"))

from trxclient import Session  # noqa: E402


def serve_command(app=SAMPLE):
    return [TRX, "serve", "--app", str(app)]


@pytest.fixture
def new_session():
    """Starts a session on a fresh sample client; every one is closed at the end."""
    sessions = []

    def start(command=None):
        sessions.append(Session(command or serve_command(), timeout=60))
        return sessions[-1]

    yield start
    for session in sessions:
        session.close()


@pytest.fixture
def trx(new_session):
    """A session with `trx serve` on a fresh sample client."""
    return new_session()
