// Usage: node --experimental-websocket live_chromium.mjs <browser build's web folder> <desktop dialog_picture>
//
// The show live on its page in headless Chromium, handled as a person would:
// the setup dialog appears on its canvas; clicks on the first row of the
// adapter, resolution and refresh-rate lists pick a mode (which enables OK)
// and a click on OK starts the show,
// the gesture that lets the page start sound. Where the controls are comes
// from dialog_picture, whose picture of the dialog equals the page's
// (web_dialog_picture_matches_desktop). 3 s after the song starts the show's canvas holds a picture (not one colour) and the
// Web Audio context runs; Escape then stops the show and the page says so
// (status 1) with a button to play again. No console errors on the way.
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
const server = await serve(folder);
const browser = await Browser.launch();
const sleep = (seconds) => new Promise((resolve) => setTimeout(resolve, seconds * 1000));
// The colours on a canvas of the page (a WebGL one is copied to a 2D one first).
const colours = (selector) => browser.evaluate(`(() => {
  const c = document.querySelector('${selector}');
  if (!c || c.style.display === 'none' || c.width === 0) return 0;
  const copy = document.createElement('canvas');
  copy.width = c.width;
  copy.height = c.height;
  const g = copy.getContext('2d');
  g.drawImage(c, 0, 0);
  const d = g.getImageData(0, 0, c.width, c.height).data;
  const seen = new Set();
  for (let i = 0; i < d.length; i += 4) seen.add((d[i] << 16) | (d[i + 1] << 8) | d[i + 2]);
  return seen.size;
})()`);
try {
  const loadStart = Date.now();
  await browser.open(`http://127.0.0.1:${server.address().port}/index.html`);
  let dialog = 0;
  for (let i = 0; i < 600 && dialog < 3; ++i) {
    await sleep(0.2);
    dialog = await colours('canvas[id^="riza3v-dialog"]');
  }
  if (dialog < 3) {
    throw new Error(`no setup dialog on the page after 120 s (${dialog} colours)`);
  }
  const dialogSeconds = (Date.now() - loadStart) / 1000;
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
    state = await browser.evaluate(`Object.values(Module.riza3vAudio || {}).map((a) => a.context.state).join()`);
  }
  const songSeconds = (Date.now() - loadStart) / 1000;
  await sleep(3);
  const picture = await colours('#canvas');
  if (picture < 16) {
    fail(`3 s into the show its canvas has ${picture} colours`);
  }
  state = await browser.evaluate(`Object.values(Module.riza3vAudio || {}).map((a) => a.context.state).join()`);
  if (state !== 'running') {
    fail(`the show's Web Audio context is "${state}", not running`);
  }
  await browser.press('Escape', 27);
  let message = '';
  for (let i = 0; i < 150 && message === ''; ++i) {
    await sleep(0.2);
    message = await browser.evaluate(`document.getElementById('ended').style.display === 'block' ? ` +
      `document.getElementById('message').textContent : ''`);
  }
  if (message !== 'The show stopped (status 1).') {
    fail(`after Escape the page says "${message}"`);
  }
  if (browser.errors.length > 0) {
    fail('console errors:\n' + browser.errors.join('\n'));
  }
  console.log(`dialog after ${dialogSeconds.toFixed(1)} s (${dialog} colours), song playing after ` +
    `${songSeconds.toFixed(1)} s, ${picture} colours 3 s later, Web Audio ${state}, "${message}"`);
} catch (error) {
  fail(String(error.stack || error) + '\nconsole:\n' + browser.console.slice(-20).join('\n'));
} finally {
  await browser.close();
  server.close();
}
exitWithResult();
