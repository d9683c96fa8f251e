// Usage: node --experimental-websocket capture_chromium.mjs <browser build's web folder> <riza3v-capture> <repository top>
//
// The whole show in headless Chromium in capture mode, against the desktop's
// riza3v-capture at the same settings (320 x 240, 10 fps):
// - the page ends with "riza3v: done", status 0 and no console errors;
// - the SHA-256 of its PCM equals that of riza3v.wav's data: the player,
//   the mixer and the show's random numbers are the same code, so the bytes
//   must be the same;
// - its frames at 5, 16, 28, 41, 55 and 65 s (one in each scene) match the
//   desktop's frames at the same grid numbers within the tolerance of two
//   rasterisers (gfxcompare.js: mean difference per channel at most 3, no
//   16 x 16 block off by more than 40 on average);
// - no two of those frames are alike (mean difference above 10), so a page
//   that kept showing one picture cannot pass.
import { Browser, exitWithResult, fail, serve } from './chromium.mjs';
import { decodePng } from './png.mjs';
import { execFileSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';

const { compare } = createRequire(import.meta.url)('../gfxcompare.js');
const [folder, captureTool, top] = process.argv.slice(2);
const width = 320;
const height = 240;
const fps = 10;
const times = ['5', '16', '28', '41', '55', '65'];
const kDistinctMean = 10;


// The data chunk of a RIFF WAVE file.
function wavData(bytes) {
  for (let at = 12; at + 8 <= bytes.length;) {
    const size = bytes.readUInt32LE(at + 4);
    if (bytes.toString('ascii', at, at + 4) === 'data') {
      return bytes.subarray(at + 8, at + 8 + size);
    }
    at += 8 + size + (size & 1);
  }
  throw new Error('no data chunk in the WAV file');
}

function meanDifference(a, b) {
  let sum = 0;
  for (let i = 0; i < a.argb.length; ++i) {
    for (const shift of [16, 8, 0]) {
      sum += Math.abs(((a.argb[i] >>> shift) & 0xFF) - ((b.argb[i] >>> shift) & 0xFF));
    }
  }
  return sum / (a.argb.length * 3);
}

const out = fs.mkdtempSync(path.join(os.tmpdir(), 'riza3v-capture-'));
const started = Date.now();
execFileSync(captureTool, ['--out', out, '--width', String(width), '--height', String(height), '--fps', String(fps),
  '--no-video', '--png'], { cwd: top, stdio: ['ignore', 'ignore', 'inherit'] });
console.log(`desktop capture: ${((Date.now() - started) / 1000).toFixed(1)} s`);
const desktopPcm = crypto.createHash('sha256').update(wavData(fs.readFileSync(path.join(out, 'riza3v.wav'))))
  .digest('hex');

const server = await serve(folder);
const browser = await Browser.launch();
try {
  const pageStart = Date.now();
  await browser.open(`http://127.0.0.1:${server.address().port}/index.html?capture&width=${width}` +
    `&height=${height}&fps=${fps}&at=${times.join(',')}`);
  let title = '';
  while (Date.now() - pageStart < 900 * 1000) {
    await new Promise((resolve) => setTimeout(resolve, 1000));
    title = await browser.evaluate('document.title');
    if (title !== 'riza3v') {
      break;
    }
  }
  console.log(`browser capture: ${((Date.now() - pageStart) / 1000).toFixed(1)} s, title "${title}"`);
  const result = await browser.evaluate('window.riza3vResult || null');
  if (title !== 'riza3v: done' || result === null || result.status !== 0) {
    fail(`the page did not finish the show: title "${title}", status ${result && result.status}\n` +
      browser.console.slice(-20).join('\n'));
  } else {
    if (result.pcmSha256 !== desktopPcm) {
      fail(`PCM SHA-256 ${result.pcmSha256} in the browser, ${desktopPcm} on the desktop`);
    } else {
      console.log(`PCM SHA-256 equal: ${desktopPcm}`);
    }
    const frames = [];
    for (const t of times) {
      const grid = String(Math.round(Number(t) * fps)).padStart(5, '0');
      const desktop = decodePng(fs.readFileSync(path.join(out, 'frames', `${grid}.png`)));
      const page = result.frames[t];
      if (!page) {
        fail(`no frame at ${t} s from the page`);
        continue;
      }
      const web = decodePng(Buffer.from(page.slice(page.indexOf(',') + 1), 'base64'));
      const failure = compare(`frame at ${t} s`, desktop, web);
      if (failure) {
        fail(failure);
      }
      frames.push({ t, web });
    }
    for (let i = 0; i < frames.length; ++i) {
      for (let j = i + 1; j < frames.length; ++j) {
        const mean = meanDifference(frames[i].web, frames[j].web);
        if (mean <= kDistinctMean) {
          fail(`the frames at ${frames[i].t} s and ${frames[j].t} s are alike (mean difference ${mean.toFixed(2)})`);
        }
      }
    }
  }
  if (browser.errors.length > 0) {
    fail('console errors:\n' + browser.errors.join('\n'));
  }
} finally {
  await browser.close();
  server.close();
  fs.rmSync(out, { recursive: true, force: true });
}
exitWithResult();
