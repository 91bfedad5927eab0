// Lumivor in the browser: the saver full-window (index.html), its check mode,
// and the gallery of the ten communities (gallery.html). The saver runs in the
// WebAssembly module (lumivor.js): its rhythm, its start, its cadence and its
// picture. This script sizes the canvases, runs the ticks the module says are
// due on each animation frame and shows the picture the module paints. It also
// makes the page an app that runs offline (service-worker.js).
'use strict';

(() => {
    const kGalleryWidth = 320;     // CSS pixels of a gallery canvas
    const kGalleryHeight = 200;

    const errorBox = document.getElementById('error');
    function showError(text) {
        errorBox.textContent = 'Lumivor: ' + text;
        errorBox.hidden = false;
    }

    // Hands the address's parameters to the module, which reads them with the
    // command line's own rules. Returns '' or the reason they were refused.
    function readQuery(m, search) {
        for (const [name, value] of new URLSearchParams(search)) {
            const args = [name, value];
            if (!m.ccall('lumivor_query_parameter', 'number', ['string', 'string'], args)) break;
        }
        return m._lumivor_read_query() ? '' : m.UTF8ToString(m._lumivor_message());
    }

    // One world shown on one canvas: the world's bottom-left corner at the
    // canvas's bottom-left corner, as the saver's projection puts it.
    class View {
        constructor(module, canvas) {
            this.m = module;
            this.canvas = canvas;
            this.ctx = canvas.getContext('2d', {alpha: false});
            this.stats = {ticks: 0, simMs: 0, drawMs: 0, uploads: 0, uploadedPixels: 0};
        }

        // Builds the world with the address's community and seed; returns '' or
        // the reason it failed.
        start(width, height) {
            const m = this.m;
            if (!m._lumivor_start(width, height)) return m.UTF8ToString(m._lumivor_message());
            this.width = width;
            this.height = height;
            this.preset = m._lumivor_preset();
            this.seed = m.UTF8ToString(m._lumivor_seed());
            this.name = m.UTF8ToString(m._lumivor_community_name(this.preset));
            const c = m._lumivor_clear_colour();
            this.clearStyle = `rgb(${(c >> 16) & 255}, ${(c >> 8) & 255}, ${c & 255})`;
            this.image = null;
            return '';
        }

        // The module's picture as ImageData, made again when its memory grew.
        imageData() {
            const buffer = this.m.HEAPU8.buffer;
            if (this.image === null || this.imageBuffer !== buffer) {
                const bytes = new Uint8ClampedArray(buffer, this.m._lumivor_picture(),
                                                    this.width * this.height * 4);
                this.image = new ImageData(bytes, this.width, this.height);
                this.imageBuffer = buffer;
            }
            return this.image;
        }

        clear() {
            this.ctx.fillStyle = this.clearStyle;
            this.ctx.fillRect(0, 0, this.canvas.width, this.canvas.height);
        }

        // The canvas was resized (which blanks it): the module's next tick
        // clears the picture, and the world goes on at its own size.
        resized() {
            this.m._lumivor_surface_changed();
            this.clear();
        }

        tick() {
            this.stats.ticks++;
            const t0 = performance.now();
            // A tick that only cleared the picture clears the canvas around the world too.
            if (this.m._lumivor_tick()) this.clear();
            const t1 = performance.now();
            this.upload();
            this.stats.simMs += t1 - t0;
            this.stats.drawMs += performance.now() - t1;
        }

        // Only the tiles the tick changed go to the canvas.
        upload() {
            const n = this.m._lumivor_changed_count();
            if (n === 0) return;
            const image = this.imageData();
            const rects =
                new Int32Array(this.m.HEAPU8.buffer, this.m._lumivor_changed_rects(), n * 4);
            const dy = this.canvas.height - this.height;
            for (let i = 0; i < n * 4; i += 4) {
                this.ctx.putImageData(image, 0, dy, rects[i], rects[i + 1], rects[i + 2], rects[i + 3]);
                this.stats.uploadedPixels += rects[i + 2] * rects[i + 3];
            }
            this.stats.uploads += n;
        }

        showAll() {
            this.ctx.putImageData(this.imageData(), 0, this.canvas.height - this.height);
        }
    }

    // Calls tickAll as often as the module's tick clock (that of module m)
    // says, on animation frames. A hidden page stops; when it returns, it goes
    // on from there, without backlog.
    function runTicks(m, tickAll) {
        let restart = true;
        let running = false;
        function frame(now) {
            if (document.hidden) {
                running = false;
                return;
            }
            if (restart) m._lumivor_clock_restart(now);
            restart = false;
            for (let n = m._lumivor_ticks_due(now); n > 0; n--) tickAll();
            requestAnimationFrame(frame);
        }
        function resume() {
            if (running || document.hidden) return;
            running = true;
            restart = true;
            requestAnimationFrame(frame);
        }
        document.addEventListener('visibilitychange', resume);
        resume();
    }

    function enterFullScreen() {
        const root = document.documentElement;
        if (document.fullscreenElement || !root.requestFullscreen) return;
        root.requestFullscreen().catch((e) => console.warn('Lumivor: no full screen: ' + e.message));
    }

    // Check mode: exactly `ticks` ticks of the module at once, the final
    // picture shown, and the display habitat's hash and the final state
    // written for tests.
    function runCheck(m, canvas, [width, height, ticks]) {
        const dpr = window.devicePixelRatio || 1;
        canvas.width = width;
        canvas.height = height;
        canvas.style.width = width / dpr + 'px';
        canvas.style.height = height / dpr + 'px';
        const view = new View(m, canvas);
        window.lumivorView = view;  // for tests: the module is view.m
        const error = view.start(width, height);
        if (error) return showError(error);
        for (let t = 0; t < ticks; t++) m._lumivor_tick();
        view.clear();
        view.showAll();
        const digest = m.UTF8ToString(m._lumivor_digest());
        const final = m.UTF8ToString(m._lumivor_final_state());
        document.getElementById('digest').textContent = digest;
        document.getElementById('final').textContent = final;
        window.lumivorCheck = {digest, final};
    }

    // The saver: a world at the canvas's size in device pixels, so that one
    // cell is one device pixel.
    function runSaver(m, canvas) {
        const view = new View(m, canvas);
        window.lumivorStats = view.stats;
        window.lumivorView = view;  // for tests and the curious: the module is view.m
        let state = 'waiting';  // for the first size; then 'running' or 'failed'
        function sized(width, height) {
            if (state === 'waiting') {
                [canvas.width, canvas.height] = [width, height];
                const error = view.start(width, height);
                state = error ? 'failed' : 'running';
                if (error) return showError(error);
                document.title = `Lumivor: ${view.name}`;
                window.lumivorWorld = {width, height, preset: view.preset, seed: view.seed};
                runTicks(m, () => view.tick());
            } else if (state === 'running' && (width !== canvas.width || height !== canvas.height)) {
                [canvas.width, canvas.height] = [width, height];
                view.resized();
            }
        }
        const dprSize = (css) => Math.max(1, Math.round(css * (window.devicePixelRatio || 1)));
        const observer = new ResizeObserver((entries) => {
            const e = entries[entries.length - 1];
            if (e.devicePixelContentBoxSize) {
                const box = e.devicePixelContentBoxSize[0];
                sized(Math.max(1, box.inlineSize), Math.max(1, box.blockSize));
            } else {
                sized(dprSize(e.contentRect.width), dprSize(e.contentRect.height));
            }
        });
        try {
            observer.observe(canvas, {box: 'device-pixel-content-box'});
        } catch (e) {
            observer.observe(canvas);  // a browser without device-pixel boxes
        }
        canvas.addEventListener('click', enterFullScreen);
        document.addEventListener('keydown', (e) => {
            if (e.ctrlKey || e.metaKey || e.altKey) return;  // the browser's own shortcuts
            if (e.key === 'f' || e.key === 'F') enterFullScreen();
            else if (e.key === 'Escape' && document.fullscreenElement) document.exitFullscreen();
        });
    }

    // The gallery: one module instance per community (the world is one per
    // instance), all from the same clock reading, each a link to itself full-window.
    async function runGallery() {
        const holder = document.getElementById('communities');
        const dpr = window.devicePixelRatio || 1;
        const seed = String(Math.floor(Date.now() / 1000));
        const views = [];
        for (let n = 0; n < 10; n++) {
            const canvas = document.createElement('canvas');
            canvas.width = Math.round(kGalleryWidth * dpr);
            canvas.height = Math.round(kGalleryHeight * dpr);
            canvas.style.width = canvas.width / dpr + 'px';
            canvas.style.height = canvas.height / dpr + 'px';
            const view = new View(await createLumivor(), canvas);
            const error = readQuery(view.m, `preset=${n}&seed=${seed}`) ||
                          view.start(canvas.width, canvas.height);
            if (error) return showError(error);
            const link = document.createElement('a');
            link.href = `index.html?preset=${n}&seed=${seed}`;
            link.title = `Run ${view.name} full-window`;
            const caption = document.createElement('span');
            caption.textContent = `${n} ${view.name}`;
            link.append(canvas, caption);
            holder.append(link);
            views.push(view);
        }
        window.lumivorStats = views.map((v) => v.stats);
        runTicks(views[0].m, () => views.forEach((v) => v.tick()));
    }

    async function main() {
        // The page as an app: its files kept for offline use (a page whose
        // browser keeps none simply runs online).
        if ('serviceWorker' in navigator) {
            navigator.serviceWorker.register('service-worker.js')
                .catch((e) => console.warn('Lumivor: no offline use: ' + e.message));
        }
        if (typeof createLumivor !== 'function') return showError('lumivor.js did not load');
        if (document.body.dataset.page === 'gallery') return runGallery();
        const m = await createLumivor();
        const error = readQuery(m, location.search);
        if (error) return showError(error);
        const check = Array.from(new Int32Array(m.HEAPU8.buffer, m._lumivor_check_run(), 3));
        const canvas = document.getElementById('screen');
        if (check[2] > 0) runCheck(m, canvas, check);
        else runSaver(m, canvas);
    }

    main().catch((e) => showError(String(e && e.message ? e.message : e)));
})();
