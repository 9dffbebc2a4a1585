// Reading an uncompressed movie's header and tag headers, and cutting a test
// copy that rests on a chosen frame.
//
// The player loops every movie that ends with an End tag, whatever the page
// says. A movie whose data simply stops after a ShowFrame has no End tag and
// stays on that frame, so the copy ends right after the k-th ShowFrame, with
// the file length and the frame count in the header set to match.

export const TAG_END = 0;
export const TAG_SHOW_FRAME = 1;
export const TAG_SET_BACKGROUND_COLOR = 9;

export class SwfError extends Error {}

// Header: "FWS", version, UI32 file length, frame RECT (5-bit width, then four
// signed fields of that width, padded to a byte), UI16 frame rate (8.8), UI16
// frame count. Then tags: UI16 code << 6 | length, length 0x3F meaning a UI32
// length follows.
export function parseSwf(bytes) {
  const buf = Buffer.isBuffer(bytes) ? bytes : Buffer.from(bytes);
  if (buf.length < 8) throw new SwfError(`movie is only ${buf.length} bytes long`);
  const signature = buf.toString('latin1', 0, 3);
  if (signature === 'CWS' || signature === 'ZWS')
    throw new SwfError(`compressed movie (${signature}); only uncompressed movies are checked`);
  if (signature !== 'FWS') throw new SwfError('not a movie file (no FWS signature)');
  const version = buf[3];
  const fileLength = buf.readUInt32LE(4);
  if (fileLength !== buf.length)
    throw new SwfError(`header says ${fileLength} bytes, the file has ${buf.length}`);

  const rectBits = buf[8] >> 3;
  const rectBytes = Math.ceil((5 + 4 * rectBits) / 8);
  const headerSize = 8 + rectBytes + 4;
  if (buf.length < headerSize) throw new SwfError('movie ends inside its header');
  const rect = readRect(buf, 8, rectBits);
  const frameRate = buf.readUInt16LE(8 + rectBytes) / 256;
  const frameCountOffset = 8 + rectBytes + 2;
  const frameCount = buf.readUInt16LE(frameCountOffset);

  const tags = [];
  let pos = headerSize;
  let backgroundColor = null;
  while (pos < buf.length) {
    if (pos + 2 > buf.length) throw new SwfError(`tag header cut off at byte ${pos}`);
    const codeAndLength = buf.readUInt16LE(pos);
    const code = codeAndLength >> 6;
    let length = codeAndLength & 0x3f;
    let bodyStart = pos + 2;
    if (length === 0x3f) {
      if (pos + 6 > buf.length) throw new SwfError(`long tag header cut off at byte ${pos}`);
      length = buf.readUInt32LE(pos + 2);
      bodyStart = pos + 6;
    }
    const end = bodyStart + length;
    if (end > buf.length)
      throw new SwfError(`tag ${code} at byte ${pos} claims ${length} bytes, only ${buf.length - bodyStart} left`);
    tags.push({ code, offset: pos, bodyStart, length, end });
    if (code === TAG_SET_BACKGROUND_COLOR && length >= 3 && backgroundColor === null)
      backgroundColor = [buf[bodyStart], buf[bodyStart + 1], buf[bodyStart + 2]];
    pos = end;
    if (code === TAG_END) break;
  }
  const showFrames = tags.filter((t) => t.code === TAG_SHOW_FRAME).length;
  return {
    version,
    fileLength,
    rect,
    widthPx: (rect.xmax - rect.xmin) / 20,
    heightPx: (rect.ymax - rect.ymin) / 20,
    frameRate,
    frameCount,
    frameCountOffset,
    headerSize,
    tags,
    showFrames,
    backgroundColor,
    hasEnd: tags.length > 0 && tags[tags.length - 1].code === TAG_END,
  };
}

function readRect(buf, offset, bits) {
  let bitPos = offset * 8 + 5;
  const read = () => {
    let v = 0;
    for (let i = 0; i < bits; i++, bitPos++) v = v * 2 + ((buf[bitPos >> 3] >> (7 - (bitPos & 7))) & 1);
    // Sign-extend the field.
    if (bits > 0 && v >= 2 ** (bits - 1)) v -= 2 ** bits;
    return v;
  };
  const xmin = read();
  const xmax = read();
  const ymin = read();
  const ymax = read();
  return { xmin, xmax, ymin, ymax };
}

// The copy of the movie that ends after its k-th ShowFrame (1-based), without
// End tag, its header's file length and frame count patched.
export function cutAfterFrame(bytes, k) {
  const buf = Buffer.isBuffer(bytes) ? bytes : Buffer.from(bytes);
  const info = parseSwf(buf);
  if (!Number.isInteger(k) || k < 1) throw new SwfError(`frame ${k} is not a frame number (1 is the first)`);
  if (k > 0xffff) throw new SwfError(`frame ${k} does not fit the header's frame count`);
  let seen = 0;
  for (const tag of info.tags) {
    if (tag.code !== TAG_SHOW_FRAME) continue;
    if (++seen === k) {
      const cut = Buffer.from(buf.subarray(0, tag.end));
      cut.writeUInt32LE(cut.length, 4);
      cut.writeUInt16LE(k, info.frameCountOffset);
      return cut;
    }
  }
  throw new SwfError(`the movie has ${info.showFrames} frames, frame ${k} was asked for`);
}
