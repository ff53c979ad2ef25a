// The eleven methods of INVTRXAutomation as a JScript tool calls them. JScript
// has no variables by reference: a tool passes the in-parameters only and
// sees the return value, errCode. A failed call (an HRESULT) is an exception
// whose number is that HRESULT.
//
//   cscript //nologo methods.js client     a Norvik client is attached
//   cscript //nologo methods.js noclient   none is (the default)
//
// cscript picks JScript by the .js extension. Wine 8's cscript does not take
// //E:jscript: it prints nothing and exits with 1.
//
// Each check prints one line; a failed one adds "  FAILED: ..." and is
// counted. The last line is "methods.js: OK" only when every check passed,
// else "methods.js: N FAILED" (cscript's exit status does not tell).

var withClient = WScript.Arguments.length > 0 && WScript.Arguments(0).toLowerCase() == "client";
WScript.Echo("methods.js: " + (withClient ? "with a client attached" : "without a client"));

var failures = 0;
function fail(what) {
  WScript.Echo("  FAILED: " + what);
  ++failures;
}
function show(value) {
  if (value === null) return "(null)";
  if (typeof value == "undefined") return "(undefined)";
  if (typeof value == "string") return "\"" + value + "\"";
  return String(value) + " (" + typeof value + ")";
}
function check(what, actual, expected) {
  WScript.Echo(what + ": " + show(actual));
  if (actual !== expected) fail(what + " should be " + show(expected));
}
// The HRESULT a call raised as an unsigned hexadecimal number, or "none".
function raisedBy(call) {
  try {
    call();
  } catch (e) {
    return ((e.number < 0 ? e.number + 0x100000000 : e.number).toString(16)).toUpperCase() + " " + e.description;
  }
  return "none";
}

// ---- activation -------------------------------------------------------------
// Wine's script engines refuse objects that have IObjectWithSite under
// cscript (429); the host's WScript.CreateObject activates them.
var o;
try {
  o = new ActiveXObject("trxcom.CNVcoTRX");
} catch (e) {
  WScript.Echo("new ActiveXObject: " + (e.number & 0xFFFF) + ", falling back to WScript.CreateObject");
  o = WScript.CreateObject("trxcom.CNVcoTRX");
}

var root = "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"/>";
var busy = -1019, noApp = -1018;

// ---- SetSubmitTimeout and GetLastError ---------------------------------------
// Every call that needs the client waits for it to be idle up to the submit
// time-out, twice, before it reports it busy: without a client the script
// keeps that wait at the minimum, 10 ms.
var timeOut = withClient ? 30000 : 10;
check("SetSubmitTimeout(" + timeOut + ")", o.SetSubmitTimeout(timeOut), 0);
check("SetSubmitTimeout(9) raises", raisedBy(function () { o.SetSubmitTimeout(9); }),
      "FFFFFC0A Invalid argument value for method name \"SetSubmitTimeout\" for argument \"timeOut\". Input value: \"9\".");
check("GetLastError after SetSubmitTimeout(9)", o.GetLastError(), -1014);
check("GetLastError read again", o.GetLastError(), -1014);

// ---- GetObjectDefinitions ----------------------------------------------------
check("GetObjectDefinitions(8.2)", o.GetObjectDefinitions("8.2"), 2);
check("GetObjectDefinitions(08.2)", o.GetObjectDefinitions("08.2"), 2);
check("GetObjectDefinitions(8.1)", o.GetObjectDefinitions("8.1"), 0);
check("GetObjectDefinitions(\"\")", o.GetObjectDefinitions(""), 0);
var versions = ["9", "8.10", "8.19", "abc"];
for (var i = 0; i < versions.length; ++i)
  check("GetObjectDefinitions(" + versions[i] + ")", o.GetObjectDefinitions(versions[i]), -1023);

// ---- StartLogging and StopLogging ---------------------------------------------
// StopLogging tells the service's log writer to end; the writer closes the
// file on its own thread a moment later, and until then the file cannot be
// deleted. True once it is deleted, false if it is still held after 5 s.
function deleteWhenFree(file) {
  for (var waited = 0; ; waited += 100) {
    try {
      fso.DeleteFile(file);
      if (waited > 0) WScript.Echo("  (deleted after " + waited + " ms)");
      return true;
    } catch (e) {
      if (waited >= 5000) return false;
      WScript.Sleep(100);
    }
  }
}
var fso = new ActiveXObject("Scripting.FileSystemObject");
var logFile = fso.BuildPath(fso.GetSpecialFolder(2).Path, "trx-methods-js.log");
if (fso.FileExists(logFile)) fso.DeleteFile(logFile);
// Appending needs a file that is there; without it, it is a new one.
check("StartLogging(" + logFile + ", true) of a file not there", o.StartLogging(logFile, true), -1002);
check("StartLogging(" + logFile + ", false)", o.StartLogging(logFile, false), 0);
o.GetObjectDefinitions("8.2");
check("StopLogging", o.StopLogging(), 0);
check("the log file exists", fso.FileExists(logFile), true);
check("StartLogging(" + logFile + ", true) of the file now there", o.StartLogging(logFile, true), 0);
o.GetObjectDefinitions("8.2");
check("StopLogging", o.StopLogging(), 0);
if (fso.FileExists(logFile)) {
  check("the log file has something in it", fso.GetFile(logFile).Size > 0, true);
  check("the log file is let go within 5 s of StopLogging", deleteWhenFree(logFile), true);
}
check("StartLogging into a missing folder", o.StartLogging("C:\\trx-no-such-folder\\x.log", false), -1002);
o.StopLogging();

// ---- the client's side ---------------------------------------------------------
check("GetRootObject", o.GetRootObject(), withClient ? 0 : busy);
if (withClient) {
  var fromId = o.GetObjectFromId("s_999");
  WScript.Echo("GetObjectFromId(s_999): " + fromId);
  if (fromId == 0) fail("GetObjectFromId(s_999) should fail");
} else {
  check("GetObjectFromId(s_999)", o.GetObjectFromId("s_999"), busy);
}
check("GetObjectContents(2)", o.GetObjectContents(2, root), withClient ? -1014 : busy);
if (withClient)
  WScript.Echo("GetObjectContents(1): " + o.GetObjectContents(1, root));
else
  check("GetObjectContents(1)", o.GetObjectContents(1, root), busy);
check("StartRecording", o.StartRecording(), withClient ? 0 : noApp);
check("StopRecording", o.StopRecording(), withClient ? 0 : noApp);

// ---- Submit --------------------------------------------------------------------
// JScript's integers are VT_I4 and its strings VT_BSTR, both of which Submit
// takes. A JScript array is an object (VT_DISPATCH), which it does not: a
// SAFEARRAY of VARIANTs comes from VBArray-returning calls such as a
// Scripting.Dictionary's Items().
function safeArray(values) {
  var d = new ActiveXObject("Scripting.Dictionary");
  for (var i = 0; i < values.length; ++i) d.Add(i, values[i]);
  return d.Items();
}
function submit(method, args, expected) {
  check("Submit " + method, o.Submit(root, method, args), withClient ? expected : noApp);
}
submit("SetTimeOut", 60, 0);
submit("UIName", null, 0);
submit("GetClassCount", "NorvMenu", 0);
submit("GetClassCount", "NorvView", 1014);
submit("GetRepositoryNameByIndex", safeArray(["NorvPageTabs", 0]), 0);
submit("GetRepositoryNameByIndex", safeArray(["NorvPageTabs", 1]), 1014);
submit("NoSuchMethod", null, -12);
submit("ProcessKeyboardAccelerator", "Ctrl+Shift+F9", 0);

var refused = "80070057 Invalid argument type for method name:GetRepositoryNameByIndex for argument: ";
var jsArray = raisedBy(function () { o.Submit(root, "GetRepositoryNameByIndex", ["NorvPageTabs", 0]); });
WScript.Echo("Submit with a JScript array raises: " + jsArray);
if (jsArray.indexOf(refused) != 0) fail("Submit with a JScript array should raise " + refused + "...");
check("GetLastError after the JScript array", o.GetLastError(), -1013);
check("Submit with a Boolean raises", raisedBy(function () { o.Submit(root, "GetClassCount", true); }),
      "80070057 Invalid argument type for method name:GetClassCount for argument: (TRUE). " +
      "Expected type: Array, String, Integer or Null.");
check("GetLastError after the Boolean", o.GetLastError(), -1013);
check("Submit with a fraction raises", raisedBy(function () { o.Submit(root, "SetTimeOut", 1.5); }).substring(0, 8),
      "80070057");

// A client's session goes on with the default time-out of 60 s.
if (withClient) o.SetSubmitTimeout(60000);
o = null;
CollectGarbage();
WScript.Echo(failures == 0 ? "methods.js: OK" : "methods.js: " + failures + " FAILED");
