// Creates the object by the ProgID given as argument and uses every member late-bound.
// Prints one line per failed check and ends with "members: N passed, M failed"; exits with M.
var passed = 0, failed = 0;

function expect(name, expected, actual) {
  if (expected === actual) { passed++; return; }
  failed++;
  WScript.Echo('FAIL: ' + name + ': expected [' + expected + '], got [' + actual + ']');
}

function expectThrows(name, action) {
  try { action(); } catch (e) { passed++; return; }
  failed++;
  WScript.Echo('FAIL: ' + name + ': no error');
}

var properties = ['UID', 'PassWord', 'Catalog', 'Provider', 'DataSource', 'Timeout', 'CurrentLanguage'];

function run(progId) {
  var helper = new ActiveXObject(progId);
  var i;
  for (i = 0; i < properties.length; i++) expect('new ' + properties[i], '', helper[properties[i]]);

  expect('parse returns true', true,
         helper.parse('Provider=SQLOLEDB;Data Source=db01;Initial Catalog=Sales;User ID=report;' +
                      'Password="p@ss;word";Connect Timeout=30;Current Language=us_english'));
  var parsed = {UID: 'report', PassWord: 'p@ss;word', Catalog: 'Sales', Provider: 'SQLOLEDB',
                DataSource: 'db01', Timeout: '30', CurrentLanguage: 'us_english'};
  for (i = 0; i < properties.length; i++) expect('parsed ' + properties[i], parsed[properties[i]], helper[properties[i]]);
  expect('ODBCString', 'driver={SQL Server};Server={db01};UID={report};PWD={p@ss;word};Database={Sales};Language={us_english};',
         helper.ODBCString);
  expect('OleDBString', 'Provider=SQLOLEDB;uid=report;pwd="p@ss;word";server=db01;database=Sales;Current Language=us_english;',
         helper.OleDBString);
  expect('OleDBString2', 'PROVIDER=SQLOLEDB;data source=db01;initial catalog=Sales;user id=report;password="p@ss;word";Current Language=us_english;',
         helper.OleDBString2);

  // Every property put, read back; texts outside ASCII and quotes travel unchanged.
  var values = {UID: "it's", PassWord: 'say "hi"', Catalog: 'a}b', Provider: 'Other',
                DataSource: '\u6570\u636e\u5e93', Timeout: 'x', CurrentLanguage: ''};
  for (i = 0; i < properties.length; i++) {
    helper[properties[i]] = values[properties[i]];
    expect('put ' + properties[i], values[properties[i]], helper[properties[i]]);
  }
  expect('ODBCString after puts', 'driver={SQL Server};Server={\u6570\u636e\u5e93};UID={it\'s};PWD={say "hi"};Database={a}}b};Language={};',
         helper.ODBCString);
  expect('OleDBString after puts', 'Provider=SQLOLEDB;uid=\'it\'\'s\';pwd=\'say "hi"\';server=\u6570\u636e\u5e93;database=a}b;Current Language=;',
         helper.OleDBString);

  expectThrows('ODBCString is read-only', function () { helper.ODBCString = 'x'; });
  expectThrows('OleDBString is read-only', function () { helper.OleDBString = 'x'; });
  expectThrows('OleDBString2 is read-only', function () { helper.OleDBString2 = 'x'; });

  helper.Reset();
  for (i = 0; i < properties.length; i++) expect('reset ' + properties[i], '', helper[properties[i]]);
  expect('OleDBString2 after Reset', 'PROVIDER=SQLOLEDB;data source=;initial catalog=;user id=;password=;Current Language=;',
         helper.OleDBString2);

  // A second object has settings of its own.
  var other = new ActiveXObject(progId);
  other.UID = 'other';
  expect('objects are independent', '', helper.UID);
}

try {
  run(WScript.Arguments(0));
} catch (e) {
  failed++;
  WScript.Echo('FAIL: unexpected error ' + (e.number >>> 0).toString(16) + ' ' + e.message);
}
WScript.Echo('members: ' + passed + ' passed, ' + failed + ' failed');
WScript.Quit(failed);
