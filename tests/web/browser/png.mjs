// Reads 8-bit RGB or RGBA PNG files without interlacing (what the capture
// tool and a canvas write) into { width, height, argb }, argb holding one
// 0xAARRGGBB value per pixel, top row first.
import zlib from 'node:zlib';

export function decodePng(bytes) {
  const signature = [137, 80, 78, 71, 13, 10, 26, 10];
  if (!signature.every((b, i) => bytes[i] === b)) {
    throw new Error('not a PNG file');
  }
  let width = 0;
  let height = 0;
  let channels = 0;
  const data = [];
  for (let at = 8; at < bytes.length;) {
    const length = bytes.readUInt32BE(at);
    const type = bytes.toString('ascii', at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      const [depth, colour, , , interlace] = body.subarray(8, 13);
      channels = { 2: 3, 6: 4 }[colour] || 0;
      if (depth !== 8 || channels === 0 || interlace !== 0) {
        throw new Error(`PNG with depth ${depth}, colour type ${colour}, interlace ${interlace} is not read here`);
      }
    } else if (type === 'IDAT') {
      data.push(body);
    }
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const rows = Buffer.alloc(height * stride);
  // Each row is filtered against the row above and the pixel to the left.
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let i = 0; i < stride; ++i) {
      const left = i >= channels ? rows[y * stride + i - channels] : 0;
      const up = y > 0 ? rows[(y - 1) * stride + i] : 0;
      const upLeft = y > 0 && i >= channels ? rows[(y - 1) * stride + i - channels] : 0;
      let predicted = 0;
      if (filter === 1) {
        predicted = left;
      } else if (filter === 2) {
        predicted = up;
      } else if (filter === 3) {
        predicted = (left + up) >> 1;
      } else if (filter === 4) {
        const p = left + up - upLeft;
        const [pa, pb, pc] = [Math.abs(p - left), Math.abs(p - up), Math.abs(p - upLeft)];
        predicted = pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
      } else if (filter !== 0) {
        throw new Error(`PNG row filter ${filter}`);
      }
      rows[y * stride + i] = (line[i] + predicted) & 0xFF;
    }
  }
  const argb = new Uint32Array(width * height);
  for (let p = 0; p < argb.length; ++p) {
    const q = p * channels;
    const alpha = channels === 4 ? rows[q + 3] : 0xFF;
    argb[p] = ((alpha << 24) | (rows[q] << 16) | (rows[q + 1] << 8) | rows[q + 2]) >>> 0;
  }
  return { width, height, argb };
}
