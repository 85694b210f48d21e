' Late-bound use of the component from VBScript. Wine's script host ignores script errors, so the
' script runs with On Error Resume Next, checks Err itself, counts its checks (a statement that
' raised is skipped, check included) and prints the summary last.
Option Explicit
Dim passed, failures, o, other
passed = 0
failures = 0
Const kExpectedChecks = 17

Sub Check(name, actual, expected)
  If Err.Number <> 0 Then
    failures = failures + 1
    WScript.Echo "FAIL " & name & ": error " & Hex(Err.Number) & " " & Err.Description
    Err.Clear
  ElseIf actual = expected Then
    passed = passed + 1
  Else
    failures = failures + 1
    WScript.Echo "FAIL " & name & ": got [" & actual & "], expected [" & expected & "]"
  End If
End Sub

Sub ExpectError(name)
  If Err.Number <> 0 Then
    passed = passed + 1
    Err.Clear
  Else
    failures = failures + 1
    WScript.Echo "FAIL " & name & ": no error"
  End If
End Sub

On Error Resume Next
Set o = CreateObject("Vantelby.ConStringHelper")
Check "CreateObject", TypeName(o), "IConnectionString"

Check "parse result", o.parse("uid=u1;pwd=p1;server=s1;database=d1;Current Language=deutsch"), True
Check "UID", o.UID, "u1"
Check "PassWord", o.PassWord, "p1"
Check "Catalog", o.Catalog, "d1"
Check "DataSource", o.DataSource, "s1"
Check "CurrentLanguage", o.CurrentLanguage, "deutsch"
Check "ODBCString", o.ODBCString, "driver={SQL Server};Server={s1};UID={u1};PWD={p1};Database={d1};Language={deutsch};"
' VBScript passes names in whatever case the script uses.
Check "any case", o.uid, "u1"

o.Provider = "MSOLEDBSQL"
Check "put Provider", o.Provider, "MSOLEDBSQL"
o.Timeout = "15"
Check "put Timeout", o.Timeout, "15"

o.OleDBString = "x"
ExpectError "put on read-only OleDBString"
Check "OleDBString unchanged", o.OleDBString, "Provider=SQLOLEDB;uid=u1;pwd=p1;server=s1;database=d1;Current Language=deutsch;"

o.Reset
Check "Reset clears Catalog", o.Catalog, ""
Check "Reset clears Timeout", o.Timeout, ""

Set other = CreateObject("Vantelby.ConStringHelper")
other.UID = "someone"
Check "objects are independent", o.UID, ""
Check "parse of anything succeeds", other.parse(";;=;'"), True

If Err.Number <> 0 Then
  failures = failures + 1
  WScript.Echo "FAIL error left over: " & Hex(Err.Number)
End If
If passed + failures <> kExpectedChecks Then
  failures = failures + 1
  WScript.Echo "FAIL ran " & (passed + failures - 1) & " of " & kExpectedChecks & " checks"
End If
WScript.Echo "SUMMARY: " & passed & " passed, " & failures & " failed"
WScript.Quit failures
