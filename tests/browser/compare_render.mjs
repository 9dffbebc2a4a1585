#!/usr/bin/env node
// Compares the built-in player's pictures with the real player's: for every
// check of a scene, the frame the browser check photographed
// (RESULTS/<scene>/NN-frameK.png, written by check.mjs) is drawn with
// moviloomster-render and the two are compared pixel by pixel over the stage.
// A frame passes when at least MIN_PERCENT of the stage's pixels lie within
// TOLERANCE levels in every channel (anti-aliased edges may differ). Our
// picture is kept beside the screenshot as NN-frameK-render.png, so the two
// can be looked at side by side. A scene may set its own share with the
// reason it needs one: "fidelity": { "minPercent": 95, "reason": "..." };
// --min-percent overrides both.
//
//   node compare_render.mjs SCENE.json --render PROGRAM [--dir FOLDER] [--results FOLDER]
//                           [--min-percent 99] [--tolerance 24]
//
// Exit status: 0 every frame is close enough, 1 some frame differs too much,
// 2 the comparison could not be made (no screenshot, no movie, the render
// command failed).

import { execFileSync } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import path from 'node:path';

import { parseSwf } from './swf.mjs';
import { readPng } from './png.mjs';

class CompareError extends Error {}

function parseArgs(argv) {
  const args = { scene: null, dir: null, results: 'browser-results', render: null, minPercent: null, tolerance: 24 };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new CompareError(`${a} needs a value`);
      return argv[++i];
    };
    if (a === '--dir') args.dir = value();
    else if (a === '--results') args.results = value();
    else if (a === '--render') args.render = value();
    else if (a === '--min-percent') args.minPercent = Number(value());
    else if (a === '--tolerance') args.tolerance = Number(value());
    else if (!a.startsWith('-') && !args.scene) args.scene = a;
    else throw new CompareError(`unknown argument ${a}`);
  }
  if (!args.scene || !args.render)
    throw new CompareError('usage: node compare_render.mjs SCENE.json --render PROGRAM [--dir FOLDER] [--results FOLDER]');
  return args;
}

const attribute = (tag, name) =>
  new RegExp(`\\b${name}\\s*=\\s*["']?([^"'\\s>]+)`, 'i').exec(tag)?.[1] ?? null;

// The movie a page plays and the size of its player element.
function readPage(text, pageName) {
  const object = /<object\b[^>]*>/i.exec(text)?.[0];
  const embed = /<embed\b[^>]*>/i.exec(text)?.[0];
  const param = /<param\b[^>]*\bname\s*=\s*["']?movie["']?[^>]*>/i.exec(text)?.[0];
  const movie = (param && attribute(param, 'value')) ?? (embed && attribute(embed, 'src'));
  const sizeTag = object ?? embed;
  if (!movie || !sizeTag) throw new CompareError(`${pageName}: names no movie`);
  return { movie, width: Number(attribute(sizeTag, 'width')), height: Number(attribute(sizeTag, 'height')) };
}

function main() {
  const args = parseArgs(process.argv.slice(2));
  const scenePath = path.resolve(args.scene);
  const scene = JSON.parse(readFileSync(scenePath, 'utf8'));
  const name = scene.name ?? path.basename(scenePath, '.json');
  if (scene.fidelity !== undefined) {
    const f = scene.fidelity;
    if (typeof f !== 'object' || !(f.minPercent >= 0 && f.minPercent <= 100) ||
        typeof f.reason !== 'string' || f.reason.trim() === '')
      throw new CompareError(`scene ${name}: "fidelity" needs a minPercent (0-100) and the reason for it`);
  }
  if (args.minPercent === null) args.minPercent = scene.fidelity?.minPercent ?? 99;
  const dir = path.resolve(args.dir ?? (scene.dir ? path.resolve(path.dirname(scenePath), scene.dir) : path.dirname(scenePath)));
  const pagePath = path.resolve(dir, scene.page);
  if (!existsSync(pagePath)) throw new CompareError(`scene ${name}: page ${pagePath} does not exist`);
  const page = readPage(readFileSync(pagePath, 'utf8'), scene.page);
  const moviePath = path.resolve(path.dirname(pagePath), page.movie);
  if (!existsSync(moviePath)) throw new CompareError(`scene ${name}: movie ${moviePath} does not exist`);
  const info = parseSwf(readFileSync(moviePath));
  // The real player scales the stage into the element keeping its
  // proportions and centres it; our picture is drawn at the same scale.
  const scale = Math.min(page.width / info.widthPx, page.height / info.heightPx);
  const offsetX = Math.round((page.width - info.widthPx * scale) / 2);
  const offsetY = Math.round((page.height - info.heightPx * scale) / 2);
  const resultsDir = path.resolve(args.results, name);

  let failed = 0;
  scene.checks.forEach((check, i) => {
    const frame = check.frame === 'last' ? info.showFrames : check.frame;
    const stem = `${String(i + 1).padStart(2, '0')}-frame${frame}`;
    const shotPath = path.join(resultsDir, `${stem}.png`);
    if (!existsSync(shotPath))
      throw new CompareError(`scene ${name}: no screenshot ${shotPath} (run the browser check browser_${name} first)`);
    const oursPath = path.join(resultsDir, `${stem}-render.png`);
    try {
      execFileSync(args.render, [moviePath, '--frame', String(frame), '--scale', String(scale), '-o', oursPath],
        { stdio: ['ignore', 'ignore', 'pipe'] });
    } catch (e) {
      throw new CompareError(`scene ${name}: ${args.render} failed on frame ${frame}: ${e.stderr?.toString().trim() ?? e.message}`);
    }
    const shot = readPng(readFileSync(shotPath));
    const ours = readPng(readFileSync(oursPath));
    let close = 0;
    let total = 0;
    let box = null;
    for (let y = 0; y < ours.height; y++) {
      for (let x = 0; x < ours.width; x++) {
        const sx = x + offsetX;
        const sy = y + offsetY;
        if (sx >= shot.width || sy >= shot.height) continue;
        total++;
        const a = shot.pixel(sx, sy);
        const b = ours.pixel(x, y);
        const d = Math.max(Math.abs(a[0] - b[0]), Math.abs(a[1] - b[1]), Math.abs(a[2] - b[2]));
        if (d <= args.tolerance) {
          close++;
        } else if (!box) {
          box = [x, y, x, y];
        } else {
          box = [Math.min(box[0], x), Math.min(box[1], y), Math.max(box[2], x), Math.max(box[3], y)];
        }
      }
    }
    const percent = total ? (100 * close) / total : 0;
    const ok = total > 0 && percent >= args.minPercent;
    if (!ok) failed++;
    const where = box ? `, differing pixels within [${box.join(', ')}]` : '';
    console.log(`${ok ? 'ok  ' : 'FAIL'} ${name}: frame ${frame}: ${percent.toFixed(2)}% of ${total} stage pixels ` +
      `within ${args.tolerance} levels (need ${args.minPercent}%)${where} -> ${oursPath}`);
  });
  return failed ? 1 : 0;
}

try {
  process.exitCode = main();
} catch (e) {
  if (e instanceof CompareError) {
    console.error(`compare_render: ${e.message}`);
    process.exitCode = 2;
  } else {
    throw e;
  }
}
