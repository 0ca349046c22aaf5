#!/usr/bin/env python3
"""Signs a copy of the exe with tools/sign and a throwaway self-signed
certificate, and checks that osslsigncode accepts the signature, that a changed
byte or a foreign root breaks it, and that a failed signing leaves the file alone.
With a test token (cmake/QuarnetTestToken.cmake), also signs with its code-key,
which exists only inside the token.

Usage: check_signing.py <tools/sign> <exe> <scratch folder> [<token folder> <pkcs11 module>]"""

import hashlib
import os
import shutil
import subprocess
import sys

import pe

failures = []


def check(condition, what, detail=""):
    print(("ok      " if condition else "FAILED  ") + what)
    if not condition:
        failures.append(what)
        if detail:
            print("        " + detail.strip().replace("\n", "\n        "))


def run(*command, env=None):
    return subprocess.run(command, capture_output=True, text=True, env=env, stdin=subprocess.DEVNULL)


def digest(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def make_certificate(folder, name):
    key, cert = os.path.join(folder, name + "-key.pem"), os.path.join(folder, name + "-cert.pem")
    result = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                 "-subj", "/CN=Quarnet throwaway signer " + name, "-keyout", key, "-out", cert,
                 "-addext", "keyUsage=critical,digitalSignature", "-addext", "extendedKeyUsage=codeSigning")
    if result.returncode != 0:
        raise SystemExit("openssl req failed:\n" + result.stderr)
    return cert, key


def verify(path, ca):
    return run("osslsigncode", "verify", "-in", path, "-CAfile", ca)


def check_token(sign, exe, folder, token, module):
    """The certificate is made through OpenSSL's pkcs11 engine; the PIN only ever comes from a file."""
    key, pin = "pkcs11:token=quarnet-test;object=code-key;type=private", os.path.join(token, "pin")
    env = dict(os.environ, SOFTHSM2_CONF=os.path.join(token, "softhsm2.conf"), PKCS11_MODULE_PATH=module)
    cert = os.path.join(folder, "token-cert.pem")
    result = run("openssl", "req", "-new", "-x509", "-days", "2", "-subj", "/CN=Quarnet throwaway token signer",
                 "-engine", "pkcs11", "-keyform", "engine", "-key", key, "-passin", "file:" + pin, "-out", cert,
                 "-addext", "keyUsage=critical,digitalSignature", "-addext", "extendedKeyUsage=codeSigning", env=env)
    check(result.returncode == 0, "a certificate for the token's key", result.stderr)
    signed = os.path.join(folder, "token-signed.exe")
    result = run(sign, "--cert", cert, "--key", key, "--pkcs11-module", module, "--pin-file", pin, "--ca", cert,
                 exe, "-o", signed, env=env)
    check(result.returncode == 0 and verify(signed, cert).returncode == 0,
          "tools/sign signs with a key that exists only in the token", result.stdout + result.stderr)
    wrong = os.path.join(folder, "wrong-pin")
    with open(wrong, "w") as file:
        file.write("0000\n")
    refused = os.path.join(folder, "token-refused.exe")
    result = run(sign, exe, "-o", refused, env=dict(env, QUARNET_SIGN_CERT=cert, QUARNET_SIGN_KEY=key,
                                                    QUARNET_SIGN_PKCS11_MODULE=module, QUARNET_SIGN_PIN_FILE=wrong))
    check(result.returncode == 1 and not os.path.exists(refused), "a wrong PIN signs nothing", result.stderr)
    result = run(sign, "--cert", cert, "--key", key + ";pin-value=0000", "--pkcs11-module", module, "--pin-file",
                 pin, exe, "-o", refused, env=env)
    check(result.returncode == 2 and "--pin-file" in result.stderr, "a PIN in the key's address is refused")


def main():
    if len(sys.argv) not in (4, 6):
        print(__doc__)
        return 2
    sign, exe, folder = sys.argv[1:4]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    cert, key = make_certificate(folder, "signer")
    other_cert, _ = make_certificate(folder, "stranger")
    original = digest(exe)

    signed = os.path.join(folder, "signed.exe")
    shutil.copyfile(exe, signed)
    result = run(sign, "--cert", cert, "--key", key, "--ca", cert, signed)
    check(result.returncode == 0, "tools/sign signs in place", result.stdout + result.stderr)
    result = verify(signed, cert)
    check(result.returncode == 0, "osslsigncode verifies the signature against its certificate", result.stdout)
    with open(signed, "rb") as file:
        image = pe.PeFile(file.read())
    security = image.directory(pe.IMAGE_DIRECTORY_ENTRY_SECURITY)
    check(security[0] != 0 and security[1] != 0, "the signed exe has a certificate table: %s" % (security,))
    check(digest(exe) == original, "the built exe is untouched")

    # The same key and certificate through the environment, into a separate output.
    environment = dict(os.environ, QUARNET_SIGN_CERT=cert, QUARNET_SIGN_KEY=key, QUARNET_SIGN_CA=cert)
    copy = os.path.join(folder, "signed-from-env.exe")
    result = run(sign, exe, "-o", copy, env=environment)
    check(result.returncode == 0 and verify(copy, cert).returncode == 0,
          "the environment names the certificate; -o writes a separate signed copy", result.stderr)

    tampered = os.path.join(folder, "tampered.exe")
    with open(signed, "rb") as file:
        data = bytearray(file.read())
    text = next(section for section in image.sections if section[0] == ".text")
    data[text[3] + text[4] // 2] ^= 0xFF
    with open(tampered, "wb") as file:
        file.write(data)
    check(verify(tampered, cert).returncode != 0, "one changed code byte breaks the signature")
    check(verify(signed, other_cert).returncode != 0, "a signature by an unknown root does not verify")
    check(verify(exe, cert).returncode != 0, "the unsigned exe does not verify")

    refused = os.path.join(folder, "refused.exe")
    shutil.copyfile(exe, refused)
    result = run(sign, "--cert", cert, "--key", key, "--ca", other_cert, refused)
    check(result.returncode == 1 and digest(refused) == original,
          "a signed copy that fails its check is not written over the exe", result.stdout + result.stderr)
    bare = {name: value for name, value in os.environ.items() if not name.startswith("QUARNET_SIGN_")}
    result = run(sign, refused, env=bare)
    check(result.returncode == 2 and "nothing to sign with" in result.stderr and digest(refused) == original,
          "without a certificate nothing is signed and the usage exit code is given", result.stderr)
    result = run(sign, "--cert", cert, refused, env=bare)
    check(result.returncode == 2 and digest(refused) == original, "a certificate without its key is refused")
    if len(sys.argv) == 6:
        check_token(sign, exe, folder, *sys.argv[4:])
    leftovers = [name for name in os.listdir(folder) if name.startswith(".sign.")]
    check(not leftovers, "no temporary files left behind: %s" % leftovers)

    print("%d checks failed" % len(failures) if failures else "all signing checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
