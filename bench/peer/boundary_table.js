'use strict';
// Turns the RESULT lines of one boundary-benchmark run (the Wine benchmark and the peer, read from
// standard input) into a Markdown table with the ratios and their targets.
//
//   ... | node boundary_table.js --machine TEXT --command TEXT
//
// RESULT lines: `RESULT <name> <value> <unit>`. Exit code 1 when a figure a ratio needs is missing.
const fs = require('node:fs');

const kRatios = [
  // [label, numerator, denominator, how the ratio reads, target]
  ['`parse` typical / bare scan', 'parse_typical_ns', 'bare_scan_typical_ns', (r) => `${r}x the bare scan`, (r) => r <= 3, 'within 3x'],
  ['`parse` 1 MiB / bare scan', 'parse_large_ns', 'bare_scan_large_ns', (r) => `${r}x the bare scan`, (r) => r <= 2, 'within 2x'],
  ['peer / `parse`, typical', 'peer_parse_typical_ns', 'parse_typical_ns', (r) => `ours ${r}x faster`, (r) => r >= 20, 'at least 20x'],
  ['peer / `parse`, 1 MiB', 'peer_parse_large_ns', 'parse_large_ns', (r) => `ours ${r}x faster`, (r) => r >= 30, 'at least 30x'],
];

function Options(argv) {
  const options = { machine: '', command: '' };
  for (let i = 0; i < argv.length; i += 2) options[argv[i].replace(/^--/u, '')] = argv[i + 1];
  return options;
}

// A figure in the unit that reads best: 771 ns, 57.06 µs, 2.41 ms.
function Readable(value, unit) {
  if (unit !== 'ns') return `${value} ${unit}`;
  if (value < 10e3) return `${Math.round(value).toLocaleString('en-US')} ns`;
  if (value < 1e6) return `${(value / 1e3).toFixed(2)} µs`;
  return `${(value / 1e6).toFixed(2)} ms`;
}

function Main() {
  const options = Options(process.argv.slice(2));
  const results = new Map();
  for (const line of fs.readFileSync(0, 'utf8').split(/\r?\n/u)) {
    const match = /^RESULT (\S+) (\S+) (\S+)\s*$/u.exec(line);
    if (match) results.set(match[1], { value: Number(match[2]), unit: match[3] });
  }
  const rows = ['| figure | measured |', '|---|---|'];
  for (const [name, { value, unit }] of results) rows.push(`| ${name} | ${Readable(value, unit)} |`);
  rows.push('', '| ratio | measured | target | |', '|---|---|---|---|');
  let missing = 0;
  for (const [label, top, bottom, reads, holds, target] of kRatios) {
    if (!results.has(top) || !results.has(bottom)) {
      rows.push(`| ${label} | missing ${results.has(top) ? bottom : top} | ${target} | |`);
      missing += 1;
      continue;
    }
    const ratio = results.get(top).value / results.get(bottom).value;
    const shown = ratio.toFixed(1);
    rows.push(`| ${label} | ${reads(shown)} | ${target} | ${holds(Number(shown)) ? 'met' : 'missed'} |`);
  }
  console.log(`Machine: ${options.machine}`);
  console.log(`Command: \`${options.command}\``);
  console.log('');
  console.log(rows.join('\n'));
  return missing === 0 ? 0 : 1;
}

process.exitCode = Main();
