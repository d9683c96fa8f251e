// Usage: node gfxcompare.js <desktop output> <browser output> [png folder]
//
// Compares the scenes that gfxscenes wrote on the desktop (OpenGL on Mesa's
// llvmpipe) and in the browser (WebGL 2 on SwiftShader). Two rasterisers may
// round a colour or an edge pixel differently, never a whole region: a scene
// passes when its mean absolute difference per channel is at most 3 and no
// 16 x 16 block differs by more than 40 on average (a shape moved, missing or
// in other colours does). Each desktop scene must also have drawn something
// (at least 5% of pixels off the clear colour). With a png folder, both
// sides of every scene are written there as PNG files.
'use strict';
const fs = require('fs');
const zlib = require('zlib');

const kMeanLimit = 3;
const kBlock = 16;
const kBlockLimit = 40;

function readScenes(path) {
  const scenes = new Map();
  for (const line of fs.readFileSync(path, 'utf8').split('\n')) {
    const m = /^scene (\S+) (\d+) (\d+) ([0-9A-F]+)$/.exec(line);
    if (m) {
      const width = Number(m[2]);
      const height = Number(m[3]);
      const argb = new Uint32Array(width * height);
      for (let i = 0; i < argb.length; ++i) {
        argb[i] = parseInt(m[4].substr(i * 8, 8), 16);
      }
      scenes.set(m[1], {width, height, argb});
    }
  }
  return scenes;
}

// Red, green and blue of a pixel: the back buffer has no alpha.
function channels(p) {
  return [(p >>> 16) & 0xFF, (p >>> 8) & 0xFF, p & 0xFF];
}

function crc32(bytes) {
  let c = ~0;
  for (const b of bytes) {
    c ^= b;
    for (let k = 0; k < 8; ++k) {
      c = (c >>> 1) ^ (0xEDB88320 & -(c & 1));
    }
  }
  return ~c >>> 0;
}

function writePng(path, scene) {
  const raw = Buffer.alloc(scene.height * (1 + scene.width * 3));
  for (let y = 0; y < scene.height; ++y) {
    for (let x = 0; x < scene.width; ++x) {
      const [r, g, b] = channels(scene.argb[y * scene.width + x]);
      raw.set([r, g, b], y * (1 + scene.width * 3) + 1 + x * 3);
    }
  }
  const chunk = (type, data) => {
    const out = Buffer.alloc(12 + data.length);
    out.writeUInt32BE(data.length, 0);
    out.write(type, 4, 'ascii');
    data.copy(out, 8);
    out.writeUInt32BE(crc32(out.subarray(4, 8 + data.length)), 8 + data.length);
    return out;
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(scene.width, 0);
  header.writeUInt32BE(scene.height, 4);
  header.set([8, 2, 0, 0, 0], 8); // 8-bit RGB
  fs.writeFileSync(path, Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), chunk('IHDR', header),
    chunk('IDAT', zlib.deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]));
}

function compare(name, a, b) {
  if (a.width !== b.width || a.height !== b.height) {
    return `${name}: ${b.width} x ${b.height} in the browser, ${a.width} x ${a.height} on the desktop`;
  }
  const clear = a.argb[0];
  const drawn = a.argb.filter((p) => p !== clear).length;
  if (drawn < a.argb.length / 20) {
    return `${name}: the desktop scene has only ${drawn} pixels drawn`;
  }
  let total = 0;
  let worst = {mean: 0, x: 0, y: 0};
  for (let by = 0; by < a.height; by += kBlock) {
    for (let bx = 0; bx < a.width; bx += kBlock) {
      let sum = 0;
      let count = 0;
      for (let y = by; y < Math.min(by + kBlock, a.height); ++y) {
        for (let x = bx; x < Math.min(bx + kBlock, a.width); ++x) {
          const pa = channels(a.argb[y * a.width + x]);
          const pb = channels(b.argb[y * a.width + x]);
          for (let c = 0; c < 3; ++c) {
            sum += Math.abs(pa[c] - pb[c]);
          }
          count += 3;
        }
      }
      total += sum;
      if (sum / count > worst.mean) {
        worst = {mean: sum / count, x: bx, y: by};
      }
    }
  }
  const mean = total / (a.width * a.height * 3);
  const summary = `${name}: mean difference ${mean.toFixed(2)}, worst block (${worst.x}, ${worst.y}) ` +
                  `${worst.mean.toFixed(1)}`;
  if (mean > kMeanLimit || worst.mean > kBlockLimit) {
    return summary;
  }
  console.log(summary);
  return null;
}

// The comparison of two pictures, for other checks of the browser build
// against the desktop's (argb: Uint32Array of 0xAARRGGBB pixels).
module.exports = { compare };

if (require.main === module) {
  const desktop = readScenes(process.argv[2]);
  const browser = readScenes(process.argv[3]);
  const pngs = process.argv[4];
  const failures = [];
  if (desktop.size === 0) {
    failures.push('the desktop build wrote no scenes');
  }
  for (const [name, a] of desktop) {
    const b = browser.get(name);
    if (!b) {
      failures.push(`${name}: the browser build wrote no such scene`);
      continue;
    }
    if (pngs) {
      writePng(`${pngs}/${name}-desktop.png`, a);
      writePng(`${pngs}/${name}-browser.png`, b);
    }
    const failure = compare(name, a, b);
    if (failure) {
      failures.push(failure);
    }
  }
  for (const f of failures) {
    console.error(f);
  }
  process.exit(failures.length === 0 ? 0 : 1);
}
