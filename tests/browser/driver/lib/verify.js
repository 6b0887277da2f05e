// Comparing a saved file with the pattern bytes that the extension sent.
'use strict';

const fs = require('node:fs');
const pattern = require('../../extension/shared/pattern');

const BLOCK = 8 * 1024 * 1024;

/**
 * {ok, detail}: whether the file at `file` holds exactly `size` pattern bytes of `seed`.
 * A file that matches is removed afterwards, so that large runs leave no large files.
 */
function verifyPattern(file, size, seed) {
  let fd;
  try {
    fd = fs.openSync(file, 'r');
  } catch (error) {
    return { ok: false, detail: `cannot open ${file}: ${error.message}` };
  }
  try {
    const actual = fs.fstatSync(fd).size;
    if (actual !== size) return { ok: false, detail: `${file} has ${actual} bytes, want ${size}` };
    const got = Buffer.alloc(BLOCK);
    const want = Buffer.alloc(BLOCK);
    for (let offset = 0; offset < size; offset += BLOCK) {
      const n = Math.min(BLOCK, size - offset);
      fs.readSync(fd, got, 0, n, offset);
      pattern.fill(want.subarray(0, n), offset, seed);
      if (got.compare(want, 0, n, 0, n) !== 0) {
        let at = 0;
        while (got[at] === want[at]) at += 1;
        return { ok: false, detail: `${file} differs from the bytes sent at offset ${offset + at}` };
      }
    }
  } finally {
    fs.closeSync(fd);
  }
  fs.rmSync(file, { force: true });
  return { ok: true, detail: `${size} bytes identical` };
}

module.exports = { verifyPattern };
