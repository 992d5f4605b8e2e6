#include "exchange/htmlsearch.h"

#include "exchange/htmlexport.h"

#include <cstdint>

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

void SearchIndex::Add(std::string_view titleUtf8, std::string_view href, std::string_view textUtf8) {
    if (count_++ > 0) json_ += ",\n";
    json_ += "{\"t\":";
    AppendJsonString(json_, titleUtf8);
    json_ += ",\"u\":";
    AppendJsonString(json_, href);
    json_ += ",\"x\":";
    AppendJsonString(json_, textUtf8);
    json_ += "}";
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
