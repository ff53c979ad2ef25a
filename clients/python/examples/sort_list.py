#!/usr/bin/env python3
"""Sort the account list of the sample client (samples/crm.xml) by name and print its rows.

    PYTHONPATH=clients/python python3 clients/python/examples/sort_list.py [COMMAND...]
"""
import sys

from trxclient import Session, app

LIST = app / "NorvScreen[Accounts Screen]/NorvView[Account List View]/NorvApplet[Account List Applet]/NorvList[NorvList]"

with Session(sys.argv[1:] or None) as trx:
    accounts = trx[LIST]
    accounts.AscendSort("Name")  # the column; DescendSort the other way
    print("Name sorted:", accounts.GetColumnSort("Name"))
    header, *rows = accounts.rows()  # GetData: the column names, then one row per shown row
    print(" | ".join(header))
    for row in rows:
        print(" | ".join(str(cell) for cell in row))
