#!/usr/bin/env python3
"""Writes the sources of a generated book of PAGES pages into FOLDER: pages
of a few paragraphs in folders of 500, a contents sitemap in chapters of 100,
a keyword index with an entry per page, and the project file big.hhp for
chmcmd. The book carries no full-text search index of its own: chmcmd's
builder of that index grows with the square of the pages (about 10 s of
8,000 pages, hours of 128,000), and the steps measured do not read it.
Seeded: the same sources for the same PAGES every run.

    big_book.py PAGES FOLDER"""
import os
import random
import sys

pages, here = int(sys.argv[1]), sys.argv[2]
rng = random.Random(25 * pages)
words = ("reader book page index search window topic section contents chapter table value function method "
         "property event class object string number option setting example return parameter compile stream "
         "block offset length header chunk directory entry archive the and of to in is for with as on by "
         "this that from or be are it an at which").split()


def paragraph():
    return " ".join(rng.choice(words) for _ in range(rng.randint(30, 60))).capitalize() + "."


def entry(name, local, indent):
    return ('%s<LI> <OBJECT type="text/sitemap"><param name="Name" value="%s">'
            '<param name="Local" value="%s"></OBJECT>\n' % (indent, name, local))


names = ["d%03d/p%06d.htm" % (i // 500, i) for i in range(pages)]
for folder in sorted({n.split("/")[0] for n in names}):
    os.makedirs(os.path.join(here, folder), exist_ok=True)
for i, name in enumerate(names):
    marker = " The marker word quetzal is here." if i % 50 == 0 else ""
    with open(os.path.join(here, name), "w") as f:
        f.write("<html><head><title>Topic %d</title></head><body><h1>Topic %d</h1>\n<p>%s</p>\n<p>%s%s</p>\n"
                '<p><a href="../%s">Next</a></p></body></html>\n'
                % (i, i, paragraph(), paragraph(), marker, names[(i + 1) % pages]))

with open(os.path.join(here, "big.hhc"), "w") as f:
    f.write("<HTML><BODY><UL>\n")
    for chapter in range(0, pages, 100):
        f.write(entry("Chapter %d" % (chapter // 100), names[chapter], "") + "<UL>\n")
        f.write("".join(entry("Topic %d" % i, names[i], "  ") for i in range(chapter, min(chapter + 100, pages))))
        f.write("</UL>\n")
    f.write("</UL></BODY></HTML>\n")

with open(os.path.join(here, "big.hhk"), "w") as f:
    f.write("<HTML><BODY><UL>\n")
    f.write("".join(entry("%s %d" % (rng.choice(words), i), names[i], "") for i in range(pages)))
    f.write("</UL></BODY></HTML>\n")

with open(os.path.join(here, "big.hhp"), "w") as f:
    f.write("[OPTIONS]\nCompiled file=big.chm\nContents file=big.hhc\nIndex file=big.hhk\n"
            "Default topic=%s\nFull-text search=No\nLanguage=0x409 English (United States)\n"
            "Title=Big Book\n\n[FILES]\n%s\n" % (names[0], "\n".join(names)))
