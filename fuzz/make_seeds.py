#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into corpus/ (run from anywhere)."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

LONG, TIMEOUT, LOST = 0xF0, 0xF1, 0xF2
ONE, TWO, GEN, GAIN, TIME, SEND, FREQ = range(0xF3, 0xFA)


def chunk(data):
    """Device bytes as one script operation."""
    data = bytes(data)
    if 1 <= len(data) <= 0xF0:
        return bytes([len(data) - 1]) + data
    return bytes([LONG]) + struct.pack('<H', len(data)) + data


def frame(samples, end=b'E'):
    return b'S' + b''.join(struct.pack('<h', s) for s in samples) + end


def ramp(n=1024, step=37):
    return [((i * step) % 4096) - 2048 for i in range(n)]


def write(folder, name, data):
    path = os.path.join(HERE, 'corpus', folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), 'wb') as f:
        f.write(data)


def wide(v):
    return struct.pack('<i', v)[:3]


good = frame(ramp())
worker = {
    'good-frame': chunk(good),
    'two-frames': chunk(good) + chunk(frame(ramp(step=11))),
    'prompts-then-frame': chunk(b'w>xyw') + chunk(good),
    'frame-in-pieces': b''.join(chunk(good[i:i + 200]) for i in range(0, len(good), 200)),
    'no-end': chunk(frame(ramp(), end=b'') + b'w') + bytes([TIMEOUT]) + chunk(good),
    'early-end': chunk(b'S' + bytes(1023) + b'E') + bytes([TIMEOUT]) + chunk(good),
    'data-bytes-are-markers': chunk(frame([0x4553, 0x3E77, 0x4545] * 341 + [0x5345])),
    'quiet-mid-frame': chunk(good[:700]) + bytes([TIMEOUT]) + chunk(good[700:]) + chunk(good),
    'lost-mid-frame': chunk(good[:900]) + bytes([LOST]),
    'garbage-between': chunk(b'\x00\xffqq' * 8) + chunk(good) + chunk(b'zz') + chunk(good),
    'one-channel': chunk(good) + bytes([ONE]) + chunk(b'xqza') + chunk(good),
    'two-channels': chunk(good) + bytes([TWO]) + chunk(b'qcc') + chunk(b'>') + chunk(good),
    'time-base': chunk(good) + bytes([TIME, 14]) + chunk(b's>') + chunk(good),
    'gain-wrong-echo': chunk(good) + bytes([GAIN, 0, 6]) + chunk(b'u0#') + chunk(good),
    'generator': chunk(good) + bytes([GEN, SEND, FREQ]) + wide(0x1234) + wide(0x200)
    + chunk(b'qe') + chunk(b'g') + chunk(b's1234200'),
    'generator-out-of-range': chunk(good) + bytes([GEN, FREQ]) + wide(70000) + wide(5000)
    + chunk(b'qes') + bytes([TIMEOUT] * 3) + chunk(b'\x32' * 7),
    'everything': chunk(good) + bytes([ONE, TIME, 3, GAIN, 1, 2]) + chunk(b'qas3uS12')
    + chunk(good) + bytes([TWO]) + chunk(b'qc') + bytes([GEN]) + chunk(b'qe')
    + bytes([SEND]) + chunk(b'g') + bytes([ONE]) + chunk(b'qa') + chunk(good),
}
for name, data in worker.items():
    write('worker', name, data)

settings = {
    'default': b'#/dev/ttyS0#115200#3#ZOR',
    'com': b'#COM3#921600#6#ZOR',
    'text-before': b'junk#COM3#921600#2#ZOR',
    'not-a-number': b'#COM3#abc#3#ZOR',
    'space-in-name': b'#my port#115200#3#ZOR\n',
    'no-mark': b'COM3 and more',
    'signs': b'#a#-19200#+3#ZOR',
    'too-big': b'#a#99999999999#2147483648#ZOR',
    'binary': b'\x00\x01\xff#\x00port#\xfe\x80#7#ZOR',
    'utf16-bom': b'\xff\xfe#\x00C\x00O\x00M\x00#\x001\x00#\x002\x00',
    'percent': b'#%1%2#1#2#ZOR',
    'long-tail': b'#COM9#19200#0#ZOR ' + b'x' * 300,
    'cut-characters': b'#\xc3#1\xe2\x82#2\xf0#ZOR\xe2',
}
for name, data in settings.items():
    write('settings', name, data)

# setup.txt: the keys as the program writes them, then damaged copies.
SETUP_KEYS = [
    ('scope.timebase', 7), ('scope.range1', 0), ('scope.range2', 0), ('scope.channel2', 0),
    ('scope.trigger', 0), ('scope.edge', 0), ('scope.detector', 0), ('scope.level', 0),
    ('scope.xpos', 0), ('scope.ypos1', 0), ('scope.ypos2', 0), ('generator.frequency', 1000),
    ('generator.step', 0), ('generator.amplitude', 1250), ('generator.waveform', 0),
    ('generator.duty', 50), ('generator.offset', 0), ('analyzer.span', 7),
    ('analyzer.range', 0), ('analyzer.shift', 0),
]


def setup_text(changes=None, table=None, end=b'\n'):
    values = dict(SETUP_KEYS)
    values.update(changes or {})
    lines = [b'# labbench set-up: lists by row, 0 the top entry', b'version=1']
    lines += [('%s=%d' % (k, values[k])).encode() for k, _ in SETUP_KEYS]
    entries = table if table is not None else [0] * 512
    lines.append(b'generator.table=' + ' '.join(str(v) for v in entries).encode())
    return end.join(lines) + end


drawn = setup_text({'generator.waveform': 5, 'generator.frequency': 2000, 'scope.channel2': 1,
                    'scope.timebase': 10, 'analyzer.shift': -128}, ramp(512, 53))
setup = {
    'start-values': setup_text(),
    'drawn-table': drawn,
    'windows-line-ends': setup_text(end=b'\r\n'),
    'byte-order-mark': b'\xef\xbb\xbf' + setup_text(),
    'cut-in-table': drawn[:len(drawn) - 900],
    'cut-in-value': drawn[:drawn.index(b'analyzer.shift=-12') + 18],
    'out-of-range': setup_text({'scope.timebase': 15, 'scope.level': -99999, 'generator.duty': 0,
                                'generator.frequency': 2147483647}, [5000] * 512),
    'not-numbers': setup_text().replace(b'=0\n', b'=x\n').replace(b'=7\n', b'=0x7\n'),
    'short-table': setup_text(table=[1] * 511),
    'no-version': setup_text().replace(b'version=1\n', b''),
    'later-version': setup_text().replace(b'version=1', b'version=2'),
    'settings-text': b'#/dev/ttyS0#115200#3#ZOR',
    'twice-and-stray': setup_text() + b'generator.duty=7\nstray line\n=3\n',
    'binary': b'version=1\n\x00scope.level=\xff\xfe3\nscope.xpos=1\x002\n',
}
for name, data in setup.items():
    write('setup', name, data)

# DCB: four bytes of driver defaults, then (operation, code) pairs:
# 0 baud, 1 data bits, 2 parity, 3 stop bits, 4 flow, 5 time-out, 6 open, 7 close.
def ops(*pairs):
    return bytes([0x01, 0x00, 0x11, 0x00]) + b''.join(bytes([o, c & 0xFF]) for o, c in pairs)

dcb = {
    'application': ops((6, 0), (0, 19), (4, 0), (2, 0), (1, 3), (3, 0), (5, 25)),
    'every-rate': ops((6, 0), *[(0, c) for c in range(-1, 30)]),
    'rates-while-closed': ops((0, 22), (0, 18), (0, 9), (6, 0), (0, 9), (7, 0), (6, 0)),
    'five-bits-two-stops': ops((6, 0), (3, 2), (1, 0), (3, 1), (1, 3), (3, 1), (1, 0), (3, 1)),
    'parity-and-flow': ops((6, 0), *[(2, c) for c in range(-1, 7)], *[(4, c) for c in range(-1, 4)]),
    'open-twice': ops((6, 0), (6, 0), (7, 0), (7, 0), (6, 0)),
    'timeouts': ops((5, -128), (6, 0), (5, 0), (5, -128), (5, 127), (5, -5)),
}
for name, data in dcb.items():
    write('dcb', name, data)
