' Turns the service's recording on or off from a tool of its own, while
' another tool listens for the events:
'
'   cscript //nologo recording.vbs start
'   cscript //nologo recording.vbs stop
'
' The last line is "recording.vbs: OK" when the call reported no error.
Option Explicit
Dim o, code, msg, what
If WScript.Arguments.Count <> 1 Then
  WScript.Echo "usage: recording.vbs start|stop"
  WScript.Quit 2
End If
what = LCase(WScript.Arguments(0))

On Error Resume Next
Set o = CreateObject("trxcom.CNVcoTRX")
If Err.Number = 429 Then
  Err.Clear
  Set o = WScript.CreateObject("trxcom.CNVcoTRX")
End If
If Err.Number <> 0 Then
  WScript.Echo "activation failed: " & Hex(Err.Number) & " " & Err.Description
  WScript.Quit 1
End If
On Error GoTo 0

msg = "unset"
If what = "start" Then
  code = o.StartRecording(msg)
Else
  code = o.StopRecording(msg)
End If
Set o = Nothing
WScript.Echo what & ": errCode " & code & ", errMsg """ & msg & """"
If code = 0 And msg = "" Then WScript.Echo "recording.vbs: OK"
