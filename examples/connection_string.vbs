' Parses a connection string with the ConnectionString component (ProgID Vantelby.ConStringHelper)
' and prints every setting it recognised and the three ready-made connection strings.
'
'   cscript //nologo connection_string.vbs ["connection string"]
'
' Without an argument a built-in sample is parsed. Exits with 1 when the component cannot be
' created or a call fails, printing why on standard output (not every script host has a standard
' error stream), so that callers can tell a printed result from a failure.
Option Explicit

Const Sample = "Provider=SQLOLEDB;Data Source=db01.example.net;Initial Catalog=Sales;User ID=report;Password=""p@ss;word"";Connect Timeout=30;Current Language=us_english"

Dim text
If WScript.Arguments.Count > 0 Then
  text = WScript.Arguments(0)
Else
  text = Sample
End If

' Script errors are checked by hand: some script hosts end silently on an unhandled one.
On Error Resume Next

Dim helper
Set helper = CreateObject("Vantelby.ConStringHelper")
If Err.Number <> 0 Then
  WScript.Echo "cannot create Vantelby.ConStringHelper (is Pellmora.dll registered?): 0x" & Hex(Err.Number) & " " & Err.Description
  WScript.Quit 1
End If

Dim parsed
parsed = helper.parse(text)

WScript.Echo "Connection string: " & text
WScript.Echo "parse:             " & parsed
WScript.Echo ""
WScript.Echo "UID:               " & helper.UID
WScript.Echo "PassWord:          " & helper.PassWord
WScript.Echo "Catalog:           " & helper.Catalog
WScript.Echo "DataSource:        " & helper.DataSource
WScript.Echo "Timeout:           " & helper.Timeout
WScript.Echo "CurrentLanguage:   " & helper.CurrentLanguage
WScript.Echo "Provider:          " & helper.Provider
WScript.Echo ""
WScript.Echo "ODBCString:        " & helper.ODBCString
WScript.Echo "OleDBString:       " & helper.OleDBString
WScript.Echo "OleDBString2:      " & helper.OleDBString2

If Err.Number <> 0 Then
  WScript.Echo "a call on the component failed: 0x" & Hex(Err.Number) & " " & Err.Description
  WScript.Quit 1
End If
WScript.Quit 0
