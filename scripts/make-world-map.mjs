#!/usr/bin/env node
// Converts Natural Earth's 1:110m land polygons (public domain), as the npm
// package world-atlas carries them (land-110m.json, TopoJSON), into the
// small text file the search map draws: one ring per line, "lon,lat"
// points in degrees with one decimal, separated by spaces.
// Run once by hand; the output is committed (the build never needs npm):
//   npm pack world-atlas@2 && tar xzf world-atlas-2.*.tgz
//   node scripts/make-world-map.mjs package/land-110m.json > data/world-110m.txt
import { readFileSync } from "node:fs";

const topology = JSON.parse(readFileSync(process.argv[2], "utf8"));
const { scale, translate } = topology.transform;

// Arcs are quantised and delta-encoded: undo both once.
const arcs = topology.arcs.map((arc) => {
  let x = 0, y = 0;
  return arc.map(([dx, dy]) => {
    x += dx; y += dy;
    return [x * scale[0] + translate[0], y * scale[1] + translate[1]];
  });
});

// A ring lists arc indices; ~i stands for arc i walked backwards. Each arc
// after the first repeats the previous arc's last point.
function ring(indices) {
  const points = [];
  for (const index of indices) {
    const arc = index < 0 ? arcs[~index].slice().reverse() : arcs[index];
    arc.forEach((p, k) => { if (k > 0 || points.length === 0) points.push(p); });
  }
  return points;
}

const lines = ["# Natural Earth 1:110m land (public domain), from npm world-atlas land-110m.json;",
               "# made by scripts/make-world-map.mjs. One ring per line: lon,lat pairs in degrees."];
for (const geometry of Object.values(topology.objects)[0].geometries) {
  const polygons = geometry.type === "Polygon" ? [geometry.arcs] : geometry.arcs;
  for (const polygon of polygons)
    for (const r of polygon) {
      const text = [];
      let last = "";
      for (const [lon, lat] of ring(r)) {
        const point = `${lon.toFixed(1)},${lat.toFixed(1)}`;
        if (point !== last) text.push(point);
        last = point;
      }
      if (text.length >= 3) lines.push(text.join(" "));
    }
}
process.stdout.write(lines.join("\n") + "\n");
