// Prepended to zqasm.js, the command line for Node. What the Node runtime of the module
// does not do as the native tool needs:
// - standard output and error count as terminals only when they are (else colour codes
//   would go into a pipe);
// - the file system calls made while looking for a file stay cheap (see below);
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
  // A Node error as the runtime's own, whose number the C library sees as errno.
  function rethrow(e) {
    if (e && e.code && ERRNO_CODES[e.code] !== undefined) throw new FS.ErrnoError(ERRNO_CODES[e.code]);
    throw e;
  }

  // Directory listings: for each entry the runtime looks the name up (two lstat calls)
  // only to learn its type, which the listing itself gives. The types of the last listing
  // of each directory answer those lookups.
  var listedModes = new Map();  // directory path -> Map(entry name -> mode)
  var S_IFDIR = 16384, S_IFLNK = 40960, S_IFCHR = 8192, S_IFREG = 32768;
  var entryNumber = 0;
  FS.readdir = function (path) {
    var entries;
    try {
      entries = zqasmNodeFs.readdirSync(path, {withFileTypes: true});
    } catch (e) {
      rethrow(e);
    }
    var modes = new Map();
    var names = ['.', '..'];
    for (var i = 0; i < entries.length; ++i) {
      var entry = entries[i];
      names.push(entry.name);
      modes.set(entry.name, entry.isDirectory() ? S_IFDIR
                            : entry.isSymbolicLink() ? S_IFLNK
                            : entry.isCharacterDevice() ? S_IFCHR : S_IFREG);
    }
    listedModes.set(path, modes);
    return names;
  };
  var lookupNode = FS.lookupNode;
  FS.lookupNode = function (parent, name) {
    var modes = parent && listedModes.get(parent.path);
    var mode = modes && modes.get(name);
    if (mode === undefined) return lookupNode.apply(this, arguments);
    return {id: ++entryNumber, mode: mode, node_ops: parent.node_ops, path: parent.path + '/' + name};
  };

  // A missing name is the common answer while the library looks for a file under several
  // spellings, and realpath asks readlink of every component: Node reports both by
  // throwing an error with its stack, far dearer than the call. These ask without that.
  function statWith(nodeStat) {
    return function (path) {
      var info;
      try {
        info = nodeStat(path, {throwIfNoEntry: false});
      } catch (e) {
        rethrow(e);
      }
      if (info === undefined) throw new FS.ErrnoError(ERRNO_CODES.ENOENT);
      return info;
    };
  }
  FS.stat = statWith(zqasmNodeFs.statSync);
  FS.lstat = statWith(zqasmNodeFs.lstatSync);
  var readlink = FS.readlink;
  FS.readlink = function (path) {
    if (!FS.lstat(path).isSymbolicLink()) throw new FS.ErrnoError(ERRNO_CODES.EINVAL);
    return readlink.apply(this, arguments);
  };
});
