// The visual match page. For each channel, a pattern of horizontal lines at
// full and at zero drive, alternating every device pixel, shows half of the
// channel's full luminance whatever the monitor's gamma; beside it a flat
// patch whose level the user moves until the two look alike from a distance.
//
// Exactness: the lines must be one device pixel high. Drawn in CSS pixels, a
// display scaled to 150 % turns them into on-on-off rows (two thirds lit), and
// the match lands near level 213 instead of 186. So each pattern is a canvas
// whose backing store is sized to its box in device pixels (ResizeObserver's
// device-pixel-content-box, else CSS size x devicePixelRatio) and filled
// pixel by pixel; it is redrawn whenever that size changes (browser zoom) and
// when the resolution media query stops matching (moved to another screen).
// Checkerboards are not used: a one-pixel checkerboard on many panels does not
// average to half luminance the way whole lines do.
//
// Repeatability: each channel is matched twice, from one low and one high
// starting level (never the gamma 2.2 answer), in the order red, green, blue,
// red, green, blue. The page shows both levels, their spread and the gamma of
// the mean with half the gamma difference of the two tries as its uncertainty,
// and prints the command with the mean levels.
#include "match_page.h"

#include <cstdio>

#include "atomic_file.h"

namespace aucal {

namespace {

// A JavaScript string literal that is also safe inside a <script> element.
std::string scriptString(const std::string& s) {
    std::string o = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            o += '\\';
            o += static_cast<char>(c);
        } else if (c < 0x20 || c == '<' || c == '>' || c == '&') {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", c);
            o += b;
        } else {
            o += static_cast<char>(c);
        }
    }
    return o + "\"";
}

const char* const kHead = R"(<!doctype html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>aucal - monitor visual match</title>
<style>
body { background: #000; color: #ccc; font: 15px/1.4 sans-serif; margin: 2em; max-width: 60em; }
h2 { font-size: 17px; margin: 0 0 .4em; color: #eee; }
.try { margin: 2.2em 0; }
.controls { display: flex; flex-wrap: wrap; align-items: center; gap: 1.5em; }
.pair { display: flex; padding: 6px; background: #3a3a3a; }
canvas.lines, .flat { display: block; width: 220px; height: 160px; }
canvas.lines { image-rendering: pixelated; }
input[type=range] { width: 260px; }
input[type=text] { width: 22em; background: #111; color: #eee; border: 1px solid #555; padding: 3px; }
table { border-collapse: collapse; margin: 1em 0; }
td, th { border: 1px solid #444; padding: 4px 10px; text-align: right; }
th { color: #eee; }
code { color: #fff; font-size: 17px; background: #111; padding: 6px; display: inline-block; }
.warn { color: #fc6; }
</style></head><body>
<h1>Monitor visual match</h1>
<p>Turn off any night-light, blue-light or colour filter and let the monitor warm up. For each patch, sit back
(or squint) until you no longer see the lines on the left, then move the slider until the flat patch on the
right looks just as bright. Each colour comes twice, starting from different levels: match each one afresh,
without looking at the numbers below until you have done all six.</p>
<p id="scale"></p>
<div id="tries"></div>
<h2>Your matches</h2>
<table id="results"><thead><tr><th>channel</th><th>try 1</th><th>try 2</th><th>spread</th><th>mean level</th>
<th>gamma</th></tr></thead><tbody></tbody></table>
<p id="advice"></p>
<p><label>Scanner model file: <input type="text" id="model"></label></p>
<p>Then run:</p>
<p><code id="cmd"></code></p>
<p id="gamma"></p>
<script>
)";

const char* const kScript = R"(
const names = ['red', 'green', 'blue'];
const tries = [];
// One low and one high start per channel, in a random order, away from 186.
for (let c = 0; c < 3; c++) {
  const low = 80 + Math.floor(Math.random() * 50), high = 215 + Math.floor(Math.random() * 30);
  const lowFirst = Math.random() < 0.5;
  tries.push({c, n: 0, level: lowFirst ? low : high, moved: false});
  tries.push({c, n: 1, level: lowFirst ? high : low, moved: false});
}
tries.sort((a, b) => a.n - b.n || a.c - b.c);
const patterns = [];

function drawLines(p, w, h) {
  if (w < 1 || h < 1) return;
  p.w = w; p.h = h;
  p.canvas.width = w; p.canvas.height = h;
  const g = p.canvas.getContext('2d');
  const img = g.createImageData(w, h);
  // Lit rows 0, 2, 4 ...; an odd last row stays dark.
  for (let y = 0; y + 1 < h; y += 2)
    for (let x = 0; x < w; x++) img.data[4 * (y * w + x) + p.c] = 255;
  for (let i = 3; i < img.data.length; i += 4) img.data[i] = 255;
  g.putImageData(img, 0, 0);
  showScale();
}

function redrawFromLayout(p) {
  const r = p.canvas.getBoundingClientRect();
  drawLines(p, Math.round(r.width * devicePixelRatio), Math.round(r.height * devicePixelRatio));
}

const observer = new ResizeObserver(entries => {
  for (const e of entries) {
    const p = patterns.find(q => q.canvas === e.target);
    const box = e.devicePixelContentBoxSize && e.devicePixelContentBoxSize[0];
    if (box) { p.exact = true; drawLines(p, box.inlineSize, box.blockSize); }
    else redrawFromLayout(p);
  }
});

function showScale() {
  const p = patterns[0];
  if (!p || !p.w) return;
  const exact = p.exact || Number.isInteger(devicePixelRatio);
  const ratio = +devicePixelRatio.toFixed(3);
  document.getElementById('scale').innerHTML = 'Screen: ' + ratio + (ratio === 1 ? ' device pixel' : ' device pixels') +
    ' per CSS pixel. Each pattern is ' + p.w + ' &times; ' + p.h +
    ' device pixels, its lines one device pixel high' + (exact ? '.' :
    '. <span class="warn">This browser does not report exact device pixel sizes: set the zoom to 100 % ' +
    'and the display scaling to a whole number.</span>');
}

// Moving to a screen of another resolution (or zooming) ends this query.
function watchResolution() {
  matchMedia('(resolution: ' + devicePixelRatio + 'dppx)').addEventListener('change', () => {
    patterns.forEach(p => { if (!p.exact) redrawFromLayout(p); });
    showScale();
    watchResolution();
  }, {once: true});
}

function colour(c, v) { const a = [0, 0, 0]; a[c] = v; return 'rgb(' + a.join(',') + ')'; }
const gamma = m => Math.log(0.5) / Math.log(Math.min(Math.max(m, 5), 250) / 255);
const quote = s => /^[A-Za-z0-9_.\/:=+,@%-]+$/.test(s) ? s : "'" + s.replace(/'/g, "'\\''") + "'";

function update() {
  const body = document.querySelector('#results tbody');
  body.textContent = '';
  const means = [], estimates = [], wide = [];
  let done = true;
  for (let c = 0; c < 3; c++) {
    const [a, b] = tries.filter(t => t.c === c);
    const row = body.insertRow();
    const cells = [names[c], a.moved ? a.level : '-', b.moved ? b.level : '-'];
    if (a.moved && b.moved) {
      const mean = Math.floor((a.level + b.level) / 2 + 0.5);
      const u = Math.abs(gamma(a.level) - gamma(b.level)) / 2;
      means.push(mean);
      estimates.push(names[c] + ' ' + gamma(mean).toFixed(2) + ' \u00b1 ' + u.toFixed(2));
      if (Math.abs(a.level - b.level) > 10) wide.push(names[c]);
      cells.push(Math.abs(a.level - b.level), mean, gamma(mean).toFixed(2) + ' \u00b1 ' + u.toFixed(2));
    } else {
      done = false;
      cells.push('', '', '');
    }
    cells.forEach(v => { row.insertCell().textContent = v; });
  }
  const model = document.getElementById('model').value.trim() || 'scanner.mdl';
  document.getElementById('cmd').textContent = done
    ? 'aucal monitor --model ' + quote(model) + ' --levels ' + means.join(' ') + ' --output ' + quote(settings.output)
    : 'Match all six patches first.';
  document.getElementById('gamma').textContent = done
    ? 'Gamma of each channel at the mean level, \u00b1 half the difference between the gammas of your two ' +
      'tries: ' + estimates.join(', ') + '.' : '';
  document.getElementById('advice').textContent = wide.length
    ? 'Your two tries for ' + wide.join(' and ') + ' differ by more than 10 levels: rest your eyes, ' +
      'step further back and match again.' : '';
}

tries.forEach((t, i) => {
  const box = document.createElement('div'); box.className = 'try';
  const title = document.createElement('h2');
  title.textContent = (i + 1) + '. ' + names[t.c][0].toUpperCase() + names[t.c].slice(1) +
    (t.n ? ', second try' : ', first try');
  const controls = document.createElement('div'); controls.className = 'controls';
  const pair = document.createElement('div'); pair.className = 'pair';
  const canvas = document.createElement('canvas'); canvas.className = 'lines';
  const flat = document.createElement('div'); flat.className = 'flat';
  const slider = document.createElement('input');
  slider.type = 'range'; slider.min = 5; slider.max = 250; slider.value = t.level;
  slider.setAttribute('aria-label', title.textContent);
  const set = () => { t.level = +slider.value; flat.style.background = colour(t.c, t.level); };
  slider.oninput = () => { t.moved = true; set(); update(); };
  set();
  pair.append(canvas, flat);
  controls.append(pair, slider);
  box.append(title, controls);
  document.getElementById('tries').append(box);
  const p = {canvas, c: t.c, exact: false};
  patterns.push(p);
  try { observer.observe(canvas, {box: 'device-pixel-content-box'}); } catch (err) { observer.observe(canvas); }
});
const modelField = document.getElementById('model');
modelField.value = settings.model || 'scanner.mdl';
modelField.oninput = update;
watchResolution();
update();
</script></body></html>
)";

}  // namespace

std::string matchPageHtml(const MatchPageSettings& settings) {
    return std::string(kHead) + "const settings = {model: " + scriptString(settings.model) +
           ", output: " + scriptString(settings.output.empty() ? "monitor.blk" : settings.output) + "};" + kScript;
}

bool writeMatchPage(const std::string& path, const MatchPageSettings& settings, std::string* error) {
    const std::string html = matchPageHtml(settings);
    return writeFileAtomically(path, html.data(), html.size(), error);
}

}  // namespace aucal
