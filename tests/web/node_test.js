// The WebAssembly module under Node: every reference run reproduced (standard
// output and error, the display habitat's hash, the final-state line), and a
// world too large for memory refused with a reason while the module goes on.
//
//   node tests/web/node_test.js build/web/lumivor.js DIR_OF_REFERENCE_RUNS
'use strict';

const fs = require('fs');
const path = require('path');

const [modulePath, goldenDir] = process.argv.slice(2);
if (!modulePath || !goldenDir) {
    console.error('usage: node node_test.js lumivor.js REFERENCE_DIR');
    process.exit(2);
}
const createLumivor = require(path.resolve(modulePath));
// Handing the module its bytes keeps the loader from fetching a file path,
// which newer Node versions refuse.
const wasmBinary = fs.readFileSync(path.resolve(modulePath).replace(/\.js$/, '.wasm'));

// 64-bit FNV-1a over the pixel bytes of a binary PPM (header: magic, width,
// height, maximum, each followed by white space; comment lines skipped).
function ppmPixelHash(file) {
    const bytes = fs.readFileSync(file);
    let pos = 0;
    let fields = 0;
    const space = (b) => b === 0x20 || (b >= 0x09 && b <= 0x0d);
    while (fields < 4) {
        if (fields > 0) while (space(bytes[pos])) pos++;
        if (bytes[pos] === 0x23) {  // '#': a comment to the end of the line
            while (bytes[pos] !== 0x0a) pos++;
            continue;
        }
        while (!space(bytes[pos])) pos++;
        fields++;
    }
    pos++;  // the single white-space byte before the pixels
    let hash = 0xcbf29ce484222325n;
    for (let i = pos; i < bytes.length; i++) {
        hash = ((hash ^ BigInt(bytes[i])) * 0x100000001b3n) & 0xffffffffffffffffn;
    }
    return hash.toString(16).padStart(16, '0');
}

async function runCase(c) {
    const out = [];
    const err = [];
    const m = await createLumivor({
        wasmBinary,
        print: (line) => out.push(line),
        printErr: (line) => err.push(line),
    });
    if (!m.ccall('lumivor_start', 'number', ['number', 'number', 'number', 'string'],
                 [c.width, c.height, c.preset, c.seed])) {
        return [`start failed: ${m.UTF8ToString(m._lumivor_message())}`];
    }
    for (let t = 1; t < c.ticks; t++) m._lumivor_tick();
    const digest = m.UTF8ToString(m._lumivor_digest());
    out.push(m.UTF8ToString(m._lumivor_final_state()));
    const base = path.join(goldenDir, c.name);
    const failures = [];
    const wantOut = fs.readFileSync(base + '.out', 'utf8');
    const gotOut = out.join('\n') + '\n';
    if (gotOut !== wantOut) {
        const got = gotOut.split('\n');
        const want = wantOut.split('\n');
        const i = got.findIndex((line, k) => line !== want[k]);
        failures.push(`standard output differs at line ${i + 1}:\n  got  ${got[i]}\n  want ${want[i]}`);
    }
    const wantErr = fs.readFileSync(base + '.err', 'utf8');
    if (err.join('\n') + '\n' !== wantErr) failures.push(`standard error differs: ${err.join(' | ')}`);
    const wantDigest = ppmPixelHash(base + '.ppm');
    if (digest !== wantDigest) failures.push(`habitat hash ${digest}, reference ${wantDigest}`);
    return failures;
}

// 16384 x 16384 needs more than the 2 GiB a module may have: the start must fail
// with a message, and a small world must still run afterwards.
async function checkTooLarge() {
    const m = await createLumivor({wasmBinary, print: () => {}, printErr: () => {}});
    const start = (w, h) => m.ccall('lumivor_start', 'number',
                                    ['number', 'number', 'number', 'string'], [w, h, 3, '5']);
    const failures = [];
    if (start(16384, 16384) !== 0 || !/memory/.test(m.UTF8ToString(m._lumivor_message()))) {
        failures.push(`a 16384x16384 world was not refused (${m.UTF8ToString(m._lumivor_message())})`);
    }
    if (start(64, 48) !== 1) failures.push('no world after a refused one');
    m._lumivor_tick();
    if (m._lumivor_dirty_count() < 1) failures.push('the world after a refused one does not run');
    return failures;
}

async function main() {
    const lines = fs.readFileSync(path.join(goldenDir, 'cases.tsv'), 'utf8').trim().split('\n');
    let failed = 0;
    for (const line of lines.slice(1)) {
        const [name, preset, seed, size, ticks] = line.split('\t');
        const [width, height] = size.split('x').map(Number);
        const c = {name, preset: Number(preset), seed, width, height, ticks: Number(ticks)};
        const failures = await runCase(c);
        if (failures.length > 0) {
            failed++;
            console.log(`FAIL ${name}\n  ${failures.join('\n  ')}`);
        }
    }
    const memory = await checkTooLarge();
    if (memory.length > 0) {
        failed++;
        console.log(`FAIL memory\n  ${memory.join('\n  ')}`);
    }
    const total = lines.length - 1;
    console.log(`web node: ${total} reference runs and the memory check, ${failed} failed`);
    process.exit(failed === 0 && total > 0 ? 0 : 1);
}

main().catch((e) => {
    console.error(`web node: ${e && e.stack ? e.stack : e}`);
    process.exit(1);
});
