#!/usr/bin/env python3
"""Update trees for the updater's tests, made with Python's zlib and hashlib.

build(out) writes, per scenario:
  server/<scenario>/tessel/2011/qvalue/<channel>/...   what the update server serves:
      index<channel>.dat at the top, <level>/index.dat below (zlib streams of
      the index texts), and every file as a zlib stream named by the MD5 of its
      unpacked content;
  local/<scenario>/...      files the program's folder holds before the run;
  expect/<scenario>.tsv     lines "kind<TAB>path<TAB>md5" (UTF-8, '\\' in paths):
      new     the file must hold this content after the run
      same    the file must still hold this content (not replaced)
      absent  the file must not exist after the run
      noreq   no request may name this server file
      pending <pending-copy file key: DES of fileN><TAB>FROM
The test points the library's update server at https://localhost:port/upd/<scenario>.

Index texts come in UTF-8 (with and without a byte-order mark), UTF-16 LE
and code page 936.
"""
import hashlib
import os
import zlib

CHANNEL = "tarn_datarepair2"


def content(name, size):
    """Deterministic bytes for a file name."""
    out = bytearray()
    block = hashlib.sha256(name.encode("utf-8")).digest()
    while len(out) < size:
        block = hashlib.sha256(block).digest()
        out += block
    return bytes(out[:size])


def md5(data):
    return hashlib.md5(data).hexdigest()


def crc(data):
    return zlib.crc32(data) & 0xFFFFFFFF


class Scenario:
    def __init__(self, out, name):
        self.name = name
        self.server = os.path.join(out, "server", name, "tessel", "2011", "qvalue", CHANNEL)
        self.local = os.path.join(out, "local", name)
        self.expect_path = os.path.join(out, "expect", name + ".tsv")
        self.lines = []
        os.makedirs(self.server, exist_ok=True)
        os.makedirs(self.local, exist_ok=True)
        os.makedirs(os.path.dirname(self.expect_path), exist_ok=True)

    def serve(self, remote_folder, data, packed=None):
        """Serves data under remote_folder, named by its MD5; returns the name."""
        name = md5(data)
        folder = os.path.join(self.server, *[p for p in remote_folder.split("/") if p])
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(zlib.compress(data) if packed is None else packed)
        return name

    def index(self, level, text_bytes):
        """Serves an index text (already encoded) for a level ('' = top)."""
        folder = os.path.join(self.server, *[p for p in level.split("/") if p])
        os.makedirs(folder, exist_ok=True)
        name = "index%s.dat" % CHANNEL if level == "" else "index.dat"
        with open(os.path.join(folder, name), "wb") as f:
            f.write(zlib.compress(text_bytes))
        return md5(text_bytes)

    def seed(self, path, data):
        full = os.path.join(self.local, *path.split("\\"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)

    def expect(self, kind, path, value=""):
        self.lines.append("%s\t%s\t%s" % (kind, path, value))

    def finish(self):
        with open(self.expect_path, "w", encoding="utf-8", newline="\n") as f:
            f.write("\n".join(self.lines) + "\n")


def section(name, **keys):
    return "[%s]\r\n" % name + "".join("%s=%s\r\n" % (k, v) for k, v in keys.items())


def utf8_bom(text):
    return b"\xef\xbb\xbf" + text.encode("utf-8")


def utf16(text):
    return b"\xff\xfe" + text.encode("utf-16-le")


def file_entry(sc, level, name, fn, data, rp="", **extra):
    sfn = sc.serve(level + rp, data)
    keys = {"FN": fn, "SFN": sfn, "C": str(crc(data)), "FS": str(len(data))}
    if rp:
        keys["RP"] = rp
    keys.update(extra)
    return section(name, **keys), sfn


def build_basic(out):
    sc = Scenario(out, "basic")
    # core/: UTF-16 with its mark.
    readme = content("readme", 1500)
    tool_new, tool_old = content("tool-2", 70000), content("tool-1", 60000)
    same = content("same", 900)
    keep_new, keep_old = content("keep-2", 100), content("keep-1", 120)
    core = "; the core files\r\n"
    text, sfn_readme = file_entry(sc, "core/", "readme", "readme.txt", readme, LP="%P%")
    core += text
    text, _ = file_entry(sc, "core/", "tool", "tool.dll", tool_new, rp="files/", LP="%P%bin%")
    core += text
    text, sfn_same = file_entry(sc, "core/", "same", "same.txt", same, LP="%P%")
    core += text
    text, sfn_keep = file_entry(sc, "core/", "keep", "keep.cfg", keep_new, CV="5")
    core += text
    core += section("COMMENT", note="not a file")
    m_core = sc.index("core/", utf16(core))
    sc.seed("bin\\tool.dll", tool_old)
    sc.seed("same.txt", same)
    sc.seed("keep.cfg", keep_old)
    sc.expect("new", "readme.txt", md5(readme))
    sc.expect("new", "bin\\tool.dll", md5(tool_new))
    sc.expect("same", "same.txt", md5(same))
    sc.expect("same", "keep.cfg", md5(keep_old))
    sc.expect("noreq", sfn_same)
    sc.expect("noreq", sfn_keep)

    # data/: UTF-8 without a mark; a file several blocks long.
    big = content("big", 300000)
    data = ""
    text, _ = file_entry(sc, "data/", "big", "big.bin", big, LP="data")
    data += text
    m_data = sc.index("data/", data.encode("utf-8"))
    sc.expect("new", "data\\big.bin", md5(big))

    # cn/: code page 936, Chinese names.
    note = content("note-cn", 2000)
    cn, _ = file_entry(sc, "cn/", "说明", "说明.txt", note, LP="%P%文档%")
    m_cn = sc.index("cn/", cn.encode("cp936"))
    sc.expect("new", "文档\\说明.txt", md5(note))

    # The top level, UTF-8 with its mark: index 2 is missing and skipped.
    top = section("info", c="4", p0="core/", m0=m_core, p1="data/", m1=m_data.upper(),
                  p3="cn/", m3=m_cn)
    sc.index("", utf8_bom(top))
    sc.finish()


def build_inuse(out):
    """Three files left to the completion program (one into a folder that does
    not exist yet), one replaced at once."""
    sc = Scenario(out, "inuse")
    app_new, app_old = content("app-2", 40000), content("app-1", 30000)
    cn_new, cn_old = content("cn-2", 3000), content("cn-1", 2000)
    plain = content("plain", 700)
    text = ""
    t, _ = file_entry(sc, "", "app", "app.dat", app_new, UR="1")
    text += t
    t, _ = file_entry(sc, "", "plain", "plain.txt", plain)
    text += t
    t, _ = file_entry(sc, "", "数据", "数据.dat", cn_new, LP="%P%库%", UR="1")
    text += t
    fresh = content("fresh", 900)
    t, _ = file_entry(sc, "", "新", "新.dat", fresh, LP="%P%新夹\\深%", UR="1")
    text += t
    sc.index("", utf16(text))
    sc.seed("app.dat", app_old)
    sc.seed("库\\数据.dat", cn_old)
    # In the pending-copy file, in section order: app, 数据, 新.
    sc.expect("pending", "app.dat", "update\\app.dat")
    sc.expect("pending", "库\\数据.dat", "update\\库\\数据.dat")
    sc.expect("pending", "新夹\\深\\新.dat", "update\\新夹\\深\\新.dat")
    sc.expect("old", "app.dat", md5(app_old))
    sc.expect("old", "库\\数据.dat", md5(cn_old))
    sc.expect("new", "app.dat", md5(app_new))
    sc.expect("new", "库\\数据.dat", md5(cn_new))
    sc.expect("new", "plain.txt", md5(plain))
    sc.expect("new", "新夹\\深\\新.dat", md5(fresh))
    sc.finish()


def build_corrupt(out):
    """A file whose stream unpacks to other bytes than its MD5 names."""
    sc = Scenario(out, "corrupt")
    good = content("bad-good", 800)
    wrong = content("bad-wrong", 800)
    sfn = md5(good)
    folder = sc.server
    with open(os.path.join(folder, sfn), "wb") as f:
        f.write(zlib.compress(wrong))
    text = section("bad", FN="bad.bin", SFN=sfn, C=str(crc(good)))
    t, _ = file_entry(sc, "", "good", "good.bin", content("good", 500))
    text += t
    sc.index("", text.encode("utf-8"))
    sc.expect("absent", "bad.bin")
    sc.expect("absent", "good.bin")
    sc.expect("count", sfn, "3")
    sc.finish()


def build_missing(out):
    sc = Scenario(out, "missing")
    data = content("gone", 100)
    text = section("gone", FN="gone.bin", SFN=md5(data), C=str(crc(data)))
    sc.index("", text.encode("utf-8"))
    sc.expect("absent", "gone.bin")
    sc.expect("count", md5(data), "3")
    sc.finish()


def build_stop(out):
    """Three files; the second and third are served slowly (the server waits
    before answering paths under slow/)."""
    sc = Scenario(out, "stop")
    text = ""
    sfns = []
    for name, rp in (("a", ""), ("b", "slow/"), ("c", "slow/")):
        t, sfn = file_entry(sc, "", name, name + ".bin", content("stop-" + name, 20000), rp=rp)
        text += t
        sfns.append(sfn)
    sc.index("", text.encode("utf-8"))
    for name in "abc":
        sc.expect("absent", name + ".bin")
    sc.expect("noreq", sfns[2])
    sc.finish()


def build_hostile(out):
    """Names that try to leave the program's folder, and a huge level count.
    Refused names make the whole run fail: not even list/good.txt is put in
    place."""
    sc = Scenario(out, "hostile")
    lst = ""
    bad = [
        ("t01", {"FN": "..\\..\\escape1.txt"}),
        ("t02", {"FN": "escape2.txt", "LP": ".."}),
        ("t03", {"FN": "escape3.txt", "LP": "C:\\outside"}),
        ("t04", {"FN": "escape4.txt", "LP": "\\rooted"}),
        ("t05", {"LP": "victim"}),                      # no FN: would name the folder
        ("t06", {"FN": "x.txt:stream"}),
        ("t07", {"FN": "nul"}),
        ("t08", {"FN": "escape8.txt", "LP": "%P%..%"}),
        ("t09", {"FN": "/escape9.txt"}),
        ("t10", {"FN": "escape10.txt", "LP": "a\\..\\..\\.."}),
        ("t11", {"FN": "escape11.txt", "LP": "Z:"}),
        ("t12", {"FN": "escape12.txt", "LP": "%P%\\\\server\\share%"}),
    ]
    for name, keys in bad:
        data = content("hostile-" + name, 64)
        sfn = sc.serve("list/", data)
        keys = dict(keys, SFN=sfn, C=str(crc(data)))
        lst += section(name, **keys)
        sc.expect("noreq", sfn)
    # A server file name that climbs: never used as a path.
    lst += section("t13", FN="escape13.txt", SFN="../../../escape13", C="1")
    good = content("hostile-good", 300)
    t, _ = file_entry(sc, "list/", "t99", "good.txt", good)
    lst += t
    m_list = sc.index("list/", lst.encode("utf-8"))
    # Sub-levels that climb or name a drive are skipped; c is absurdly large.
    evil = sc.index("evil/", section("x", FN="e.txt", SFN="0" * 32).encode("utf-8"))
    top = section("info", c="4000000000", p0="../", m0=evil, p1="C:/", m1=evil,
                  p2="..\\evil/", m2=evil, p3="list/", m3=m_list)
    sc.index("", top.encode("utf-8"))
    sc.seed("victim\\precious.txt", b"keep me")
    sc.expect("same", "victim\\precious.txt", md5(b"keep me"))
    sc.expect("absent", "good.txt")
    sc.finish()


def build_deep(out):
    """Levels nested deeper than the updater follows."""
    sc = Scenario(out, "deep")
    depth = 12
    leaf_data = content("deep-leaf", 100)
    level = "d/" * depth
    t, _ = file_entry(sc, level, "leaf", "leaf.txt", leaf_data)
    m = sc.index(level, t.encode("utf-8"))
    for d in range(depth - 1, -1, -1):
        m = sc.index("d/" * d, section("info", c="1", p0="d/", m0=m).encode("utf-8"))
    sc.expect("absent", "leaf.txt")
    sc.finish()


def build_five(out):
    """Five files that all replace older local ones."""
    sc = Scenario(out, "five")
    text = ""
    for n in range(1, 6):
        name = "f%d.bin" % n
        new, old = content("five-new-%d" % n, 3000 + n), content("five-old-%d" % n, 2000 + n)
        t, _ = file_entry(sc, "", "f%d" % n, name, new)
        text += t
        sc.seed(name, old)
        sc.expect("old", name, md5(old))
        sc.expect("new", name, md5(new))
    sc.index("", text.encode("utf-8"))
    sc.finish()


def build_inway(out):
    """An entry named like the folder that holds the user's data, then one
    of: a refused name, a sub-level the server lacks, a file it lacks, a
    good file. Every run fails and the install stays as it was."""
    for variant in ("refused", "nolevel", "nofile", "good", "updfolder"):
        sc = Scenario(out, "inway-" + variant)
        sc.seed("tarnver.dat", b"[v]\r\nver=1\r\n")
        sc.seed("data\\tarnver.dat", b"data version")
        sc.seed("data\\sub\\precious.txt", b"the user's own")
        sc.seed("keep.bin", content("inway-old", 400))
        name = "update" if variant == "updfolder" else "data"
        lst, _ = file_entry(sc, "list/", "clash", name, content("inway-clash", 300))
        t, sfn_keep = file_entry(sc, "list/", "keep", "keep.bin", content("inway-new", 400))
        lst += t
        sc.expect("noreq", sfn_keep)
        if variant == "refused":
            lst += section("bad", FN="..\\x.txt", SFN="0" * 32, C="1")
        if variant == "nofile":
            data = content("inway-gone", 50)
            lst += section("gone", FN="gone.bin", SFN=md5(data), C=str(crc(data)))
        m_list = sc.index("list/", lst.encode("utf-8"))
        top = dict(c="2" if variant == "nolevel" else "1", p0="list/", m0=m_list)
        if variant == "nolevel":
            top.update(p1="missing/", m1="1" * 32)
        sc.index("", section("info", **top).encode("utf-8"))
        sc.finish()


def build_caps(out):
    """Past the per-run caps: sixteen levels of 1.5 MiB index text each (24 MiB
    in all, each level well below the limit of one level), and a file that
    declares 1000 bytes but unpacks to 4 MiB."""
    sc = Scenario(out, "bigindex")
    top = {"c": "16"}
    for n in range(16):
        level = "l%02d/" % n
        text = section("COMMENT", pad="p" * (1536 * 1024))
        top["p%d" % n] = level
        top["m%d" % n] = sc.index(level, text.encode("utf-8"))
    sc.index("", section("info", **top).encode("utf-8"))
    sc.finish()

    sc = Scenario(out, "bomb")
    real = b"b" * (4 << 20)
    sfn = sc.serve("", real)
    text = section("bomb", FN="bomb.bin", SFN=sfn, C=str(crc(real)), FS="1000")
    t, _ = file_entry(sc, "", "fine", "fine.bin", content("bomb-fine", 700))
    sc.index("", (t + text).encode("utf-8"))
    sc.expect("absent", "bomb.bin")
    sc.expect("absent", "fine.bin")
    sc.finish()


def build_many(out):
    """Three hundred files that all replace older local ones."""
    sc = Scenario(out, "many")
    text = ""
    for n in range(300):
        name = "m%03d.bin" % n
        new, old = content("many-new-%d" % n, 1500), content("many-old-%d" % n, 1400)
        t, _ = file_entry(sc, "", "m%03d" % n, name, new)
        text += t
        sc.seed(name, old)
        sc.expect("old", name, md5(old))
        sc.expect("new", name, md5(new))
    sc.index("", text.encode("utf-8"))
    sc.finish()


def build(out):
    for f in (build_basic, build_inuse, build_corrupt, build_missing, build_stop,
              build_hostile, build_deep, build_five, build_inway, build_caps, build_many):
        f(out)


if __name__ == "__main__":
    import sys
    build(sys.argv[1])
