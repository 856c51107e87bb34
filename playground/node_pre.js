// Prepended to zqasm.js, the command line for Node. Three things the Node runtime of the
// module does not do as the native tool needs:
// - standard output and error count as terminals only when they are (else colour codes
//   would go into a pipe);
// - the writes of an output file, which the C library hands over a kilobyte at a time, are
//   gathered and written to the file in large pieces (each write is a call into Node);
// - the module is compiled by the baseline compiler alone: a run is over before the
//   optimising compiler's work would pay for itself.
var zqasmNodeFs = require('fs');
require('v8').setFlagsFromString('--liftoff-only --no-wasm-lazy-compilation');

// The standard streams exist once the runtime is up, just before main runs.
Module['onRuntimeInitialized'] = function () {
  var tty = require('tty');
  for (var fd = 0; fd < 3; ++fd) {
    if (FS.streams[fd]) FS.streams[fd].tty = tty.isatty(fd);
  }
};

Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {

  // Bytes waiting for a stream opened on the real file system: the first `length` bytes of
  // `buffer`, to be written at file offset `start`.
  var kBatch = 1 << 18;
  var O_APPEND = 1024;
  function rethrow(e) {
    if (e && e.code && ERRNO_CODES[e.code] !== undefined) throw new FS.ErrnoError(ERRNO_CODES[e.code]);
    throw e;
  }
  function flush(stream) {
    var pending = stream.zqasmPending;
    if (!pending || pending.length === 0) return;
    var done = 0;
    try {
      while (done < pending.length) {
        done += zqasmNodeFs.writeSync(stream.nfd, pending.buffer, done, pending.length - done,
                                      pending.start + done);
      }
    } catch (e) {
      stream.zqasmPending = null;
      rethrow(e);
    }
    pending.start += pending.length;
    pending.length = 0;
  }
  function batched(stream, position) {
    return !stream.stream_ops && stream.seekable && stream.nfd !== undefined &&
           !(stream.flags & O_APPEND) && position === undefined;
  }
  // Every other operation on a stream sees its bytes written first.
  function flushingFirst(name) {
    var original = FS[name];
    FS[name] = function (stream) {
      if (stream && stream.zqasmPending) {
        flush(stream);
        stream.zqasmPending = null;
      }
      return original.apply(this, arguments);
    };
  }
  ['close', 'llseek', 'read', 'ftruncate', 'mmap', 'msync'].forEach(flushingFirst);

  var write = FS.write;
  FS.write = function (stream, buffer, offset, length, position, canOwn) {
    if (!batched(stream, position)) return write.apply(this, arguments);
    var pending = stream.zqasmPending;
    if (!pending) {
      pending = stream.zqasmPending = {buffer: Buffer.allocUnsafe(kBatch), length: 0,
                                       start: stream.position};
    }
    if (pending.length + length > kBatch) flush(stream);
    if (length > kBatch) {
      // A piece larger than the batch goes out on its own.
      var done = 0;
      try {
        while (done < length) {
          done += zqasmNodeFs.writeSync(stream.nfd, buffer, offset + done, length - done,
                                        pending.start + done);
        }
      } catch (e) {
        rethrow(e);
      }
      pending.start += length;
    } else {
      pending.buffer.set(buffer.subarray(offset, offset + length), pending.length);
      pending.length += length;
    }
    stream.position += length;
    return length;
  };
});
