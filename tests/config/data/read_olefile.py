#!/usr/bin/env python3
"""Reads a language file with olefile, a compound-file reader independent of
libgsf, and prints every entry of every root stream as "<stream>\t<entry>",
unscrambling and splitting the stream the way the client does. Backslashes
and line feeds in entries are printed as \\ and \n.

    read_olefile.py FILE
"""
import sys

import olefile


def unscramble(data):
    data = bytearray(data)
    for offset in range(0, len(data), 4):
        if offset + 4 < len(data):
            data[offset] ^= 0x5E
            data[offset + 1] ^= 0x5E
    return bytes(data)


def main(path):
    ole = olefile.OleFileIO(path)
    for entry in sorted(ole.listdir(streams=True, storages=False)):
        name = '/'.join(entry)
        data = unscramble(ole.openstream(entry).read())
        text = data[:len(data) // 2 * 2].decode('utf-16-le', 'surrogatepass')
        for item in text.split('\0'):
            if not item:
                break
            shown = item.replace('\\', '\\\\').replace('\n', '\\n')
            sys.stdout.buffer.write(('%s\t%s\n' % (name, shown)).encode('utf-8', 'surrogatepass'))


if __name__ == '__main__':
    main(sys.argv[1])
