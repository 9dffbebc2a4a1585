#!/usr/bin/env node
// Decodes an animated GIF, WebP or PNG export of a movie frame by frame with
// headless Chromium's own ImageDecoder and compares every frame with the
// built-in renderer's picture of the movie frame it starts on.
//
//   node image_check.mjs MOVIE.swf --render PROGRAM --formats gif,webp,apng [--scale S]
//                        [--results FOLDER] [--chromium PATH] [--tolerance 24] [--min-percent 99]
//
// The render command writes RESULTS/image-<movie>/anim.<ext> for each format
// and our pictures of every frame. The page fetches the animation, decodes
// each frame with ImageDecoder (the browser composes it over the frames before
// it, as it shows it) and compares it there with our picture of the movie
// frame it starts on, fetched too; it hands back the frame's duration and the
// share of agreeing pixels. A frame passes when at least MIN_PERCENT of its
// pixels lie within TOLERANCE levels in every channel of ours. Also checked:
// every frame starts on a frame of the movie, the frames add up to the
// movie's length (to the format's unit: GIF counts hundredths, WebP
// milliseconds), the browser plays it forever (the shipped movies repeat),
// and GIF frames last at least 2 hundredths. A decoded frame that fails is
// kept as <format>-frameN.png beside ours.
//
// Exit status: 0 all agree, 1 some check failed, 2 the check could not be
// carried out (no browser, the render command failed, the browser could not
// decode the file).

import { mkdirSync, readFileSync, rmSync } from 'node:fs';
import path from 'node:path';

import { CheckError, parseArgs, pixelsOf, render, runCheck, startServer, withBrowser } from './export_check.mjs';
import { parseSwf } from './swf.mjs';
import { writePng } from './png.mjs';

const FORMATS = {
  // unit: the ticks per second of the format's frame times.
  gif: { extension: 'gif', type: 'image/gif', unit: 100 },
  webp: { extension: 'webp', type: 'image/webp', unit: 1000 },
  apng: { extension: 'apng', type: 'image/png', unit: 1000 },
};

async function main() {
  const usage = 'usage: node image_check.mjs MOVIE.swf --render PROGRAM --formats gif,webp,apng [options]';
  const args = parseArgs(process.argv.slice(2), usage, { formats: [], minPercent: 99 },
    { '--formats': ['formats', (v) => v.split(',')] });
  if (!args.formats.length || !args.formats.every((f) => FORMATS[f])) throw new CheckError(usage);
  const info = parseSwf(readFileSync(args.movie));
  const fps = info.frameRate;
  const count = info.showFrames;
  const stem = path.basename(args.movie, '.swf');
  const name = stem + (args.scale !== 1 ? `-x${args.scale}` : '');
  const dir = path.resolve(args.results, `image-${name}`);
  rmSync(dir, { recursive: true, force: true });
  mkdirSync(dir, { recursive: true });
  const served = new Map(args.formats.map((f) => [`/anim.${FORMATS[f].extension}`, FORMATS[f]]));
  for (const f of args.formats) render(args, ['-o', path.join(dir, `anim.${FORMATS[f].extension}`)]);
  render(args, ['--all', '-o', dir]);
  // Our picture of movie frame k, as the page fetches it.
  const oursName = (k) => `${stem}-${String(k).padStart(Math.max(4, String(count).length), '0')}.png`;
  for (let k = 1; k <= count; k++) served.set(`/${oursName(k)}`, { type: 'image/png' });

  const page = '<!doctype html><meta charset="utf-8"><body></body>';
  const server = await startServer(page, (req, res) => {
    if (!served.has(req.url)) return false;
    res.writeHead(200, { 'content-type': served.get(req.url).type });
    res.end(readFileSync(path.join(dir, req.url.slice(1))));
    return true;
  });
  const base = server.base;

  const failures = [];
  try {
    await withBrowser(args, server, async (tab) => {
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
          // Where the frame starts, from the frames before it: durations are in
          // microseconds. GIF and WebP frames start within half the format's
          // unit of a movie frame (the times are rounded from the movie's
          // start); the browser keeps APNG delays in whole milliseconds, cut
          // off, so there each frame lasts whole movie frames within 1 ms.
          const at = (total / 1e6) * fps;
          const k = formatName === 'apng' ? start + 1 : Math.round(at) + 1;
          // The frame is compared with ours in the page; its pixels come back
          // only when it fails, to be kept for a look.
          const frame = await tab.evaluate(async ({ index, url, tolerance, minPercent }) => {
            const { image } = await window.decoder.decode({ frameIndex: index });
            const out = { duration: image.duration, width: image.displayWidth, height: image.displayHeight };
            if (url) out.ours = await window.pictureAgreement(image, out.width, out.height, url, tolerance);
            if (!(out.ours?.percent >= minPercent)) out.pixels = window.canvasPixels(image, out.width, out.height);
            image.close();
            return out;
          }, { index: i, url: k <= count ? `${base}/${oursName(k)}` : null, tolerance: args.tolerance,
            minPercent: args.minPercent });
          const shot = path.join(dir, `${formatName}-frame${i + 1}.png`);
          if (frame.pixels) writePng(shot, frame.width, frame.height, pixelsOf(frame.pixels));
          const seconds = frame.duration / 1e6;
          if (formatName === 'apng') {
            const frames = Math.round(seconds * fps);
            if (frames < 1 || Math.abs(seconds - frames / fps) > 0.001 + 1e-6)
              fail(`frame ${i + 1} lasts ${frame.duration} us, not a whole number of movie frames`);
            start += Math.max(frames, 1);
          } else {
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
          if (frame.ours.error) throw new CheckError(frame.ours.error);
          if (frame.width !== frame.ours.width || frame.height !== frame.ours.height) {
            fail(`frame ${i + 1} is ${frame.width} x ${frame.height}, ours ${frame.ours.width} x ${frame.ours.height}`);
            continue;
          }
          const share = frame.ours.percent;
          const ok = share >= args.minPercent;
          console.log(`${ok ? 'ok  ' : 'FAIL'} frame ${i + 1} (movie frame ${k}): ${share.toFixed(2)}% of pixels within ${args.tolerance}` +
            (ok ? '' : ` -> ${shot}`));
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
    });
  } finally {
    server.close();
  }
  for (const f of failures) console.error(`FAIL ${name}: ${f}`);
  return failures.length ? 1 : 0;
}

runCheck(main);
