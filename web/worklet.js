// The audio thread's side of the page: renders the song in 128-frame quanta
// inside the AudioWorklet. It never waits on the main thread: messages only
// set what the next quantum does, and it reports its position and peak level
// back without expecting an answer.
import { init, createPlayer } from './wembrastel.mjs';

const reportEvery = 8;            // quanta between position reports (about 20 ms)
const seekBudgetMs = 1;           // silent rendering per quantum while seeking
const seekChunk = 256;            // frames per step of a seek
const silenceToStop = sampleRate; // one second of silence after the song ends it

class WembrastelProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    init(options.processorOptions.wasm);
    this.player = null;
    this.playing = false;
    this.seekTarget = -1;         // frame a seek is heading for, or -1
    this.buffer = new Float32Array(256);
    this.quanta = 0;
    this.peak = 0;
    this.silentRun = 0;
    this.port.onmessage = (event) => this.receive(event.data);
  }

  async receive(message) {
    const player = this.player;
    switch (message.type) {
      case 'load':
        this.stopPlayer();
        try {
          this.player = await createPlayer(message.bytes, { sampleRate });
          this.port.postMessage({ type: 'loaded' });
        } catch (error) {
          this.port.postMessage({ type: 'error', message: error.message });
        }
        break;
      // Play may come while a load is still opening: it starts when it is open.
      case 'play': this.playing = true; this.silentRun = 0; break;
      case 'pause': this.playing = false; break;
      case 'stop': this.playing = false; this.seekTarget = 0; break;
      case 'seek': this.seekTarget = message.frame; break;
      case 'mute': player?.setChannelMute(message.channel, message.muted); break;
    }
  }

  stopPlayer() {
    this.player?.close();
    this.player = null;
    this.playing = false;
    this.seekTarget = -1;
  }

  // One step of a seek: silent rendering for about seekBudgetMs, so the
  // quantum still ends in time. Going back starts over from the beginning.
  advanceSeek() {
    const player = this.player;
    if (this.seekTarget < player.position()) player.seek(0);
    const start = Date.now();
    let position = player.position();
    while (position < this.seekTarget && Date.now() - start < seekBudgetMs) {
      position = Math.min(this.seekTarget, position + seekChunk);
      player.seek(position);
    }
    if (position >= this.seekTarget) this.seekTarget = -1;
  }

  process(inputs, outputs) {
    const [left, right] = outputs[0];
    const player = this.player;
    if (player && this.seekTarget >= 0) this.advanceSeek();
    else if (player && this.playing) this.render(player, left, right);
    if (player && ++this.quanta % reportEvery === 0) this.report(player);
    return true;
  }

  render(player, left, right) {
    const frames = left.length;
    const samples = player.renderF32(frames, this.buffer);
    let peak = 0;
    for (let i = 0; i < frames; i++) {
      const l = samples[2 * i], r = samples[2 * i + 1];
      left[i] = l;
      right[i] = r;
      peak = Math.max(peak, Math.abs(l), Math.abs(r));
    }
    this.peak = Math.max(this.peak, peak);
    this.endAfterTails(player, peak, frames);
  }

  // After the song's end the tails play until one second in which every
  // sample rounds to 0 in 16 bits; then the song is over and rewinds.
  endAfterTails(player, peak, frames) {
    if (!player.songEnded()) return;
    this.silentRun = peak < 0.5 / 32768 ? this.silentRun + frames : 0;
    if (this.silentRun < silenceToStop) return;
    this.playing = false;
    this.seekTarget = 0;
    this.port.postMessage({ type: 'finished' });
  }

  report(player) {
    this.port.postMessage({
      type: 'position', frame: player.position(), seeking: this.seekTarget >= 0,
      playing: this.playing, peak: this.peak,
    });
    this.peak = 0;
  }
}

registerProcessor('wembrastel', WembrastelProcessor);
