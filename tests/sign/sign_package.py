#!/usr/bin/env python3
"""A second signer of the package signature format, written from its description in the README
with Python's hashlib and the openssl command-line tool, so that the tests check the format
itself and not only one implementation against itself. Keys are made at test time.

  sign_package.py keygen PRIVATE.pem PUBLIC.pem
  sign_package.py sign PRIVATE.pem IN.zip OUT.zip
  sign_package.py verify PUBLIC.pem PACKAGE.zip        exit 0 when signed with that key
  sign_package.py variants PRIVATE.pem OTHER.pem IN.zip FOLDER
      FOLDER/NAME.zip for each case and FOLDER/cases.tsv: NAME, TAB, the installer's text
      ("-" for a package that must be accepted)
"""
import base64
import hashlib
import os
import struct
import subprocess
import sys
import tempfile

END_SIG = b"PK\x05\x06"
COMMENT_SIZE = 154
NOT_SIGNED = "The package is not signed by its publisher."
CHANGED = "The package was changed after it was signed."
INCOMPLETE = "The package is incomplete: its ZIP end record is missing."


def openssl(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, capture_output=True, check=True).stdout


def public_point(pem_path, private):
    der = openssl("pkey", *(["-pubout"] if private else ["-pubin"]), "-in", pem_path, "-outform", "DER")
    assert len(der) == 91 and der[26] == 4, "not an uncompressed P-256 key"
    return der[27:]


def end_record(data):
    """The offset of the end record whose comment reaches the end of the file."""
    at = len(data)
    while True:
        at = data.rfind(END_SIG, 0, at)
        if at < 0:
            raise SystemExit("no end record")
        (length,) = struct.unpack_from("<H", data, at + 20)
        if at + 22 + length == len(data):
            return at


def der_to_rs(der):
    # SEQUENCE { INTEGER r, INTEGER s }, short lengths only (P-256)
    assert der[0] == 0x30
    values, at = [], 2
    for _ in range(2):
        assert der[at] == 0x02
        n = der[at + 1]
        values.append(int.from_bytes(der[at + 2:at + 2 + n], "big"))
        at += 2 + n
    return values[0].to_bytes(32, "big") + values[1].to_bytes(32, "big")


def rs_to_der(rs):
    def integer(b):
        b = b.lstrip(b"\x00") or b"\x00"
        if b[0] & 0x80:
            b = b"\x00" + b
        return b"\x02" + bytes([len(b)]) + b
    body = integer(rs[:32]) + integer(rs[32:])
    return b"\x30" + bytes([len(body)]) + body


def key_id(point):
    return hashlib.sha256(b"\x04" + point).digest()[:8]


def sign(private_pem, data):
    at = end_record(data)
    signed = data[:at + 20] + struct.pack("<H", COMMENT_SIZE)
    digest = hashlib.sha256(signed).digest()
    rs = der_to_rs(openssl("pkeyutl", "-sign", "-inkey", private_pem, data=digest))
    comment = b"KLUSIG/1 " + key_id(public_point(private_pem, True)).hex().encode() + b" " + rs.hex().encode()
    assert len(comment) == COMMENT_SIZE
    return signed + comment


def verify(public_pem, data):
    at = end_record(data)
    comment = data[at + 22:]
    if len(comment) != COMMENT_SIZE or not comment.startswith(b"KLUSIG/1 "):
        return False
    if comment[9:25].decode() != key_id(public_point(public_pem, False)).hex():
        return False
    digest = hashlib.sha256(data[:at + 22]).digest()
    with tempfile.TemporaryDirectory() as work:
        sig, dig = os.path.join(work, "sig"), os.path.join(work, "digest")
        open(sig, "wb").write(rs_to_der(bytes.fromhex(comment[26:].decode())))
        open(dig, "wb").write(digest)
        done = subprocess.run(["openssl", "pkeyutl", "-verify", "-pubin", "-inkey", public_pem,
                               "-sigfile", sig, "-in", dig], capture_output=True)
        return done.returncode == 0


def changed(data, offset):
    out = bytearray(data)
    out[offset] ^= 0x01
    return bytes(out)


def variants(private_pem, other_pem, source, folder):
    data = open(source, "rb").read()
    good = sign(private_pem, data)
    at = end_record(good)
    (directory,) = struct.unpack_from("<I", good, at + 16)
    (name_length, extra_length) = struct.unpack_from("<HH", good, 26)
    first_data = 30 + name_length + extra_length
    assert good[:4] == b"PK\x03\x04" and good[directory:directory + 4] == b"PK\x01\x02"
    # A signature hex digit changed into another hex digit, so that the comment stays well formed.
    sig_digit = at + 22 + 26 + 10
    swapped = bytearray(good)
    swapped[sig_digit] = ord("1") if good[sig_digit] != ord("1") else ord("2")
    cases = [
        ("signed", good, "-"),
        ("unsigned", data, NOT_SIGNED),
        ("other-key", sign(other_pem, data), NOT_SIGNED),
        ("changed-local-header", changed(good, 10), CHANGED),           # the first entry's time
        ("changed-data", changed(good, first_data + 1), CHANGED),       # its second data byte
        ("changed-central-directory", changed(good, directory + 12), CHANGED),  # its time there
        ("changed-end-record", changed(good, at + 4), CHANGED),         # the disk number
        ("changed-signature", bytes(swapped), CHANGED),
        # r and s outside 1 .. n - 1: a bad signature, not a failure of the cryptography.
        ("zero-signature", good[:-128] + b"0" * 128, CHANGED),
        ("signature-beyond-the-order", good[:-128] + b"f" * 128, CHANGED),
        ("bytes-after-signature", good + b"\r\n", NOT_SIGNED),
        ("cut", good[:len(good) - 40], INCOMPLETE),
    ]
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "cases.tsv"), "w") as tsv:
        for name, content, text in cases:
            open(os.path.join(folder, name + ".zip"), "wb").write(content)
            tsv.write(f"{name}\t{text}\n")


def main(argv):
    if len(argv) == 3 and argv[0] == "keygen":
        openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", argv[1])
        openssl("pkey", "-in", argv[1], "-pubout", "-out", argv[2])
        return 0
    if len(argv) == 4 and argv[0] == "sign":
        open(argv[3], "wb").write(sign(argv[1], open(argv[2], "rb").read()))
        return 0
    if len(argv) == 3 and argv[0] == "verify":
        return 0 if verify(argv[1], open(argv[2], "rb").read()) else 1
    if len(argv) == 5 and argv[0] == "variants":
        variants(*argv[1:])
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
