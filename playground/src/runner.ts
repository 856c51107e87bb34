// The page's side of the worker: one run at a time. A request made while a run is going
// supersedes every request still waiting; when the running one has gone on for longer than
// kPatienceMs the worker is ended and started afresh, so a long run never holds up the
// newest text. Every caller's promise is settled with the result of the run that covers
// its request (the newest one at the time it ran).
import { ChipsResult, RunRequest, RunResult } from './protocol';

const kPatienceMs = 400;

interface Waiting {
  request: Omit<RunRequest, 'id' | 'kind'>;
  callers: { resolve: (r: RunResult) => void; reject: (e: Error) => void }[];
}

export class Runner {
  private worker: Worker;
  private nextId = 1;
  private running: (Waiting & { id: number; started: number }) | null = null;
  private waiting: Waiting | null = null;
  private chipCallbacks = new Map<number, (chips: string[]) => void>();
  private patience: number | undefined;

  constructor(private readonly url: string) {
    this.worker = this.start();
  }

  private start(): Worker {
    const worker = new Worker(this.url);
    worker.onmessage = (event) => this.receive(event.data);
    // A module that ends itself (out of memory, say) takes its worker along: the run fails
    // and the next one gets a fresh worker.
    worker.onerror = (event) => {
      event.preventDefault();
      const failed = this.running;
      this.running = null;
      this.worker.terminate();
      this.worker = this.start();
      for (const id of this.chipCallbacks.keys()) this.worker.postMessage({ kind: 'chips', id });
      if (failed) for (const c of failed.callers) c.reject(new Error(event.message || 'the run failed'));
      this.pump();
    };
    return worker;
  }

  chips(): Promise<string[]> {
    const id = this.nextId++;
    return new Promise((resolve) => {
      this.chipCallbacks.set(id, resolve);
      this.worker.postMessage({ kind: 'chips', id });
    });
  }

  run(request: Waiting['request']): Promise<RunResult> {
    return new Promise((resolve, reject) => {
      const callers = this.waiting ? this.waiting.callers : [];
      callers.push({ resolve, reject });
      this.waiting = { request, callers };
      if (this.running && performance.now() - this.running.started > kPatienceMs) this.restart();
      this.pump();
    });
  }

  // Ends the running run: its callers wait for the newest request instead.
  private restart() {
    if (!this.running) return;
    this.worker.terminate();
    if (this.waiting) this.waiting.callers.unshift(...this.running.callers);
    this.running = null;
    this.worker = this.start();
    // The chip list asked of the old worker is asked again.
    for (const id of this.chipCallbacks.keys()) this.worker.postMessage({ kind: 'chips', id });
  }

  private pump() {
    if (this.running || !this.waiting) return;
    const id = this.nextId++;
    this.running = { ...this.waiting, id, started: performance.now() };
    this.waiting = null;
    this.worker.postMessage({ kind: 'run', id, ...this.running.request });
    clearTimeout(this.patience);
    this.patience = window.setTimeout(() => {
      if (this.running && this.running.id === id && this.waiting) this.restart();
      this.pump();
    }, kPatienceMs);
  }

  private receive(message: RunResult | ChipsResult | { kind: 'failed'; id: number; message: string }) {
    if (message.kind === 'chips') {
      const callback = this.chipCallbacks.get(message.id);
      this.chipCallbacks.delete(message.id);
      if (callback) callback(message.chips);
      return;
    }
    if (!this.running || this.running.id !== message.id) return;
    const finished = this.running;
    this.running = null;
    // A newer request waits: the callers of this one take its result too.
    const callers = finished.callers;
    if (this.waiting) {
      this.waiting.callers.unshift(...callers);
    } else if (message.kind === 'failed') {
      for (const c of callers) c.reject(new Error(message.message));
    } else {
      for (const c of callers) c.resolve(message);
    }
    this.pump();
  }
}
