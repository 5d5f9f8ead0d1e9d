#include "trace_html.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "session.h"

namespace zvril {

namespace {

// Lines that share a millisecond in the journal are drawn kSpread seconds apart, in their
// order, so that zooming in shows them one after the other; the details give the journal's times.
constexpr double kSpread = 0.00005;

// A time on the page: where it is drawn and what the journal says.
struct When {
    double shown = 0, real = 0;
};

// One request from its req line to its resp line.
struct Request {
    When t0, t1 = {-1, -1};
    std::string name, number;
    std::string state = "open";  // ok, error, timeout, refused, open (no answer in the journal)
    std::string error, text, why;
};

// One command written to the modem and the lines read back up to its final result.
struct Exchange {
    When t0, t1 = {-1, -1};
    std::string command, final;
    std::vector<std::string> lines;
    long request = -1;  // the request it served, -1 when none was waiting
    bool bad = false;   // the modem's final result was an error
};

// A point on the unsolicited lane: a report (unsol), one the 8-13 daemon drops (dropped), or
// a line the modem sent outside any exchange (line).
struct Point {
    When t;
    std::string kind, name, text;
};

struct Model {
    std::vector<Request> requests;
    std::vector<Exchange> exchanges;
    std::vector<Point> points;
    size_t lines = 0, kept = 0, skipped = 0, cut = 0;
    When first = {-1, -1}, last;
};

// Cuts text to the page's bound without splitting a UTF-8 sequence.
std::string Cut(const std::string &s) {
    if (s.size() <= kTraceHtmlMaxText) return s;
    size_t n = kTraceHtmlMaxText;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n) + "\xE2\x80\xA6";
}

std::vector<std::string> Fields(const std::string &s) {
    std::vector<std::string> out;
    size_t start = 0, tab;
    while ((tab = s.find('\t', start)) != std::string::npos) {
        out.push_back(s.substr(start, tab - start));
        start = tab + 1;
    }
    out.push_back(s.substr(start));
    return out;
}

std::string Join(const std::vector<std::string> &f, size_t from) {
    std::string out;
    for (size_t i = from; i < f.size(); ++i) out += (i > from ? " " : "") + f[i];
    return out;
}

bool Starts(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

// A final result code of V.250 / 3GPP TS 27.007; *bad for the ones that report a failure.
bool FinalResult(const std::string &line, bool *bad) {
    *bad = false;
    if (line == "OK" || Starts(line, "CONNECT")) return true;
    *bad = true;
    return line == "ERROR" || line == "NO CARRIER" || line == "BUSY" || line == "NO ANSWER" ||
           line == "NO DIALTONE" || Starts(line, "+CME ERROR") || Starts(line, "+CMS ERROR") ||
           Starts(line, "COMMAND NOT SUPPORT") || Starts(line, "TOO MANY PARAMETERS");
}

// Reads one line, keeping at most a few kilobytes of it (a hostile journal may hold a line of
// any length); false at the end of the file.
bool ReadLine(FILE *in, std::string *line) {
    line->clear();
    char buf[1024];
    bool any = false;
    while (std::fgets(buf, sizeof buf, in)) {
        any = true;
        size_t n = std::strlen(buf);
        bool end = n > 0 && buf[n - 1] == '\n';
        if (end) --n;
        if (line->size() < 4 * kTraceHtmlMaxText) line->append(buf, n);
        if (end) return true;
    }
    return any;
}

void Add(Model *m, const std::string &line) {
    ++m->lines;
    if (line.empty() || line[0] == '#') return;
    std::vector<std::string> f = Fields(line);
    char *end = nullptr;
    double t = f.size() >= 2 ? std::strtod(f[0].c_str(), &end) : 0;
    if (f.size() < 2 || end == f[0].c_str() || *end || !(t >= 0) || t > 1e9) {
        ++m->skipped;
        return;
    }
    if (m->kept >= kTraceHtmlMaxLines) {
        ++m->cut;
        return;
    }
    ++m->kept;
    const When at = {m->first.real < 0 ? t : std::max(t, m->last.shown + kSpread), t};
    if (m->first.real < 0) m->first = at;
    m->last = at;
    const std::string &kind = f[1];
    auto field = [&](size_t i) { return i < f.size() ? Cut(f[i]) : std::string(); };
    // The latest request still waiting for its answer, -1 for none.
    auto waiting = [&](const std::string &number) -> long {
        for (size_t i = m->requests.size(); i-- > 0;) {
            const Request &r = m->requests[i];
            if (r.state == "open" && r.t1.real < 0 && (number.empty() || r.number == number))
                return static_cast<long>(i);
        }
        return -1;
    };
    Exchange *open = !m->exchanges.empty() && m->exchanges.back().t1.real < 0 ? &m->exchanges.back() : nullptr;
    if (kind == "req") {
        Request r;
        r.t0 = at, r.name = field(2), r.number = field(3);
        m->requests.push_back(r);
    } else if (kind == "resp") {
        long i = waiting(field(3));
        if (i < 0) {  // an answer whose request is not in the journal (cut or left out)
            Request r;
            r.t0 = at, r.name = field(2), r.number = field(3);
            m->requests.push_back(r);
            i = static_cast<long>(m->requests.size() - 1);
        }
        Request &r = m->requests[static_cast<size_t>(i)];
        r.t1 = at, r.error = field(4), r.text = Cut(Join(f, 5));
        r.state = r.error == "SUCCESS" ? "ok" : r.error == "NO_ANSWER" ? "timeout" : "error";
    } else if (kind == "refused") {
        // Written right after the answer the 8-13 daemon would not take.
        for (size_t i = m->requests.size(); i-- > 0;) {
            Request &r = m->requests[i];
            if (r.number == field(3) && r.state == "ok") {
                r.state = "refused", r.why = Cut(Join(f, 4));
                break;
            }
        }
    } else if (kind == "unsol" || kind == "dropped") {
        std::string name = field(2) + (f.size() > 3 ? " " + field(3) : "");
        if (kind == "dropped") {
            // Written right after the report the 8-13 daemon would not pass on.
            for (size_t i = m->points.size(); i-- > 0;) {
                Point &p = m->points[i];
                if (p.kind == "unsol" && p.name == name) {
                    p.kind = kind, p.text += "\n" + Cut(Join(f, 4));
                    return;
                }
            }
        }
        m->points.push_back({at, kind, name, Cut(Join(f, 4))});
    } else if (kind == "AT>") {
        if (open) open->t1 = m->last;  // no final result before the next command
        Exchange e;
        e.t0 = at, e.command = field(2), e.request = waiting("");
        m->exchanges.push_back(e);
    } else if (kind == "AT<") {
        std::string text = field(2);
        bool bad = false;
        if (!open) {
            m->points.push_back({at, "line", "", text});
        } else if (FinalResult(text, &bad)) {
            open->final = text, open->bad = bad, open->t1 = at;
        } else if (open->lines.size() < 64) {
            open->lines.push_back(text);
        }
    } else {
        --m->kept;
        ++m->skipped;
    }
}

// A JSON string that is also safe inside a <script> element: no '<', '>' or '&' appears as
// such, so no text from the journal can close the element or start markup; bytes that are
// not UTF-8 become U+FFFD.
void Json(std::string *out, const std::string &s) {
    *out += '"';
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char hex[8];
        if (c == '"' || c == '\\') {
            *out += '\\';
            *out += static_cast<char>(c);
        } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7f) {
            std::snprintf(hex, sizeof hex, "\\u%04x", c);
            *out += hex;
        } else if (c < 0x80) {
            *out += static_cast<char>(c);
        } else {
            size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
            bool ok = n > 0 && i + n <= s.size();
            for (size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
            if (ok) {
                out->append(s, i, n);
                i += n - 1;
            } else {
                *out += "\\ufffd";
            }
        }
    }
    *out += '"';
}

void Number(std::string *out, double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.5f", v);
    *out += buf;
}

std::string ModelJson(const Model &m, const std::string &title) {
    std::string j = "{\"title\":";
    Json(&j, title);
    j += ",\"lines\":" + std::to_string(m.lines) + ",\"kept\":" + std::to_string(m.kept) +
         ",\"skipped\":" + std::to_string(m.skipped) + ",\"max\":" + std::to_string(kTraceHtmlMaxLines) +
         ",\"cut\":" + std::to_string(m.cut);
    const When first = m.first.real < 0 ? When{} : m.first, last = m.last;
    j += ",\"t0\":", Number(&j, first.shown), j += ",\"t1\":", Number(&j, last.shown);
    // Each span: where it is drawn, its fields, then its times in the journal.
    auto span = [&](When a, When b, bool head) {
        const When end = b.real < 0 ? last : b;
        if (head) return Number(&j, a.shown), j += ',', Number(&j, end.shown);
        Number(&j, a.real), j += ',', Number(&j, end.real);
    };
    j += ",\"req\":[";
    for (size_t i = 0; i < m.requests.size(); ++i) {
        const Request &r = m.requests[i];
        j += i ? ",[" : "[";
        span(r.t0, r.t1, true);
        for (const std::string *s : {&r.name, &r.number, &r.state, &r.error, &r.text, &r.why}) j += ',', Json(&j, *s);
        j += ',', span(r.t0, r.t1, false), j += ']';
    }
    j += "],\"at\":[";
    for (size_t i = 0; i < m.exchanges.size(); ++i) {
        const Exchange &e = m.exchanges[i];
        j += i ? ",[" : "[";
        span(e.t0, e.t1, true), j += ',';
        Json(&j, e.command), j += ",[";
        for (size_t k = 0; k < e.lines.size(); ++k) {
            if (k) j += ',';
            Json(&j, e.lines[k]);
        }
        j += "],", Json(&j, e.final);
        j += "," + std::to_string(e.request) + (e.bad ? ",1," : ",0,"), span(e.t0, e.t1, false), j += ']';
    }
    j += "],\"ev\":[";
    for (size_t i = 0; i < m.points.size(); ++i) {
        const Point &p = m.points[i];
        j += i ? ",[" : "[";
        Number(&j, p.t.shown);
        for (const std::string *s : {&p.kind, &p.name, &p.text}) j += ',', Json(&j, *s);
        j += ',', Number(&j, p.t.real), j += ']';
    }
    j += "]}";
    return j;
}

std::string HtmlText(const std::string &s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

const char kHead[] = R"PAGE(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:">
<style>
body{font:13px/1.35 system-ui,sans-serif;margin:0;color:#222;background:#fafafa}
header{padding:8px 12px;background:#fff;border-bottom:1px solid #ddd}
h1{font-size:15px;margin:0 0 4px}
#summary{margin:2px 0}
.note{color:#a40}
.bar button{font:inherit;margin-right:4px;padding:1px 8px}
.legend span{display:inline-block;margin-right:10px}
.legend i{display:inline-block;width:12px;height:10px;margin-right:3px;vertical-align:-1px;border-radius:2px}
#chart{display:flex;background:#fff;border-bottom:1px solid #ddd;user-select:none}
#names{flex:0 0 130px;border-right:1px solid #ddd}
#names div,#lanes>.lane{border-bottom:1px solid #eee;box-sizing:border-box}
#names div{padding:4px 6px;font-weight:600;color:#444}
#view{flex:1;position:relative;overflow:hidden;cursor:grab}
#view.drag{cursor:grabbing}
#axis{height:22px;position:relative;border-bottom:1px solid #ddd;font-size:11px;color:#666}
#axis b{position:absolute;top:0;height:22px;border-left:1px solid #ccc;padding-left:2px;font-weight:400;white-space:nowrap}
.lane{position:relative}
.it{position:absolute;height:16px;box-sizing:border-box;border-radius:2px;overflow:hidden;white-space:nowrap;font-size:11px;line-height:14px;padding:0 2px;cursor:pointer;border:1px solid rgba(0,0,0,.25)}
.req.ok{background:#9cc3ec}.req.open{background:#ddd;border-style:dashed}
.ex{background:#b7dcb0}.ex.bad{background:#f3c0a0}
.pt{width:4px!important;padding:0;background:#889}.pt.line{background:#bbb}
.mark.error{background:#e5534b;color:#fff}.mark.timeout{background:#f0a020}.mark.refused,.mark.dropped{background:#9b59d0;color:#fff}
.it.hi{outline:2px solid #111;z-index:2}.it.sel{outline:3px solid #000;z-index:3}
#tip{position:fixed;display:none;max-width:520px;background:#fffff0;border:1px solid #999;padding:5px 7px;font:12px/1.35 monospace;white-space:pre-wrap;word-break:break-all;pointer-events:none;z-index:10;box-shadow:0 2px 6px rgba(0,0,0,.2)}
#detail{padding:8px 12px;font:12px/1.4 monospace;white-space:pre-wrap;word-break:break-all;min-height:3em;background:#fff;border-bottom:1px solid #ddd}
#marks{padding:6px 12px}
#marks h2{font-size:13px;margin:4px 0}
#marks table{border-collapse:collapse;font:12px monospace}
#marks td{padding:1px 8px 1px 0;vertical-align:top;cursor:pointer;word-break:break-all}
#marks tr:hover{background:#eef}
</style>
)PAGE";

const char kBody[] = R"PAGE(</head><body>
<header><h1 id="title"></h1><div id="summary"></div><div id="note" class="note"></div>
<div class="bar"><button id="zin" title="zoom in">+</button><button id="zout" title="zoom out">&minus;</button><button id="zall">whole session</button>
<span class="legend"><span><i style="background:#9cc3ec"></i>request answered</span><span><i style="background:#e5534b"></i>error</span><span><i style="background:#f0a020"></i>time-out (no answer)</span><span><i style="background:#9b59d0"></i>refused or dropped by the 8-13 daemon</span><span><i style="background:#b7dcb0"></i>AT exchange</span><span><i style="background:#f3c0a0"></i>AT error result</span></span>
<span>wheel: zoom, drag: pan, double-click: zoom to it, click: details</span></div></header>
<div id="chart"><div id="names"><div style="height:22px;padding:0"></div></div><div id="view"><div id="axis"></div><div id="lanes"></div></div></div>
<div id="detail">Click a request, an AT exchange or a report for its details.</div>
<div id="marks"></div><div id="tip"></div>
<script>
"use strict";
(function(){
const D=JSON.parse(document.getElementById("journal").textContent);
const $=id=>document.getElementById(id);
const el=(tag,cls,text)=>{const e=document.createElement(tag);if(cls)e.className=cls;if(text!==undefined)e.textContent=text;return e;};
const f3=t=>t.toFixed(3);
$("title").textContent="zvril trace: "+D.title;
document.title="zvril trace: "+D.title;
const items=[];  // {t0,t1,el,kind,i,row}
const ROW=18;
function lane(name,key){
  const n=el("div","",name);n.dataset.lane=key;$("names").appendChild(n);
  const l=el("div","lane");l.dataset.lane=key;$("lanes").appendChild(l);return [n,l];
}
// Puts each span on the first row where it does not overlap the one before.
function pack(list){const ends=[];for(const it of list){let r=0;while(r<ends.length&&ends[r]>it.t0)r++;if(r>7)r=7;ends[r]=it.t1;it.row=r;}return Math.max(1,ends.length);}
function build(name,key,list){
  const [n,l]=lane(name,key);const rows=pack(list);
  const h=rows*ROW+4;n.style.height=h+"px";l.style.height=h+"px";
  for(const it of list){it.el.style.top=(2+it.row*ROW)+"px";it.el.dataset.k=items.length;items.push(it);l.appendChild(it.el);}
}
const reqs=D.req.map((r,i)=>{const e=el("div","it req "+r[4]+((r[4]==="error"||r[4]==="timeout"||r[4]==="refused")?" mark":""),r[2]);return {t0:r[0],t1:r[1],real:r[8],el:e,kind:"req",i:i,ex:[]};});
const exs=D.at.map((a,i)=>{const e=el("div","it ex"+(a[6]?" bad":""),a[2]);if(a[5]>=0&&a[5]<reqs.length)reqs[a[5]].ex.push(i);return {t0:a[0],t1:a[1],real:a[7],el:e,kind:"at",i:i};});
const pts=D.ev.map((p,i)=>{const e=el("div","it pt "+p[1]+(p[1]==="dropped"?" mark":""));return {t0:p[0],t1:p[0],real:p[4],el:e,kind:"ev",i:i};});
build("framework","framework",reqs);
build("AT control port","at",exs);
build("unsolicited","unsol",pts);
const counts={error:0,timeout:0,refused:0,dropped:0};
for(const e of document.querySelectorAll(".it.mark"))for(const k in counts)if(e.classList.contains(k))counts[k]++;
const nReq=document.querySelectorAll(".it.req").length,nMark=document.querySelectorAll(".it.mark").length;
const lanes=[...document.querySelectorAll("#names [data-lane]")].map(n=>n.textContent);
const s=$("summary");
s.dataset.requests=nReq;s.dataset.errors=nMark;s.dataset.lanes=lanes.join("|");
s.dataset.exchanges=exs.length;s.dataset.reports=pts.length;
s.textContent=nReq+" requests, "+nMark+" marked ("+counts.error+" errors, "+counts.timeout+" time-outs, "+counts.refused+" refused, "+counts.dropped+" dropped reports), "+exs.length+" AT exchanges, "+pts.length+" unsolicited lines and reports, "+f3(D.t1-D.t0)+" s";
let note="";
if(D.cut)note+="The journal has "+D.lines+" lines; this page holds its first "+D.max+" events and leaves "+D.cut+" out. ";
if(D.skipped)note+=D.skipped+(D.skipped===1?" line is":" lines are")+" not a journal event, left out.";
$("note").textContent=note;
// Details of one item as plain text: everything from the journal goes in through textContent.
function text(it){
  if(it.kind==="req"){const r=D.req[it.i];
    let t=r[2]+" ("+r[3]+")\nrequest "+f3(r[8])+" s, answer "+(r[4]==="open"?"none in the journal":f3(r[9])+" s, after "+((r[9]-r[8])*1000).toFixed(0)+" ms")+"\n";
    if(r[5])t+="result "+r[5]+"\n";if(r[6])t+="response "+r[6]+"\n";if(r[7])t+="the 8-13 daemon refuses the answer: "+r[7]+"\n";
    t+=it.ex.length+" AT exchange"+(it.ex.length===1?"":"s");for(const x of it.ex)t+="\n  > "+D.at[x][2]+(D.at[x][4]?"  < "+D.at[x][4]:"");
    return t;}
  if(it.kind==="at"){const a=D.at[it.i];let t="AT exchange "+f3(a[7])+" s to "+f3(a[8])+" s\n> "+a[2];
    for(const l of a[3])t+="\n< "+l;t+="\n< "+(a[4]||"(no final result)");
    t+="\n"+(a[5]>=0&&a[5]<D.req.length?"served "+D.req[a[5]][2]+" ("+D.req[a[5]][3]+")":"served no request");return t;}
  const p=D.ev[it.i];
  return (p[1]==="line"?"modem line outside any exchange":p[1]==="dropped"?"report the 8-13 daemon drops":"unsolicited report")+" at "+f3(p[4])+" s\n"+(p[2]?p[2]+"\n":"")+p[3];
}
function linked(it){
  if(it.kind==="req")return [it].concat(it.ex.map(x=>exs[x]));
  if(it.kind==="at"){const r=D.at[it.i][5];return r>=0&&r<reqs.length?linked(reqs[r]):[it];}
  return [it];
}
let hi=[],sel=null;
function highlight(it){for(const h of hi)h.el.classList.remove("hi");hi=it?linked(it):[];for(const h of hi)h.el.classList.add("hi");}
function select(it){if(sel)sel.el.classList.remove("sel");sel=it;if(it){it.el.classList.add("sel");$("detail").textContent=text(it);}}
// The view: seconds v0..v1 across the lanes' width.
const T0=D.t0,T1=Math.max(D.t1,D.t0+0.001),PAD=(T1-T0)*0.01;
let v0=T0-PAD,v1=T1+PAD;
const MIN=0.0005;
function width(){return $("view").clientWidth||1000;}
function render(){
  const w=width(),k=w/(v1-v0);
  for(const it of items){
    const x0=(it.t0-v0)*k,x1=Math.max(x0+(it.kind==="ev"?4:3),(it.t1-v0)*k);
    if(x1<0||x0>w){it.el.style.display="none";continue;}
    it.el.style.display="";it.el.style.left=x0+"px";if(it.kind!=="ev")it.el.style.width=(x1-x0)+"px";
  }
  const ax=$("axis");ax.textContent="";
  const span=v1-v0,raw=span/8,p=Math.pow(10,Math.floor(Math.log10(raw)));
  const step=[1,2,5,10].map(m=>m*p).find(s=>s>=raw);
  const digits=Math.max(0,Math.min(4,-Math.floor(Math.log10(step))));
  for(let t=Math.ceil(v0/step)*step;t<=v1;t+=step){const b=el("b","",t.toFixed(digits)+" s");b.style.left=((t-v0)*k)+"px";ax.appendChild(b);}
}
let queued=false;
function later(){if(!queued){queued=true;requestAnimationFrame(()=>{queued=false;render();});}}
function zoom(f,at,now){
  let span=Math.min(Math.max((v1-v0)*f,MIN),(T1-T0)+2*PAD);
  const r=(at-v0)/(v1-v0);v0=at-r*span;v1=v0+span;if(now)render();else later();
}
function zoomTo(a,b){const m=Math.max((b-a)*0.15,MIN/2);v0=a-m;v1=Math.max(b+m,v0+MIN);render();}
const view=$("view");
view.addEventListener("wheel",e=>{e.preventDefault();const r=view.getBoundingClientRect();zoom(e.deltaY>0?1.25:0.8,v0+(e.clientX-r.left)/r.width*(v1-v0));},{passive:false});
$("zin").onclick=()=>zoom(0.5,(v0+v1)/2,true);
$("zout").onclick=()=>zoom(2,(v0+v1)/2,true);
$("zall").onclick=()=>{v0=T0-PAD;v1=T1+PAD;render();};
let drag=null;
view.addEventListener("mousedown",e=>{drag={x:e.clientX,v0:v0,v1:v1,moved:false};view.classList.add("drag");});
window.addEventListener("mousemove",e=>{
  if(drag){const dx=e.clientX-drag.x;if(Math.abs(dx)>2)drag.moved=true;const dt=dx/width()*(drag.v1-drag.v0);v0=drag.v0-dt;v1=drag.v1-dt;later();return;}
  const tip=$("tip"),k=e.target&&e.target.dataset?e.target.dataset.k:undefined;
  if(k===undefined){tip.style.display="none";highlight(sel);return;}
  const it=items[+k];highlight(it);tip.textContent=text(it);tip.style.display="block";
  tip.style.left=Math.min(e.clientX+12,window.innerWidth-540)+"px";tip.style.top=(e.clientY+14)+"px";
});
window.addEventListener("mouseup",e=>{
  const was=drag;drag=null;view.classList.remove("drag");
  if(was&&!was.moved&&e.target.dataset&&e.target.dataset.k!==undefined){const it=items[+e.target.dataset.k];select(it);highlight(it);}
});
view.addEventListener("dblclick",e=>{if(e.target.dataset.k!==undefined){const it=items[+e.target.dataset.k];zoomTo(it.t0,it.t1);}});
window.addEventListener("resize",render);
// The marked requests and reports, listed: a click brings one into view.
const marked=items.filter(it=>it.el.classList.contains("mark"));
const box=$("marks");
if(marked.length){
  box.appendChild(el("h2","",marked.length+" marked"));const tb=el("table");
  for(const it of marked){const tr=el("tr");
    const first=text(it).split("\n");
    tr.appendChild(el("td","",f3(it.real)+" s"));tr.appendChild(el("td","",first[0]));tr.appendChild(el("td","",first.slice(1,4).join("  ")));
    tr.onclick=()=>{select(it);highlight(it);zoomTo(it.t0,it.t1);};tb.appendChild(tr);}
  box.appendChild(tb);
}
render();
})();
</script>
</body></html>
)PAGE";

}  // namespace

bool IsHtmlTraceName(const std::string &path) {
    return path.size() > 5 && path.compare(path.size() - 5, 5, ".html") == 0;
}

bool WriteTraceHtml(FILE *in, FILE *out, const std::string &title, std::string *error) {
    Model m;
    std::string line;
    while (ReadLine(in, &line)) Add(&m, line);
    std::string page = kHead;
    page += "<title>zvril trace: " + HtmlText(title) + "</title>\n<script type=\"application/json\" id=\"journal\">";
    page += ModelJson(m, title);
    page += "</script>\n";
    page += kBody;
    if (std::fwrite(page.data(), 1, page.size(), out) != page.size() || std::fflush(out) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}

int RunTraceHtml(Session &, const std::vector<std::string> &args) {
    if (args[0] != "--html") {
        Error("trace takes --html OUT.html JOURNAL; see zvril trace --help");
        return kExitUsage;
    }
    const std::string &page = args[1], &journal = args[2];
    FILE *in = std::fopen(journal.c_str(), "r");
    if (!in) {
        Error("cannot read the journal " + journal + ": " + std::strerror(errno) + "; give a file zvril --trace wrote");
        return kExitSetup;
    }
    FILE *out = std::fopen(page.c_str(), "w");
    if (!out) {
        Error("cannot write the page " + page + ": " + std::strerror(errno) + "; give a writable path");
        std::fclose(in);
        return kExitSetup;
    }
    std::string error, name = journal.substr(journal.rfind('/') == std::string::npos ? 0 : journal.rfind('/') + 1);
    bool ok = WriteTraceHtml(in, out, name, &error);
    std::fclose(in);
    if (std::fclose(out) != 0 && ok) ok = false, error = std::strerror(errno);
    if (!ok) {
        Error("cannot write the page " + page + ": " + error + "; check the disk");
        return kExitSetup;
    }
    return kExitOk;
}

}  // namespace zvril
