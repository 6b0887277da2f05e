// Service worker of the Chromium test extension: config.js is written by the driver.
importScripts('config.js', 'pattern.js', 'scenarios.js');
