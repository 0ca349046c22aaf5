#!/usr/bin/env python3
"""Throwaway certificates and signed copies of the sample installer, for the
runs of the exe that requires a publisher.

    signed_samples.py --installer SAMPLE --folder DIR --publisher CN [--prefix WINEPREFIX]

Makes in DIR a test root (ca.pem) and, signed through tools/sign with code
signing certificates that this root issued:
  right.exe    signed by a certificate whose CN is the publisher;
  other.exe    signed by one with another CN;
  changed.exe  right.exe with one signed byte changed afterwards (the last byte
               of the headers' padding, so the program still runs if nothing
               notices);
  unsigned.exe the sample as built.
With --prefix the root is trusted in that Wine prefix's current-user Root store.
Keys stay in DIR; nothing here is ever a real signing key.
"""

import argparse
import hashlib
import os
import shutil
import struct
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SIGN = os.path.join(ROOT, "tools", "sign")
WINE_RUN = os.path.join(ROOT, "tools", "wine-run")
OTHER_PUBLISHER = "Quarnet Other Publisher"
CERT_CERT_PROP_ID = 32  # the encoded certificate inside a serialized store element


def run(*command, text=True, **options):
    result = subprocess.run(command, capture_output=True, text=text, **options)
    if result.returncode != 0:
        raise SystemExit("%s failed:\n%s%s" % (command[0], result.stdout, result.stderr))
    return result


def make_root(folder):
    key, cert = os.path.join(folder, "ca-key.pem"), os.path.join(folder, "ca.pem")
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
        "-subj", "/CN=Quarnet throwaway test root", "-keyout", key, "-out", cert,
        "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    return cert, key


def make_signer(folder, name, common_name, root):
    """A code signing certificate from the root: (chain file, key file)."""
    key, request, cert = (os.path.join(folder, name + suffix) for suffix in ("-key.pem", ".csr", ".pem"))
    extensions = os.path.join(folder, name + ".ext")
    with open(extensions, "w") as file:
        file.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + common_name,
        "-keyout", key, "-out", request)
    run("openssl", "x509", "-req", "-in", request, "-CA", root[0], "-CAkey", root[1], "-set_serial",
        str(int.from_bytes(os.urandom(8), "big")), "-days", "2", "-extfile", extensions, "-out", cert)
    chain = os.path.join(folder, name + "-chain.pem")
    with open(chain, "w") as out:
        for part in (cert, root[0]):
            with open(part) as file:
                out.write(file.read())
    return chain, key


def sign(installer, signer, root, target):
    run(SIGN, "--cert", signer[0], "--key", signer[1], "--ca", root[0], installer, "-o", target)


def change_signed_byte(signed, target):
    with open(signed, "rb") as file:
        data = bytearray(file.read())
    (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
    (headers_size,) = struct.unpack_from("<I", data, pe_offset + 24 + 60)  # SizeOfHeaders
    if data[headers_size - 1] != 0:
        raise SystemExit("the headers of %s end in no padding" % signed)
    data[headers_size - 1] = 0x5A
    with open(target, "wb") as file:
        file.write(data)


def trust_root(prefix, root_pem):
    """Adds the root to HKCU\\...\\SystemCertificates\\Root as crypt32 keeps it: a key
    named by the SHA-1 of the certificate, holding a serialized store element."""
    der = run("openssl", "x509", "-in", root_pem, "-outform", "DER", text=False).stdout
    element = struct.pack("<III", CERT_CERT_PROP_ID, 1, len(der)) + der
    key = "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" + hashlib.sha1(der).hexdigest().upper()
    run(WINE_RUN, "reg", "add", key, "/v", "Blob", "/t", "REG_BINARY", "/d", element.hex().upper(), "/f",
        env=dict(os.environ, QUARNET_WINEPREFIX=prefix))


def make_samples(installer, folder, publisher, prefix=None):
    """The paths of the four installers, by name."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    root = make_root(folder)
    right = make_signer(folder, "publisher", publisher, root)
    other = make_signer(folder, "other", OTHER_PUBLISHER, root)
    samples = {name: os.path.join(folder, name + ".exe") for name in ("right", "other", "changed", "unsigned")}
    shutil.copyfile(installer, samples["unsigned"])
    sign(installer, right, root, samples["right"])
    sign(installer, other, root, samples["other"])
    change_signed_byte(samples["right"], samples["changed"])
    if prefix:
        trust_root(prefix, root[0])
    return samples


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", required=True)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--publisher", required=True)
    parser.add_argument("--prefix")
    args = parser.parse_args()
    for name, path in make_samples(args.installer, args.folder, args.publisher, args.prefix).items():
        print(name, path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
