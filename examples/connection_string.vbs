' Parses a connection string with the ConnectionString component (ProgID Vantelby.ConStringHelper)
' and prints every setting it recognised and the three ready-made connection strings.
'
'   cscript //nologo connection_string.vbs [/out:FILE] ["connection string"]
'
' Without a connection string a built-in sample is parsed. With /out:FILE the lines go into FILE,
' as UTF-16, instead of to standard output: a script host writes a redirected standard output in
' the console's code page, which loses every character outside it. Exits with 1 when the
' component cannot be created or a call fails, printing why (on standard output or into the file:
' not every script host has a standard error stream), so that callers can tell a printed result
' from a failure.
Option Explicit

Const Sample = "Provider=SQLOLEDB;Data Source=db01.example.net;Initial Catalog=Sales;User ID=report;Password=""p@ss;word"";Connect Timeout=30;Current Language=us_english"

' The arguments: "/out:FILE" names the output file, the first other one is the connection string.
Dim text, outputPath, given, index, argument
text = Sample
given = False
For index = 0 To WScript.Arguments.Count - 1
  argument = WScript.Arguments(index)
  If LCase(Left(argument, 5)) = "/out:" Then
    outputPath = Mid(argument, 6)
  ElseIf Not given Then
    text = argument
    given = True
  End If
Next

' Script errors are checked by hand: some script hosts end silently on an unhandled one.
On Error Resume Next

Dim output
If Not IsEmpty(outputPath) Then
  Set output = CreateObject("Scripting.FileSystemObject").CreateTextFile(outputPath, True, True)
  If Err.Number <> 0 Then
    WScript.Echo "cannot write " & outputPath & ": 0x" & Hex(Err.Number) & " " & Err.Description
    WScript.Quit 1
  End If
End If

' One line of the result, to the output file when there is one.
Sub Show(line)
  If IsEmpty(output) Then
    WScript.Echo line
  Else
    output.WriteLine line
  End If
End Sub

' Ends the script with `status`, the output file complete.
Sub Finish(status)
  If Not IsEmpty(output) Then output.Close
  WScript.Quit status
End Sub

Dim helper
Set helper = CreateObject("Vantelby.ConStringHelper")
If Err.Number <> 0 Then
  Show "cannot create Vantelby.ConStringHelper (is Pellmora.dll registered?): 0x" & Hex(Err.Number) & " " & Err.Description
  Finish 1
End If

Dim parsed
parsed = helper.parse(text)

Show "Connection string: " & text
Show "parse:             " & parsed
Show ""
Show "UID:               " & helper.UID
Show "PassWord:          " & helper.PassWord
Show "Catalog:           " & helper.Catalog
Show "DataSource:        " & helper.DataSource
Show "Timeout:           " & helper.Timeout
Show "CurrentLanguage:   " & helper.CurrentLanguage
Show "Provider:          " & helper.Provider
Show ""
Show "ODBCString:        " & helper.ODBCString
Show "OleDBString:       " & helper.OleDBString
Show "OleDBString2:      " & helper.OleDBString2

If Err.Number <> 0 Then
  Show "a call on the component failed: 0x" & Hex(Err.Number) & " " & Err.Description
  Finish 1
End If
Finish 0
