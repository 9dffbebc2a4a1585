#!/usr/bin/env node
// Keeps one headless Chromium running for the browser checks of a ctest run,
// so that each check opens a context in it instead of starting a browser.
//
//   node browser_server.mjs start FILE [--chromium PATH]   (fixture browser_start)
//   node browser_server.mjs stop FILE                      (fixture browser_stop)
//
// start launches the browser in a process of its own and returns once FILE
// holds { wsEndpoint, executablePath, pid }. That process closes the browser
// and ends when FILE goes (stop removes it), when it is sent SIGTERM, or when
// the program that ran start (ctest) has ended, whichever comes first.

import { spawn } from 'node:child_process';
import { existsSync, readFileSync, renameSync, rmSync, writeFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';

import { CHROMIUM_FLAGS, loadChromium } from './browser.mjs';

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function alive(pid) {
  try {
    process.kill(pid, 0);
    return true;
  } catch (e) {
    return e.code === 'EPERM';
  }
}

async function start(file, chromiumPath) {
  rmSync(file, { force: true });
  const child = spawn(process.execPath, [fileURLToPath(import.meta.url), 'serve', file, chromiumPath, String(process.ppid)],
    { detached: true, stdio: 'ignore' });
  child.unref();
  for (let waited = 0; waited < 60000; waited += 100) {
    if (existsSync(file)) {
      console.log(`browser ${JSON.parse(readFileSync(file, 'utf8')).wsEndpoint} (process ${child.pid})`);
      return 0;
    }
    if (child.exitCode !== null) break;
    await sleep(100);
  }
  console.error(`ERROR the browser did not start (${chromiumPath})`);
  return 2;
}

async function serve(file, chromiumPath, ownerPid) {
  const chromium = await loadChromium(Error);
  const server = await chromium.launchServer({ executablePath: chromiumPath, headless: true, args: CHROMIUM_FLAGS,
    timeout: 30000 });
  let closing = false;
  const close = async () => {
    if (closing) return;
    closing = true;
    await server.close().catch(() => {});
    rmSync(file, { force: true });
    process.exit(0);
  };
  process.on('SIGTERM', close);
  process.on('SIGINT', close);
  writeFileSync(file + '.tmp', JSON.stringify({ wsEndpoint: server.wsEndpoint(), executablePath: chromiumPath, pid: process.pid }));
  renameSync(file + '.tmp', file);
  for (;;) {
    await sleep(1000);
    if (!existsSync(file) || !alive(ownerPid)) await close();
  }
}

function stop(file) {
  if (!existsSync(file)) return 0;
  let pid = 0;
  try {
    pid = JSON.parse(readFileSync(file, 'utf8')).pid;
  } catch {
    // A file cut short: removing it is enough, the process sees it gone.
  }
  rmSync(file, { force: true });
  if (pid && alive(pid)) process.kill(pid, 'SIGTERM');
  return 0;
}

const [command, file, ...rest] = process.argv.slice(2);
const chromiumAt = rest.indexOf('--chromium');
const chromiumPath = chromiumAt >= 0 ? rest[chromiumAt + 1] : '/usr/bin/chromium';
let run;
if (command === 'start' && file) run = start(file, chromiumPath);
else if (command === 'serve' && file) run = serve(file, rest[0], Number(rest[1]));
else if (command === 'stop' && file) run = Promise.resolve(stop(file));
else run = Promise.resolve((console.error('usage: node browser_server.mjs start|stop FILE [--chromium PATH]'), 2));
run.then((code) => {
  if (command !== 'serve') process.exit(code);
}, (e) => {
  console.error(`ERROR ${e.stack ?? e}`);
  process.exit(2);
});
