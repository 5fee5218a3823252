// Serves a folder with Python's http.server on a free loopback port, as
// `make web` does; resolves to { url, stop }.
import { spawn } from 'node:child_process';

export function serve(folder) {
  const server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1',
    '--directory', folder], { stdio: ['ignore', 'pipe', 'ignore'] });
  return new Promise((resolve, reject) => {
    let heard = '';
    server.on('error', reject);
    server.on('exit', (code) => reject(new Error(`http.server exited with ${code}`)));
    server.stdout.on('data', (chunk) => {
      heard += chunk;
      const port = /port (\d+)/.exec(heard)?.[1];
      if (port) resolve({ url: `http://127.0.0.1:${port}/`, stop: () => server.kill() });
    });
  });
}
