#!/usr/bin/env python3
"""Writes a compound file (MS-CFB version 3) holding the given streams in its
root storage, independently of libgsf, so that the language-file reader is
checked against a second writer.

    write_cfb.py OUT NAME FILE [NAME FILE ...]

Each FILE holds the raw bytes of the stream NAME. Layout: 512-byte sectors;
FAT sectors first, then the directory, the mini FAT, the mini stream (streams
under 4096 bytes, in 64-byte mini sectors) and the streams of 4096 bytes or
more in sectors of their own. Only the header's 109 FAT slots are used, which
is plenty for test files. Standard library only.
"""
import struct
import sys

SECTOR = 512
MINI_SECTOR = 64
MINI_CUTOFF = 4096
FREESECT = 0xFFFFFFFF
ENDOFCHAIN = 0xFFFFFFFE
FATSECT = 0xFFFFFFFD
NOSTREAM = 0xFFFFFFFF


def sectors_for(size, unit):
    return (size + unit - 1) // unit


def name_key(name):
    # Siblings are ordered by name length first, then by upper-cased name.
    return (len(name), name.upper())


def build_tree(names):
    """Balanced binary search tree over the sorted names, as (index, left,
    right, depth) records; nodes on the deepest level of an incomplete tree are
    red so that every path holds the same number of black nodes."""
    nodes = {}

    def build(items, depth):
        if not items:
            return None
        mid = len(items) // 2
        node = items[mid]
        nodes[node] = [build(items[:mid], depth + 1), build(items[mid + 1:], depth + 1), depth]
        return node

    root = build(names, 0)
    max_depth = max((n[2] for n in nodes.values()), default=0)
    perfect = len(names) == 2 ** (max_depth + 1) - 1
    colors = {n: (0 if nodes[n][2] == max_depth and not perfect else 1) for n in nodes}
    return root, nodes, colors


def dir_entry(name, kind, color, left, right, child, start, size):
    encoded = name.encode('utf-16-le') + b'\0\0' if name is not None else b''
    entry = encoded.ljust(64, b'\0')
    entry += struct.pack('<HBB', len(encoded), kind, color)
    entry += struct.pack('<III', left, right, child)
    entry += b'\0' * 16  # class id
    entry += struct.pack('<I', 0)  # state bits
    entry += b'\0' * 16  # creation and modification times
    entry += struct.pack('<IQ', start, size)
    assert len(entry) == 128
    return entry


def write_cfb(out_path, streams):
    names = [name for name, _ in streams]
    small = [(n, d) for n, d in streams if 0 < len(d) < MINI_CUTOFF]
    large = [(n, d) for n, d in streams if len(d) >= MINI_CUTOFF]

    # Mini stream: each small stream padded to whole mini sectors.
    mini_start = {}
    mini_data = b''
    for name, data in small:
        mini_start[name] = len(mini_data) // MINI_SECTOR
        mini_data += data.ljust(sectors_for(len(data), MINI_SECTOR) * MINI_SECTOR, b'\0')
    mini_count = len(mini_data) // MINI_SECTOR
    mini_fat = []
    for name, data in small:
        n = sectors_for(len(data), MINI_SECTOR)
        first = mini_start[name]
        mini_fat += [first + i + 1 for i in range(n - 1)] + [ENDOFCHAIN]
    assert len(mini_fat) == mini_count

    dir_sectors = sectors_for(128 * (1 + len(streams)), SECTOR)
    minifat_sectors = sectors_for(4 * mini_count, SECTOR)
    ministream_sectors = sectors_for(len(mini_data), SECTOR)
    large_sectors = [sectors_for(len(d), SECTOR) for _, d in large]
    content = dir_sectors + minifat_sectors + ministream_sectors + sum(large_sectors)
    fat_sectors = 1
    while fat_sectors * (SECTOR // 4) < fat_sectors + content:
        fat_sectors += 1
    if fat_sectors > 109:
        raise SystemExit('too much data for a header-only FAT')

    fat = [FATSECT] * fat_sectors
    next_sector = fat_sectors

    def chain(count):
        nonlocal next_sector
        if count == 0:
            return ENDOFCHAIN
        first = next_sector
        for i in range(count):
            fat.append(first + i + 1 if i + 1 < count else ENDOFCHAIN)
        next_sector += count
        return first

    dir_start = chain(dir_sectors)
    minifat_start = chain(minifat_sectors)
    ministream_start = chain(ministream_sectors)
    large_start = {name: chain(n) for (name, _), n in zip(large, large_sectors)}
    fat += [FREESECT] * (fat_sectors * (SECTOR // 4) - len(fat))

    # Directory: entry 0 is the root, entries 1.. the streams in given order.
    index = {name: i + 1 for i, name in enumerate(names)}
    order = sorted(names, key=name_key)
    tree_root, nodes, colors = build_tree(order)
    entries = [dir_entry('Root Entry', 5, 1, NOSTREAM, NOSTREAM,
                         index[tree_root] if tree_root is not None else NOSTREAM,
                         ministream_start if mini_count else ENDOFCHAIN, len(mini_data))]
    for name, data in streams:
        left, right, _ = nodes[name]
        if len(data) == 0:
            start = ENDOFCHAIN
        elif len(data) < MINI_CUTOFF:
            start = mini_start[name]
        else:
            start = large_start[name]
        entries.append(dir_entry(name, 2, colors[name],
                                 index[left] if left is not None else NOSTREAM,
                                 index[right] if right is not None else NOSTREAM,
                                 NOSTREAM, start, len(data)))
    while len(entries) < dir_sectors * (SECTOR // 128):
        entries.append(dir_entry(None, 0, 0, NOSTREAM, NOSTREAM, NOSTREAM, 0, 0))

    difat = list(range(fat_sectors)) + [FREESECT] * (109 - fat_sectors)
    header = b'\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1' + b'\0' * 16
    header += struct.pack('<HHHHH', 0x003E, 0x0003, 0xFFFE, 9, 6)
    header += b'\0' * 6
    header += struct.pack('<IIIIIIIII', 0, fat_sectors, dir_start, 0, MINI_CUTOFF,
                          minifat_start if minifat_sectors else ENDOFCHAIN, minifat_sectors,
                          ENDOFCHAIN, 0)
    header += struct.pack('<109I', *difat)
    assert len(header) == SECTOR

    def pad(data):
        return data.ljust(sectors_for(len(data), SECTOR) * SECTOR, b'\0')

    body = struct.pack('<%dI' % len(fat), *fat)
    body += b''.join(entries)
    body += pad(struct.pack('<%dI' % mini_count, *mini_fat)) if mini_count else b''
    body += pad(mini_data)
    for _, data in large:
        body += pad(data)
    assert len(body) == (fat_sectors + content) * SECTOR
    with open(out_path, 'wb') as out:
        out.write(header + body)


def main(argv):
    if len(argv) < 2 or len(argv) % 2 != 0:
        raise SystemExit(__doc__)
    streams = []
    for i in range(2, len(argv), 2):
        with open(argv[i + 1], 'rb') as f:
            streams.append((argv[i], f.read()))
    write_cfb(argv[1], streams)


if __name__ == '__main__':
    main(sys.argv)
