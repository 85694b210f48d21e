' Creates the object by the ProgID given as argument and uses every member late-bound.
' Prints one line per failed check and ends with "members: N passed, M failed"; exits with M.
Option Explicit
Dim passed, failed
passed = 0
failed = 0

Sub Expect(name, expected, actual)
  If Err.Number <> 0 Then
    failed = failed + 1
    WScript.Echo "FAIL: " & name & ": error " & Hex(Err.Number) & " " & Err.Description
    Err.Clear
  ElseIf VarType(expected) = VarType(actual) And expected = actual Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAIL: " & name & ": expected [" & expected & "], got [" & actual & "]"
  End If
End Sub

Sub ExpectError(name)
  If Err.Number <> 0 Then
    passed = passed + 1
    Err.Clear
  Else
    failed = failed + 1
    WScript.Echo "FAIL: " & name & ": no error"
  End If
End Sub

' Errors are checked after each step: some script hosts end silently on an unhandled one.
On Error Resume Next

Dim progId, helper, other
progId = WScript.Arguments(0)
Set helper = CreateObject(progId)
If Err.Number <> 0 Then
  WScript.Echo "FAIL: CreateObject(" & progId & "): error " & Hex(Err.Number)
  WScript.Echo "members: 0 passed, 1 failed"
  WScript.Quit 1
End If

Expect "new UID", "", helper.UID
Expect "new PassWord", "", helper.PassWord
Expect "new Catalog", "", helper.Catalog
Expect "new Provider", "", helper.Provider
Expect "new DataSource", "", helper.DataSource
Expect "new Timeout", "", helper.Timeout
Expect "new CurrentLanguage", "", helper.CurrentLanguage

Expect "parse returns True", True, helper.parse("Provider=SQLOLEDB;Data Source=db01;Initial Catalog=Sales;User ID=report;Password=""p@ss;word"";Connect Timeout=30;Current Language=us_english")
Expect "parsed UID", "report", helper.UID
Expect "parsed PassWord", "p@ss;word", helper.PassWord
Expect "parsed Catalog", "Sales", helper.Catalog
Expect "parsed Provider", "SQLOLEDB", helper.Provider
Expect "parsed DataSource", "db01", helper.DataSource
Expect "parsed Timeout", "30", helper.Timeout
Expect "parsed CurrentLanguage", "us_english", helper.CurrentLanguage
Expect "ODBCString", "driver={SQL Server};Server={db01};UID={report};PWD={p@ss;word};Database={Sales};Language={us_english};", helper.ODBCString
Expect "OleDBString", "Provider=SQLOLEDB;uid=report;pwd=""p@ss;word"";server=db01;database=Sales;Current Language=us_english;", helper.OleDBString
Expect "OleDBString2", "PROVIDER=SQLOLEDB;data source=db01;initial catalog=Sales;user id=report;password=""p@ss;word"";Current Language=us_english;", helper.OleDBString2

' Texts outside ASCII are covered by members.js: this script host has no ChrW.
helper.UID = "it's"
Expect "put UID", "it's", helper.UID
helper.PassWord = "say ""hi"""
Expect "put PassWord", "say ""hi""", helper.PassWord
helper.Catalog = "a}b"
Expect "put Catalog", "a}b", helper.Catalog
helper.Provider = "Other"
Expect "put Provider", "Other", helper.Provider
helper.DataSource = "srv,1433"
Expect "put DataSource", "srv,1433", helper.DataSource
helper.Timeout = "x"
Expect "put Timeout", "x", helper.Timeout
helper.CurrentLanguage = ""
Expect "put CurrentLanguage", "", helper.CurrentLanguage
Expect "ODBCString after puts", "driver={SQL Server};Server={srv,1433};UID={it's};PWD={say ""hi""};Database={a}}b};Language={};", helper.ODBCString
Expect "OleDBString2 after puts", "PROVIDER=SQLOLEDB;data source=srv,1433;initial catalog=a}b;user id='it''s';password='say ""hi""';Current Language=;", helper.OleDBString2

helper.ODBCString = "x"
ExpectError "ODBCString is read-only"
helper.OleDBString = "x"
ExpectError "OleDBString is read-only"
helper.OleDBString2 = "x"
ExpectError "OleDBString2 is read-only"

helper.Reset
Expect "reset UID", "", helper.UID
Expect "reset PassWord", "", helper.PassWord
Expect "reset Catalog", "", helper.Catalog
Expect "reset Provider", "", helper.Provider
Expect "reset DataSource", "", helper.DataSource
Expect "reset Timeout", "", helper.Timeout
Expect "reset CurrentLanguage", "", helper.CurrentLanguage
Expect "OleDBString after Reset", "Provider=SQLOLEDB;uid=;pwd=;server=;database=;Current Language=;", helper.OleDBString

Set other = CreateObject(progId)
other.UID = "other"
Expect "objects are independent", "", helper.UID

If Err.Number <> 0 Then
  failed = failed + 1
  WScript.Echo "FAIL: unexpected error " & Hex(Err.Number) & " " & Err.Description
End If
WScript.Echo "members: " & passed & " passed, " & failed & " failed"
WScript.Quit failed
