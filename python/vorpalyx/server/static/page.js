"use strict";
// The page of `vorpalyx serve`. Every text from the server or the user is
// put in the page with textContent, never parsed as HTML.

const DEBOUNCE_MS = 30;
// What the engine folds every letter to (vorpalyx.fold); it drops the rest.
const LETTER = /[a-z]/;

// One control per constraint, named by the keyword of the Python API and
// the JSON API; shown only when the server accepts that keyword (all of
// `needs`, for a control that sets several).
const CONTROLS = [
  { name: "words", label: "Exactly N words", kind: "count", needs: ["min_words", "max_words"], hint: "at least N and at most N" },
  { name: "min_words", label: "At least N words", kind: "count" },
  { name: "max_words", label: "At most N words", kind: "count" },
  { name: "min_word_length", label: "Shortest word length", kind: "count" },
  { name: "max_word_length", label: "Longest word length", kind: "count" },
  { name: "lengths", label: "Word lengths in order", kind: "lengths", hint: "an enumeration: 5,4 or 5-4 or 5 4" },
  { name: "must_start_with", label: "Words must start with", kind: "letters", hint: "e.g. dr: a word starting with d and one with r" },
  { name: "can_only_ever_start_with", label: "Words may only start with", kind: "letters" },
  { name: "must_not_start_with", label: "No word starts with", kind: "letters" },
  { name: "contains_patterns", label: "Some word contains", kind: "texts", hint: "texts separated by spaces or commas" },
  { name: "include", label: "Include words", kind: "words", hint: "the pinned words" },
  { name: "exclude", label: "Exclude words", kind: "words" },
  { name: "distinct", label: "No word twice", kind: "flag" },
  { name: "leftover", label: "Letters that may stay unused", kind: "count", hint: "shown after the words: (-o)" },
  { name: "max_solutions", label: "Stop after N solutions", kind: "count" },
  { name: "timeout_seconds", label: "Time limit (seconds)", kind: "seconds" },
  { name: "fold", label: "Letters a-z only (no folding of accents)", kind: "unflag" },
];

const page = {
  info: { constraints: [], ranking: false, blanks: false, default_page: 20, fold: {} },
  pins: [],
  offset: 0,
  latest: 0,
  inFlight: null,
  timer: 0,
};

const $ = (id) => document.getElementById(id);

function element(tag, attributes = {}, text = "") {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  if (text) node.textContent = text;
  return node;
}

function accepts(name) {
  return page.info.constraints.includes(name);
}

function buildControls() {
  const form = $("constraints");
  for (const control of CONTROLS) {
    if (!(control.needs ?? [control.name]).every(accepts)) continue;
    const id = "constraint-" + control.name;
    const checkbox = control.kind === "flag" || control.kind === "unflag";
    const field = element("div", { class: "field" + (checkbox ? " flag" : "") });
    const input = element("input", { id, name: control.name });
    if (control.kind === "count") Object.assign(input, { type: "number", min: 0, step: 1, inputMode: "numeric" });
    else if (control.kind === "seconds") Object.assign(input, { type: "number", min: 0, step: "any", inputMode: "decimal" });
    else if (checkbox) input.type = "checkbox";
    else input.type = "text";
    input.dataset.kind = control.kind;
    const label = element("label", { for: id }, control.label);
    if (checkbox) field.append(input, label);
    else field.append(label, input);
    if (control.hint) field.append(element("small", {}, control.hint));
    form.append(field);
  }
  form.addEventListener("input", (event) => {
    if (event.target.name === "include") {
      page.pins = splitWords(event.target.value);
      showPins();
    }
    restart();
  });
  form.addEventListener("submit", (event) => event.preventDefault());
}

function splitWords(text) {
  return text.split(/[\s,]+/).filter((word) => word !== "");
}

function controlValue(input) {
  const text = input.value.trim();
  switch (input.dataset.kind) {
    case "flag": return input.checked ? true : undefined;
    case "unflag": return input.checked ? false : undefined;
    case "count": case "seconds": return text === "" ? undefined : Number(text);
    // The server reads an enumeration and says what is wrong with one.
    case "letters": case "lengths": return text === "" ? undefined : text;
    case "texts": case "words": {
      const items = splitWords(text);
      return items.length ? items : undefined;
    }
  }
  return undefined;
}

function constraintValues() {
  const values = {};
  for (const input of $("constraints").elements) {
    if (input.name === "include") continue;
    const value = controlValue(input);
    if (value !== undefined) values[input.name] = value;
  }
  if (values.words !== undefined) {
    values.min_words = values.max_words = values.words;
    delete values.words;
  }
  return values;
}

// Letters compare as the engine folds them, by its own table (page.info.fold)
// past ASCII: case and accents aside. Other characters stay as they are.
function folded(text) {
  let result = "";
  for (const character of text) {
    result += character < "\x80" ? character.toLowerCase() : page.info.fold[character] ?? character;
  }
  return result;
}

// The phrase's letters, in order, less those of the pinned words; `missing`
// names a pinned word whose letters the phrase does not hold.
function remainingLetters(phrase, pins) {
  const letters = [];
  for (const character of folded(phrase)) {
    if (LETTER.test(character) || (page.info.blanks && character === "?")) letters.push(character);
  }
  for (const word of pins) {
    for (const character of folded(word)) {
      if (!LETTER.test(character)) continue;
      let at = letters.indexOf(character);
      if (at < 0 && page.info.blanks) at = letters.indexOf("?");
      if (at < 0) return { remaining: "", missing: word };
      letters.splice(at, 1);
    }
  }
  return { remaining: letters.join(""), missing: null };
}

// An included word comes back in the dictionary's spelling ("Room" as
// "room", "cafe" as "café"), so a pin is known in a result by its letters.
function pinKey(word) {
  return [...folded(word)].filter((character) => LETTER.test(character)).join("");
}

function ranked() {
  return page.info.ranking && $("order").value === "score";
}

// What to ask the server. Without `include`, a pinned word is required by
// searching only the letters it leaves and putting it before each solution.
function request(phrase) {
  const body = constraintValues();
  const bypins = page.pins.length > 0 && !accepts("include");
  if (page.pins.length && accepts("include")) body.include = page.pins.slice();
  body.phrase = bypins ? remainingLetters(phrase, page.pins).remaining : phrase;
  if (bypins) {
    for (const name of ["max_words", "min_words"]) {
      if (typeof body[name] === "number") body[name] = Math.max(0, body[name] - page.pins.length);
    }
  }
  if (ranked()) body.order = "score";
  body.offset = page.offset;
  body.limit = page.info.default_page;
  return { body, prefix: bypins ? page.pins.slice() : [] };
}

function restart() {
  page.offset = 0;
  schedule();
}

function schedule() {
  clearTimeout(page.timer);
  page.timer = setTimeout(refresh, DEBOUNCE_MS);
}

async function refresh() {
  const sequence = ++page.latest;
  if (page.inFlight) page.inFlight.abort();
  page.inFlight = null;
  const phrase = $("phrase").value;
  showPins();
  const { remaining, missing } = remainingLetters(phrase, page.pins);
  if (missing !== null) {
    return show(sequence, phrase, { error: `“${missing}” does not fit in the letters of the phrase` });
  }
  if (!/[\p{L}?]/u.test(phrase)) return show(sequence, phrase, null);
  const { body, prefix } = request(phrase);
  if (prefix.length && remaining === "") {
    return show(sequence, phrase, { total: 1, offset: 0, partial: false, solutions: [[]] }, prefix, 0);
  }
  const controller = new AbortController();
  page.inFlight = controller;
  const started = performance.now();
  let answer;
  try {
    const response = await fetch("/api/search", {
      method: "POST",
      headers: { "content-type": "application/json" },
      body: JSON.stringify(body),
      signal: controller.signal,
    });
    answer = await response.json();
  } catch (error) {
    if (error.name === "AbortError") return;
    answer = { error: "The server did not answer: " + error.message };
  }
  show(sequence, phrase, answer, prefix, performance.now() - started);
}

// Shows an answer unless a newer request has been made since.
function show(sequence, phrase, answer, prefix = [], milliseconds = 0) {
  if (sequence !== page.latest) return;
  page.inFlight = null;
  const summary = $("summary");
  const error = $("error");
  const results = $("results");
  results.replaceChildren();
  summary.dataset.phrase = phrase;
  error.hidden = true;
  $("paging").hidden = true;
  if (answer === null) {
    summary.textContent = "";
    delete summary.dataset.total;
    return;
  }
  if (answer.error !== undefined) {
    summary.textContent = "";
    delete summary.dataset.total;
    error.textContent = answer.error;
    error.hidden = false;
    return;
  }
  const total = answer.total;
  summary.dataset.total = String(total);
  const noun = total === 1 ? "solution" : "solutions";
  summary.textContent = (answer.partial ? `at least ${format(total)} ${noun} (time limit reached)` : `${format(total)} ${noun}`)
    + ` · ${Math.round(milliseconds)} ms`;
  answer.solutions.forEach((solution, index) => {
    const extra = lettersText(answer.blanks?.[index] ?? "", answer.leftover?.[index] ?? "");
    results.append(resultItem(prefix.concat(solution), prefix.length, answer.offset + index + 1, extra));
  });
  showPaging(answer.offset, answer.solutions.length, total);
}

function format(number) {
  return number.toLocaleString("en-US");
}

// What follows a solution's words, as the command line prints it: the
// letters its blanks became, then the letters it left unused.
function lettersText(blanks, leftover) {
  return (blanks ? `[+${blanks}]` : "") + (blanks && leftover ? " " : "") + (leftover ? `(-${leftover})` : "");
}

function resultItem(words, pinnedCount, position, extra) {
  const item = element("li", { value: String(position) });
  // A word pinned n times is marked in its first n places.
  const unmarked = new Map();
  if (accepts("include")) for (const key of page.pins.map(pinKey)) unmarked.set(key, (unmarked.get(key) ?? 0) + 1);
  words.forEach((word, index) => {
    let pinned = index < pinnedCount;
    const key = pinKey(word);
    if (!pinned && unmarked.get(key) > 0) {
      pinned = true;
      unmarked.set(key, unmarked.get(key) - 1);
    }
    const button = element("button", { type: "button", class: pinned ? "word pinned-word" : "word" }, word);
    button.title = pinned ? `Unpin “${word}”` : `Pin “${word}”`;
    button.addEventListener("click", () => (pinned ? unpin(word) : pin(word)));
    item.append(button, " ");
  });
  if (extra) item.append(element("span", { class: "letters" }, extra), " ");
  const text = words.join(" ");
  const copy = element("button", { type: "button", class: "copy", "aria-label": `Copy “${text}”` }, "Copy");
  copy.addEventListener("click", () => copyText(text, copy));
  item.append(copy);
  return item;
}

function showPaging(offset, shown, total) {
  const paging = $("paging");
  paging.hidden = total <= shown && offset === 0;
  $("page-range").textContent = shown ? `${format(offset + 1)}–${format(offset + shown)} of ${format(total)}` : "";
  $("previous").disabled = offset === 0;
  $("next").disabled = offset + shown >= total;
}

function pin(word) {
  page.pins.push(word);
  syncInclude();
  restart();
  $("phrase").focus();
}

function unpin(word) {
  let at = page.pins.indexOf(word);
  if (at < 0) at = page.pins.findIndex((pin) => pinKey(pin) === pinKey(word));
  if (at >= 0) page.pins.splice(at, 1);
  syncInclude();
  restart();
}

function syncInclude() {
  const include = $("constraints").elements.namedItem("include");
  if (include) include.value = page.pins.join(" ");
}

function showPins() {
  const container = $("pinned");
  container.replaceChildren();
  for (const word of page.pins) {
    const chip = element("button", { type: "button", class: "chip", title: `Unpin “${word}”`, "aria-label": `Unpin “${word}”` }, word + " ×");
    chip.addEventListener("click", () => unpin(word));
    container.append(chip, " ");
  }
  $("remaining").textContent = remainingLetters($("phrase").value, page.pins).remaining;
  $("pins").hidden = page.pins.length === 0;
}

async function copyText(text, button) {
  try {
    await navigator.clipboard.writeText(text);
  } catch {
    // The clipboard API needs a secure context, which a server reached by
    // a non-loopback address over http is not.
    const area = element("textarea");
    area.value = text;
    document.body.append(area);
    area.select();
    document.execCommand("copy");
    area.remove();
  }
  button.textContent = "Copied";
  setTimeout(() => { button.textContent = "Copy"; }, 1200);
}

function turnPage(step) {
  page.offset = Math.max(0, page.offset + step * page.info.default_page);
  refresh();
}

async function start() {
  try {
    const response = await fetch("/api/info");
    // A refusal ({"error": ...}) describes nothing: kept, it would leave the
    // page without its handlers.
    if (response.ok) page.info = await response.json();
  } catch {
    // The page still works with the standard constraints' controls hidden.
  }
  buildControls();
  $("blanks-hint").hidden = !page.info.blanks;
  if (!page.info.ranking) {
    $("order").value = "standard";
    $("order").disabled = true;
    $("ranking-unavailable").hidden = false;
  }
  $("phrase").addEventListener("input", restart);
  $("order").addEventListener("change", restart);
  $("previous").addEventListener("click", () => turnPage(-1));
  $("next").addEventListener("click", () => turnPage(1));
  if ($("phrase").value) restart();
}

start();
