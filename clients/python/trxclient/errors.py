"""Exceptions by cause. Each carries the service's code (`code`, the
errCode), its message (`message`, the errMsg), the COM status (`hr`) and the
whole reply (`reply`)."""

from __future__ import annotations

E_INVALIDARG = -2147024809


class TrxError(Exception):
    """Any failure the client reports."""

    def __init__(self, message, code=None, hr=None, reply=None):
        super().__init__(message if code is None else f"{message} (errCode {code})")
        self.message, self.code, self.hr, self.reply = message, code, hr, reply


class ProtocolError(TrxError):
    """The bridge refused the request line, or the process ended."""


class CallTimeout(TrxError, TimeoutError):
    """No reply within the call's time-out (the client's own, in seconds)."""


class ServiceError(TrxError):
    """The service reported an error code with no more precise class below."""


class BusyError(ServiceError):
    """The client stayed busy (-1019), or an abandoned request still blocks (-1022 Blocked)."""


class NoClientError(ServiceError):
    """The client has unloaded or never attached (-1018)."""


class ObjectNotFoundError(ServiceError):
    """An object of the descriptor, or of the HTML id, could not be found (-1016, -100)."""


class BadArgumentError(ServiceError):
    """A method, argument or descriptor the service does not take (-12, -1013, -1014, 1014,
    E_INVALIDARG, an empty or malformed descriptor)."""


class ClientRefusedError(ServiceError):
    """The client refused or failed a request (-1022, -1023 with the client's text, -103..-109)."""


_BY_CODE = {
    -1019: BusyError,
    -1018: NoClientError,
    -1016: ObjectNotFoundError,
    -100: ObjectNotFoundError,
    -12: BadArgumentError,
    -1013: BadArgumentError,
    -1014: BadArgumentError,
    1014: BadArgumentError,
    -1022: ClientRefusedError,
    -1023: ClientRefusedError,
    **{code: ClientRefusedError for code in (-103, -104, -105, -106, -107, -108, -109, 103, 106, 107)},
}
_BY_HR = {E_INVALIDARG: BadArgumentError, -1014: BadArgumentError, -1018: NoClientError}
# -1023 is a system error; these reasons are the caller's descriptor, not the client.
_BAD_DESCRIPTOR = ("TRXODS cannot be empty", "ErrorCode: -11")


def error_for(reply: dict, ok_codes=(0,)) -> TrxError | None:
    """The exception a reply stands for, or None when it reports success."""
    code, hr, message = reply.get("errCode"), reply.get("hr", 0), reply.get("errMsg")
    failed_hr = isinstance(hr, int) and hr < 0
    if (code is None or code in ok_codes) and not failed_hr:
        return None
    if code is None or code in ok_codes:
        cls = _BY_HR.get(hr, ServiceError)
        return cls(message or f"hr {hr} (0x{hr & 0xFFFFFFFF:08X})", code, hr, reply)
    cls = _BY_CODE.get(code, ServiceError)
    text = message or ""
    if code == -1022 and "Blocked" in text:
        cls = BusyError
    elif code == -1023 and any(reason in text for reason in _BAD_DESCRIPTOR):
        cls = BadArgumentError
    return cls(text, code, hr, reply)
