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

import { mkdirSync, readFileSync, rmSync } from 'node:fs';
import path from 'node:path';

import { CheckError, agreement, parseArgs, pixelsOf, render, runCheck, startServer, withBrowser } from './export_check.mjs';
import { parseSwf } from './swf.mjs';
import { readPng, writePng } from './png.mjs';

async function main() {
  const args = parseArgs(process.argv.slice(2),
    'usage: node video_check.mjs MOVIE.swf --render PROGRAM [options]',
    { frames: '1,last', minPercent: 98 }, { '--frames': ['frames', String] });
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
  render(args, ['-o', path.join(dir, 'video.webm')]);
  const ours = new Map();
  const neighbour = (k) => (k + 3 <= count ? k + 3 : k - 3);
  for (const k of new Set(frames.flatMap((k) => [k, neighbour(k)]).filter((k) => k >= 1))) {
    const file = path.join(dir, `frame${k}-render.png`);
    render(args, ['--frame', String(k), '-o', file]);
    ours.set(k, readPng(readFileSync(file)));
  }
  const first = ours.get(frames[0]);
  const expectWidth = first.width + (first.width % 2);
  const expectHeight = first.height + (first.height % 2);

  const page = `<!doctype html><meta charset="utf-8"><body style="margin:0">
<video id="v" src="video.webm" muted preload="auto"></video></body>`;
  const server = await startServer(page, (req, res) => {
    if (req.url !== '/video.webm') return false;
    const body = readFileSync(path.join(dir, 'video.webm'));
    const range = /bytes=(\d+)-(\d*)/.exec(req.headers.range ?? '');
    if (range) {
      const start = Number(range[1]);
      const end = range[2] ? Number(range[2]) : body.length - 1;
      res.writeHead(206, { 'content-type': 'video/webm', 'accept-ranges': 'bytes',
        'content-range': `bytes ${start}-${end}/${body.length}`, 'content-length': end - start + 1 });
      res.end(body.subarray(start, end + 1));
    } else {
      res.writeHead(200, { 'content-type': 'video/webm', 'accept-ranges': 'bytes', 'content-length': body.length });
      res.end(body);
    }
    return true;
  });

  const failures = [];
  try {
    await withBrowser(args, server, async (tab) => {
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
        const video = pixelsOf(await tab.evaluate(async (time) => {
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
          return window.canvasPixels(v, v.videoWidth, v.videoHeight);
        }, (k - 0.5) / fps));
        failures.push(...compareFrame(k, video, meta));
      }
    });
  } finally {
    server.close();
  }
  for (const f of failures) console.error(`FAIL ${name}: ${f}`);
  return failures.length ? 1 : 0;

  // The browser's picture of frame k against ours, our neighbour frame's and
  // the padding's background; returns the failures.
  function compareFrame(k, video, meta) {
    const found = [];
    writePng(path.join(dir, `frame${k}-video.png`), meta.width, meta.height, video);
    const own = agreement(video, meta.width, ours.get(k), args.tolerance);
    const other = neighbour(k);
    const oursDiffer = agreement(rgbaOf(ours.get(other)), ours.get(other).width, ours.get(k), 0) < 99.5;
    const near = agreement(video, meta.width, ours.get(other), args.tolerance);
    const ok = own >= args.minPercent && (!oursDiffer || own > near);
    console.log(`${ok ? 'ok  ' : 'FAIL'} frame ${k}: ${own.toFixed(2)}% of pixels within ${args.tolerance}` +
      (oursDiffer ? ` (frame ${other}: ${near.toFixed(2)}%)` : '') + ` -> ${path.join(dir, `frame${k}-video.png`)}`);
    if (own < args.minPercent) found.push(`frame ${k}: ${own.toFixed(2)}% of pixels agree, at least ${args.minPercent}% needed`);
    else if (oursDiffer && own <= near) found.push(`frame ${k} shows frame ${other} (${near.toFixed(2)}% against ${own.toFixed(2)}%)`);
    // The padding of an odd size shows the movie's background.
    const background = info.backgroundColor ?? [255, 255, 255];
    const padding = [];
    if (ours.get(k).width % 2) for (let y = 0; y < meta.height; y++) padding.push([meta.width - 1, y]);
    if (ours.get(k).height % 2) for (let x = 0; x < meta.width; x++) padding.push([x, meta.height - 1]);
    const wrong = padding.filter(([x, y]) => {
      const i = (y * meta.width + x) * 4;
      return [0, 1, 2].some((c) => Math.abs(video[i + c] - background[c]) > args.tolerance);
    }).length;
    if (wrong > padding.length / 10) found.push(`frame ${k}: ${wrong} of ${padding.length} padding pixels are not the background`);
    return found;
  }
}

// A PNG read by readPng as an RGBA buffer.
function rgbaOf(png) {
  const out = Buffer.alloc(png.width * png.height * 4, 255);
  for (let p = 0, o = 0; p < out.length; p += 4, o += png.channels) png.data.copy(out, p, o, o + 3);
  return out;
}

runCheck(main);
