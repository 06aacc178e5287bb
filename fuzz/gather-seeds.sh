#!/usr/bin/env bash
# Gathers the seed corpora of the fuzz targets into OUT/{book,lzx,sitemap,fulltext,textindex}:
# the committed seeds of fuzz/seeds; the project's test books and the
# real-world corpus (books up to 300 KB, which fuzz/run.sh cuts to its
# -max_len); and, unpacked from those books with tessaly-cli, their sitemaps
# and first pages, their full-text indexes up to 64 KB, and the LZX stream of
# their first blocks (prefixed as fuzz_lzx reads its input).
# Usage: fuzz/gather-seeds.sh CLI OUT
set -euo pipefail
cli=$1
out=$2
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${TESSALY_CORPUS:-$root/../shared/corpus/files}
mkdir -p "$out/book" "$out/lzx" "$out/sitemap" "$out/fulltext" "$out/textindex"
for target in book lzx sitemap fulltext textindex; do
  if [ -d "$root/fuzz/seeds/$target" ]; then
    find "$root/fuzz/seeds/$target" -type f -exec cp {} "$out/$target/" \;
  fi
done

books=("$root"/tests/books/*/*.chm)
[ -d "$corpus" ] && books+=("$corpus"/*.chm)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for book in "${books[@]}"; do
  [ -f "$book" ] || continue
  name=$(basename "$book" .chm)
  size=$(stat -c %s "$book")
  [ "$size" -le 307200 ] && cp "$book" "$out/book/$name.chm"
  # Unpacking the largest books under the sanitizers takes minutes and adds
  # little that the smaller ones do not give.
  [ "$size" -le 1048576 ] || continue
  ASAN_OPTIONS=detect_leaks=0 "$cli" extract "$book" "$scratch/$name" >/dev/null 2>&1 || true
done

python3 - "$scratch" "$out" <<'PY'
import os, struct, sys
scratch, out = sys.argv[1], sys.argv[2]
storage = '::DataSpace/Storage/MSCompressed'

def encint(value):
    groups = [value & 0x7F]
    value >>= 7
    while value:
        groups.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(groups))

# The unpacked objects again as a book whose objects all lie in content
# section 0, so that fuzz_book's mutations reach the metadata, sitemaps,
# pages and index directly instead of breaking an LZX stream. Small books only.
def write_uncompressed(book, path):
    objects = []
    for folder, _, files in os.walk(book):
        rel = os.path.relpath(folder, book)
        if rel.startswith('::DataSpace'):
            continue
        for f in sorted(files):
            name = f if rel == '.' else rel + '/' + f
            data = open(os.path.join(folder, f), 'rb').read()
            objects.append((name if name.startswith('#') else '/' + name, data))
    section_name = 'Uncompressed'.encode('utf-16-le')
    namelist = struct.pack('<HHH', 0, 1, 12) + section_name + b'\0\0'
    objects.append(('::DataSpace/NameList', namelist))
    content = b''
    areas = [b'']
    for name, data in objects:
        raw = name.encode('utf-8')
        entry = encint(len(raw)) + raw + encint(0) + encint(len(content)) + encint(len(data))
        content += data
        if len(areas[-1]) + len(entry) > 4096 - 20:
            areas.append(b'')
        areas[-1] += entry
    if len(content) > 96 * 1024:
        return
    chunks = b''
    for i, area in enumerate(areas):
        nxt = 0xFFFFFFFF if i + 1 == len(areas) else i + 1
        prev = 0xFFFFFFFF if i == 0 else i - 1
        chunk = b'PMGL' + struct.pack('<IIII', 4096 - 20 - len(area), 0, prev, nxt) + area
        chunks += chunk + bytes(4096 - len(chunk))
    content_offset = 204 + len(chunks)
    itsf = b'ITSF' + struct.pack('<IIII', 3, 96, 1, 0, ) + struct.pack('<I', 0x409) + bytes(32)
    itsf += struct.pack('<QQQQQ', 96, 24, 120, 84 + len(chunks), content_offset)
    section0 = struct.pack('<IIQQ', 0x01FE, 0, content_offset + len(content), 0)
    itsp = b'ITSP' + struct.pack('<IIIIIIiIIIII', 1, 84, 10, 4096, 2, 1, -1, 0, len(areas) - 1, 0xFFFFFFFF,
                                 len(areas), 0x409)
    itsp += bytes(16) + struct.pack('<I', 84) + bytes(12)
    assert len(itsf) == 96 and len(itsp) == 84
    open(path, 'wb').write(itsf + section0 + itsp + chunks + content)
reset = storage + '/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable'
for name in sorted(os.listdir(scratch)):
    book = os.path.join(scratch, name)
    # Sitemaps and a few pages, cut to 64 KB.
    pages = 0
    for folder, _, files in os.walk(book):
        if '::DataSpace' in folder:
            continue
        for f in sorted(files):
            ext = f.lower().rsplit('.', 1)[-1]
            if ext in ('hhc', 'hhk') or (ext in ('htm', 'html') and pages < 3):
                pages += ext.startswith('htm')
                data = open(os.path.join(folder, f), 'rb').read()[:65536]
                open(os.path.join(out, 'sitemap', name + '-' + f.replace('/', '_')), 'wb').write(data)
    write_uncompressed(book, os.path.join(out, 'book', name + '-stored.chm'))
    fti = os.path.join(book, '$FIftiMain')
    if os.path.isfile(fti) and 0 < os.path.getsize(fti) <= 65536:
        open(os.path.join(out, 'fulltext', name), 'wb').write(open(fti, 'rb').read())
    try:
        control = open(os.path.join(book, storage + '/ControlData'), 'rb').read()
        table = open(os.path.join(book, reset), 'rb').read()
        content = open(os.path.join(book, storage + '/Content'), 'rb').read()
    except OSError:
        continue
    window = struct.unpack_from('<I', control, 16)[0] * 32768
    bits = max(window.bit_length() - 1, 15)
    blocks = struct.unpack_from('<I', table, 4)[0]
    plain = struct.unpack_from('<Q', table, 16)[0]
    block = struct.unpack_from('<Q', table, 32)[0]
    offsets = [struct.unpack_from('<Q', table, 40 + 8 * i)[0] for i in range(min(blocks, 3))]
    offsets.append(len(content))
    for count in (1, 2):
        if count > blocks:
            break
        length = min(plain, count * block, 1 << 20)
        stream = content[offsets[0]:offsets[count]]
        prefix = bytes([bits - 15, length & 255, (length >> 8) & 255, (length >> 16) & 255, 0])
        open(os.path.join(out, 'lzx', '%s-%d' % (name, count)), 'wb').write(prefix + stream)
PY
echo "seeds: $(ls "$out/book" | wc -l) books, $(ls "$out/lzx" | wc -l) streams," \
  "$(ls "$out/sitemap" | wc -l) sitemaps, $(ls "$out/fulltext" | wc -l) full-text indexes"
