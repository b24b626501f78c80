// SPDX-License-Identifier: MIT
// Type declarations of quorvel.js, the web client of quorvel-spool.

export type JobState =
  | "queued" | "printing" | "printed" | "held" | "retrying"
  | "uncertain" | "expired" | "failed" | "cancelled";

export type Align = "left" | "center" | "right";

export type ReceiptItem =
  | { text: string; align?: Align; bold?: boolean; underline?: boolean;
      size?: "normal" | "double_height" | "double"; invert?: boolean; font?: "a" | "b";
      spacing?: 21 | 32 | 40 | 48 | 53 | 64 | 69; feed?: number }
  | { row: (string | { text: string; width?: number; align?: Align })[]; bold?: boolean; font?: "a" | "b" }
  | { barcode: string; type?: "UPC_A" | "UPC_E" | "EAN13" | "EAN8" | "CODE39" | "ITF" | "CODABAR" | "CODE93" | "CODE128" | "GS1_128";
      height?: 32 | 50 | 80; width?: 1 | 2 | 3; hri?: "none" | "above" | "below" | "both"; align?: Align }
  | { qr: string; size?: number; level?: "L" | "M" | "Q" | "H"; model?: 1 | 2; align?: Align }
  | { pdf417: string; columns?: number; row_height?: number; ecc?: number; align?: Align }
  | { datamatrix: string; size?: number; align?: Align }
  | { image: string; align?: Align; dither?: boolean }
  | { feed: number }
  | { cut: true }
  | { drawer: true };

export interface Receipt {
  items: ReceiptItem[];
}

export interface JobData {
  id: number;
  printer: string;
  requested: string;
  state: JobState;
  reason: string;
  size: number;
  copy: boolean;
  attempts: number;
  created: number;
  updated: number;
  idempotency_key?: string;
}

export interface PrinterInfo {
  name: string;
  state: "ready" | "printing" | "held" | "down" | "unknown";
  reason: string;
  queue: number;
  [key: string]: unknown;
}

export class QuorvelError extends Error {
  /** The HTTP status; 0 when the service could not be reached. */
  status: number;
  /** The job's state when printed() rejects. */
  state: JobState | "";
  reason: string;
  job: Job | null;
}

export class Job {
  readonly id: number;
  readonly state: JobState;
  readonly reason: string;
  readonly printer: string;
  readonly data: JobData;
  /** Called at every change of state; returns a function that stops it. */
  onchange(fn: (job: Job) => void): () => void;
  /** Resolves once printed; rejects with a QuorvelError (state, reason) once
   *  held, uncertain, expired, failed or cancelled. */
  printed(): Promise<Job>;
  refresh(): Promise<Job>;
}

export class Quorvel {
  static connect(url: string, options?: { token?: string }): Promise<Quorvel>;
  constructor(url: string, token?: string);
  readonly url: string;
  token: string;
  readonly jobs: Map<number, Job>;
  /** Pairs with the service's 6-digit code; keeps and returns the token. */
  pair(code: string, name: string): Promise<string>;
  printers(): Promise<PrinterInfo[]>;
  print(printer: string, receiptOrBytes: Receipt | Uint8Array | ArrayBuffer | Blob,
        options?: { key?: string }): Promise<Job>;
  job(id: number): Promise<Job>;
  onjob(fn: (job: Job) => void): () => void;
  close(): void;
}

export default Quorvel;
