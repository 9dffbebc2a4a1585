#!/usr/bin/env node
// Checks the animated SVG picture of a compiled project frame by frame against
// the built-in renderer's frames of its movie. For every check of a scene, the
// SVG is opened from disk in headless Chromium, its animations are paused and
// set to the middle of frame k ((k - 0.5) / fps), and the screenshot is
// compared with `moviloomster-render MOVIE --frame k`: at least MIN_PERCENT of
// the stage's pixels must lie within TOLERANCE levels in every channel. The
// scene states both in its "svg" block with the reason (the browser and the
// renderer anti-alias edges differently):
//
//   "svg": { "tolerance": 24, "minPercent": 99, "reason": "..." }
//
// The page may fetch nothing but the file itself: a request for anything else
// (an external reference) fails the check.
//
//   node check_svg.mjs SCENE.json --svg PICTURE.svg --movie MOVIE.swf --render PROGRAM
//                      [--results FOLDER] [--chromium PATH]
//
// Screenshots go to RESULTS/<scene>-svg/NN-frameK.png, the renderer's frames
// beside them as NN-frameK-render.png. Exit status: 0 every frame agrees,
// 1 some frame differs too much or the picture fetched something, 2 the check
// could not be made.

import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

import { openBrowser } from './browser.mjs';
import { parseSwf } from './swf.mjs';
import { readPng } from './png.mjs';

class CheckError extends Error {}

function parseArgs(argv) {
  const args = { scene: null, svg: null, movie: null, render: null, results: 'browser-results', chromium: '/usr/bin/chromium' };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new CheckError(`${a} needs a value`);
      return argv[++i];
    };
    if (a === '--svg') args.svg = value();
    else if (a === '--movie') args.movie = value();
    else if (a === '--render') args.render = value();
    else if (a === '--results') args.results = value();
    else if (a === '--chromium') args.chromium = value();
    else if (!a.startsWith('-') && !args.scene) args.scene = a;
    else throw new CheckError(`unknown argument ${a}`);
  }
  if (!args.scene || !args.svg || !args.movie || !args.render)
    throw new CheckError('usage: node check_svg.mjs SCENE.json --svg PICTURE.svg --movie MOVIE.swf --render PROGRAM');
  return args;
}

async function main() {
  const args = parseArgs(process.argv.slice(2));
  const scenePath = path.resolve(args.scene);
  const scene = JSON.parse(readFileSync(scenePath, 'utf8'));
  const name = `${scene.name ?? path.basename(scenePath, '.json')}-svg`;
  const limits = scene.svg;
  if (!limits || !(limits.tolerance >= 0) || !(limits.minPercent > 0) || !limits.reason)
    throw new CheckError(`${scenePath}: the scene needs an "svg" block with "tolerance", "minPercent" and "reason"`);
  for (const file of [args.svg, args.movie, args.render])
    if (!existsSync(file)) throw new CheckError(`${file} does not exist`);
  const info = parseSwf(readFileSync(args.movie));
  const fps = info.frameRate;
  const width = Math.round(info.widthPx);
  const height = Math.round(info.heightPx);
  const resultsDir = path.resolve(args.results, name);
  mkdirSync(resultsDir, { recursive: true });

  const fileUrl = pathToFileURL(path.resolve(args.svg)).href;
  const fetched = [];
  let failed = 0;
  let browser;
  let context;
  try {
    browser = await openBrowser(args.chromium, CheckError);
    context = await browser.browser.newContext({ viewport: { width: width + 16, height: height + 16 }, deviceScaleFactor: 1 });
    const page = await context.newPage();
    page.on('request', (request) => {
      const url = request.url();
      if (url !== fileUrl && !url.startsWith('data:')) fetched.push(url);
    });
    await page.route('**/*', (route) => (route.request().url() === fileUrl ? route.continue() : route.abort()));
    const response = await page.goto(fileUrl, { waitUntil: 'load', timeout: 20000 });
    if (!response) throw new CheckError(`${fileUrl} could not be opened`);
    const kind = await page.evaluate(() => document.documentElement.localName);
    if (kind !== 'svg') throw new CheckError(`${args.svg} opened as "${kind}", not as an SVG document`);

    for (const [i, check] of scene.checks.entries()) {
      const frame = check.frame === 'last' ? info.showFrames : check.frame;
      const stem = `${String(i + 1).padStart(2, '0')}-frame${frame}`;
      await page.evaluate(async (t) => {
        const svg = document.documentElement;
        svg.pauseAnimations();
        svg.setCurrentTime(t);
        await new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)));
      }, (frame - 0.5) / fps);
      const shotPath = path.join(resultsDir, `${stem}.png`);
      const shot = await page.screenshot({ clip: { x: 0, y: 0, width, height } });
      writeFileSync(shotPath, shot);
      const oursPath = path.join(resultsDir, `${stem}-render.png`);
      try {
        execFileSync(args.render, [args.movie, '--frame', String(frame), '-o', oursPath], { stdio: ['ignore', 'ignore', 'pipe'] });
      } catch (e) {
        throw new CheckError(`${args.render} failed on frame ${frame}: ${e.stderr?.toString().trim() ?? e.message}`);
      }
      const a = readPng(shot);
      const b = readPng(readFileSync(oursPath));
      let close = 0;
      let box = null;
      for (let y = 0; y < height; y++) {
        for (let x = 0; x < width; x++) {
          const p = a.pixel(x, y);
          const q = b.pixel(x, y);
          const d = Math.max(Math.abs(p[0] - q[0]), Math.abs(p[1] - q[1]), Math.abs(p[2] - q[2]));
          if (d <= limits.tolerance) close++;
          else box = box ? [Math.min(box[0], x), Math.min(box[1], y), Math.max(box[2], x), Math.max(box[3], y)] : [x, y, x, y];
        }
      }
      const percent = (100 * close) / (width * height);
      const ok = percent >= limits.minPercent;
      if (!ok) failed++;
      const where = box ? `, differing pixels within [${box.join(', ')}]` : '';
      console.log(`${ok ? 'ok  ' : 'FAIL'} ${name}: frame ${frame} at ${((frame - 0.5) / fps).toFixed(4)} s: ` +
        `${percent.toFixed(2)}% of ${width * height} pixels within ${limits.tolerance} levels ` +
        `(need ${limits.minPercent}%)${where} -> ${shotPath}`);
    }
  } finally {
    if (context) await context.close().catch(() => {});
    if (browser) await browser.close().catch(() => {});
  }
  if (fetched.length) {
    console.error(`FAIL ${name}: the picture fetched ${fetched.join(', ')}`);
    failed++;
  }
  return failed ? 1 : 0;
}

main().then(
  (code) => process.exit(code),
  (e) => {
    console.error(e instanceof CheckError ? `ERROR ${e.message}` : `ERROR ${e.stack ?? e}`);
    process.exit(2);
  });
