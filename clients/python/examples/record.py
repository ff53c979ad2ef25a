#!/usr/bin/env python3
"""Record a few user actions on the sample client (samples/crm.xml) and print the
calls that replay them.

    PYTHONPATH=clients/python python3 clients/python/examples/record.py [COMMAND...]
"""
import sys

from trxclient import Session

FORM = "Accounts Screen/Account List View/Account Form Applet"

with Session(sys.argv[1:] or None) as trx:
    with trx.recording() as events:
        # What a user does, played on the simulated client.
        trx.client.action(eventId="PROCESSACCELERATOR", arguments=[["0", "78"], ["1", "FALSE"], ["2", "TRUE"], ["3", "FALSE"]])
        trx.client.action(object=f"{FORM}/Name", eventId="SETVALUE", arguments={"0": "Acme Group"})
        trx.client.action(object=f"{FORM}/Status", eventId="SELECTLOVITEM", arguments={"0": "Pending"})
    for event in events:
        print(f"{event.target.path}  {event.method}  {event.args!r}")
