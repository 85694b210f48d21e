// Late-bound use of the component from JScript, as a script host sees it. Wine's script host
// ignores script errors, so everything runs inside try/catch and the last line is the summary.
var passed = 0, failures = 0;

function check(name, actual, expected) {
  if (actual === expected) {
    passed++;
  } else {
    failures++;
    WScript.Echo("FAIL " + name + ": got [" + actual + "], expected [" + expected + "]");
  }
}

function expectFailure(name, action) {
  try {
    action();
    failures++;
    WScript.Echo("FAIL " + name + ": no error");
  } catch (e) {
    passed++;
  }
}

try {
  var o = new ActiveXObject("Vantelby.ConStringHelper");
  check("new object: UID", o.UID, "");
  check("new object: Timeout", o.Timeout, "");

  check("parse result", o.parse("Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User ID=sa;" +
                                "Password=pw;Connect Timeout=30;Current Language=english"), true);
  check("UID", o.UID, "sa");
  check("PassWord", o.PassWord, "pw");
  check("Catalog", o.Catalog, "db");
  check("DataSource", o.DataSource, "srv");
  check("Timeout", o.Timeout, "30");
  check("CurrentLanguage", o.CurrentLanguage, "english");
  check("Provider", o.Provider, "SQLOLEDB");
  check("ODBCString", o.ODBCString,
        "driver={SQL Server};Server={srv};UID={sa};PWD={pw};Database={db};Language={english};");
  check("OleDBString", o.OleDBString,
        "Provider=SQLOLEDB;uid=sa;pwd=pw;server=srv;database=db;Current Language=english;");
  check("OleDBString2", o.OleDBString2,
        "PROVIDER=SQLOLEDB;data source=srv;initial catalog=db;user id=sa;password=pw;Current Language=english;");

  // Names in another letter case reach the same members.
  check("lower-case name", o.catalog, "db");
  check("upper-case name", o.DATASOURCE, "srv");

  o.UID = "admin";
  o.PassWord = "s;cret";
  o.Timeout = "not a number";
  check("put UID", o.UID, "admin");
  check("put PassWord", o.PassWord, "s;cret");
  check("put Timeout", o.Timeout, "not a number");
  check("quoted in OleDBString", o.OleDBString,
        "Provider=SQLOLEDB;uid=admin;pwd=\"s;cret\";server=srv;database=db;Current Language=english;");

  expectFailure("put on read-only ODBCString", function () { o.ODBCString = "x"; });
  check("read-only ODBCString unchanged", o.ODBCString,
        "driver={SQL Server};Server={srv};UID={admin};PWD={s;cret};Database={db};Language={english};");
  expectFailure("unknown method", function () { o.NoSuchMethod(); });

  o.Reset();
  check("Reset clears UID", o.UID, "");
  check("Reset clears Provider", o.Provider, "");

  var other = new ActiveXObject("Vantelby.ConStringHelper");
  other.Catalog = "elsewhere";
  check("objects are independent", o.Catalog, "");
  check("parse of anything succeeds", other.parse(";;=;'"), true);
} catch (e) {
  failures++;
  WScript.Echo("FAIL uncaught: " + e.message + " (" + e.number + ")");
}

WScript.Echo("SUMMARY: " + passed + " passed, " + failures + " failed");
WScript.Quit(failures);
