'use strict';
// Turns the RESULT lines of one boundary-benchmark run (the Wine benchmark and the peer, read from
// standard input) into a Markdown table of the figures with their ratios and targets.
//
//   ... | node boundary_table.js --machine TEXT --command TEXT
//
// RESULT lines: `RESULT <name> <value> <unit>`. Exit code 1 when a figure that the parse ratios
// need is missing; a row whose figures the Wine benchmark did not print reads "not measured".
const fs = require('node:fs');

// A time in the unit that reads best: 12.4 ns, 771 ns, 57.06 µs, 2.41 ms.
function Time(ns) {
  if (ns < 100) return `${ns.toFixed(1)} ns`;
  if (ns < 10e3) return `${Math.round(ns).toLocaleString('en-US')} ns`;
  if (ns < 1e6) return `${(ns / 1e3).toFixed(2)} µs`;
  return `${(ns / 1e6).toFixed(2)} ms`;
}
const Ratio = (value) => `${value.toFixed(value < 10 ? 2 : 1)}x`;

const kMembers = [
  ...['UID', 'PassWord', 'Catalog', 'Provider', 'DataSource', 'Timeout', 'CurrentLanguage', 'ODBCString',
    'OleDBString', 'OleDBString2'].map((name) => `get_${name}`),
  ...['UID', 'PassWord', 'Catalog', 'Provider', 'DataSource', 'Timeout', 'CurrentLanguage'].map((name) => `put_${name}`),
  'Reset',
];

// ", before: X" when the run also timed an earlier build of the DLL (its figures carry "dll2_").
function Before(figures, name) {
  return `dll2_${name}` in figures ? ` (before: ${Time(figures[`dll2_${name}`])})` : '';
}

// Each row: what it shows, the figures it needs, and how it reads them; `ratio` gives the number
// that `holds` checks against the target. Where the Wine benchmark printed a ratio of its own
// (measured side by side in alternating rounds), that one is used.
const kRows = [
  {
    call: '`parse`, typical string, early-bound', needs: ['parse_typical_ns', 'bare_scan_typical_ns'], essential: true,
    measured: (f) => Time(f.parse_typical_ns) + Before(f, 'parse_typical_ns'),
    ratio: (f) => f.parse_typical_ratio ?? f.parse_typical_ns / f.bare_scan_typical_ns,
    reads: (r, f) => `${Ratio(r)} the bare scan (${Time(f.bare_scan_typical_ns)})`,
    target: 'within 3x', holds: (r) => r <= 3,
  },
  {
    call: '`parse`, 1 MiB of pairs', needs: ['parse_large_ns', 'bare_scan_large_ns'], essential: true,
    measured: (f) => Time(f.parse_large_ns) + Before(f, 'parse_large_ns'),
    ratio: (f) => f.parse_large_ratio ?? f.parse_large_ns / f.bare_scan_large_ns,
    reads: (r, f) => `${Ratio(r)} the bare scan (${Time(f.bare_scan_large_ns)})`,
    target: 'within 2x', holds: (r) => r <= 2,
  },
  {
    call: '`parse`, one value of 1 MiB', needs: ['parse_one_value_ns', 'bare_scan_one_value_ns'],
    measured: (f) => Time(f.parse_one_value_ns) + Before(f, 'parse_one_value_ns'),
    ratio: (f) => f.parse_one_value_ratio ?? f.parse_one_value_ns / f.bare_scan_one_value_ns,
    reads: (r, f) => `${Ratio(r)} the bare scan (${Time(f.bare_scan_one_value_ns)})`,
    target: 'within 2x', holds: (r) => r <= 2,
  },
  {
    call: '`parse` per byte, 100 B to 10 MiB', needs: ['parse_per_byte_spread'],
    measured: () => '',
    ratio: (f) => f.parse_per_byte_spread,
    reads: (r) => `highest / lowest ${Ratio(r)}`,
    target: 'within 1.2x', holds: (r) => r <= 1.2,
  },
  {
    call: 'get `ODBCString` / `OleDBString` / `OleDBString2`, then free', needs: ['get_odbc_ns', 'get_oledb_ns', 'get_oledb2_ns'],
    measured: (f) => [f.get_odbc_ns, f.get_oledb_ns, f.get_oledb2_ns].map(Time).join(' / '),
  },
  {
    call: '`parse` through `Invoke`', needs: ['late_parse_ns', 'early_parse_ns'],
    measured: (f) => Time(f.late_parse_ns) + Before(f, 'late_parse_ns'),
    ratio: (f) => f.late_parse_ratio ?? f.late_parse_ns / f.early_parse_ns,
    reads: (r, f) => `${Ratio(r)} early-bound (${Time(f.early_parse_ns)})`,
    target: 'within 1.3x', holds: (r) => r <= 1.3,
  },
  // Every member through Invoke (as a script host calls it) against its early-bound call.
  ...kMembers.map((member) => ({
    call: `${member.replace(/^(get|put)_(.*)$/u, '$1 `$2`').replace(/^(parse|Reset)$/u, '`$1`')} through \`Invoke\``,
    needs: [`late_${member}_ns`, `early_${member}_ns`],
    measured: (f) => Time(f[`late_${member}_ns`]) + Before(f, `late_${member}_ns`),
    ratio: (f) => f[`late_${member}_ns`] - f[`early_${member}_ns`],
    reads: (r, f) => `+${r.toFixed(1)} ns over early-bound (${Time(f[`early_${member}_ns`])})`,
    target: 'within 40 ns', holds: (r) => r <= 40,
  })),
  {
    call: 'VBScript under cscript, per iteration: `parse`, three forms, two properties', needs: ['script_iteration_us'],
    measured: (f) => `${f.script_iteration_us.toFixed(2)} µs`,
    ratio: (f) => ('before_script_iteration_us' in f ? f.script_iteration_us / f.before_script_iteration_us : null),
    reads: (r, f) => (r === null ? '' : `${Ratio(r)} the time before (${f.before_script_iteration_us.toFixed(2)} µs)`),
  },
  {
    call: '`GetIDsOfNames` of "PARSE"', needs: ['ids_other_case_ns', 'ids_exact_ns'],
    measured: (f) => Time(f.ids_other_case_ns),
    ratio: (f) => f.ids_other_case_ratio ?? f.ids_other_case_ns / f.ids_exact_ns,
    reads: (r, f) => `${Ratio(r)} an exact "parse" (${Time(f.ids_exact_ns)})`,
    target: 'within 2x', holds: (r) => r <= 2,
  },
  {
    call: 'heap at the peak of one `parse` of 1 MiB (of pairs / one value)', needs: ['parse_large_peak_ratio', 'parse_one_value_peak_ratio'],
    measured: (f) => `${Ratio(f.parse_large_peak_ratio)} / ${Ratio(f.parse_one_value_peak_ratio)} the text`,
    ratio: (f) => Math.max(f.parse_large_peak_ratio, f.parse_one_value_peak_ratio),
    reads: () => '',
    target: 'about 2x at most', holds: (r) => r <= 2,
  },
  ...[['typical', 'typical string', 20], ['large', '1 MiB of pairs', 30]].map(([input, what, times]) => ({
    call: `the peer parser, ${what}`, needs: [`peer_parse_${input}_ns`, `peer_parse_${input}_best_ns`, `parse_${input}_ns`],
    essential: true,
    measured: (f) => `${Time(f[`peer_parse_${input}_ns`])} (best ${Time(f[`peer_parse_${input}_best_ns`])})`,
    // Judged by the peer's best round, as the Wine benchmark's figures are best rounds too.
    ratio: (f) => f[`peer_parse_${input}_best_ns`] / f[`parse_${input}_ns`],
    reads: (r, f) => `ours ${Ratio(r)} faster (${Ratio(f[`peer_parse_${input}_ns`] / f[`parse_${input}_ns`])} by its median)`,
    target: `at least ${times}x`, holds: (r) => r >= times,
  })),
];

function Options(argv) {
  const options = { machine: '', command: '' };
  for (let i = 0; i < argv.length; i += 2) options[argv[i].replace(/^--/u, '')] = argv[i + 1];
  return options;
}

function Main() {
  const options = Options(process.argv.slice(2));
  const figures = {};
  for (const line of fs.readFileSync(0, 'utf8').split(/\r?\n/u)) {
    const match = /^RESULT (\S+) (\S+) \S+\s*$/u.exec(line);
    if (match) figures[match[1]] = Number(match[2]);
  }
  const lines = ['| call | measured | ratio | target | |', '|---|---|---|---|---|'];
  let missing = 0;
  for (const row of kRows) {
    const absent = row.needs.filter((name) => !(name in figures));
    if (absent.length > 0) {
      lines.push(`| ${row.call} | not measured (${absent.join(', ')}) | | ${row.target ?? ''} | |`);
      if (row.essential) missing += 1;
      continue;
    }
    const ratio = row.ratio ? row.ratio(figures) : null;
    const verdict = row.holds && ratio !== null ? (row.holds(ratio) ? 'met' : 'missed') : '';
    lines.push(`| ${row.call} | ${row.measured(figures)} | ${ratio === null ? '' : row.reads(ratio, figures)} | ` +
      `${row.target ?? ''} | ${verdict} |`);
  }
  console.log(`Machine: ${options.machine}`);
  console.log(`Command: \`${options.command}\``);
  console.log('');
  console.log(lines.join('\n'));
  console.log('');
  console.log("Our figures are each the best of several rounds; the peer's ratio is judged by its best round too.");
  return missing === 0 ? 0 : 1;
}

process.exitCode = Main();
