#!/usr/bin/env python3
"""Generates the sources of the large test book: a few thousand pages of
varied text, a contents sitemap with an entry per page and a keyword index,
for benchmarks. Deterministic: the same sources every run.

    generate.py [PAGES [FOLDER]]    (3000 pages, beside this script)"""
import os
import random
import sys

PAGES = int(sys.argv[1]) if len(sys.argv) > 1 else 3000
here = sys.argv[2] if len(sys.argv) > 2 else os.path.dirname(os.path.abspath(__file__))
os.makedirs(here, exist_ok=True)
rng = random.Random(20261207)
words = ("reader book page index search window topic section contents chapter table value function "
         "method property event class object string number option setting example return parameter "
         "compile stream block window offset length header chunk directory entry archive the and of to "
         "in is for with as on by this that from or be are it an at which").split()
# A word found in exactly 5% of the pages, and one on every page.
for sub in ("pages",):
    os.makedirs(os.path.join(here, sub), exist_ok=True)

def paragraph(n):
    return " ".join(rng.choice(words) for _ in range(n)).capitalize() + "."

names = []
for i in range(PAGES):
    name = "pages/p%04d.htm" % i
    names.append(name)
    title = "Topic %d: %s %s" % (i, rng.choice(words), rng.choice(words))
    body = []
    for _ in range(12):
        body.append("<p>%s</p>" % paragraph(rng.randint(40, 90)))
    if i % 20 == 0:
        body.append("<p>The rare word quetzal is here.</p>")
    body.append('<p>See <a href="p%04d.htm">the next page</a> and <a href="../index.htm">the start</a>.</p>'
                % ((i + 1) % PAGES))
    with open(os.path.join(here, name), "w") as f:
        f.write("<html><head><title>%s</title><link rel=\"stylesheet\" href=\"../style.css\"></head>\n"
                "<body><h1>%s</h1>\n%s\n</body></html>\n" % (title, title, "\n".join(body)))

with open(os.path.join(here, "index.htm"), "w") as f:
    f.write("<html><head><title>Large book</title></head><body><h1>Large book</h1>\n")
    for n in names[:50]:
        f.write('<a href="%s">%s</a><br>\n' % (n, n))
    f.write("</body></html>\n")
with open(os.path.join(here, "style.css"), "w") as f:
    f.write("body { font-family: serif; }\n")

def entry(name, local, indent):
    return ('%s<LI> <OBJECT type="text/sitemap"><param name="Name" value="%s">'
            '<param name="Local" value="%s"></OBJECT>\n' % (indent, name, local))

with open(os.path.join(here, "large.hhc"), "w") as f:
    f.write("<HTML><BODY><UL>\n")
    for chapter in range(0, PAGES, 100):
        f.write(entry("Chapter %d" % (chapter // 100), names[chapter], "  "))
        f.write("  <UL>\n")
        for i in range(chapter, min(chapter + 100, PAGES)):
            f.write(entry("Topic %d" % i, names[i], "    "))
        f.write("  </UL>\n")
    f.write("</UL></BODY></HTML>\n")

with open(os.path.join(here, "large.hhk"), "w") as f:
    f.write("<HTML><BODY><UL>\n")
    for i in range(PAGES):
        f.write(entry("%s %d" % (rng.choice(words), i), names[i], "  "))
    f.write("</UL></BODY></HTML>\n")

with open(os.path.join(here, "large.hhp"), "w") as f:
    f.write("[OPTIONS]\nCompiled file=large.chm\nContents file=large.hhc\nIndex file=large.hhk\n"
            "Default topic=index.htm\nFull-text search=Yes\nLanguage=0x409 English (United States)\n"
            "Title=Large Test Book\n\n[FILES]\nindex.htm\nstyle.css\n")
    for n in names:
        f.write(n + "\n")
