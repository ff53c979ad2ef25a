' Activates the service's object through its ProgID, as a test tool does,
' and lets it go again. Prints "activate.vbs: OK" as its last line when all
' of that worked (cscript's exit status does not tell).
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
Set o = Nothing
WScript.Echo "activate.vbs: OK"
