// The bytes of the test files that the extension sends. Byte p of a file with seed s is
// a byte of a 32-bit hash of (s, p >> 2), so any stretch of the file can be made on its
// own: the extension makes one chunk at a time and the driver makes the whole file to
// compare it with what the host saved. Loaded by the extension as a plain script and
// by the driver with require().
'use strict';

(function (root) {
  function word(seed, index) {
    let x = (Math.imul(index, 0x9e3779b1) ^ seed) >>> 0;
    x ^= x >>> 16;
    x = Math.imul(x, 0x85ebca6b);
    x ^= x >>> 13;
    x = Math.imul(x, 0xc2b2ae35);
    x ^= x >>> 16;
    return x >>> 0;
  }

  const LITTLE_ENDIAN = new Uint8Array(new Uint32Array([1]).buffer)[0] === 1;

  /** Fills `bytes` with the file's bytes from `offset` on. Returns `bytes`. */
  function fill(bytes, offset, seed) {
    let i = 0;
    const n = bytes.length;
    // Unaligned head, one byte at a time.
    while (i < n && (offset + i) % 4 !== 0) {
      const p = offset + i;
      bytes[i] = (word(seed, Math.floor(p / 4)) >>> (8 * (p % 4))) & 0xff;
      i += 1;
    }
    // Whole words: through a 32-bit view when the buffer allows it.
    const words = Math.floor((n - i) / 4);
    const first = (offset + i) / 4;
    if (LITTLE_ENDIAN && (bytes.byteOffset + i) % 4 === 0) {
      const view = new Uint32Array(bytes.buffer, bytes.byteOffset + i, words);
      for (let k = 0; k < words; k += 1) view[k] = word(seed, first + k);
      i += words * 4;
    } else {
      for (let k = 0; k < words; k += 1, i += 4) {
        const w = word(seed, first + k);
        bytes[i] = w & 0xff;
        bytes[i + 1] = (w >>> 8) & 0xff;
        bytes[i + 2] = (w >>> 16) & 0xff;
        bytes[i + 3] = w >>> 24;
      }
    }
    // Tail.
    for (; i < n; i += 1) {
      const p = offset + i;
      bytes[i] = (word(seed, Math.floor(p / 4)) >>> (8 * (p % 4))) & 0xff;
    }
    return bytes;
  }

  const api = { fill, word };
  if (typeof module !== 'undefined' && module.exports) module.exports = api;
  else root.TessivaPattern = api;
})(typeof globalThis !== 'undefined' ? globalThis : this);
