// The page in Debian's chromium, headless, through puppeteer-core: open a
// module through the file input, play, seek, mute, and refuse a broken file.
// WB_WEB: the built page (scripts/build-web); WB_SCREENSHOT: where to put a
// picture of the playing page (docs/web.png for the README), if anywhere.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { serve } from './serve.mjs';

const web = process.env.WB_WEB;
const puppeteer = createRequire(new URL('../../web/', import.meta.url))('puppeteer-core');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'wembrastel-web-'));
let server;
let browser;
let page;
const downloaded = new Map();  // address: bytes, of everything the page loaded

before(async () => {
  server = await serve(web);
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    userDataDir: path.join(scratch, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--autoplay-policy=no-user-gesture-required'],
  });
  page = await browser.newPage();
  await page.setViewport({ width: 820, height: 900 });
  page.on('response', async (response) => {
    downloaded.set(response.url(), (await response.buffer().catch(() => [])).length);
  });
  await page.goto(server.url);
});

after(async () => {
  await browser?.close();
  server?.stop();
  fs.rmSync(scratch, { recursive: true, force: true });
});

const seekValue = () => page.$eval('#seek', (seek) => Number(seek.value));
const peak = () => page.$eval('#meter', (meter) => Number(meter.dataset.peak));

async function upload(file) {
  const input = await page.$('#file');
  await input.uploadFile(file);
}

test('a module opened through the file input plays, seeks and mutes', async () => {
  await upload(path.join(web, 'demo.q7m'));
  await page.waitForSelector('#info:not([hidden])');
  assert.equal(await page.$eval('#title', (title) => title.textContent), 'demo.q7m');
  const channels = await page.$$('#channels button');
  assert.ok(channels.length > 1);

  await page.click('#play');
  await page.waitForFunction(() => Number(document.querySelector('#seek').value) > 1.5);
  await page.waitForFunction(() => Number(document.querySelector('#meter').dataset.peak) > 0.01);
  if (process.env.WB_SCREENSHOT) await page.screenshot({ path: process.env.WB_SCREENSHOT });

  await page.$eval('#seek', (seek) => {
    seek.value = 20;
    seek.dispatchEvent(new Event('input'));
    seek.dispatchEvent(new Event('change'));
  });
  await page.waitForFunction(() => Number(document.querySelector('#seek').value) >= 20);
  assert.ok(await seekValue() < 25);

  // Every channel muted: the reverb and delay get nothing more, so once
  // their echoes have died away the output stays silent (a second of zero
  // peaks) while the position goes on.
  for (const button of channels) await button.click();
  const mutedAt = await seekValue();
  let silentReports = 0;
  for (let waited = 0; silentReports < 10; waited += 100) {
    assert.ok(waited < 30000, 'the output did not fall silent');
    await new Promise((resolve) => setTimeout(resolve, 100));
    silentReports = await peak() === 0 ? silentReports + 1 : 0;
  }
  assert.ok(await seekValue() > mutedAt + 1);

  const pageBytes = [...downloaded].filter(([url]) => !url.endsWith('/demo.q7m'))
    .reduce((sum, [, bytes]) => sum + bytes, 0);
  assert.ok(pageBytes > 50000 && pageBytes < 400 * 1024, `the page is ${pageBytes} bytes`);

  // A phone's width: nothing sticks out sideways.
  await page.setViewport({ width: 360, height: 740, isMobile: true });
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth) <= 360);
});

test('a broken file is refused with the reason', async () => {
  const broken = path.join(scratch, 'broken.q7m');
  fs.writeFileSync(broken, Buffer.from([0x60, 0, 0, 0, 1]));
  await upload(broken);
  await page.waitForSelector('#message:not([hidden])');
  const message = await page.$eval('#message', (element) => element.textContent);
  assert.match(message, /^broken\.q7m: not a valid module: /);
});
