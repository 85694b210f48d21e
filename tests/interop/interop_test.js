'use strict';
// Interoperability test: the connection strings Pellmora.dll writes must read back exactly through
// an independent parser, and the OLE DB forms through the DLL's own parse.
//
//   node interop_test.js --peer-modules DIR --client EXE --work DIR [--records N] [--seed N]
//                        -- EMULATOR...
//
// EMULATOR is the command that runs a Windows program of the build under Wine (the build's
// cross-compiling emulator), followed by the program and its arguments.
// Records of awkward values come from a fixed seed. The client program (forms_client.cpp) sets
// them on the object under Wine, hands back ODBCString, OleDBString and OleDBString2, and what
// parse read back from each OLE DB form. Every value of every form must come back from the peer
// parser, except where its grammar differs on purpose from ours (kPeerDifferences, also listed in
// the README): those cases are skipped and counted. Exit code 0 only when nothing differs.
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { loadPeerParser } = require('./peer_parser');

const kFields = ['UID', 'PassWord', 'Catalog', 'DataSource', 'CurrentLanguage'];

// Each form: its template as the DLL fills it (placeholders in order) and, per placeholder, the
// field it carries and the key under which the peer reports it.
const kForms = [
  {
    name: 'ODBCString',
    template: 'driver={SQL Server};Server={%s};UID={%s};PWD={%s};Database={%s};Language={%s};',
    slots: [['DataSource', 'server'], ['UID', 'uid'], ['PassWord', 'pwd'], ['Catalog', 'database'],
      ['CurrentLanguage', 'language']],
  },
  {
    name: 'OleDBString',
    template: 'Provider=SQLOLEDB;uid=%s;pwd=%s;server=%s;database=%s;Current Language=%s;',
    slots: [['UID', 'uid'], ['PassWord', 'pwd'], ['DataSource', 'server'], ['Catalog', 'database'],
      ['CurrentLanguage', 'current language']],
  },
  {
    name: 'OleDBString2',
    template: 'PROVIDER=SQLOLEDB;data source=%s;initial catalog=%s;user id=%s;password=%s;Current Language=%s;',
    slots: [['DataSource', 'data source'], ['Catalog', 'initial catalog'], ['UID', 'user id'],
      ['PassWord', 'password'], ['CurrentLanguage', 'current language']],
  },
];

// What the client reads back after parsing each OLE DB form.
const kReadBack = [...kFields, 'Provider'];

// ---------------------------------------------------------------------------------------------
// Records

// A small deterministic generator (mulberry32): the same seed gives the same records everywhere.
function Random(seed) {
  let state = seed >>> 0;
  const next = () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  const pick = (items) => items[Math.floor(next() * items.length)];
  return { next, pick };
}

const kWords = ['srv01', 'Sales', 'app', 's3cret', 'english', 'x', 'dbo', 'TEST', '42', 'a b'];
const kNonAscii = ['\u00e9', 'Gr\u00fc\u00dfe', '\u670d\u52a1\u5668', '\u03a9\u03bc\u03ad\u03b3\u03b1', '\u043f\u0440\u0438\u0432\u0435\u0442'];
const kOutsideBmp = ['\u{1f600}', '\u{1d11e}', '\u{2070e}', '\u{1f1eb}\u{1f1f7}'];
// White space in Unicode's sense beyond the ASCII blanks.
const kUnicodeBlanks = ['\u0085', '\u00a0', '\u1680', '\u2000', '\u2009', '\u200a', '\u2028', '\u2029', '\u202f',
  '\u205f', '\u3000'];
const kControls = ['\u0001', '\u0007', '\u000b', '\u000c', '\u001b', '\u001f', '\u007f', '\u0080', '\u009f'];
// Pieces a value is made of, with weights.
const kPieces = [
  [6, (r) => r.pick(kWords)],
  [2, () => "'"], [1, () => "''"], [2, () => '"'], [1, () => '""'],
  [2, () => ';'], [2, () => '='], [1, () => '{'], [1, () => '}'],
  [2, () => ' '], [1, () => '\t'], [1, () => '\r'], [1, () => '\n'], [1, () => '\r\n'],
  [2, (r) => r.pick(kNonAscii)], [1, (r) => r.pick(kOutsideBmp)],
  [1, (r) => r.pick(kUnicodeBlanks)], [1, (r) => r.pick(kControls)], [1, () => '\ufeff'],
];
// What a value may start or end with, beyond the pieces themselves.
const kEdges = [' ', '  ', '\t', '=', '==', '{', '\r\n', '\u00a0', '\u3000', '\ufeff', "'", '"'];

function Piece(r) {
  const total = kPieces.reduce((sum, [weight]) => sum + weight, 0);
  let roll = r.next() * total;
  for (const [weight, make] of kPieces) {
    roll -= weight;
    if (roll < 0) return make(r);
  }
  return kPieces[0][1](r);
}

function Value(r) {
  if (r.next() < 0.12) return '';
  let value = '';
  for (let count = 1 + Math.floor(r.next() * 5); count > 0; --count) value += Piece(r);
  if (r.next() < 0.3) value = r.pick(kEdges) + value;
  if (r.next() < 0.3) value += r.pick(kEdges);
  return value;
}

function GenerateRecords(count, seed) {
  const r = Random(seed);
  return Array.from({ length: count }, () => Object.fromEntries(kFields.map((field) => [field, Value(r)])));
}

// What the records must hold, so that a change of the generator cannot quietly stop covering it.
const kFeatures = {
  'empty': (v) => v === '',
  'single quote': (v) => v.includes("'"),
  'doubled single quote': (v) => v.includes("''"),
  'double quote': (v) => v.includes('"'),
  'doubled double quote': (v) => v.includes('""'),
  'both quotes': (v) => v.includes("'") && v.includes('"'),
  ';': (v) => v.includes(';'),
  '= inside': (v) => /.=/su.test(v),
  'leading =': (v) => v.startsWith('='),
  'braces': (v) => /[{}]/u.test(v),
  'leading {': (v) => v.startsWith('{'),
  'blank or tab at the start': (v) => /^[ \t]/u.test(v),
  'blank or tab at the end': (v) => /[ \t]$/u.test(v),
  'blank or tab inside': (v) => /.[ \t]./su.test(v),
  'CR': (v) => v.includes('\r'),
  'LF': (v) => v.includes('\n'),
  'non-ASCII': (v) => /[^\0-\x7f]/u.test(v),
  'outside the BMP': (v) => /[\u{10000}-\u{10ffff}]/u.test(v),
  'Unicode white space at an edge': (v) => v !== '' && [v[0], v[v.length - 1]].some((c) => kUnicodeBlanks.includes(c)),
  'control character': (v) => /[\0-\x08\x0e-\x1f\x7f-\x9f]/u.test(v),
};
const kMinimumPerFeature = 10;

// ---------------------------------------------------------------------------------------------
// Where the peer's grammar differs on purpose from ours

// The written form of each value in `form`: true where it went in bare, false where quoted;
// null when the form is not its template filled with the values in one of the three quotings.
function BareSlots(formSpec, record, form) {
  const parts = formSpec.template.split('%s');
  if (!form.startsWith(parts[0])) return null;
  let position = parts[0].length;
  const bare = [];
  for (const [index, [field]] of formSpec.slots.entries()) {
    const value = record[field];
    const after = parts[index + 1];
    const writings = [[value, true], [`"${value}"`, false], [`'${value.replaceAll("'", "''")}'`, false]];
    const match = writings.find(([written]) => form.startsWith(written + after, position));
    if (!match) return null;
    bare.push(match[1]);
    position += match[0].length + after.length;
  }
  return position === form.length ? bare : null;
}

// Each difference: which bare OLE DB values it concerns, and whether the peer then loses only
// that value or can misread the whole form.
const kPeerDifferences = [
  {
    reason: 'bare value starting with "{" (the peer reads it ODBC-style, up to a closing brace)',
    // After what the peer trims (JavaScript's white space, U+FEFF included).
    applies: (value) => value.trimStart().startsWith('{'),
    wholeForm: true,
  },
  {
    reason: 'bare value with U+FEFF at an edge (the peer trims it; Unicode does not count it as white space)',
    applies: (value) => value.startsWith('\ufeff') || value.endsWith('\ufeff'),
    wholeForm: false,
  },
];

// ---------------------------------------------------------------------------------------------
// Running the DLL

function Options(argv) {
  const options = { records: 400, seed: 20240611, emulator: [] };
  const split = argv.indexOf('--');
  if (split >= 0) options.emulator = argv.slice(split + 1);
  const named = split >= 0 ? argv.slice(0, split) : argv;
  for (let i = 0; i < named.length; i += 2) {
    const name = named[i].replace(/^--/u, '').replace(/-(\w)/gu, (_, c) => c.toUpperCase());
    options[name] = ['records', 'seed'].includes(name) ? Number(named[i + 1]) : named[i + 1];
  }
  for (const required of ['peerModules', 'client', 'work']) {
    if (!options[required]) throw new Error(`missing --${required.replace(/[A-Z]/gu, (c) => '-' + c.toLowerCase())}`);
  }
  if (options.emulator.length === 0) throw new Error('missing the emulator command after --');
  return options;
}

const WindowsPath = (unixPath) => 'Z:' + path.resolve(unixPath).replaceAll('/', '\\');

function RunClient(options, records) {
  const input = path.join(options.work, 'interop_records.bin');
  const output = path.join(options.work, 'interop_forms.bin');
  fs.mkdirSync(options.work, { recursive: true });
  fs.writeFileSync(input, records.map((record) => kFields.map((field) => record[field] + '\0').join('')).join(''), 'utf8');
  fs.rmSync(output, { force: true });
  const [program, ...prefixArgs] = options.emulator;
  const run = spawnSync(program, [...prefixArgs, options.client, WindowsPath(input), WindowsPath(output)],
    { stdio: ['ignore', 'inherit', 'inherit'], timeout: 120000 });
  if (run.status !== 0) throw new Error(`the client program failed (status ${run.status}${run.error ? ', ' + run.error.message : ''})`);
  const texts = fs.readFileSync(output, 'utf8').split('\0');
  const perRecord = kForms.length + 2 * kReadBack.length;
  if (texts.pop() !== '' || texts.length !== records.length * perRecord) {
    throw new Error(`the client wrote ${texts.length} texts for ${records.length} records, expected ${perRecord} each`);
  }
  return records.map((_, index) => {
    const mine = texts.slice(index * perRecord, (index + 1) * perRecord);
    const readBack = mine.slice(kForms.length);
    return { forms: mine.slice(0, kForms.length), readBack: [readBack.slice(0, kReadBack.length), readBack.slice(kReadBack.length)] };
  });
}

// ---------------------------------------------------------------------------------------------
// The checks

// A text as a quoted literal in which every unit outside printable ASCII is escaped, so that blanks
// of other kinds and control characters can be told apart in a failure message.
const Shown = (text) => (text === undefined ? 'nothing' : '"' + [...text].map((c) =>
  (c >= ' ' && c <= '~' ? (c === '"' || c === '\\' ? '\\' + c : c) : `\\u{${c.codePointAt(0).toString(16)}}`)).join('') + '"');

// Reads one form with the peer and counts each value as equal, differing or skipped.
function CheckWithPeer(peer, formSpec, record, form, where, tally) {
  const bare = formSpec.name === 'ODBCString' ? formSpec.slots.map(() => false) : BareSlots(formSpec, record, form);
  if (bare === null) {
    tally.peer.differ += formSpec.slots.length;
    tally.fail(`${where}: not the template filled with the record's values`);
    return;
  }
  // The difference, if any, that applies to each value of this form.
  const skipReason = formSpec.slots.map(([field], slot) =>
    bare[slot] ? kPeerDifferences.findIndex((difference) => difference.applies(record[field])) : -1);
  const wholeForm = skipReason.find((reason) => reason >= 0 && kPeerDifferences[reason].wholeForm);
  if (wholeForm !== undefined) {
    tally.skipped[wholeForm].forms += 1;
    tally.skipped[wholeForm].values += formSpec.slots.length;
    return;
  }
  let parsed;
  try {
    parsed = peer.parse(form);
  } catch (error) {
    tally.peer.differ += formSpec.slots.length;
    tally.fail(`${where}: the peer rejects it: ${error.message}`);
    return;
  }
  formSpec.slots.forEach(([field, key], slot) => {
    if (skipReason[slot] >= 0) {
      tally.skipped[skipReason[slot]].values += 1;
      return;
    }
    const expected = record[field];
    const got = parsed.get(key);
    if (got === expected) {
      tally.peer.equal += 1;
      for (const [feature, holds] of Object.entries(kFeatures)) if (holds(expected)) tally.coverage[feature] += 1;
    } else {
      tally.peer.differ += 1;
      tally.fail(`${where}: ${field} ${Shown(expected)} came back from the peer as ${Shown(got)}`);
    }
  });
}

// Compares what the DLL's parse read back from one OLE DB form with the record.
function CheckOwnParse(record, values, where, tally) {
  kReadBack.forEach((field, slot) => {
    const expected = field === 'Provider' ? 'SQLOLEDB' : record[field];
    if (values[slot] === expected) {
      tally.own.equal += 1;
    } else {
      tally.own.differ += 1;
      tally.fail(`${where}: parse gave ${field} ${Shown(values[slot])}, expected ${Shown(expected)}`);
    }
  });
}

function Report(options, peer, records, tally) {
  const { failures } = tally;
  const thin = Object.entries(tally.coverage).filter(([, count]) => count < kMinimumPerFeature);
  for (const [feature, count] of thin) {
    tally.fail(`only ${count} values compared with the peer hold "${feature}" (at least ${kMinimumPerFeature} wanted)`);
  }
  console.log(`interop: ${records.length} records from seed ${options.seed}; peer ${peer.label}`);
  console.log(`interop: peer reads the three forms back: ${tally.peer.equal} values equal, ${tally.peer.differ} differ`);
  kPeerDifferences.forEach((difference, index) => {
    const { forms, values } = tally.skipped[index];
    console.log(`interop: skipped ${values} values${forms ? ` (${forms} whole OLE DB forms)` : ''}: ${difference.reason}`);
  });
  console.log(`interop: DLL parse reads the OLE DB forms back: ${tally.own.equal} values equal, ${tally.own.differ} differ`);
  console.log('interop: values compared with the peer, by what they hold: ' +
    Object.entries(tally.coverage).map(([feature, count]) => `${feature} ${count}`).join(', '));
  const failureFile = path.join(options.work, 'interop_failures.txt');
  fs.writeFileSync(failureFile, failures.map((failure) => failure + '\n').join(''), 'utf8');
  for (const failure of failures.slice(0, 25)) console.log(`FAIL ${failure}`);
  if (failures.length > 25) console.log(`... and ${failures.length - 25} more failures, all in ${failureFile}`);
  console.log(`interop: ${failures.length === 0 ? 'passed' : `${failures.length} failures`}`);
  return failures.length === 0 ? 0 : 1;
}

function Main() {
  const options = Options(process.argv.slice(2));
  const peer = loadPeerParser(options.peerModules);
  const records = GenerateRecords(options.records, options.seed);
  const results = RunClient(options, records);
  const tally = {
    peer: { equal: 0, differ: 0 },
    own: { equal: 0, differ: 0 },
    skipped: kPeerDifferences.map(() => ({ forms: 0, values: 0 })),
    coverage: Object.fromEntries(Object.keys(kFeatures).map((feature) => [feature, 0])),
    failures: [],
    fail(what) { this.failures.push(what); },
  };
  records.forEach((record, index) => {
    const { forms, readBack } = results[index];
    kForms.forEach((formSpec, formIndex) => {
      const where = `record ${index} ${formSpec.name} ${Shown(forms[formIndex])}`;
      CheckWithPeer(peer, formSpec, record, forms[formIndex], where, tally);
      const ownIndex = formIndex - 1;  // the OLE DB forms follow the ODBC form
      if (ownIndex >= 0) CheckOwnParse(record, readBack[ownIndex], where, tally);
    });
  });
  return Report(options, peer, records, tally);
}

try {
  process.exitCode = Main();
} catch (error) {
  console.error(`interop: ${error.message}`);
  process.exitCode = 1;
}
