// Usage: node --experimental-websocket live_chromium.mjs <browser build's web folder> <desktop dialog_picture>
//
// The show live on its page in headless Chromium, handled as a person would:
// the setup dialog appears on its canvas; clicks on the first row of the
// adapter, resolution and refresh-rate lists pick a mode (which enables OK)
// and a click on OK starts the show,
// the gesture that lets the page start sound. Where the controls are comes
// from dialog_picture, whose picture of the dialog equals the page's
// (web_dialog_picture_matches_desktop). 3 s after the song starts the show's
// canvas holds a picture (not one colour) and the Web Audio context runs.
// For the next kWatchSeconds the picture keeps up with the song: reading the
// canvas waits for every frame the GPU still has queued, so each read must
// come back within kMostLagSeconds, the pictures must change, and the audio
// clock must keep wall time, and the blocks the page hands to Web Audio must
// hold the song (not silence) at the context's rate. Escape then stops the show and the page says so
// (status 1) with a button to play again. Played again, closing the show's
// window with the page's close button, or closing the setup dialog, ends it
// the same way. No console errors on the way.
import { Browser, exitWithResult, fail, serve } from './chromium.mjs';
import { execFileSync } from 'node:child_process';

const [folder, dialogPicture] = process.argv.slice(2);
// Control id -> [left, top, right, bottom] on the dialog's picture.
const controls = new Map();
for (const line of execFileSync(dialogPicture, { encoding: 'utf8', maxBuffer: 1 << 26 }).split('\n')) {
  const m = /^control (\d+) at (-?\d+) (-?\d+) (-?\d+) (-?\d+)$/.exec(line);
  if (m) {
    controls.set(Number(m[1]), m.slice(2).map(Number));
  }
}
const kLists = [1009, 1010, 1011]; // adapter, resolution, refresh rate
const kOk = 1;
const kWatchSeconds = 20;
const kMostLagSeconds = 5;
const server = await serve(folder);
const browser = await Browser.launch();
const sleep = (seconds) => new Promise((resolve) => setTimeout(resolve, seconds * 1000));
// The colours on a canvas of the page (a WebGL one is copied to a 2D one
// first), and a checksum of its pixels.
const picture = (selector) => browser.evaluate(`(() => {
  const c = document.querySelector('${selector}');
  if (!c || c.style.display === 'none' || c.width === 0) return { colours: 0, sum: 0 };
  const copy = document.createElement('canvas');
  copy.width = c.width;
  copy.height = c.height;
  const g = copy.getContext('2d');
  g.drawImage(c, 0, 0);
  const d = g.getImageData(0, 0, c.width, c.height).data;
  const seen = new Set();
  let sum = 0;
  for (let i = 0; i < d.length; i += 4) {
    const rgb = (d[i] << 16) | (d[i + 1] << 8) | d[i + 2];
    seen.add(rgb);
    sum = (sum * 31 + rgb) % 1000000007;
  }
  return { colours: seen.size, sum };
})()`);
const colours = async (selector) => (await picture(selector)).colours;
const audioState = () => browser.evaluate(`Object.values(Module.riza3vAudio || {}).map((a) => a.context.state).join()`);
const audioClock = () => browser.evaluate(`Object.values(Module.riza3vAudio || {})[0].context.currentTime`);
// Waits for the setup dialog; returns its colours.
async function waitForDialog() {
  let dialog = 0;
  for (let i = 0; i < 600 && dialog < 3; ++i) {
    await sleep(0.2);
    dialog = await colours('canvas[id^="riza3v-dialog"]');
  }
  if (dialog < 3) {
    throw new Error(`no setup dialog on the page after 120 s (${dialog} colours)`);
  }
  return dialog;
}
// Picks the first mode in the setup dialog, clicks OK and waits for the song.
async function startShow() {
  const box = await browser.evaluate(`(() => {
    const r = document.querySelector('canvas[id^="riza3v-dialog"]').getBoundingClientRect();
    return [r.left, r.top];
  })()`);
  for (const list of kLists) {
    const [left, top] = controls.get(list);
    await browser.click(box[0] + left + 8, box[1] + top + 8);
    await sleep(0.5);
  }
  const [okLeft, okTop, okRight, okBottom] = controls.get(kOk);
  await browser.click(box[0] + (okLeft + okRight) / 2, box[1] + (okTop + okBottom) / 2);
  // The show builds its content before the song starts.
  let state = '';
  for (let i = 0; i < 1200 && state !== 'running'; ++i) {
    await sleep(0.2);
    state = await audioState();
  }
}
// Clicks the middle of an element of the page, as a person would.
async function clickOn(selector) {
  const [x, y] = await browser.evaluate(`(() => {
    const r = document.querySelector('${selector}').getBoundingClientRect();
    return [(r.left + r.right) / 2, (r.top + r.bottom) / 2];
  })()`);
  await browser.click(x, y);
}
// What the page says once the show has ended ('' if it has not within 30 s).
async function endMessage() {
  let message = '';
  for (let i = 0; i < 150 && message === ''; ++i) {
    await sleep(0.2);
    message = await browser.evaluate(`document.getElementById('ended').style.display === 'block' ? ` +
      `document.getElementById('message').textContent : ''`);
  }
  return message;
}
try {
  const loadStart = Date.now();
  await browser.open(`http://127.0.0.1:${server.address().port}/index.html`);
  const dialog = await waitForDialog();
  const dialogSeconds = (Date.now() - loadStart) / 1000;
  await startShow();
  const songSeconds = (Date.now() - loadStart) / 1000;
  await sleep(3);
  const shown = await colours('#canvas');
  if (shown < 16) {
    fail(`3 s into the show its canvas has ${shown} colours`);
  }
  const state = await audioState();
  if (state !== 'running') {
    fail(`the show's Web Audio context is "${state}", not running`);
  }
  // Listens to what the show hands to Web Audio: the sum of squares and the
  // number of samples of the first channel.
  await browser.evaluate(`(() => {
    const audio = Object.values(Module.riza3vAudio)[0];
    const fill = audio.node.onaudioprocess;
    window.heard = { squares: 0, samples: 0 };
    audio.node.onaudioprocess = (event) => {
      fill(event);
      for (const v of event.outputBuffer.getChannelData(0)) window.heard.squares += v * v;
      window.heard.samples += event.outputBuffer.length;
    };
  })()`);
  const watchStart = Date.now();
  const clockStart = await audioClock();
  const framesStart = await browser.evaluate('Module.riza3vFramesPresented');
  let worstLag = 0;
  let changes = 0;
  let reads = 0;
  let last = null;
  while (Date.now() - watchStart < kWatchSeconds * 1000) {
    await sleep(1);
    const asked = Date.now();
    const now = await picture('#canvas');
    const lag = (Date.now() - asked) / 1000;
    worstLag = Math.max(worstLag, lag);
    ++reads;
    if (last !== null && now.sum !== last.sum) {
      ++changes;
    }
    last = now;
  }
  const watched = (Date.now() - watchStart) / 1000;
  const clockRan = (await audioClock()) - clockStart;
  const frames = (await browser.evaluate('Module.riza3vFramesPresented')) - framesStart;
  const heard = await browser.evaluate(`({ ...window.heard, rate: Object.values(Module.riza3vAudio)[0].context.sampleRate })`);
  const loudness = Math.sqrt(heard.squares / Math.max(1, heard.samples));
  const heardSeconds = heard.samples / heard.rate;
  if (worstLag > kMostLagSeconds) {
    fail(`a read of the show's canvas waited ${worstLag.toFixed(1)} s for the GPU to catch up`);
  }
  if (changes < (reads - 1) / 2) {
    fail(`the picture changed between only ${changes} of ${reads} reads ${watched.toFixed(1)} s apart`);
  }
  if (loudness < 0.01 || Math.abs(heardSeconds - watched) > 0.1 * watched) {
    fail(`Web Audio got ${heardSeconds.toFixed(1)} s of sound at ${loudness.toFixed(4)} RMS in ${watched.toFixed(1)} s`);
  }
  if (Math.abs(clockRan - watched) > 0.1 * watched) {
    fail(`the audio clock ran ${clockRan.toFixed(1)} s in ${watched.toFixed(1)} s`);
  }
  await browser.press('Escape', 27);
  const message = await endMessage();
  if (message !== 'The show stopped (status 1).') {
    fail(`after Escape the page says "${message}"`);
  }
  // Played again, the show's window closed by the page's close button (its
  // frame's close box) ends the show as Escape does; so does closing the
  // setup dialog.
  for (const stage of ['the show', 'the setup dialog']) {
    await clickOn('#again');
    await waitForDialog();
    if (stage === 'the show') {
      await startShow();
      await sleep(1);
    }
    await clickOn('#close');
    const closed = await endMessage();
    if (closed !== 'The show stopped (status 1).') {
      fail(`after closing ${stage} the page says "${closed}"`);
    }
  }
  if (browser.errors.length > 0) {
    fail('console errors:\n' + browser.errors.join('\n'));
  }
  console.log(`dialog after ${dialogSeconds.toFixed(1)} s (${dialog} colours), song playing after ` +
    `${songSeconds.toFixed(1)} s, ${shown} colours 3 s later, Web Audio ${state}; over ${watched.toFixed(1)} s ` +
    `${frames} frames (${(frames / watched).toFixed(1)} per second), ${changes} changes in ${reads} reads, ` +
    `slowest read ${worstLag.toFixed(2)} s, audio clock ${clockRan.toFixed(1)} s, ${heardSeconds.toFixed(1)} s of sound ` +
    `at ${loudness.toFixed(3)} RMS; "${message}"`);
} catch (error) {
  fail(String(error.stack || error) + '\nconsole:\n' + browser.console.slice(-20).join('\n'));
} finally {
  await browser.close();
  server.close();
}
exitWithResult();
