'use strict';
// The peer side of the boundary benchmark: the independent connection-string parser under node,
// timed on exactly the strings the Wine benchmark timed (DIR/typical.txt and DIR/large.txt, UTF-8).
//
//   node peer_benchmark.js --peer-modules DIR --inputs DIR [--rounds N]
//
// Warms up, then times N rounds (each long enough to time reliably) and prints which version ran
// and, per input, `RESULT peer_parse_<input>_ns` (the median round) and
// `RESULT peer_parse_<input>_best_ns` (the fastest round), in ns per call.
const fs = require('node:fs');
const path = require('node:path');
const { loadPeerParser } = require('../../tests/interop/peer_parser');

function Options(argv) {
  const options = { rounds: 21 };
  for (let i = 0; i < argv.length; i += 2) {
    if (argv[i] === '--peer-modules') options.peerModules = argv[i + 1];
    else if (argv[i] === '--inputs') options.inputs = argv[i + 1];
    else if (argv[i] === '--rounds') options.rounds = Number(argv[i + 1]);
    else throw new Error(`unknown option ${argv[i]}`);
  }
  if (!options.peerModules || !options.inputs || !(options.rounds > 0)) {
    throw new Error('usage: peer_benchmark.js --peer-modules DIR --inputs DIR [--rounds N]');
  }
  return options;
}

const Median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

// Nanoseconds per call of parse(text): the median of `rounds` rounds, each of as many calls as fill
// about 20 ms (at least one), after about 300 ms of warm-up.
function TimeParse(parse, text, rounds) {
  let sink = 0;
  const timeCalls = (calls) => {
    const start = process.hrtime.bigint();
    for (let i = 0; i < calls; ++i) sink += parse(text).size;
    return Number(process.hrtime.bigint() - start);
  };
  const warmUpEnd = process.hrtime.bigint() + 300_000_000n;
  while (process.hrtime.bigint() < warmUpEnd) timeCalls(1);
  // The fastest of a few single calls sets the round size, so one preempted call cannot shrink it.
  const fastest = Math.min(...Array.from({ length: 9 }, () => timeCalls(1)));
  const calls = Math.max(1, Math.ceil(20e6 / fastest));
  const perCall = Array.from({ length: rounds }, () => timeCalls(calls) / calls);
  if (sink === 0) throw new Error('the peer read no pair from the input');
  return { ns: Median(perCall), best: Math.min(...perCall), calls };
}

function Main() {
  const options = Options(process.argv.slice(2));
  const peer = loadPeerParser(options.peerModules);
  console.log(`peer parser: ${peer.label}`);
  for (const input of ['typical', 'large']) {
    const text = fs.readFileSync(path.join(options.inputs, `${input}.txt`), 'utf8');
    const { ns, best, calls } = TimeParse(peer.parse, text, options.rounds);
    console.log(`peer ${input}: ${text.length} UTF-16 units, ${options.rounds} rounds of ${calls} calls: ` +
      `median ${ns.toFixed(1)} ns, best ${best.toFixed(1)} ns`);
    console.log(`RESULT peer_parse_${input}_ns ${ns.toFixed(1)} ns`);
    console.log(`RESULT peer_parse_${input}_best_ns ${best.toFixed(1)} ns`);
  }
}

try {
  Main();
} catch (error) {
  console.error(`peer_benchmark: ${error.message}`);
  process.exitCode = 1;
}
