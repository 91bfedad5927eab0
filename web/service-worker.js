// Keeps the page's files so that it runs offline, as an installed app does.
// Each request for one of them goes to the network first, so a running server
// always serves the newest page (and refreshes the kept copy); without one, the
// kept copy answers. Copies are kept under the address without its query, so
// that every community and seed opens offline and the cache does not grow.
'use strict';

const kCache = 'lumivor';
const kFiles = ['index.html', 'gallery.html', 'page.js', 'lumivor.css', 'lumivor.js',
                'lumivor.wasm', 'lumivor.webmanifest', 'icon-192.png', 'icon-512.png'];

self.addEventListener('install', (event) => {
    event.waitUntil(caches.open(kCache)
                        .then((cache) => cache.addAll(kFiles))
                        .then(() => self.skipWaiting()));
});

// The page that installed this worker is served by it from now on, not only after a reload.
self.addEventListener('activate', (event) => event.waitUntil(self.clients.claim()));

self.addEventListener('fetch', (event) => {
    const request = event.request;
    const url = new URL(request.url);
    if (request.method !== 'GET' || url.origin !== location.origin) return;
    url.search = '';
    event.respondWith(fetch(request).then(
        (response) => {
            if (response.ok) {
                const copy = response.clone();
                event.waitUntil(caches.open(kCache).then((cache) => cache.put(url, copy)));
            }
            return response;
        },
        () => caches.match(url).then((kept) => kept || Response.error())));
});
