"""A session with the service through `trx serve`: one JSON request per line
on the process's standard input, its events and replies on standard output."""

from __future__ import annotations

import contextlib
import functools
import itertools
import json
import os
import queue
import shlex
import subprocess
import threading
from dataclasses import dataclass, field

from .descriptor import Descriptor, app
from .errors import CallTimeout, ProtocolError, error_for

VT_VARIANT, VT_ARRAY, VT_BYREF = 12, 0x2000, 0x4000
# A Submit waits up to twice the submit time-out (60 s by default) for an idle client.
DEFAULT_TIMEOUT = 150.0


class Variant:
    """A VARIANT in the bridge's structured form {"vt": N, "value": V}, for what
    plain Python values cannot say (VT_I2, a two-dimensional array ...)."""

    def __init__(self, vt: int, value=None):
        self.vt, self.value = vt, value

    def to_json(self) -> dict:
        return {"vt": self.vt} if self.value is None and self.vt in (0, 1) else {"vt": self.vt, "value": self.value}

    def __repr__(self) -> str:
        return f"Variant({self.vt}, {self.value!r})"

    def __eq__(self, other) -> bool:
        return isinstance(other, Variant) and (self.vt, self.value) == (other.vt, other.value)


def plain(variant):
    """A VARIANT as written by the bridge, as a Python value: None for empty and
    null, arrays as (nested) lists, a two-dimensional array as a list of rows."""
    if not isinstance(variant, dict):
        return variant
    vt, value = variant.get("vt", 0) & ~VT_BYREF, variant.get("value")
    if vt & VT_ARRAY:
        element = plain if vt & ~VT_ARRAY == VT_VARIANT else (lambda item: item)

        def walk(level):
            return [walk(item) for item in level] if isinstance(level, list) else element(level)

        return None if value is None else walk(value)
    return plain(value) if vt == VT_VARIANT else value


def _to_json(value):
    if isinstance(value, Variant):
        return value.to_json()
    if isinstance(value, Descriptor):
        return value.xml
    if isinstance(value, (list, tuple)):
        return [_to_json(item) for item in value]
    return value


def default_command() -> list[str]:
    """$TRX_COMMAND (split as the shell would), else [$TRX or "trx", "serve"]."""
    if os.environ.get("TRX_COMMAND"):
        return shlex.split(os.environ["TRX_COMMAND"])
    return [os.environ.get("TRX", "trx"), "serve"]


@dataclass(frozen=True)
class RecordEvent:
    """A Record event: the call that replays a user action."""

    target: Descriptor  # the text as it came when it is no descriptor
    method: str
    args: object  # pArgs as a plain value
    raw: dict = field(repr=False, compare=False)

    def replay(self, session: "Session"):
        """Submits the recorded call, with the recorded VARIANT as it came."""
        pargs = self.raw.get("pArgs")
        args = () if pargs is None else (Variant(pargs["vt"], pargs.get("value")),)
        return session.submit(self.target, self.method, *args)


class Element:
    """An object of the client as the service sees it: a descriptor bound to a session.

    element.call("SetText", "Acme")   element.SetText("Acme")   a method
    element.get("UIName")            element["UIName"]        a property read
    element / ("NorvText", "Name")                              an object below it
    """

    def __init__(self, session: "Session", descriptor: Descriptor):
        self.session, self.descriptor = session, descriptor

    def __truediv__(self, level) -> "Element":
        return Element(self.session, self.descriptor / level)

    def call(self, method: str, *args, timeout=None):
        return self.session.submit(self.descriptor, method, *args, timeout=timeout)

    def get(self, name: str, timeout=None):
        """A property: the service reads it for a Submit of its name without arguments."""
        return self.call(name, timeout=timeout)

    __getitem__ = get

    def __getattr__(self, name: str):
        if not name[:1].isupper():
            raise AttributeError(name)
        return functools.partial(self.call, name)

    def rows(self, *args, timeout=None) -> list[list]:
        """GetData as a list of rows (for a list: the column names first)."""
        data = self.call("GetData", *args, timeout=timeout) or []
        return [row if isinstance(row, list) else [row] for row in data]

    def __repr__(self) -> str:
        return f"Element({self.descriptor.path!r})"


class _Client:
    """The simulated client's own calls: session.client.action(object=..., eventId=...)
    sends {"call": "client.action", ...} and answers the reply."""

    def __init__(self, session: "Session"):
        self._session = session

    def __getattr__(self, name: str):
        if name.startswith("_"):
            raise AttributeError(name)
        return lambda timeout=None, **params: self._session.request("client." + name, timeout=timeout, **params)


class Session:
    """Starts the bridge (`command`, an argv list; default: default_command())
    and talks to it until close(); a context manager.

    timeout: seconds to wait for each reply unless a call gives its own.
    app: the client's description file (--app), for a command that takes it.
    stderr: where the process's messages go (default: inherited).
    """

    def __init__(self, command=None, *, app=None, timeout: float = DEFAULT_TIMEOUT, stderr=None, cwd=None, env=None):
        argv = list(command) if command else default_command()
        if app is not None:
            argv += ["--app", os.fspath(app)]
        self.timeout = timeout
        self.events: list[RecordEvent] = []  # every event, in order
        self.client = _Client(self)
        self._ids = itertools.count(1)
        self._replies: queue.Queue = queue.Queue()
        self._lock = threading.Lock()
        self._recordings: list[list[RecordEvent]] = []
        self._process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=stderr,
                                         encoding="utf-8", cwd=cwd, env=env)
        self._reader = threading.Thread(target=self._read, name="trx-reader", daemon=True)
        self._reader.start()

    # ---- the process -----------------------------------------------------------------------

    def _read(self):
        for line in self._process.stdout:
            try:
                message = json.loads(line)
            except ValueError:
                continue  # not a line of the protocol
            if isinstance(message, dict) and "event" in message:
                try:
                    target = Descriptor.parse(message.get("trxODS") or "")
                except ValueError:
                    target = message.get("trxODS")  # kept as it came
                event = RecordEvent(target, message.get("eventName"), plain(message.get("pArgs")), message)
                with self._lock:
                    self.events.append(event)
                    for recording in self._recordings:
                        recording.append(event)
            elif isinstance(message, dict):
                self._replies.put(message)
        self._replies.put(None)

    def close(self, timeout: float = 30.0) -> int:
        """Ends the input, so the bridge ends; waits for it (kills it after `timeout`)."""
        if self._process.stdin and not self._process.stdin.closed:
            with contextlib.suppress(OSError):
                self._process.stdin.close()
        try:
            code = self._process.wait(timeout)
        except subprocess.TimeoutExpired:
            self._process.kill()
            code = self._process.wait()
        self._reader.join(timeout)
        return code

    def __enter__(self) -> "Session":
        return self

    def __exit__(self, *exc_info):
        self.close()

    # ---- requests --------------------------------------------------------------------------

    def request(self, call: str, *, timeout=None, **params) -> dict:
        """Sends one request and answers its reply as it came (an error code in
        it is not raised); raises ProtocolError for an error line, CallTimeout."""
        number = next(self._ids)
        line = json.dumps({"id": number, "call": call, **params}, ensure_ascii=False)
        try:
            self._process.stdin.write(line + "\n")
            self._process.stdin.flush()
        except (OSError, ValueError) as failure:
            raise ProtocolError(f"the bridge process is gone ({failure})") from failure
        wait = self.timeout if timeout is None else timeout
        deadline = threading.TIMEOUT_MAX if wait is None else wait
        while True:
            try:
                reply = self._replies.get(timeout=deadline)
            except queue.Empty:
                raise CallTimeout(f"{call}: no reply within {wait} s") from None
            if reply is None:
                self._replies.put(None)
                raise ProtocolError(f"{call}: the bridge process ended (exit code {self._process.poll()})")
            if reply.get("id", number) == number or reply.get("id") is None:
                break  # a reply of an earlier call that timed out is dropped
        if "error" in reply:
            raise ProtocolError(f"{call}: {reply['error']}", reply=reply)
        return reply

    def call(self, name: str, *, timeout=None, ok_codes=(0,), **params) -> dict:
        """One of the service's eleven methods (GetRootObject, StartRecording ...),
        with its in-parameters by name; raises the error the reply reports."""
        reply = self.request(name, timeout=timeout, **params)
        error = error_for(reply, ok_codes)
        if error:
            raise error
        return reply

    def submit(self, descriptor, method: str, *args, timeout=None):
        """Submit of `method` on the object; no argument, one as it is, several as
        an array. Answers retVal as a plain value."""
        params = {"trxODS": str(descriptor), "methodName": method}
        if args:
            params["Args"] = _to_json(args[0] if len(args) == 1 else list(args))
        return plain(self.call("Submit", timeout=timeout, **params).get("retVal"))

    # ---- objects and recording -------------------------------------------------------------

    def __getitem__(self, descriptor) -> Element:
        """The object of a Descriptor (or of its text or short path)."""
        if isinstance(descriptor, Element):
            descriptor = descriptor.descriptor
        if not isinstance(descriptor, Descriptor):
            descriptor = Descriptor.parse(descriptor)
        return Element(self, descriptor)

    @property
    def app(self) -> Element:
        return Element(self, app)

    def set_submit_timeout(self, ms: int):
        self.call("SetSubmitTimeout", timeOut=ms)

    def contents(self, mode: int = 1, descriptor=app) -> str:
        """GetObjectContents: the object tree as XML."""
        return self.call("GetObjectContents", nMode=mode, trxODS=str(descriptor))["trxContentXML"]

    def definitions(self, version: str = "") -> str | None:
        """GetObjectDefinitions: the catalogue, None when `version` is already the current one."""
        return self.call("GetObjectDefinitions", ok_codes=(0, 2), ver=version).get("trxDefnXML")

    @contextlib.contextmanager
    def recording(self):
        """Records while the block runs; yields the list the Record events go to."""
        events: list[RecordEvent] = []
        with self._lock:
            self._recordings.append(events)
        try:
            self.call("StartRecording")
            try:
                yield events
            finally:
                self.call("StopRecording")
        finally:
            with self._lock:
                self._recordings.remove(events)
