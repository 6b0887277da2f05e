// The installed host's bookkeeping without a wrapper: its processes are found by their
// program file, also once that file was replaced, and the walk after an uninstall tells
// the user's own data (kept) from what should have gone.
//   node --test tests/browser/driver/test/
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn } = require('node:child_process');
const { InstalledHost } = require('../lib/hosts');
const processes = require('../lib/processes');

function scratch(t) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessiva-installed-test-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  return dir;
}

test('host processes are found by their program, in the order they started, also after an update', async (t) => {
  const home = path.join(scratch(t), 'home');
  const host = new InstalledHost('/bin/true', home);
  fs.mkdirSync(path.dirname(host.program), { recursive: true });
  fs.copyFileSync('/bin/sleep', host.program);
  fs.chmodSync(host.program, 0o755);
  host.prepareRun(path.join(home, '..', 'run'));
  t.after(() => host.stop());
  const mark = host.mark();
  assert.strictEqual(mark, 0);

  const first = spawn(host.program, ['30'], { stdio: 'ignore' });
  t.after(() => processes.end(first.pid, null, 100));
  await processes.sleep(100);
  // An update renames a new file over the program while the old host still runs.
  fs.copyFileSync('/bin/sleep', `${host.program}.new`);
  fs.renameSync(`${host.program}.new`, host.program);
  const second = spawn(host.program, ['30'], { stdio: 'ignore' });
  t.after(() => processes.end(second.pid, null, 100));
  await processes.sleep(100);

  assert.deepStrictEqual(host.pidsSince(mark).map((p) => [p.pid, p.args]), [[first.pid, '30'], [second.pid, '30']]);
  assert.deepStrictEqual(host.pidsSince(1).map((p) => p.pid), [second.pid]);
  const other = spawn('/bin/sleep', ['30'], { stdio: 'ignore' });
  t.after(() => processes.end(other.pid, null, 100));
  first.kill();
  await processes.waitGone(host.pidsSince(0).slice(0, 1), 2000);
  assert.deepStrictEqual(host.leftOver().map((p) => p.pid), [second.pid], 'the same program elsewhere is not ours');
  assert.match(host.report(() => 'hello').join('\n'), new RegExp(`host pid ${first.pid} first seen during hello, ended`));
});

test('after an uninstall only settings, saved files and partial files may stay', (t) => {
  const home = path.join(scratch(t), 'home');
  const host = new InstalledHost('/bin/true', home);
  const files = {
    '.config/tessiva/config.json': false,
    '.cache/tessiva/transfers/a.part': false,
    'Documents/Tessiva/report.pdf': false,
    '.config/chromium/Default/Preferences': false,
    '.mozilla/firefox/profiles.ini': false,
    '.config/chromium/NativeMessagingHosts/com.orbelle.tessiva.json': true,
    '.local/lib/tessiva': true,
    '.var/app/org.example.Browser/config/BraveSoftware/NativeMessagingHosts/com.orbelle.tessiva.json': true,
  };
  for (const name of Object.keys(files)) {
    fs.mkdirSync(path.dirname(path.join(home, name)), { recursive: true });
    fs.writeFileSync(path.join(home, name), '');
  }
  const want = Object.entries(files).filter(([, left]) => left).map(([name]) => path.join(home, name)).sort();
  assert.deepStrictEqual(host.leftFiles().sort(), want);
});
