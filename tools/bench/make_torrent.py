# Writes a large multi-file torrent of an exact size for the benchmarks: file list, pieces and
# a padding comment outside info, consistent enough for every reference tool to load it.
#     make_torrent.py PATH SIZE [closes]
import random
import sys


def benc(v):
    if isinstance(v, int):
        return b"i%de" % v
    if isinstance(v, str):
        v = v.encode()
    if isinstance(v, bytes):
        return b"%d:%s" % (len(v), v)
    if isinstance(v, list):
        return b"l" + b"".join(benc(x) for x in v) + b"e"
    return b"d" + b"".join(benc(k) + benc(v[k]) for k in sorted(v)) + b"e"


path, target = sys.argv[1], int(sys.argv[2])
if sys.argv[3:] == ["closes"]:
    # The hostile shape instead: "d", then "4:infode" over and over, then "e" (cut to fit), so an
    # info dictionary closes every 8 bytes.
    open(path, "wb").write((b"d" + b"4:infode" * (target // 8 + 1))[:target - 1] + b"e")
    sys.exit(0)
r = random.Random(1)
files = [{"length": r.randrange(1, 4 << 20),
          "path": [f"第{d:03d}卷" if d % 3 == 0 else f"volume {d:03d}", f"page {f:03d}.jpg"]}
         for d in range(200 if target >= 4000000 else 20) for f in range(200)]
total = sum(x["length"] for x in files)
name = "大型 合集 archive"
# The pieces take what the file list leaves, so the piece length follows from the room.
room = target - len(benc({"files": files, "name": name, "piece length": 1 << 20, "pieces": b""})) - 200
piece = -(-total // (room // 20))
info = {"files": files, "name": name, "piece length": piece, "pieces": r.randbytes(20 * -(-total // piece))}
meta = {"announce": "http://127.0.0.1:6969/announce", "created by": "velquor bench", "creation date": 1700000000,
        "info": info}
for n in range(400):
    meta["comment"] = "x" * n
    data = benc(meta)
    if len(data) == target:
        break
else:
    sys.exit("cannot reach %d bytes" % target)
open(path, "wb").write(data)
