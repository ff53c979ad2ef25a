"""A Python client for the Norvik test-automation service, through `trx serve`.

    from trxclient import Session, app

    with Session(["build/default/trx", "serve"]) as trx:
        form = trx[app / ("NorvScreen", "Accounts Screen") / ("NorvView", "Account List View")
                   / ("NorvApplet", "Account Form Applet")]
        (form / ("NorvText", "Name")).SetText("Acme Group")

See docs/python.md.
"""

from .descriptor import Descriptor, app
from .errors import (BadArgumentError, BusyError, CallTimeout, ClientRefusedError, NoClientError,
                     ObjectNotFoundError, ProtocolError, ServiceError, TrxError)
from .session import DEFAULT_TIMEOUT, Element, RecordEvent, Session, Variant, default_command, plain

__all__ = [
    "BadArgumentError", "BusyError", "CallTimeout", "ClientRefusedError", "DEFAULT_TIMEOUT", "Descriptor",
    "Element", "NoClientError", "ObjectNotFoundError", "ProtocolError", "RecordEvent", "ServiceError", "Session",
    "TrxError", "Variant", "app", "default_command", "plain",
]
