// The visual match page: for each monitor channel, a fine pattern of lines at
// full and zero drive (which shows half of the channel's full luminance at
// any gamma) beside a flat patch whose level the user moves until the two
// look alike from a distance. The page prints the three levels to pass to
// "aucal monitor --levels".
#include <fstream>

#include "commands.h"

namespace aucal {

bool writeMatchPage(const std::string& path, std::string* /*error*/) {
    std::ofstream out(path, std::ios::trunc);
    out << R"(<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>aucal - monitor visual match</title>
<style>
body { background: #000; color: #ccc; font: 15px sans-serif; margin: 2em; }
.row { display: flex; align-items: center; gap: 2em; margin: 2em 0; }
.pair { display: flex; border: 1px solid #333; }
.lines, .flat { width: 220px; height: 160px; image-rendering: pixelated; }
input[type=range] { width: 260px; }
code { color: #fff; font-size: 18px; }
</style></head><body>
<h1>Monitor visual match</h1>
<p>Sit back from the screen. For each colour, move the slider until the flat patch on the right
looks as bright as the striped patch on the left. Turn off any night-light or colour filter first,
and view at 100% zoom so that the stripes are one screen pixel each.</p>
<div id="rows"></div>
<p>Pass these levels to aucal:</p>
<p><code id="cmd"></code></p>
<script>
const names = ['red', 'green', 'blue'];
const levels = [186, 186, 186];
function colour(c, v) { const a = [0, 0, 0]; a[c] = v; return 'rgb(' + a.join(',') + ')'; }
function stripes(c) {
  const cv = document.createElement('canvas'); cv.width = 220; cv.height = 160; cv.className = 'lines';
  const g = cv.getContext('2d');
  for (let y = 0; y < 160; y++) { g.fillStyle = colour(c, y % 2 ? 0 : 255); g.fillRect(0, y, 220, 1); }
  return cv;
}
function update() {
  document.getElementById('cmd').textContent = 'aucal monitor --levels ' + levels.join(' ') + ' --model MODEL --output monitor.blk';
}
names.forEach((n, c) => {
  const row = document.createElement('div'); row.className = 'row';
  const pair = document.createElement('div'); pair.className = 'pair';
  const flat = document.createElement('div'); flat.className = 'flat';
  pair.append(stripes(c), flat);
  const slider = document.createElement('input'); slider.type = 'range'; slider.min = 5; slider.max = 250; slider.value = levels[c];
  const label = document.createElement('span');
  const set = () => { levels[c] = +slider.value; flat.style.background = colour(c, levels[c]); label.textContent = n + ': ' + levels[c]; update(); };
  slider.oninput = set; set();
  row.append(pair, slider, label);
  document.getElementById('rows').append(row);
});
</script></body></html>
)";
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace aucal
