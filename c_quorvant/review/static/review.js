// The review page. Subtitle text only ever reaches the page through textContent:
// a cue may hold anything, markup included.
"use strict";

const token = document.querySelector('meta[name="review-token"]').content;
const $ = (id) => document.getElementById(id);

let state = null;          // the server's files, rules, hits, and changes with every rule on
const disabled = new Set(); // patterns of the rules turned off
const rejected = new Set(); // "file:position" of the changes unticked
let changes = [];          // the changes under the rules on, in file order
const built = new Map();   // "file:position" -> [change, article] on the page
let building = null;       // the rows still being put on the page, a promise
let working = 0;           // reworks under way

async function call(path, body) {
  const response = await fetch(path, {
    method: "POST",
    headers: {"Content-Type": "application/json", "X-Review-Token": token},
    body: JSON.stringify(body),
  });
  const text = await response.text();
  let data = null;
  try { data = JSON.parse(text); } catch (_) { /* a plain message */ }
  if (!response.ok) throw new Error((data && data.problem) || text || response.statusText);
  return data;
}

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function clock(ms) {
  const hours = Math.floor(ms / 3600000), minutes = Math.floor(ms / 60000) % 60;
  const seconds = Math.floor(ms / 1000) % 60, rest = ms % 1000;
  const two = (n) => String(n).padStart(2, "0");
  return `${hours}:${two(minutes)}:${two(seconds)}.${String(rest).padStart(3, "0")}`;
}

// Words, runs of blanks and single other characters: a change shows as the words it touched.
function tokens(text) {
  return text.match(/[\p{L}\p{N}_]+|\s+|[^\p{L}\p{N}_\s]/gu) || [];
}

// [kind, text] pieces of before and after: "same" or "gone"/"new".
function differences(before, after) {
  const all = tokens(before), other = tokens(after);
  // What both start and end with is the same: compare only what lies between.
  let head = 0;
  while (head < all.length && head < other.length && all[head] === other[head]) head++;
  let tail = 0;
  while (tail < all.length - head && tail < other.length - head &&
         all[all.length - 1 - tail] === other[other.length - 1 - tail]) tail++;
  const a = all.slice(head, all.length - tail), b = other.slice(head, other.length - tail);
  const n = a.length, m = b.length;
  if (n * m > 250000) return trimmed(before, after);
  const start = all.slice(0, head).join(""), end = all.slice(all.length - tail).join("");
  const table = Array.from({length: n + 1}, () => new Uint16Array(m + 1));
  for (let i = n - 1; i >= 0; i--) {
    for (let j = m - 1; j >= 0; j--) {
      table[i][j] = a[i] === b[j] ? table[i + 1][j + 1] + 1 : Math.max(table[i + 1][j], table[i][j + 1]);
    }
  }
  const old = [["same", start]], added = [["same", start]];
  let i = 0, j = 0;
  const push = (list, kind, text) => {
    const last = list[list.length - 1];
    if (last && last[0] === kind) last[1] += text; else list.push([kind, text]);
  };
  while (i < n || j < m) {
    if (i < n && j < m && a[i] === b[j]) { push(old, "same", a[i]); push(added, "same", b[j]); i++; j++; }
    else if (j < m && (i === n || table[i][j + 1] >= table[i + 1][j])) push(added, "new", b[j++]);
    else push(old, "gone", a[i++]);
  }
  push(old, "same", end);
  push(added, "same", end);
  return [old, added];
}

// For a text too long to compare word by word: one changed run between what both share.
function trimmed(before, after) {
  let start = 0;
  while (start < before.length && start < after.length && before[start] === after[start]) start++;
  let end = 0;
  while (end < before.length - start && end < after.length - start &&
         before[before.length - 1 - end] === after[after.length - 1 - end]) end++;
  const piece = (text, kind) => [["same", text.slice(0, start)], [kind, text.slice(start, text.length - end)],
                                 ["same", text.slice(text.length - end)]];
  return [piece(before, "gone"), piece(after, "new")];
}

function marked(className, pieces) {
  const line = element("div", className);
  for (const [kind, text] of pieces) {
    line.append(kind === "same" ? document.createTextNode(text) : element(kind === "gone" ? "del" : "ins", "", text));
  }
  return line;
}

function keyOf(change) { return `${change.file}:${change.position}`; }

function changeRow(change) {
  const file = state.files[change.file];
  const row = element("article", "change");
  row.dataset.change = keyOf(change);
  row.dataset.file = file.path;
  row.dataset.before = change.before;
  const box = element("input");
  box.type = "checkbox";
  box.checked = !rejected.has(keyOf(change));
  const where = `${file.path} · ${file.text} ${change.key}` +
    (change.time ? ` · ${clock(change.time[0])} → ${clock(change.time[1])}` : "");
  box.setAttribute("aria-label", `Accept the change to ${where}`);
  row.classList.toggle("rejected", !box.checked);
  box.addEventListener("change", () => {
    if (box.checked) rejected.delete(keyOf(change)); else rejected.add(keyOf(change));
    row.classList.toggle("rejected", !box.checked);
    summarize();
  });
  const [old, added] = differences(change.before, change.after);
  row.append(box, element("div", "where", where), marked("before", old), marked("after", added), byLine(change));
  return row;
}

function byLine(change) {
  return element("div", "by", `by ${change.rules.map((index) => state.rules[index].pattern).join("  ·  ")}`);
}

function renderFiles() {
  const list = $("files");
  list.replaceChildren();
  const times = new Map(state.files.map((file) => [file.id, []]));
  for (const change of changes) times.get(change.file).push(change.time ? change.time[0] : null);
  const filter = $("file-filter");
  const chosen = filter.value;
  filter.replaceChildren(new Option("every file", ""));
  for (const file of state.files) {
    const item = element("li");
    item.dataset.fileRow = file.path;
    item.append(element("div", "name", file.path));
    const meta = element("div", "meta");
    if (file.problem) {
      meta.append(element("span", "failed", file.problem));
    } else {
      const count = times.get(file.id).length;
      meta.append(`${count} change${count === 1 ? "" : "s"} of ${file.texts} · ${file.format}, `);
      meta.append(file.guessed || file.unsure
        ? element("span", "guessed", file.unsure ? `${file.encoding}, bytes kept as they are ⚠` : `${file.encoding}, guessed ⚠`)
        : file.encoding);
      if (file.guessed || file.unsure) meta.lastChild.title = "The encoding was guessed: check the text reads right, or give --encoding.";
    }
    item.append(meta);
    if (!file.problem) item.append(timeline(file, times.get(file.id).filter((time) => time !== null)));
    list.append(item);
    filter.append(new Option(file.path, String(file.id)));
  }
  filter.value = chosen;
}

// Where the file's changes fall along the episode.
function timeline(file, times) {
  const canvas = element("canvas", "timeline");
  canvas.width = 360; canvas.height = 14;
  canvas.setAttribute("role", "img");
  canvas.setAttribute("aria-label", `${times.length} changes along ${clock(file.duration)} of ${file.path}`);
  const context = canvas.getContext("2d");
  context.fillStyle = "#2f5bd3";
  for (const time of times) {
    const x = file.duration ? Math.min(canvas.width - 2, Math.floor(time / file.duration * canvas.width)) : 0;
    context.fillRect(x, 1, 2, 12);
  }
  return canvas;
}

function renderRules() {
  const list = $("rules");
  list.replaceChildren();
  const filter = $("rule-filter");
  const chosen = filter.value;
  filter.replaceChildren(new Option("every rule", ""));
  const most = Math.max(1, ...state.hits);
  state.rules.forEach((rule, index) => {
    const item = element("li");
    item.dataset.rule = rule.pattern;
    const off = disabled.has(rule.pattern);
    item.classList.toggle("off", off);
    const label = element("label");
    const box = element("input");
    box.type = "checkbox";
    box.checked = !off;
    box.addEventListener("change", () => toggleRule(rule.pattern, box.checked));
    label.append(box);
    const shown = element("code", "", rule.pattern);
    shown.title = `→ ${JSON.stringify(rule.replacement)}`;
    label.append(" ", shown, element("span", "replacement", ` → ${JSON.stringify(rule.replacement)}`));
    const hits = state.hits[index];
    const count = element("span", "count", off ? "off" : String(hits));
    count.title = `${hits} texts changed by this rule at its turn`;
    const bar = element("div", "bar");
    const fill = element("span");
    fill.style.width = `${off ? 0 : (100 * hits) / most}%`;
    bar.append(fill);
    bar.setAttribute("aria-hidden", "true");
    item.append(label, count, bar);
    list.append(item);
    filter.append(new Option(rule.pattern, String(index)));
  });
  filter.value = chosen;
}

function rank(change) { return change.file * 1e7 + change.position; }

// Each file's changes go in a section of their own, which the browser lays out only
// near the screen: a season holds thousands.
function section(file) {
  let part = document.getElementById(`file-${file}`);
  if (!part) {
    part = element("div", "file-changes");
    part.id = `file-${file}`;
    $("changes").append(part);
  }
  return part;
}

// Puts `changes` on the page: rows already there that still hold are kept, others
// made anew. A first screenful goes in at once, the rest in large batches, so the
// page answers early.
function renderChanges() {
  const wanted = new Map(changes.map((change) => [keyOf(change), change]));
  for (const [key, [shown, row]] of built) {
    const now = wanted.get(key);
    if (!now || now.after !== shown.after) {
      row.remove();
      built.delete(key);
    } else if (now.rules.join() !== shown.rules.join()) {
      // The same text by other rules: only its "by" line changes.
      row.querySelector(".by").replaceWith(byLine(now));
      built.set(key, [now, row]);
    }
  }
  const missing = [];
  let next = null;  // the row that a new one goes before, in the same file
  let file = -1;
  for (let index = changes.length - 1; index >= 0; index--) {
    const change = changes[index];
    if (change.file !== file) { file = change.file; next = null; }
    const entry = built.get(keyOf(change));
    if (entry) next = entry[1]; else missing.push([change, next]);
  }
  missing.reverse();
  $("nothing").hidden = Boolean(changes.length || state.problem);
  const put = (from, to) => {
    const passes = filters();
    for (let index = from; index < to && index < missing.length; index++) {
      const [change, before] = missing[index];
      const row = changeRow(change);
      row.hidden = !passes(change);
      built.set(keyOf(change), [change, row]);
      section(change.file).insertBefore(row, before);
    }
  };
  put(0, 150);
  building = new Promise((done) => {
    let at = 150;
    const batch = () => {
      if (at >= missing.length) { showCount(); done(); return; }
      put(at, at + 3000);
      at += 3000;
      setTimeout(batch, 0);
    };
    batch();
  });
  showCount();
  return building;
}

// The filters as they stand: a test that each change passes or not.
function filters() {
  const words = $("search").value.toLocaleLowerCase();
  const rule = $("rule-filter").value === "" ? -1 : Number($("rule-filter").value);
  const file = $("file-filter").value === "" ? -1 : Number($("file-filter").value);
  return (change) => (rule < 0 || change.rules.includes(rule)) && (file < 0 || change.file === file) &&
    (!words || change.before.toLocaleLowerCase().includes(words) || change.after.toLocaleLowerCase().includes(words));
}

function applyFilters() {
  const passes = filters();
  for (const [change, row] of built.values()) row.hidden = !passes(change);
  showCount();
}

function showCount() {
  const shown = changes.filter(filters()).length;
  $("shown").textContent = `${shown} of ${changes.length} shown`;
}

function summarize() {
  if (!state) return;
  const accepted = changes.filter((change) => !rejected.has(keyOf(change))).length;
  const files = state.files.filter((file) => !file.problem).length;
  $("summary").textContent = state.problem
    ? "The word list can't be used: nothing to review."
    : `${accepted} of ${changes.length} changes accepted in ${files} file${files === 1 ? "" : "s"}; Apply writes ${state.writes}.`;
  $("apply").disabled = Boolean(state.problem) || working > 0;
}

async function renderAll() {
  changes = state.changes;
  $("changes").replaceChildren();
  built.clear();
  const problem = $("problem");
  problem.hidden = !state.problem;
  problem.textContent = state.problem;
  const warnings = $("warnings");
  warnings.replaceChildren(...state.warnings.map((warning) => element("li", "", warning)));
  warnings.hidden = !state.warnings.length;
  renderFiles();
  renderRules();
  summarize();
  return renderChanges();
}

async function toggleRule(pattern, on) {
  if (on) disabled.delete(pattern); else disabled.add(pattern);
  working++;
  document.body.dataset.state = "working";
  summarize();
  try {
    const worked = await call("/api/changes", {disabled: [...disabled]});
    await building;
    // A later toggle's answer supersedes this one.
    if (working === 1) {
      // The answer tells what differs from the changes with every rule on.
      const now = new Map(state.changes.map((change) => [keyOf(change), change]));
      for (const [file, position] of worked.gone) now.delete(`${file}:${position}`);
      for (const change of worked.changed) now.set(keyOf(change), change);
      changes = [...now.values()].sort((a, b) => rank(a) - rank(b));
      state.hits = worked.hits;
      for (const file of state.files) if (!file.problem && worked.problems[file.id]) file.problem = worked.problems[file.id];
      renderFiles();
      renderRules();
      await renderChanges();
    }
  } catch (error) {
    showProblem(error.message);
  } finally {
    working--;
    if (!working) document.body.dataset.state = "ready";
    summarize();
  }
}

function showProblem(message) {
  $("problem").hidden = false;
  $("problem").textContent = message;
}

async function apply() {
  if ($("apply").disabled) return;
  $("apply").disabled = true;
  document.body.dataset.state = "writing";
  try {
    const rejectedPairs = [...rejected].map((key) => key.split(":").map(Number));
    const done = await call("/api/apply", {disabled: [...disabled], rejected: rejectedPairs});
    const list = $("result-list");
    list.replaceChildren();
    let written = 0, failed = 0;
    for (const file of done.files) {
      const line = file.status === "written" ? `${file.path} → ${file.output}${file.reason ? ` (${file.reason})` : ""}`
        : file.status === "unchanged" ? `${file.path}: unchanged, the rewrite holds the same bytes`
        : `${file.path}: ${file.status}, ${file.reason}`;
      const item = element("li", file.status, line);
      item.dataset.result = file.status;
      item.dataset.path = file.path;
      list.append(item);
      if (file.status === "written") written++;
      if (file.status === "failed") failed++;
    }
    $("results-title").textContent = `Written: ${written} file${written === 1 ? "" : "s"}` + (failed ? `; ${failed} failed` : "");
    $("results").hidden = false;
    $("results").scrollIntoView({block: "nearest"});
  } catch (error) {
    showProblem(error.message);
  } finally {
    document.body.dataset.state = "ready";
    summarize();
  }
}

async function reload() {
  document.body.dataset.state = "working";
  try {
    state = await call("/api/reload", {});
    disabled.clear();
    rejected.clear();
    $("results").hidden = true;
    await renderAll();
  } catch (error) {
    showProblem(error.message);
  } finally {
    document.body.dataset.state = "ready";
  }
}

async function finish() {
  try {
    await call("/api/finish", {});
  } catch (error) {
    showProblem(error.message);
    return;
  }
  document.body.dataset.state = "finished";
  for (const control of document.querySelectorAll("button, input, select")) control.disabled = true;
  $("summary").textContent = "The review is finished; you can close this tab.";
}

function visibleRows() { return [...$("changes").querySelectorAll("article.change:not([hidden])")]; }

function move(step) {
  const shown = visibleRows();
  if (!shown.length) return;
  const at = shown.findIndex((row) => row.contains(document.activeElement));
  const next = shown[at < 0 ? (step > 0 ? 0 : shown.length - 1) : Math.min(shown.length - 1, Math.max(0, at + step))];
  const box = next.querySelector("input");
  box.focus();
  next.scrollIntoView({block: "nearest"});
}

document.addEventListener("keydown", (event) => {
  const typing = event.target.matches("input[type=search], select");
  if (event.key === "Enter" && (event.ctrlKey || event.metaKey)) { event.preventDefault(); apply(); return; }
  if (typing) {
    if (event.key === "Escape") event.target.blur();
    return;
  }
  if (event.key === "j" || event.key === "ArrowDown") { event.preventDefault(); move(1); }
  else if (event.key === "k" || event.key === "ArrowUp") { event.preventDefault(); move(-1); }
  else if (event.key === "/") { event.preventDefault(); $("search").focus(); }
  else if (event.key === "x" && event.target.matches("article input")) { event.target.click(); }
});

$("search").addEventListener("input", applyFilters);
$("rule-filter").addEventListener("change", applyFilters);
$("file-filter").addEventListener("change", applyFilters);
$("apply").addEventListener("click", apply);
$("reload").addEventListener("click", reload);
$("finish").addEventListener("click", finish);

(async () => {
  try {
    const response = await fetch("/api/state");
    if (!response.ok) throw new Error(await response.text());
    state = await response.json();
    const rest = renderAll();
    // The first changes are on the page and every control works.
    document.body.dataset.usable = "true";
    await rest;
  } catch (error) {
    showProblem(error.message);
  }
  document.body.dataset.state = "ready";
})();
