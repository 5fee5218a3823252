// Wembrastel for JavaScript: the C library compiled to WebAssembly
// (wembrastel.wasm, beside this file), usable in a page, in an AudioWorklet
// and in Node. See README.md in this folder.

let exports = null;   // the instance's exports once init has run
let loading = null;   // init's promise
let layout = null;    // offsets of wb_config and wb_info fields (layout.cpp)

// Finds wembrastel.wasm beside this module: from the file system in Node,
// by fetch in a page. An AudioWorklet has no fetch: it hands init the bytes.
async function defaultWasm() {
  const url = new URL('wembrastel.wasm', import.meta.url);
  if (url.protocol === 'file:') {
    const { readFile } = await import('node:fs/promises');
    return readFile(url);
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${url}: ${response.status} ${response.statusText}`);
  return response.arrayBuffer();
}

function clockNanoseconds() {
  const ms = typeof performance !== 'undefined' ? performance.timeOrigin + performance.now() : Date.now();
  return BigInt(Math.round(ms * 1e6));
}

// The few system calls the library can make. It reads the clock only for a
// seed when none is given; anything else it imports fails loudly.
function importsFor(module) {
  const provided = {
    env: { emscripten_notify_memory_growth() {} },
    wasi_snapshot_preview1: {
      clock_time_get(clock, precision, resultAddress) {
        new DataView(exports.memory.buffer).setBigUint64(resultAddress, clockNanoseconds(), true);
        return 0;
      },
      proc_exit(code) { throw new Error(`wembrastel: the library exited with ${code}`); },
    },
  };
  const imports = {};
  for (const { module: space, name } of WebAssembly.Module.imports(module)) {
    imports[space] ??= {};
    imports[space][name] = provided[space]?.[name] ??
      (() => { throw new Error(`wembrastel: unexpected call to ${space}.${name}`); });
  }
  return imports;
}

// Loads the WebAssembly module once. source: a WebAssembly.Module, its bytes
// (ArrayBuffer or typed array), or nothing to find wembrastel.wasm beside
// this file. Later calls return the first call's promise.
export function init(source) {
  loading ??= (async () => {
    const bytesOrModule = source ?? await defaultWasm();
    const module = bytesOrModule instanceof WebAssembly.Module
      ? bytesOrModule : await WebAssembly.compile(bytesOrModule);
    const instance = await WebAssembly.instantiate(module, importsFor(module));
    exports = instance.exports;
    exports._initialize();
    const at = exports.wbjs_layout() >>> 2;
    layout = Array.from(new Uint32Array(exports.memory.buffer, at * 4, 17));
  })();
  return loading;
}

function bytesAt(address, length) { return new Uint8Array(exports.memory.buffer, address, length); }
function view() { return new DataView(exports.memory.buffer); }

function cString(address, limit = Infinity) {
  const heap = new Uint8Array(exports.memory.buffer);
  let end = address;
  while (end - address < limit && heap[end] !== 0) end++;
  let text = '';
  for (let i = address; i < end; i++) text += String.fromCharCode(heap[i]);
  return text;
}

function allocate(size) {
  const address = exports.malloc(size);
  if (!address) throw new Error('wembrastel: out of memory');
  return address;
}

// The library's version, e.g. "1.0.0".
export async function version() {
  await init();
  return cString(exports.wb_version());
}

const errorSize = 512;

function open(bytes, sampleRate, seed) {
  const [configSize, rateAt, seedAt, useSeedAt] = layout;
  const data = bytes instanceof ArrayBuffer ? new Uint8Array(bytes)
    : new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const config = allocate(configSize);
  const error = allocate(errorSize);
  const image = allocate(Math.max(data.length, 1));
  try {
    exports.wb_config_init(config);
    const fields = view();
    fields.setUint32(config + rateAt, sampleRate, true);
    if (seed !== undefined) {
      fields.setUint32(config + seedAt, seed >>> 0, true);
      fields.setInt32(config + useSeedAt, 1, true);
    }
    bytesAt(image, data.length).set(data);
    bytesAt(error, 1)[0] = 0;
    const handle = exports.wb_open(image, data.length, config, error, errorSize);
    if (!handle) throw new Error(cString(error, errorSize) || 'wembrastel: the module could not be opened');
    return handle;
  } finally {
    exports.free(image);
    exports.free(error);
    exports.free(config);
  }
}

function readInfo(handle) {
  const [, , , , infoSize, framesAt, secondsAt, ticksAt, tempoAt, channelsAt, channelSize,
    notesAt, programCountAt, programsAt, textCountAt, textsAt, pointerSize] = layout;
  const info = allocate(infoSize);
  try {
    if (exports.wb_get_info(handle, info) !== 0) throw new Error('wembrastel: no info');
    const fields = view();
    const channels = [];
    for (let ch = 0; ch < 16; ch++) {
      const at = info + channelsAt + ch * channelSize;
      const programCount = fields.getUint32(at + programCountAt, true);
      channels.push({
        notes: fields.getUint32(at + notesAt, true),
        programs: Array.from(bytesAt(at + programsAt, programCount)),
      });
    }
    const speechTexts = [];
    const textCount = fields.getUint32(info + textCountAt, true);
    for (let i = 0; i < textCount; i++) {
      speechTexts.push(cString(fields.getUint32(info + textsAt + i * pointerSize, true)));
    }
    return {
      sampleRate: fields.getUint32(info, true),
      lengthFrames: Number(fields.getBigUint64(info + framesAt, true)),
      lengthSeconds: fields.getFloat64(info + secondsAt, true),
      ticksPerBeat: fields.getUint32(info + ticksAt, true),
      firstTempo: fields.getUint32(info + tempoAt, true),
      channels,
      speechTexts,
    };
  } finally {
    exports.free(info);
  }
}

// One open module. Not shared between threads: each realm (page, worklet,
// Node) loads its own copy of the library.
class Player {
  #handle;
  #buffer = 0;        // render scratch in WebAssembly memory
  #bufferFrames = 0;
  #samples = null;    // a view of it, made again when the memory grows

  constructor(handle) { this.#handle = handle; }

  #live() {
    if (!this.#handle) throw new Error('wembrastel: the player is closed');
    return this.#handle;
  }

  // Renders the next frames as interleaved stereo floats. out, when given,
  // receives them (at least 2 x frames long) and no memory is allocated.
  renderF32(frames, out = new Float32Array(frames * 2)) {
    const handle = this.#live();
    if (frames > this.#bufferFrames) {
      exports.free(this.#buffer);
      this.#buffer = allocate(frames * 8);
      this.#bufferFrames = frames;
      this.#samples = null;
    }
    exports.wb_render_f32(handle, this.#buffer, frames);
    if (this.#samples?.buffer !== exports.memory.buffer) {
      this.#samples = new Float32Array(exports.memory.buffer, this.#buffer, this.#bufferFrames * 2);
    }
    out.set(frames === this.#bufferFrames ? this.#samples : this.#samples.subarray(0, frames * 2));
    return out;
  }

  info() { return readInfo(this.#live()); }

  // Frames since the song's first frame.
  position() { return Number(exports.wb_position(this.#live())); }

  // Renders silently to frame (from the start when it lies behind).
  seek(frame) {
    if (exports.wb_seek(this.#live(), BigInt(Math.max(0, Math.floor(frame)))) !== 0) {
      throw new Error(`wembrastel: cannot seek to ${frame}`);
    }
  }

  songEnded() { return exports.wb_song_ended(this.#live()) === 1; }

  setChannelMute(channel, muted) {
    if (exports.wb_set_channel_mute(this.#live(), channel, muted ? 1 : 0) !== 0) {
      throw new Error(`wembrastel: no channel ${channel}`);
    }
  }

  close() {
    if (!this.#handle) return;
    exports.wb_close(this.#handle);
    exports.free(this.#buffer);
    this.#handle = 0;
    this.#buffer = 0;
    this.#bufferFrames = 0;
    this.#samples = null;
  }
}

// Opens a module (ArrayBuffer or typed array; the player keeps its own copy).
// sampleRate: 8,000..96,000 (default 44,100); seed: a 32-bit number makes
// noise and random modulation repeat exactly, without one they follow the
// clock. Rejects with the parser's reason ("not a valid module: ...").
export async function createPlayer(bytes, { sampleRate = 44100, seed } = {}) {
  await init();
  return new Player(open(bytes, sampleRate, seed));
}
