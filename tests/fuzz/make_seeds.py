#!/usr/bin/env python3
"""Writes the seeds of the fuzz targets whose inputs have a fixed layout: the
plug-in <-> agent records, the frames of the session's message sockets, the
settings file in each encoding, the simulated devices' descriptions and the
bitmap layouts that scanners write. The service targets' seeds come from
capture_service_seeds (real traffic). Run from anywhere:
    tests/fuzz/make_seeds.py
"""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def put(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def field(text, units):
    raw = text.encode("utf-16-le")[: (units - 1) * 2]
    return raw + b"\0" * (units * 2 - len(raw))


def request(code, key="page-key", message=0, printing="", param=0, job=0):
    return (struct.pack("<i", code) + field(key, 512) + struct.pack("<i", message) +
            field(printing, 2048) + struct.pack("<ii", param, job))


def answer(state, info, text=""):
    return struct.pack("<ii", state, info) + field(text, 2048)


# The records: every request a plug-in sends, the answers the agent sends.
REQUESTS = {
    "scan-grey": request(100, message=31, param=1, job=4711),
    "scan-colour": request(100, key="ключ", message=32, param=2, job=4712),
    "select-wia": request(101, param=2),
    "select-twain": request(101, param=3),
    "print": request(102, message=7, printing="pages=2;width=1678;height=600"),
    "set-mode-twain": request(103, param=3),
    "stop-scan": request(104, job=4711),
    "get-mode": request(105),
    "get-selected-wia": request(106, param=2),
    "unknown-code": request(999, param=-1, job=-1),
    # Every unit of the key and the command set: no terminator inside.
    "fields-unterminated": (struct.pack("<i", 102) + b"A\0" * 512 + struct.pack("<i", 1) +
                            b"B\0" * 2048 + struct.pack("<ii", 0, 0)),
    "request-cut-short": request(100, param=1, job=1)[:4000],
}
ANSWERS = {
    "answer-image-info": answer(1, 300, "Virtual Feeder"),
    "answer-upload-percent": answer(4, 57),
    "answer-upload-refused": answer(-4, 0, "Факс не принят"),
    "answer-scan-mode": answer(105, 3),
    "answer-selected-scanner": answer(106, 0, "Virtual Flatbed"),
    "answer-print-loaded": answer(2, 3),
    "answer-text-unterminated": struct.pack("<ii", 1, 1) + "я".encode("utf-16-le") * 2048,
}
for name, data in {**REQUESTS, **ANSWERS}.items():
    put("records_fuzz", name, data)
for name, data in REQUESTS.items():
    put("copydata_fuzz", name, data)

# The frames of the session's message sockets (the window fields 0 to 4 are
# frame_delivery_fuzz's windows: plain, list view, button, static, channel).
MAGIC = 0x57333246
SEND, POST, REPLY, CANCEL = 1, 2, 3, 4
WM_SETTEXT, WM_GETTEXT, WM_CLOSE, WM_COPYDATA = 0x0C, 0x0D, 0x10, 0x4A
WM_KEYDOWN, WM_TIMER, BM_CLICK = 0x100, 0x113, 0xF5
LVM_GETITEMCOUNT, LVM_HITTEST, LVM_GETITEMSPACING = 0x1004, 0x1012, 0x1033
LVM_INSERTITEMW, LVM_GETITEMTEXTW, LVM_SETITEMTEXTW = 0x104D, 0x1073, 0x1074


def frame(kind, sequence, window, message, wparam=0, lparam=0, data=b"", tag=0, size=None,
          magic=MAGIC):
    length = len(data) if size is None else size
    return struct.pack("<IIQIIQqIIQ", magic, kind, sequence, window, message, wparam, lparam,
                       length, 0, tag) + data


text = "Выбор сканера\0".encode("utf-16-le")
FRAMES = {
    "copydata-answer-to-channel": frame(SEND, 1, 4, WM_COPYDATA, 0, 0, answer(105, 3), tag=0),
    "copydata-scan-states": (frame(SEND, 1, 4, WM_COPYDATA, 0, 0, answer(1, 300, "Feeder")) +
                             frame(SEND, 2, 4, WM_COPYDATA, 0, 0, answer(6, 0))),
    # WM_COPYDATA that claims its data by address only.
    "copydata-without-data": frame(SEND, 1, 4, WM_COPYDATA, 0, 0x7FFF12345678),
    "copydata-posted": frame(POST, 0, 4, WM_COPYDATA, 0, 0x7FFF12345678, answer(1, 1)),
    "timer-posted-with-procedure": frame(POST, 0, 0, WM_TIMER, 101, 0x41414141),
    "timer-posted-to-channel": frame(POST, 0, 4, WM_TIMER, 101, 0),
    "settext-static": frame(SEND, 1, 3, WM_SETTEXT, 0, 0, text),
    "settext-address-only": frame(SEND, 1, 3, WM_SETTEXT, 0, 0x7FFF12345678),
    "gettext-static": frame(SEND, 1, 3, WM_GETTEXT, 64, 0),
    "gettext-huge-buffer": frame(SEND, 1, 3, WM_GETTEXT, 0xFFFFFFFF, 0),
    "settext-posted": frame(POST, 0, 3, WM_SETTEXT, 0, 0, text),
    "list-count-and-spacing": (frame(SEND, 1, 1, LVM_GETITEMCOUNT) +
                               frame(SEND, 2, 1, LVM_GETITEMSPACING, 1)),
    "list-pointer-messages": (frame(SEND, 1, 1, LVM_INSERTITEMW, 0, 0x7FFF12345678) +
                              frame(SEND, 2, 1, LVM_SETITEMTEXTW, 0, 0x7FFF12345678) +
                              frame(SEND, 3, 1, LVM_GETITEMTEXTW, 0, 0x7FFF12345678) +
                              frame(SEND, 4, 1, LVM_HITTEST, 0, 0x7FFF12345678)),
    "button-click-posted": frame(POST, 0, 2, BM_CLICK),
    "keydown-return-posted": frame(POST, 0, 0, WM_KEYDOWN, 0x0D, 1),
    "close-posted": frame(POST, 0, 0, WM_CLOSE),
    "reply-and-cancel-unknown": frame(REPLY, 77, 0, 0, 0, 1) + frame(CANCEL, 78, 0, 0),
    "data-on-a-plain-message": frame(SEND, 1, 0, WM_CLOSE + 1, 0, 0, b"extra bytes"),
    "window-not-ours": frame(SEND, 1, 0x7FFFFFF0, WM_GETTEXT, 16, 0),
    "bad-magic": frame(SEND, 1, 0, WM_CLOSE, magic=0x12345678),
    "oversized-data": frame(SEND, 1, 4, WM_COPYDATA, size=0x7FFFFFFF),
    "cut-in-header": frame(SEND, 1, 3, WM_SETTEXT, 0, 0, text)[:30],
    "cut-in-data": frame(SEND, 1, 3, WM_SETTEXT, 0, 0, text)[:60],
}
for name, data in FRAMES.items():
    put("frame_delivery_fuzz", name, data)
    # frame_reader_fuzz: the first byte sets the size of the pieces.
    put("frame_reader_fuzz", name, bytes([len(name) % 7 * 9]) + data)

# The settings file, as the agent and its user write it, in each encoding.
SETTINGS = ("[settings]\r\nsoap-server=http://127.0.0.1:18480/services/vexloplugin\r\n"
            "trace-level=3\r\nlog-file=C:\\Журнал\\vexlo.log\r\nscan-mode=2\r\n"
            "[wia]\r\nwia-scanner={6BDD1FC6-810F-11D0}\\0001\r\n"
            "wia-scanner-name=Сканер в офисе\r\n")
put("profile_fuzz", "settings-ansi-1251", SETTINGS.encode("cp1251"))
put("profile_fuzz", "settings-utf8-mark", b"\xef\xbb\xbf" + SETTINGS.encode("utf-8"))
put("profile_fuzz", "settings-utf16-mark", b"\xff\xfe" + SETTINGS.encode("utf-16-le"))
put("profile_fuzz", "settings-odd",
    b"  [ settings ]  \n; note\nscan-mode = 9999999999999\n=no key\nkey-only\n"
    b"[wia\nwia-scanner=\"quoted\"\n[]\n[settings]\nSCAN-MODE=-3\n")

# The simulated devices' descriptions.
put("twain_sources_fuzz", "feeder-and-flatbed", b"""[manager]
# comment
[source]
name = Virtual Feeder
manufacturer = Vexlo Test Devices
family = Virtual Scanners
x-resolution = enumeration fix32 75 150 300 600
y-resolution = range fix32 75 600 75
resolution = 150
pages = 3
page = 1 1700 2200
page = 24 40 30
page = 8 file:/nonexistent/page.png
keep-open = yes
xfer-limit = 2
fail = image-info, transfer-failure
fail-page = 2
pump = transfer, feed

[source]
name = Flatbed
x-resolution = onevalue uint16 300
y-resolution = none
""")
put("twain_sources_fuzz", "failing-manager", b"[manager]\nfail = open-dsm\n[source]\n"
    b"name = Broken\nx-resolution = array int32 -1 0 2147483647\nresolution = 72.5\n"
    b"fail = enable, open, transfer-cancel\n")
put("wia_devices_fuzz", "flatbed-and-feeder", """[manager]

[device]
id = {6BDD1FC6-810F-11D0}\\0001
name = Virtual Flatbed
type = scanner
resolution = 150
refuse = 200 250 300
refuse-with = E_INVALIDARG
page = 8 40 30

[device]
id = {6BDD1FC6-810F-11D0}\\0002
name = Офисный автоподатчик
feeder = yes
pages = 3
page = 1 64 48
page = 24 20 10
dialog-items = 2
fail = transfer
fail-page = 2
transfer-result = S_FALSE
""".encode("utf-8"))
put("wia_devices_fuzz", "unplugged-and-absent", b"[manager]\nfail = absent\n[device]\n"
    b"id = x\ntype = 0x7fffffff\nunplugged = yes\nresolution = none\n"
    b"refuse-with = 0x80004005\nfail = create-device, dialog\n")

# Bitmaps as scanners write them. bmp_page_fuzz's first byte picks the
# resolution (0: 200 dpi, 1: 300 dpi).


def bmp(width, height, bits, rows=None, palette=None, compression=0, top_down=False,
        pixels=None, header_size=40, claimed=None):
    stride = (width * bits + 31) // 32 * 4
    if pixels is None:
        pixels = bytes((x * 7 + y * 3) & 0xFF for y in range(height) for x in range(stride))
    if palette is None and bits <= 8:
        count = 1 << bits
        palette = b"".join(bytes([i * 255 // (count - 1)] * 3 + [0]) for i in range(count))
    palette = palette or b""
    offset = 14 + header_size + len(palette)
    w, h = claimed or (width, height)
    info = struct.pack("<IiiHHIIiiII", header_size, w, -h if top_down else h, 1, bits,
                       compression, len(pixels), 11811, 11811, 0, 0)
    info += b"\0" * (header_size - 40)
    return (b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + palette +
            pixels)


def rle8(width, height):
    out = b""
    for y in range(height):
        out += bytes([width // 2, y * 16 & 0xFF, width - width // 2, 0xFF - y]) + b"\0\0"
    return out + b"\0\1"


put("bmp_page_fuzz", "grey-8bit", b"\0" + bmp(40, 30, 8))
put("bmp_page_fuzz", "lineart-1bit", b"\1" + bmp(64, 20, 1))
put("bmp_page_fuzz", "colour-24bit-odd-width", b"\0" + bmp(33, 17, 24))
put("bmp_page_fuzz", "colour-24bit-top-down", b"\1" + bmp(16, 12, 24, top_down=True))
put("bmp_page_fuzz", "colour-32bit", b"\2" + bmp(8, 8, 32))
put("bmp_page_fuzz", "grey-4bit", b"\3" + bmp(10, 6, 4))
put("bmp_page_fuzz", "rle8", b"\0" + bmp(16, 8, 8, pixels=rle8(16, 8), compression=1))
put("bmp_page_fuzz", "v5-header-24bit", b"\1" + bmp(12, 9, 24, header_size=124))
# Headers that claim far more than the file holds: refused before decoding.
put("bmp_page_fuzz", "claims-gigapixels", b"\0" + bmp(40, 30, 24, claimed=(60000, 60000)))
put("bmp_page_fuzz", "rle8-claims-gigapixels",
    b"\0" + bmp(16, 8, 8, pixels=rle8(16, 8), compression=1, claimed=(40000, 40000)))
