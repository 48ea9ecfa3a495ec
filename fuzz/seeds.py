#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/<target>/.

Most targets read their input with libFuzzer's FuzzedDataProvider: texts and byte runs
from the front, integers and flags from the back (the last byte first). Seed builds an
input in that layout so each seed is a meaningful request rather than noise."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


class Seed:
    def __init__(self):
        self.front = b""
        self.tail = []          # in consumption order

    def text(self, s):
        # ConsumeRandomLengthString ends a string at a backslash followed by another byte.
        self.front += s.encode("utf-8").replace(b"\\", b"\\\\") + b"\\ "
        return self

    def raw(self, b):
        self.front += bytes(b)
        return self

    def byte(self, v):
        self.tail.append(v & 0xFF)
        return self

    def ranged(self, value, low, high):
        span = high - low
        n = value - low
        width = (span.bit_length() + 7) // 8
        for i in reversed(range(width)):     # most significant byte read first
            self.tail.append((n >> (8 * i)) & 0xFF)
        return self

    def flag(self, on):
        return self.byte(1 if on else 0)

    def bytes(self):
        return self.front + bytes(reversed(self.tail))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def frame(queue, tag, flags, code, data, command=1, fmt=0x02, src=(1, 5), dst=(1, 126)):
    f = bytearray(17 + len(data))
    f[0] = command << 4 | queue
    f[1] = 15 + len(data)
    f[2] = tag
    f[3] = flags
    f[4] = len(data) + 1
    f[5] = fmt
    f[6], f[7] = src[0], src[1] | 0x80
    f[8], f[9] = dst[0], dst[1] | 0x80
    f[16] = code
    f[17:] = bytes(data)
    return bytes(f)


def request(code, data, tag=1, service=3, command=1, subnet=1, node=5):
    f = bytearray(17 + len(data))
    f[0] = command << 4 | 2
    f[1] = 15 + len(data)
    f[2] = service << 5 | tag
    f[3] = 0x08
    f[4] = len(data) + 1
    f[5], f[6], f[7], f[8] = 1, node & 0x7F, 0x2A, 10
    f[9] = subnet
    f[16] = code
    f[17:] = bytes(data)
    return bytes(f)


def paramlist():
    lists = {
        "stringlist": ("COMMAND", ["SP1=LON1", "COMMAND=GETDATA", "POINTS=0:1:5:3:39:0:3:39"]),
        "timeout": ("TIMEOUT", ["TIMEOUT=$1F", "RETRIES=0x03", "TEMPSINF=TRUE"]),
        "float": ("SCALE", ["SCALE=1.5e3", "SCALE=2"]),
        "empty_name": ("", ["=x", "A=B=C"]),
    }
    for name, (key, entries) in lists.items():
        s = Seed().flag(False).text(key).ranged(1, 0, 2).ranged(len(entries), 0, 16)
        for e in entries:
            s.text(e)
        write("paramlist", name, s.bytes())
    write("paramlist", "string", Seed().flag(True).text("SP1").ranged(0, 0, 2).ranged(0, 0, 16)
          .text("SP1=LON1").bytes())
    s = Seed().flag(False).text("N").ranged(2, 0, 2).ranged(5, 0, 16)
    s.ranged(0, 0, 7).byte(0).byte(0).byte(0).byte(42)      # an integer
    s.ranged(5, 0, 7).text("N=7")                             # a string
    s.ranged(3, 0, 7)                                         # no text form
    s.ranged(4, 0, 7).text("N=nested")                        # a nested list
    s.ranged(2, 0, 7).flag(True)                              # a boolean
    write("paramlist", "variants", s.bytes())


def pointaddress():
    for name, text, comma in [
        ("plain", "0:1:5:3:39:0:3:39", False),
        ("scaled_object", "0:1:5:3:39:0:3:39,1.8,D-Outside Air", False),
        ("hex", "1:$0A:x7F:0x3F:105:2:4:105", False),
        ("comma_scale", "0:1:5:12:95:1:0:95, 2,5 ,D-Switch", True),
        ("text", "0:1:5:20:36:0:5:31", False),
        ("malformed", "0:1:5:3:39:0:3:39:9", False),
    ]:
        write("pointaddress", name, Seed().flag(comma).text(text).bytes())


def field_seed(code, offset, parameter, value, buffer, temps=False, comma=False, delta=0):
    s = Seed().flag(comma).flag(temps).ranged(code, -2, 13)
    s.flag(False).ranged(offset, -2, 40).flag(False).ranged(parameter, -2, 130).ranged(delta, -8, 8)
    return s.text(value).raw(buffer).bytes()


def field():
    write("field", "float", field_seed(4, 0, 0, "21.5", struct.pack(">f", 21.5)))
    write("field", "temperature", field_seed(3, 0, 105, "72.5", bytes([0x07, 0xD0]), temps=True))
    write("field", "u16_offset", field_seed(2, 2, 81, "100", bytes([1, 2, 3, 4, 5, 6])))
    write("field", "text", field_seed(5, 1, 8, "Zone é", b"\x00Hall\x00\x00\x00\x00\x00"))
    write("field", "bits", field_seed(7, 0, 0x70, "ON", bytes([0x5A])))
    write("field", "date", field_seed(9, 0, 0, "15/03/2024", bytes([0x07, 0xE8, 3, 15])))
    write("field", "time", field_seed(10, 0, 0, "12:30:45", bytes([12, 30, 45])))
    write("field", "datetime", field_seed(11, 0, 0, "15.03.2024 12:30:45",
                                          bytes([0x07, 0xE8, 3, 15, 12, 30, 45]), comma=True))
    write("field", "s32_short", field_seed(6, 0, 0, "-ON", bytes([0x7F, 0xFF, 0xFF]), delta=-1))
    write("field", "switch", field_seed(0, 0, 95, "50", bytes([200, 1])))


def frames():
    write("frames", "read_memory_answer", frame(6, 3, 0x01, 0x2D, bytes(range(16))))
    write("frames", "completion_ok", frame(2, 3, 0x10, 0x6D, b""))
    write("frames", "completion_failed", frame(2, 4, 0x20, 0x73, b""))
    write("frames", "domain_answer", frame(6, 1, 0x01, 0x2A, bytes([1, 2, 3, 4, 5, 6, 1, 0x7E, 6])
                                           + bytes(6), command=2))
    write("frames", "incoming_file", frame(8, 0, 0, 0x3E, bytes([0x00]) + bytes(32)))
    write("frames", "fetch_escaped", frame(6, 7, 0x01, 0x33, bytes([0xFF, 0x01, 0x02, 0x41, 0xAC, 0, 0])))
    write("frames", "short_claim", frame(6, 1, 0x01, 0x2D, bytes(8))[:20])


def fileframes():
    def transfer(packets, capacity):
        s = Seed().ranged(capacity, 0, 1024)
        for kind, body in packets:
            s.byte(kind).ranged(len(body), 0, 64).raw(body)
        return s.bytes()
    full = lambda seq: (6, bytes([seq]) + bytes(range(32)))
    last = lambda seq, n: (2, bytes([seq]) + bytes(n))
    write("fileframes", "one_block", transfer([full(i) for i in range(6)] + [last(0x10, 5)], 512))
    write("fileframes", "short_first", transfer([last(0x00, 3)], 64))
    write("fileframes", "small_buffer", transfer([full(0), full(1), last(2, 20)], 40))
    write("fileframes", "foreign_node", transfer([(0x0C, bytes([0]) + bytes(8)), full(0), last(1, 1)], 256))
    write("fileframes", "raw_garbage", transfer([(1, bytes([0x18, 0x40, 0, 0, 0x3E])), last(0, 0)], 128))
    # The whole input read as one frame by the packet parse.
    write("fileframes", "packet_frame", frame(8, 0, 0, 0x3E, bytes([0x15]) + b"file data"))


def selfdoc_image(version, records, doc=b"Demo device\x00"):
    count = len(records)
    head = 5 if version == 0 else 6
    descriptors = b"".join(bytes([0x80 if ext else 0x00, snvt]) for snvt, ext in records)
    body = b""
    for snvt, ext in records:
        if ext:
            body += ext
    total = head + len(descriptors) + len(doc) + len(body)
    if version == 0:
        header = bytes([total >> 8, total & 0xFF, count, 0, 0])
    else:
        header = bytes([total >> 8, total & 0xFF, count & 0xFF, 1, count >> 8, 0])
    return header + descriptors + doc + body


def selfdoc():
    named = lambda name: bytes([0x20]) + name + b"\x00"
    v0 = selfdoc_image(0, [(39, named(b"nvoTemp")), (95, named(b"nviSwitch")), (0, None)])
    v1 = selfdoc_image(1, [(105, bytes([0x28]) + b"nvoTemps\x00\x00\x04"), (36, bytes([0x10]) + b"@0|1;nvoText\x00")])
    for mode, suffix in [(0, "memory"), (1, "query")]:
        write("selfdoc", "v0_" + suffix, bytes([mode]) + v0)
        write("selfdoc", "v1_arrays_" + suffix, bytes([mode]) + v1)
    write("selfdoc", "truncated", bytes([0]) + v0[:14])
    write("selfdoc", "no_records", bytes([1]) + selfdoc_image(0, [(39, None), (40, None)]))


def simulator():
    def run(frames):
        s = Seed()
        for f in frames:
            s.byte(3).ranged(len(f), 0, 300).raw(f)
        return s.bytes()
    local_query_domain = request(0x6A, [0], command=2)
    write("simulator", "query_domain", run([local_query_domain]))
    write("simulator", "read_only", run([request(0x6D, [0, 0xF0, 0x00, 16], node=n) for n in (1, 2, 3)]))
    write("simulator", "query_id", run([request(0x61, [0, 0, 0, 0, 0], tag=2)]))
    write("simulator", "query_snvt", run([request(0x72, [0, 0, 16], node=1)]))
    write("simulator", "nv_fetch", run([request(0x73, [1], node=1), request(0x73, [0xFF, 0, 70], tag=3, node=1)]))
    write("simulator", "nv_update", run([request(0x68, [2], node=1),
                                         request(0x80, [2, 0x41, 0xAC, 0, 0], service=0, node=1)]))


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) & 0xFFFF if crc & 0x8000 else (crc << 1) & 0xFFFF
    return crc ^ 0xFFFF


def ip852():
    def lon(body):
        c = crc16(body)
        return bytes(body) + bytes([c >> 8, c & 0xFF])

    def packet(frame, seq=0, session=0x00C0FFEE, ext=b""):
        return struct.pack(">HBBBBHIII", 20 + len(ext) + len(frame), 1, 1, len(ext) // 4, 0, 0, session, seq, 0) + ext + frame

    request = lon(bytes.fromhex("011c01fe00fea657cf7d91026d01000006"))
    answer = lon(bytes.fromhex("0018008001fe222dfea657cf7d91"))
    ack_2b = lon(bytes.fromhex("00090305018221034c24"))
    remmsg = lon(bytes.fromhex("0017018121" + "4c4c4c" + "5502ff01" + "8105"))
    write("ip852", "request_by_neuron_id", packet(request))
    write("ip852", "answer", packet(answer, 1))
    write("ip852", "two_packets", packet(request) + packet(answer, 1))
    write("ip852", "form_2b_ack", packet(ack_2b))
    write("ip852", "group_rem_msg", packet(remmsg, ext=bytes(12)))
    write("ip852", "bare_frame", answer)


def xif():
    # The real files of the test fixtures, and a small one with every record kind.
    fixtures = os.path.join(HERE, "..", "tests", "fixtures", "xif")
    for name in sorted(os.listdir(fixtures)):
        if name.lower().endswith(".xif"):
            with open(os.path.join(fixtures, name), "rb") as f:
                write("xif", name.split("__")[-1].lower(), f.read())
    write("xif", "every_record", b"File: small.xif\n\n9F:FF:FF:05:00:0A:04:01\n2 15 1 2 1 3\n*\n"
          b"\"&3.4@0;Valve\n\nTAG msgOut 0 0 0 0\n0 1 63 1 0 1 0 1 0 1 0 0 0\n"
          b"VAR nviLevel 0 0 0 0\n0 1 63 0 0 1 0 1 0 1 0 0 0\n*\n0 * 4\n1 0 0 1 0\n3 0 1 0 0\n"
          b"3 1 3 0 0\n0 0 0 0 4\nVAR cpGain 1 0 0 0\n0 1 63 0 0 1 0 1 0 1 0 0 1\n\"&1,0,0\\x80,24\n"
          b"0 * 1\n2 0 0 0 0\n\nFILE template 0 2\n\"1.1;\n\nNVVAL\n0x01 F4\n")


def typefile():
    # First byte: even for a type file, odd for a names file.
    write("typefile", "layout", b"\x00" + b'{"types": {"R": {"size": 8, "fields": ['
          b'{"name": "Code", "offset": 0, "format": "u8"}, {"name": "Flow", "offset": 1, "format": "s16", '
          b'"factor": 0.1, "units": "l/s"}, {"name": "On", "offset": 3, "format": "bits", "mask": 128}, '
          b'{"name": "Text", "offset": 4, "format": "text", "length": 4}]}}, '
          b'"variables": [{"programId": "90:00:01:06:00:03:85:00", "variable": "nvoR", "type": "R"}]}')
    write("typefile", "by_position", b"\x02" + b'{"types": {"G": {"fields": [{"name": "a", "factor": 0.5}, '
          b'{"name": "b"}, {"name": "c", "units": "dB"}]}}, "variables": [{"variable": "nciG", "type": "G"}, '
          b'{"programId": "9F:FF:FF:05:00:0A:04:01", "variable": 3, "type": "G"}]}')
    write("typefile", "names", b"\x01" + b'{"sites": {"Plant": {"0:1:10": "Boiler room", "1:3:5": "Lights"}}}')


if __name__ == "__main__":
    paramlist()
    pointaddress()
    field()
    frames()
    fileframes()
    selfdoc()
    simulator()
    ip852()
    xif()
    typefile()
