#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from real answers of the
development server.

    tests/fuzz/make-seeds.py BUILD/devserver/quillmere-devserver

Starts the server (with fault control, figures frozen) on a free port, signs
in like the client, asks every endpoint the client uses and writes the
answers, snapshot files, cookie files, links and settings files the targets
read into tests/fuzz/corpus/NAME/. Only loopback is used."""

import base64
import hashlib
import http.client
import json
import os
import re
import secrets
import subprocess
import sys
import urllib.parse

here = os.path.dirname(os.path.abspath(__file__))
corpus = os.path.join(here, "corpus")


def put(target, name, data):
    os.makedirs(os.path.join(corpus, target), exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    with open(os.path.join(corpus, target, name), "wb") as f:
        f.write(data)


class Server:
    def __init__(self, binary):
        self.proc = subprocess.Popen([binary, "--port", "0", "--tick", "0", "--faults"], stdout=subprocess.PIPE,
                                     text=True)
        for line in self.proc.stdout:
            m = re.search(r"http://127\.0\.0\.1:(\d+)", line)
            if m:
                self.port = int(m.group(1))
                break
        self.cookie = None

    def request(self, method, path, body=None, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        h = dict(headers or {})
        if self.cookie:
            h["Cookie"] = self.cookie
        if body is not None and not isinstance(body, (bytes, str)):
            body = json.dumps(body)
            h["Content-Type"] = "application/json"
        conn.request(method, path, body=body, headers=h)
        r = conn.getresponse()
        data = r.read()
        return r.status, dict(r.getheaders()), data

    def rpc(self, op, args):
        return self.request("POST", "/api/native/rpc", {"op": op, "args": args})[2]

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


def b64url(b):
    return base64.urlsafe_b64encode(b).rstrip(b"=").decode()


def main():
    s = Server(sys.argv[1])
    try:
        base = f"http://127.0.0.1:{s.port}"
        records, links = [], []

        # Sign-in as the client does it.
        verifier = b64url(secrets.token_bytes(32))
        challenge = b64url(hashlib.sha256(verifier.encode()).digest())
        state = "{state}"
        q = urllib.parse.urlencode({"redirect_uri": "quillmere-menubar://auth", "challenge": challenge,
                                    "state": "S"})
        page = s.request("GET", "/native-auth?" + q)[2].decode()
        user = re.search(r'name="user" value="([^"]+)"', page).group(1)
        form = urllib.parse.urlencode({"redirect_uri": "quillmere-menubar://auth", "challenge": challenge,
                                       "state": "S", "user": user})
        st, h, _ = s.request("POST", "/native-auth", form, {"Content-Type": "application/x-www-form-urlencoded"})
        location = h["Location"]
        links.append(location.replace("state=S", "state=" + state))
        code = urllib.parse.parse_qs(urllib.parse.urlsplit(location).query)["code"][0]
        st, h, body = s.request("POST", "/api/auth/native/token", {"code": code, "verifier": verifier})
        records.append(body)
        setcookie = h["Set-Cookie"]
        s.cookie = setcookie.split(";")[0]
        records.append(s.request("POST", "/api/auth/native/token", {"code": code, "verifier": verifier})[2])  # 400
        records.append(s.request("GET", "/api/auth/me")[2])
        records.append(s.rpc("workspaces.list", {}))
        records.append(s.rpc("widget.accounts", {}))
        for templ in [None, "{spend} ({cac}/{sales}) {roas.1}x", "{revenue} rev · {profit} profit"]:
            args = {"include": "dashboard", "timeframe": "today"}
            if templ:
                args["template"] = templ
            records.append(s.rpc("widget.line", args))
        records.append(s.rpc("widget.line", {"timeframe": "nonsense"}))  # 400

        # Embed links.
        for key, pw in [("nw-7Hq2XbLk", None), ("hb-Rm4pT9sQ", "harbor-smile"), ("lc-Zx81VvQe", "lumen-espresso")]:
            links.append(f"{base}/embed/{key}")
            hdr = {"X-Embed-Password": pw} if pw else {}
            records.append(s.request("GET", f"/embed/{key}/widget?include=accounts", headers=hdr)[2])
            records.append(s.request("GET", f"/embed/{key}/widget?include=dashboard&timeframe=last_7"
                                            f"&dashboardTimeframe=last_7", headers=hdr)[2])
        records.append(s.request("GET", "/embed/hb-Rm4pT9sQ/widget?include=dashboard")[2])  # 401
        links += [f"{base}/embed/nw-7Hq2XbLk?theme=dark#x", f"https://app.quillmere.com/x/embed/lc-Zx81VvQe/widget",
                  "quillmere-menubar://auth?code=abc&state={state}&state=other"]
        for i, r in enumerate(records):
            put("records", f"answer-{i:02d}.json", r)
        for i, l in enumerate(links):
            put("links", f"link-{i:02d}.txt", l)

        # Snapshot answers: a full one, then deltas as the figures move.
        params = json.dumps({"include": "dashboard", "timeframe": "today"}, separators=(",", ":"), sort_keys=True)
        path = "/api/snapshot/widget.line?p=" + urllib.parse.quote(params, safe="")
        full = s.request("GET", path)[2]
        chain = [full]
        version = json.loads(full)["version"]
        for _ in range(3):
            s.request("POST", "/_dev/advance", {"ticks": 3})
            st, _, body = s.request("GET", path + f"&have={version}")
            if st == 200:
                chain.append(body)
                version = json.loads(body)["version"]
        put("revalidate", "full-deltas", b"\0".join(chain[:4]))
        put("revalidate", "full-304", chain[0] + b"\0")
        if len(chain) > 1:
            put("revalidate", "delta-refetch", chain[0] + b"\0" + chain[1].replace(b'"baseVersion":', b'"baseVersion":1') + b"\0" + chain[0])

        # Small ones of the same shape, quicker to mutate: containers large
        # enough for the text reuse of deltas (64 children), changed in place
        # twice (the second delta reuses the text the first one wrote), then
        # grown and shrunk.
        def answer_text(o):
            return json.dumps(o, separators=(",", ":")).encode()

        def delta(base, ops):
            return answer_text({"kind": "delta", "baseVersion": base, "version": base + 1, "build": "b",
                                "computedAt": base + 1, "patch": ops})
        doc = {"lines": ["$1"], "rows": [{"id": str(i), "v": i} for i in range(70)], "m": {f"k{i}": i for i in range(66)}}
        small = [answer_text({"version": 1, "build": "b", "computedAt": 1.5, "data": doc}),
                 delta(1, [{"p": ["rows", 3, "v"], "v": "x"}, {"p": ["m", "k9"], "v": [1]}]),
                 delta(2, [{"p": ["rows", 3, "v"], "v": {"y": 1}}, {"p": ["rows", 60]}, {"p": ["m", "k10"], "v": 2},
                           {"p": ["lines", 0], "v": "$2"}]),
                 delta(3, [{"p": ["rows", 70], "v": {}}, {"p": ["m", "k1"], "d": 1}])]
        put("revalidate", "small-deltas", b"\0".join(small))

        # The snapshot file the client writes for that full answer, and a
        # delta to apply to it.
        answer = json.loads(full)
        key = "fuzz-scope\0widget.line:" + params
        data = json.dumps(answer["data"], separators=(",", ":"), ensure_ascii=False).encode()
        head = json.dumps({"build": answer["build"], "computedAt": answer["computedAt"], "key": key,
                           "version": answer["version"]}, separators=(",", ":"), ensure_ascii=False)
        fileText = (head[:-1] + ',"data":"' + base64.b64encode(data).decode() + '"}').encode()
        put("snapshot_file", "file", fileText)
        put("snapshot_file", "file-304", fileText + b"\0")
        if len(chain) > 1:
            put("snapshot_file", "file-delta", fileText + b"\0" + chain[1])

        # The cookie file as the jar writes it (one Set-Cookie line per cookie,
        # with the domain the jar gives it).
        attrs = [a.strip() for a in setcookie.split(";")]
        cookie = "; ".join([attrs[0]] + [a for a in attrs[1:] if not a.lower().startswith("max-age")]
                           + ["domain=127.0.0.1"])
        put("cookie_file", "session", cookie + "\n")
        put("cookie_file", "far-expiry", re.sub(r"expires=[^;]*", "expires=Fri, 01-Jan-2100 00:00:00 GMT",
                                                cookie, flags=re.I) + "\n" + "other=1; expires=Fri, 01-Jan-2100 "
                                                "00:00:00 GMT; domain=.quillmere.com; path=/; secure\n")

        # Settings files as the program writes them.
        put("settings", "embed", f"[General]\nembedLink={base}/embed/nw-7Hq2XbLk\nlineIndex=0\nlineTemplate=profit\n"
                                 "maxLength=50\nshowIcon=false\n")
        put("settings", "signed-in", f"[General]\nserverURL={base}\nworkspaceId=w1\nperiod=last_7\n"
                                     "accountIds=\"a1,a2\"\nplatformIds=google\nrefreshMinutes=15\n"
                                     "quillmere.snapshot.scope=u1:w1\n")
    finally:
        s.stop()


main()
