// zvril: the trace journal drawn as one self-contained HTML page, a timeline of the framework's
// requests, the AT exchanges that served them and the modem's unsolicited lines and reports.
#ifndef ZORVIK_TOOLS_ZVRIL_TRACE_HTML_H
#define ZORVIK_TOOLS_ZVRIL_TRACE_HTML_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace zvril {

class Session;

// A page stays loadable whatever the journal: it holds the first kTraceHtmlMaxLines journal
// lines (a longer journal is cut, and the page says how many lines it left out), each text
// cut to kTraceHtmlMaxText bytes.
constexpr size_t kTraceHtmlMaxLines = 20000;
constexpr size_t kTraceHtmlMaxText = 400;

// Reads a journal (the --trace text) from in and writes the page to out. False with *error
// when the page could not be written.
bool WriteTraceHtml(FILE *in, FILE *out, const std::string &title, std::string *error);

// A trace file name that asks for the page instead of the text journal.
bool IsHtmlTraceName(const std::string &path);

// `zvril trace --html OUT.html JOURNAL`: needs no modem and loads no library.
int RunTraceHtml(Session &, const std::vector<std::string> &args);

}  // namespace zvril

#endif
