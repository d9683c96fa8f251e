// Usage: node --experimental-websocket dialog_chromium.mjs <folder with dialog.html and dialog_page.js>
//
// The setup dialog on a page in headless Chromium, handled as a person would:
// the dialog's canvas shows a picture (not one colour) while the program's
// other thread keeps polling, a click on OK ends the dialog with IDOK, after
// it wave-out plays on a running AudioContext with its position moving, and
// Escape reaches the program's loop, which ends with status 1. No console
// errors on the way.
import { Browser, exitWithResult, fail, serve } from './chromium.mjs';

const folder = process.argv[2];
const server = await serve(folder);
const browser = await Browser.launch();
try {
  await browser.open(`http://127.0.0.1:${server.address().port}/dialog.html`);
  const [, okX, okY] = await browser.waitForConsole(/ok button at (-?\d+) (-?\d+)/, 60);
  // The dialog is painted after its first message turn.
  let canvas = null;
  for (let i = 0; i < 50 && !(canvas && canvas.colours > 1); ++i) {
    await new Promise((resolve) => setTimeout(resolve, 100));
    canvas = await browser.evaluate(`(() => {
      const c = document.querySelector('canvas[id^="riza3v-dialog"]');
      if (!c || c.style.display === 'none') return null;
      const r = c.getBoundingClientRect();
      const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
      const colours = new Set();
      for (let i = 0; i < d.length; i += 4) colours.add((d[i] << 16) | (d[i + 1] << 8) | d[i + 2]);
      return { left: r.left, top: r.top, width: c.width, height: c.height, colours: colours.size };
    })()`);
  }
  if (!canvas || canvas.colours < 3) {
    fail(`the dialog's canvas is not painted: ${JSON.stringify(canvas)}`);
  }
  await browser.click(canvas.left + Number(okX), canvas.top + Number(okY));
  const [, result, polls] = await browser.waitForConsole(/dialog returned (-?\d+) after (\d+) polls/, 30);
  if (Number(result) !== 1) {
    fail(`the click on OK ended the dialog with ${result}, not IDOK (1)`);
  }
  if (Number(polls) < 1) {
    fail('the other thread did not run while the dialog waited');
  }
  // The click was the gesture that lets the page start sound.
  const [, bytes, nullSink] = await browser.waitForConsole(/wave-out position (\d+) bytes after 1 s, null sink (\d)/, 30);
  const state = await browser.evaluate(`Object.values(Module.riza3vAudio || {}).map((a) => a.context.state).join()`);
  if (nullSink !== '0' || state !== 'running') {
    fail(`Web Audio is not playing: null sink ${nullSink}, context state "${state}"`);
  }
  // The position trails what was handed over by the blocks the node holds,
  // and moves on with the clock: after 1 s it is well on its way.
  if (Number(bytes) <= 0 || Number(bytes) > 2 * 44100 * 4) {
    fail(`wave-out position ${bytes} bytes after 1 s of 44,100 frames of 4 bytes`);
  }
  await browser.press('Escape', 27);
  await browser.waitForConsole(/escape seen/, 30);
  const [, status] = await browser.waitForConsole(/riza3v-test: exit (\d+)/, 30);
  if (Number(status) !== 1) {
    fail(`the program ended with status ${status}, not 1`);
  }
  if (browser.errors.length > 0) {
    fail('console errors:\n' + browser.errors.join('\n'));
  }
  console.log(`dialog ${canvas.width}x${canvas.height} (${canvas.colours} colours), OK clicked after ${polls} polls, ` +
    `Web Audio ${state} at ${bytes} bytes after 1 s, Escape seen`);
} catch (error) {
  fail(String(error.stack || error));
} finally {
  await browser.close();
  server.close();
}
exitWithResult();
