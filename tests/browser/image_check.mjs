#!/usr/bin/env node
// Decodes an animated GIF, WebP or PNG export of a movie frame by frame with
// headless Chromium's own ImageDecoder and compares every frame with the
// built-in renderer's picture of the movie frame it starts on.
//
//   node image_check.mjs MOVIE.swf --render PROGRAM --formats gif,webp,apng [--scale S]
//                        [--results FOLDER] [--chromium PATH] [--tolerance 24] [--min-percent 99]
//
// The render command writes RESULTS/image-<movie>/anim.<ext> for each format
// and our pictures of every frame. The page fetches the animation, decodes each frame
// with ImageDecoder (the browser composes it over the frames before it, as it
// shows it), draws it into a canvas and hands back the pixels with the frame's
// timestamp and duration. A frame passes when at least MIN_PERCENT of its
// pixels lie within TOLERANCE levels in every channel of ours. Also checked:
// every frame starts on a frame of the movie, the frames add up to the
// movie's length (to the format's unit: GIF counts hundredths, WebP
// milliseconds), the browser plays it forever (the shipped movies repeat),
// and GIF frames last at least 2 hundredths. Decoded frames are kept as
// <format>-frameN.png beside ours.
//
// Exit status: 0 all agree, 1 some check failed, 2 the check could not be
// carried out (no browser, the render command failed, the browser could not
// decode the file).

import { execFileSync } from 'node:child_process';
import { createServer } from 'node:http';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { deflateSync } from 'node:zlib';

import { parseSwf } from './swf.mjs';
import { readPng } from './png.mjs';

const HERE = path.dirname(fileURLToPath(import.meta.url));
const CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];
const FORMATS = {
  // unit: the ticks per second of the format's frame times.
  gif: { extension: 'gif', type: 'image/gif', unit: 100 },
  webp: { extension: 'webp', type: 'image/webp', unit: 1000 },
  apng: { extension: 'apng', type: 'image/png', unit: 1000 },
};

class CheckError extends Error {}

function parseArgs(argv) {
  const args = { movie: null, render: null, formats: [], scale: 1, results: 'browser-results',
    chromium: '/usr/bin/chromium', tolerance: 24, minPercent: 99 };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new CheckError(`${a} needs a value`);
      return argv[++i];
    };
    if (a === '--render') args.render = value();
    else if (a === '--formats') args.formats = value().split(',');
    else if (a === '--scale') args.scale = Number(value());
    else if (a === '--results') args.results = value();
    else if (a === '--chromium') args.chromium = value();
    else if (a === '--tolerance') args.tolerance = Number(value());
    else if (a === '--min-percent') args.minPercent = Number(value());
    else if (!a.startsWith('-') && !args.movie) args.movie = a;
    else throw new CheckError(`unknown argument ${a}`);
  }
  if (!args.movie || !args.render || !args.formats.length || !args.formats.every((f) => FORMATS[f]))
    throw new CheckError('usage: node image_check.mjs MOVIE.swf --render PROGRAM --formats gif,webp,apng [options]');
  return args;
}

// A PNG of RGBA pixels, unfiltered, for the browser's frames.
function writePng(file, width, height, rgba) {
  const crcTable = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
  });
  const crc = (buf) => {
    let c = 0xffffffff;
    for (const b of buf) c = crcTable[(c ^ b) & 255] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
  };
  const chunk = (type, data) => {
    const head = Buffer.alloc(8);
    head.writeUInt32BE(data.length, 0);
    head.write(type, 4, 'latin1');
    const tail = Buffer.alloc(4);
    tail.writeUInt32BE(crc(Buffer.concat([head.subarray(4), data])), 0);
    return Buffer.concat([head, data, tail]);
  };
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(width, 0);
  ihdr.writeUInt32BE(height, 4);
  ihdr.set([8, 6, 0, 0, 0], 8);
  const raw = Buffer.alloc((width * 4 + 1) * height);
  for (let y = 0; y < height; y++) rgba.copy(raw, y * (width * 4 + 1) + 1, y * width * 4, (y + 1) * width * 4);
  writeFileSync(file, Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', ihdr), chunk('IDAT', deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]));
}

// Share of the pixels of `decoded` (RGBA) within tolerance of our PNG.
function agreement(decoded, ours, tolerance) {
  let close = 0;
  for (let y = 0; y < ours.height; y++)
    for (let x = 0; x < ours.width; x++) {
      const [r, g, b] = ours.pixel(x, y);
      const i = (y * ours.width + x) * 4;
      if (Math.abs(decoded[i] - r) <= tolerance && Math.abs(decoded[i + 1] - g) <= tolerance &&
          Math.abs(decoded[i + 2] - b) <= tolerance)
        close++;
    }
  return (100 * close) / (ours.width * ours.height);
}

async function main() {
  const args = parseArgs(process.argv.slice(2));
  const info = parseSwf(readFileSync(args.movie));
  const fps = info.frameRate;
  const count = info.showFrames;
  const stem = path.basename(args.movie, '.swf');
  const name = stem + (args.scale !== 1 ? `-x${args.scale}` : '');
  const dir = path.resolve(args.results, `image-${name}`);
  rmSync(dir, { recursive: true, force: true });
  mkdirSync(dir, { recursive: true });
  const render = (extra) => {
    try {
      execFileSync(args.render, [args.movie, ...extra, '--scale', String(args.scale)], { stdio: 'pipe' });
    } catch (e) {
      throw new CheckError(`${args.render} ${extra.join(' ')} failed: ${e.stderr?.toString() ?? e.message}`);
    }
  };
  const served = new Map(args.formats.map((f) => [`/anim.${FORMATS[f].extension}`, FORMATS[f]]));
  for (const f of args.formats) render(['-o', path.join(dir, `anim.${FORMATS[f].extension}`)]);
  render(['--all', '-o', dir]);
  const ours = (k) => readPng(readFileSync(path.join(dir, `${stem}-${String(k).padStart(Math.max(4, String(count).length), '0')}.png`)));

  const page = '<!doctype html><meta charset="utf-8"><body><canvas id="c"></canvas></body>';
  const server = createServer((req, res) => {
    if (req.url === '/') {
      res.writeHead(200, { 'content-type': 'text/html; charset=utf-8' });
      return res.end(page);
    }
    if (served.has(req.url)) {
      res.writeHead(200, { 'content-type': served.get(req.url).type });
      return res.end(readFileSync(path.join(dir, req.url.slice(1))));
    }
    res.writeHead(404);
    res.end();
  });
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  const base = `http://127.0.0.1:${server.address().port}`;

  let chromium;
  try {
    chromium = (await import('playwright-core')).chromium;
  } catch (e) {
    throw new CheckError(`playwright-core is not installed in ${HERE}/node_modules: run scripts/install-npm.sh`);
  }
  const profile = mkdtempSync(path.join(tmpdir(), 'movi-image-'));
  const failures = [];
  let context;
  try {
    context = await chromium.launchPersistentContext(profile, { executablePath: args.chromium, headless: true,
      args: CHROMIUM_FLAGS, timeout: 30000 });
    const tab = await context.newPage();
    await tab.route('**/*', (route) => (route.request().url().startsWith(base + '/') ? route.continue() : route.abort()));
    await tab.goto(base + '/', { waitUntil: 'load', timeout: 20000 });
    for (const formatName of args.formats) {
      const format = FORMATS[formatName];
      const file = `anim.${format.extension}`;
      const fail = (message) => failures.push(`${formatName}: ${message}`);
      const meta = await tab.evaluate(async ({ url, type }) => {
        if (typeof ImageDecoder === 'undefined') return { error: 'this browser has no ImageDecoder' };
        if (!(await ImageDecoder.isTypeSupported(type))) return { error: `ImageDecoder does not take ${type}` };
        const data = new Uint8Array(await (await fetch(url)).arrayBuffer());
        window.decoder = new ImageDecoder({ data, type });
        await window.decoder.tracks.ready;
        await window.decoder.completed;
        const track = window.decoder.tracks.selectedTrack;
        return { frames: track.frameCount, repetition: track.repetitionCount === Infinity ? 'forever' : track.repetitionCount };
      }, { url: `${base}/${file}`, type: format.type });
      if (meta.error) throw new CheckError(meta.error);
      console.log(`${file}: ${meta.frames} frames, repeats ${meta.repetition} (movie: ${count} frames at ${fps} fps)`);
      if (meta.repetition !== 'forever') fail(`the browser repeats it ${meta.repetition} times, not forever`);

      let total = 0;
      let start = 0; // where the frame starts, in movie frames
      for (let i = 0; i < meta.frames; i++) {
        const frame = await tab.evaluate(async (index) => {
          const { image } = await window.decoder.decode({ frameIndex: index });
          const c = document.getElementById('c');
          c.width = image.displayWidth;
          c.height = image.displayHeight;
          const g = c.getContext('2d', { willReadFrequently: true });
          g.drawImage(image, 0, 0);
          const out = { timestamp: image.timestamp, duration: image.duration, width: c.width, height: c.height };
          image.close();
          const data = g.getImageData(0, 0, c.width, c.height).data;
          let text = '';
          for (let j = 0; j < data.length; j += 0x8000) text += String.fromCharCode(...data.subarray(j, j + 0x8000));
          out.pixels = btoa(text);
          return out;
        }, i);
        const pixels = Buffer.from(frame.pixels, 'base64');
        writePng(path.join(dir, `${formatName}-frame${i + 1}.png`), frame.width, frame.height, pixels);
        // Durations are in microseconds. GIF and WebP frames start within half
        // the format's unit of a movie frame (the times are rounded from the
        // movie's start); the browser keeps APNG delays in whole milliseconds,
        // cut off, so there each frame lasts whole movie frames within 1 ms.
        const seconds = frame.duration / 1e6;
        let k;
        if (formatName === 'apng') {
          const frames = Math.round(seconds * fps);
          if (frames < 1 || Math.abs(seconds - frames / fps) > 0.001 + 1e-6)
            fail(`frame ${i + 1} lasts ${frame.duration} us, not a whole number of movie frames`);
          k = start + 1;
          start += Math.max(frames, 1);
        } else {
          const at = (total / 1e6) * fps;
          k = Math.round(at) + 1;
          if (Math.abs(at - (k - 1)) > fps / format.unit / 2 + 1e-6)
            fail(`frame ${i + 1} starts at ${total} us, on no frame of the movie`);
          start = Math.round(((total + frame.duration) / 1e6) * fps);
        }
        if (formatName === 'gif' && frame.duration < 20000)
          fail(`frame ${i + 1} lasts ${frame.duration} us, less than 2 hundredths`);
        total += frame.duration;
        if (k > count) {
          fail(`frame ${i + 1} starts after the movie's end`);
          continue;
        }
        const own = ours(k);
        if (frame.width !== own.width || frame.height !== own.height) {
          fail(`frame ${i + 1} is ${frame.width} x ${frame.height}, ours ${own.width} x ${own.height}`);
          continue;
        }
        const share = agreement(pixels, own, args.tolerance);
        const ok = share >= args.minPercent;
        console.log(`${ok ? 'ok  ' : 'FAIL'} frame ${i + 1} (movie frame ${k}): ${share.toFixed(2)}% of pixels within ${args.tolerance}`);
        if (!ok) fail(`frame ${i + 1} (movie frame ${k}): ${share.toFixed(2)}% of pixels agree, at least ${args.minPercent}% needed`);
      }
      // The length to the format's unit (GIF hundredths, the others
      // milliseconds); APNG's frames as the browser cut them.
      const expected = (Math.round((count * format.unit) / fps) / format.unit) * 1e6;
      const slack = formatName === 'apng' ? meta.frames * 1000 : 1;
      console.log(`length ${total / 1e6} s, the movie ${count / fps} s`);
      if (start !== count) fail(`the frames cover ${start} movie frames, the movie has ${count}`);
      if (Math.abs(total - expected) > slack) fail(`the frames last ${total} us together, expected ${expected} us`);
    }
  } finally {
    if (context) await context.close().catch(() => {});
    server.close();
    rmSync(profile, { recursive: true, force: true });
  }
  for (const f of failures) console.error(`FAIL ${name}: ${f}`);
  return failures.length ? 1 : 0;
}

main().then(
  (code) => process.exit(code),
  (e) => {
    console.error(e instanceof CheckError ? `ERROR ${e.message}` : `ERROR ${e.stack ?? e}`);
    process.exit(2);
  });
