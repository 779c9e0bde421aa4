#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from the project's own fixtures (the skin,
the test images, machine descriptions) and a few hand-made inputs in each format. Run again
after a fixture changes; the output is committed under corpus/."""
import gzip
import os
import shutil
import struct
import zlib

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(os.path.dirname(here))
corpus = os.path.join(here, "corpus")


def put(target, name, data):
    folder = os.path.join(corpus, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def fixture(*parts):
    with open(os.path.join(root, *parts), "rb") as f:
        return f.read()


shutil.rmtree(corpus, ignore_errors=True)

# The skin: the program's own and the UI tests' sample.
put("skin", "skin.xml", fixture("res", "skin.xml"))
put("skin", "sample.xml", fixture("tests", "data", "ui", "sample.xml"))

# Attribute lists: the first byte picks the control (see FuzzAttributes.cpp).
lists = [
    'name="a" pos="1,2,300,40" float="true" visible="true" bkcolor="#FF00FF00"',
    'text="hello" font="0" align="center" textcolor="#FF112233" textpadding="2,3,4,5"',
    'normalimage="file=\'x.png\' dest=\'1,2,3,4\'" hotimage="res=\'130\' restype=\'PNG\'"',
    'inset="1,1,1,1" childpadding="5" vscrollbar="true" width="100" height="30"',
    'selected="true" group="g" value="50" min="0" max="100" numberonly="true"',
]
for i, text in enumerate(lists):
    for control in (0, 5, 6, 7, 8, 9, 11, 12):
        put("attributes", "list%d-%d" % (i, control), bytes([control]) + text.encode())

for i, d in enumerate([
    "res='130' restype='PNG' dest='8,8,32,32'",
    "file='bk.png' source='0,0,10,10' corner='2,2,2,2' mask='#FFFF00FF' fade='128' hole='true'",
    "file='a.png' layout='vmiddle hmiddle' dest='0,0,16,16' rotate='90.5' round='4,4'",
    "plain.png",
    " dest='1,2,3,4'",
]):
    put("image_descriptor", "d%d" % i, d)

# Images: the UI tests' PNG, JPEG and icon files behind the control byte.
data_ui = os.path.join(root, "tests", "data", "ui")
for name in sorted(os.listdir(data_ui)):
    if name.endswith((".png", ".jpg", ".ico")):
        put("image", name, bytes([0x00]) + fixture("tests", "data", "ui", name))
        put("image", "mask-" + name, bytes([0x31]) + fixture("tests", "data", "ui", name))

for i, body in enumerate([
    '{"code":200,"data":{"code_url":"http://127.0.0.1:18480/rundix/qrcode/ab.png","ticket":"ab"}}',
    '{"code":200,"data":{"openid":"o123"}}',
    '{"code":202,"msg":"waiting"}',
    '{"code":200,"data":[1,2,{"x":null}]}',
    '{"code":2e2,"data":{"ticket":1.5}}',
    '[[[[[[[[[[]]]]]]]]]]',
]):
    put("login_reply", "r%d" % i, body)

for i, text in enumerate([
    b"\x00sid=abc123; path=/; domain=example.com",
    b"\x00 a = 1 ;\t;=orphan; \r\nb=;c\n\x00t=2; Domain=.example.com; Path=/",
    b"\x02q=mydomain=x; sid=1\x00u=3; domain=/",
    b"\x03" + b";".join(b"c%d=v" % n for n in range(40)),
]):
    put("cookies", "c%d" % i, text)

text = b"The quick brown fox jumps over the lazy dog. " * 40
raw = zlib.compressobj(9, zlib.DEFLATED, -15)
raw_deflate = raw.compress(text) + raw.flush()
put("inflate", "gzip", bytes([0x10]) + gzip.compress(text, mtime=0))
put("inflate", "zlib", bytes([0x10]) + zlib.compress(text))
put("inflate", "raw", bytes([0x11]) + raw_deflate)
put("inflate", "tiny-buffer", bytes([0x00]) + zlib.compress(text))


def record(event_type, generated, source):
    name = source.encode("utf-16-le") + b"\x00\x00"
    length = 56 + len(name)
    length += (-length) % 4
    head = struct.pack("<IIIIIIHHHHIIIIIIII", length, 0x654C664C, 1, generated, generated, 1000,
                       event_type, 0, 0, 0, 0, 56, 0, 0, 0, 0, 0, 0)
    head = head[:56]
    body = head + name
    return body + b"\x00" * (length - len(body))


records = record(1, 1700000000, "Application Error") + record(4, 1700000001, "Info") + record(1, 5, "Old")
put("eventlog", "two-reads", b"\x00" + struct.pack(">H", len(records)) + records
    + b"\x00" + struct.pack(">H", len(records)) + records)
put("eventlog", "grow", b"\x01" + struct.pack(">I", 70000) + b"\x00" + struct.pack(">H", len(records)) + records)
put("eventlog", "claims-more", b"\x02" + struct.pack(">H", 60000) + records)

put("ini", "settings.ini", "[Setting]\r\nPath=C:\\Program Files\\Rundix\r\nLastRepairTime=1700000000\r\n")
put("ini", "odd.ini", "; comment\n[A]\nx=1\n[Setting]\nPath = spaced \n[Setting]\nPath=second\nnoequals\n[")

for folder in ("program", "scan", "repair"):
    for name in sorted(os.listdir(os.path.join(root, "tests", "data", folder))):
        if name.endswith(".json"):
            put("machine", folder + "-" + name, fixture("tests", "data", folder, name))
put("machine", "empty.json", "{}")

for i, text in enumerate([
    "mac=&channel=rundix_vorb&version=1.0.0.1&main=page&sub=start",
    "%zz&&=x&a=%&b=%4&enc=%E4%BF%AE&bad=%FF%FE",
    "bytes=0-10",
    "bytes=-5",
    "bytes=0-1,5-6",
    "00000005fe000000c3e95fbc8210c05f",
]):
    put("server_requests", "q%d" % i, text)

# Raw replies of a hostile peer; the first byte picks the client (see FuzzHttpPeer.cpp).
replies = [
    b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello",
    b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort",
    b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
    b"HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nSet-Cookie: a=1; domain=127.0.0.1\r\n\r\n" + gzip.compress(b'{"code":200}', mtime=0),
    b"HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 0\r\n\r\n",
    b"HTTP/1.0 500 Oops\r\n\r\n",
    b"garbage",
]
for i, reply in enumerate(replies):
    put("http_peer", "download%d" % i, b"\x00" + reply)
    put("http_peer", "winhttp%d" % i, b"\x01" + reply)

# Nesting far past every bound (docs/limits.md): each must be refused, not recursed into.
put("login_reply", "deep-arrays", "[" * 100000)
put("login_reply", "deep-objects", '{"code":200,"data":' * 50000)
put("skin", "deep.xml", "<Window>" + "<VerticalLayout>" * 20000 + "</VerticalLayout>" * 20000 + "</Window>")
