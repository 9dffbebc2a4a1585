// What the checks of exported files (video_check.mjs, image_check.mjs) share:
// their arguments, the render command, a server on 127.0.0.1, headless
// Chromium with one tab on it, pixels handed back from a canvas, the
// comparison with our pictures, and the exit status.

import { execFileSync } from 'node:child_process';
import { createServer } from 'node:http';

import { openBrowser } from './browser.mjs';

// A check that could not be carried out (exit status 2).
export class CheckError extends Error {}

// MOVIE.swf --render PROGRAM [--results FOLDER] [--chromium PATH] [--scale S]
// [--tolerance T] [--min-percent P], and the check's own `options`
// ({ '--frames': ['frames', String] }: flag -> [key, conversion]) with their
// `defaults`. Throws `usage` when the movie or the render command is missing.
export function parseArgs(argv, usage, defaults, options = {}) {
  const args = { movie: null, render: null, scale: 1, results: 'browser-results', chromium: '/usr/bin/chromium',
    tolerance: 24, ...defaults };
  const known = { '--render': ['render', String], '--scale': ['scale', Number], '--results': ['results', String],
    '--chromium': ['chromium', String], '--tolerance': ['tolerance', Number], '--min-percent': ['minPercent', Number],
    ...options };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    if (known[a]) {
      if (i + 1 >= argv.length) throw new CheckError(`${a} needs a value`);
      const [key, convert] = known[a];
      args[key] = convert(argv[++i]);
    } else if (!a.startsWith('-') && !args.movie) {
      args.movie = a;
    } else {
      throw new CheckError(`unknown argument ${a}`);
    }
  }
  if (!args.movie || !args.render) throw new CheckError(usage);
  return args;
}

// Runs the render command on the movie at the check's scale with `extra`
// arguments; its complaint becomes the CheckError.
export function render(args, extra) {
  try {
    execFileSync(args.render, [args.movie, ...extra, '--scale', String(args.scale)], { stdio: 'pipe' });
  } catch (e) {
    throw new CheckError(`${args.render} ${extra.join(' ')} failed: ${e.stderr?.toString() ?? e.message}`);
  }
}

// Serves `page` at / and whatever `handle(req, res)` answers (it returns
// false for anything else: 404) on a free port of 127.0.0.1.
export async function startServer(page, handle) {
  const server = createServer((req, res) => {
    if (req.url === '/') {
      res.writeHead(200, { 'content-type': 'text/html; charset=utf-8' });
      return res.end(page);
    }
    if (handle(req, res)) return undefined;
    res.writeHead(404);
    return res.end();
  });
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  return { base: `http://127.0.0.1:${server.address().port}`, close: () => server.close() };
}

// Opens the server's page in a context of its own in headless Chromium (see
// browser.mjs; the page reaches nothing but the server) and calls use(tab).
// The page has canvasPixels(source, width, height): the source drawn into a
// canvas of that size, its RGBA pixels as base64 (see pixelsOf); and
// pictureAgreement(source, width, height, url, tolerance): our picture at
// `url` (a PNG the server hands out) against the source, as agreement()
// counts, in the page, so that no pixels need to leave it: { width, height }
// of ours and, where the sizes match, `percent`.
export async function withBrowser(args, server, use) {
  const browser = await openBrowser(args.chromium, CheckError);
  let context;
  try {
    context = await browser.browser.newContext();
    const tab = await context.newPage();
    await tab.route('**/*', (route) =>
      (route.request().url().startsWith(server.base + '/') ? route.continue() : route.abort()));
    await tab.addInitScript(() => {
      const rgbaOf = (source, width, height) => {
        const c = document.createElement('canvas');
        c.width = width;
        c.height = height;
        const g = c.getContext('2d', { willReadFrequently: true });
        g.drawImage(source, 0, 0);
        return g.getImageData(0, 0, width, height).data;
      };
      window.canvasPixels = (source, width, height) => {
        const data = rgbaOf(source, width, height);
        let text = '';
        for (let i = 0; i < data.length; i += 0x8000) text += String.fromCharCode(...data.subarray(i, i + 0x8000));
        return btoa(text);
      };
      window.pictureAgreement = async (source, width, height, url, tolerance) => {
        const response = await fetch(url);
        if (!response.ok) return { error: `${url}: ${response.status}` };
        const ours = await createImageBitmap(await response.blob(),
          { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
        const result = { width: ours.width, height: ours.height };
        if (ours.width !== width || ours.height !== height) return result;
        const a = rgbaOf(source, width, height);
        const b = rgbaOf(ours, width, height);
        let close = 0;
        for (let i = 0; i < a.length; i += 4)
          if (Math.abs(a[i] - b[i]) <= tolerance && Math.abs(a[i + 1] - b[i + 1]) <= tolerance &&
              Math.abs(a[i + 2] - b[i + 2]) <= tolerance)
            close++;
        result.percent = (100 * close) / (width * height);
        return result;
      };
    });
    await tab.goto(server.base + '/', { waitUntil: 'load', timeout: 20000 });
    return await use(tab);
  } finally {
    if (context) await context.close().catch(() => {});
    await browser.close().catch(() => {});
  }
}

// The pixels canvasPixels handed back, as an RGBA buffer.
export function pixelsOf(base64) {
  return Buffer.from(base64, 'base64');
}

// Share (percent) of the pixels of our picture `ours` (readPng) that the RGBA
// buffer `pixels`, `width` pixels a row, matches within `tolerance` levels in
// every channel; only ours' width and height are compared.
export function agreement(pixels, width, ours, tolerance) {
  const { data, channels } = ours;
  let close = 0;
  for (let y = 0; y < ours.height; y++) {
    let i = y * width * 4;
    let o = y * ours.width * channels;
    for (let x = 0; x < ours.width; x++, i += 4, o += channels) {
      if (Math.abs(pixels[i] - data[o]) <= tolerance && Math.abs(pixels[i + 1] - data[o + 1]) <= tolerance &&
          Math.abs(pixels[i + 2] - data[o + 2]) <= tolerance)
        close++;
    }
  }
  return (100 * close) / (ours.width * ours.height);
}

// Runs the check and exits: its status (0 or 1), or 2 with the reason when
// it could not be carried out.
export function runCheck(main) {
  main().then(
    (code) => process.exit(code),
    (e) => {
      console.error(e instanceof CheckError ? `ERROR ${e.message}` : `ERROR ${e.stack ?? e}`);
      process.exit(2);
    });
}
