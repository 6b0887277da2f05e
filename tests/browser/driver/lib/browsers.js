// Starting the two browsers with the test extension and the host registered, each with
// a private profile (and, for Firefox, a private HOME, where it looks for native
// messaging manifests). Returns a handle whose close() ends the browser by its PID.
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const crypto = require('node:crypto');
const { spawn } = require('node:child_process');
const processes = require('./processes');
const { HOST_NAME } = require('./hosts');

const EXTENSION = path.resolve(__dirname, '..', '..', 'extension');
// The client library, copied into every run's extension as it is shipped.
const CLIENT = path.resolve(__dirname, '..', '..', '..', '..', 'client', 'tessiva-client.js');
const FIREFOX_EXTENSION_ID = 'tessiva@orbelle.software';
const CHROMIUM = process.env.TESSIVA_CHROMIUM || '/usr/bin/chromium';
const FIREFOX = process.env.TESSIVA_FIREFOX || '/usr/bin/firefox-esr';

/** The extension id that Chromium derives from the manifest's "key". */
function chromiumExtensionId() {
  const manifest = JSON.parse(fs.readFileSync(path.join(EXTENSION, 'chromium', 'manifest.json'), 'utf8'));
  const hash = crypto.createHash('sha256').update(Buffer.from(manifest.key, 'base64')).digest('hex').slice(0, 32);
  return [...hash].map((digit) => String.fromCharCode(97 + parseInt(digit, 16))).join('');
}

/**
 * The origins that the build of `hostExe` admits (the list its build wrote beside it,
 * the same list its installer writes into "allowed_origins"). The test extension must
 * be one of them, or the browser would refuse it as it refuses a user's.
 */
function admittedOrigins(hostExe) {
  const listed = path.join(path.dirname(hostExe), 'chromium_extension_ids.txt');
  const ids = fs.readFileSync(listed, 'utf8').split(/\s+/).filter(Boolean);
  const ours = chromiumExtensionId();
  if (!ids.includes(ours)) {
    throw new Error(`the host build admits ${ids.join(', ')} but the test extension's id is ${ours} (${listed})`);
  }
  return ids.map((id) => `chrome-extension://${id}/`);
}

/**
 * Copies one browser's flavour of the extension, the client library and config.js into
 * `target`.
 */
function buildExtension(flavour, target, settings) {
  fs.mkdirSync(target, { recursive: true });
  for (const folder of [path.join(EXTENSION, flavour), path.join(EXTENSION, 'shared')]) {
    for (const name of fs.readdirSync(folder)) fs.copyFileSync(path.join(folder, name), path.join(target, name));
  }
  fs.copyFileSync(CLIENT, path.join(target, path.basename(CLIENT)));
  fs.writeFileSync(path.join(target, 'config.js'),
    `// Written by the test driver for one run.\nglobalThis.TESSIVA_TEST = ${JSON.stringify(settings)};\n`);
  return target;
}

function hostManifest(wrapper, allowed) {
  return JSON.stringify({
    name: HOST_NAME,
    description: 'Tessiva (browser test run)',
    path: wrapper,
    type: 'stdio',
    ...allowed,
  }, null, 2);
}

const shellQuote = (text) => `'${String(text).replace(/'/g, "'\\''")}'`;

const CHROMIUM_ARGS = [
  '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
  '--disable-sync', '--no-first-run', '--no-default-browser-check', '--disable-dev-shm-usage',
];

/**
 * `home` (a host installed into a HOME of its own) runs the browser with that HOME and,
 * for Chromium, its default user data folder there, $XDG_CONFIG_HOME/chromium, whose
 * NativeMessagingHosts folder the installer wrote; otherwise the run's wrapper is
 * registered by a manifest of the test.
 */
async function launchChromium({ runDir, wrapper, hostExe, home: installedHome, settings, log, browserLog }) {
  const { chromium } = require('playwright-core');
  // A profile that is used again keeps the unpacked extension's folder from before, so the
  // installed host's runs share one (each run writes its own config.js into it).
  const ext = buildExtension('chromium', installedHome ? `${installedHome}-chromium-extension` : path.join(runDir, 'extension'), settings);
  const home = installedHome || path.join(runDir, 'browser-home');
  const profile = installedHome ? path.join(home, '.config', 'chromium') : path.join(runDir, 'chromium-profile');
  admittedOrigins(hostExe);
  if (installedHome) {
    // Each run starts from a fresh profile, apart from the installer's manifests: in a
    // profile used before, the extension is not newly installed and its service worker
    // would not start.
    let names = [];
    try { names = fs.readdirSync(profile); } catch { /* first run */ }
    for (const name of names) {
      if (name !== 'NativeMessagingHosts') fs.rmSync(path.join(profile, name), { recursive: true, force: true });
    }
  } else {
    const hosts = path.join(profile, 'NativeMessagingHosts');
    fs.mkdirSync(hosts, { recursive: true });
    fs.writeFileSync(path.join(hosts, `${HOST_NAME}.json`),
      hostManifest(wrapper, { allowed_origins: admittedOrigins(hostExe) }));
  }
  fs.mkdirSync(home, { recursive: true });
  // Without a host wrapper, the hosts' standard error is the browser's, which Playwright
  // reads and drops: a start script sends it to the run's log instead (the browser still
  // talks to Playwright over its own pipe).
  let executable = CHROMIUM;
  if (installedHome) {
    const errorLog = path.join(runDir, 'chromium.log');
    browserLog?.(errorLog);
    executable = path.join(runDir, 'chromium-start.sh');
    fs.writeFileSync(executable, `#!/bin/sh\nexec ${shellQuote(CHROMIUM)} "$@" 2>> ${shellQuote(errorLog)}\n`, { mode: 0o755 });
  }
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: executable,
    headless: true,
    args: [...CHROMIUM_ARGS, `--disable-extensions-except=${ext}`, `--load-extension=${ext}`],
    ignoreDefaultArgs: ['--disable-extensions'],
    env: { ...process.env, HOME: home, XDG_CONFIG_HOME: path.join(home, '.config'), XDG_CACHE_HOME: path.join(home, '.cache') },
    timeout: 60000,
  });
  // Playwright starts the browser as a child of this process; its PID is kept so that a
  // browser that does not close can be ended.
  const pids = processes.childrenWith(process.pid, profile).map((pid) => ({ pid, start: processes.startTime(pid) }));
  for (const p of pids) processes.track(p.pid, p.start);
  context.on('console', (message) => log(`console: ${message.text()}`));
  return {
    name: 'chromium',
    exited: new Promise((resolve) => context.on('close', () => resolve('the browser closed'))),
    async close() {
      const closed = await Promise.race([context.close().then(() => true, () => false), processes.sleep(10000).then(() => false)]);
      if (!closed) for (const p of pids) await processes.end(p.pid, p.start);
    },
  };
}

const FIREFOX_PREFS = {
  'xpinstall.signatures.required': false,
  'extensions.autoDisableScopes': 0,
  'extensions.enabledScopes': 15,
  'extensions.update.enabled': false,
  'extensions.getAddons.cache.enabled': false,
  'extensions.blocklist.enabled': false,
  'app.update.auto': false,
  'app.update.enabled': false,
  'app.normandy.enabled': false,
  'browser.shell.checkDefaultBrowser': false,
  'browser.startup.homepage_override.mstone': 'ignore',
  'browser.aboutwelcome.enabled': false,
  'browser.newtabpage.enabled': false,
  'browser.safebrowsing.malware.enabled': false,
  'browser.safebrowsing.phishing.enabled': false,
  'browser.safebrowsing.downloads.enabled': false,
  'datareporting.policy.dataSubmissionEnabled': false,
  'datareporting.healthreport.uploadEnabled': false,
  'toolkit.telemetry.enabled': false,
  'toolkit.telemetry.reportingpolicy.firstRun': false,
  'network.captive-portal-service.enabled': false,
  'network.connectivity-service.enabled': false,
  'browser.tabs.remote.autostart': true,
};

async function launchFirefox({ runDir, wrapper, home: installedHome, settings, log, browserLog }) {
  const profile = path.join(runDir, 'firefox-profile');
  // An unpacked extension in the profile's extensions folder, named by its id, is
  // installed at start; the preferences above let it run unsigned and without asking.
  buildExtension('firefox', path.join(profile, 'extensions', FIREFOX_EXTENSION_ID), settings);
  fs.writeFileSync(path.join(profile, 'user.js'), Object.entries(FIREFOX_PREFS)
    .map(([key, value]) => `user_pref(${JSON.stringify(key)}, ${JSON.stringify(value)});`).join('\n'));
  const home = installedHome || path.join(runDir, 'browser-home');
  if (!installedHome) {
    const folder = path.join(home, '.mozilla', 'native-messaging-hosts');
    fs.mkdirSync(folder, { recursive: true });
    fs.writeFileSync(path.join(folder, `${HOST_NAME}.json`),
      hostManifest(wrapper, { allowed_extensions: [FIREFOX_EXTENSION_ID] }));
  }
  // Firefox's output, and with it the standard error of the hosts it starts.
  browserLog?.(path.join(runDir, 'firefox.log'));
  const output = fs.openSync(path.join(runDir, 'firefox.log'), 'a');
  const child = spawn(FIREFOX, ['-headless', '-no-remote', '-profile', profile, 'about:blank'], {
    env: {
      ...process.env,
      HOME: home,
      XDG_CONFIG_HOME: path.join(home, '.config'),
      XDG_CACHE_HOME: path.join(home, '.cache'),
      MOZ_CRASHREPORTER_DISABLE: '1',
      MOZ_DISABLE_AUTO_SAFE_MODE: '1',
    },
    stdio: ['ignore', output, output],
  });
  fs.closeSync(output);
  const pid = child.pid;
  const start = processes.startTime(pid);
  processes.track(pid, start);
  const exited = new Promise((resolve) => {
    child.on('exit', (code, signal) => resolve(`firefox exited (${signal || code})`));
    child.on('error', (error) => resolve(`cannot start firefox: ${error.message}`));
  });
  log(`firefox pid ${pid}`);
  return {
    name: 'firefox',
    exited,
    async close() { await processes.end(pid, start, 5000); },
  };
}

module.exports = { launchChromium, launchFirefox, chromiumExtensionId, CHROMIUM, FIREFOX };
