// A small driver of headless Chromium over the DevTools protocol, without
// npm: serves a folder on a local port, opens a page, collects its console
// and errors, and sends mouse and key input as a person's would arrive.
// Run with node --experimental-websocket (Node.js 20's WebSocket client).
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.data': 'application/octet-stream' };

// Serves `folder` on 127.0.0.1 at a free port; resolves to the server.
export function serve(folder) {
  const server = http.createServer((request, response) => {
    const file = path.join(folder, decodeURIComponent(new URL(request.url, 'http://x').pathname));
    if (!file.startsWith(folder) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// A check's failures: each is printed when found, and the driver's exit
// status says whether there was any.
let failures = 0;
export function fail(text) {
  console.error(text);
  ++failures;
}
export function exitWithResult() {
  process.exit(failures === 0 ? 0 : 1);
}

export class Browser {
  static async launch() {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'riza3v-chromium-'));
    const child = spawn('chromium', ['--headless=new', '--no-sandbox', '--enable-unsafe-swiftshader',
      '--remote-debugging-port=0', '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
      '--disable-backgrounding-occluded-windows', `--user-data-dir=${profile}`, '--autoplay-policy=user-gesture-required',
      'about:blank'], { stdio: ['ignore', 'ignore', 'pipe'] });
    const url = await new Promise((resolve, reject) => {
      let text = '';
      child.stderr.on('data', (chunk) => {
        text += chunk;
        const m = /DevTools listening on (ws:\/\/\S+)/.exec(text);
        if (m) {
          resolve(m[1]);
        }
      });
      child.on('exit', () => reject(new Error('chromium exited: ' + text)));
    });
    const browser = new Browser(child, profile, new WebSocket(url));
    await new Promise((resolve) => browser.socket.addEventListener('open', resolve));
    return browser;
  }

  constructor(child, profile, socket) {
    this.child = child;
    this.profile = profile;
    this.socket = socket;
    this.next = 1;
    this.waiting = new Map();
    this.console = [];
    this.errors = [];
    this.listeners = [];
    socket.addEventListener('message', (event) => this.receive(JSON.parse(event.data)));
  }

  receive(message) {
    if (message.id && this.waiting.has(message.id)) {
      const { resolve, reject } = this.waiting.get(message.id);
      this.waiting.delete(message.id);
      message.error ? reject(new Error(JSON.stringify(message.error))) : resolve(message.result);
      return;
    }
    if (message.method === 'Runtime.consoleAPICalled') {
      const text = message.params.args.map((a) => (a.value !== undefined ? String(a.value) : a.description)).join(' ');
      (message.params.type === 'error' ? this.errors : this.console).push(text);
    } else if (message.method === 'Runtime.exceptionThrown') {
      this.errors.push(message.params.exceptionDetails.exception?.description || message.params.exceptionDetails.text);
    } else if (message.method === 'Log.entryAdded' && message.params.entry.level === 'error') {
      this.errors.push(message.params.entry.text);
    }
    for (const listener of this.listeners) {
      listener();
    }
  }

  send(method, params = {}) {
    const id = this.next++;
    const message = { id, method, params };
    if (this.session) {
      message.sessionId = this.session;
    }
    this.socket.send(JSON.stringify(message));
    return new Promise((resolve, reject) => this.waiting.set(id, { resolve, reject }));
  }

  // Opens a tab at the address with the console and errors collected.
  async open(address) {
    const { targetId } = await this.send('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await this.send('Target.attachToTarget', { targetId, flatten: true });
    this.session = sessionId;
    await this.send('Runtime.enable');
    await this.send('Log.enable');
    await this.send('Page.enable');
    await this.send('Page.navigate', { url: address });
  }

  async evaluate(expression) {
    const { result, exceptionDetails } = await this.send('Runtime.evaluate', { expression, returnByValue: true, awaitPromise: true });
    if (exceptionDetails) {
      throw new Error('page: ' + JSON.stringify(exceptionDetails));
    }
    return result.value;
  }

  // Resolves to the first console line matching the pattern's match.
  waitForConsole(pattern, seconds) {
    return new Promise((resolve, reject) => {
      const check = () => {
        for (const line of this.console) {
          const m = pattern.exec(line);
          if (m) {
            this.listeners = this.listeners.filter((l) => l !== check);
            clearTimeout(timer);
            resolve(m);
            return true;
          }
        }
        return false;
      };
      const timer = setTimeout(() => reject(new Error(`no console line ${pattern} in ${seconds} s; console:\n` +
        this.console.join('\n') + '\nerrors:\n' + this.errors.join('\n'))), seconds * 1000);
      if (!check()) {
        this.listeners.push(check);
      }
    });
  }

  async click(x, y) {
    await this.send('Input.dispatchMouseEvent', { type: 'mouseMoved', x, y });
    await this.send('Input.dispatchMouseEvent', { type: 'mousePressed', x, y, button: 'left', clickCount: 1 });
    await this.send('Input.dispatchMouseEvent', { type: 'mouseReleased', x, y, button: 'left', clickCount: 1 });
  }

  // key: the DOM key name; code: the Windows virtual-key code.
  async press(key, code) {
    for (const type of ['rawKeyDown', 'keyUp']) {
      await this.send('Input.dispatchKeyEvent', { type, key, code: key, windowsVirtualKeyCode: code, nativeVirtualKeyCode: code });
    }
  }

  async close() {
    // Closed through the protocol, Chromium ends its helper processes before
    // it exits; they would otherwise still be writing into the profile.
    const exited = new Promise((resolve) => this.child.once('exit', resolve));
    this.session = undefined;
    this.send('Browser.close').catch(() => {});
    const timer = setTimeout(() => this.child.kill(), 10000);
    await exited;
    clearTimeout(timer);
    await fs.promises.rm(this.profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 200 });
  }
}
