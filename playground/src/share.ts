// The page's state in its address: the sources and settings as JSON, deflated with the
// browser's CompressionStream and written as base64url after "#s=".

export interface SharedState {
  files: Record<string, string>;
  main: string;
  romTop: string;
  tableTop: string;
}

async function throughStream(bytes: Uint8Array, stream: GenericTransformStream): Promise<Uint8Array> {
  const piped = new Blob([bytes]).stream().pipeThrough(stream as any);
  return new Uint8Array(await new Response(piped).arrayBuffer());
}

function toBase64Url(bytes: Uint8Array): string {
  let text = '';
  for (let i = 0; i < bytes.length; i += 0x8000) {
    text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  }
  return btoa(text).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64Url(text: string): Uint8Array {
  const plain = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = new Uint8Array(plain.length);
  for (let i = 0; i < plain.length; ++i) bytes[i] = plain.charCodeAt(i);
  return bytes;
}

export async function encodeState(state: SharedState): Promise<string> {
  const json = new TextEncoder().encode(JSON.stringify(state));
  return 's=' + toBase64Url(await throughStream(json, new CompressionStream('deflate')));
}

// The state in an address fragment ("#s=..."), or null when there is none or it is damaged.
export async function decodeState(fragment: string): Promise<SharedState | null> {
  const m = /^#?s=([A-Za-z0-9_-]+)$/.exec(fragment);
  if (!m) return null;
  try {
    const json = await throughStream(fromBase64Url(m[1]), new DecompressionStream('deflate'));
    const state = JSON.parse(new TextDecoder().decode(json));
    if (typeof state !== 'object' || !state || typeof state.files !== 'object') return null;
    const files: Record<string, string> = {};
    for (const [name, text] of Object.entries(state.files)) {
      if (typeof text === 'string') files[name] = text;
    }
    const main = typeof state.main === 'string' && state.main in files ? state.main : Object.keys(files)[0];
    if (!main) return null;
    return {
      files,
      main,
      romTop: typeof state.romTop === 'string' ? state.romTop : '0FFFh',
      tableTop: typeof state.tableTop === 'string' ? state.tableTop : '-1',
    };
  } catch {
    return null;
  }
}
