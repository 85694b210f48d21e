// Parses a connection string with the ConnectionString component (ProgID Vantelby.ConStringHelper)
// and prints every setting it recognised and the three ready-made connection strings.
//
//   cscript //nologo connection_string.js [/out:FILE] ["connection string"]
//
// Without a connection string a built-in sample is parsed. With /out:FILE the lines go into FILE,
// as UTF-16, instead of to standard output: a script host writes a redirected standard output in
// the console's code page, which loses every character outside it. Exits with 1 when the
// component cannot be created or a call fails, printing why (on standard output or into the file:
// not every script host has a standard error stream), so that callers can tell a printed result
// from a failure.
var sample = 'Provider=SQLOLEDB;Data Source=db01.example.net;Initial Catalog=Sales;User ID=report;' +
             'Password="p@ss;word";Connect Timeout=30;Current Language=us_english';

// Shows one line of the result, to the output file when there is one.
var show = function (line) { WScript.Echo(line); };

function main() {
  // The arguments: "/out:FILE" names the output file, the first other one is the connection string.
  var text = sample, given = false, outputPath = null;
  for (var index = 0; index < WScript.Arguments.length; index++) {
    var argument = WScript.Arguments(index);
    if (argument.substr(0, 5).toLowerCase() === '/out:') {
      outputPath = argument.substr(5);
    } else if (!given) {
      text = argument;
      given = true;
    }
  }
  if (outputPath === null) return run(text);
  var output;
  try {
    output = new ActiveXObject('Scripting.FileSystemObject').CreateTextFile(outputPath, true, true);
  } catch (e) {
    WScript.Echo('cannot write ' + outputPath + ': ' + hex(e.number) + ' ' + e.message);
    return 1;
  }
  show = function (line) { output.WriteLine(line); };
  try {
    return run(text);
  } finally {
    output.Close();
  }
}

function run(text) {
  var helper;
  try {
    helper = new ActiveXObject('Vantelby.ConStringHelper');
  } catch (e) {
    show('cannot create Vantelby.ConStringHelper (is Pellmora.dll registered?): ' + hex(e.number) + ' ' +
         e.message);
    return 1;
  }
  // Every call is inside the try: some script hosts end silently on an unhandled error.
  try {
    var parsed = helper.parse(text);
    show('Connection string: ' + text);
    show('parse:             ' + (parsed ? 'True' : 'False'));
    show('');
    show('UID:               ' + helper.UID);
    show('PassWord:          ' + helper.PassWord);
    show('Catalog:           ' + helper.Catalog);
    show('DataSource:        ' + helper.DataSource);
    show('Timeout:           ' + helper.Timeout);
    show('CurrentLanguage:   ' + helper.CurrentLanguage);
    show('Provider:          ' + helper.Provider);
    show('');
    show('ODBCString:        ' + helper.ODBCString);
    show('OleDBString:       ' + helper.OleDBString);
    show('OleDBString2:      ' + helper.OleDBString2);
  } catch (e) {
    show('a call on the component failed: ' + hex(e.number) + ' ' + e.message);
    return 1;
  }
  return 0;
}

// An HRESULT as eight hexadecimal digits (error numbers arrive as negative 32-bit values).
function hex(number) {
  return '0x' + ((number >>> 0) + 0x100000000).toString(16).substr(1).toUpperCase();
}

WScript.Quit(main());
