// The line's page: drawn afresh from each snapshot the program sends (Server-Sent Events). Every
// value is set as text (textContent), never as markup: a label or a reason from a table or a
// unit shows as it is, whatever it holds.
"use strict";

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined && text !== null) node.textContent = String(text);
  return node;
}

function svg(tag, attributes) {
  const node = document.createElementNS("http://www.w3.org/2000/svg", tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, String(value));
  return node;
}

function figure(name, value, key) {
  const box = el("div", "figure");
  box.dataset.figure = key;
  box.append(el("span", "value", value), el("span", "name", name));
  return box;
}

function percent(share) {
  return share < 0 ? "—" : Math.round(share * 100) + " %";
}

// Written per hour of the shift, one bar an hour.
function chart(hours) {
  const width = 14, height = 48, most = Math.max(1, ...hours);
  const box = svg("svg", { class: "chart", width: hours.length * width, height: height + 12 });
  hours.forEach((count, hour) => {
    const bar = Math.round((count / most) * height);
    const rect = svg("rect", { x: hour * width + 1, y: height - bar, width: width - 2, height: bar });
    rect.append(svg("title", {}));
    rect.firstChild.textContent = hour + " ч: " + count;
    box.append(rect);
    if (hour % 3 === 0) {
      const label = svg("text", { x: hour * width + 1, y: height + 10 });
      label.textContent = String(hour);
      box.append(label);
    }
  });
  return box;
}

function figures(f) {
  const box = el("div", "figures");
  box.append(figure("записано", f.written, "written"), figure("ошибок", f.errors, "errors"));
  if (f.rowsLeft >= 0) box.append(figure("строк осталось", f.rowsLeft, "rowsLeft"));
  box.append(figure("блоков в час (15 мин)", Math.round(f.unitsPerHour), "unitsPerHour"),
             figure("с первого раза", percent(f.firstPassYield), "firstPassYield"));
  const hours = el("div", "figure");
  hours.append(chart(f.hours), el("span", "name", "записано по часам смены"));
  box.append(hours);
  const reasons = Object.entries(f.reasons);
  if (reasons.length > 0)
    box.append(el("div", "reasons", reasons.map(([why, n]) => why + ": " + n).join("; ")));
  return box;
}

function tile(station, slot) {
  const box = el("div", "tile tone-" + slot.tone);
  box.dataset.station = station.station;
  box.dataset.slot = slot.slot;
  box.dataset.phase = slot.phase;
  box.append(el("span", "sign", slot.sign), el("div", "port", slot.slot + ": " + slot.port),
             el("div", "words", slot.words));
  if (slot.label) box.append(el("div", "label", slot.label));
  box.append(el("div", "seconds", slot.seconds + " с"));
  return box;
}

function stationBox(station) {
  const box = el("section", "station station-" + station.tone);
  box.dataset.station = station.station;
  box.dataset.state = station.state;
  const head = el("div", "station-head");
  head.append(el("span", "station-name", station.station), el("span", "", station.pc),
              el("span", "state tone-" + station.tone, (station.sign ? station.sign + " " : "") +
                 station.state));
  const tiles = el("div", "tiles");
  for (const slot of station.slots) tiles.append(tile(station, slot));
  box.append(head, tiles, figures(station.figures));
  return box;
}

function failedRow(attempt) {
  const row = el("tr");
  for (const value of [attempt.time.replace("T", " "), attempt.station, attempt.port,
                       attempt.row > 0 ? attempt.row : "шаблон", attempt.label, attempt.reason])
    row.append(el("td", "", value));
  return row;
}

function draw(snapshot) {
  const error = document.getElementById("error");
  error.hidden = !snapshot.error;
  error.textContent = snapshot.error ? "Нет связи с базой данных: " + snapshot.error : "";
  document.getElementById("since").textContent =
      "смена с " + String(snapshot.since || "").replace("T", " ");
  if (!snapshot.line) return;
  const line = document.getElementById("line");
  line.replaceChildren(el("h2", "", "Линия"), figures(snapshot.line));
  document.getElementById("stations").replaceChildren(...snapshot.stations.map(stationBox));
  document.querySelector("#failed tbody").replaceChildren(...snapshot.failed.map(failedRow));
}

function connect() {
  const connection = document.getElementById("connection");
  const events = new EventSource("/events");
  events.onopen = () => {
    connection.textContent = "● на связи";
    connection.className = "tone-green";
  };
  events.onerror = () => {
    connection.textContent = "✗ нет связи с панелью";
    connection.className = "tone-red";
  };
  events.onmessage = (message) => draw(JSON.parse(message.data));
}

document.addEventListener("DOMContentLoaded", connect);
