// The WebAssembly player in Node against the native one: the same module and
// seed give the same bytes as `q7m render --format f32` and the golden
// renders' per-second digests, and what the native parser refuses is refused
// with the same reason.
// WB_WEB: the built page (scripts/build-web); Q7M: the native q7m.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const { createPlayer } = await import(path.join(process.env.WB_WEB, 'wembrastel.mjs'));
const q7m = process.env.Q7M;
const root = new URL('../../', import.meta.url).pathname;
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'wembrastel-wasm-'));
after(() => fs.rmSync(scratch, { recursive: true, force: true }));

function nativeRender(song, seed, frames, rate) {
  const out = path.join(scratch, 'native.wav');
  execFileSync(q7m, ['render', song, '-o', out, '--format', 'f32', '--seed', String(seed),
    '--frames', String(frames), '--quiet', '--force', ...(rate === 44100 ? [] : ['--rate', String(rate)])]);
  const wav = fs.readFileSync(out);
  let at = 12;
  while (wav.toString('latin1', at, at + 4) !== 'data') at += 8 + wav.readUInt32LE(at + 4);
  return wav.subarray(at + 8, at + 8 + wav.readUInt32LE(at + 4));
}

// Renders in the AudioWorklet's 128-frame quanta.
function wasmRender(player, frames) {
  const out = new Float32Array(frames * 2);
  const quantum = new Float32Array(256);
  for (let done = 0; done < frames; done += 128) {
    const n = Math.min(128, frames - done);
    out.set(player.renderF32(n, quantum).subarray(0, 2 * n), 2 * done);
  }
  return Buffer.from(out.buffer);
}

const digest = (bytes) => crypto.createHash('sha256').update(bytes).digest('hex');

const demo = path.join(path.dirname(q7m), 'demo.q7m');

// Other rates where this q7m renders at them.
const rates = execFileSync(q7m, ['render', '--help'], { encoding: 'utf8' }).includes('--rate')
  ? [44100, 48000] : [44100];

for (const sampleRate of rates) {
  test(`the demo song at ${sampleRate} Hz: the WebAssembly render equals the native one`, async () => {
    const player = await createPlayer(fs.readFileSync(demo), { sampleRate, seed: 7 });
    const frames = player.info().lengthFrames + 2 * sampleRate;  // the song and two seconds of tail
    assert.equal(digest(wasmRender(player, frames)), digest(nativeRender(demo, 7, frames, sampleRate)));
    player.close();
  });
}

// tests/golden/expected.txt: per song its seed ("song seed N frames F"),
// then the digest of each whole second of its f32 render ("song second
// digest"). An older table had "song seed second digest" lines. The
// "stream-" entries are command streams fed straight to the synthesizer,
// the "rate-" and "muted-" entries songs at other sample rates or with
// mutes: none of them is played here.
const golden = new Map();
for (const line of fs.readFileSync(path.join(root, 'tests/golden/expected.txt'), 'utf8').split('\n')) {
  if (line.startsWith('#') || /^(stream|rate|muted)-/.test(line) || !line.trim()) continue;
  const words = line.split(' ');
  const song = golden.get(words[0]) ?? { seed: 1, digests: [] };
  golden.set(words[0], song);
  if (words[1] === 'seed') song.seed = Number(words[2]);
  else if (words.length === 4) Object.assign(song, { seed: Number(words[1]) }).digests.push(words[3]);
  else song.digests.push(words[2]);
}

test('the golden songs: the WebAssembly render has the golden digests', async () => {
  for (const [name, { seed, digests }] of golden) {
    const module = path.join(scratch, `${name}.q7m`);
    execFileSync(q7m, ['build', path.join(root, 'tests/golden/songs', `${name}.json`), '-o', module]);
    const player = await createPlayer(fs.readFileSync(module), { seed });
    const samples = wasmRender(player, digests.length * 44100);
    const seconds = digests.map((_, s) => digest(samples.subarray(s * 352800, (s + 1) * 352800)));
    assert.deepEqual(seconds, digests, name);
    player.close();
  }
});

test('a seek gives what a straight render gives at that frame', async () => {
  const bytes = fs.readFileSync(demo);
  const straight = await createPlayer(bytes, { seed: 3 });
  const seeking = await createPlayer(bytes, { seed: 3 });
  const whole = wasmRender(straight, 300000);
  seeking.seek(250000);
  assert.equal(seeking.position(), 250000);
  assert.ok(wasmRender(seeking, 50000).equals(whole.subarray(250000 * 8)));
  straight.close();
  seeking.close();
});

test('what the native parser refuses is refused with its reason', async () => {
  const demoBytes = fs.readFileSync(demo);
  const cases = {
    'empty': Buffer.alloc(0),
    'truncated': demoBytes.subarray(0, 100),
    'garbage': Buffer.from('This is not a module, only text.'),
  };
  for (const [name, bytes] of Object.entries(cases)) {
    const file = path.join(scratch, `${name}.q7m`);
    fs.writeFileSync(file, bytes);
    const native = spawnSync(q7m, ['info', file], { encoding: 'utf8' });
    const reason = native.stderr.trim().replace(`q7m: ${file}: `, '');
    assert.match(reason, /^not a valid module: /, name);
    await assert.rejects(createPlayer(bytes), { message: reason }, name);
  }
  await assert.rejects(createPlayer(demoBytes, { sampleRate: 1000 }), /sample rate 1000/);
});
