#!/usr/bin/env python3
"""Fill the account form of the sample client (samples/crm.xml) and save it.

    PYTHONPATH=clients/python python3 clients/python/examples/fill_form.py [COMMAND...]

COMMAND starts the bridge (default: $TRX_COMMAND, else `trx serve`), for
example build/default/trx serve.
"""
import sys

from trxclient import Session, app

FORM = app / "NorvScreen[Accounts Screen]/NorvView[Account List View]/NorvApplet[Account Form Applet]"

with Session(sys.argv[1:] or None) as trx:
    form = trx[FORM]
    (form / ("NorvButton", "NewRecord")).Click()
    (form / ("NorvText", "Name")).SetText("Acme Group")
    (form / ("NorvText", "Main Phone")).SetText("555-0199")
    (form / ("NorvPicklist", "Status")).Select("Active")
    (form / ("NorvCheckbox", "Key Account")).SetOn()
    (form / ("NorvButton", "WriteRecord")).Click()
    print("Name:", (form / ("NorvText", "Name"))["Text"])
    print("Main Phone:", (form / ("NorvText", "Main Phone"))["Text"])
    print("Key Account:", (form / ("NorvCheckbox", "Key Account"))["CheckState"])
