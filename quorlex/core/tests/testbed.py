#!/usr/bin/env python3
"""Test bed of the service library's tests.

Starts what a test needs on loopback, runs the test command, stops everything:

  testbed.py [--http] [--proxies] [--vectors] --work DIR -- COMMAND...

--http     a statistics/HTTP server (Python's http.server) that records every
           request with its raw target, headers and body, and decodes the
           statistics records with Python's base64; plus a port where nothing
           listens (a dead address).
--proxies  tinyproxy requiring Basic authentication and dante-server (SOCKS5),
           each with its own configuration on a free loopback port.
--vectors  random inputs with their CRC-32 (zlib), MD5 (hashlib), Base64
           (base64), signed parameter lists and command-line maps.
--update-tree  (with --http) the updater's test trees (quorlex/update/tests/
           updtree.py) served under /upd/<scenario>/...; paths holding
           "/slow/" are answered after a second. QX_UPDATE_TREE names the tree.
--push     (with --http) the message server under /push/<answer>/...: the
           request's c parameter is decoded and its signature checked (fields
           push and sigok), and the answer is the XML document of that name.
--https    (with --http) the same server over TLS (Python's ssl), three times:
           with a certificate for localhost signed by a test CA made here with
           openssl (QX_HTTPS), with one for another name signed by that CA
           (QX_HTTPS_WRONGHOST), and with a self-signed one for localhost
           (QX_HTTPS_SELFSIGNED); the CA's DER file is QX_TEST_CA. The test
           decides whether it trusts the CA.

The test sees the bed through environment variables (Windows paths for files):
QX_HTTP, QX_DEAD (host:port), QX_LOG (request log), QX_HTTPPROXY, QX_PROXY_USER,
QX_PROXY_PASS, QX_HTTPPROXY_LOG, QX_SOCKS (ports), QX_SOCKS_LOG, QX_VECTORS, and
the --https variables above (ports).

Paths: /missing... answers 404, /hang... never answers, /trickle... announces a
megabyte and sends 64 bytes a second.

Request log: one line per request, tab-separated key=hex(value) fields:
seq, method, target, body, status, h:<lower-case header name>, and decoded
parts: sec1, sec2, sec3 for an action record ("01___a___b___c"), node for a
node record (the whole query in Base64).
"""
import argparse
import base64
import binascii
import hashlib
import http.server
import os
import random
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse
import zlib
from xml.etree import ElementTree

STOP = threading.Event()
HERE = os.path.dirname(os.path.abspath(__file__))


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def wait_port(port, proc, what, seconds=20):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if proc is not None and proc.poll() is not None:
            return False
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.05)
    return False


# ---- HTTP server -------------------------------------------------------------

def decode_b64(text):
    try:
        return base64.b64decode(text.encode("ascii"), validate=True)
    except (binascii.Error, ValueError, UnicodeEncodeError):
        return None


class Recorder:
    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        self.seq = 0
        open(path, "wb").close()

    def record(self, fields):
        with self.lock:
            self.seq += 1
            fields = [("seq", str(self.seq).encode())] + fields
            line = "\t".join("%s=%s" % (k, v.hex()) for k, v in fields) + "\n"
            with open(self.path, "a") as f:
                f.write(line)
                f.flush()
            return self.seq


PUSH_SALT = "PalindrelMoskoWarpLedgerqafTiyuRmB"


def push_answers():
    """XML answers of the message server, by name."""
    def result(*children):
        root = ElementTree.Element("InfoResult")
        for c in children:
            root.append(c)
        return b'<?xml version="1.0" encoding="utf-8"?>' + ElementTree.tostring(root, "utf-8")

    def el(tag, text=None, **attrs):
        e = ElementTree.Element(tag, {k: str(v) for k, v in attrs.items()})
        e.text = text
        return e

    import json
    msgs = el("InfoSet", total=5, rdp="rdp-7", security=2, interval=3600)
    msgs.append(el("DelayInfo", id="d-41"))
    msgs.append(el("Info", json.dumps({"info_id": "m-100", "priority": 3,
                                       "feed": "订阅 <one> & \"two\""}, ensure_ascii=False)))
    msgs.append(el("Info", "{not json"))
    msgs.append(el("Info", json.dumps({"info_id": 101, "priority": 1, "feed": "x"})))
    deep = b"<InfoResult>" + b"<a>" * 5000 + b"</a>" * 5000 + b"</InfoResult>"
    return {
        "msgs": result(el("InfoError", code=7), msgs),
        "empty": result(el("InfoSet", total=0, interval=120)),
        "deep": deep,
        "notxml": b"ok",
        "text": "推送文本 text".encode("utf-8"),
        "report": b"ok",
    }


def check_push_query(query):
    """The decoded signed text of ?c=<base64> and whether its signature holds."""
    if not query.startswith("c="):
        return None, False
    raw = decode_b64(query[2:])
    if raw is None:
        return None, False
    text = raw.decode("latin-1")
    cut = text.rfind("&c=")
    if cut < 0:
        return raw, False
    p, sig = text[:cut], text[cut + 3:]
    want = "%08X" % zlib.crc32((p + "&c=" + PUSH_SALT).encode("latin-1"))
    return raw, sig == want


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    recorder = None
    update_root = None
    answers = None

    def send_payload(self, status, payload, content_type="application/octet-stream"):
        try:
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(payload)))
            self.end_headers()
            self.wfile.write(payload)
        except OSError:
            self.close_connection = True  # the client gave up

    def serve_update(self, path, fields):
        rel = urllib.parse.unquote(path[len("/upd/"):])
        base = os.path.join(self.update_root, "server")
        full = os.path.normpath(os.path.join(base, rel))
        payload = None
        if full.startswith(base + os.sep) and os.path.isfile(full):
            with open(full, "rb") as f:
                payload = f.read()
        status = 200 if payload is not None else 404
        fields.append(("status", str(status).encode()))
        self.recorder.record(fields)
        if "/slow/" in path:
            STOP.wait(1.0)
        self.send_payload(status, payload if payload is not None else b"not here")

    def serve_push(self, path, query, fields):
        raw, ok = check_push_query(query)
        if raw is not None:
            fields.append(("push", raw))
        fields.append(("sigok", b"1" if ok else b"0"))
        name = path[len("/push/"):].split("/")[0]
        payload = self.answers.get(name)
        status = 200 if payload is not None else 404
        fields.append(("status", str(status).encode()))
        self.recorder.record(fields)
        self.send_payload(status, payload if payload is not None else b"", "text/xml")

    def log_message(self, *args):
        pass

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        target = self.path  # the request target exactly as sent
        path, _, query = target.partition("?")
        fields = [("method", self.command.encode()), ("target", target.encode("latin-1")),
                  ("body", body)]
        for name, value in self.headers.items():
            fields.append(("h:" + name.lower(), value.encode("latin-1")))
        if self.update_root and path.startswith("/upd/"):
            return self.serve_update(path, fields)
        if self.answers is not None and path.startswith("/push/"):
            return self.serve_push(path, query, fields)
        decoded = b""
        record = query or body.decode("latin-1")
        if record.startswith("01___"):
            parts = record.split("___")
            if len(parts) == 4:
                for i, part in enumerate(parts[1:], 1):
                    raw = decode_b64(part)
                    if raw is not None:
                        fields.append(("sec%d" % i, raw))
                        decoded += raw
        elif record:
            raw = decode_b64(record)
            if raw is not None:
                fields.append(("node", raw))
                decoded += raw

        # Behaviour by path, or by a marker inside the decoded record.
        status = 200
        if path.startswith("/missing") or b"fail=404" in decoded:
            status = 404
        if path.startswith("/trickle"):
            return self.trickle(fields)
        if path.startswith("/huge"):
            return self.huge(fields)
        hang = path.startswith("/hang")
        fields.append(("status", str(0 if hang else status).encode()))
        seq = self.recorder.record(fields)
        if hang:
            STOP.wait(60)
            self.close_connection = True
            return
        payload = (b"ok %d" % seq) if status == 200 else b"not here"
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        self.wfile.write(payload)

    def trickle(self, fields):
        fields.append(("status", b"200"))
        self.recorder.record(fields)
        try:
            self.send_response(200)
            self.send_header("Content-Length", str(1 << 20))
            self.end_headers()
            while not STOP.wait(1.0):
                self.wfile.write(b"t" * 64)
                self.wfile.flush()
        except OSError:
            pass  # the client gave up
        self.close_connection = True

    def huge(self, fields):
        """An answer far larger than any statistics answer: 32 MiB."""
        fields.append(("status", b"200"))
        self.recorder.record(fields)
        block = b"h" * (1 << 20)
        try:
            self.send_response(200)
            self.send_header("Content-Length", str(32 * len(block)))
            self.end_headers()
            for _ in range(32):
                self.wfile.write(block)
        except OSError:
            pass
        self.close_connection = True

    do_GET = handle_any
    do_POST = handle_any


def start_http(work):
    Handler.recorder = Recorder(os.path.join(work, "requests.log"))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    # A bound socket that never listens: connections to it are refused.
    dead = socket.socket()
    dead.bind(("127.0.0.1", 0))
    env = {
        "QX_HTTP": "127.0.0.1:%d" % server.server_address[1],
        "QX_DEAD": "127.0.0.1:%d" % dead.getsockname()[1],
        "QX_LOG": winpath(Handler.recorder.path),
    }
    return server, dead, env


class CrlHandler(http.server.BaseHTTPRequestHandler):
    """Serves the test CA's revocation list (the revoked server's is on it)."""
    crl = b""

    def do_GET(self):
        self.send_response(200 if self.path == "/ca.crl" else 404)
        body = self.crl if self.path == "/ca.crl" else b""
        self.send_header("Content-Type", "application/pkix-crl")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def make_crl(d, revoked_pem):
    """The CA's revocation list naming the certificate in revoked_pem (made
    with Python's cryptography package)."""
    import datetime
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    with open(os.path.join(d, "ca.pem"), "rb") as f:
        ca = x509.load_pem_x509_certificate(f.read())
    with open(os.path.join(d, "ca.key"), "rb") as f:
        key = serialization.load_pem_private_key(f.read(), None)
    with open(revoked_pem, "rb") as f:
        serial = x509.load_pem_x509_certificate(f.read()).serial_number
    now = datetime.datetime.now(datetime.timezone.utc) - datetime.timedelta(hours=1)
    entry = x509.RevokedCertificateBuilder().serial_number(serial).revocation_date(now).build()
    crl = (x509.CertificateRevocationListBuilder().issuer_name(ca.subject)
           .last_update(now).next_update(now + datetime.timedelta(days=3))
           .add_revoked_certificate(entry).sign(key, hashes.SHA256()))
    return crl.public_bytes(serialization.Encoding.DER)


def make_certificates(work, crl_url):
    """A test CA and four server certificates (RSA, made with openssl); the
    one named "revoked" points at crl_url, where the CA's list names it."""
    d = os.path.join(work, "tls")
    os.makedirs(d)

    def run(*args):
        subprocess.run(["openssl"] + list(args), cwd=d, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
        "-days", "3", "-subj", "/CN=salvora test CA",
        "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("x509", "-in", "ca.pem", "-outform", "der", "-out", "ca.der")
    for name, host in (("good", "localhost"), ("wronghost", "other.invalid"),
                       ("revoked", "localhost")):
        run("req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".csr",
            "-subj", "/CN=" + host)
        with open(os.path.join(d, name + ".ext"), "w") as f:
            f.write("subjectAltName=DNS:%s\nbasicConstraints=CA:FALSE\n"
                    "extendedKeyUsage=serverAuth\n" % host)
            if name == "revoked":
                f.write("crlDistributionPoints=URI:%s\n" % crl_url)
        run("x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-out", name + ".pem", "-days", "3", "-extfile", name + ".ext")
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "selfsigned.key",
        "-out", "selfsigned.pem", "-days", "3", "-subj", "/CN=localhost",
        "-addext", "subjectAltName=DNS:localhost")
    return d


def start_https(work):
    crl_server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), CrlHandler)
    crl_server.daemon_threads = True
    d = make_certificates(work, "http://127.0.0.1:%d/ca.crl" % crl_server.server_address[1])
    CrlHandler.crl = make_crl(d, os.path.join(d, "revoked.pem"))
    threading.Thread(target=crl_server.serve_forever, daemon=True).start()
    servers, env = [crl_server], {"QX_TEST_CA": winpath(os.path.join(d, "ca.der"))}
    # "oldtls" is the good certificate on a server that speaks TLS 1.1 at most.
    for name, var in (("good", "QX_HTTPS"), ("wronghost", "QX_HTTPS_WRONGHOST"),
                      ("selfsigned", "QX_HTTPS_SELFSIGNED"), ("revoked", "QX_HTTPS_REVOKED"),
                      ("oldtls", "QX_HTTPS_OLDTLS")):
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        server.daemon_threads = True
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        cert = "good" if name == "oldtls" else name
        if name == "oldtls":
            ctx.set_ciphers("DEFAULT:@SECLEVEL=0")
            ctx.minimum_version = ssl.TLSVersion.TLSv1
            ctx.maximum_version = ssl.TLSVersion.TLSv1_1
        ctx.load_cert_chain(os.path.join(d, cert + ".pem"), os.path.join(d, cert + ".key"))
        server.socket = ctx.wrap_socket(server.socket, server_side=True)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        servers.append(server)
        env[var] = str(server.server_address[1])
    return servers, env


# ---- proxies -----------------------------------------------------------------

def find_program(name, extra):
    for d in [""] + extra:
        p = shutil.which(name) if not d else os.path.join(d, name)
        if p and os.access(p, os.X_OK):
            return p
    return None


def start_tinyproxy(work, procs):
    exe = find_program("tinyproxy", ["/usr/bin", "/usr/sbin"])
    if not exe:
        sys.exit("testbed: tinyproxy is not installed (scripts/setup.sh installs it)")
    user, password = "qxuser", "Secret-7"
    for attempt in range(5):
        port = free_port()
        conf = os.path.join(work, "tinyproxy.conf")
        with open(conf, "w") as f:
            f.write("Port %d\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                    "Allow 127.0.0.1\nBasicAuth %s %s\nLogLevel Info\n"
                    "LogFile \"%s\"\nPidFile \"%s\"\n"
                    % (port, user, password, os.path.join(work, "tinyproxy.log"),
                       os.path.join(work, "tinyproxy.pid")))
        proc = subprocess.Popen([exe, "-d", "-c", conf], stdout=subprocess.DEVNULL,
                                stderr=open(os.path.join(work, "tinyproxy.err"), "w"),
                                start_new_session=True)
        procs.append(proc)
        if wait_port(port, proc, "tinyproxy"):
            return {"QX_HTTPPROXY": str(port), "QX_PROXY_USER": user, "QX_PROXY_PASS": password,
                    "QX_HTTPPROXY_LOG": winpath(os.path.join(work, "tinyproxy.log"))}
    sys.exit("testbed: tinyproxy did not start; see %s" % os.path.join(work, "tinyproxy.err"))


def start_dante(work, procs):
    exe = find_program("danted", ["/usr/sbin"])
    if not exe:
        sys.exit("testbed: danted is not installed (scripts/setup.sh installs dante-server)")
    log = os.path.join(work, "danted.log")
    for attempt in range(5):
        port = free_port()
        conf = os.path.join(work, "danted.conf")
        with open(conf, "w") as f:
            f.write("logoutput: %s\n" % log)
            f.write("internal: 127.0.0.1 port = %d\nexternal: 127.0.0.1\n" % port)
            f.write("socksmethod: none\nclientmethod: none\n")
            if os.geteuid() == 0:
                f.write("user.privileged: root\nuser.unprivileged: nobody\n")
            f.write("client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n  log: connect error\n}\n")
            f.write("socks pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n  log: connect error\n}\n")
        proc = subprocess.Popen([exe, "-f", conf, "-p", os.path.join(work, "danted.pid")],
                                stdout=subprocess.DEVNULL,
                                stderr=open(os.path.join(work, "danted.err"), "w"),
                                start_new_session=True)
        procs.append(proc)
        if wait_port(port, proc, "danted"):
            return {"QX_SOCKS": str(port), "QX_SOCKS_LOG": winpath(log)}
    sys.exit("testbed: danted did not start; see %s" % os.path.join(work, "danted.err"))


def stop_procs(procs):
    for proc in procs:
        if proc.poll() is None:
            try:
                os.killpg(proc.pid, signal.SIGTERM)  # the group this bed started
            except OSError:
                pass
    for proc in procs:
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except OSError:
                pass
            proc.wait()


# ---- vectors -----------------------------------------------------------------

def h33(data):
    h = 0
    for c in data:
        h = (h * 33 + c) & 0xFFFFFFFF
    return h


def fold(name):
    return bytes(c - 32 if 0x61 <= c <= 0x7A else c for c in name)


def bucket_order(pairs, key):
    """17 chains, new entries in front, a repeated key replaces the value."""
    buckets = [[] for _ in range(17)]
    for name, value in pairs:
        chain = buckets[h33(key(name)) % 17]
        for entry in chain:
            if key(entry[0]) == key(name):
                entry[1] = value
                break
        else:
            chain.insert(0, [name, value])
    return [(n, v) for chain in buckets for n, v in chain]


def rand_text(rng, alphabet, lo, hi):
    return "".join(rng.choice(alphabet) for _ in range(rng.randint(lo, hi)))


def write_vectors(work):
    seed = int(os.environ.get("QX_SEED", random.randrange(1 << 30)))
    rng = random.Random(seed)
    path = os.path.join(work, "vectors.txt")
    lines = ["seed\t%d" % seed]
    sizes = [0, 1, 2, 3, 55, 56, 63, 64, 65, 119, 120, 128] + [rng.randint(0, 300) for _ in range(60)]
    sizes += [rng.randint(1000, 200000) for _ in range(4)]
    for n in sizes:
        data = bytes(rng.getrandbits(8) for _ in range(n))
        lines.append("hash\t%s\t%08X\t%s\t%s" % (data.hex(), zlib.crc32(data),
                                                 hashlib.md5(data).hexdigest(),
                                                 base64.b64encode(data).decode()))
    names = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_"
    values = names + "+/.:-"
    for _ in range(40):
        count = rng.randint(0, 38)
        pairs = []
        for _ in range(count):
            # Some names repeat, to exercise replacement.
            name = rng.choice(pairs)[0] if pairs and rng.random() < 0.2 else rand_text(rng, names, 1, 12)
            pairs.append((name, rand_text(rng, values, 0, 16)))
        salt = rand_text(rng, names, 0, 40)
        enc = lambda ps: "&".join("%s=%s" % p for p in ps)
        keyed_pairs = bucket_order([(n.encode(), v.encode()) for n, v in pairs], lambda k: k)
        keyed = enc((n.decode(), v.decode()) for n, v in keyed_pairs)
        ordered = enc(pairs)
        sign = lambda p: p + "&c=" + "%08X" % zlib.crc32((p + "&c=" + salt).encode())
        flat = ";".join("%s=%s" % p for p in pairs)
        lines.append("params\t%s\t%s\t%s\t%s" % (flat.encode().hex(), salt.encode().hex(),
                                                 sign(keyed).encode().hex(),
                                                 sign(ordered).encode().hex()))
        # The command-line map: names compare without regard to ASCII case.
        cmd = bucket_order([(n.encode(), v.encode()) for n, v in pairs], fold)
        built = "".join(" -%s:%s" % (n.decode(), v.decode()) if v else " -%s" % n.decode()
                        for n, v in cmd)
        lines.append("cmdmap\t%s\t%s" % (flat.encode().hex(), built.encode().hex()))
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    print("testbed: vectors seed %d (set QX_SEED to repeat)" % seed, flush=True)
    return {"QX_VECTORS": winpath(path)}


# ---- locale --------------------------------------------------------------------

def wine_filename_locale(env):
    """Wine names host files in the C library's character set, which it takes
    from LC_ALL (zh_CN.UTF-8 on the test bed). When the C library has no such
    locale, Wine cannot create a file with a Chinese name at all: compile the
    locale once into a folder of our own and point LOCPATH at it."""
    if env.get("LOCPATH"):
        return
    names = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    if any(n.lower().replace("-", "") in ("zh_cn.utf8",) for n in names):
        return
    base = os.path.join(os.path.expanduser("~"), ".cache", "salvora-locale")
    target = os.path.join(base, "zh_CN.UTF-8")
    if not os.path.isfile(os.path.join(target, "LC_CTYPE")):
        os.makedirs(base, exist_ok=True)
        temp = "%s.%d" % (target, os.getpid())
        rc = subprocess.call(["localedef", "-i", "zh_CN", "-f", "UTF-8", temp],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not os.path.isfile(os.path.join(temp, "LC_CTYPE")):
            print("testbed: localedef failed (%d); Chinese file names will not work" % rc,
                  flush=True)
            shutil.rmtree(temp, ignore_errors=True)
            return
        try:
            os.rename(temp, target)
        except OSError:  # another bed made it meanwhile
            shutil.rmtree(temp, ignore_errors=True)
    env["LOCPATH"] = base


# ---- main --------------------------------------------------------------------

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--http", action="store_true")
    ap.add_argument("--proxies", action="store_true")
    ap.add_argument("--vectors", action="store_true")
    ap.add_argument("--update-tree", action="store_true")
    ap.add_argument("--push", action="store_true")
    ap.add_argument("--https", action="store_true")
    ap.add_argument("--work", required=True)
    ap.add_argument("command", nargs=argparse.REMAINDER)
    args = ap.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        ap.error("no test command")

    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    # The library must meet only the proxies a test configures.
    env = {k: v for k, v in os.environ.items()
           if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}
    wine_filename_locale(env)
    procs = []
    server = dead = None
    tls_servers = []
    try:
        if args.update_tree:
            tree = os.path.join(args.work, "updtree")
            sys.path.insert(0, os.path.join(HERE, "..", "..", "update", "tests"))
            import updtree
            updtree.build(tree)
            Handler.update_root = os.path.abspath(tree)
            env["QX_UPDATE_TREE"] = winpath(tree)
        if args.push:
            Handler.answers = push_answers()
        if args.http:
            server, dead, extra = start_http(args.work)
            env.update(extra)
        if args.https:
            tls_servers, extra = start_https(args.work)
            env.update(extra)
        if args.proxies:
            env.update(start_tinyproxy(args.work, procs))
            env.update(start_dante(args.work, procs))
        if args.vectors:
            env.update(write_vectors(args.work))
        rc = subprocess.call(command, env=env)
    finally:
        STOP.set()
        stop_procs(procs)
        for s in ([server] if server else []) + tls_servers:
            s.shutdown()
            s.server_close()
        if dead:
            dead.close()
    return rc


if __name__ == "__main__":
    sys.exit(main())
