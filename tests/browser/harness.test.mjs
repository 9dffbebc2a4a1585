// Checks of the browser check's own readers: the movie header and tag walk,
// the cut test copies, and the screenshot reader and writer. Runs without a browser.
// MOVI_SELFTEST_DIR names the folder make_selftest_movies wrote (optional).

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { deflateSync } from 'node:zlib';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';

import { parseSwf, cutAfterFrame, SwfError } from './swf.mjs';
import { readPng, writePng as writeRgbaPng } from './png.mjs';

// Tag header: short form when length < 63, else 0x3F and a UI32 length.
function tag(code, body, forceLong = false) {
  const long = forceLong || body.length >= 0x3f;
  const head = Buffer.alloc(long ? 6 : 2);
  head.writeUInt16LE((code << 6) | (long ? 0x3f : body.length), 0);
  if (long) head.writeUInt32LE(body.length, 2);
  return Buffer.concat([head, Buffer.from(body)]);
}

// Header with a frame RECT of the given field width (all four fields written
// with that width: 0, width, 0, height in twips).
function movie(rectBits, width, height, frameRate, frameCount, tags) {
  const bits = [];
  const put = (v, n) => { for (let i = n - 1; i >= 0; i--) bits.push((v >> i) & 1); };
  put(rectBits, 5);
  put(0, rectBits); put(width, rectBits); put(0, rectBits); put(height, rectBits);
  while (bits.length % 8) bits.push(0);
  const rect = Buffer.alloc(bits.length / 8);
  bits.forEach((b, i) => { rect[i >> 3] |= b << (7 - (i & 7)); });
  const tail = Buffer.alloc(4);
  tail.writeUInt16LE(frameRate * 256, 0);
  tail.writeUInt16LE(frameCount, 2);
  const body = Buffer.concat([rect, tail, ...tags]);
  const head = Buffer.from('FWS\x04\0\0\0\0', 'latin1');
  const all = Buffer.concat([head, body]);
  all.writeUInt32LE(all.length, 4);
  return all;
}

const showFrame = () => tag(1, []);
const end = () => tag(0, []);

test('header fields with a wide frame rectangle and long tag headers', () => {
  // 15-bit fields: 5 + 60 bits = 9 bytes of RECT, header 21 bytes.
  const m = movie(15, 11000, 8000, 12, 2, [
    tag(9, [1, 2, 3]),
    tag(2, new Array(10).fill(7), true), // long header for a short body
    showFrame(),
    tag(26, new Array(100).fill(0)),    // long header because of its length
    showFrame(),
    end(),
  ]);
  const info = parseSwf(m);
  assert.equal(info.version, 4);
  assert.equal(info.headerSize, 21);
  assert.deepEqual(info.rect, { xmin: 0, xmax: 11000, ymin: 0, ymax: 8000 });
  assert.equal(info.widthPx, 550);
  assert.equal(info.heightPx, 400);
  assert.equal(info.frameRate, 12);
  assert.equal(info.frameCount, 2);
  assert.deepEqual(info.tags.map((t) => t.code), [9, 2, 1, 26, 1, 0]);
  assert.deepEqual(info.tags.map((t) => t.length), [3, 10, 0, 100, 0, 0]);
  assert.deepEqual(info.backgroundColor, [1, 2, 3]);
  assert.equal(info.showFrames, 2);
  assert.ok(info.hasEnd);
});

test('rectangle fields are sign-extended', () => {
  const m = movie(16, 0x8000 - 1, 200, 1, 0, [end()]);
  assert.equal(parseSwf(m).rect.xmax, 32767);
  const negative = movie(4, 0b1111, 0b0111, 1, 0, [end()]); // 4-bit fields: -1, 7
  assert.equal(parseSwf(negative).rect.xmax, -1);
  assert.equal(parseSwf(negative).rect.ymax, 7);
});

test('a cut copy ends after the chosen ShowFrame, without End, header patched', () => {
  const tags = [tag(9, [0, 0, 0]), tag(26, new Array(70).fill(1)), showFrame(), tag(26, [5]), showFrame(), showFrame(), end()];
  const m = movie(13, 4000, 3000, 24, 3, tags);
  for (const k of [1, 2, 3]) {
    const cut = cutAfterFrame(m, k);
    const info = parseSwf(cut); // also checks the patched length against the size
    assert.equal(info.fileLength, cut.length);
    assert.equal(info.frameCount, k);
    assert.equal(info.showFrames, k);
    assert.equal(info.hasEnd, false);
    assert.equal(info.tags.at(-1).code, 1);
    // Everything but the patched header fields is the original's prefix.
    assert.ok(cut.subarray(8, info.frameCountOffset).equals(m.subarray(8, info.frameCountOffset)));
    assert.ok(cut.subarray(info.headerSize).equals(m.subarray(info.headerSize, cut.length)));
  }
});

test('bad movies and frame numbers are refused with the reason', async (t) => {
  const good = movie(13, 4000, 3000, 12, 1, [showFrame(), end()]);
  const rows = [
    ['compressed', () => parseSwf(Buffer.concat([Buffer.from('CWS'), good.subarray(3)])), /compressed movie \(CWS\)/],
    ['not a movie', () => parseSwf(Buffer.from('GIF89a-not-a-movie')), /no FWS signature/],
    ['too short', () => parseSwf(Buffer.from('FWS')), /only 3 bytes/],
    ['length field wrong', () => { const b = Buffer.from(good); b.writeUInt32LE(999, 4); return parseSwf(b); }, /header says 999 bytes, the file has/],
    ['tag longer than the file', () => {
      const b = movie(13, 4000, 3000, 12, 1, [tag(2, [1, 2, 3])]);
      const cut = Buffer.from(b.subarray(0, b.length - 1));
      cut.writeUInt32LE(cut.length, 4);
      return parseSwf(cut);
    }, /tag 2 at byte 20 claims 3 bytes, only 2 left/],
    ['frame past the end', () => cutAfterFrame(good, 2), /the movie has 1 frames, frame 2 was asked for/],
    ['frame 0', () => cutAfterFrame(good, 0), /not a frame number/],
  ];
  for (const [name, run, message] of rows)
    await t.test(name, () => assert.throws(run, (e) => e instanceof SwfError && message.test(e.message)));
});

test('the self-test movie as the writer library made it', { skip: !process.env.MOVI_SELFTEST_DIR }, () => {
  const file = path.join(process.env.MOVI_SELFTEST_DIR, 'selftest.swf');
  assert.ok(existsSync(file), `${file} missing`);
  const info = parseSwf(readFileSync(file));
  assert.equal(info.widthPx, 200);
  assert.equal(info.heightPx, 150);
  assert.equal(info.frameRate, 12);
  assert.equal(info.frameCount, 3);
  assert.deepEqual(info.backgroundColor, [255, 255, 255]);
  // SetBackgroundColor, DefineShape, PlaceObject2, DefineMorphShape, PlaceObject2,
  // DefineFont, DefineText2, PlaceObject2, ShowFrame, ..., End.
  assert.deepEqual(info.tags.map((t) => t.code), [9, 2, 26, 46, 26, 10, 33, 26, 1, 26, 26, 1, 28, 26, 1, 0]);
});

// PNG writer for the reader's test: each row with the given filter type.
function crc32(buf) {
  let c = ~0;
  for (const b of buf) {
    c ^= b;
    for (let k = 0; k < 8; k++) c = (c >>> 1) ^ (0xedb88320 & -(c & 1));
  }
  return ~c >>> 0;
}
function chunk(type, data) {
  const len = Buffer.alloc(4);
  len.writeUInt32BE(data.length);
  const td = Buffer.concat([Buffer.from(type, 'latin1'), data]);
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(td));
  return Buffer.concat([len, td, crc]);
}
function writePng(width, height, channels, pixel, filterOf) {
  const stride = width * channels;
  const rows = [];
  let prev = Buffer.alloc(stride);
  for (let y = 0; y < height; y++) {
    const row = Buffer.alloc(stride);
    for (let x = 0; x < width; x++) pixel(x, y).slice(0, channels).forEach((v, c) => { row[x * channels + c] = v; });
    const f = filterOf(y);
    const out = Buffer.alloc(stride + 1);
    out[0] = f;
    for (let i = 0; i < stride; i++) {
      const a = i >= channels ? row[i - channels] : 0;
      const b = y > 0 ? prev[i] : 0;
      const c = y > 0 && i >= channels ? prev[i - channels] : 0;
      const p = a + b - c;
      const pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const pred = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][f];
      out[i + 1] = (row[i] - pred) & 0xff;
    }
    rows.push(out);
    prev = row;
  }
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(width, 0);
  ihdr.writeUInt32BE(height, 4);
  ihdr[8] = 8;
  ihdr[9] = channels === 4 ? 6 : 2;
  return Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', ihdr),
    chunk('IDAT', deflateSync(Buffer.concat(rows))),
    chunk('IEND', Buffer.alloc(0)),
  ]);
}

test('screenshot reader undoes every row filter, RGB and RGBA', async (t) => {
  const colour = (x, y) => [(x * 37 + y * 11) & 255, (x * 5 + y * 93) & 255, (x * y * 7 + 128) & 255, 255];
  for (const channels of [3, 4]) {
    await t.test(`${channels} channels`, () => {
      const png = readPng(writePng(13, 10, channels, colour, (y) => y % 5));
      assert.equal(png.width, 13);
      assert.equal(png.height, 10);
      for (let y = 0; y < 10; y++)
        for (let x = 0; x < 13; x++) assert.deepEqual(png.pixel(x, y), colour(x, y).slice(0, 3), `pixel ${x},${y}`);
    });
  }
});

test('frames the checks keep read back as they were written', () => {
  const dir = mkdtempSync(path.join(tmpdir(), 'movi-harness-'));
  try {
    const rgba = Buffer.alloc(7 * 5 * 4);
    for (let i = 0; i < rgba.length; i++) rgba[i] = (i * 67 + 3) & 255;
    const file = path.join(dir, 'frame.png');
    writeRgbaPng(file, 7, 5, rgba);
    const png = readPng(readFileSync(file));
    assert.equal(png.channels, 4);
    assert.deepEqual([png.width, png.height], [7, 5]);
    assert.deepEqual(png.data, rgba);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});
