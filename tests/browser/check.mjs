#!/usr/bin/env node
// Plays a movie's page in headless Chromium with the Ruffle player and checks
// pixels of chosen frames against a scene file. See README.md beside this
// file for the scene format.
//
// Exit status: 0 every probe passed, 1 some probe failed, 2 the check could
// not be carried out (bad scene, missing page or movie, no browser, the
// player did not start, wrong renderer).

import { createServer } from 'node:http';
import { existsSync, mkdirSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { openBrowser } from './browser.mjs';
import { parseSwf, cutAfterFrame, SwfError } from './swf.mjs';
import { readPng } from './png.mjs';

const HERE = path.dirname(fileURLToPath(import.meta.url));
const RUFFLE_DIR = path.join(HERE, 'node_modules', '@ruffle-rs', 'ruffle');
const DEFAULT_CHROMIUM = '/usr/bin/chromium';
const DEFAULT_TOLERANCE = 8;

// Renderers that fill shapes and glyphs the way the format means (non-zero
// winding). The canvas renderer fills glyphs even-odd and leaves clipped
// bitmaps transparent outside the image, so its pictures cannot be trusted.
const GOOD_RENDERERS = new Set(['wgpu-webgl', 'webgl', 'webgpu']);

const MIME = {
  '.swf': 'application/x-shockwave-flash',
  '.htm': 'text/html; charset=utf-8',
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript',
  '.mjs': 'text/javascript',
  '.wasm': 'application/wasm',
  '.map': 'application/json',
  '.json': 'application/json',
  '.jpg': 'image/jpeg',
  '.jpeg': 'image/jpeg',
  '.png': 'image/png',
  '.gif': 'image/gif',
};

class HarnessError extends Error {}

function usage() {
  return [
    'usage: node check.mjs SCENE.json [--dir FOLDER] [--results FOLDER] [--chromium PATH]',
    '  --dir      folder holding the page and the movie (default: the scene\'s "dir", else the scene\'s folder)',
    '  --results  folder for the screenshots (default: ./browser-results)',
    '  --chromium the browser program (default: /usr/bin/chromium)',
  ].join('\n');
}

function parseArgs(argv) {
  const args = { scene: null, dir: null, results: 'browser-results', chromium: DEFAULT_CHROMIUM };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new HarnessError(`${a} needs a value\n${usage()}`);
      return argv[++i];
    };
    if (a === '--dir') args.dir = value();
    else if (a === '--results') args.results = value();
    else if (a === '--chromium') args.chromium = value();
    else if (a === '-h' || a === '--help') {
      console.log(usage());
      process.exit(0);
    } else if (a.startsWith('-')) throw new HarnessError(`unknown option ${a}\n${usage()}`);
    else if (args.scene) throw new HarnessError(`one scene file only\n${usage()}`);
    else args.scene = a;
  }
  if (!args.scene) throw new HarnessError(usage());
  return args;
}

// "#RRGGBB" or "background" -> [r, g, b].
function parseColor(text, background, where) {
  if (text === 'background') return background;
  const m = /^#([0-9a-fA-F]{6})$/.exec(text ?? '');
  if (!m) throw new HarnessError(`${where}: colour "${text}" is neither "#RRGGBB" nor "background"`);
  const v = parseInt(m[1], 16);
  return [(v >> 16) & 255, (v >> 8) & 255, v & 255];
}

function hex([r, g, b]) {
  return '#' + [r, g, b].map((c) => c.toString(16).padStart(2, '0').toUpperCase()).join('');
}

function colorDistance(a, b) {
  return Math.max(Math.abs(a[0] - b[0]), Math.abs(a[1] - b[1]), Math.abs(a[2] - b[2]));
}

function decodeEntities(text) {
  return text.replace(/&(#x[0-9a-fA-F]+|#[0-9]+|quot|amp|lt|gt|apos);/g, (_, e) => {
    if (e[0] === '#') return String.fromCodePoint(e[1] === 'x' ? parseInt(e.slice(2), 16) : parseInt(e.slice(1), 10));
    return { quot: '"', amp: '&', lt: '<', gt: '>', apos: "'" }[e];
  });
}

function attribute(tag, name) {
  const m = new RegExp(`\\b${name}\\s*=\\s*(?:"([^"]*)"|'([^']*)'|([^\\s>]+))`, 'i').exec(tag);
  return m ? decodeEntities(m[1] ?? m[2] ?? m[3]) : null;
}

// The movie name and the player size the page asks for, from its object
// element (and its embed, which must agree).
function readPage(text, pageName) {
  const object = /<object\b[^>]*>/i.exec(text)?.[0];
  const embed = /<embed\b[^>]*>/i.exec(text)?.[0];
  if (!object && !embed) throw new HarnessError(`${pageName}: no <object> or <embed> element`);
  const param = /<param\b[^>]*\bname\s*=\s*["']?movie["']?[^>]*>/i.exec(text)?.[0];
  const fromParam = param ? attribute(param, 'value') : null;
  const fromEmbed = embed ? attribute(embed, 'src') : null;
  if (fromParam && fromEmbed && fromParam !== fromEmbed)
    throw new HarnessError(`${pageName}: the object plays "${fromParam}" but the embed plays "${fromEmbed}"`);
  const movie = fromParam ?? fromEmbed;
  if (!movie) throw new HarnessError(`${pageName}: names no movie`);
  const sizeTag = object ?? embed;
  const width = Number(attribute(sizeTag, 'width'));
  const height = Number(attribute(sizeTag, 'height'));
  if (!(width > 0) || !(height > 0)) throw new HarnessError(`${pageName}: no positive width and height`);
  if (embed && object) {
    const ew = Number(attribute(embed, 'width'));
    const eh = Number(attribute(embed, 'height'));
    if (ew !== width || eh !== height)
      throw new HarnessError(`${pageName}: object is ${width} x ${height} but embed is ${ew} x ${eh}`);
  }
  return { movie, width, height };
}

function loadScene(args) {
  const scenePath = path.resolve(args.scene);
  let scene;
  try {
    scene = JSON.parse(readFileSync(scenePath, 'utf8'));
  } catch (e) {
    throw new HarnessError(`cannot read scene ${args.scene}: ${e.message}`);
  }
  const name = scene.name ?? path.basename(scenePath, '.json');
  const where = `scene ${name}`;
  if (typeof scene.page !== 'string') throw new HarnessError(`${where}: "page" (the .htm file) is missing`);
  if (!Array.isArray(scene.checks) || scene.checks.length === 0)
    throw new HarnessError(`${where}: "checks" must be a non-empty list`);
  const dir = path.resolve(args.dir ?? (scene.dir ? path.resolve(path.dirname(scenePath), scene.dir) : path.dirname(scenePath)));
  scene.checks.forEach((check, i) => {
    const cw = `${where}, check ${i + 1}`;
    if (check.frame !== 'last' && !(Number.isInteger(check.frame) && check.frame >= 1))
      throw new HarnessError(`${cw}: "frame" must be a frame number from 1 or "last"`);
    if (!Array.isArray(check.probes) || check.probes.length === 0)
      throw new HarnessError(`${cw}: "probes" must be a non-empty list`);
  });
  return { ...scene, name, dir };
}

// One probe: a point or a region, against "expect" (must match) or "not"
// (must differ) within a tolerance (largest channel difference).
function compileProbe(probe, where, background, defaultTolerance, stage) {
  const tolerance = probe.tolerance ?? defaultTolerance;
  if (!(tolerance >= 0)) throw new HarnessError(`${where}: bad tolerance ${probe.tolerance}`);
  const hasExpect = probe.expect !== undefined;
  const hasNot = probe.not !== undefined;
  if (hasExpect === hasNot) throw new HarnessError(`${where}: give exactly one of "expect" and "not"`);
  const color = parseColor(hasExpect ? probe.expect : probe.not, background, where);
  const matches = (px) => (colorDistance(px, color) <= tolerance) === hasExpect;
  const wanted = `${hasExpect ? '' : 'not '}${hasExpect ? probe.expect : probe.not}${
    (hasExpect ? probe.expect : probe.not) === 'background' ? ` (${hex(background)})` : ''} ±${tolerance}`;
  const inStage = (x, y) => x >= 0 && y >= 0 && x < stage.width && y < stage.height;
  if (probe.region !== undefined) {
    const r = probe.region;
    if (!Array.isArray(r) || r.length !== 4 || !r.every(Number.isInteger) || r[0] >= r[2] || r[1] >= r[3])
      throw new HarnessError(`${where}: "region" must be [x0, y0, x1, y1] with x0 < x1 and y0 < y1`);
    if (!inStage(r[0], r[1]) || !inStage(r[2] - 1, r[3] - 1))
      throw new HarnessError(`${where}: region ${JSON.stringify(r)} leaves the ${stage.width} x ${stage.height} stage`);
    const min = probe.minPercent;
    const max = probe.maxPercent;
    if (min === undefined && max === undefined) throw new HarnessError(`${where}: a region needs "minPercent" or "maxPercent"`);
    return {
      describe: () => `region (${r[0]},${r[1]})-(${r[2]},${r[3]}) ${wanted}`,
      run(sample) {
        let hits = 0;
        for (let y = r[1]; y < r[3]; y++) for (let x = r[0]; x < r[2]; x++) if (matches(sample(x, y))) hits++;
        const percent = (100 * hits) / ((r[2] - r[0]) * (r[3] - r[1]));
        const ok = (min === undefined || percent >= min) && (max === undefined || percent <= max);
        const bounds = [min !== undefined ? `>= ${min}%` : null, max !== undefined ? `<= ${max}%` : null].filter(Boolean).join(' and ');
        return { ok, actual: `${percent.toFixed(1)}% of the pixels (wanted ${bounds})` };
      },
    };
  }
  if (!Number.isInteger(probe.x) || !Number.isInteger(probe.y))
    throw new HarnessError(`${where}: a point probe needs whole "x" and "y" (stage pixels)`);
  if (!inStage(probe.x, probe.y))
    throw new HarnessError(`${where}: (${probe.x},${probe.y}) is outside the ${stage.width} x ${stage.height} stage`);
  return {
    describe: () => `(${probe.x},${probe.y}) ${wanted}`,
    run(sample) {
      const px = sample(probe.x, probe.y);
      return { ok: matches(px), actual: `got ${hex(px)}` };
    },
  };
}

// Serves the movie's folder, the player's files under /ruffle/, and for check
// i the cut movie under /c<i>/<the movie's path>, in place of the real one.
function startServer(dir, overlays) {
  const server = createServer((req, res) => {
    let pathname;
    try {
      pathname = decodeURIComponent(new URL(req.url, 'http://127.0.0.1').pathname);
    } catch {
      res.writeHead(400).end();
      return;
    }
    let body = null;
    let file = null;
    const check = /^\/c(\d+)\/(.*)$/.exec(pathname);
    if (pathname.startsWith('/ruffle/')) file = safeJoin(RUFFLE_DIR, pathname.slice('/ruffle/'.length));
    else if (check) {
      body = overlays.get(`${check[1]}/${check[2]}`) ?? null;
      if (!body) file = safeJoin(dir, check[2]);
    }
    if (!body && file && existsSync(file)) {
      try {
        body = readFileSync(file);
      } catch {
        body = null;
      }
    }
    if (!body) {
      res.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found');
      return;
    }
    const type = MIME[path.extname(pathname).toLowerCase()] ?? 'application/octet-stream';
    // The player's files may be cached between the checks of a scene (the
    // browser profile is new for every run); movies and pages never are.
    const cache = pathname.startsWith('/ruffle/') ? 'max-age=3600' : 'no-store';
    res.writeHead(200, { 'Content-Type': type, 'Content-Length': body.length, 'Cache-Control': cache });
    res.end(req.method === 'HEAD' ? undefined : body);
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => resolve(server));
  });
}

function safeJoin(root, relative) {
  const full = path.resolve(root, relative);
  return full === root || full.startsWith(root + path.sep) ? full : null;
}

function rufflePrelude(frameRate) {
  const config = {
    publicPath: '/ruffle/',
    autoplay: 'on',
    unmuteOverlay: 'hidden',
    splashScreen: false,
    letterbox: 'off',
    contextMenu: 'off',
    warnOnUnsupportedContent: false,
    showSwfDownload: false,
    openUrlMode: 'deny',
    preferredRenderer: 'wgpu-webgl',
    frameRate,
  };
  return (
    `<script>window.RufflePlayer = window.RufflePlayer || {}; window.RufflePlayer.config = ${JSON.stringify(config)};</script>` +
    `<script src="/ruffle/ruffle.js"></script>\n`
  );
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function runCheck(context, baseUrl, pageRel, stage, check, playRate) {
  const page = await context.newPage();
  const consoleLines = [];
  let renderer = null;
  page.on('console', (msg) => {
    const text = msg.text();
    consoleLines.push(`${msg.type()}: ${text}`);
    const m = /Used renderer: ([\w-]*)/.exec(text);
    if (m) renderer = m[1];
  });
  page.on('pageerror', (err) => consoleLines.push(`page error: ${err.message}`));
  const pageUrl = `${baseUrl}/${pageRel.split('/').map(encodeURIComponent).join('/')}`;
  // Nothing leaves the machine; the page itself gets the player's script in
  // front of it on the way, the file stays as it is.
  await page.route('**/*', async (route) => {
    const url = route.request().url();
    if (!url.startsWith(baseUrl.replace(/\/c\d+$/, '') + '/')) return route.abort();
    if (url !== pageUrl) return route.continue();
    const response = await route.fetch();
    const original = await response.body();
    return route.fulfill({ response, body: Buffer.concat([Buffer.from(rufflePrelude(playRate)), original]) });
  });
  const fail = (what) => {
    const tail = consoleLines.slice(-15).join('\n    ');
    return new HarnessError(`${what}${tail ? `\n  browser console:\n    ${tail}` : ''}`);
  };
  try {
    const t0 = Date.now();
    const response = await page.goto(pageUrl, { waitUntil: 'load', timeout: 20000 });
    const loaded = Date.now();
    if (!response || !response.ok()) throw fail(`the page ${pageRel} could not be loaded (${response?.status()})`);
    const started = Date.now();
    // Its renderer is set up in software (SwiftShader): on a busy machine
    // that alone can take half a minute.
    while (!renderer && Date.now() - started < 60000) await sleep(50);
    if (!renderer) throw fail('the player did not start within 60 s (no "Used renderer" message)');
    const playing = Date.now();
    if (!GOOD_RENDERERS.has(renderer))
      throw fail(`the player chose the "${renderer}" renderer; only ${[...GOOD_RENDERERS].join(', ')} draw glyphs and clipped bitmaps right`);

    const player = page.locator('ruffle-object, ruffle-embed, ruffle-player').first();
    await player.waitFor({ state: 'attached', timeout: 30000 });
    // Wait for the canvas to exist with the player's size.
    await page.waitForFunction(() => {
      const p = document.querySelector('ruffle-object, ruffle-embed, ruffle-player');
      const canvas = p?.shadowRoot?.querySelector('canvas');
      return canvas && canvas.width > 0 && canvas.height > 0;
    }, null, { timeout: 30000 }).catch(() => { throw fail('the player made no canvas'); });
    const box = await player.boundingBox();
    if (!box || Math.abs(box.width - stage.pageWidth) > 0.5 || Math.abs(box.height - stage.pageHeight) > 0.5)
      throw fail(`the player is ${box?.width} x ${box?.height} pixels, the page asks for ${stage.pageWidth} x ${stage.pageHeight}`);
    const clip = { x: Math.round(box.x), y: Math.round(box.y), width: stage.pageWidth, height: stage.pageHeight };

    // The cut movie stops on its last frame: wait for the time its frames
    // take, then until the picture stays the same over a few shots.
    await sleep(Math.ceil((check.frameNumber * 1000) / playRate) + 250);
    let shot = await page.screenshot({ clip, animations: 'allow' });
    let same = 0;
    for (let tries = 0; same < 2; tries++) {
      if (tries > 60) throw fail('the picture did not settle within 10 s');
      await sleep(150);
      const next = await page.screenshot({ clip, animations: 'allow' });
      same = next.equals(shot) ? same + 1 : 0;
      shot = next;
    }
    // The player reloads itself with the canvas renderer after a failure of
    // its first choice; the shots would then not be what they claim.
    if (!GOOD_RENDERERS.has(renderer)) throw fail(`the player switched to the "${renderer}" renderer`);
    const timing = `page ${loaded - t0} ms, player start ${playing - loaded} ms, frames and settling ${Date.now() - playing} ms`;
    return { shot, renderer, timing };
  } finally {
    await page.close();
  }
}

async function main() {
  const args = parseArgs(process.argv.slice(2));
  const scene = loadScene(args);
  const pagePath = path.resolve(scene.dir, scene.page);
  if (!existsSync(pagePath)) throw new HarnessError(`scene ${scene.name}: page ${pagePath} does not exist`);
  const pageInfo = readPage(readFileSync(pagePath, 'utf8'), scene.page);
  const pageRel = path.relative(scene.dir, pagePath).split(path.sep).join('/');
  const movieRel = path.posix.normalize(path.posix.join(path.posix.dirname(pageRel), pageInfo.movie));
  const moviePath = path.resolve(scene.dir, movieRel);
  if (!existsSync(moviePath)) throw new HarnessError(`scene ${scene.name}: the page's movie ${moviePath} does not exist`);
  const movieBytes = readFileSync(moviePath);
  let info;
  try {
    info = parseSwf(movieBytes);
  } catch (e) {
    throw new HarnessError(`scene ${scene.name}: ${movieRel}: ${e.message}`);
  }
  const background = scene.background
    ? parseColor(scene.background, null, `scene ${scene.name}`)
    : info.backgroundColor ?? [255, 255, 255];
  // The player scales the stage into the element keeping its proportions
  // ("showAll") and centres it; stage pixel (x, y) is sampled at its centre.
  const stage = { width: Math.round(info.widthPx), height: Math.round(info.heightPx), pageWidth: pageInfo.width, pageHeight: pageInfo.height };
  if (!(stage.width > 0 && stage.height > 0)) throw new HarnessError(`scene ${scene.name}: the movie's stage is empty`);
  const scale = Math.min(stage.pageWidth / info.widthPx, stage.pageHeight / info.heightPx);
  const offsetX = (stage.pageWidth - info.widthPx * scale) / 2;
  const offsetY = (stage.pageHeight - info.heightPx * scale) / 2;
  const defaultTolerance = scene.tolerance ?? DEFAULT_TOLERANCE;
  // Frames run faster than the movie's own rate: the display list is the same
  // on the frame where the cut copy stops.
  const playRate = Math.max(info.frameRate || 12, scene.frameRate ?? 60);

  const checks = scene.checks.map((check, i) => {
    const frameNumber = check.frame === 'last' ? info.showFrames : check.frame;
    const label = check.name ?? `frame ${frameNumber}`;
    const probes = check.probes.map((p, j) =>
      compileProbe(p, `scene ${scene.name}, ${label}, probe ${j + 1}`, background, defaultTolerance, stage));
    let cut;
    try {
      cut = cutAfterFrame(movieBytes, frameNumber);
    } catch (e) {
      if (e instanceof SwfError) throw new HarnessError(`scene ${scene.name}, ${label}: ${e.message}`);
      throw e;
    }
    return { index: i, frameNumber, label, probes, rawProbes: check.probes, cut };
  });

  // A scene with "shotsOf" judges the screenshots that scene took of the same
  // page (its frames need not be played twice); the other plays them.
  const shotsDir = scene.shotsOf ? path.resolve(args.results, scene.shotsOf) : null;
  if (!shotsDir) {
    if (!existsSync(args.chromium))
      throw new HarnessError(`no browser at ${args.chromium}: install Debian's chromium (scripts/install-deps.sh with MOVI_WITH_BROWSER=1)`);
    if (!existsSync(path.join(RUFFLE_DIR, 'ruffle.js')))
      throw new HarnessError(`the Ruffle player is not installed in ${RUFFLE_DIR}: run scripts/install-npm.sh`);
  }
  const takenShot = (check) => {
    const pattern = new RegExp(`^\\d+-frame${check.frameNumber}\\.png$`);
    const found = existsSync(shotsDir) && readdirSync(shotsDir).find((f) => pattern.test(f));
    if (!found)
      throw new HarnessError(`scene ${scene.name}: no screenshot of frame ${check.frameNumber} in ${shotsDir}: run scene ${scene.shotsOf} first`);
    return { shot: readFileSync(path.join(shotsDir, found)), renderer: `as in scene ${scene.shotsOf}`, timing: `its ${found}` };
  };

  const resultsDir = path.resolve(args.results, scene.name);
  mkdirSync(resultsDir, { recursive: true });
  const overlays = new Map();
  checks.forEach((c) => overlays.set(`${c.index}/${movieRel}`, c.cut));
  const server = await startServer(scene.dir, overlays);
  const port = server.address().port;
  let browser;
  let context;
  const failures = [];
  let probeCount = 0;
  try {
    if (!shotsDir) {
      browser = await openBrowser(args.chromium, HarnessError);
      context = await browser.browser.newContext({
        viewport: { width: Math.max(stage.pageWidth + 64, 400), height: Math.max(stage.pageHeight + 64, 300) },
        deviceScaleFactor: 1,
      });
    }
    for (const check of checks) {
      const t0 = Date.now();
      const { shot, renderer, timing } = shotsDir ? takenShot(check) : await runCheck(
        context, `http://127.0.0.1:${port}/c${check.index}`, pageRel, stage, check, playRate);
      const file = path.join(resultsDir, `${String(check.index + 1).padStart(2, '0')}-frame${check.frameNumber}.png`);
      writeFileSync(file, shot);
      const png = readPng(shot);
      const sample = (x, y) => {
        const sx = Math.min(png.width - 1, Math.floor(offsetX + (x + 0.5) * scale));
        const sy = Math.min(png.height - 1, Math.floor(offsetY + (y + 0.5) * scale));
        return png.pixel(sx, sy);
      };
      let failed = 0;
      check.probes.forEach((probe, j) => {
        probeCount++;
        const result = probe.run(sample);
        if (!result.ok) {
          failed++;
          const label = check.rawProbes[j].label ? ` "${check.rawProbes[j].label}"` : '';
          failures.push(`FAIL scene ${scene.name}, ${check.label} (frame ${check.frameNumber}), probe ${j + 1}${label}: ` +
            `${probe.describe()}: ${result.actual}  [${path.relative(process.cwd(), file)}]`);
        }
      });
      console.log(`${failed ? 'FAIL' : 'ok  '} ${scene.name}: ${check.label} (frame ${check.frameNumber}/${info.showFrames}), ` +
        `${check.probes.length} probes, ${failed} failed, renderer ${renderer}, ${Date.now() - t0} ms (${timing}) -> ${file}`);
    }
  } finally {
    if (context) await context.close().catch(() => {});
    if (browser) await browser.close().catch(() => {});
    server.close();
  }
  for (const f of failures) console.error(f);
  console.log(`scene ${scene.name}: ${checks.length} checks, ${probeCount} probes, ${failures.length} failed`);
  return failures.length ? 1 : 0;
}

main().then(
  (code) => process.exit(code),
  (e) => {
    console.error(e instanceof HarnessError ? `ERROR ${e.message}` : `ERROR ${e.stack ?? e}`);
    process.exit(2);
  });
