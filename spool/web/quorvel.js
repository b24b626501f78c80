// SPDX-License-Identifier: MIT
// quorvel.js: print from a web page through the shop's quorvel-spool
// service. An ES module without dependencies, served by the service at
// /quorvel.js:
//
//   import { Quorvel } from "http://127.0.0.1:8631/quorvel.js";
//   const q = await Quorvel.connect("http://127.0.0.1:8631", { token: saved });
//   const job = await q.print("counter", { items: [{ text: "Hello" }, { cut: true }] });
//   await job.printed();   // rejects with { state, reason } when held, uncertain, expired...

// States printed() rejects on; and the states after which nothing changes by itself.
const FINAL_FAILURES = ["held", "uncertain", "expired", "failed", "cancelled"];
const SETTLED = ["printed", "uncertain", "expired", "failed", "cancelled"];

export class QuorvelError extends Error {
  constructor(message, { status = 0, state = "", reason = "", job = null } = {}) {
    super(message);
    this.name = "QuorvelError";
    this.status = status;  // the HTTP status, 0 when the service could not be reached
    this.state = state;    // a job's state (held, uncertain, expired, failed, cancelled)
    this.reason = reason;  // why, in the service's words
    this.job = job;
  }
}

function newKey() {
  if (globalThis.crypto && crypto.randomUUID) return crypto.randomUUID();
  return Date.now().toString(36) + "-" + Math.random().toString(36).slice(2);
}

export class Job {
  constructor(client, data) {
    this.client = client;
    this.id = data.id;
    this.state = data.state;
    this.reason = data.reason || "";
    this.printer = data.printer || "";
    this.data = data;
    this._listeners = new Set();
    this._waiters = [];
  }

  /** Calls `fn(job)` at every change of state; returns a function that stops it. */
  onchange(fn) {
    this._listeners.add(fn);
    return () => this._listeners.delete(fn);
  }

  /** Resolves with the job once printed; rejects with a QuorvelError carrying
   *  state and reason once it is held, uncertain, expired, failed or cancelled. */
  printed() {
    return new Promise((resolve, reject) => {
      this._waiters.push({ resolve, reject });
      this._settle();
    });
  }

  /** Asks the service for the job's state now. */
  async refresh() {
    this._update(await this.client._call("GET", "/api/jobs/" + this.id));
    return this;
  }

  _update(data) {
    if (data.id !== this.id) return;
    // Answers and events may cross: never go back to an older state.
    if (data.updated !== undefined && this.data.updated !== undefined && data.updated < this.data.updated) return;
    const changed = data.state !== this.state || (data.reason || "") !== this.reason;
    this.data = data;
    this.state = data.state;
    this.reason = data.reason || "";
    this.printer = data.printer || this.printer;
    if (changed) for (const fn of this._listeners) fn(this);
    this._settle();
  }

  _settle() {
    if (this.state === "printed") {
      for (const w of this._waiters.splice(0)) w.resolve(this);
    } else if (FINAL_FAILURES.includes(this.state)) {
      const error = new QuorvelError("job " + this.id + " " + this.state + (this.reason ? ": " + this.reason : ""),
        { state: this.state, reason: this.reason, job: this });
      for (const w of this._waiters.splice(0)) w.reject(error);
    }
  }
}

export class Quorvel {
  /** A client of the service at `url`; `token` from an earlier pair(). */
  static async connect(url, { token = "" } = {}) {
    return new Quorvel(url, token);
  }

  constructor(url, token = "") {
    this.url = String(url).replace(/\/+$/, "");
    this.token = token;
    this.jobs = new Map();  // id -> Job, followed through the event stream
    this._seen = new Map();  // id -> latest event of a job not known yet (its answer is on its way)
    this._poll = null;
    this._events = null;
    this._retry = 1000;
    this._closed = false;
    this._listeners = new Set();
  }

  /** Pairs with the 6-digit code the service shows; keeps and returns the token. */
  async pair(code, name) {
    const r = await this._call("POST", "/api/pair", JSON.stringify({ code: String(code), name }),
      { "Content-Type": "application/json" }, false);
    this.token = r.token;
    this._listen(true);
    return r.token;
  }

  /** The printers and their states. */
  async printers() {
    return (await this._call("GET", "/api/printers")).printers;
  }

  /** Prints a receipt document (an object, see receipt.schema.json) or ESC/POS
   *  bytes (Uint8Array, ArrayBuffer, Blob). `key` makes a retry the same job. */
  async print(printer, receiptOrBytes, { key = newKey() } = {}) {
    const bytes = receiptOrBytes instanceof Uint8Array || receiptOrBytes instanceof ArrayBuffer ||
      (typeof Blob !== "undefined" && receiptOrBytes instanceof Blob);
    const path = "/api/printers/" + encodeURIComponent(printer) + (bytes ? "/jobs" : "/receipts");
    const body = bytes ? receiptOrBytes : JSON.stringify(receiptOrBytes);
    const headers = { "Content-Type": bytes ? "application/octet-stream" : "application/json",
      "Idempotency-Key": key };
    this._listen();
    let r;
    try {
      r = await this._call("POST", path, body, headers);
    } catch (e) {
      if (e.status !== 0) throw e;
      r = await this._call("POST", path, body, headers);  // lost on the way: once more, same key
    }
    const job = this._job({ printer, ...r });
    job.refresh().catch(() => {});
    return job;
  }

  /** A job this page made, by id. */
  async job(id) {
    return this._job(await this._call("GET", "/api/jobs/" + id));
  }

  /** Calls `fn(job)` at every change of any of this page's jobs. */
  onjob(fn) {
    this._listeners.add(fn);
    return () => this._listeners.delete(fn);
  }

  close() {
    this._closed = true;
    if (this._events) this._events.close();
    this._events = null;
  }

  _job(data) {
    let job = this.jobs.get(data.id);
    if (!job) {
      job = new Job(this, data);
      this.jobs.set(data.id, job);
      job.onchange((j) => { for (const fn of this._listeners) fn(j); });
      const early = this._seen.get(data.id);  // an event came before the answer
      this._seen.delete(data.id);
      if (early) job._update(early);
      this._watch();
    } else {
      job._update(data);
    }
    return job;
  }

  // While jobs are unsettled, their state is also asked for now and then:
  // an event lost with a dropped stream is made up for.
  _watch() {
    if (this._poll || this._closed) return;
    this._poll = setInterval(() => {
      const open = [...this.jobs.values()].filter((j) => !SETTLED.includes(j.state));
      if (!open.length) { clearInterval(this._poll); this._poll = null; return; }
      for (const job of open) job.refresh().catch(() => {});
    }, 3000);
  }

  // The event stream, with reconnection: EventSource retries a dropped
  // stream by itself; one it gave up on (refused) is opened again later.
  _listen(restart = false) {
    if (this._closed || !this.token || (this._events && !restart)) return;
    if (this._events) this._events.close();
    const es = new EventSource(this.url + "/api/events?access_token=" + encodeURIComponent(this.token));
    this._events = es;
    es.addEventListener("hello", () => {
      this._retry = 1000;
      // Catch up on what happened while the stream was down.
      for (const job of this.jobs.values())
        if (!SETTLED.includes(job.state)) job.refresh().catch(() => {});
    });
    es.addEventListener("job", (e) => {
      const data = JSON.parse(e.data);
      const job = this.jobs.get(data.id);
      if (job) {
        job._update(data);
      } else {
        this._seen.set(data.id, data);
        if (this._seen.size > 200) this._seen.delete(this._seen.keys().next().value);
      }
    });
    es.onerror = () => {
      if (es.readyState !== EventSource.CLOSED || this._events !== es) return;
      this._events = null;
      setTimeout(() => this._listen(), this._retry);
      this._retry = Math.min(this._retry * 2, 10000);
    };
  }

  async _call(method, path, body = undefined, headers = {}, auth = true) {
    const h = { Accept: "application/json", ...headers };
    if (auth && this.token) h.Authorization = "Bearer " + this.token;
    let r;
    try {
      r = await fetch(this.url + path, { method, body, headers: h, mode: "cors", credentials: "omit" });
    } catch (e) {
      throw new QuorvelError("the print service at " + this.url + " cannot be reached (" + e.message + ")");
    }
    const text = await r.text();
    let data = {};
    try { data = text ? JSON.parse(text) : {}; } catch (e) { data = { error: text }; }
    if (!r.ok) throw new QuorvelError(data.error || r.statusText, { status: r.status });
    return data;
  }
}

export default Quorvel;
