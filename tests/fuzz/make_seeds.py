#!/usr/bin/env python3
"""Writes the seed inputs of every fuzz target into OUT/<target>/ (scripts/fuzz calls this).

The seeds are small, readable-by-construction inputs that reach past each harness's first checks:
definition sections, INI files, templates, raw SysEx files and Standard MIDI Files holding patches
of the instruments the harnesses use. The harnesses read integers from the end of an input
(libFuzzer's FuzzedDataProvider), so control bytes are appended in reverse order of use.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
IDF = os.path.join(HERE, "..", "..", "instruments", "banklore.idf")


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def smf(events, track_end=True, header_extra=b""):
    """A format 0 file; `events` are (delta, bytes) with bytes starting at the status."""
    body = b"".join(vlq(delta) + data for delta, data in events)
    if track_end:
        body += b"\x00\xff\x2f\x00"
    header = b"\x00\x00\x00\x01\x00\x60" + header_extra
    return (b"MThd" + len(header).to_bytes(4, "big") + header + b"MTrk" +
            len(body).to_bytes(4, "big") + body)


def sysex_event(message):
    return b"\xf0" + vlq(len(message) - 1) + message[1:]


def small_patch(slot, device=0x0D, name=b"seed"):
    """A patch of the fuzzers' small instrument: 27 bytes, AllDataBytes checksum at 25."""
    data = (name + b" " * 8)[:8] + bytes((slot * 3 + i) & 0x7F for i in range(11))
    message = bytes([0xF0, 0x7D, device, 0x10, slot // 16, slot % 16]) + data
    return message + bytes([sum(data) & 0x7F, 0xF7])


def beyond_patch(slot):
    """A patch of the instrument whose banks are larger than the whole: 11 bytes."""
    data = bytes([0x41, 0x42, 0x43, 0x01, 0x02])
    message = bytes([0xF0, 0x7E, slot // 64, slot % 64]) + data
    return message + bytes([sum(message[2:9]) & 0x7F, 0xF7])


def nova_patch(slot):
    name = ("Seed %03d" % slot).encode().ljust(16)
    body = name + bytes((slot + i) & 0x7F for i in range(286 - 16))
    return bytes([0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x00, 0x02, 5 + slot // 128,
                  slot % 128]) + body + b"\xf7"


def sections(text):
    out, current = [], None
    for line in text.splitlines():
        if line.startswith("["):
            current = []
            out.append(current)
        elif current is not None and line and not line.startswith(";"):
            current.append(line)
    return ["\n".join(lines) + "\n" for lines in out]


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


def main(out):
    seeds = {}
    with open(IDF, encoding="latin-1") as f:
        idf = f.read()
    seeds["definition"] = [s.encode("latin-1") for s in sections(idf)] + [
        b"Send=f0,7d,u1,10,t1,s1\nNumPatchesPerBank=1\nNumTotalPatches=16384\nFirstBankSign=z\n",
        b"DataSize=-5\nFooterSize=0\nSend=f0\nNamePos=-40\nNameLen=99\n",
        b"SendChecksumPos=-1\nChecksumType=Range:0-2,9-7,5\nRequestChecksumPos=-1\n",
        b"BankNames=A,,C,\nDeviceIDNames=Omni\nDeviceIDBytes=127,300,-1\nPatchOffset=2\n",
    ]
    seeds["profile"] = [
        b"[General]\nInstrument = Nova \nDup=1\nDup=2\n;Comment=x\n[]\nKey=v\r\n",
        b"\xef\xbb\xbf[A]\nk=v\n[a]\nK=w",
        b"orphan=1\n[x]\n[y]\n  \t key \t = value = more\n",
    ]
    seeds["sysex_template"] = [
        b"f0,00,20,29,01,21,x1,13,s2,s1,f7",
        b"f0,7d,u1,10,t1,s1",
        b"F0,FF,ff,t2,t1,s4,s3,,f7",
        b"f0,7,1A,abc,s5,u",
    ]
    seeds["syx_patches"] = [
        bytes([0, 3]) + nova_patch(0) + nova_patch(130),
        bytes([1, 0]) + nova_patch(5)[:100],
        bytes([7, 1]) + b"\xf0\x00\x20\x29\x01\x21\x00\x02\x05\x00" + b"\x41" * 286 + b"\xf7",
    ]
    seeds["midi_file"] = [
        smf([(0, sysex_event(small_patch(1))), (192, sysex_event(small_patch(2)))]),
        smf([(0, b"\xff\x51\x03\x07\xa1\x20"), (0, b"\x90\x3c\x40"), (10, b"\x3e\x40"),
             (0, sysex_event(nova_patch(3)))], header_extra=b"\x00\x00"),
        smf([(0, b"\xf0\x03\x01\x02\x03"), (5, b"\xf7\x02\x04\xf7"), (0, b"\xf7\x01\x05")]),
        smf([(0, sysex_event(small_patch(4)))], track_end=False)[:-6],
    ]
    seeds["midi_input"] = [
        bytes([5, 0x94, 0x3C, 0x64, 3, 0xF0, 1, 2, 9, 0xF8, 4, 3, 4, 0xF7, 0, 20]),
        bytes([0xF6, 0xC3, 0x05, 7, 0xF0, 0x7D, 0x10, 9, 0x90, 5, 0xF7, 0x01, 40]),
    ]
    # Control bytes, last one first: instrument, load kind, bank, selection count and slots.
    def loads(file, instrument, kind, bank, slots):
        return file + bytes(reversed([instrument, kind, bank, len(slots)] + slots))
    small_syx = small_patch(4) + small_patch(0) + small_patch(4, name=b"third")
    small_mid = smf([(0, sysex_event(small_patch(9))), (192, sysex_event(small_patch(30)))])
    beyond_syx = beyond_patch(3) + beyond_patch(40) + beyond_patch(19)
    seeds["bank_loads"] = [
        loads(small_syx, 0, 0, 0, []),
        loads(small_syx + small_patch(7)[:10], 0, 2, 1, [10, 11]),
        loads(small_mid, 0, 1, 1, []),
        loads(small_mid, 0, 3, 0, [3, 31]),
        loads(beyond_syx, 1, 0, 0, []),
        loads(nova_patch(200) + nova_patch(1), 2, 0, 1, []),
        loads(smf([(0, sysex_event(nova_patch(77)))]), 2, 3, 0, [12]),
    ]
    for target, inputs in seeds.items():
        for i, data in enumerate(inputs):
            write(os.path.join(out, target), "seed-%02d" % i, data)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_seeds.py OUT")
    main(sys.argv[1])
