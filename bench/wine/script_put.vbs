' What a script pays for one property put, with a number and with a string: the object is created
' once, then Timeout is set 100 times per loop step, to 30 and to "30". Runs rounds of about half
' a second for about three seconds each and prints the best rounds as
' "RESULT script_put_number_us <microseconds per put> us" and "RESULT script_put_string_us ...",
' the names prefixed with the first argument if one is given, or "FAILED: ..." on an error.
Option Explicit
Dim prefix
prefix = ""
If WScript.Arguments.Count > 0 Then prefix = WScript.Arguments(0)

' Seconds since an arbitrary start, across midnight.
Function Elapsed(since)
  Elapsed = Timer - since
  If Elapsed < 0 Then Elapsed = Elapsed + 86400
End Function

On Error Resume Next
Dim o, i, n, started, roundStart, seconds, best, number, text, kind
Set o = CreateObject("Vantelby.ConStringHelper")
If Err.Number <> 0 Then
  WScript.Echo "FAILED: CreateObject: " & Hex(Err.Number)
  WScript.Quit 1
End If
number = 30
text = "30"
For Each kind In Array("number", "string")
  best = -1
  started = Timer
  Do
    roundStart = Timer
    n = 0
    Do
      If kind = "number" Then
        For i = 1 To 100
          o.Timeout = number
        Next
      Else
        For i = 1 To 100
          o.Timeout = text
        Next
      End If
      n = n + 100
      seconds = Elapsed(roundStart)
    Loop Until seconds >= 0.5
    If Err.Number <> 0 Then
      WScript.Echo "FAILED: " & Hex(Err.Number) & " " & Err.Description
      WScript.Quit 1
    End If
    If best < 0 Or seconds * 1000000 / n < best Then best = seconds * 1000000 / n
  Loop Until Elapsed(started) >= 3
  If o.Timeout <> "30" Then
    WScript.Echo "FAILED: Timeout read back as [" & o.Timeout & "]"
    WScript.Quit 1
  End If
  ' A point for the decimal separator whatever the locale, for the scripts that read this line.
  WScript.Echo "RESULT " & prefix & "script_put_" & kind & "_us " & Replace(FormatNumber(best, 3, -1, 0, 0), ",", ".") & " us"
Next
WScript.Quit 0
