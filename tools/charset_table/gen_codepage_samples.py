#!/usr/bin/env python3
"""Writes tests/xml_load/codepage_samples.inc: byte samples in Windows code pages
with the UTF-16 text each must convert to, the same on every platform.

Single-byte code pages get every byte from 0x20 to 0xFF that the code page defines;
multi-byte ones a short text of their script. Python's codecs serve as the neutral
reference for both the iconv and the MultiByteToWideChar backend.
"""
import os

SINGLE = [
    (1250, 'cp1250'), (1251, 'cp1251'), (1252, 'cp1252'), (1253, 'cp1253'), (1254, 'cp1254'),
    (1255, 'cp1255'), (1256, 'cp1256'), (1257, 'cp1257'), (1258, 'cp1258'),
    (28591, 'iso8859_1'), (28592, 'iso8859_2'), (28593, 'iso8859_3'), (28594, 'iso8859_4'),
    (28595, 'iso8859_5'), (28596, 'iso8859_6'), (28597, 'iso8859_7'), (28598, 'iso8859_8'),
    (28599, 'iso8859_9'), (28603, 'iso8859_13'), (28605, 'iso8859_15'),
    (20866, 'koi8_r'), (21866, 'koi8_u'), (437, 'cp437'), (850, 'cp850'), (866, 'cp866'),
]
MULTI = [
    (932, 'cp932', '日本語のテキスト、ｶﾀｶﾅ。'),
    (936, 'gbk', '简体中文的文本。'),
    (949, 'cp949', '한국어 텍스트입니다.'),
    (950, 'cp950', '繁體中文的文字。'),
    (65001, 'utf-8', 'héllo € \U0001D11E 日本'),
]


def c_bytes(b):
    return '"' + ''.join('\\x%02X' % x for x in b) + '"'


def c_units(s):
    units = s.encode('utf-16-le')
    vals = [units[i] | (units[i + 1] << 8) for i in range(0, len(units), 2)]
    return '{' + ', '.join('0x%04X' % v for v in vals) + '}'


def main():
    out = ['// Written by tools/charset_table/gen_codepage_samples.py.',
           '// {code page, bytes, byte count, expected UTF-16 units}']
    for cp, codec in SINGLE:
        data = bytearray()
        for b in range(0x20, 0x100):
            try:
                bytes([b]).decode(codec)
            except UnicodeDecodeError:
                continue
            data.append(b)
        text = bytes(data).decode(codec)
        out.append('{%d, %s, %d, %s},' % (cp, c_bytes(data), len(data), c_units(text)))
    for cp, codec, text in MULTI:
        data = text.encode(codec)
        out.append('{%d, %s, %d, %s},' % (cp, c_bytes(data), len(data), c_units(text)))
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
    with open(os.path.join(root, 'tests', 'xml_load', 'codepage_samples.inc'), 'w') as f:
        f.write('\n'.join(out) + '\n')


if __name__ == '__main__':
    main()
