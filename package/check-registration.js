// Checks how Pellmora.dll is registered on this machine and whether this script host can use it.
//
//   cscript //nologo check-registration.js [/out:FILE]
//   wscript check-registration.js [/out:FILE]
//
// For the 64-bit and the 32-bit registry view (one view on 32-bit Windows), per machine
// (HKLM\Software\Classes) and per user (HKCU\Software\Classes), it prints whether the class, both
// ProgIDs and the type library are registered, the DLL each names, whether that file exists and
// its bitness (read from its PE header), then whether this host can create the object and call it.
// It ends with the problems it found and what to do about each.
//
// A process sees only the registry view of its own bitness: the script reads that one directly and
// the other one through reg.exe's /reg:32 or /reg:64 switch (Windows Vista and later; Wine too),
// run hidden, exporting each key into a temporary file that is removed again. Nothing is changed.
//
// Run it with the script host of the bitness of the program that fails: on 64-bit Windows
// %SystemRoot%\System32\cscript.exe is 64-bit, %SystemRoot%\SysWOW64\cscript.exe 32-bit.
// Exits with 0 when this host created the object and called it, otherwise 1. With /out:FILE the
// report goes into FILE (UTF-16) instead of to standard output or, under wscript, a message box.
var PROGID = 'Vantelby.ConStringHelper';
var VERSIONED_PROGID = 'Vantelby.ConStringHelper.1';
var CLSID = '{2CE7C78C-4E98-4491-9DDD-6B8D554A3FE7}';
var LIBID = '{0711ED4D-9539-48E2-86EB-7DF50B8DD3F0}';
var LIBRARY_VERSION = '1.0';

var shell = new ActiveXObject('WScript.Shell');
var files = new ActiveXObject('Scripting.FileSystemObject');
var lines = [];
var problems = [];

function show(line) { lines.push(line); }

// An error number as eight hexadecimal digits (numbers arrive as negative 32-bit values).
function hex(number) {
  return '0x' + ((number >>> 0) + 0x100000000).toString(16).substr(1).toUpperCase();
}

// Environment strings expanded. Wine's expansion keeps the terminating U+0000, which would cut
// a command line short: it is dropped.
function expand(text) { return shell.ExpandEnvironmentStrings(text).replace(/\0+$/, ''); }

function processVariable(name) { return shell.Environment('Process').Item(name); }

// The bitness of this process and of Windows.
function hostBits() { return processVariable('PROCESSOR_ARCHITECTURE').toLowerCase() === 'x86' ? 32 : 64; }
function windowsBits() {
  if (hostBits() === 64 || processVariable('PROCESSOR_ARCHITEW6432') !== '') return 64;
  return files.FolderExists(expand('%SystemRoot%\\SysWOW64')) ? 64 : 32;
}

// Runs reg.exe hidden with the given arguments and waits; its exit code.
function runReg(argumentText) {
  var reg = expand('%SystemRoot%\\System32\\reg.exe');
  return shell.Run('"' + reg + '" ' + argumentText, 0, true);
}

// The text of a .reg value's data: "…" with \\ and \" escaped, or hex(2):… (an expandable
// string, UTF-16LE bytes). Other types give null.
function regData(text) {
  if (text.charAt(0) === '"') return text.substr(1, text.length - 2).replace(/\\(.)/g, '$1');
  if (text.substr(0, 7) !== 'hex(2):') return null;
  var bytes = text.substr(7).split(','), result = '';
  for (var index = 0; index + 1 < bytes.length; index += 2) {
    var unit = parseInt(bytes[index], 16) | (parseInt(bytes[index + 1], 16) << 8);
    if (unit === 0) break;
    result += String.fromCharCode(unit);
  }
  return expand(result);
}

// Reads KEY (a full key name) and its subkeys in one registry view: an object mapping each key's
// name below KEY ('' for KEY itself) to an object of its string values ('' for the unnamed one),
// or null when KEY does not exist.
function readTree(key, viewSwitch) {
  var temporary = files.BuildPath(files.GetSpecialFolder(2).Path, files.GetTempName());
  try {
    if (runReg('export "' + key + '" "' + temporary + '" /y' + viewSwitch) !== 0) return null;
    if (!files.FileExists(temporary)) return null;
    var stream = files.OpenTextFile(temporary, 1, false, -1);
    var text = stream.AtEndOfStream ? '' : stream.ReadAll();
    stream.Close();
  } finally {
    if (files.FileExists(temporary)) files.DeleteFile(temporary, true);
  }
  // Long binary data is continued on the next line after a trailing backslash.
  var exported = text.replace(/\\\r?\n\s*/g, '').split(/\r?\n/);
  var tree = {}, current = null;
  for (var index = 0; index < exported.length; index++) {
    var line = exported[index];
    var heading = /^\[(.*)\]$/.exec(line);
    if (heading) {
      var below = heading[1].substr(key.length).replace(/^\\/, '').toLowerCase();
      current = tree[below] = {};
      continue;
    }
    var value = /^(@|"((?:[^"\\]|\\.)*)")=(.*)$/.exec(line);
    if (value && current) {
      var name = value[1] === '@' ? '' : value[2].replace(/\\(.)/g, '$1').toLowerCase();
      current[name] = regData(value[3]);
    }
  }
  return tree[''] ? tree : null;
}

// The same for this process's own view, read directly (no process to start): an object that
// valueOf reads through, or null when none of PROBES (pairs of subkey and value name) can be read.
function readOwnTree(key, probes) {
  var tree = {own: key};
  for (var index = 0; index < probes.length; index++) {
    if (valueOf(tree, probes[index][0], probes[index][1]) !== null) return tree;
  }
  return null;
}

// A string value of a tree that readTree or readOwnTree gave ('' names the unnamed value), or null.
function valueOf(tree, subkey, name) {
  if (!tree) return null;
  if (tree.own) {
    try {
      var data = shell.RegRead(tree.own + (subkey ? '\\' + subkey : '') + '\\' + name);
      return typeof data === 'string' ? expand(data) : null;
    } catch (e) {
      return null;
    }
  }
  var values = tree[subkey.toLowerCase()];
  if (!values) return null;
  var text = values[name.toLowerCase()];
  return typeof text === 'string' ? text : null;
}

// The machine type in a file's PE header: 32 or 64 for x86 and x64, 'ARM64', another type as
// text, or 0 when the file cannot be read as a PE image. The file is read as UTF-16 text, which
// hands every pair of bytes over unchanged as one character.
function fileBits(path) {
  var stream;
  try {
    stream = files.OpenTextFile(path, 1, false, -1);
    var head = stream.Read(512);
  } catch (e) {
    return 0;
  } finally {
    if (stream) stream.Close();
  }
  function byteAt(offset) {
    if (offset >> 1 >= head.length) return -1;
    var unit = head.charCodeAt(offset >> 1);
    return offset & 1 ? unit >> 8 : unit & 0xFF;
  }
  function word(offset) { return byteAt(offset) | (byteAt(offset + 1) << 8); }
  if (word(0) !== 0x5A4D) return 0;  // "MZ"
  var pe = word(0x3C) | (word(0x3E) << 16);
  if (pe < 0x40 || pe + 6 > head.length * 2 || word(pe) !== 0x4550 || word(pe + 2) !== 0) return 0;  // "PE\0\0"
  var machine = word(pe + 4);
  if (machine === 0x014C) return 32;
  if (machine === 0x8664) return 64;
  if (machine === 0xAA64) return 'ARM64';
  return 'machine ' + hex(machine).substr(6);
}

// "PATH [present, 64-bit DLL]" and the file's bitness, or a problem when the file is missing or
// not of the view's bitness.
function describeFile(path, bits, where) {
  if (path === '') return 'an empty path';
  var file = path.replace(/^"(.*)"$/, '$1');
  if (!files.FileExists(file)) {
    problems.push(where + ' names ' + file + ', which does not exist: register the DLL again from where it ' +
                  'lies now (creating the object fails with 0x8007007E, "module not found").');
    return file + '  [file missing]';
  }
  var found = fileBits(file);
  if (found === 0) {
    problems.push(where + ' names ' + file + ', which is not a Windows DLL.');
    return file + '  [present, not a Windows DLL]';
  }
  if (found !== bits) {
    problems.push(where + ' names a ' + (typeof found === 'number' ? found + '-bit' : found) + ' DLL, which ' + bits +
                  '-bit hosts cannot load (0x800700C1): register ' + (bits === 64 ? 'x64' : 'x86') +
                  '\\Pellmora.dll with the ' + bits + '-bit regsvr32.');
  }
  return file + '  [present, ' + (typeof found === 'number' ? found + '-bit' : found) + ']';
}

// One registry view, per machine and per user. Returns whether this view has a usable class.
function checkView(bits, viewSwitch, scopes) {
  var usable = false;
  for (var index = 0; index < scopes.length; index++) {
    var scope = scopes[index];
    var root = scope.key + '\\Software\\Classes';
    var label = bits + '-bit view, ' + scope.name;
    var read = function (key, probes) {
      return viewSwitch === null ? readOwnTree(root + '\\' + key, probes) : readTree(root + '\\' + key, viewSwitch);
    };
    var classTree = read('CLSID\\' + CLSID, [['', ''], ['InprocServer32', '']]);
    var progids = [read(PROGID, [['', ''], ['CLSID', '']]), read(VERSIONED_PROGID, [['', ''], ['CLSID', '']])];
    var libraryTree = read('TypeLib\\' + LIBID, [[LIBRARY_VERSION, ''], [LIBRARY_VERSION + '\\0\\win32', ''],
                                                 [LIBRARY_VERSION + '\\0\\win64', '']]);
    if (scope.quietWhenEmpty && !classTree && !progids[0] && !progids[1] && !libraryTree) {
      show(label + ': nothing registered');
      continue;
    }
    show(label + (scope.note ? ' (' + scope.note + ')' : '') + ':');

    var server = valueOf(classTree, 'InprocServer32', '');
    if (!classTree) {
      show('  class ' + CLSID + ': not registered');
    } else if (server === null) {
      show('  class ' + CLSID + ': registered without a DLL (no InprocServer32)');
      problems.push(label + ': the class key has no InprocServer32 value: register the DLL again.');
    } else {
      show('  class ' + CLSID + ': ' + describeFile(server, bits, label + ': the class'));
      usable = true;
    }

    var names = [PROGID, VERSIONED_PROGID];
    for (var which = 0; which < names.length; which++) {
      var named = valueOf(progids[which], 'CLSID', '');
      var text = 'registered, names the class';
      if (!progids[which]) {
        text = 'not registered';
        if (classTree) {
          problems.push(label + ': the class is registered but ProgID ' + names[which] + ' is not ("Invalid class ' +
                        'string", 0x800401F3). On 64-bit Windows 7 and later the ProgIDs are one key for both ' +
                        'views, which regsvr32 /u of either DLL removes: register the other DLL again.');
        }
      } else if (named === null || named.toUpperCase() !== CLSID) {
        text = 'registered, but names ' + (named === null ? 'no class' : 'another class, ' + named);
        problems.push(label + ': ProgID ' + names[which] + ' does not name ' + CLSID + ': register the DLL again.');
      }
      show('  ProgID ' + names[which] + ': ' + text);
    }

    var platform = bits === 64 ? 'win64' : 'win32';
    var library = valueOf(libraryTree, LIBRARY_VERSION + '\\0\\' + platform, '');
    if (library === null) {
      show('  type library ' + LIBID + ' ' + LIBRARY_VERSION + ' (' + platform + '): not registered');
      if (classTree) {
        problems.push(label + ': the class is registered but not the type library for ' + platform + ': calls by ' +
                      'name from scripts fail (0x8002801D, "Library not registered"): register the DLL again.');
      }
    } else {
      show('  type library ' + LIBID + ' ' + LIBRARY_VERSION + ' (' + platform + '): ' +
           describeFile(library, bits, label + ': the type library'));
    }
  }
  show('  => ' + bits + '-bit hosts ' + (usable ? 'find the class here' : 'find no class here ("Class not registered")'));
  return usable;
}

// Creates the object in this host and calls it through its type library, as scripts do.
function checkCreation() {
  var helper;
  try {
    helper = new ActiveXObject(PROGID);
  } catch (e) {
    show('Creating ' + PROGID + ' in this ' + hostBits() + '-bit host: failed, ' + hex(e.number) + ' ' + e.message);
    return false;
  }
  try {
    helper.parse('Server=check');
    if (helper.DataSource !== 'check') throw new Error('parse read "Server=check" as "' + helper.DataSource + '"');
  } catch (e) {
    show('Creating ' + PROGID + ' in this ' + hostBits() + '-bit host: created, but a call failed: ' +
         (e.number ? hex(e.number) + ' ' : '') + e.message);
    return false;
  }
  show('Creating ' + PROGID + ' in this ' + hostBits() + '-bit host: succeeded, and parse works');
  return true;
}

function main() {
  var outputPath = null;
  for (var index = 0; index < WScript.Arguments.length; index++) {
    var argument = WScript.Arguments(index);
    if (argument.substr(0, 5).toLowerCase() === '/out:') outputPath = argument.substr(5);
  }

  var windows = windowsBits(), host = hostBits();
  show('Pellmora registration check: ' + PROGID + ', class ' + CLSID);
  show('This host: ' + host + '-bit ' + files.GetFileName(WScript.FullName) + ' on ' + windows + '-bit Windows');
  var scopes = [
    {name: 'per machine', key: 'HKEY_LOCAL_MACHINE', quietWhenEmpty: false},
    {name: 'per user', key: 'HKEY_CURRENT_USER', quietWhenEmpty: true, note: 'used before the machine\'s; elevated processes ignore it'}
  ];
  // This host's view is read directly, the other one through reg.exe.
  var views = [[host, null]];
  if (windows === 64) {
    var other = host === 64 ? 32 : 64;
    if (runReg('query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion" /reg:' + other) === 0) {
      views = host === 64 ? [[64, null], [32, ' /reg:32']] : [[64, ' /reg:64'], [32, null]];
    } else {
      show('This Windows\' reg.exe cannot read the ' + other + '-bit registry view: only this host\'s view is shown.');
    }
  }
  var usable = {};
  for (var view = 0; view < views.length; view++) {
    show('');
    usable[views[view][0]] = checkView(views[view][0], views[view][1], scopes);
  }
  show('');
  var created = checkCreation();
  if (!usable[host]) {
    problems.push('This ' + host + '-bit host finds no class in its own view ("Class not registered", 0x80040154, ' +
                  'or 0x800A01AD in scripts): register ' + (host === 64 ? 'x64' : 'x86') + '\\Pellmora.dll with the ' +
                  host + '-bit regsvr32, or install the ' + (host === 64 ? 'x64' : 'x86') + ' package.');
  }
  show('');
  if (problems.length === 0) {
    show('No problems found.');
  } else {
    show('Problems found:');
    for (var problem = 0; problem < problems.length; problem++) show('  - ' + problems[problem]);
  }

  var report = lines.join('\r\n');
  if (outputPath === null) {
    WScript.Echo(report);
  } else {
    var output = files.CreateTextFile(outputPath, true, true);
    output.Write(report + '\r\n');
    output.Close();
  }
  return created ? 0 : 1;
}

// Everything runs inside the try: some script hosts end silently on an unhandled error.
try {
  WScript.Quit(main());
} catch (e) {
  WScript.Echo('the registration check failed: ' + hex(e.number) + ' ' + e.message);
  WScript.Quit(2);
}
