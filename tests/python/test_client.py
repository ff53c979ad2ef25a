"""The Python client through `trx serve` on the sample client: calls, errors by
cause, recording, and recordings emitted as replay scripts."""
import json
import os
import runpy
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

import pytest
from conftest import ROOT, SAMPLE, TRX, serve_command

from trxclient import (BadArgumentError, BusyError, CallTimeout, ClientRefusedError, NoClientError,
                       ObjectNotFoundError, ProtocolError, Session, app, plain)

FORM = app / "NorvScreen[Accounts Screen]/NorvView[Account List View]/NorvApplet[Account Form Applet]"
CTB = app / ("NorvCommunicationsToolbar", "NorvCommunicationsToolbar")
ACTIONS_FILE = ROOT / "samples" / "crm-actions.jsonl"
ACTIONS = [json.loads(line) for line in ACTIONS_FILE.read_text().splitlines() if line.strip()[:1] not in ("", "#")]
ENV = {**os.environ, "PYTHONPATH": str(ROOT / "clients" / "python")}


@pytest.mark.parametrize("target, method, args, expected", [
    (app, "UIName", (), "Norvik Sales Enterprise"),
    (app, "GetClassCount", ("NorvMenu",), 1),
    (app / "NorvScreen[Accounts Screen]", "GetRepositoryNameByIndex", ("NorvView", 0), "Account List View"),
    (FORM / ("NorvText", "Name"), "Text", (), "Acme Corporation"),
    (FORM / ("NorvButton", "WriteRecord"), "UIName", (), "Save"),
    (FORM, "GetRepositoryNameByIndex", ("NorvButton", 3), "UndoRecord"),
    (CTB, "GetData", (), [["Name", "State", "Tooltip"], ["Answer", "Enabled", "Answer the call"],
                          ["Release", "Disabled", "Release the call"], ["Hold", "Disabled", "Put the call on hold"]]),
])
def test_methods_and_properties_answer_plain_values(trx, target, method, args, expected):
    assert trx[target].call(method, *args) == expected


def test_a_method_by_attribute_a_property_by_key_and_rows(trx):
    name = trx[FORM] / ("NorvText", "Name")
    assert name.SetText("Acme Group") is None
    assert name["Text"] == "Acme Group"
    assert trx[CTB].rows()[1:2] == [["Answer", "Enabled", "Answer the call"]]


# (client call before, its parameters, object, method, arguments, exception, errCode)
@pytest.mark.parametrize("before, params, target, method, args, error, code", [
    ("busy", {}, app, "UIName", (), BusyError, -1019),
    ("unload", {}, app, "UIName", (), NoClientError, -1018),
    (None, {}, FORM / ("NorvText", "Nope"), "Text", (), ObjectNotFoundError, -1016),
    (None, {}, FORM / ("NorvText", 'a&b<"c">\\]\x01'), "Text", (), ObjectNotFoundError, -1016),
    (None, {}, app, "GetClassCount", (True,), BadArgumentError, -1013),
    (None, {}, app, "GetClassCount", ("NorvNothing",), BadArgumentError, 1014),
    (None, {}, app, "NoSuchMethod", (), BadArgumentError, -12),
    (None, {}, "<Obj", "UIName", (), BadArgumentError, -1023),
    (None, {}, FORM / ("NorvButton", "DeleteRecord"), "Click", (), ClientRefusedError, -1023),
    ("delay", {"ms": 600}, app, "ProcessKeyboardAccelerator", ("Ctrl+N",), CallTimeout, None),
])
def test_failures_raise_by_cause_with_the_services_code(trx, before, params, target, method, args, error, code):
    trx.set_submit_timeout(10)
    if before:
        getattr(trx.client, before)(**params)
    with pytest.raises(error) as caught:
        trx.submit(target, method, *args, timeout=0.2 if error is CallTimeout else None)
    assert caught.value.code == code and caught.value.message
    assert "screen" in trx.client.state()  # a late reply is dropped: the next call gets its own


@pytest.mark.parametrize("command, line, message", [
    ([TRX, "serve", "--app", str(ROOT / "no-such.xml")], {"call": "GetRootObject"}, "bridge process (ended|is gone)"),
    (serve_command(), {"call": "Nope"}, 'unknown call "Nope"'),
    (serve_command(), {"call": "client.busy", "on": 3}, '"on" must be'),
])
def test_protocol_failures(new_session, command, line, message):
    with pytest.raises(ProtocolError, match=message):
        new_session(command).request(**line)


def test_a_session_ends_the_bridge_cleanly(new_session):
    with new_session() as trx:
        assert trx.app["UIName"] == "Norvik Sales Enterprise"
    assert trx.close() == 0


@pytest.mark.parametrize("example, output", [
    ("fill_form.py", "Name: Acme Group\nMain Phone: 555-0199\nKey Account: Checked\n"),
    ("record.py", "/  ProcessKeyboardAccelerator  'Ctrl+N'\n"),
])
def test_examples(example, output):
    run = subprocess.run([sys.executable, ROOT / "clients" / "python" / "examples" / example, *serve_command()],
                         capture_output=True, text=True, timeout=60, env=ENV)
    assert output in run.stdout, run.stderr


def client_state(trx):
    """The client's screen and view, and every property of every object of the sample."""
    paths = [""]

    def walk(node, prefix):
        for child in node:
            if child.tag in ("screen", "object"):
                paths.append(prefix + child.get("name"))
                walk(child, paths[-1] + "/")

    description = ElementTree.parse(SAMPLE).getroot()
    walk(description, "")
    names = {e.get("name") for e in description.iter("property")} | {e.get("property") for e in description.iter("set")}
    state = {key: value for key, value in trx.client.state().items() if key != "id"}
    for path in paths:
        for name in sorted(filter(None, names)):
            reply = trx.client.get(object=path, property=name)
            state[path, name] = plain(reply.get("value")) if reply["hr"] == 0 else reply["hr"]
    return state


def test_recording_yields_the_record_events_in_order(trx):
    with trx.recording() as events:
        for action in ACTIONS[:6]:
            assert trx.client.action(**action)["hr"] == 0
    assert trx.client.state()["recorder"] is False
    assert [(e.target.path, e.method, e.args) for e in events] == [
        ("/", "ProcessKeyboardAccelerator", "Ctrl+N"), ("/", "ProcessKeyboardAccelerator", "Alt+Q"),
        ("/", "ProcessKeyboardAccelerator", "F8"), ("/", "ProcessKeyboardAccelerator", "Shift+Ctrl+F9"),
        ("NorvScreen[Accounts Screen]/NorvView[Account List View]/NorvViewApplets[NorvViewApplets]", "Select",
         "Account Form Applet"), (FORM.path + "/NorvText[Name]", "SetText", "Acme Group")]
    assert events == trx.events


@pytest.mark.parametrize("emit", ["python", "jsonl"])
def test_an_emitted_replay_reaches_the_state_the_recording_did(trx, new_session, tmp_path, emit):
    with trx.recording() as events:
        for action in ACTIONS:
            assert trx.client.action(**action)["hr"] == 0, action
    recorded, fresh = client_state(trx), new_session()
    assert client_state(fresh) != recorded
    script = subprocess.run([TRX, "record", "--app", str(SAMPLE), "--emit", emit, str(ACTIONS_FILE)],
                            capture_output=True, text=True, check=True).stdout
    if emit == "python":
        (tmp_path / "replay.py").write_text(script)
        runpy.run_path(str(tmp_path / "replay.py"))["replay"](fresh)
        subprocess.run([sys.executable, tmp_path / "replay.py", *serve_command()], check=True, timeout=120, env=ENV)
    else:
        assert len(script.splitlines()) == len(events)
        for line in script.splitlines():
            request = json.loads(line)
            del request["id"]
            fresh.call(request.pop("call"), **request)
    assert client_state(fresh) == recorded
