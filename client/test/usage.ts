// Compiled by `tsc --noEmit` only: the declarations describe a usable API, and misuse is
// refused (each @ts-expect-error must meet an error, or tsc fails).
import { TessivaClient, HostError, ConnectionError, type Target } from '../tessiva-client.js';

export async function example(blob: Blob, stream: ReadableStream<Uint8Array>): Promise<string[]> {
  const client = new TessivaClient({ timeoutMs: 5000 });
  const hello = await client.connect();
  const platform: 'windows' | 'linux' = hello.platform;
  const { config } = await client.getConfig();
  const theme: 'system' | 'light' | 'dark' = config.theme;
  await client.setConfig({ version: 1, theme: 'dark' });
  const target: Target = { kind: 'app', app_id: 'editor' };
  const controller = new AbortController();
  const first = await client.saveFile(blob, 'a.bin', {
    target, signal: controller.signal, onProgress: ({ sent, total }) => console.log(sent / total),
  });
  const second = await client.saveFile(stream, 'b.bin', { size: 10 });
  const { handlers } = await client.listHandlers('pdf', { icons: true });
  const picked = await client.pickFolder();
  const folder = 'path' in picked ? picked.path : null;
  try {
    await client.reveal(first);
  } catch (error) {
    if (error instanceof HostError && error.code === 'launch_failed') console.log(error.detail);
    if (error instanceof ConnectionError && error.reason === 'timeout') console.log(error.message);
  }
  // @ts-expect-error a target needs its kind
  await client.openFile('/tmp/x', 'x.txt', { app_id: 'editor' });
  const caught: unknown = new Error('x');
  // @ts-expect-error not an error code of the host
  if (caught instanceof HostError && caught.code === 'nope') return [];
  const report = await client.diagnose();
  return [platform, theme, first, second, handlers[0]?.id ?? '', folder ?? '', String(report.reachable)];
}
