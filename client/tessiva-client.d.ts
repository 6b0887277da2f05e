// Types of tessiva-client.js. Parameter and result members keep the wire protocol's names
// (docs/protocol.md of the Tessiva repository).

export declare const HOST_NAME: 'com.orbelle.tessiva';
export declare const PROTOCOL_VERSION: 1;
export declare const MAX_MESSAGE_SIZE: number;
export declare const MAX_REPLY_SIZE: number;
export declare const MAX_TRANSFER_SIZE: number;
export declare const MAX_CHUNK_SIZE: number;
export declare const DEFAULT_CHUNK_SIZE: number;
export declare const DEFAULT_WINDOW: number;

/** Every error code the host answers with. */
export type ErrorCode =
  | 'invalid_request' | 'unknown_request' | 'io_error' | 'invalid_config' | 'not_found' | 'busy'
  | 'file_too_large' | 'incomplete_transfer' | 'source_too_old' | 'app_not_found' | 'no_default'
  | 'launch_failed';

/** The host answered with an error reply. */
export declare class HostError extends Error {
  readonly name: 'HostError';
  /** The request type that was refused. */
  readonly type: string;
  readonly code: ErrorCode;
  /** Present for io_error, invalid_config and launch_failed (where the host has words for it). */
  readonly detail: string | undefined;
}

/** The host could not be reached, ended, did not answer in time, or speaks another protocol. */
export declare class ConnectionError extends Error {
  readonly name: 'ConnectionError';
  readonly reason: 'disconnected' | 'timeout' | 'protocol';
}

/** The part of `runtime` (chrome.runtime or browser.runtime) that the client uses. */
export interface NativeRuntime {
  connectNative(application: string): NativePort;
  readonly lastError?: { message?: string } | null | undefined;
}

export interface NativePort {
  postMessage(message: unknown): void;
  disconnect(): void;
  readonly onMessage: { addListener(listener: (message: any) => void): void };
  readonly onDisconnect: { addListener(listener: (port: any) => void): void };
  /** Firefox: why the port closed. */
  readonly error?: { message?: string } | null;
}

export interface ClientOptions {
  /** Default: globalThis.browser?.runtime ?? globalThis.chrome.runtime. */
  runtime?: NativeRuntime;
  /** Default: HOST_NAME. */
  hostName?: string;
  /** Time limit of a request in ms (0: none). Default 10000. */
  timeoutMs?: number;
  /** Time limit of the "hello" that opens a connection (the host's start included). Default 30000. */
  connectTimeoutMs?: number;
  /** Time limit of one transfer chunk. Default 30000. */
  chunkTimeoutMs?: number;
}

export interface RequestOptions {
  /** Overrides the client's time limit for this request; 0 waits without a limit. */
  timeoutMs?: number;
  /** Aborting rejects the call with the signal's reason; the host still does the request. */
  signal?: AbortSignal;
}

export interface HelloResult {
  host_version: string;
  platform: 'windows' | 'linux';
  protocol: number;
}

export interface AppEntry {
  id: string;
  name: string;
  path: string;
  args: string;
  file_types: string[];
}

export interface Config {
  version: 1;
  save_folder?: string | null;
  name_pattern?: string;
  apps?: AppEntry[];
  type_defaults?: Record<string, string>;
  language?: string;
  theme?: 'system' | 'light' | 'dark';
  show_detected_apps?: boolean;
  reveal_after_save?: boolean;
}

export interface ConfigResult {
  /** The stored record with every member present. */
  config: Required<Config>;
  effective: Required<Config>;
  default_save_folder: string | null;
}

export type Target =
  | { kind: 'save_only' }
  | { kind: 'default' }
  | { kind: 'app'; app_id: string }
  | { kind: 'handler'; handler_id: string };

export interface SavedResult { saved_path: string }
export interface BeginTransferResult { transfer_id: string }
export interface ChunkResult { received: number }

export interface Handler {
  id: string;
  name: string;
  recommended: boolean;
  /** Base64 PNG, only when icons were asked for and the reply has room for them. */
  icon_png: string | null;
}

export interface AppInfoResult {
  name: string;
  path: string;
  icon_png: string | null;
}

export type PickFolderResult = { path: string } | { cancelled: true };
export type PickApplicationResult = AppInfoResult | { cancelled: true };

export interface DiagnoseBrowser {
  name: string;
  family: 'chromium' | 'firefox';
  flatpak: boolean;
  expected: boolean;
  caller_family: boolean;
  status: 'ok' | 'problem' | 'not_registered';
  code: string;
  location: string | null;
  program?: string;
}

export interface DiagnoseCheck {
  name: 'settings' | 'save_folder' | 'transfers_folder' | 'free_space';
  status: 'ok' | 'problem';
  code: string;
  location: string | null;
  bytes?: number;
}

export interface DiagnoseResult {
  host_version: string;
  installed: boolean;
  reachable: boolean;
  caller_family: 'chromium' | 'firefox' | null;
  browsers: DiagnoseBrowser[];
  checks: DiagnoseCheck[];
}

export interface Progress {
  /** Bytes the host has confirmed. */
  sent: number;
  total: number;
}

export interface SaveFileOptions {
  /** What to do with the saved file. Default { kind: 'save_only' }. */
  target?: Target;
  onProgress?: (progress: Progress) => void;
  signal?: AbortSignal;
  /** Required for a ReadableStream: the exact number of bytes it yields. */
  size?: number;
  /** Bytes per chunk before base64, at most MAX_CHUNK_SIZE. Default DEFAULT_CHUNK_SIZE (4 MiB). */
  chunkSize?: number;
  /** Chunks in flight at once. Default DEFAULT_WINDOW (4). */
  window?: number;
}

export declare class TessivaClient {
  constructor(options?: ClientOptions);
  readonly hostName: string;
  timeoutMs: number;
  connectTimeoutMs: number;
  chunkTimeoutMs: number;
  /** The "hello" result of the current or last connection. */
  readonly hostInfo: HelloResult | null;
  readonly hostVersion: string | null;
  readonly platform: HelloResult['platform'] | null;
  readonly connected: boolean;

  connect(options?: { signal?: AbortSignal }): Promise<HelloResult>;
  disconnect(): void;
  request<R = unknown>(type: string, params?: Record<string, unknown>, options?: RequestOptions): Promise<R>;

  hello(options?: RequestOptions): Promise<HelloResult>;
  getConfig(options?: RequestOptions): Promise<ConfigResult>;
  setConfig(config: Config, options?: RequestOptions): Promise<ConfigResult>;
  beginTransfer(originalName: string, size: number, options?: RequestOptions): Promise<BeginTransferResult>;
  transferChunk(transferId: string, data: string, options?: RequestOptions): Promise<ChunkResult>;
  finishTransfer(transferId: string, target?: Target, options?: RequestOptions): Promise<SavedResult>;
  cancelTransfer(transferId: string, options?: RequestOptions): Promise<Record<string, never>>;
  openFile(sourcePath: string, originalName: string, target?: Target, options?: RequestOptions): Promise<SavedResult>;
  listHandlers(ext: string, options?: RequestOptions & { icons?: boolean }): Promise<{ handlers: Handler[] }>;
  appInfo(path: string, options?: RequestOptions): Promise<AppInfoResult>;
  pickFolder(options?: RequestOptions): Promise<PickFolderResult>;
  pickApplication(options?: RequestOptions): Promise<PickApplicationResult>;
  openSaveFolder(options?: RequestOptions): Promise<Record<string, never>>;
  reveal(path: string, options?: RequestOptions): Promise<Record<string, never>>;
  diagnose(options?: RequestOptions): Promise<DiagnoseResult>;

  /** Saves `data` in the save folder as `name`; resolves with the saved path. */
  saveFile(data: Blob | ArrayBuffer | ArrayBufferView | ReadableStream<Uint8Array>, name: string,
    options?: SaveFileOptions): Promise<string>;
}
