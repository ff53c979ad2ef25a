' The eleven methods of INVTRXAutomation as a VBScript tool calls them,
' late-bound, with every out-parameter passed by reference and read back.
'
'   cscript //nologo methods.vbs client     a Norvik client is attached
'   cscript //nologo methods.vbs noclient   none is (the default)
'
' Each check prints one line; a failed one adds "  FAILED: ..." and is
' counted. The last line is "methods.vbs: OK" only when every check passed,
' else "methods.vbs: N FAILED" (cscript's exit status does not tell).
'
' The service keeps one state for all tools, so the script sets what it
' depends on (the submit time-out) itself before reading it back.
Option Explicit

Dim withClient
withClient = False
If WScript.Arguments.Count > 0 Then withClient = (LCase(WScript.Arguments(0)) = "client")
WScript.Echo "methods.vbs: " & IIf(withClient, "with a client attached", "without a client")

Function IIf(condition, a, b)
  If condition Then IIf = a Else IIf = b
End Function

Dim failures
failures = 0

Sub Fail(what)
  WScript.Echo "  FAILED: " & what
  failures = failures + 1
End Sub

Sub Check(what, actual, expected)
  WScript.Echo what & ": " & Show(actual)
  If VarType(actual) <> VarType(expected) And Not (IsNumber(actual) And IsNumber(expected)) Then
    Fail what & " is a " & TypeName(actual) & ", should be " & Show(expected)
  ElseIf actual <> expected Then
    Fail what & " should be " & Show(expected)
  End If
End Sub

' A number of any width: VBScript's literals are 16-bit, the service's
' codes 32-bit.
Function IsNumber(value)
  Select Case VarType(value)
    Case vbInteger, vbLong, vbSingle, vbDouble, vbByte, 14, 16, 17, 18, 19, 20, 21
      IsNumber = True
    Case Else
      IsNumber = False
  End Select
End Function

Sub CheckContains(what, actual, piece)
  WScript.Echo what & ": " & Show(Left(actual, 120))
  If VarType(actual) <> vbString Then
    Fail what & " is a " & TypeName(actual) & ", should be a string"
  ElseIf InStr(1, actual, piece, vbBinaryCompare) = 0 Then
    Fail what & " should contain " & Show(piece)
  End If
End Sub

Function Show(value)
  If IsNull(value) Then
    Show = "(Null)"
  ElseIf IsEmpty(value) Then
    Show = "(Empty)"
  ElseIf IsArray(value) Then
    Show = "(array)"
  ElseIf VarType(value) = vbString Then
    Show = """" & value & """"
  Else
    Show = CStr(value) & " (" & TypeName(value) & ")"
  End If
End Function

' ---- activation -------------------------------------------------------------
' Wine's VBScript CreateObject refuses objects that have IObjectWithSite
' under cscript (429); the host's WScript.CreateObject activates them.
Dim o
On Error Resume Next
Set o = CreateObject("trxcom.CNVcoTRX")
If Err.Number = 429 Then
  Err.Clear
  Set o = WScript.CreateObject("trxcom.CNVcoTRX")
End If
If Err.Number <> 0 Then
  WScript.Echo "activation failed: " & Hex(Err.Number) & " " & Err.Description
  WScript.Echo "methods.vbs: activation FAILED"
  WScript.Quit 1
End If
On Error GoTo 0

Const kRoot = "<Obj ClassName=""NorvApplication"" RepositoryName=""Norvik""/>"
Const kBusy = -1019
Const kBusyText = "Norvik application is busy."
Const kNoApp = -1018
Const kNoAppText = "Could not find Norvik application object."

Dim code, msg, ods, xml, ret

' ---- SetSubmitTimeout and GetLastError ---------------------------------------
' Every call that needs the client waits for it to be idle up to the submit
' time-out, twice, before it reports it busy: without a client the script
' keeps that wait at the minimum, 10 ms.
Dim timeOut
timeOut = IIf(withClient, CLng(30000), CLng(10))
msg = "unset"
code = o.SetSubmitTimeout(timeOut, msg)
Check "SetSubmitTimeout(" & timeOut & ") errCode", code, 0
' The method writes no message: the reference comes back as a null string.
Check "SetSubmitTimeout(" & timeOut & ") errMsg", msg, ""

' Below 10 ms the call itself fails: the script sees an error raised with
' the service's code and the last error's text.
On Error Resume Next
code = o.SetSubmitTimeout(9, msg)
Dim raised, description
raised = Err.Number
description = Err.Description
Err.Clear
On Error GoTo 0
Check "SetSubmitTimeout(9) raises", Hex(raised), "FFFFFC0A"
CheckContains "SetSubmitTimeout(9) description", description, "SetSubmitTimeout"

msg = "unset"
code = o.GetLastError(msg)
Check "GetLastError after SetSubmitTimeout(9) errCode", code, -1014
Check "GetLastError after SetSubmitTimeout(9) errMsg", msg, description
' Reading the last error does not clear it.
msg = "unset"
code = o.GetLastError(msg)
Check "GetLastError read again errCode", code, -1014

' ---- GetObjectDefinitions ----------------------------------------------------
xml = "unset" : msg = "unset"
code = o.GetObjectDefinitions("8.2", xml, msg)
Check "GetObjectDefinitions(8.2) errCode", code, 2
Check "GetObjectDefinitions(8.2) errMsg", msg, "trx has the same object definition"
Check "GetObjectDefinitions(8.2) trxDefnXML", xml, ""

xml = "unset" : msg = "unset"
code = o.GetObjectDefinitions("8.1", xml, msg)
Check "GetObjectDefinitions(8.1) errCode", code, 0
CheckContains "GetObjectDefinitions(8.1) trxDefnXML", xml, "<NorvikObjectsConfig"
CheckContains "GetObjectDefinitions(8.1) version", xml, "Version=""8.2"""

xml = "unset" : msg = "unset"
code = o.GetObjectDefinitions("", xml, msg)
Check "GetObjectDefinitions("""") errCode", code, 0
Check "GetObjectDefinitions("""") is the catalogue", Left(xml, 5), "<?xml"

Dim ver
For Each ver In Array("9", "8.10", "8.19")
  xml = "unset" : msg = "unset"
  code = o.GetObjectDefinitions(ver, xml, msg)
  Check "GetObjectDefinitions(" & ver & ") errCode", code, -1023
  Check "GetObjectDefinitions(" & ver & ") errMsg", msg, "trx has an older object definition"
Next

' ---- StartLogging and StopLogging ---------------------------------------------
' StopLogging tells the service's log writer to end; the writer closes the
' file on its own thread a moment later, and until then the file cannot be
' deleted. True once it is deleted, False if it is still held after 5 s.
Function DeleteWhenFree(file)
  Dim waited
  DeleteWhenFree = False
  For waited = 0 To 5000 Step 100
    On Error Resume Next
    fso.DeleteFile file
    If Err.Number = 0 Then
      On Error GoTo 0
      If waited > 0 Then WScript.Echo "  (deleted after " & waited & " ms)"
      DeleteWhenFree = True
      Exit Function
    End If
    Err.Clear
    On Error GoTo 0
    WScript.Sleep 100
  Next
End Function
Dim fso, logFile
Set fso = CreateObject("Scripting.FileSystemObject")
logFile = fso.BuildPath(fso.GetSpecialFolder(2), "trx-methods-vbs.log")
If fso.FileExists(logFile) Then fso.DeleteFile logFile
msg = "unset"
code = o.StartLogging(logFile, False, msg)
Check "StartLogging(" & logFile & ") errCode", code, 0
Check "StartLogging errMsg", msg, ""
xml = "unset"
code = o.GetObjectDefinitions("8.2", xml, msg)
msg = "unset"
code = o.StopLogging(msg)
Check "StopLogging errCode", code, 0
Check "StopLogging errMsg", msg, ""
Check "the log file exists", fso.FileExists(logFile), True
If fso.FileExists(logFile) Then
  Check "the log file has something in it", fso.GetFile(logFile).Size > 0, True
  Check "the log file is let go within 5 s of StopLogging", DeleteWhenFree(logFile), True
End If

msg = "unset"
code = o.StartLogging("C:\trx-no-such-folder\x.log", True, msg)
Check "StartLogging into a missing folder errCode", code, -1002
CheckContains "StartLogging into a missing folder errMsg", msg, "x.log"
code = o.StopLogging(msg)

' ---- the client's side: root, ids, contents, recording ------------------------
ods = "unset" : msg = "unset"
code = o.GetRootObject(ods, msg)
If withClient Then
  Check "GetRootObject errCode", code, 0
  Check "GetRootObject errMsg", msg, ""
  Check "GetRootObject trxODS", ods, "<Obj ClassName=""NorvApplication"" RepositoryName=""Norvik Sales""/>"
Else
  Check "GetRootObject errCode", code, kBusy
  Check "GetRootObject errMsg", msg, kBusyText
  Check "GetRootObject leaves trxODS", ods, ""
End If

ods = "unset" : msg = "unset"
code = o.GetObjectFromId("s_999", ods, msg)
If withClient Then
  WScript.Echo "GetObjectFromId(s_999) errCode: " & code & " " & Show(msg)
  If code = 0 Then Fail "GetObjectFromId(s_999) should fail"
  Check "GetObjectFromId(s_999) trxODS", ods, ""
Else
  Check "GetObjectFromId(s_999) errCode", code, kBusy
  Check "GetObjectFromId(s_999) errMsg", msg, kBusyText
End If

xml = "unset" : msg = "unset"
code = o.GetObjectContents(2, kRoot, xml, msg)
If withClient Then
  Check "GetObjectContents(2) errCode", code, -1014
  Check "GetObjectContents(2) errMsg", msg, "Unsupported input value for nMode. Only values 0, 1 and 5 are supported"
Else
  Check "GetObjectContents(2) errCode", code, kBusy
  Check "GetObjectContents(2) errMsg", msg, kBusyText
End If
xml = "unset" : msg = "unset"
code = o.GetObjectContents(1, kRoot, xml, msg)
If withClient Then
  ' The document comes even when some objects of the tree cannot be built.
  WScript.Echo "GetObjectContents(1) errCode: " & code & " " & Show(msg)
  CheckContains "GetObjectContents(1) trxContentXML", xml, "<NorvikObjTree"
Else
  Check "GetObjectContents(1) errCode", code, kBusy
End If

msg = "unset"
code = o.StartRecording(msg)
If withClient Then
  Check "StartRecording errCode", code, 0
  Check "StartRecording errMsg", msg, ""
Else
  Check "StartRecording errCode", code, kNoApp
  Check "StartRecording errMsg", msg, kNoAppText
End If
msg = "unset"
code = o.StopRecording(msg)
If withClient Then
  Check "StopRecording errCode", code, 0
  Check "StopRecording errMsg", msg, ""
Else
  Check "StopRecording errCode", code, kNoApp
  Check "StopRecording errMsg", msg, kNoAppText
End If

' ---- Submit --------------------------------------------------------------------
' VBScript's integer literals are 16-bit (VT_I2), which Submit does not
' take: a tool passes CLng(...) for a number.
Sub SubmitCase(method, args, expectedCode, expectedRet)
  Dim c, r, m
  r = "unset" : m = "unset"
  c = o.Submit(kRoot, method, args, r, m)
  If Not withClient Then
    Check "Submit " & method & " errCode", c, kNoApp
    Check "Submit " & method & " errMsg", m, kNoAppText
    Check "Submit " & method & " retVal", r, Empty
  Else
    Check "Submit " & method & " errCode", c, expectedCode
    If expectedCode = 0 Then
      Check "Submit " & method & " errMsg", m, ""
      Check "Submit " & method & " retVal", r, expectedRet
    Else
      WScript.Echo "Submit " & method & " errMsg: " & Show(m)
    End If
  End If
End Sub

SubmitCase "SetTimeOut", CLng(60), 0, 30
SubmitCase "SetTimeOut", CLng(60), 0, 60
SubmitCase "UIName", Empty, 0, "Norvik Sales Enterprise"
SubmitCase "RepositoryName", Null, 0, "Norvik Sales"
SubmitCase "GetClassCount", "NorvMenu", 0, 1
SubmitCase "GetRepositoryNameByIndex", Array("NorvPageTabs", CLng(0)), 0, "NorvPageTabs"
SubmitCase "GetRepositoryNameByIndex", Array("NorvPageTabs", CLng(1)), 1014, Empty
SubmitCase "NoSuchMethod", Empty, -12, Empty
SubmitCase "ProcessKeyboardAccelerator", "Ctrl+Shift+F9", 0, Empty

' An array held in a variable goes by reference (VT_BYREF|VT_VARIANT to the
' array); the service reads through it.
Dim byIndex
byIndex = Array("NorvPageTabs", CLng(0))
SubmitCase "GetRepositoryNameByIndex", byIndex, 0, "NorvPageTabs"

' An argument type Submit does not take fails the call: E_INVALIDARG raised
' with the message, and the last error is -1013 with the same text. This
' is checked before the client is asked for anything.
ret = "unset" : msg = "unset"
On Error Resume Next
code = o.Submit(kRoot, "GetClassCount", True, ret, msg)
raised = Err.Number
description = Err.Description
Err.Clear
On Error GoTo 0
Check "Submit with a Boolean raises", Hex(raised), "80070057"
Check "Submit with a Boolean description", description, _
  "Invalid argument type for method name:GetClassCount for argument: (TRUE). Expected type: Array, String, Integer or Null."
Check "Submit with a Boolean leaves retVal", ret, "unset"
msg = "unset"
code = o.GetLastError(msg)
Check "GetLastError after the Boolean errCode", code, -1013
Check "GetLastError after the Boolean errMsg", msg, description

' GetLastError reports the preceding call's failure, and a call that
' succeeds clears it.
code = o.Submit(kRoot, "GetClassCount", "NorvView", ret, msg)
msg = "unset"
code = o.GetLastError(msg)
If withClient Then
  Check "GetLastError after GetClassCount(NorvView) errCode", code, 1014
  CheckContains "GetLastError after GetClassCount(NorvView) errMsg", msg, """NorvView"""
  code = o.Submit(kRoot, "UIName", Empty, ret, msg)
  code = o.GetLastError(msg)
  Check "GetLastError after a call that worked", code, 0
Else
  Check "GetLastError after a Submit without a client errCode", code, kNoApp
  Check "GetLastError after a Submit without a client errMsg", msg, kNoAppText
End If

' A client's session goes on with the default time-out of 60 s.
If withClient Then code = o.SetSubmitTimeout(60000, msg)
Set o = Nothing
If failures = 0 Then
  WScript.Echo "methods.vbs: OK"
Else
  WScript.Echo "methods.vbs: " & failures & " FAILED"
End If
