' What a script user pays per use of the component: the object is created once, then each
' iteration parses the typical string and reads the three forms and two properties, all
' late-bound as VBScript calls them. Runs rounds of about half a second for about three seconds
' and prints the best round as "RESULT <name> <microseconds per iteration> us" (name: the first
' argument, default script_iteration_us), or "FAILED: ..." on an error.
Option Explicit
Dim name
name = "script_iteration_us"
If WScript.Arguments.Count > 0 Then name = WScript.Arguments(0)

Const kTypical = "Provider=SQLOLEDB;Data Source=server01;Initial Catalog=sales;User ID=app;Password=secret;Connect Timeout=30;Current Language=english"

' Seconds since an arbitrary start, across midnight.
Function Elapsed(since)
  Elapsed = Timer - since
  If Elapsed < 0 Then Elapsed = Elapsed + 86400
End Function

On Error Resume Next
Dim o, s, ok, i, n, started, roundStart, seconds, best
Set o = CreateObject("Vantelby.ConStringHelper")
If Err.Number <> 0 Then
  WScript.Echo "FAILED: CreateObject: " & Hex(Err.Number)
  WScript.Quit 1
End If
best = -1
started = Timer
Do
  roundStart = Timer
  n = 0
  Do
    For i = 1 To 100
      ok = o.parse(kTypical)
      s = o.ODBCString
      s = o.OleDBString
      s = o.OleDBString2
      s = o.DataSource
      s = o.UID
    Next
    n = n + 100
    seconds = Elapsed(roundStart)
  Loop Until seconds >= 0.5
  If Err.Number <> 0 Then
    WScript.Echo "FAILED: " & Hex(Err.Number) & " " & Err.Description
    WScript.Quit 1
  End If
  If best < 0 Or seconds * 1000000 / n < best Then best = seconds * 1000000 / n
Loop Until Elapsed(started) >= 3
If s <> "app" Then
  WScript.Echo "FAILED: UID read back as [" & s & "]"
  WScript.Quit 1
End If
' A point for the decimal separator whatever the locale, for the scripts that read this line.
WScript.Echo "RESULT " & name & " " & Replace(FormatNumber(best, 3, -1, 0, 0), ",", ".") & " us"
WScript.Quit 0
