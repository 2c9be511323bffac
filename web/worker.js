// The page's worker: it instantiates the engine's module and does what the
// page asks for, so that the page stays responsive; the page stops a batch
// by terminating its workers. Several play a batch: the page starts it on
// one, has every one play its blocks, and hands what they played to the one
// that started it, in order, which adds them up (page_module.cpp).
//
// In:  {module}                         the compiled module, once
//      {id, run: [word, ...], players}  a command line, as mech-heat takes it:
//                                       a batch is started, to be played by
//                                       `players` workers
//      {id, play: {words, first, end, group}}
//                                       blocks [first, end) of a group of it
//      {id, add: ArrayBuffer}           the tallies of a block played, to add
//      {id, narrate: {design, words}}   a run of a design of a batch: the
//                                       batch's words, then the run's
//      {id, axes: [word, ...]}          the axes a command line sweeps
//      {id, rules: {name, bytes}}       the rules a rules file gives (its name,
//                                       its bytes as a Uint8Array); no bytes:
//                                       the game's
// Out: {type: 'ready', ms}
//      {type: 'result', id, status, ms, message, text, json, svg, command,
//       stage, tallies}                 (the rules or the axes as JSON in json;
//                                       the stage of a batch as JSON; the
//                                       tallies played, an ArrayBuffer)
//      {type: 'failure', id, message, memory}
//                                       the call failed, out of memory when
//                                       `memory`; use a new worker
'use strict';

let engine = null;
const memory = () => engine.memory.buffer;  // views of it go stale when it grows

// What ends a call that needs more memory than the page has: the module's
// operator new finding none, or a part longer than the browser's longest string.
class OutOfMemory extends Error {}
let errorText = '';  // what the module wrote on standard error during the call

// The WASI calls the module imports: text on standard output and error goes
// to the console, there is no environment and no file (no folder is open, so
// a file the module would open, as --rules does, is not found; the page gives
// rules files' texts instead); the clocks are the browser's.
const wasi = {
  fd_write(fd, iovs, count, written) {
    const view = new DataView(memory());
    let total = 0;
    let text = '';
    for (let i = 0; i < count; i++) {
      const data = view.getUint32(iovs + 8 * i, true);
      const size = view.getUint32(iovs + 8 * i + 4, true);
      text += new TextDecoder().decode(new Uint8Array(memory(), data, size));
      total += size;
    }
    if (text) (fd === 2 ? console.error : console.log)(text);
    if (fd === 2) errorText += text;
    view.setUint32(written, total, true);
    return 0;
  },
  fd_seek: () => 70,  // ESPIPE
  fd_close: () => 0,
  fd_read: () => 8,  // EBADF: no descriptor is open for reading
  fd_fdstat_get: () => 8,
  fd_fdstat_set_flags: () => 8,
  fd_prestat_get: () => 8,  // the first descriptor that is no open folder: there is none
  fd_prestat_dir_name: () => 8,
  path_open: () => 44,  // ENOENT
  environ_sizes_get(count, size) {
    const view = new DataView(memory());
    view.setUint32(count, 0, true);
    view.setUint32(size, 0, true);
    return 0;
  },
  environ_get: () => 0,
  clock_time_get(clock, precision, time) {  // nanoseconds: 0 realtime, else monotonic
    const ms = clock === 0 ? Date.now() : performance.timeOrigin + performance.now();
    new DataView(memory()).setBigUint64(time, BigInt(Math.round(ms * 1e6)), true);
    return 0;
  },
  proc_exit(code) { throw new Error(`the module exited with status ${code}`); },
};

const imports = {
  wasi_snapshot_preview1: wasi,
  env: {
    out_of_memory: () => { throw new OutOfMemory('the module found no memory for an allocation'); },
  },
};

const encoder = new TextEncoder();
const decoder = new TextDecoder();

// Calls `call(pointer, size)` with `text` (a string, or bytes) copied into the module's memory.
function withText(text, call) {
  const bytes = typeof text === 'string' ? encoder.encode(text) : text;
  const pointer = engine.mh_alloc(Math.max(bytes.length, 1));
  if (pointer === 0) throw new OutOfMemory('no memory for the command line');
  new Uint8Array(memory(), pointer, bytes.length).set(bytes);
  try {
    return call(pointer, bytes.length);
  } finally {
    engine.mh_free(pointer);
  }
}

const partNames = ['message', 'text', 'json', 'svg', 'command', 'stage', 'tallies'];

function parts() {
  const result = {};
  partNames.forEach((name, index) => {
    const span = engine.mh_part(index);
    const view = new DataView(memory());
    const data = view.getUint32(span, true);
    const size = view.getUint32(span + 4, true);
    if (name === 'tallies') {  // bytes, copied out of the module's memory
      result[name] = new Uint8Array(memory(), data, size).slice().buffer;
      return;
    }
    result[name] = decoder.decode(new Uint8Array(memory(), data, size));
    // The browser decodes a text longer than its longest string as an empty one.
    if (size > 0 && !result[name]) {
      throw new OutOfMemory(`the ${name} has ${size} bytes, too many for a string`);
    }
  });
  return result;
}

let ready = null;

onmessage = async ({ data }) => {
  if (data.module) {
    const start = performance.now();
    ready = WebAssembly.instantiate(data.module, imports).then((instance) => {
      engine = instance.exports;
      engine._initialize();
      postMessage({ type: 'ready', ms: performance.now() - start });
    });
    return;
  }
  errorText = '';
  try {
    await ready;
    const start = performance.now();
    let status;
    const commandLine = (argv) => argv.map((word) => word + '\0').join('');
    if (data.run) {
      status = withText(commandLine(data.run), (pointer, size) =>
        engine.mh_run(pointer, size, data.players ?? 1));
    } else if (data.play) {
      const { words, first, end, group } = data.play;
      status = withText(commandLine(words), (pointer, size) => engine.mh_play(first, end, group, pointer, size));
    } else if (data.add) {
      status = withText(new Uint8Array(data.add), engine.mh_add);
    } else if (data.axes) {
      status = withText(commandLine(data.axes), engine.mh_axes);
    } else if (data.rules) {
      // The file's name, a NUL, then its bytes as they are.
      const name = encoder.encode(data.rules.bytes ? data.rules.name + '\0' : '');
      const file = new Uint8Array(name.length + (data.rules.bytes?.length ?? 0));
      file.set(name);
      if (data.rules.bytes) file.set(data.rules.bytes, name.length);
      status = withText(file, engine.mh_rules);
    } else {
      status = withText(commandLine(data.narrate.words), (pointer, size) =>
        engine.mh_narrate(data.narrate.design, pointer, size));
    }
    const ms = performance.now() - start;
    const answer = { type: 'result', id: data.id, status, ms, ...parts() };
    postMessage(answer, [answer.tallies]);
  } catch (error) {
    // A trap or an abort: the module's memory is left as it was, half changed.
    const outOfMemory = error instanceof OutOfMemory || error instanceof RangeError;
    const message = [errorText.trim(), String(error)].filter(Boolean).join(': ');
    postMessage({ type: 'failure', id: data.id, message, memory: outOfMemory });
  }
};
