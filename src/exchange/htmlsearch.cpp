#include "exchange/htmlsearch.h"

#include "exchange/htmlexport.h"

#include "base/cp1252.h"
#include "exchange/rtfhtml/htmlchars.h"

#include <cstdint>
#include <unordered_map>

namespace zt::htmlsite {

void AppendJsonString(std::string& out, std::string_view utf8) {
    static const char* kHex = "0123456789abcdef";
    out.push_back('"');
    size_t plain = 0; // start of the run of bytes that go out as they are
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c != '"' && c != '\\' && c != '<' && c != '>' && c != '&' && c != 0xE2) continue;
        if (c == 0xE2) {
            // U+2028 and U+2029 end a line inside a script's string in older browsers.
            if (i + 2 < utf8.size() && uint8_t(utf8[i + 1]) == 0x80 && (uint8_t(utf8[i + 2]) & 0xFE) == 0xA8) {
                out.append(utf8.data() + plain, i - plain);
                out += uint8_t(utf8[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
                plain = i + 3;
                i += 2;
            }
            continue;
        }
        out.append(utf8.data() + plain, i - plain);
        plain = i + 1;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': break;
        case '\t': out += "\\t"; break;
        default: // "<", ">", "&" (so that the index can sit in a script) and control characters
            out += "\\u00";
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    out.append(utf8.data() + plain, utf8.size() - plain);
    out.push_back('"');
}

namespace {

char32_t EntityValue(std::string_view name) {
    static const std::unordered_map<std::string_view, char32_t> kNames = [] {
        std::unordered_map<std::string_view, char32_t> m;
        for (char32_t c = 0x20; c < 0x2700; ++c) {
            const std::string_view n = rtfhtml::HtmlEntityName(c);
            if (!n.empty()) m.emplace(n, c);
        }
        m.emplace("apos", U'\'');
        return m;
    }();
    if (name.size() >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        uint32_t v = 0;
        size_t i = hex ? 2 : 1;
        if (i == name.size()) return 0;
        for (; i < name.size(); ++i) {
            const char c = name[i];
            int d = c >= '0' && c <= '9' ? c - '0' : -1;
            if (hex && d < 0) d = c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0) return 0;
            v = v * (hex ? 16 : 10) + uint32_t(d);
            if (v > 0x10FFFF) return 0;
        }
        return (v >= 0xD800 && v <= 0xDFFF) ? 0 : char32_t(v);
    }
    const auto it = kNames.find(name);
    return it == kNames.end() ? 0 : it->second;
}

// Whether a tag (its name folded to upper case) ends a line of the text.
bool BreaksLine(std::string_view name) {
    switch (name.size()) {
    case 1: return name[0] == 'P';
    case 2:
        return name == "BR" || name == "TR" || name == "LI" || name == "UL" || name == "OL" || name == "HR" ||
               name == "DT" || name == "DD" || (name[0] == 'H' && name[1] >= '1' && name[1] <= '6');
    case 3: return name == "DIV" || name == "PRE";
    case 5: return name == "TABLE";
    case 10: return name == "BLOCKQUOTE";
    default: return false;
    }
}

} // namespace

void AppendHtmlText(std::string& out, std::string_view html) {
    const size_t start = out.size();
    // What ends the text so far: nothing (at the start), a blank or a line feed.
    auto separate = [&](char c) {
        if (out.size() == start) return;
        char& last = out.back();
        if (last == '\n') return;
        if (last == ' ') last = c;
        else out.push_back(c);
    };
    size_t plain = 0; // start of the run of bytes that go out as they are
    const size_t n = html.size();
    auto flush = [&](size_t i) {
        if (i > plain) out.append(html.data() + plain, i - plain);
    };
    for (size_t i = 0; i < n;) {
        const unsigned char c = static_cast<unsigned char>(html[i]);
        if (c >= 0x21 && c < 0x80 && c != '<' && c != '&') {
            ++i;
            continue;
        }
        flush(i);
        if (c == '<') {
            if (html.compare(i, 4, "<!--") == 0) {
                const size_t close = html.find("-->", i + 4);
                i = close == std::string_view::npos ? n : close + 3;
            } else {
                const size_t close = html.find('>', i + 1);
                size_t k = i + 1;
                if (k < n && html[k] == '/') ++k;
                char name[12];
                size_t len = 0;
                for (; k < n && len < sizeof name; ++k, ++len) {
                    const char a = html[k];
                    if (!((a >= 'A' && a <= 'Z') || (a >= 'a' && a <= 'z') || (a >= '0' && a <= '9'))) break;
                    name[len] = a >= 'a' && a <= 'z' ? char(a - 32) : a;
                }
                const std::string_view tag(name, len);
                if (BreaksLine(tag)) separate('\n');
                else if (tag == "TD" || tag == "TH") separate(' ');
                i = close == std::string_view::npos ? n : close + 1;
            }
        } else if (c == '&') {
            const size_t semi = html.find(';', i + 1);
            const char32_t v =
                semi != std::string_view::npos && semi - i <= 12 ? EntityValue(html.substr(i + 1, semi - i - 1)) : 0;
            if (v) {
                if (v == ' ' || v == '\t') separate(' ');
                else AppendUtf8(out, v);
                i = semi + 1;
            } else {
                out.push_back('&');
                ++i;
            }
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            separate(' ');
            ++i;
        } else if (c >= 0x80) {
            AppendUtf8(out, Cp1252ToUnicode(c));
            ++i;
        } else {
            ++i; // other control characters
        }
        plain = i;
    }
    flush(n);
    while (out.size() > start && (out.back() == ' ' || out.back() == '\n')) out.pop_back();
}

void SearchIndex::Add(std::string_view titleUtf8, std::string_view href, std::string_view textUtf8) {
    if (count_++ > 0) script_ += ",\n";
    script_ += "{\"t\":";
    AppendJsonString(script_, titleUtf8);
    script_ += ",\"u\":";
    AppendJsonString(script_, href);
    script_ += ",\"x\":";
    AppendJsonString(script_, textUtf8);
    script_ += "}";
}

std::string SearchIndex::TakeScript() {
    script_ += kScriptTail;
    std::string out = std::move(script_);
    script_ = std::string(kScriptHead) + "[";
    count_ = 0;
    return out;
}

std::string_view SearchIndex::JsonIn(std::string_view script) {
    // The JSON ends with its line feed, before ");\n".
    if (script.size() < kScriptHead.size() + 3) return {};
    return script.substr(kScriptHead.size(), script.size() - kScriptHead.size() - 3);
}

std::string SearchPage(std::string_view documentNameUtf8) {
    const std::string name = HtmlEscape(documentNameUtf8);
    std::string page;
    page += "<!DOCTYPE html>\n<html lang=\"de\"><head><meta charset=\"utf-8\">\n<title>Suche in: " + name +
            "</title>\n";
    page += "<style>body{font-family:sans-serif;margin:1em 2em}input{font-size:1.1em;width:60%}"
            "li{margin:.4em 0}.ctx{color:#555;font-size:.9em}mark{background:#ff6}</style>\n";
    page += "</head><body>\n<h2>Suche in: " + name + "</h2>\n";
    page += "<p><a href=\"ztContent.htm\">Inhaltsverzeichnis</a></p>\n";
    page += "<form id=\"f\"><input id=\"q\" type=\"search\" autofocus placeholder=\"Suchbegriffe\">"
            " <button type=\"submit\">Suchen</button></form>\n";
    page += "<p id=\"n\"></p><ol id=\"r\"></ol>\n";
    page += "<noscript><p>Die Suche braucht JavaScript.</p></noscript>\n";
    page += R"JS(<script>
var ztPages = [];
function ztSearchIndex(pages) { ztPages = pages; }
function ztFold(s) { return s.toLocaleLowerCase('de'); }
function ztRun() {
  var q = ztFold(document.getElementById('q').value).split(/\s+/).filter(function (w) { return w.length > 0; });
  var list = document.getElementById('r'), count = document.getElementById('n');
  while (list.firstChild) list.removeChild(list.firstChild);
  if (q.length === 0) { count.textContent = ''; return false; }
  var hits = 0;
  ztPages.forEach(function (p) {
    var title = ztFold(p.t), text = ztFold(p.x);
    for (var i = 0; i < q.length; ++i)
      if (title.indexOf(q[i]) < 0 && text.indexOf(q[i]) < 0) return;
    ++hits;
    var li = document.createElement('li'), a = document.createElement('a');
    a.href = p.u; a.textContent = p.t; li.appendChild(a);
    var at = text.indexOf(q[0]);
    if (at >= 0) {
      var ctx = document.createElement('div'); ctx.className = 'ctx';
      var from = Math.max(0, at - 60);
      ctx.appendChild(document.createTextNode((from > 0 ? '\u2026' : '') + p.x.substring(from, at)));
      var m = document.createElement('mark'); m.textContent = p.x.substr(at, q[0].length); ctx.appendChild(m);
      ctx.appendChild(document.createTextNode(p.x.substr(at + q[0].length, 80) + '\u2026'));
      li.appendChild(ctx);
    }
    list.appendChild(li);
  });
  count.textContent = hits === 1 ? '1 Seite gefunden' : hits + ' Seiten gefunden';
  return false;
}
document.getElementById('f').onsubmit = function () { ztRun(); return false; };
document.getElementById('q').oninput = ztRun;
</script>
<script src="ztSearch.js"></script>
<script>
(function () {
  var m = /[?&]q=([^&#]*)/.exec(location.search);
  if (!m) return;
  try { document.getElementById('q').value = decodeURIComponent(m[1].replace(/\+/g, ' ')); } catch (e) { return; }
  ztRun();
})();
</script>
</body></html>
)JS";
    return page;
}

} // namespace zt::htmlsite
