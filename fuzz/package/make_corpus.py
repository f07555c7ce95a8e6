#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_package into corpus/. Run once; the files are committed.

Inputs that start with the container magic are whole package files; the others are payloads
that the fuzz target walks directly.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
MAGIC = b"ZUKsetupFPkgFile"


def chunk(tag, body, length=None):
    return tag + struct.pack("<I", len(body) if length is None else length) + body


def part(name, type_, version):
    return chunk(b"PART", chunk(b"NAME", name) + chunk(b"TYPE", type_) +
                 chunk(b"VERS", struct.pack("<I", version)))


def package(payload, unpacked=None, packed_size=None):
    packed = zlib.compress(payload, 9)
    return MAGIC + struct.pack("<II", len(payload) if unpacked is None else unpacked,
                               len(packed) if packed_size is None else packed_size) + packed


def main():
    two = part(b"wqd-2024", b"wqd", 0x0701E2) + part(b"setup-912", b"setup", 0x390)
    seeds = {
        "package-two-parts": package(two),
        "package-with-other-chunks": package(chunk(b"HEAD", b"\x00" * 12) + two +
                                             chunk(b"TAIL", b"end")),
        "package-empty-payload": package(b""),
        "package-larger-unpacked": package(two, unpacked=len(two) + 100),
        "package-packed-past-file": package(two, packed_size=0xFFFFFFF0),
        "package-wrong-adler": package(two)[:-1] + b"\x00",
        "package-claims-4gib": MAGIC + b"\xff" * 8 + b"\x78\x9c\x03\x00\x00\x00",
        "payload-two-parts": two,
        "payload-news-short-vers": chunk(b"PART", chunk(b"NAME", b"n") + chunk(b"TYPE", b"news") +
                                         chunk(b"VERS", b"\x01\x02")),
        "payload-part-past-end": part(b"w", b"wqd", 1) + chunk(b"PART", b"NAME", 0xFFFFFFF8),
        "payload-name-past-end": chunk(b"PART", chunk(b"TYPE", b"wqd") +
                                       chunk(b"NAME", b"abc", 0xFFFFFFFF)),
        "payload-fragments": chunk(b"PART", chunk(b"NAME", b"n") + chunk(b"TYPE", b"setup") +
                                   b"VERS\x04") + b"PART\x09\x00",
        "payload-empty-chunks": chunk(b"PART", b"") + chunk(b"JUNK", b"") +
                                chunk(b"PART", chunk(b"NAME", b"") + chunk(b"TYPE", b"")),
    }
    folder = os.path.join(HERE, "corpus")
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
