#!/usr/bin/env bash
# The trace page as a person sees it: the demo's journal, with the rows a failing library or a
# hostile modem produces added to it, drawn by zvril and run in a real headless browser. What
# the page's script put into the document must match the journal, and markup from the journal
# must show as text. A missing browser fails: scripts/install-deps.sh installs it.
set -euo pipefail
zvril=${1:?usage: trace_page_test.sh PATH-TO-ZVRIL}
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "FAIL: chromium is not installed, so the trace page cannot be checked; run scripts/install-deps.sh" >&2
  exit 1
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

dom() {  # page -> the document after its script ran
  local flags=(--headless --disable-gpu --no-first-run --user-data-dir="$dir/profile")
  [ "$(id -u)" -eq 0 ] && flags+=(--no-sandbox)
  timeout 60 "$browser" "${flags[@]}" --dump-dom "file://$1" 2>"$dir/browser.err" ||
    { cat "$dir/browser.err" >&2; fail "chromium could not load $1"; }
}
summary() {  # dom file, attribute
  grep -o "<div id=\"summary\"[^>]*>" "$1" | grep -o "data-$2=\"[^\"]*\"" | cut -d'"' -f2
}

"$zvril" --trace "$dir/demo.txt" demo >"$dir/demo.out" 2>&1 || { cat "$dir/demo.out" >&2; fail "zvril demo failed"; }
t=$(tail -n 1 "$dir/demo.txt" | cut -f1)
cat >>"$dir/demo.txt" <<ROWS
$t	req	OEM_HOOK_STRINGS	60
$t	AT>	AT<b>x</b>
$t	AT<	<img src=x onerror="document.body.dataset.pwned=1">
$t	AT<	ERROR
$t	resp	OEM_HOOK_STRINGS	60	GENERIC_FAILURE	"<script>document.body.dataset.pwned=1</script>"
$t	req	SIGNAL_STRENGTH	19
$t	resp	SIGNAL_STRENGTH	19	NO_ANSWER
$t	req	VOICE_REGISTRATION_STATE	20
$t	resp	VOICE_REGISTRATION_STATE	20	SUCCESS	"1"
$t	refused	VOICE_REGISTRATION_STATE	20	1 strings, not 15
$t	unsol	SIGNAL_STRENGTH	1009	48 bytes
$t	dropped	SIGNAL_STRENGTH	1009	a signal record of 48 bytes, not 56 bytes
ROWS
"$zvril" trace --html "$dir/demo.html" "$dir/demo.txt" || fail "zvril trace --html failed"
grep -qE '(src|href)="?(https?:)?//' "$dir/demo.html" && fail "the page loads something from the network"

dom "$dir/demo.html" >"$dir/demo.dom"
requests=$(awk -F'\t' '$2 == "req"' "$dir/demo.txt" | wc -l)
marks=$(awk -F'\t' '($2 == "resp" && $5 != "SUCCESS") || $2 == "refused" || $2 == "dropped"' "$dir/demo.txt" | wc -l)
[ "$(summary "$dir/demo.dom" requests)" = "$requests" ] ||
  fail "the page draws $(summary "$dir/demo.dom" requests) request spans, the journal has $requests requests"
[ "$(summary "$dir/demo.dom" errors)" = "$marks" ] ||
  fail "the page marks $(summary "$dir/demo.dom" errors) answers and reports, the journal has $marks errors, time-outs, refusals and drops"
[ "$(summary "$dir/demo.dom" lanes)" = "framework|AT control port|unsolicited" ] ||
  fail "the page's lanes are \"$(summary "$dir/demo.dom" lanes)\""
grep -q '&lt;script&gt;document.body.dataset.pwned=1&lt;/script&gt;' "$dir/demo.dom" ||
  fail "the response holding <script> is not shown as text"
grep -qE 'data-pwned|<script>document|<img|<b>x' "$dir/demo.dom" && fail "markup from the journal became part of the page"

# --trace FILE.html writes the page itself at the end of the session.
"$zvril" --trace "$dir/status.html" status >"$dir/status.out" 2>&1 || { cat "$dir/status.out" >&2; fail "zvril --trace FILE.html status failed"; }
dom "$dir/status.html" >"$dir/status.dom"
[ "$(summary "$dir/status.dom" requests)" -gt 0 ] 2>/dev/null || fail "the page of --trace FILE.html shows no request"
echo "trace page: $requests requests and $marks marks as the journal has them, markup shown as text"
