// The page: converts the text through the API and shows each place where
// the conversion chose between values as a button listing the others. All
// text from the user or the server goes into the page with textContent.
"use strict";

const CHUNK_CHARACTERS = 4000; // text rendered with its buttons at a time
const DETECT_CHARACTERS = 1 << 16; // what detection reads of a long text
const SUGGESTED = {
  "cn-s": "s2t", "cn-t": "t2s", "cn-tw": "tw2s", "cn-hk": "hk2s", "jp-n": "jp2t", "jp-t": "t2jp",
};
const REGION_NAMES = {
  "cn-s": "Simplified Chinese", "cn-t": "Traditional Chinese", "cn-tw": "Taiwan Traditional",
  "cn-hk": "Hong Kong Traditional", "jp-t": "Japanese kyūjitai", "jp-n": "Japanese shinjitai",
};

const $ = (id) => document.getElementById(id);
const state = {
  spans: [], // {source, target, alternatives, plausible} from /api/explain
  picks: new Map(), // span index -> the value picked
  custom: null, // imported custom words: {key: value} or [[key, value], ...]
  encoding: "utf-8", // of the file opened, used again to save
  lineEnding: "\n",
  fileName: "converted.txt",
  chunks: [], // [first span, end span) per rendered chunk
  all: 0, // spans with alternatives
  plausible: 0, // spans with plausible alternatives
  open: -1, // the span whose choices are shown
};
let observer = null;

function say(text) {
  const message = $("message");
  message.textContent = text;
  message.hidden = !text;
}

async function call(path, options) {
  const response = await fetch(path, options);
  if (!response.ok) {
    let text = `${response.status} ${response.statusText}`;
    try {
      text = (await response.json()).error || text;
    } catch (error) {
      // not JSON: keep the status line
    }
    throw new Error(text);
  }
  return response;
}

function postJson(path, body) {
  return call(path, {
    method: "POST",
    headers: { "content-type": "application/json" },
    body: JSON.stringify(body),
  });
}

function option(select, value, text) {
  const item = document.createElement("option");
  item.value = value;
  item.textContent = text;
  select.append(item);
}

async function setUp() {
  const lists = await (await call("/api/configs")).json();
  option($("config"), "", "— by regions —");
  for (const name of lists.configs) option($("config"), name, name);
  $("config").value = "s2t";
  for (const id of ["from", "to"]) {
    option($(id), "", "—");
    for (const code of lists.regions) option($(id), code, `${code} ${REGION_NAMES[code] || ""}`);
  }
  for (const [codec, name] of Object.entries(lists.encodings)) option($("encoding"), codec, name);
  $("config").addEventListener("change", () => {
    if ($("config").value) $("from").value = $("to").value = "";
  });
  for (const id of ["from", "to"]) {
    $(id).addEventListener("change", () => {
      if ($(id).value) $("config").value = "";
    });
  }
  $("file").addEventListener("change", openFile);
  // A file opened in the wrong encoding is read again in the one chosen.
  $("encoding").addEventListener("change", () => {
    if ($("file").files[0]) openFile();
  });
  $("detect").addEventListener("click", () => detect().catch((error) => say(error.message)));
  $("convert").addEventListener("click", () => convert().catch((error) => say(error.message)));
  $("show-all").addEventListener("change", renderAll);
  $("download").addEventListener("click", () => download().catch((error) => say(error.message)));
  $("export").addEventListener("click", exportPicks);
  $("import").addEventListener("change", () => importWords().catch((error) => say(error.message)));
  $("forget").addEventListener("click", () => forgetWords().catch((error) => say(error.message)));
  $("choices-close").addEventListener("click", closeChoices);
  $("choices").addEventListener("keydown", (event) => {
    if (event.key === "Escape") closeChoices();
  });
  $("result").addEventListener("click", (event) => {
    const button = event.target.closest("button.choice");
    if (button) openChoices(Number(button.dataset.span), button);
  });
}

function lineEndingOf(text) {
  if (text.includes("\r\n")) return "\r\n";
  if (text.includes("\r")) return "\r";
  return "\n";
}

async function openFile() {
  const file = $("file").files[0];
  if (!file) return;
  say("");
  const encoding = $("encoding").value;
  const response = await call(`/api/decode?encoding=${encodeURIComponent(encoding)}`, {
    method: "POST",
    body: await file.arrayBuffer(),
  }).catch((error) => say(error.message));
  if (!response) return;
  const { text } = await response.json();
  state.encoding = encoding;
  state.lineEnding = lineEndingOf(text);
  state.fileName = file.name.replace(/(\.[^.]*)?$/, "-converted$1");
  $("source").value = text;
  await detect().catch((error) => say(error.message));
}

function sourceText() {
  // A text area holds lines ended by LF: the file's own endings come back.
  const text = $("source").value;
  return state.lineEnding === "\n" ? text : text.replace(/\n/g, state.lineEnding);
}

function conversion() {
  if ($("config").value) return { config: $("config").value };
  if ($("from").value && $("to").value) return { from: $("from").value, to: $("to").value };
  throw new Error("Choose a configuration, or both regions.");
}

async function detect() {
  const text = $("source").value.slice(0, DETECT_CHARACTERS);
  const found = await (await postJson("/api/detect", { text })).json();
  if (found.region === null) {
    $("detected").textContent = "No Chinese or Japanese script variant found.";
    return;
  }
  const suggested = SUGGESTED[found.region];
  $("detected").textContent =
    `Detected ${REGION_NAMES[found.region] || found.region} (${found.region}, ` +
    `confidence ${found.confidence}); suggested configuration ${suggested}.`;
  $("config").value = suggested;
  $("from").value = $("to").value = "";
}

async function convert() {
  say("");
  const body = { text: sourceText(), ...conversion() };
  if (state.custom) body.custom = state.custom;
  $("count").textContent = "";
  $("status").textContent = "Converting…";
  $("result").setAttribute("aria-busy", "true");
  let spans;
  try {
    spans = (await (await postJson("/api/explain", body)).json()).spans;
  } finally {
    $("status").textContent = "";
    $("result").removeAttribute("aria-busy");
  }
  state.spans = spans;
  state.all = spans.filter((span) => span.alternatives.length).length;
  state.plausible = spans.filter((span) => (span.plausible || []).length).length;
  state.picks = new Map();
  closeChoices();
  layOut();
  for (const id of ["download", "export"]) $(id).disabled = false;
}

// The alternatives shown for `span`: all with "Show all", else the plausible ones.
function shown(span) {
  return $("show-all").checked ? span.alternatives : span.plausible || [];
}

function layOut() {
  // The text is cut into chunks shown as plain text at once; a chunk gets
  // its buttons when it scrolls near the view, so that a long novel opens
  // quickly and the page holds buttons only for what was seen.
  if (observer) observer.disconnect();
  const result = $("result");
  result.replaceChildren();
  state.chunks = [];
  let first = 0;
  let size = 0;
  const spans = state.spans;
  for (let index = 0; index <= spans.length; index++) {
    if (index === spans.length || size >= CHUNK_CHARACTERS) {
      if (index > first) {
        const chunk = document.createElement("div");
        chunk.className = "chunk";
        chunk.dataset.chunk = String(state.chunks.length);
        chunk.textContent = spans.slice(first, index).map(valueOf).join("");
        state.chunks.push([first, index]);
        result.append(chunk);
      }
      first = index;
      size = 0;
    }
    if (index < spans.length) size += spans[index].target.length;
  }
  observer = new IntersectionObserver(
    (entries) => {
      for (const entry of entries) {
        if (entry.isIntersecting) {
          render(entry.target);
          observer.unobserve(entry.target);
        }
      }
    },
    { root: result, rootMargin: "600px 0px" },
  );
  for (const chunk of result.children) observer.observe(chunk);
  count();
}

function valueOf(span, index) {
  return state.picks.has(index) ? state.picks.get(index) : span.target;
}

function render(chunk) {
  const [first, end] = state.chunks[Number(chunk.dataset.chunk)];
  const parts = [];
  let plain = "";
  for (let index = first; index < end; index++) {
    const span = state.spans[index];
    if (shown(span).length === 0) {
      plain += valueOf(span, index);
      continue;
    }
    if (plain) parts.push(document.createTextNode(plain));
    plain = "";
    parts.push(choiceButton(span, index));
  }
  if (plain) parts.push(document.createTextNode(plain));
  chunk.replaceChildren(...parts);
  chunk.dataset.rendered = "1";
}

function choiceButton(span, index) {
  const button = document.createElement("button");
  button.type = "button";
  button.className = "choice";
  if (!(span.plausible || []).length) button.classList.add("rare");
  if (state.picks.has(index)) button.classList.add("picked");
  button.dataset.span = String(index);
  button.textContent = valueOf(span, index);
  button.setAttribute("aria-haspopup", "dialog");
  button.title = `${span.source}: ${[span.target, ...shown(span)].join(" / ")}`;
  return button;
}

function renderAll() {
  closeChoices();
  for (const chunk of $("result").children) {
    if (chunk.dataset.rendered) render(chunk);
  }
  count();
}

function count() {
  const showing = $("show-all").checked ? state.all : state.plausible;
  const words = state.custom && Object.keys(state.custom).length;
  const custom = state.custom ? ` Custom words applied: ${words}.` : "";
  $("count").textContent =
    `${showing} choices shown, ${state.all} in all; ${state.picks.size} picked.${custom}`;
}

function openChoices(index, button) {
  const span = state.spans[index];
  state.open = index;
  $("choices-heading").textContent = `Choices for ${span.source}`;
  const list = $("choice-list");
  list.replaceChildren();
  const current = valueOf(span, index);
  for (const value of [span.target, ...span.alternatives]) {
    const item = document.createElement("button");
    item.type = "button";
    item.textContent = value;
    item.setAttribute("aria-pressed", String(value === current));
    if (value !== span.target && !(span.plausible || []).includes(value)) {
      item.title = "a rare form on its own";
      item.classList.add("rare");
    }
    item.addEventListener("click", () => pick(index, value, button));
    list.append(item);
  }
  const note = document.createElement("p");
  note.className = "note";
  const rare = list.querySelector("button.rare") ? " Dashed: a rare form on its own." : "";
  note.textContent = `The conversion chose ${span.target}.${rare}`;
  list.append(note);
  $("choices").hidden = false;
  list.querySelector("button").focus();
}

function closeChoices() {
  const open = state.open;
  state.open = -1;
  $("choices").hidden = true;
  if (open >= 0) {
    const button = $("result").querySelector(`button.choice[data-span="${open}"]`);
    if (button) button.focus();
  }
}

function pick(index, value, button) {
  const span = state.spans[index];
  if (value === span.target) state.picks.delete(index);
  else state.picks.set(index, value);
  button.textContent = value;
  button.classList.toggle("picked", state.picks.has(index));
  closeChoices();
  count();
}

function resultText() {
  return state.spans.map(valueOf).join("");
}

function save(blob, name) {
  const link = document.createElement("a");
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

async function download() {
  const encoding = encodeURIComponent(state.encoding);
  const response = await postJson(`/api/encode?encoding=${encoding}`, { text: resultText() });
  save(await response.blob(), state.fileName);
}

function exportPicks() {
  // A JSON object of source and pick: what lumo --custom reads as a file,
  // and Converter.with_custom as the object json.load gives.
  const words = {};
  for (const [index, value] of state.picks) words[state.spans[index].source] = value;
  const text = JSON.stringify(words, null, 1) + "\n";
  save(new Blob([text], { type: "application/json" }), "custom-words.json");
}

function parseWords(text) {
  const trimmed = text.replace(/^\uFEFF/, "").trim();
  if (trimmed.startsWith("{") || trimmed.startsWith("[")) {
    // Sent as it is: the server checks its shape as Converter.with_custom does.
    return JSON.parse(trimmed);
  }
  const pairs = [];
  for (const line of trimmed.split(/\r\n|\r|\n/)) {
    const piece = line.trim();
    if (!piece) continue;
    const space = piece.indexOf(" ");
    if (space < 0) throw new Error(`Custom words: expected 'key value', got ${piece}`);
    pairs.push([piece.slice(0, space).trim(), piece.slice(space + 1).trim()]);
  }
  return pairs;
}

async function importWords() {
  const file = $("import").files[0];
  if (!file) return;
  state.custom = parseWords(await file.text());
  $("import").value = "";
  $("forget").hidden = false;
  try {
    await convert();
  } catch (error) {
    // Words the server refuses are not kept for the next conversion.
    state.custom = null;
    $("forget").hidden = true;
    throw error;
  }
}

async function forgetWords() {
  state.custom = null;
  $("forget").hidden = true;
  if (state.spans.length) await convert();
}

setUp().catch((error) => say(error.message));
