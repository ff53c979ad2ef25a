#!/usr/bin/env python3
"""Round trips through trx serve with the Python client: a property read and a
host request (a keyboard accelerator), with the idle pause at its default
(100 ms) and at 0, against the simulated client. Prints median and p99.

    PYTHONPATH=clients/python python3 bench/bench_bridge.py [build/default/trx] [calls]
"""
import statistics
import sys
import time

from trxclient import Session, app


def measure(trx, call, count):
    times = []
    for _ in range(count):
        start = time.perf_counter()
        call()
        times.append((time.perf_counter() - start) * 1000.0)
    times.sort()
    return statistics.median(times), times[min(len(times) - 1, int(len(times) * 0.99))]


def main():
    program = sys.argv[1] if len(sys.argv) > 1 else "build/default/trx"
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    form = app / "NorvScreen[Accounts Screen]/NorvView[Account List View]/NorvApplet[Account Form Applet]/NorvText[Name]"
    print(f"{'pause':>6} {'call':<34} {'median ms':>10} {'p99 ms':>10}  ({count} calls)")
    for pause in ("100", "0"):
        with Session([program, "serve", "--idle-pause", pause]) as trx:
            field, root = trx[form], trx[app]
            # Fewer calls with the pause: each one waits at least 100 ms.
            calls = count if pause == "0" else max(20, count // 10)
            for name, call in (("GetProperty Text (field)", lambda: field["Text"]),
                               ("ProcessKeyboardAccelerator F8", lambda: root.ProcessKeyboardAccelerator("F8"))):
                median, p99 = measure(trx, call, calls)
                print(f"{pause:>6} {name:<34} {median:>10.3f} {p99:>10.3f}")


if __name__ == "__main__":
    main()
