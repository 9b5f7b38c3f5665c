// The phone remote: sends the handset's keys to the PC over one WebSocket and shows what the
// PC says back. A pairing secret travels only in the first message, never in a request line.
"use strict";

(() => {
  const TOKEN_KEY = "nuvokrc-token";
  const SEQ_KEY = "nuvokrc-seq";
  const REPEATING = new Set([14, 15]); // Up and Down repeat while held
  const REPEAT_DELAY_MS = 400;
  const REPEAT_EVERY_MS = 125;
  const RESEND_WITHIN_MS = 2000; // an older unacknowledged key is dropped, not sent late
  const BACKOFF_FIRST_MS = 500;
  const BACKOFF_MAX_MS = 5000;
  const FRESH_SOCKET_MS = 1000; // a socket younger than this is left to finish connecting
  const CLOSE_NOT_PAIRED = 4001;
  const CLOSE_FORGOTTEN = 4002;

  const TEXTS = {
    connecting: "Connecting…",
    connected: "Connected",
    retrying: "Not connected: trying again…",
    unpaired: "Not paired: on the PC, open Settings → Phone → Pair a phone and scan its code",
    forgotten: "This phone was forgotten on the PC: pair it again",
  };

  const statusEl = document.getElementById("status");
  const modeEl = document.getElementById("mode");
  const volumeEl = document.getElementById("volume");
  const pad = document.querySelector(".pad");

  // Storage can be missing or refuse writes (private browsing): memory stands in then.
  const memory = new Map();
  const store = {
    get(key) {
      try {
        const value = localStorage.getItem(key);
        if (value !== null) return value;
      } catch (e) {}
      return memory.has(key) ? memory.get(key) : null;
    },
    set(key, value) {
      memory.set(key, value);
      try { localStorage.setItem(key, value); } catch (e) {}
    },
    remove(key) {
      memory.delete(key);
      try { localStorage.removeItem(key); } catch (e) {}
    },
  };

  let socket = null; // the one connection, or null
  let socketStarted = 0;
  let ready = false; // the PC welcomed this socket
  let stopped = null; // "unpaired" or "forgotten": the PC refused us, so no retrying by itself
  let shown = "";
  let retryTimer = 0;
  let backoff = BACKOFF_FIRST_MS;
  let nextSeq = 1;
  let pending = []; // keys sent and not yet acknowledged: {code, seq, at}
  let held = null; // the key under the finger: {button, pointerId, timer}

  function show(state) {
    shown = state;
    statusEl.textContent = TEXTS[state];
    statusEl.dataset.state = state;
    document.body.dataset.link = state;
  }

  function pairSecret() {
    const match = /^#pair=(.+)$/.exec(location.hash);
    if (!match) return "";
    try {
      return decodeURIComponent(match[1]);
    } catch (e) {
      return match[1];
    }
  }

  function forgetFragment() {
    if (location.hash) history.replaceState(history.state, "", location.pathname + location.search);
  }

  function deviceName() {
    const ua = navigator.userAgent || "";
    const platform = (navigator.userAgentData && navigator.userAgentData.platform) || "";
    const both = platform + " " + ua;
    let name = "Phone";
    if (/android/i.test(both)) name = "Android phone";
    else if (/iPhone|iPod/.test(ua)) name = "iPhone";
    else if (/iPad/.test(ua) || (/Macintosh/.test(ua) && navigator.maxTouchPoints > 1)) name = "iPad";
    else if (/windows/i.test(both)) name = "Windows";
    else if (/macos|macintosh|mac os/i.test(both)) name = "Mac";
    else if (/linux|cros|chrome os/i.test(both)) name = "Linux";
    return name.slice(0, 40);
  }

  function storedSeq() {
    const seq = parseInt(store.get(SEQ_KEY), 10);
    return Number.isSafeInteger(seq) && seq > 0 ? seq : 0;
  }

  // Lets go of the current socket without hearing from it again; one still connecting is
  // closed once open, which spares the console a warning.
  function hangUp() {
    clearTimeout(retryTimer);
    retryTimer = 0;
    ready = false;
    if (!socket) return;
    const old = socket;
    socket = null;
    old.onmessage = old.onclose = old.onerror = null;
    if (old.readyState === WebSocket.CONNECTING) old.onopen = () => old.close(1000);
    else old.close(1000);
  }

  function connect() {
    hangUp();
    const secret = pairSecret();
    const token = store.get(TOKEN_KEY);
    if (!secret && !token) {
      stopped = stopped || "unpaired";
      show(stopped);
      return;
    }
    stopped = null;
    if (shown !== "retrying") show("connecting");
    const ws = new WebSocket("ws://" + location.host + "/ws");
    socket = ws;
    socketStarted = performance.now();
    ws.onopen = () => {
      const first = secret ? { type: "pair", secret: secret, name: deviceName() }
                           : { type: "hello", token: token };
      ws.send(JSON.stringify(first));
    };
    ws.onmessage = (event) => receive(event.data);
    ws.onclose = (event) => closed(event.code, !!secret);
    ws.onerror = () => {}; // a close event follows
  }

  function scheduleRetry() {
    clearTimeout(retryTimer);
    retryTimer = setTimeout(connect, backoff);
    backoff = Math.min(backoff * 2, BACKOFF_MAX_MS);
  }

  function closed(code, wasPairing) {
    socket = null;
    ready = false;
    stopRepeat();
    if (code === CLOSE_NOT_PAIRED || code === CLOSE_FORGOTTEN) {
      if (wasPairing) forgetFragment(); // a refused secret is of no further use
      // A refused secret (an old code scanned again) leaves an earlier pairing standing:
      // that token is tried once before the phone counts as not paired.
      if (wasPairing && code === CLOSE_NOT_PAIRED && store.get(TOKEN_KEY)) {
        connect();
        return;
      }
      store.remove(TOKEN_KEY);
      pending = [];
      stopped = code === CLOSE_NOT_PAIRED ? "unpaired" : "forgotten";
      show(stopped);
      return;
    }
    show("retrying");
    if (document.visibilityState !== "hidden") scheduleRetry();
  }

  function receive(text) {
    let msg;
    try {
      msg = JSON.parse(text);
    } catch (e) {
      return;
    }
    if (!msg || typeof msg !== "object") return;
    if (msg.type === "paired") {
      if (typeof msg.token === "string" && msg.token) store.set(TOKEN_KEY, msg.token);
      forgetFragment();
      welcomed(msg.seq);
    } else if (msg.type === "welcome") {
      welcomed(msg.seq);
    } else if (msg.type === "state") {
      modeEl.textContent = typeof msg.mode === "string" ? msg.mode : "";
      volumeEl.textContent = Number.isFinite(msg.volume) ? Math.round(msg.volume) + " %" : "–";
    } else if (msg.type === "ack" && Number.isSafeInteger(msg.seq)) {
      pending = pending.filter((key) => key.seq > msg.seq);
    }
  }

  // Unacknowledged keys that are still fresh go again with their own seq (the PC skips a seq
  // it has taken); older ones are dropped rather than acted on late.
  function welcomed(seq) {
    ready = true;
    backoff = BACKOFF_FIRST_MS;
    show("connected");
    nextSeq = Math.max(storedSeq(), Number.isSafeInteger(seq) && seq > 0 ? seq : 0) + 1;
    const now = performance.now();
    pending = pending.filter((key) => now - key.at < RESEND_WITHIN_MS);
    pending.forEach(transmit);
  }

  function transmit(key) {
    socket.send(JSON.stringify({ type: "key", code: key.code, seq: key.seq }));
  }

  // Sends one key now, or says false when the PC is not there; keys are never queued.
  function sendKey(code) {
    if (!ready || !socket || socket.readyState !== WebSocket.OPEN) return false;
    // Another tab of this phone may have used seqs meanwhile: the stored one counts too.
    const seq = Math.max(nextSeq, storedSeq() + 1);
    nextSeq = seq + 1;
    store.set(SEQ_KEY, String(seq));
    const now = performance.now();
    pending = pending.filter((key) => now - key.at < RESEND_WITHIN_MS);
    const key = { code: code, seq: seq, at: now };
    pending.push(key);
    transmit(key);
    return true;
  }

  function refuse(button) {
    button.classList.remove("refused");
    void button.offsetWidth; // restarts the animation
    button.classList.add("refused");
    setTimeout(() => button.classList.remove("refused"), 400);
    if (stopped) return;
    show("retrying");
    if (!socket) {
      backoff = BACKOFF_FIRST_MS;
      connect();
    }
  }

  function stopRepeat() {
    if (!held) return;
    clearTimeout(held.timer);
    clearInterval(held.timer);
    held.button.classList.remove("pressed");
    held = null;
  }

  function press(button, pointerId) {
    stopRepeat();
    const code = Number(button.dataset.key);
    if (!sendKey(code)) {
      refuse(button);
      return;
    }
    button.classList.add("pressed");
    const hold = { button: button, pointerId: pointerId, timer: 0 };
    held = hold;
    if (!REPEATING.has(code)) return;
    const tick = () => {
      if (held === hold && !sendKey(code)) stopRepeat();
    };
    hold.timer = setTimeout(() => {
      tick();
      if (held === hold) hold.timer = setInterval(tick, REPEAT_EVERY_MS);
    }, REPEAT_DELAY_MS);
  }

  pad.addEventListener("pointerdown", (event) => {
    const button = event.target.closest("button[data-key]");
    if (!button || (event.pointerType === "mouse" && event.button !== 0)) return;
    event.preventDefault(); // no focus ring, no emulated mouse events
    press(button, event.pointerId);
  });

  // Keyboard and screen-reader activation comes as a click without a pointer (detail 0);
  // a click after a touch or mouse press was already acted on at pointerdown.
  pad.addEventListener("click", (event) => {
    const button = event.target.closest("button[data-key]");
    if (!button || event.detail !== 0) return;
    if (sendKey(Number(button.dataset.key))) return;
    refuse(button);
  });

  const release = (event) => {
    if (held && held.button === event.currentTarget && held.pointerId === event.pointerId) {
      stopRepeat();
    }
  };
  for (const button of pad.querySelectorAll("button[data-key]")) {
    for (const type of ["pointerup", "pointercancel", "pointerleave", "lostpointercapture"]) {
      button.addEventListener(type, release);
    }
  }

  document.addEventListener("contextmenu", (event) => event.preventDefault());
  document.addEventListener("selectstart", (event) => event.preventDefault());
  window.addEventListener("blur", stopRepeat);

  // Coming back to the page, or back online, connects again at once.
  function wake() {
    if (stopped || ready) return;
    if (socket && performance.now() - socketStarted < FRESH_SOCKET_MS) return;
    backoff = BACKOFF_FIRST_MS;
    connect();
  }

  document.addEventListener("visibilitychange", () => {
    if (document.visibilityState === "hidden") {
      stopRepeat();
      hangUp();
    } else {
      wake();
    }
  });
  window.addEventListener("pagehide", () => {
    stopRepeat();
    hangUp();
  });
  window.addEventListener("pageshow", wake);
  window.addEventListener("online", wake);
  // A code scanned while the page is open pairs at once.
  window.addEventListener("hashchange", () => {
    if (!pairSecret()) return;
    stopped = null;
    connect();
  });

  connect();
})();
