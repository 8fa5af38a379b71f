// The review page. Subtitle text only ever reaches the page through textContent:
// a cue may hold anything, markup included.
"use strict";

const token = document.querySelector('meta[name="review-token"]').content;
const $ = (id) => document.getElementById(id);

let state = null;          // the server's files, rules, hits and changes
const disabled = new Set(); // patterns of the rules turned off
const rejected = new Set(); // "file:position" of the changes unticked
let rows = [];             // [change, article] in the order shown
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
  const a = tokens(before), b = tokens(after);
  const n = a.length, m = b.length;
  if (n * m > 250000) return trimmed(before, after);
  const table = Array.from({length: n + 1}, () => new Uint16Array(m + 1));
  for (let i = n - 1; i >= 0; i--) {
    for (let j = m - 1; j >= 0; j--) {
      table[i][j] = a[i] === b[j] ? table[i + 1][j + 1] + 1 : Math.max(table[i + 1][j], table[i][j + 1]);
    }
  }
  const old = [], added = [];
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
  const where = `${file.text} ${change.key}` + (change.time ? ` · ${clock(change.time[0])} → ${clock(change.time[1])}` : "");
  box.setAttribute("aria-label", `Accept the change to ${where} of ${file.path}`);
  row.classList.toggle("rejected", !box.checked);
  box.addEventListener("change", () => {
    if (box.checked) rejected.delete(keyOf(change)); else rejected.add(keyOf(change));
    row.classList.toggle("rejected", !box.checked);
    summarize();
  });
  const [old, added] = differences(change.before, change.after);
  const by = element("div", "by", "by ");
  for (const index of change.rules) by.append(element("code", "", state.rules[index].pattern));
  row.append(box, element("div", "where", where), marked("before", old), marked("after", added), by);
  return row;
}

function renderFiles() {
  const list = $("files");
  list.replaceChildren();
  const counts = new Map();
  for (const change of state.changes) counts.set(change.file, (counts.get(change.file) || 0) + 1);
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
      const count = counts.get(file.id) || 0;
      meta.append(`${count} change${count === 1 ? "" : "s"} of ${file.texts} · ${file.format}, `);
      meta.append(file.guessed || file.unsure
        ? element("span", "guessed", file.unsure ? `${file.encoding}, bytes kept as they are ⚠` : `${file.encoding}, guessed ⚠`)
        : file.encoding);
      if (file.guessed || file.unsure) meta.lastChild.title = "The encoding was guessed: check the text reads right, or give --encoding.";
    }
    item.append(meta);
    if (!file.problem) item.append(timeline(file));
    list.append(item);
    filter.append(new Option(file.path, String(file.id)));
  }
  filter.value = chosen;
}

// Where the file's changes fall along the episode.
function timeline(file) {
  const canvas = element("canvas", "timeline");
  canvas.width = 360; canvas.height = 14;
  canvas.setAttribute("role", "img");
  const times = state.changes.filter((c) => c.file === file.id && c.time).map((c) => c.time[0]);
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
    item.append(label, element("span"), count, bar);
    list.append(item);
    filter.append(new Option(rule.pattern, String(index)));
  });
  filter.value = chosen;
}

function renderChanges() {
  const box = $("changes");
  const fragment = document.createDocumentFragment();
  rows = [];
  let shownFile = -1;
  for (const change of state.changes) {
    if (change.file !== shownFile) {
      shownFile = change.file;
      fragment.append(element("h3", "file", state.files[change.file].path));
    }
    const row = changeRow(change);
    rows.push([change, row]);
    fragment.append(row);
  }
  if (!state.changes.length && !state.problem) fragment.append(element("p", "hint", "The rules change nothing in these files."));
  box.replaceChildren(fragment);
  applyFilters();
}

function applyFilters() {
  const words = $("search").value.toLocaleLowerCase();
  const rule = $("rule-filter").value === "" ? -1 : Number($("rule-filter").value);
  const file = $("file-filter").value === "" ? -1 : Number($("file-filter").value);
  let shown = 0;
  for (const [change, row] of rows) {
    const visible = (rule < 0 || change.rules.includes(rule)) && (file < 0 || change.file === file) &&
      (!words || change.before.toLocaleLowerCase().includes(words) || change.after.toLocaleLowerCase().includes(words));
    row.hidden = !visible;
    if (visible) shown++;
  }
  for (const heading of $("changes").querySelectorAll("h3.file")) {
    let next = heading.nextElementSibling, any = false;
    while (next && next.tagName === "ARTICLE") { any = any || !next.hidden; next = next.nextElementSibling; }
    heading.hidden = !any;
  }
  $("shown").textContent = `${shown} of ${rows.length} shown`;
}

function summarize() {
  if (!state) return;
  const accepted = state.changes.filter((change) => !rejected.has(keyOf(change))).length;
  const files = state.files.filter((file) => !file.problem).length;
  $("summary").textContent = state.problem
    ? "The word list can't be used: nothing to review."
    : `${accepted} of ${state.changes.length} changes accepted in ${files} file${files === 1 ? "" : "s"}; Apply writes ${state.writes}.`;
  $("apply").disabled = Boolean(state.problem) || working > 0;
}

function renderAll() {
  const problem = $("problem");
  problem.hidden = !state.problem;
  problem.textContent = state.problem;
  const warnings = $("warnings");
  warnings.replaceChildren(...state.warnings.map((warning) => element("li", "", warning)));
  warnings.hidden = !state.warnings.length;
  renderFiles();
  renderRules();
  renderChanges();
  summarize();
}

async function toggleRule(pattern, on) {
  if (on) disabled.delete(pattern); else disabled.add(pattern);
  working++;
  document.body.dataset.state = "working";
  summarize();
  try {
    const worked = await call("/api/changes", {disabled: [...disabled]});
    // A later toggle's answer supersedes this one.
    if (working === 1) {
      state.changes = worked.changes;
      state.hits = worked.hits;
      for (const file of state.files) if (!file.problem && worked.problems[file.id]) file.problem = worked.problems[file.id];
      renderFiles();
      renderRules();
      renderChanges();
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
      const line = file.status === "written" ? `${file.path} → ${file.output}` : `${file.path}: ${file.status}, ${file.reason}`;
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
    renderAll();
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

function visibleRows() { return rows.filter(([, row]) => !row.hidden).map(([, row]) => row); }

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
    renderAll();
  } catch (error) {
    showProblem(error.message);
  }
  document.body.dataset.state = "ready";
})();
