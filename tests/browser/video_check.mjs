#!/usr/bin/env node
// Plays a WebM export of a movie in headless Chromium's own <video> element
// and compares chosen frames with the built-in renderer's pictures of them.
//
//   node video_check.mjs MOVIE.swf --render PROGRAM [--scale S] [--frames 1,12,last]
//                        [--results FOLDER] [--chromium PATH] [--tolerance 24] [--min-percent 98]
//
// The render command writes RESULTS/<movie>[-xS]/video.webm and, for every
// chosen frame K, frameK-render.png. The page seeks the video to the middle of
// frame K with currentTime, draws it into a canvas and hands the pixels back;
// they are kept as frameK-video.png beside ours. A frame passes when at least
// MIN_PERCENT of the picture's pixels lie within TOLERANCE levels in every
// channel of ours (4:2:0 video blurs colour edges), and when it is nearer to
// frame K than to a frame three away wherever those two differ. The video's
// duration and size are checked too (an odd size is padded by one pixel).
//
// Exit status: 0 all frames agree, 1 some check failed, 2 the check could not
// be carried out (no browser, the render command failed, the video did not load).

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
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--autoplay-policy=no-user-gesture-required'];

class CheckError extends Error {}

function parseArgs(argv) {
  const args = { movie: null, render: null, scale: 1, frames: '1,last', results: 'browser-results',
    chromium: '/usr/bin/chromium', tolerance: 24, minPercent: 98 };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new CheckError(`${a} needs a value`);
      return argv[++i];
    };
    if (a === '--render') args.render = value();
    else if (a === '--scale') args.scale = Number(value());
    else if (a === '--frames') args.frames = value();
    else if (a === '--results') args.results = value();
    else if (a === '--chromium') args.chromium = value();
    else if (a === '--tolerance') args.tolerance = Number(value());
    else if (a === '--min-percent') args.minPercent = Number(value());
    else if (!a.startsWith('-') && !args.movie) args.movie = a;
    else throw new CheckError(`unknown argument ${a}`);
  }
  if (!args.movie || !args.render) throw new CheckError('usage: node video_check.mjs MOVIE.swf --render PROGRAM [options]');
  return args;
}

// A tiny PNG writer (RGBA, no filtering) for the video's frames.
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
  return writeFileSync(file, Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', ihdr), chunk('IDAT', deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]));
}

// Share of pixels of `video` (RGBA buffer, videoWidth wide) within tolerance of
// the PNG `ours` over ours' size.
function agreement(video, videoWidth, ours, tolerance) {
  let close = 0;
  for (let y = 0; y < ours.height; y++)
    for (let x = 0; x < ours.width; x++) {
      const [r, g, b] = ours.pixel(x, y);
      const i = (y * videoWidth + x) * 4;
      if (Math.abs(video[i] - r) <= tolerance && Math.abs(video[i + 1] - g) <= tolerance &&
          Math.abs(video[i + 2] - b) <= tolerance)
        close++;
    }
  return (100 * close) / (ours.width * ours.height);
}

async function main() {
  const args = parseArgs(process.argv.slice(2));
  const info = parseSwf(readFileSync(args.movie));
  const fps = info.frameRate;
  const count = info.showFrames;
  const frames = args.frames.split(',').map((f) => (f === 'last' ? count : Number(f)));
  if (frames.some((k) => !(Number.isInteger(k) && k >= 1 && k <= count)))
    throw new CheckError(`--frames ${args.frames}: frames run from 1 to ${count}`);
  const name = path.basename(args.movie, '.swf') + (args.scale !== 1 ? `-x${args.scale}` : '');
  const dir = path.resolve(args.results, `video-${name}`);
  rmSync(dir, { recursive: true, force: true });
  mkdirSync(dir, { recursive: true });

  // Our side: the video and our pictures of the chosen frames and their neighbours.
  const render = (extra) => {
    try {
      execFileSync(args.render, [args.movie, ...extra, '--scale', String(args.scale)], { stdio: 'pipe' });
    } catch (e) {
      throw new CheckError(`${args.render} ${extra.join(' ')} failed: ${e.stderr?.toString() ?? e.message}`);
    }
  };
  render(['-o', path.join(dir, 'video.webm')]);
  const ours = new Map();
  const neighbour = (k) => (k + 3 <= count ? k + 3 : k - 3);
  for (const k of new Set(frames.flatMap((k) => [k, neighbour(k)]).filter((k) => k >= 1))) {
    const file = path.join(dir, `frame${k}-render.png`);
    render(['--frame', String(k), '-o', file]);
    ours.set(k, readPng(readFileSync(file)));
  }
  const first = ours.get(frames[0]);
  const expectWidth = first.width + (first.width % 2);
  const expectHeight = first.height + (first.height % 2);

  const page = `<!doctype html><meta charset="utf-8"><body style="margin:0">
<video id="v" src="video.webm" muted preload="auto"></video><canvas id="c"></canvas></body>`;
  const server = createServer((req, res) => {
    if (req.url === '/') {
      res.writeHead(200, { 'content-type': 'text/html; charset=utf-8' });
      return res.end(page);
    }
    if (req.url === '/video.webm') {
      const body = readFileSync(path.join(dir, 'video.webm'));
      const range = /bytes=(\d+)-(\d*)/.exec(req.headers.range ?? '');
      if (range) {
        const start = Number(range[1]);
        const end = range[2] ? Number(range[2]) : body.length - 1;
        res.writeHead(206, { 'content-type': 'video/webm', 'accept-ranges': 'bytes',
          'content-range': `bytes ${start}-${end}/${body.length}`, 'content-length': end - start + 1 });
        return res.end(body.subarray(start, end + 1));
      }
      res.writeHead(200, { 'content-type': 'video/webm', 'accept-ranges': 'bytes', 'content-length': body.length });
      return res.end(body);
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
  const profile = mkdtempSync(path.join(tmpdir(), 'movi-video-'));
  const failures = [];
  let context;
  try {
    context = await chromium.launchPersistentContext(profile, { executablePath: args.chromium, headless: true,
      args: CHROMIUM_FLAGS, timeout: 30000 });
    const tab = await context.newPage();
    await tab.route('**/*', (route) => (route.request().url().startsWith(base + '/') ? route.continue() : route.abort()));
    await tab.goto(base + '/', { waitUntil: 'load', timeout: 20000 });
    const meta = await tab.evaluate(() => new Promise((resolve) => {
      const v = document.getElementById('v');
      const done = () => resolve({ duration: v.duration, width: v.videoWidth, height: v.videoHeight,
        error: v.error ? `${v.error.code} ${v.error.message}` : null });
      if (v.readyState >= 1) done();
      v.addEventListener('loadedmetadata', done);
      v.addEventListener('error', done);
      setTimeout(done, 15000);
    }));
    if (meta.error || !(meta.width > 0)) throw new CheckError(`the browser did not load the video: ${meta.error ?? 'no picture'}`);
    const duration = count / fps;
    console.log(`video ${meta.width} x ${meta.height}, ${meta.duration.toFixed(3)} s (movie: ${count} frames at ${fps} fps)`);
    if (meta.width !== expectWidth || meta.height !== expectHeight)
      failures.push(`the video is ${meta.width} x ${meta.height}, expected ${expectWidth} x ${expectHeight}`);
    if (Math.abs(meta.duration - duration) > 0.002)
      failures.push(`the video lasts ${meta.duration} s, the movie ${duration} s`);

    for (const k of frames) {
      const pixels = await tab.evaluate(async (time) => {
        const v = document.getElementById('v');
        const shown = new Promise((resolve) => {
          let settled = false;
          const finish = () => { if (!settled) { settled = true; resolve(); } };
          v.addEventListener('seeked', () => {
            // The frame reaches the compositor a little after the seek.
            if (v.requestVideoFrameCallback) v.requestVideoFrameCallback(() => finish());
            setTimeout(finish, 500);
          }, { once: true });
        });
        v.currentTime = time;
        await shown;
        const c = document.getElementById('c');
        c.width = v.videoWidth;
        c.height = v.videoHeight;
        const g = c.getContext('2d', { willReadFrequently: true });
        g.drawImage(v, 0, 0);
        const data = g.getImageData(0, 0, c.width, c.height).data;
        let text = '';
        for (let i = 0; i < data.length; i += 0x8000) text += String.fromCharCode(...data.subarray(i, i + 0x8000));
        return btoa(text);
      }, (k - 0.5) / fps);
      const video = Buffer.from(pixels, 'base64');
      writePng(path.join(dir, `frame${k}-video.png`), meta.width, meta.height, video);
      const own = agreement(video, meta.width, ours.get(k), args.tolerance);
      const other = neighbour(k);
      const oursDiffer = agreement(Buffer.from(rgbaOf(ours.get(other))), ours.get(other).width, ours.get(k), 0) < 99.5;
      const near = agreement(video, meta.width, ours.get(other), args.tolerance);
      const ok = own >= args.minPercent && (!oursDiffer || own > near);
      console.log(`${ok ? 'ok  ' : 'FAIL'} frame ${k}: ${own.toFixed(2)}% of pixels within ${args.tolerance}` +
        (oursDiffer ? ` (frame ${other}: ${near.toFixed(2)}%)` : '') + ` -> ${path.join(dir, `frame${k}-video.png`)}`);
      if (own < args.minPercent) failures.push(`frame ${k}: ${own.toFixed(2)}% of pixels agree, at least ${args.minPercent}% needed`);
      else if (oursDiffer && own <= near) failures.push(`frame ${k} shows frame ${other} (${near.toFixed(2)}% against ${own.toFixed(2)}%)`);
      // The padding of an odd size shows the movie's background.
      const background = info.backgroundColor ?? [255, 255, 255];
      const padding = [];
      if (ours.get(k).width % 2) for (let y = 0; y < meta.height; y++) padding.push([meta.width - 1, y]);
      if (ours.get(k).height % 2) for (let x = 0; x < meta.width; x++) padding.push([x, meta.height - 1]);
      const wrong = padding.filter(([x, y]) => {
        const i = (y * meta.width + x) * 4;
        return [0, 1, 2].some((c) => Math.abs(video[i + c] - background[c]) > args.tolerance);
      }).length;
      if (wrong > padding.length / 10) failures.push(`frame ${k}: ${wrong} of ${padding.length} padding pixels are not the background`);
    }
  } finally {
    if (context) await context.close().catch(() => {});
    server.close();
    rmSync(profile, { recursive: true, force: true });
  }
  for (const f of failures) console.error(`FAIL ${name}: ${f}`);
  return failures.length ? 1 : 0;
}

// A PNG read by readPng as an RGBA buffer.
function rgbaOf(png) {
  const out = new Uint8Array(png.width * png.height * 4);
  for (let y = 0; y < png.height; y++)
    for (let x = 0; x < png.width; x++) {
      const [r, g, b] = png.pixel(x, y);
      out.set([r, g, b, 255], (y * png.width + x) * 4);
    }
  return out;
}

main().then(
  (code) => process.exit(code),
  (e) => {
    console.error(e instanceof CheckError ? `ERROR ${e.message}` : `ERROR ${e.stack ?? e}`);
    process.exit(2);
  });
