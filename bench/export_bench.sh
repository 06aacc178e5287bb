#!/usr/bin/env bash
# Taking books out, measured side by side in one run:
#  1. for every corpus book, convert OUT.epub and convert OUT/ --html against
#     extract of the same book (ratios; at most 3 each);
#  2. serve: 200 concurrent requests for cached pages from a loopback load
#     test (bounded in count and time, stopping by itself): p99 latency (under
#     20 ms) and errors (none);
#  3. one page through serve (first request, prepared) against `cat` of that
#     object (ratio; at most 3);
#  4. convert OUT.pdf of a contents branch of about 100 pages: pages per
#     second, and one outline entry per contents entry of the branch.
# Usage: bench/export_bench.sh BUILD_DIR [CORPUS_DIR]
set -euo pipefail
build=$(cd "$1" && pwd)
corpus=${2:-$(cd "$(dirname "$0")/../.." && pwd)/shared/corpus/files}
cli=$build/tessaly-cli
work=$(mktemp -d)
trap 'kill $server 2>/dev/null || true; kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
server=0
xvfb=0
now() { date +%s%N; }
best() {  # best of three wall times (ns) of a command writing to $work/out*, removed before each run
  local best=0
  for _ in 1 2 3; do
    rm -rf "$work"/out*
    local start; start=$(now); "$@" >/dev/null 2>&1 || true; local t=$(( $(now) - start ))
    (( best == 0 || t < best )) && best=$t
  done
  rm -rf "$work"/out*
  echo $best
}

printf '%-60s %9s %9s %9s %6s %6s\n' book "extract" epub html "epub/x" "html/x"
for book in "$corpus"/*.chm; do
  extract=$(best "$cli" extract "$book" "$work/out")
  epub=$(best "$cli" convert "$book" "$work/out.epub")
  html=$(best "$cli" convert "$book" "$work/out" --html)
  python3 -c "print(f'{\"$(basename "$book")\":60} {$extract/1e6:7.0f}ms {$epub/1e6:7.0f}ms {$html/1e6:7.0f}ms {$epub/$extract:6.2f} {$html/$extract:6.2f}')"
done
echo "(ratios against extract: at most 3)"

book=$(ls -S "$corpus"/*.chm | head -1)
echo "book: $(basename "$book")"
"$cli" serve "$book" --port 0 > "$work/serve.out" 2>&1 &
server=$!
for _ in $(seq 100); do grep -qs "http://" "$work/serve.out" && break; sleep 0.1; done
port=$(grep -o ':[0-9][0-9]*/' "$work/serve.out" | tr -d ':/')
page=$("$cli" topics "$book" | awk -F'\t' 'NR==5 {print $3}')
target="/1/$(python3 -c "import urllib.parse,sys; print(urllib.parse.quote(sys.argv[1]))" "$page")"
first=$(python3 - "$port" "$target" <<'PY'
import socket, sys, time
port, target = int(sys.argv[1]), sys.argv[2]
start = time.perf_counter_ns()
s = socket.create_connection(("127.0.0.1", port))
s.sendall(f"GET {target} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n".encode())
while s.recv(65536): pass
print(time.perf_counter_ns() - start)
PY
)
cat=$(best "$cli" cat "$book" "$page")
python3 -c "print(f'page through serve (first request) {$first/1e6:.2f} ms, cat {$cat/1e6:.2f} ms: ratio {$first/$cat:.2f} (at most 3)')"
python3 - "$port" "$target" <<'PY'
# 200 requests at once for the cached page, five rounds; each request on its
# own connection; everything ends within 60 s.
import socket, sys, threading, time
port, target = int(sys.argv[1]), sys.argv[2]
latencies, errors = [], []
lock = threading.Lock()
def one():
    start = time.perf_counter()
    try:
        s = socket.create_connection(("127.0.0.1", port), timeout=10)
        s.sendall(f"GET {target} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n".encode())
        reply = b""
        while chunk := s.recv(65536): reply += chunk
        ok = reply.startswith(b"HTTP/1.1 200")
    except OSError as e:
        ok = False
    with lock:
        (latencies if ok else errors).append(time.perf_counter() - start)
deadline = time.time() + 60
for _ in range(5):
    if time.time() > deadline: break
    threads = [threading.Thread(target=one) for _ in range(200)]
    for t in threads: t.start()
    for t in threads: t.join(15)
latencies.sort()
p99 = latencies[int(len(latencies) * 0.99) - 1] * 1000 if latencies else float("nan")
print(f"serve: {len(latencies)} answers, {len(errors)} errors, p50 {latencies[len(latencies)//2]*1000:.1f} ms, p99 {p99:.1f} ms (under 20 ms)")
PY
kill $server; server=0

# A branch of about 100 pages of the corpus book with the most topics: the
# entry whose subtree names closest to 100.
book=$(for b in "$corpus"/*.chm; do echo "$("$cli" info --json "$b" 2>/dev/null | python3 -c 'import json,sys; print(json.load(sys.stdin)["topic_count"])' 2>/dev/null || echo 0) $b"; done | sort -n | tail -1 | cut -d' ' -f2-)
branch=$("$cli" toc --json "$book" | python3 -c '
import json, sys
best = None
def walk(entries):
    global best
    total = 0
    for e in entries:
        n = 1 + walk(e["children"])
        if e["name"] and (best is None or abs(n - 100) < abs(best[1] - 100)): best = (e["name"], n)
        total += n
    return total
walk(json.load(sys.stdin)["entries"])
print(best[0])')
Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
start=$(now)
DISPLAY=:77 "$cli" convert "$book" "$work/branch.pdf" --from "$branch" > "$work/pdf.out"
pdf=$(( $(now) - start ))
pages=$(pdfinfo "$work/branch.pdf" | awk '/^Pages:/ {print $2}')
entries=$(qpdf --json --json-key=outlines "$work/branch.pdf" | grep -c '"title": ' || true)
echo "pdf: $(basename "$book"), branch '$branch': $(cat "$work/pdf.out")"
python3 -c "print(f'pdf: {$pages} PDF pages in {$pdf/1e9:.1f} s: {$pages/($pdf/1e9):.1f} pages per second; outline entries {$entries}')"
