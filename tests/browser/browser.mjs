// Headless Chromium for the checks. Under ctest one browser serves them all:
// the fixture test browser_start keeps it running (browser_server.mjs) and
// the file that MOVI_BROWSER_ENDPOINT names says where to reach it; a check
// then only opens a context of its own in it. Run by hand, or when that
// browser cannot be reached, a check launches a browser for itself.

import { existsSync, readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const HERE = path.dirname(fileURLToPath(import.meta.url));

export const CHROMIUM_FLAGS = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  // The player holds its picture back while the audio context is suspended,
  // and a video is drawn without a user's gesture.
  '--autoplay-policy=no-user-gesture-required',
];

// playwright-core's Chromium driver; `ErrorClass` reports it missing.
export async function loadChromium(ErrorClass) {
  try {
    return (await import('playwright-core')).chromium;
  } catch (e) {
    throw new ErrorClass(
      `playwright-core is not installed in ${HERE}/node_modules (${e.code ?? e.message}): run scripts/install-npm.sh`);
  }
}

// The shared browser if it runs the same Chromium, else a new one. Returns
// the browser and a close() that leaves a shared browser running.
export async function openBrowser(executablePath, ErrorClass) {
  const chromium = await loadChromium(ErrorClass);
  const file = process.env.MOVI_BROWSER_ENDPOINT;
  if (file && existsSync(file)) {
    try {
      const shared = JSON.parse(readFileSync(file, 'utf8'));
      if (shared.executablePath === executablePath) {
        const browser = await chromium.connect(shared.wsEndpoint, { timeout: 30000 });
        return { browser, close: () => browser.close() };
      }
    } catch (e) {
      console.log(`the shared browser cannot be reached (${e.message}): launching one`);
    }
  }
  const browser = await chromium.launch({ executablePath, headless: true, args: CHROMIUM_FLAGS, timeout: 30000 });
  return { browser, close: () => browser.close() };
}
