// Parses a connection string with the ConnectionString component (ProgID Vantelby.ConStringHelper)
// and prints every setting it recognised and the three ready-made connection strings.
//
//   cscript //nologo connection_string.js ["connection string"]
//
// Without an argument a built-in sample is parsed. Exits with 1 when the component cannot be
// created or a call fails, printing why on standard output (not every script host has a standard
// error stream), so that callers can tell a printed result from a failure.
var sample = 'Provider=SQLOLEDB;Data Source=db01.example.net;Initial Catalog=Sales;User ID=report;' +
             'Password="p@ss;word";Connect Timeout=30;Current Language=us_english';

function main() {
  var text = WScript.Arguments.length > 0 ? WScript.Arguments(0) : sample;
  var helper;
  try {
    helper = new ActiveXObject('Vantelby.ConStringHelper');
  } catch (e) {
    WScript.Echo('cannot create Vantelby.ConStringHelper (is Pellmora.dll registered?): ' +
                             hex(e.number) + ' ' + e.message);
    return 1;
  }
  // Every call is inside the try: some script hosts end silently on an unhandled error.
  try {
    var parsed = helper.parse(text);
    WScript.Echo('Connection string: ' + text);
    WScript.Echo('parse:             ' + (parsed ? 'True' : 'False'));
    WScript.Echo('');
    WScript.Echo('UID:               ' + helper.UID);
    WScript.Echo('PassWord:          ' + helper.PassWord);
    WScript.Echo('Catalog:           ' + helper.Catalog);
    WScript.Echo('DataSource:        ' + helper.DataSource);
    WScript.Echo('Timeout:           ' + helper.Timeout);
    WScript.Echo('CurrentLanguage:   ' + helper.CurrentLanguage);
    WScript.Echo('Provider:          ' + helper.Provider);
    WScript.Echo('');
    WScript.Echo('ODBCString:        ' + helper.ODBCString);
    WScript.Echo('OleDBString:       ' + helper.OleDBString);
    WScript.Echo('OleDBString2:      ' + helper.OleDBString2);
  } catch (e) {
    WScript.Echo('a call on the component failed: ' + hex(e.number) + ' ' + e.message);
    return 1;
  }
  return 0;
}

// An HRESULT as eight hexadecimal digits (error numbers arrive as negative 32-bit values).
function hex(number) {
  return '0x' + ((number >>> 0) + 0x100000000).toString(16).substr(1).toUpperCase();
}

WScript.Quit(main());
