// The WebAssembly module under Node, driven as the page drives it: every
// reference run reproduced from its address (standard output and error, the
// display habitat's hash, the final-state line); bad addresses refused with the
// command line's own messages; the cadence the page relies on; a world too
// large for memory refused while the module goes on.
//
//   node tests/web/node_test.js build/web/lumivor.js REFERENCE_DIR NATIVE_LUMIVOR
'use strict';

const fs = require('fs');
const path = require('path');
const {spawnSync} = require('child_process');

const [modulePath, goldenDir, native] = process.argv.slice(2);
if (!native) {
    console.error('usage: node node_test.js lumivor.js REFERENCE_DIR NATIVE_LUMIVOR');
    process.exit(2);
}
const createLumivor = require(path.resolve(modulePath));
// Handing the module its bytes keeps the loader from fetching a file path,
// which newer Node versions refuse.
const wasmBinary = fs.readFileSync(path.resolve(modulePath).replace(/\.js$/, '.wasm'));

let failed = 0;
function check(ok, what) {
    if (!ok) console.log(`FAIL ${what}`);
    failed += ok ? 0 : 1;
}

// The address's parameters handed over as the page hands them; '' or the reason.
function readQuery(m, query) {
    for (const [name, value] of new URLSearchParams(query)) {
        if (!m.ccall('lumivor_query_parameter', 'number', ['string', 'string'], [name, value])) {
            break;
        }
    }
    return m._lumivor_read_query() ? '' : m.UTF8ToString(m._lumivor_message());
}

// 64-bit FNV-1a over the pixels of a binary PPM: its last `count` bytes.
function ppmPixelHash(file, count) {
    const bytes = fs.readFileSync(file);
    let hash = 0xcbf29ce484222325n;
    for (const b of bytes.subarray(bytes.length - count)) {
        hash = ((hash ^ BigInt(b)) * 0x100000001b3n) & 0xffffffffffffffffn;
    }
    return hash.toString(16).padStart(16, '0');
}

// The check mode: the address's size, then its ticks, every one through the module.
async function checkReference(name, query) {
    const [out, err] = [[], []];
    const m = await createLumivor(
        {wasmBinary, print: (l) => out.push(l), printErr: (l) => err.push(l)});
    const refused = readQuery(m, query);
    const [width, height, ticks] = new Int32Array(m.HEAPU8.buffer, m._lumivor_check_run(), 3);
    if (refused || !m._lumivor_start(width, height)) {
        return check(false, `${name}: no run (${m.UTF8ToString(m._lumivor_message())})`);
    }
    for (let t = 0; t < ticks; t++) m._lumivor_tick();
    const digest = m.UTF8ToString(m._lumivor_digest());
    out.push(m.UTF8ToString(m._lumivor_final_state()));
    const base = path.join(goldenDir, name);
    for (const [stream, lines] of [['out', out], ['err', err]]) {
        const want = fs.readFileSync(`${base}.${stream}`, 'utf8');
        check(lines.join('\n') + '\n' === want, `${name}: standard ${stream} differs`);
    }
    const wantDigest = ppmPixelHash(base + '.ppm', width * height * 3);
    check(digest === wantDigest, `${name}: habitat hash ${digest}, reference ${wantDigest}`);
}

// Each address is refused with the message the command line gives for the same
// words. The values go through the command line's option table, whose refusals
// its own tests cover; here the address's decoding, an empty or a repeated
// parameter, and numbers at the limits of the module's 32-bit build. A
// parameter the page does not take is refused by name.
function checkRefusals(m) {
    for (const query of ['seed=%2B5', 'seed=+5', 'seed=5%20', 'seed=', 'seed=1&seed=1',
                         'seed=9223372036854775808', 'size=32769x1']) {
        const got = readQuery(m, query);
        const words = [...new URLSearchParams(query)].flatMap(([k, v]) => [`--${k}`, v]);
        const cli = spawnSync(native, ['render', '--no-gl', '--final-state', ...words],
                              {encoding: 'utf8'});
        const want = cli.stderr.replace(/^lumivor render: (.*) \(see .*\)\n$/, '$1');
        check(cli.status === 2 && got === want,
              `address ${query}: refused with '${got}', the command line with '${want}'`);
    }
    const got = readQuery(m, 'colour=red&preset=1');
    check(got === "unknown parameter 'colour'", `address colour=red: refused with '${got}'`);
}

// 16384 x 16384 needs more than the 2 GiB a module may have: the start must
// fail with a message, and a small world must still run afterwards, its first
// tick after a start or a size change only clearing (1).
function checkTooLarge(m) {
    readQuery(m, 'preset=3&seed=5');
    const refused = !m._lumivor_start(16384, 16384);
    check(refused && /memory/.test(m.UTF8ToString(m._lumivor_message())),
          `a 16384x16384 world was not refused (${m.UTF8ToString(m._lumivor_message())})`);
    const started = m._lumivor_start(64, 48);
    const ticks = [m._lumivor_tick(), m._lumivor_tick(), m._lumivor_changed_count() > 0];
    m._lumivor_surface_changed();
    ticks.push(m._lumivor_tick(), m._lumivor_tick());
    check(started && ticks.join() === '1,0,true,1,0',
          `the world after a refused one: started ${started}, ticks ${ticks}`);
}

async function main() {
    const lines = fs.readFileSync(path.join(goldenDir, 'cases.tsv'), 'utf8').trim().split('\n');
    for (const line of lines.slice(1)) {
        const [name, preset, seed, size, ticks] = line.split('\t');
        await checkReference(name, `preset=${preset}&seed=${seed}&size=${size}&ticks=${ticks}`);
    }
    const m = await createLumivor({wasmBinary, print: () => {}, printErr: () => {}});
    checkRefusals(m);
    checkTooLarge(m);
    console.log(`web node: ${lines.length - 1} reference runs, refusals, memory; ${failed} failed`);
    process.exit(failed === 0 && lines.length > 1 ? 0 : 1);
}

main().catch((e) => {
    console.error(`web node: ${e && e.stack ? e.stack : e}`);
    process.exit(1);
});
