' Activates the service's object through its ProgID, as a test tool does,
' makes a few late-bound calls whose out-parameters VBScript passes by
' reference, and lets the object go again. Prints "activate.vbs: OK" as its
' last line when all of that worked (cscript's exit status does not tell).
'
' Wine 8's VBScript CreateObject refuses every object that has
' IObjectWithSite (as the service's object has) when the script host offers
' no IServiceProvider, which cscript does not: error 429. The host's own
' WScript.CreateObject makes the same CoCreateInstance without the site, so
' the script falls back to it after a 429 and says so.
Option Explicit
Dim o, how
how = "CreateObject"
On Error Resume Next
Set o = CreateObject("trxcom.CNVcoTRX")
If Err.Number = 429 Then
  Err.Clear
  how = "WScript.CreateObject (CreateObject gave 429)"
  Set o = WScript.CreateObject("trxcom.CNVcoTRX")
End If
If Err.Number <> 0 Then
  WScript.Echo "activation failed: " & Hex(Err.Number) & " " & Err.Description
  WScript.Quit 1
End If
On Error GoTo 0
WScript.Echo "created by " & how
WScript.Echo "TypeName: " & TypeName(o)

Dim msg, code, failed
failed = False
Sub Check(what, actual, expected)
  WScript.Echo what & ": " & actual
  If actual <> expected Then
    WScript.Echo what & " should be " & expected
    failed = True
  End If
End Sub
code = o.SetSubmitTimeout(20, msg)
Check "SetSubmitTimeout(20) errCode", code, 0
code = o.GetLastError(msg)
Check "GetLastError errCode", code, 0
Dim xml
code = o.GetObjectDefinitions("8.2", xml, msg)
Check "GetObjectDefinitions(8.2) errCode", code, 2
Check "GetObjectDefinitions(8.2) errMsg", msg, "trx has the same object definition"
code = o.GetObjectDefinitions("8.1", xml, msg)
Check "GetObjectDefinitions(8.1) errCode", code, 0
Check "GetObjectDefinitions(8.1) is the catalogue", Left(xml, 5), "<?xml"
On Error Resume Next
code = o.SetSubmitTimeout(5, msg)
Check "SetSubmitTimeout(5) raises", Hex(Err.Number), "FFFFFC0A"
Err.Clear
On Error GoTo 0
Set o = Nothing
If failed Then WScript.Quit 1
WScript.Echo "activate.vbs: OK"
