// What a scenario line may say: the actions of the user and of the world
// around the window, and the expectations.  One row per word; add a row
// for a new kind of action or expectation (a camera, a file, a tool).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <locale>
#include <sstream>
#include <utility>

#include "base/cp1252.h"
#include "config/slot_file.h"
#include "notes/f_notas.h"
#include "sim/decoder.h"
#include "sim/options.h"
#include "stack/shutter.h"
#include "stacking/picture_header.h"
#include "tests/scenarios/scenario.h"

namespace velmira::scenario {

const std::string& Args::at(size_t i) const {
  if (i >= words.size()) throw BadLine("too few words");
  return words[i];
}

int64_t number(const std::string& text) {
  size_t used = 0;
  int64_t n = 0;
  try {
    n = std::stoll(text, &used);
  } catch (const std::exception&) {
  }
  if (used == 0 || used != text.size()) throw BadLine("\"" + text + "\" is no whole number");
  return n;
}

namespace {

// Splits "a@15" into "a" and 15 (no "@": -1).
std::pair<std::string, int64_t> timed(const std::string& token) {
  size_t at = token.rfind('@');
  if (at == std::string::npos || at == 0) return {token, -1};
  return {token.substr(0, at), number(token.substr(at + 1))};
}

using Got = std::vector<std::pair<int64_t, std::string>>;
constexpr const char* kRail = "velmira-sim-scenario";

std::string join(const std::vector<std::string>& items, const std::string& sep) {
  std::string out;
  for (const std::string& s : items) out += (out.empty() ? "" : sep) + s;
  return items.empty() ? "-" : out;
}

// "a | b | c" into its items; "-" is none.
std::vector<std::string> splitBars(const std::string& text) {
  std::vector<std::string> out;
  if (text == "-") return out;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, '|');) {
    size_t b = item.find_first_not_of(' '), e = item.find_last_not_of(' ');
    out.push_back(b == std::string::npos ? "" : item.substr(b, e - b + 1));
  }
  return out;
}

std::string yesNo(bool b) { return b ? "yes" : "no"; }

// A colour number as "R,G,B" ("-": the toolkit's default).
std::string rgbText(int64_t c) {
  if (c < 0) return "-";
  return std::to_string(c & 255) + "," + std::to_string((c >> 8) & 255) + "," + std::to_string((c >> 16) & 255);
}

// The case's folder changes from run to run: DIR in what is shown.
std::string dirless(const test::Rig& r, std::string text) {
  if (size_t at = text.find(r.dir()); at != std::string::npos) text.replace(at, r.dir().size(), "DIR");
  return text;
}

std::string colour(uint32_t c) {
  if (c == kGreen) return "verde";
  if (c == kRed) return "rojo";
  return std::to_string(c);
}

// The virtual keys of the shutter keys by name, and the typing keys.
const std::pair<const char*, int> kKeys[] = {
    {"F6", 117},  {"F7", 118},    {"F8", 119},      {"F9", 120},      {"F10", 121},     {"F11", 122},
    {"F12", 123}, {"Enter", 13},  {"Tab", 9},       {"BS", 8},        {"Esc", 27},      {"Del", 127},
    {"Ctrl+A", 1}, {"Ctrl+C", 3}, {"Ctrl+V", 22},   {"Ctrl+X", 24},
};

std::string keyName(int code) {
  for (const auto& [name, c] : kKeys)
    if (c == code) return name;
  return std::to_string(code);
}

// A UTF-8 text's characters, "{Name}" one character too.
std::vector<std::string> characters(const std::string& text, bool names) {
  std::vector<std::string> out;
  for (size_t i = 0, len = 1; i < text.size(); i += len, len = 1) {
    if (names && text[i] == '{') len = text.find('}', i) + 1 - i;
    while (i + len < text.size() && (static_cast<unsigned char>(text[i + len]) & 0xC0) == 0x80) ++len;
    out.push_back(text.substr(i, len));
  }
  return out;
}

// "12{Enter}" into key codes: a character is its Windows-1252 code.
std::vector<int> keyCodes(const std::string& text) {
  std::vector<int> out;
  for (const std::string& ch : characters(text, true)) {
    int code = -1;
    for (const auto& [n, c] : kKeys)
      if ("{" + std::string(n) + "}" == ch) code = c;
    if (code < 0 && ch[0] == '{') code = static_cast<int>(std::stol(ch.substr(1), nullptr, 0));
    out.push_back(code >= 0 ? code : static_cast<unsigned char>(utf8ToCp1252(ch)[0]));
  }
  return out;
}

// What the field shows after a received key, as the toolkit edits it: a
// character replaces the selection (within the maximum length), Backspace
// deletes; the rest edit nothing.
void edit(TextBox& t, int code) {
  std::vector<std::string> chars = characters(t.text(), false);
  size_t start = std::min<size_t>(t.selStart(), chars.size());
  size_t length = std::min<size_t>(t.selLength(), chars.size() - start);
  if (code == 8 && length == 0 && start > 0) --start, length = 1;
  else if (code < 32 || code == 127) return;
  else if (t.maxLength() > 0 && chars.size() - length >= static_cast<size_t>(t.maxLength())) return;
  chars.erase(chars.begin() + static_cast<long>(start), chars.begin() + static_cast<long>(start + length));
  if (code != 8) chars.insert(chars.begin() + static_cast<long>(start++), cp1252ToUtf8(std::string(1, static_cast<char>(code))));
  std::string text;
  for (const std::string& c : chars) text += c;
  t.setText(text);
  t.setSelection(static_cast<int>(start), 0);
}

// The simulated rail plugged in (again) under the one name the cases know.
void plugRail(Case& c, int64_t vanishAfterBytes) {
  c.rail.reset();
  c.rail = std::make_unique<sim::Rail>();
  sim::Options o;
  o.portsDir = c.ports->path();
  o.name = kRail;
  o.restPhase = 'd';  // where the window takes the motor to be
  o.vanishAfterBytes = vanishAfterBytes;
  c.rail->start(o);
  c.railMark = 0;
}

// NAME=VALUE words.
std::vector<std::pair<std::string, std::string>> pairs(const Args& a) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const std::string& w : a.words) {
    size_t eq = w.find('=');
    if (eq == std::string::npos) throw BadLine("\"" + w + "\" is no NAME=VALUE");
    out.push_back({w.substr(0, eq), w.substr(eq + 1)});
  }
  return out;
}

TextBox& field(Case& c, const std::string& name) {
  Control& ctl = c.control(name);
  if (ctl.kind() != Kind::TextBox) throw BadLine(name + " is no text field");
  return static_cast<TextBox&>(ctl);
}

void set(Case& c, const std::string& name, const std::string& v) {
  Form_Principal& f = c.form();
  if (name == "Ultima_Fase") { f.Ultima_Fase = Variant::text(v); return; }
  if (name == "Parada") { f.Parada = static_cast<float>(number(v)); return; }
  Control& ctl = c.control(name);
  switch (ctl.kind()) {
    case Kind::TextBox: static_cast<TextBox&>(ctl).setText(v); return;
    case Kind::Label: static_cast<Label&>(ctl).setCaption(v); return;
    case Kind::Button: static_cast<Button&>(ctl).setCaption(v); return;
    case Kind::CheckBox: static_cast<CheckBox&>(ctl).setValue(static_cast<int>(number(v))); return;
    case Kind::ScrollBar: static_cast<ScrollBar&>(ctl).setValue(static_cast<int>(number(v))); return;
    case Kind::ComboBox: static_cast<ComboBox&>(ctl).setText(v); return;
    case Kind::Shape: static_cast<Shape&>(ctl).setFillColor(v == "verde" ? kGreen : v == "rojo" ? kRed : 0); return;
    default: throw BadLine(name + " cannot be set");
  }
}

// Items of a list expectation against what came, each compared with its
// time when it gives one.
void compare(std::vector<std::string> expected, const Got& got, const std::string& sep) {
  if (expected.size() == 1 && expected[0] == "-") expected.clear();
  bool ok = expected.size() == got.size(), timesAsked = false;
  for (size_t i = 0; i < expected.size(); ++i) {
    auto [what, t] = timed(expected[i]);
    timesAsked |= t >= 0;
    if (ok && (what != got[i].second || (t >= 0 && t != got[i].first))) ok = false;
  }
  if (ok) return;
  std::vector<std::string> shown;
  for (const auto& [t, what] : got) shown.push_back(timesAsked ? what + "@" + std::to_string(t) : what);
  throw Mismatch{join(expected, sep), join(shown, sep)};
}

// The line: letters written at one time are one group, "pp@200"; letters
// without a time count by their order only.
void expectLine(Case& c, const Args& a) {
  std::vector<std::string> groups = a.words == std::vector<std::string>{"-"} ? std::vector<std::string>{} : a.words;
  std::string want;
  std::vector<std::string> letters;  // each with its time when asked
  for (const std::string& g : groups) {
    auto [what, t] = timed(g);
    want += what;
    for (char ch : what) letters.push_back(std::string(1, ch) + (t >= 0 ? "@" + std::to_string(t) : ""));
  }
  std::vector<std::string> got;  // as written: the letters of one time together
  if (c.rail) {  // the bytes the rail received, in order
    c.rail->waitForBytes(c.railMark + want.size(), 5000);
    const std::string bytes = c.rail->bytes().substr(c.railMark);
    c.railMark += bytes.size();
    if (bytes == want) return;
    if (!bytes.empty()) got.push_back(bytes);
  } else {
    Got written = c.since("write ");
    try {
      return compare(letters, written, " ");
    } catch (const Mismatch&) {
    }
    const bool timesAsked = a.rest.find('@') != std::string::npos;
    for (size_t i = 0; i < written.size(); ++i) {
      if (i == 0 || (timesAsked && written[i - 1].first != written[i].first)) got.emplace_back();
      got.back() += written[i].second;
      if (timesAsked && (i + 1 == written.size() || written[i + 1].first != written[i].first))
        got.back() += "@" + std::to_string(written[i].first);
    }
  }
  throw Mismatch{join(groups, " "), join(got, " ")};
}

std::string boxText(const platform::MessageBoxRequest& r, bool full, const test::Rig& rig) {
  if (!full) return dirless(rig, r.text);
  return dirless(rig, r.text) + " | title " + r.title + (r.icon == platform::Icon::Critical ? " | critical" : "") +
         (r.detail.empty() ? "" : " | detail " + dirless(rig, r.detail));
}

void visible(Case& c, const Args& a, bool shown) {
  for (const std::string& n : a.words)
    if (c.control(n).visible() != shown)
      throw Mismatch{n + (shown ? " visible" : " hidden"), n + (shown ? " hidden" : " visible")};
}

// ---- Tables about one function --------------------------------------------

// A row of IN=OUT pairs: each IN given to `f`, its result compared with OUT.
Word table(const char* name, const char* usage, std::function<std::string(const std::string&)> f) {
  return {name, usage, true, [f](Case&, const Args& a) {
            std::vector<std::string> want, got;
            for (const auto& [in, out] : pairs(a))
              if (std::string g = f(in); g != out) want.push_back(in + "=" + out), got.push_back(in + "=" + g);
            if (!want.empty()) throw Mismatch{join(want, " "), join(got, " ")};
          }};
}

template <typename T>
std::string orNone(const std::optional<T>& v) {
  return v ? std::to_string(*v) : "none";
}

std::string slotText(const config::SlotValues& v) {
  return v.milimetros + "|" + v.tpf + "|" + v.taf + "|" + std::to_string(v.velocidad) + "|" + std::to_string(v.tecla) +
         "|" + std::to_string(v.modo) + "|" + v.espejo;
}

// "PHASE BYTES" (- for no phase known; ! the board's reset, ~X the byte X
// while the board restarts) into the kinds of events and the tally.
std::string decode(const std::string& in) {
  sim::Decoder d(in[0] == '-' ? std::nullopt : std::optional<char>(in[0]));
  std::string out;
  double t = 0;
  int64_t last = 0, fed = 0;
  for (size_t i = 2; i < in.size(); ++i) {
    if (in[i] == '!') {
      d.boardReset(t);
      out += "reset ";
      continue;
    }
    const bool restarting = in[i] == '~' && ++i < in.size();
    const sim::Event e = restarting ? d.ignore(in[i], t += 10) : d.feed(in[i], t += 10);
    out += std::string(sim::kindName(e.kind)) + (e.ignored ? "! " : " ");
    last = e.pos;
    ++fed;
  }
  const sim::Tally& n = d.tally();
  out += "| " + std::to_string(n.position) + " " + std::to_string(n.lost) + " " + std::to_string(n.errors);
  if (n.shots) out += " shots=" + std::to_string(n.shots);
  for (size_t i = 0; i < n.holds.size(); ++i) out += (i ? "," : " holds=") + numberToText(n.holds[i]);
  if (n.shutterOpen) out += " open";
  if (n.lostDuringReset) out += " reset-lost=" + std::to_string(n.lostDuringReset);
  return out + (n.bytes == fed && last == n.position ? "" : " (miscounted)");
}

// velmira-sim's command line (blanks between the arguments, '' an empty
// one) as the options it sets, or refused (with a reason).
std::string simArgs(const std::string& in) {
  std::vector<std::string> args;
  std::istringstream words(in);
  for (std::string w; words >> w;) args.push_back(w == "''" ? "" : w);
  const sim::ParsedCommandLine p = sim::parseCommandLine(args);
  if (!p.command) return p.error.empty() ? "refused without a reason" : "refused";
  const sim::CommandLine& c = *p.command;
  const sim::Options& o = c.rail;
  auto n = [](int64_t v, int64_t none) { return v == none ? "" : std::to_string(v); };
  const std::pair<const char*, std::string> set[] = {
      {"name", o.name}, {"dir", o.portsDir}, {"phase", o.restPhase ? std::string(1, *o.restPhase) : ""},
      {"log", o.logPath}, {"avr", o.avrImage}, {"pins", o.pinLogPath}, {"vanish-bytes", n(o.vanishAfterBytes, -1)},
      {"vanish-ms", n(o.vanishAfterMs, -1)}, {"baud", n(o.baud, 0)}, {"reset-ms", n(o.resetMs, 0)},
      {"status", c.status ? "yes" : ""}, {"json", c.summaryJson ? "yes" : ""}, {"help", c.help ? "yes" : ""},
      {"version", c.version ? "yes" : ""}};
  std::vector<std::string> shown;
  for (const auto& [name, v] : set)
    if (!v.empty()) shown.push_back(name + std::string("=") + v);
  return join(shown, " ");
}

// A line of velmira-sim's event log (' for ") read and written again.
std::string simLog(const std::string& in) {
  auto swap = [](std::string s, char from, char to) { return std::replace(s.begin(), s.end(), from, to), s; };
  const std::optional<sim::Event> e = sim::parseJsonLine(swap(in, '\'', '"'));
  return e ? swap(sim::toJsonLine(*e), '"', '\'') : "none";
}

// ---- The USB camera --------------------------------------------------------

// Whether the i-th box shown was a question (Reintentar / Cancelar).
bool asked(Case& c, size_t i) {
  for (const test::Entry& e : c.rig.transcript.entries) {
    bool box = e.what.rfind("box ", 0) == 0, ask = e.what.rfind("ask ", 0) == 0;
    if ((box || ask) && i-- == 0) return ask;
  }
  return false;
}

// The next box, a plain one or a question.
void expectBox(Case& c, const Args& a, bool question) {
  const auto& shown = c.rig.messages.shown;
  bool full = a.rest.find(" | ") != std::string::npos;
  std::string got = "no box";
  if (c.boxesSeen < shown.size())
    got = (asked(c, c.boxesSeen) == question ? "" : question ? "(no question) " : "(a question) ") +
          boxText(shown[c.boxesSeen], full, c.rig);
  ++c.boxesSeen;
  if (got != a.rest) throw Mismatch{a.rest, got};
}

void cameraDoes(Case& c, const Args& a) {
  using Cause = platform::Camera::Cause;
  test::FakeCamera& cam = c.rig.camera;
  const std::string& what = a.at(0);
  auto after = [&](Cause then) {
    if (a.at(1) != "after") throw BadLine("camera " + what + " after N");
    cam.shotResults.insert(cam.shotResults.end(), static_cast<size_t>(number(a.at(2))), Cause::None);
    cam.shotResults.push_back(then);
  };
  if (what == "none") cam.present = false;
  else if (what == "busy") cam.shotResults.insert(cam.shotResults.end(), static_cast<size_t>(number(a.at(1))), Cause::Busy);
  else if (what == "vanish") after(Cause::Gone);
  else if (what == "full") after(Cause::Full);
  else if (what == "claimed") cam.openResults.insert(cam.openResults.end(), a.words.size() > 1 ? static_cast<size_t>(number(a.at(1))) : 1, Cause::Claimed);
  else if (what == "forbidden") cam.openResults.push_back(Cause::Permission);
  else if (what == "slow") cam.shotMs = number(a.at(1));
  else if (what == "raw+jpeg") cam.rawToo = true;
  else if (a.words.size() == 1) cam.present = true, cam.found.model = what;
  else throw BadLine("camera MODEL | none | busy N | vanish after N | full after N | claimed [N] | forbidden | slow MS | raw+jpeg");
}

std::vector<std::string> readLines(Case& c, const std::string& path) {
  std::optional<std::string> text = c.rig.readFile(path);
  if (!text) throw Mismatch{path, "no file " + path};
  std::vector<std::string> out;
  std::istringstream in(*text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

}  // namespace

// ---- The case: a rig and the marks of what was checked ----------------

Case::Case(const std::vector<std::string>& lines, bool onRail)
    : ports(onRail ? std::make_unique<test::PortsDir>() : nullptr),
      rig(test::RigOptions{.portsDir = ports ? ports->path() : ""}),
      t0(rig.clock.nowMs()) {
  if (onRail) plugRail(*this, -1);
  std::map<std::string, std::string> last;  // what each watched name showed last
  for (const std::string& l : lines)
    if (l.rfind("seen ", 0) == 0) last[l.substr(5, l.find(' ', 5) - 5)] = "";
  std::map<const Control*, bool> visible;
  for (const Control* c : form().controls()) visible[c] = c->visible();
  form().onControlChanged = [this, last, visible](Control& ctl) mutable {
    const int64_t now = rig.clock.nowMs();
    if (visible[&ctl] != ctl.visible()) rig.transcript.add(now, "visibility " + ctl.name() + (ctl.visible() ? "+" : "-"));
    visible[&ctl] = ctl.visible();
    for (auto& [name, shown] : last)
      if (name.substr(0, name.find('.')) == ctl.name() && value(name) != shown)
        rig.transcript.add(now, "seen " + name + "=" + (shown = value(name)));
  };
}

Control& Case::control(const std::string& name) {
  Control* c = form().control(name);
  if (!c) throw BadLine("the window has no control \"" + name + "\"");
  return *c;
}

std::string Case::value(const std::string& name) {
  std::string v = shown(name);
  // On the rail its terminal's name changes from run to run: PTY.
  const std::string pty = rail && rail->slavePath().size() > 5 ? rail->slavePath().substr(5) : "";
  if (size_t at = v.find(pty); !pty.empty() && at != std::string::npos) v.replace(at, pty.size(), "PTY");
  return v;
}

std::string Case::shown(const std::string& name) {
  Form_Principal& f = form();
  size_t dot = name.find('.');
  std::string prop = dot == std::string::npos ? "" : name.substr(dot + 1);
  std::string base = name.substr(0, dot);
  const std::map<std::string, std::function<std::string()>> special = {
      {"Ultima_Fase", [&] { return f.Ultima_Fase.toText(); }},
      {"Parada", [&] { return numberToText(f.Parada); }},
      {"En_Marcha", [&] { return yesNo(f.En_Marcha); }},
      {"Desplazamiento_Foto", [&] { return f.Desplazamiento_Foto.toText(); }},
      {"Milimetros_Paso", [&] { return f.Milimetros_Paso.toText(); }},
      {"Desplazamiento_Total", [&] { return f.Desplazamiento_Total.toText(); }},
      {"Fotos_Recomendadas", [&] { return std::to_string(f.Fotos_Recomendadas); }},
      {"focus", [&] { return f.focused() ? f.focused()->name() : std::string("-"); }},
      {"program", [&] { return rig.process.ended ? std::string("ended") : std::string("running"); }},
      {"sleeplock.reason", [&] { return rig.desktop.reason; }},
      {"port", [&] {
         auto& p = f.MSComm_Puerto_Serie;
         const std::string settings = rail ? rail->lineSettings() : rig.serial.settings;
         return p.isOpen() ? "open " + std::to_string(p.portNumber()) + " " + settings : std::string("closed");
       }},
      {"caption", [&] { return f.caption(); }},
      {"shown", [&] { return yesNo(f.shown()); }},
      {"Left", [&] { return std::to_string(f.Left); }},
      {"Top", [&] { return std::to_string(f.Top); }},
      {"process.title", [&] { return rig.process.titleText; }},
      {"activated", [&] { return join(rig.instance.activated, " | "); }},
      {"notes", [&] { return f.notas().L_Notas.caption(); }},
      {"notes.visible", [&] { return yesNo(f.notas().visible()); }},
      {"keypath.prepared", [&] { return std::to_string(rig.keys.prepared); }},
  };
  if (auto it = special.find(name); it != special.end()) return it->second();
  Control& c = control(base);
  const std::map<std::string, std::function<std::string()>> props = {
      {"visible", [&] { return yesNo(c.visible()); }},
      {"enabled", [&] { return yesNo(c.enabled()); }},
      {"bold", [&] { return yesNo(c.font().bold); }},
      {"size", [&] { return numberToText(c.font().size); }},
      {"selection", [&] {
         auto& t = static_cast<TextBox&>(c);
         return std::to_string(t.selStart()) + "+" + std::to_string(t.selLength());
       }},
      {"index", [&] { return std::to_string(static_cast<ComboBox&>(c).listIndex()); }},
      {"items", [&] {
         std::vector<std::string> items;
         for (const auto& i : static_cast<ComboBox&>(c).items()) items.push_back(i.text + " = " + std::to_string(i.data));
         return join(items, " | ");
       }},
      {"maxlength", [&] { return std::to_string(static_cast<TextBox&>(c).maxLength()); }},
      {"geometry", [&] {
         const Geometry& g = c.geometry();
         return std::to_string(g.left) + " " + std::to_string(g.top) + " " + std::to_string(g.width) + " " +
                std::to_string(g.height);
       }},
      {"stretch", [&] { return yesNo(static_cast<Image&>(c).stretch()); }},
      {"tip", [&] { return c.toolTip(); }},
      {"face", [&] { return rgbText(c.backColor()); }},
      {"fore", [&] { return rgbText(c.foreColor()); }},
  };
  if (!prop.empty()) {
    auto it = props.find(prop);
    if (it == props.end()) throw BadLine("no property \"" + prop + "\"");
    return it->second();
  }
  switch (c.kind()) {
    case Kind::TextBox: return static_cast<TextBox&>(c).text();
    case Kind::Label: return static_cast<Label&>(c).caption();
    case Kind::Button: return static_cast<Button&>(c).caption();
    case Kind::CheckBox: return std::to_string(static_cast<CheckBox&>(c).value());
    case Kind::ScrollBar: return std::to_string(static_cast<ScrollBar&>(c).value());
    case Kind::ComboBox: return static_cast<ComboBox&>(c).text();
    case Kind::Shape: return colour(static_cast<Shape&>(c).fillColor());
    case Kind::Image: return dirless(rig, static_cast<Image&>(c).picture());
    default: throw BadLine(base + " shows no value");
  }
}

Got Case::since(const std::string& kind) {
  Got out;
  const auto& e = rig.transcript.entries;
  for (size_t i = marks_[kind]; i < e.size(); ++i)
    if (e[i].what.rfind(kind, 0) == 0) out.push_back({e[i].timeMs - t0, e[i].what.substr(kind.size())});
  marks_[kind] = e.size();
  return out;
}

std::string Case::transcript() const {
  std::string out;
  for (const test::Entry& e : rig.transcript.entries) {
    std::string t = std::to_string(e.timeMs - t0);
    out += std::string(t.size() < 8 ? 8 - t.size() : 0, ' ') + t + "  " + e.what + "\n";
  }
  return out;
}

// ---- The words ------------------------------------------------------------

const std::vector<Word>& words() {
  static const std::vector<Word> all = {
      // The user.
      {"click", "click NAME: a button, a check box or a list clicked", false,
       [](Case& c, const Args& a) {
         Control& ctl = c.control(a.at(0));
         if (ctl.kind() == Kind::Button) static_cast<Button&>(ctl).click();
         else if (ctl.kind() == Kind::CheckBox) static_cast<CheckBox&>(ctl).click();
         else if (ctl.kind() == Kind::ComboBox && static_cast<ComboBox&>(ctl).onClick) static_cast<ComboBox&>(ctl).onClick();
         else throw BadLine(a.at(0) + " cannot be clicked");
       }},
      {"set", "set NAME=VALUE...: a field's text, a label's caption, a box's or bar's value, a window variable", false,
       [](Case& c, const Args& a) {
         for (const auto& [name, v] : pairs(a)) set(c, name, v);
       }},
      {"select", "select LIST ITEM|#N: the item of that text (or index, 0 first) chosen in a list (- for none)", false,
       [](Case& c, const Args& a) {
         auto& list = static_cast<ComboBox&>(c.control(a.at(0)));
         std::string item = a.rest.substr(a.rest.find(' ') + 1);
         int index = item.size() > 1 && item[0] == '#' ? static_cast<int>(number(item.substr(1))) : -1;
         for (int i = 0; i < list.listCount(); ++i)
           if (list.items()[static_cast<size_t>(i)].text == item) index = i;
         if (index < 0 && item != "-") throw BadLine(a.at(0) + " has no item \"" + item + "\"");
         list.setListIndex(index);
       }},
      {"type", "type FIELD KEYS: keys typed into a field (12,5{Enter}; {Tab} {BS} {Esc} {Ctrl+V} {0xBA})", false,
       [](Case& c, const Args& a) {
         TextBox& t = field(c, a.at(0));
         std::string received;
         for (int code : keyCodes(a.rest.substr(a.rest.find(' ') + 1))) {
           int got = c.form().keyPress(t, code);
           if (got >= 32 && got != 127) received += cp1252ToUtf8(std::string(1, static_cast<char>(got)));
           else if (got) received += "{" + keyName(got) + "}";
           edit(t, got);
         }
         c.rig.transcript.add(c.rig.clock.nowMs(), "received " + t.name() + " " + received);
       }},
      {"enter", "enter FIELD: the user presses Enter in a field that has the focus", false,
       [](Case& c, const Args& a) {
         TextBox& t = field(c, a.at(0));
         c.form().SetFocus(t);
         int got = c.form().keyPress(t, 13);
         c.rig.transcript.add(c.rig.clock.nowMs(), "received " + t.name() + " " + (got ? "{Enter}" : ""));
       }},
      {"focus", "focus NAME: the user puts the focus on a control", false,
       [](Case& c, const Args& a) { c.form().SetFocus(c.control(a.at(0))); }},
      {"caret", "caret FIELD START [LENGTH]: the caret placed, or a part of the text selected", false,
       [](Case& c, const Args& a) {
         field(c, a.at(0)).setSelection(static_cast<int>(number(a.at(1))),
                                        a.words.size() > 2 ? static_cast<int>(number(a.at(2))) : 0);
       }},
      {"connect", "connect [PORT]: the port listed (by default the one fake adapter) chosen and CONECTAR clicked", false,
       [](Case& c, const Args& a) {
         if (c.rail && c.form().ComboBoxCOM.listCount() == 0) c.form().BuscarPuerto_Click();
         a.words.empty() ? c.rig.connect(c.rail ? kRail : "USB Serial (ttyUSB0) (COM3)") : c.rig.connect(a.rest);
       }},
      {"start", "start: the program starts (load handler, window shown)", false,
       [](Case& c, const Args&) { c.rig.start(); }},
      {"signal", "signal: the program is ended from outside (a signal, the session's end)", false,
       [](Case& c, const Args&) { c.form().Terminar_Programa(); }},
      {"closebox", "closebox: the window's close box", false, [](Case& c, const Args&) { c.form().Form_Unload(); }},
      {"outer", "outer W H: the window's outer size in twips, as the window system frames it before the start", false,
       [](Case& c, const Args& a) {
         c.form().initOuterSize(static_cast<int>(number(a.at(0))), static_cast<int>(number(a.at(1))));
       }},
      {"resize", "resize W H: the user resizes the window (outer size in twips)", false,
       [](Case& c, const Args& a) {
         c.form().setOuterSize(static_cast<int>(number(a.at(0))), static_cast<int>(number(a.at(1))));
       }},
      {"folder", "folder program|shipped NAME: the program's folder for its files, the folder of what ships with it "
                 "(DIR/NAME)", false,
       [](Case& c, const Args& a) {
         (a.at(0) == "program" ? c.rig.process.dir : c.rig.process.shipped) = c.rig.dir() + "/" + a.at(1);
       }},
      {"instance", "instance running: another Velmira runs already", false,
       [](Case& c, const Args&) { c.rig.instance.running = true; }},
      // The world around the window.
      {"ports", "ports \"NAME\"...: the names the system lists (fail: the listing fails)", false,
       [](Case& c, const Args& a) {
         c.rig.devices.fails = a.rest == "fail";
         c.rig.devices.names = c.rig.devices.fails ? std::vector<std::string>{} : a.words;
       }},
      {"port", "port refuses TEXT [DETAIL] | port numbers N...: the port's open fails; the numbers that open", false,
       [](Case& c, const Args& a) {
         if (a.at(0) == "refuses") {
           c.rig.serial.openFailure = a.at(1);
           c.rig.serial.openFailureDetail = a.words.size() > 2 ? a.words[2] : "";
         } else if (a.at(0) == "numbers") {
           c.rig.serial.existing.clear();
           for (size_t i = 1; i < a.words.size(); ++i) c.rig.serial.existing.push_back(static_cast<int16_t>(number(a.words[i])));
         } else {
           throw BadLine("port refuses | port numbers");
         }
       }},
      {"unplug", "unplug [after N]: the adapter is pulled out now (after N more bytes)", false,
       [](Case& c, const Args& a) {
         c.rig.serial.vanishAfterBytes =
             static_cast<int>(c.rig.serial.bytes.size() + (a.words.empty() ? 0 : number(a.at(1))));
       }},
      {"plug", "plug: the adapter is back", false, [](Case& c, const Args&) { c.rig.serial.vanishAfterBytes = -1; }},
      {"keypath", "keypath unavailable|caveat|refuses|notice TEXT: the shutter key cannot be sent; its warning before "
                  "the first key; the desktop does not take the keys sent; its notice after them", false,
       [](Case& c, const Args& a) {
         test::FakeKeys& k = c.rig.keys;
         const std::map<std::string, std::optional<std::string>*> said = {
             {"unavailable", &k.unavailable}, {"caveat", &k.warning}, {"refuses", &k.refused}, {"notice", &k.noticed}};
         if (!said.count(a.at(0))) throw BadLine("keypath unavailable | caveat | refuses | notice");
         *said.at(a.at(0)) = a.rest.substr(a.rest.find(' ') + 1);
       }},
      {"sim", "sim stop | start [vanish N] | hold | release | vanished: on the rail, the rail unplugged; plugged in "
              "again (unplugged after N bytes); its port held by another program, let go; wait until it is gone",
       false,
       [](Case& c, const Args& a) {
         if (!c.rail) throw BadLine("not on the rail");
         const std::string& what = a.at(0);
         if (what == "stop") c.rail->stop();
         else if (what == "start") plugRail(c, a.words.size() > 2 ? number(a.at(2)) : -1);
         else if (what == "vanished") c.rail->waitFor([](const sim::Summary& s) { return s.vanished; }, 5000);
         else if (what == "release") ::close(std::exchange(c.heldPort, -1));
         else if (what != "hold") throw BadLine("sim stop | start [vanish N] | hold | release | vanished");
         else if ((c.heldPort = ::open(c.rail->linkPath().c_str(), O_WRONLY | O_NOCTTY)) < 0 ||
                  flock(c.heldPort, LOCK_EX | LOCK_NB) != 0)
           throw std::runtime_error("the rail's port cannot be held");
       }},
      {"fusion", "fusion missing: the tools that fuse a stack are not installed", false,
       [](Case& c, const Args& a) {
         if (a.at(0) != "missing") throw BadLine("fusion missing");
         c.rig.fusion.missing = true;
       }},
      {"special", "special NAME fifo|zero|folder: a FIFO, a link to /dev/zero (it never ends) or a folder of that name "
                  "in the program's folder", false,
       [](Case& c, const Args& a) {
         const std::string path = c.rig.dir() + "/" + a.at(0), kind = a.at(1);
         if (!(kind == "fifo"   ? mkfifo(path.c_str(), 0600) == 0
               : kind == "zero" ? symlink("/dev/zero", path.c_str()) == 0
                                : kind == "folder" && mkdir(path.c_str(), 0700) == 0))
           throw BadLine("special NAME fifo | zero | folder");
       }},
      {"disk", "disk room BYTES: from now on a file grows to BYTES at most, as on a full disk", false,
       [](Case&, const Args& a) {
         if (a.at(0) != "room") throw BadLine("disk room BYTES");
         std::signal(SIGXFSZ, SIG_IGN);  // a write past it fails instead of ending the program
         rlimit r{};
         getrlimit(RLIMIT_FSIZE, &r);
         r.rlim_cur = static_cast<rlim_t>(number(a.at(1)));
         setrlimit(RLIMIT_FSIZE, &r);
       }},
      {"locale", "locale point: the machine's locale writes numbers as 1,234.5 (C++ and C alike)", false,
       [](Case&, const Args& a) {
         struct PointDecimal : std::numpunct<char> {
           char do_decimal_point() const override { return '.'; }
           char do_thousands_sep() const override { return ','; }
           std::string do_grouping() const override { return "\3"; }
         };
         if (a.at(0) != "point") throw BadLine("locale point");
         std::locale::global(std::locale(std::locale::classic(), new PointDecimal));
         std::setlocale(LC_ALL, "C.UTF-8");
       }},
      {"file", "file NAME \"BYTES\": a file in the program's folder | file NAME = \"BYTES\" | file NAME = missing", false,
       [](Case& c, const Args& a) {
         if (a.words.size() == 2) {
           std::filesystem::create_directories(std::filesystem::path(c.rig.dir() + "/" + a.at(0)).parent_path());
           return c.rig.writeFile(a.at(0), a.at(1));
         }
         std::optional<std::string> got = c.rig.readFile(a.at(0));
         const std::string& want = a.at(2);
         if (a.at(1) != "=" || a.words.size() != 3) throw BadLine("file NAME \"BYTES\" | file NAME = \"BYTES\"");
         bool missing = want == "missing" && a.rest.find('"') == std::string::npos;
         if (missing ? !got : got == want) return;
         auto show = [](const std::string& s) {
           std::string o = "\"";
           for (unsigned char ch : s) {
             char buf[8];
             if (ch == '\r') o += "\\r"; else if (ch == '\n') o += "\\n"; else if (ch == '"') o += "\\\"";
             else if (ch < 32 || ch >= 127) { std::snprintf(buf, sizeof buf, "\\x%02X", ch); o += buf; }
             else o += static_cast<char>(ch);
           }
           return o + "\"";
         };
         throw Mismatch{missing ? "missing" : show(want), got ? show(*got) : "missing"};
       }},
      // The USB camera.
      {"camera", "camera MODEL | none | busy N | vanish after N | full after N | claimed [N] | forbidden | slow MS | "
                 "raw+jpeg: the camera on USB, what its next shots (busy N: the next N) and opens do, a shot's length",
       false, cameraDoes},
      {"answer", "answer Reintentar|Cancelar...: the user's answers to the next questions, in order (then Cancelar)",
       false,
       [](Case& c, const Args& a) {
         for (const std::string& w : a.words) {
           if (w != "Reintentar" && w != "Cancelar") throw BadLine("answer Reintentar | Cancelar");
           c.rig.messages.retryAnswers.push_back(w == "Reintentar");
         }
       }},
      {"ask", "ask TEXT [| title T | critical]: the next box is a question with Reintentar and Cancelar", true,
       [](Case& c, const Args& a) { expectBox(c, a, true); }},
      {"usb", "usb open[@MS] foto-0001[@MS] close[@MS]...: what the camera was asked since the last check (a name: "
              "a shot of that photo)",
       true,
       [](Case& c, const Args& a) {
         Got got = c.since("camera ");
         for (auto& [t, what] : got)
           if (what.rfind("shot ", 0) == 0) what = what.substr(5);
         compare(a.words, got, " ");
       }},
      {"files", "files FOLDER NAME... | - | missing: the files in a folder under the program's, by name; none; no folder", true,
       [](Case& c, const Args& a) {
         std::vector<std::string> got;
         std::error_code ec;
         for (const auto& e : std::filesystem::directory_iterator(c.rig.dir() + "/" + a.at(0), ec))
           got.push_back(e.path().filename().string());
         std::sort(got.begin(), got.end());
         std::vector<std::string> want(a.words.begin() + 1, a.words.end());
         if (want == std::vector<std::string>{"-"}) want.clear();
         if (want == std::vector<std::string>{"missing"} && ec) return;
         if (ec) throw Mismatch{join(want, " "), "missing"};
         if (got != want) throw Mismatch{join(want, " "), join(got, " ")};
       }},
      {"lines", "lines FILE FIRST \"TEXT\"...: the file's lines from line FIRST (1 is the first), each exactly", true,
       [](Case& c, const Args& a) {
         std::vector<std::string> got = readLines(c, a.at(0));
         size_t first = static_cast<size_t>(number(a.at(1)));
         std::vector<std::string> want(a.words.begin() + 2, a.words.end());
         std::vector<std::string> part;
         for (size_t i = first - 1; i < got.size() && part.size() < want.size(); ++i) part.push_back(got[i]);
         if (part != want) throw Mismatch{join(want, " | "), join(part, " | ")};
       }},
      // Tables about one function.
      table("leadingNumber", "leadingNumber TEXT=NUMBER...: the number at the start of a text, as a field's is read",
            [](const std::string& s) { return numberToText(leadingNumber(s)); }),
      table("textToNumber", "textToNumber TEXT=NUMBER|none...: a whole text read as a number",
            [](const std::string& s) { auto v = textToNumber(s); return v ? numberToText(*v) : "none"; }),
      table("numberToText", "numberToText C_NUMBER=TEXT...: a number as the fields show it",
            [](const std::string& s) { return numberToText(std::strtod(s.c_str(), nullptr)); }),
      table("whole", "whole C_NUMBER=INT32/INT16...: a number rounded to a whole one (none: out of range)",
            [](const std::string& s) {
              const double v = std::strtod(s.c_str(), nullptr);
              return orNone(toInt32(v)) + "/" + orNone(toInt16(v));
            }),
      table("cp1252", "cp1252 BYTES=UTF8...: Windows-1252 bytes as UTF-8, and back", [](const std::string& s) {
        const std::string u = cp1252ToUtf8(s);
        return utf8ToCp1252(u) == s ? u : u + " (back: " + utf8ToCp1252(u) + ")";
      }),
      table("utf8ToCp1252", "utf8ToCp1252 TEXT=BYTES...: UTF-8 into Windows-1252", utf8ToCp1252),
      table("utf8Length", "utf8Length TEXT=N...: the characters of a UTF-8 text",
            [](const std::string& s) { return std::to_string(utf8Length(s)); }),
      table("looksLikeUtf8", "looksLikeUtf8 TEXT=yes|no...: UTF-8 told from Windows-1252",
            [](const std::string& s) { return yesNo(looksLikeUtf8(s)); }),
      table("readSlot", "readSlot BYTES=MM|TPF|TAF|SPEED|KEY|MODE|MIRROR|none...: a slot file's values",
            [](const std::string& s) { auto v = config::readSlot(s); return v ? slotText(*v) : "none"; }),
      table("writeFailureCause", "writeFailureCause ERRNO=CAUSE...: why a file could not be written in the folder /p",
            [](const std::string& name) {
              for (int e = 1; e < 200; ++e)
                if (const char* n = strerrorname_np(e); n && name == n) return platform::writeFailureCause(e, "/p");
              throw BadLine("no error " + name);
            }),
      table("pictureHeader", "pictureHeader BYTES=WxHxBITS|none...: a frame's size and depth from its header",
            [](const std::string& s) {
              auto i = stacking::readPictureHeader(s);
              return i ? std::to_string(i->width) + "x" + std::to_string(i->height) + "x" + std::to_string(i->bitsPerSample) : "none";
            }),
      table("shutterKey", "shutterKey INDEX=KEY/CODE|none...: the key of the key list's item, and its virtual-key code",
            [](const std::string& s) {
              auto key = stack::Nombre_Tecla(static_cast<int>(number(s)));
              return key ? *key + "/" + orNone(stack::Codigo_Tecla(*key)) : "none";
            }),
      table("decode", "decode \"PHASE BYTES\"=KINDS | POSITION LOST ERRORS [shots= holds= open reset-lost=]...: what "
                      "the simulated controller makes of bytes (PHASE -: not known; ! a reset, ~X X while restarting)",
            decode),
      table("simArgs", "simArgs \"ARGS\"=OPTIONS|refused...: velmira-sim's command line ('' an empty argument)",
            simArgs),
      table("simLog", "simLog LINE=LINE|none...: a line of velmira-sim's event log (' for \") read and written again",
            simLog),
      // What is seen.
      {"expect", "expect NAME=VALUE... | NAME = VALUE: what a control shows (text, caption, value; LED verde/rojo), a "
                 "window variable, NAME.visible/enabled/bold/size/selection/index/items/maxlength/geometry/tip/face/fore, "
                 "focus, port, program",
       true,
       [](Case& c, const Args& a) {
         for (const auto& [name, want] : pairs(a))
           if (std::string got = c.value(name); got != want) throw Mismatch{name + "=" + want, name + "=" + got};
       }},
      {"line", "line LETTERS[@MS]...: the bytes written since the last line check; with @MS each group's time", true,
       expectLine},
      {"waits", "waits MS... (- none): the waits the window made since the last check, in order", true,
       [](Case& c, const Args& a) { compare(a.words, c.since("sleep "), " "); }},
      {"box", "box TEXT [| title T | critical | detail D]: the next message box shown", true,
       [](Case& c, const Args& a) { expectBox(c, a, false); }},
      {"pressed", "pressed KEY-down[@MS] KEY-up[@MS]...: the key events synthesised since the last check", true,
       [](Case& c, const Args& a) {
         Got got;
         for (auto [t, what] : c.since("key ")) {
           std::istringstream in(what);
           int vk = 0, scan = 0, flags = 0, extra = 0;
           in >> vk >> scan >> flags >> extra;
           std::string s = keyName(vk) + (flags == 0 ? "-down" : flags == 2 ? "-up" : "-flags" + std::to_string(flags));
           if (scan || extra) s += "-scan" + std::to_string(scan) + "-extra" + std::to_string(extra);
           got.push_back({t, s});
         }
         compare(a.words, got, " ");
       }},
      {"seen", "seen NAME VALUE[@MS]...: the values a control showed since the last check", true,
       [](Case& c, const Args& a) {
         compare(std::vector<std::string>(a.words.begin() + 1, a.words.end()), c.since("seen " + a.at(0) + "="), " ");
       }},
      {"rail", "rail [position=N lost=N errors=N shots=N open=yes|no]: before the cases, they run on the real port "
               "and a pseudo-terminal with the simulated rail; in a case, what the rail did",
       true,
       [](Case& c, const Args& a) {
         if (a.words.empty()) return;
         if (!c.rail) throw BadLine("not on the rail");
         for (const auto& [name, want] : pairs(a)) {
           if (name == "open")
             c.rail->waitFor([&](const sim::Summary& s) { return s.hostOpen == (want == "yes"); }, 5000);
           const std::map<std::string, int64_t> got = {{"position", c.rail->position()}, {"lost", c.rail->lost()},
                                                       {"errors", c.rail->errors()}, {"shots", c.rail->shots()},
                                                       {"open", c.rail->hostOpen()}};
           if (!got.count(name)) throw BadLine("the rail tells position, lost, errors, shots and open");
           std::string g = name == "open" ? yesNo(got.at(name)) : std::to_string(got.at(name));
           if (g != want) throw Mismatch{name + "=" + want, name + "=" + g};
         }
       }},
      {"visibility", "visibility NAME+ NAME-...: the controls shown (+) and hidden (-) since the last check, in order",
       true, [](Case& c, const Args& a) { compare(a.words, c.since("visibility "), " "); }},
      {"received", "received FIELD KEYS: what reached the field of the last keys typed into it", true,
       [](Case& c, const Args& a) {
         Got got = c.since("received " + a.at(0) + " ");
         std::string want = a.words.size() > 1 ? a.rest.substr(a.rest.find(' ') + 1) : "";
         std::string last = got.empty() ? "nothing typed" : got.back().second;
         if (last != want) throw Mismatch{want, last};
       }},
      {"sleeplock", "sleeplock on[@MS] off[@MS]...: the machine kept from sleeping, and let sleep again", true,
       [](Case& c, const Args& a) { compare(a.words, c.since("sleeplock "), " "); }},
      {"giveway", "giveway on[@MS] off[@MS]...: the fusion held while the rail steps, and let go on", true,
       [](Case& c, const Args& a) { compare(a.words, c.since("giveway "), " "); }},
      {"fused", "fused ITEM[@MS] | ... (- none): the stacks given to be fused since the last check, each \"stack N "
                "photos\" (its folder under Velmira, its record ended) or what it was",
       true,
       [](Case& c, const Args& a) {
         Got got = c.since("fuse ");
         const std::string stacks = c.rig.process.pictures + "/Velmira/";
         for (auto& [t, what] : got)
           if (what.rfind(stacks, 0) == 0) what = "stack" + what.substr(what.find(' '));
         compare(splitBars(a.rest), got, " | ");
       }},
      {"desktop", "desktop ITEM[@MS] | ...: what the desktop was told of a run since the last check (started, "
                  "progress, finished ...)",
       true, [](Case& c, const Args& a) { compare(splitBars(a.rest), c.since("desktop "), " | "); }},
      {"shows", "shows NAME...: these controls are visible", true, [](Case& c, const Args& a) { visible(c, a, true); }},
      {"hides", "hides NAME...: these controls are hidden", true, [](Case& c, const Args& a) { visible(c, a, false); }},
  };
  return all;
}

}  // namespace velmira::scenario
