#!/usr/bin/env bash
# Writes the pages of the bigsearch book: 5,000 topics that all hold the word "zebra" in their text (every
# tenth also in its title), with a dozen titles that tie under case-insensitive comparison, and a start
# page linking them all, through which chmcmd finds them. The pages are generated, not committed.
set -euo pipefail
cd "$(dirname "$0")"
rm -rf pages
mkdir pages
titles=("Zebra notes" "alpha" "Alpha" "beta" "Beta" "gamma" "Delta" "delta" "epsilon" "Zeta" "eta" "THETA")
{
  echo '<html><head><title>Big search</title></head><body>'
  for ((i = 0; i < 5000; i++)); do
    name=$(printf 'pages/t%04d.htm' "$i")
    if ((i % 10 == 0)); then title="Zebra notes"; else title=${titles[$(((i * 7) % 12))]}; fi
    printf '<html><head><title>%s</title></head><body><p>Entry %d: zebra, item%d.</p></body></html>\n' \
      "$title" "$i" "$i" >"$name"
    printf '<a href="%s">%d</a>\n' "$name" "$i"
  done
  echo '</body></html>'
} >index.htm
