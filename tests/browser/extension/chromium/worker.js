// Service worker of the Chromium test extension (a module): config.js is written by the
// driver, tessiva-client.js copied from client/ beside the shared scripts.
import './config.js';
import './pattern.js';
import './scenarios.js';
