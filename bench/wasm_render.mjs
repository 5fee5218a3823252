// Render speed of the WebAssembly build in Node, one thread, as a multiple
// of real time, on the stress module that wembrastel_bench writes
// (WB_STRESS_MODULE): the same song, block size and warm-up as its
// BM_RenderStress, so the two figures compare.
//   node bench/wasm_render.mjs BUILT-WEB-FOLDER STRESS.q7m
import fs from 'node:fs';
import path from 'node:path';

const [web, stress] = process.argv.slice(2);
const { createPlayer } = await import(path.resolve(web, 'wembrastel.mjs'));
const blockFrames = 4096;
const player = await createPlayer(fs.readFileSync(stress), { seed: 1 });
const block = new Float32Array(2 * blockFrames);
for (let done = 0; done < 44100; done += blockFrames) player.renderF32(blockFrames, block);

const seconds = (usage) => (usage.user + usage.system) / 1e6;
const start = process.cpuUsage();
let frames = 0;
while (seconds(process.cpuUsage(start)) < 5) {
  player.renderF32(blockFrames, block);
  frames += blockFrames;
}
const realtime = frames / 44100 / seconds(process.cpuUsage(start));
console.log(`BM_RenderStress (WebAssembly, Node ${process.versions.node}) x_realtime=${realtime.toFixed(2)}`);
