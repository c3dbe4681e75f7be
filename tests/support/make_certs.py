#!/usr/bin/env python3
"""Makes the certificates of the HTTPS tests with the openssl command line tool.

    python3 make_certs.py <output dir> [--openssl <path>]

Writes into <output dir>:
  ca.pem, ca.der         the test CA (its DER form is what trust_ca.exe adds
                         to the build's Wine prefix)
  localhost.pem          DNS:localhost, signed by the test CA, valid now
  other-name.pem         DNS:other.invalid, signed by the test CA
  marketplace.pem        DNS:detail.1688.com and DNS:cbu01.alicdn.com, signed by
                         the test CA (the local marketplace of tests/e2e)
  expired.pem            DNS:localhost, signed by the test CA, expired years ago
  unknown-ca.pem         DNS:localhost, signed by a second CA nobody trusts
  server.key             the one private key of all the server certificates

The files are made in a scratch folder and moved in at the end, ca.der last,
so a half-finished run never leaves a usable but inconsistent set behind.
"""
import argparse
import datetime
import os
import shutil
import subprocess
import sys
import tempfile

FILES = ("ca.pem", "localhost.pem", "other-name.pem", "marketplace.pem", "expired.pem",
         "unknown-ca.pem", "server.key", "ca.der")

CA_CONFIG = """\
[ca]
default_ca = test_ca

[test_ca]
dir = {dir}
database = $dir/index.txt
new_certs_dir = $dir/issued
serial = $dir/serial
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
email_in_dn = no

[anything]
commonName = supplied
organizationName = optional

[req]
distinguished_name = req_dn
prompt = no

[req_dn]
CN = unused

[ca_ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash

[localhost_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid

[other_name_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:other.invalid
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid

[marketplace_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:detail.1688.com, DNS:cbu01.alicdn.com
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""


def make_ca(run, work, name, subject):
    """A self-signed CA, valid from 1999 so the expired certificate nests."""
    ca_dir = os.path.join(work, name)
    os.makedirs(os.path.join(ca_dir, "issued"))
    open(os.path.join(ca_dir, "index.txt"), "w").close()
    with open(os.path.join(ca_dir, "serial"), "w") as f:
        f.write(os.urandom(8).hex() + "\n")
    config = os.path.join(ca_dir, "ca.cnf")
    with open(config, "w") as f:
        f.write(CA_CONFIG.format(dir=ca_dir))
    key = os.path.join(ca_dir, "ca.key")
    csr = os.path.join(ca_dir, "ca.csr")
    run("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", key)
    run("req", "-new", "-config", config, "-key", key, "-subj", subject, "-out", csr)
    cert = os.path.join(ca_dir, "ca.pem")
    run("ca", "-batch", "-config", config, "-selfsign", "-keyfile", key, "-in", csr,
        "-extensions", "ca_ext", "-startdate", "19990101000000Z",
        "-enddate", "20491231235959Z", "-notext", "-out", cert)
    return config, key, cert


def sign(run, ca, csr, out, ext, start, end):
    config, key, cert = ca
    run("ca", "-batch", "-config", config, "-keyfile", key, "-cert", cert, "-in", csr,
        "-extensions", ext, "-startdate", start, "-enddate", end, "-notext", "-out", out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--openssl", default="openssl")
    args = parser.parse_args()

    def run(*cmd):
        result = subprocess.run([args.openssl, *cmd], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if result.returncode != 0:
            sys.stderr.write("openssl %s failed:\n%s\n" % (" ".join(cmd),
                             result.stdout.decode(errors="replace")))
            raise SystemExit(1)

    os.makedirs(args.out, exist_ok=True)
    work = tempfile.mkdtemp(prefix=".certs-", dir=args.out)
    try:
        ca = make_ca(run, work, "ca", "/O=Orvalin tests/CN=Orvalin Test CA")
        untrusted = make_ca(run, work, "untrusted", "/O=Orvalin tests/CN=Orvalin Untrusted CA")

        key = os.path.join(work, "server.key")
        csr = os.path.join(work, "server.csr")
        run("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", key)
        run("req", "-new", "-config", ca[0], "-key", key, "-subj", "/CN=localhost", "-out", csr)

        # Valid from yesterday, so clocks a little apart do not matter.
        yesterday = datetime.datetime.now(datetime.timezone.utc) - datetime.timedelta(days=1)
        start = yesterday.strftime("%Y%m%d%H%M%SZ")
        end = "20491231235959Z"
        sign(run, ca, csr, os.path.join(work, "localhost.pem"), "localhost_ext", start, end)
        # No trace of "localhost" in it, not even in the subject.
        other_csr = os.path.join(work, "other-name.csr")
        run("req", "-new", "-config", ca[0], "-key", key, "-subj", "/CN=other.invalid",
            "-out", other_csr)
        sign(run, ca, other_csr, os.path.join(work, "other-name.pem"), "other_name_ext",
             start, end)
        sign(run, ca, csr, os.path.join(work, "marketplace.pem"), "marketplace_ext", start, end)
        sign(run, ca, csr, os.path.join(work, "expired.pem"), "localhost_ext",
             "20010101000000Z", "20020101000000Z")
        sign(run, untrusted, csr, os.path.join(work, "unknown-ca.pem"), "localhost_ext", start, end)

        shutil.copy(ca[2], os.path.join(work, "ca.pem"))
        run("x509", "-in", ca[2], "-outform", "DER", "-out", os.path.join(work, "ca.der"))
        for name in FILES:
            os.replace(os.path.join(work, name), os.path.join(args.out, name))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
