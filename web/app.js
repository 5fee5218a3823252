// The page: opens a module, shows what it holds and drives the AudioWorklet
// that renders it (worklet.js). Nothing is rendered on this thread; it only
// parses a module once to check it and read its info, and draws.
import { init, createPlayer } from './wembrastel.mjs';

const $ = (id) => document.getElementById(id);
const wasm = fetch('wembrastel.wasm').then((response) => {
  if (!response.ok) throw new Error(`wembrastel.wasm: ${response.status} ${response.statusText}`);
  return response.arrayBuffer();
});

const state = {
  audio: null,        // { context, node, analyser } once the first song is opened
  info: null,         // the loaded song's info
  playing: false,
  seeking: false,     // the user holds the seek bar
  peak: 0,            // level shown by the meter, falls back after each report
};

// The audio graph, made once: the worklet node into the speakers and into
// an analyser for the waveform.
async function audio() {
  if (state.audio) return state.audio;
  const bytes = await wasm;
  let context = new AudioContext({ latencyHint: 'playback' });
  if (context.sampleRate > 96000) {  // beyond the synthesizer's rates: let the browser resample
    context.close();
    context = new AudioContext({ latencyHint: 'playback', sampleRate: 48000 });
  }
  await context.audioWorklet.addModule('worklet.js');
  const node = new AudioWorkletNode(context, 'wembrastel', {
    numberOfInputs: 0, outputChannelCount: [2], processorOptions: { wasm: bytes },
  });
  const analyser = context.createAnalyser();
  analyser.fftSize = 2048;
  node.connect(context.destination);
  node.connect(analyser);
  node.port.onmessage = (event) => receive(event.data);
  state.audio = { context, node, analyser };
  requestAnimationFrame(draw);
  return state.audio;
}

function receive(message) {
  switch (message.type) {
    case 'position':
      state.peak = Math.max(state.peak, message.peak);
      if (!state.seeking) showPosition(message.frame / state.audio.context.sampleRate);
      $('meter').dataset.peak = message.peak.toFixed(4);
      break;
    case 'finished': setPlaying(false); break;
    case 'error': showMessage(message.message); break;
  }
}

function showMessage(text) {
  $('message').textContent = text;
  $('message').hidden = !text;
}

async function open(name, bytes) {
  showMessage('');
  let info;
  let graph;
  try {
    await init(await wasm);
    graph = await audio();
    const probe = await createPlayer(bytes, { sampleRate: graph.context.sampleRate });
    info = probe.info();
    probe.close();
  } catch (error) {
    showMessage(`${name}: ${error.message}`);
    return;
  }
  setPlaying(false);
  graph.node.port.postMessage({ type: 'load', bytes }, [bytes]);
  state.info = info;
  showInfo(name, info);
  showPosition(0);
}

function setPlaying(playing) {
  state.playing = playing;
  $('play').textContent = playing ? 'Pause' : 'Play';
}

async function play() {
  const { context, node } = state.audio;
  if (state.playing) {
    node.port.postMessage({ type: 'pause' });
    setPlaying(false);
    return;
  }
  await context.resume();
  node.port.postMessage({ type: 'play' });
  setPlaying(true);
}

function stop() {
  state.audio.node.port.postMessage({ type: 'stop' });
  setPlaying(false);
  showPosition(0);
}

function clock(seconds) {
  const whole = Math.floor(seconds);
  return `${Math.floor(whole / 60)}:${String(whole % 60).padStart(2, '0')}`;
}

function showPosition(seconds) {
  $('time').textContent = `${clock(seconds)} / ${clock(state.info?.lengthSeconds ?? 0)}`;
  $('seek').value = Math.min(seconds, state.info?.lengthSeconds ?? 0);
}

function cell(row, text) {
  const td = row.insertCell();
  td.textContent = text;
  return td;
}

function showInfo(name, info) {
  $('title').textContent = name;
  for (const id of ['play', 'stop', 'seek']) $(id).disabled = false;
  $('seek').max = info.lengthSeconds;
  const bpm = 60e6 / info.firstTempo;
  const facts = [
    ['Length', `${clock(info.lengthSeconds)} (${info.lengthFrames.toLocaleString('en')} frames at ${info.sampleRate} Hz)`],
    ['Time base', `${info.ticksPerBeat} ticks per beat`],
    ['Tempo', `${Number(bpm.toFixed(2))} BPM at the start`],
  ];
  $('facts').replaceChildren(...facts.flatMap(([term, value]) => {
    const dt = document.createElement('dt');
    const dd = document.createElement('dd');
    dt.textContent = term;
    dd.textContent = value;
    return [dt, dd];
  }));
  const rows = $('channels');
  rows.replaceChildren();
  info.channels.forEach((channel, index) => {
    if (channel.notes === 0) return;
    const row = rows.insertRow();
    cell(row, String(index + 1));
    cell(row, String(channel.notes));
    cell(row, channel.programs.join(', ') || '—');
    const toggle = document.createElement('button');
    toggle.type = 'button';
    toggle.textContent = 'On';
    toggle.dataset.channel = index;
    toggle.setAttribute('aria-pressed', 'false');
    toggle.addEventListener('click', () => mute(toggle));
    row.insertCell().append(toggle);
  });
  $('texts').replaceChildren(...info.speechTexts.map((text) => {
    const item = document.createElement('li');
    item.append(Object.assign(document.createElement('code'), { textContent: text }));
    return item;
  }));
  $('info').hidden = false;
}

function mute(toggle) {
  const muted = toggle.getAttribute('aria-pressed') !== 'true';
  toggle.setAttribute('aria-pressed', String(muted));
  toggle.textContent = muted ? 'Muted' : 'On';
  state.audio.node.port.postMessage({ type: 'mute', channel: Number(toggle.dataset.channel), muted });
}

// The waveform of what is playing, and the level meter falling back 1.5 dB
// per drawn frame between the worklet's peak reports.
const samples = new Float32Array(2048);
function draw() {
  const canvas = $('wave');
  const width = canvas.clientWidth * devicePixelRatio;
  if (canvas.width !== width) canvas.width = width;
  const g = canvas.getContext('2d');
  const { height } = canvas;
  state.audio.analyser.getFloatTimeDomainData(samples);
  g.clearRect(0, 0, width, height);
  g.strokeStyle = '#5fb3ff';
  g.lineWidth = devicePixelRatio;
  g.beginPath();
  for (let x = 0; x < width; x++) {
    const y = (1 - samples[Math.floor((x / width) * samples.length)]) * height / 2;
    if (x === 0) g.moveTo(x, y); else g.lineTo(x, y);
  }
  g.stroke();
  const decibels = 20 * Math.log10(Math.max(state.peak, 1e-6));
  $('meter').firstElementChild.style.height = `${Math.max(0, 1 + decibels / 60) * 100}%`;
  state.peak *= 0.84;
  requestAnimationFrame(draw);
}

async function openFile(file) {
  if (file) await open(file.name, await file.arrayBuffer());
}

async function openDemo() {
  try {
    const response = await fetch('demo.q7m');
    if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
    await open('Demo song', await response.arrayBuffer());
  } catch (error) {
    showMessage(`demo.q7m: ${error.message}`);
  }
}

$('file').addEventListener('change', (event) => openFile(event.target.files[0]));
$('demo').addEventListener('click', openDemo);
$('play').addEventListener('click', play);
$('stop').addEventListener('click', stop);
$('seek').addEventListener('input', (event) => {
  state.seeking = true;
  $('time').textContent = `${clock(event.target.value)} / ${clock(state.info.lengthSeconds)}`;
});
$('seek').addEventListener('change', (event) => {
  state.seeking = false;
  const frame = Math.round(Number(event.target.value) * state.audio.context.sampleRate);
  state.audio.node.port.postMessage({ type: 'seek', frame });
});
addEventListener('dragover', (event) => {
  event.preventDefault();
  $('drop').hidden = false;
});
addEventListener('dragleave', () => { $('drop').hidden = true; });
addEventListener('drop', (event) => {
  event.preventDefault();
  $('drop').hidden = true;
  openFile(event.dataTransfer.files[0]);
});
