'use strict';
// The independent connection-string parser the interoperability test and the boundary benchmark
// compare against: the version pinned in package-lock.json beside this file, installed with
// `npm ci` into the build tree (its node_modules folder is handed in).
const fs = require('node:fs');
const path = require('node:path');

const kPackage = '@tediousjs/connection-string';

// { parse(text) -> Map-like, label: "name version (node vX)" }
function loadPeerParser(modulesDir) {
  const dir = path.resolve(modulesDir, ...kPackage.split('/'));
  let manifest;
  try {
    manifest = JSON.parse(fs.readFileSync(path.join(dir, 'package.json'), 'utf8'));
  } catch (error) {
    throw new Error(`${kPackage} is not installed in ${modulesDir} (the build runs npm ci): ${error.message}`);
  }
  return { parse: require(dir).parse, label: `${manifest.name} ${manifest.version} (node ${process.version})` };
}

module.exports = { loadPeerParser };
