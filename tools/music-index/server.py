#!/usr/bin/env python3
"""A local music search site for the demo and the integration tests.

One HTTP server on 127.0.0.1 answers the queries of six search engines, each with its own page
style (see demo.def.in beside this file), and serves the small generated "mp3" files their
results link to, with Range and HEAD support. Some results are ftp:// links to copies of the
files served by vsftpd, which this script starts from a config in its root and stops again.

    python3 tools/music-index/server.py --port 0 --ftp-port 0 [--root DIR] [--quiet]

When it is ready it prints three lines on stdout and flushes them:

    HTTP_PORT=<port>
    FTP_PORT=<port, or -1 when there is no FTP server>
    READY

SIGTERM or SIGINT stop it cleanly (vsftpd included). With --watch-stdin it also stops when its
standard input reaches end of file, and with --exit-with-parent when the process that started it
ends, so a test or script that dies never leaves it running.
Standard library only.
"""

import argparse
import hashlib
import html
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

VSFTPD = "/usr/sbin/vsftpd"
PASSIVE_PORTS = (31000, 31999)  # kept clear of the range the FTP tests use
LAST_MODIFIED = "Mon, 02 Jan 2023 10:00:00 GMT"

# ---- the catalogue -------------------------------------------------------------------------

GENRES = {
    "rock": (50, ["Granite Avenue", "The Loud Hours", "Salt & Stone", "Iron Orchard",
                  "Static Harbour", "Velvet Engine", "North Quarry", "The Rust Kings",
                  "Paper Thunder", "Low Satellites"]),
    "jazz": (15, ["Blue Lantern Trio", "Mina Okafor", "The Late Set", "Harbour Quintet"]),
    "folk": (10, ["Wren & Willow", "Old Mill Singers", "Tamsin Grey"]),
}
ADJECTIVES = ["Midnight", "Broken", "Golden", "Electric", "Quiet", "Burning", "Silver"]
NOUNS = ["Road", "River", "Signal", "Garden", "Engine", "Letter", "Skyline", "Harbour"]
# Engine keys, in the order of demo.def.in. The first holds most of a genre; the others share
# some of its tracks (duplicates across engines) and each has a few of its own.
ENGINES = ["tracks", "shelf", "postbox", "hub", "jar", "moved"]
SHARED_EVERY = {"shelf": (3, 0), "postbox": (7, 1), "hub": (5, 2), "jar": (6, 4), "moved": (8, 5)}


class Track:
    def __init__(self, genre, number, artist, title):
        self.genre = genre
        self.number = number  # index inside the genre
        self.artist = artist
        self.title = title
        self.name = f"{artist} - {title}"
        self.slug = re.sub(r"[^a-z0-9]+", "-", f"{genre} {artist} {title}".lower()).strip("-")
        self.words = set(re.findall(r"[a-z0-9]+", f"{genre} {artist} {title}".lower()))
        digest = hashlib.sha256(self.slug.encode()).digest()
        self.size = 12000 + int.from_bytes(digest[:2], "big") % 20000
        self.seconds = 120 + digest[2] % 240
        self.kbps = (128, 160, 192, 256)[digest[3] % 4]
        self.month = 1 + digest[4] % 12
        self.day = 1 + digest[5] % 28
        self.year = 2018 + digest[6] % 6
        self.hour = digest[7] % 24
        self.minute = digest[8] % 60
        self.on_ftp = number % 4 == 0
        self.engines = set()

    def file_name(self):
        return self.slug + ".mp3"

    def preview(self):
        return (f"{self.seconds // 60}:{self.seconds % 60:02d} &middot; {self.kbps} kbps "
                f"&middot; {self.size // 1024} KB")


def build_catalogue():
    tracks = []
    for genre, (count, artists) in GENRES.items():
        cutoff = min(30, count * 3 // 5)
        for j in range(count):
            track = Track(genre, j, artists[j % len(artists)],
                          f"{ADJECTIVES[j % 7]} {NOUNS[(j // 7) % 8]}")
            if j < cutoff:
                track.engines.add("tracks")
                for engine, (every, rest) in SHARED_EVERY.items():
                    if j % every == rest:
                        track.engines.add(engine)
            else:
                track.engines.add(ENGINES[1 + (j - cutoff) % (len(ENGINES) - 1)])
            tracks.append(track)
    return tracks


CATALOGUE = build_catalogue()
BY_FILE = {t.file_name(): t for t in CATALOGUE}


def query_words(text):
    return [w for w in re.findall(r"[a-z0-9]+", (text or "").lower())][:20]


def find_tracks(engine, text):
    words = query_words(text)
    return [t for t in CATALOGUE if engine in t.engines and any(w in t.words for w in words)]


def file_bytes(track):
    """Deterministic content: an ID3 tag, then MPEG-like frames of hashed bytes."""
    out = bytearray(b"ID3\x03\x00\x00\x00\x00\x00\x00")
    counter = 0
    while len(out) < track.size:
        out += b"\xff\xfb\x90\x64"
        for _ in range(13):
            out += hashlib.sha256(f"{track.slug}:{counter}".encode()).digest()
            counter += 1
    return bytes(out[:track.size])


# ---- pages -----------------------------------------------------------------------------------

def page(title, body):
    return ("<!DOCTYPE html>\n<html>\n<head>\n<title>" + html.escape(title) + "</title>\n"
            "</head>\n<body>\n" + body + "\n</body>\n</html>\n")


def esc(text):
    return html.escape(text, quote=True)


class Site:
    def __init__(self, http_port, ftp_port):
        self.http_port = http_port
        self.ftp_port = ftp_port

    def base(self):
        return f"http://127.0.0.1:{self.http_port}"

    def file_url(self, track):
        return f"{self.base()}/files/{track.file_name()}"

    def ftp_url(self, track):
        return f"ftp://127.0.0.1:{self.ftp_port}/pub/{track.file_name()}"

    def has_ftp(self, track):
        return self.ftp_port > 0 and track.on_ftp

    # Engine 1: a list with a "Next" link after it, 10 per page (template mode, VA/MORE).
    def tracks_find(self, params):
        q = params.get("q", "")
        try:
            per_page = max(1, min(50, int(params.get("max", "10"))))
            number = max(1, int(params.get("page", "1")))
        except ValueError:
            per_page, number = 10, 1
        hits = find_tracks("tracks", q)
        shown = hits[(number - 1) * per_page:number * per_page]
        parts = [
            '<div class="top"><a href="/">Home</a> | <a href="/tracks/">New search</a></div>',
            # Before the results marker: a sponsored entry in result markup, which the
            # definition's start marker keeps out.
            "<ul class=\"promo\">",
            '<li><a href="/files/sponsored-jingle.mp3">Sponsored jingle</a> advertisement</li>',
            "</ul>",
            f"<p>Results for <b>{esc(q)}</b>: {len(hits)} tracks, page {number}</p>",
            "<ul class=\"hits\">",
        ]
        for i, t in enumerate(shown):
            parts.append(f'<li><a href="/files/{t.file_name()}">{esc(t.name)}</a> '
                         f"{t.preview()}</li>")
            if i == 4:
                parts.append('<li class="ad"><a href="/shop/deals.html">Cheap concert tickets'
                             "</a></li>")
        parts.append("</ul>")
        links = []
        query = f"q={urllib.parse.quote_plus(q)}&amp;max={per_page}"
        if number > 1:
            links.append(f'<a href="find?{query}&amp;page={number - 1}"><b>Prev</b></a>')
        if number * per_page < len(hits):
            links.append(f'<a href="find?{query}&amp;page={number + 1}">Next</a>')
        parts.append('<p class="pages">' + " ".join(links) + "</p>")
        if not shown:
            parts.append("<p>No results.</p>")
        return page("Demo Tracks", "\n".join(parts))

    # Engine 2: a directory-style page where every link is a candidate (anchor mode).
    def shelf_list(self, params):
        q = params.get("s", "")
        parts = [
            '<p><a href="/">Home</a> <a href="/shelf/about.html">About the shelf</a></p>',
            '<div class="side">Track of the day: <a href="/files/sponsored-jingle.mp3">'
            "Sponsored jingle</a></div>",
            f"<h2>Files</h2>\n<p>Shelf for {esc(q)}</p>\n<pre>",
        ]
        for t in find_tracks("shelf", q):
            parts.append(f'<a href="/shelf/covers/{t.slug}.jpg"><img src="/shelf/covers/'
                         f'{t.slug}.jpg" alt="cover"></a> '
                         f'<a href="../files/{t.file_name()}">{esc(t.name)}</a> '
                         f"{t.size} bytes")
            if self.has_ftp(t):
                parts.append(f'  mirror: <a href="{self.ftp_url(t)}">{esc(t.name)} (FTP)</a>')
            parts.append(f'  <a href="/shelf/lyrics/{t.slug}.html">lyrics</a>')
        parts.append("</pre>")
        parts.append('<p><a href="/shelf/playlist.m3u">Playlist</a> '
                     '<a href="http://ads.invalid/banner">Advertise here</a></p>')
        return page("Anchor Shelf", "\n".join(parts))

    # Engine 3: answers a POSTed form; the next page is a form with hidden fields.
    def postbox_search(self, params, number):
        terms = params.get("terms", "")
        hits = find_tracks("postbox", terms)
        per_page = 6
        shown = hits[(number - 1) * per_page:number * per_page]
        parts = [f"<h1>Post Box</h1>\n<p>{len(hits)} matches for {esc(terms)}</p>",
                 '<table class="hits">',
                 "<tr><th>Track</th><th>Length</th><th>Added</th></tr>"]
        for t in shown:
            parts.append(f'<tr><td><a href="/files/{t.file_name()}">{esc(t.name)}</a></td>'
                         f"<td>{t.preview()}</td><td>{t.month}/{t.day}/{t.year}</td></tr>")
        parts.append("</table>")
        parts.append('<form method="post" action="search">')
        parts.append(f'<input type="hidden" name="terms" value="{esc(terms)}">')
        if number * per_page < len(hits):
            parts.append(f'<input type="hidden" name="page" value="{number + 1}">')
            parts.append('<input type="submit" value="More results">')
        parts.append("</form>")
        return page("Post Box", "\n".join(parts))

    # Engine 4: every result goes through a redirect script (/go?u=<encoded address>).
    def hub_search(self, params):
        q = params.get("q", "")
        parts = [f"<h1>Redirect Hub</h1>\n<p>Songs for {esc(q)}</p>",
                 '<div class="sponsor"><a href="/go?u=http%3A%2F%2Fads.invalid%2F">'
                 "Our sponsor</a></div>"]
        hits = find_tracks("hub", q)

        def go(address):
            return "/go?u=" + urllib.parse.quote(address, safe="") + "&amp;src=hub"

        for t in hits:
            parts.append(f'<div class="song"><a href="{go(self.file_url(t))}">{esc(t.name)}</a>'
                         f"<br><small>{t.preview()}</small></div>")
            if self.has_ftp(t):
                parts.append(f'<div class="song"><a href="{go(self.ftp_url(t))}">'
                             f"{esc(t.name)} [ftp]</a><br><small>FTP mirror</small></div>")
        if hits:
            # Result markup, but not a music file: the definition's URL rules drop it.
            parts.append(f'<div class="song"><a href="{go(self.base() + "/shop/album.html")}">'
                         "Buy the whole album</a><br><small>shop</small></div>")
        return page("Redirect Hub", "\n".join(parts))

    # Engine 5: the result page needs the session cookie.
    def jar_results(self, params):
        q = params.get("q", "")
        parts = [f"<h1>Cookie Jar</h1>\n<p>Found for {esc(q)}:</p>"]
        for t in find_tracks("jar", q):
            parts.append(f'<p class="r"><a href="out.php?to={self.file_url(t)}">{esc(t.name)}'
                         f"</a> - {t.preview()}</p>")
        parts.append('<p class="r"><a href="/jar/">Back</a></p>')
        return page("Cookie Jar", "\n".join(parts))

    # Engine 6: the query is answered with a 302 to a static-looking result page.
    def moved_results(self, words):
        q = " ".join(words)
        parts = [f"<h1>Moved Search: {esc(q)}</h1>", '<table id="results">']
        for t in find_tracks("moved", q):
            months = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split()
            parts.append(f"<tr class=\"hit\"><td><a href='../track/{t.genre}/{t.slug}.html'>"
                         f"{esc(t.name)}</a></td>"
                         f"<td>{months[t.month - 1]} {t.day} {t.hour:02d}:{t.minute:02d}</td>"
                         f"<td>{t.preview()}</td></tr>")
        parts.append("</table>")
        return page("Moved Search", "\n".join(parts))

    def moved_track(self, genre, slug):
        track = BY_FILE.get(slug + ".mp3")
        if not track or track.genre != genre:
            return None
        return page(track.name, f'<h1>{esc(track.name)}</h1>\n'
                                f'<p><a href="/files/{track.file_name()}">Download</a></p>')

    def home(self, title, form):
        return page(title, f"<h1>{esc(title)}</h1>\n{form}")


HOMES = {
    "/tracks/": ("Demo Tracks", '<form action="find"><input name="q"><input type="hidden" '
                                'name="max" value="10"></form>'),
    "/shelf/": ("Anchor Shelf", '<form action="."><input name="s"></form>'),
    "/postbox/": ("Post Box", '<form method="post" action="search"><input name="terms">'
                              "</form>"),
    "/hub/": ("Redirect Hub", '<form action="search"><input name="q"></form>'),
    "/jar/": ("Cookie Jar", '<form action="search"><input name="q"></form>'),
    "/moved/": ("Moved Search", '<form action="query"><input name="q"></form>'),
}
COOKIE_NAME = "jar_session"
COOKIE_VALUE = "open-sesame"
MAX_BODY = 64 * 1024


# ---- HTTP ------------------------------------------------------------------------------------

class Handler(BaseHTTPRequestHandler):
    server_version = "MusicIndex/1.0"
    # HTTP/1.0 replies: the connection closes after each one, as the client expects.
    protocol_version = "HTTP/1.0"

    def log_message(self, fmt, *args):
        if not self.server.quiet:
            sys.stderr.write("music-index: " + (fmt % args) + "\n")

    @property
    def site(self):
        return self.server.site

    def send_text(self, status, text, content_type="text/html", headers=()):
        body = text.encode("latin-1", "replace")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def redirect(self, location, headers=()):
        self.send_response(302)
        self.send_header("Location", location)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def not_found(self):
        self.send_text(404, page("Not found", "<h1>Not found</h1>"))

    def has_cookie(self):
        for part in (self.headers.get("Cookie") or "").split(";"):
            name, _, value = part.strip().partition("=")
            if name == COOKIE_NAME and value == COOKIE_VALUE:
                return True
        return False

    def cookie_header(self):
        return ("Set-Cookie", f"{COOKIE_NAME}={COOKIE_VALUE}; path=/jar")

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        params = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        self.route(url.path, params, posted=False)

    def do_POST(self):
        url = urllib.parse.urlsplit(self.path)
        try:
            length = int(self.headers.get("Content-Length") or "0")
        except ValueError:
            length = -1
        if length < 0 or length > MAX_BODY:
            self.send_text(400, page("Bad request", "<h1>Bad request</h1>"))
            return
        body = self.rfile.read(length).decode("latin-1")
        params = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        params.update(urllib.parse.parse_qsl(body, keep_blank_values=True))
        self.route(url.path, params, posted=True)

    def route(self, path, params, posted):
        site = self.site
        if path == "/":
            links = "\n".join(f'<li><a href="{p}">{esc(t)}</a></li>' for p, (t, _) in
                              HOMES.items())
            self.send_text(200, page("Music Index", f"<h1>Music Index</h1>\n<ul>\n{links}\n</ul>"))
        elif path == "/shelf/" and "s" in params:
            self.send_text(200, site.shelf_list(params))
        elif path in HOMES:
            title, form = HOMES[path]
            # The cookie engine's home page hands out the session a browser would carry.
            headers = [self.cookie_header()] if path == "/jar/" else []
            self.send_text(200, site.home(title, form), headers=headers)
        elif path == "/tracks/find":
            self.send_text(200, site.tracks_find(params))
        elif path == "/postbox/search":
            try:
                number = max(1, int(params.get("page", "1")))
            except ValueError:
                number = 1
            # The first page only answers the form's POST; further pages are plain links too.
            if number == 1 and not posted:
                self.send_text(405, page("Post Box", "<p>Please use the search form.</p>"),
                               headers=[("Allow", "POST")])
            else:
                self.send_text(200, site.postbox_search(params, number))
        elif path == "/hub/search":
            self.send_text(200, site.hub_search(params))
        elif path == "/go" or path == "/jar/out.php":
            target = params.get("u" if path == "/go" else "to", "")
            if target.startswith(("http://", "ftp://")):
                self.redirect(target)
            else:
                self.send_text(400, page("Bad request", "<p>Bad target.</p>"))
        elif path == "/jar/search":
            if self.has_cookie():
                self.send_text(200, site.jar_results(params))
            elif "s" not in params:
                # First visit without the session: hand it out and come back once.
                query = urllib.parse.urlencode({"q": params.get("q", ""), "s": "1"})
                self.redirect(f"{site.base()}/jar/search?{query}", [self.cookie_header()])
            else:
                self.send_text(200, page("Cookie Jar", "<h1>Cookie Jar</h1>\n"
                                         "<p>no cookie: please enable cookies and start from "
                                         '<a href="/jar/">the home page</a>.</p>'))
        elif path == "/moved/query":
            words = query_words(params.get("q", "")) or ["none"]
            self.redirect(f"{site.base()}/moved/results/{'-'.join(words)}.html")
        elif path.startswith("/moved/results/") and path.endswith(".html"):
            stem = path[len("/moved/results/"):-len(".html")]
            self.send_text(200, site.moved_results(stem.split("-")))
        elif path.startswith("/moved/track/") and path.endswith(".html"):
            rest = path[len("/moved/track/"):-len(".html")].split("/")
            text = site.moved_track(rest[0], rest[1]) if len(rest) == 2 else None
            if text is None:
                self.not_found()
            else:
                self.send_text(200, text)
        elif path.startswith("/files/"):
            track = BY_FILE.get(path[len("/files/"):])
            if track is None:
                self.not_found()
            else:
                self.send_file(file_bytes(track))
        elif path.startswith("/shop/") or path.startswith("/shelf/"):
            if path.endswith(".jpg"):
                self.send_text(200, "\xff\xd8\xff\xe0 not really a picture", "image/jpeg")
            elif path.endswith(".m3u"):
                self.send_text(200, "#EXTM3U\n", "audio/x-mpegurl")
            else:
                self.send_text(200, page("Shop", "<h1>Nothing to see</h1>"))
        else:
            self.not_found()

    def send_file(self, data):
        total = len(data)
        start, end = 0, total - 1
        status = 200
        wanted = self.headers.get("Range")
        if wanted:
            match = re.fullmatch(r"\s*bytes\s*=\s*(\d*)\s*-\s*(\d*)\s*", wanted)
            if not match or (match.group(1) == "" and match.group(2) == ""):
                match = None
            if match:
                first, last = match.group(1), match.group(2)
                if first == "":  # the last N bytes
                    start, end = max(0, total - int(last)), total - 1
                else:
                    start = int(first)
                    end = min(int(last), total - 1) if last else total - 1
                if start >= total or start > end:
                    self.send_response(416)
                    self.send_header("Content-Range", f"bytes */{total}")
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                status = 206
        self.send_response(status)
        self.send_header("Content-Type", "audio/mpeg")
        self.send_header("Content-Length", str(end - start + 1))
        self.send_header("Last-Modified", LAST_MODIFIED)
        self.send_header("Accept-Ranges", "bytes")
        if status == 206:
            self.send_header("Content-Range", f"bytes {start}-{end}/{total}")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data[start:end + 1])


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # A client may close once it has the header (a 404, a HEAD it did not finish reading).
        if isinstance(sys.exc_info()[1], ConnectionError):
            return
        super().handle_error(request, client_address)


# ---- FTP (vsftpd) ----------------------------------------------------------------------------

def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def can_connect(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def start_vsftpd(root, port):
    """Writes the FTP tree and a config under root and starts vsftpd; the process or None."""
    ftp_root = os.path.join(root, "ftp")
    pub = os.path.join(ftp_root, "pub")
    empty = os.path.join(root, "vsftpd-empty")
    for d in (ftp_root, pub, empty):
        os.makedirs(d, exist_ok=True)
        # Readable by the ftp user, writable only by us: vsftpd refuses a writable root.
        os.chmod(d, 0o755)
    os.chmod(root, 0o755)
    for t in CATALOGUE:
        if t.on_ftp:
            path = os.path.join(pub, t.file_name())
            with open(path, "wb") as out:
                out.write(file_bytes(t))
            os.chmod(path, 0o644)
    config = (f"listen=YES\nlisten_address=127.0.0.1\nlisten_port={port}\nbackground=NO\n"
              f"anonymous_enable=YES\nno_anon_password=YES\nanon_root={ftp_root}\n"
              f"local_enable=NO\nwrite_enable=NO\npasv_enable=YES\n"
              f"pasv_min_port={PASSIVE_PORTS[0]}\npasv_max_port={PASSIVE_PORTS[1]}\n"
              f"pasv_address=127.0.0.1\nsecure_chroot_dir={empty}\n"
              f"xferlog_enable=NO\nvsftpd_log_file={os.path.join(root, 'vsftpd.log')}\n")
    if os.geteuid() != 0:
        config += "run_as_launching_user=YES\n"
    conf_path = os.path.join(root, "vsftpd.conf")
    # Written by this process, so owned by the user who starts vsftpd (it insists on that).
    with open(conf_path, "w") as out:
        out.write(config)
    os.chmod(conf_path, 0o600)
    # vsftpd ends with this process, however this process ends.
    process = subprocess.Popen([VSFTPD, conf_path], stdin=subprocess.DEVNULL,
                               preexec_fn=ask_for_sigterm_at_parent_exit)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        if can_connect(port):
            return process
        if process.poll() is not None:
            sys.stderr.write(f"music-index: vsftpd exited with status {process.returncode}\n")
            return None
        time.sleep(0.05)
    process.terminate()
    process.wait()
    sys.stderr.write("music-index: vsftpd did not come up\n")
    return None


def ask_for_sigterm_at_parent_exit():
    """Linux: the kernel sends this process SIGTERM when its parent ends. False elsewhere."""
    try:
        import ctypes
        pr_set_pdeathsig = 1
        return ctypes.CDLL(None).prctl(pr_set_pdeathsig, int(signal.SIGTERM), 0, 0, 0) == 0
    except (OSError, AttributeError):
        return False


def exit_with_parent():
    """Follows the parent process; False when it has already ended."""
    parent = os.getppid()
    if not ask_for_sigterm_at_parent_exit():
        sys.stderr.write("music-index: cannot follow the parent process\n")
    # The parent may have gone before the request took effect.
    return os.getppid() == parent


# ---- main ------------------------------------------------------------------------------------

def main():
    parser = argparse.ArgumentParser(description="local music search site")
    parser.add_argument("--port", type=int, default=0, help="HTTP port, 0 for a free one")
    parser.add_argument("--ftp-port", type=int, default=0,
                        help="FTP port, 0 for a free one, -1 for no FTP server")
    parser.add_argument("--root", help="directory for the FTP tree and the vsftpd config "
                                       "(default: a temporary directory, removed at exit)")
    parser.add_argument("--require-ftp", action="store_true",
                        help="fail when vsftpd cannot be started (default: go on without FTP)")
    parser.add_argument("--watch-stdin", action="store_true",
                        help="stop when standard input reaches end of file")
    parser.add_argument("--exit-with-parent", action="store_true",
                        help="stop when the process that started it ends, even when it is "
                             "killed (Linux)")
    parser.add_argument("--quiet", action="store_true", help="do not log requests")
    args = parser.parse_args()

    # A stop can arrive at any time from here on; it is acted on once everything is up, so
    # vsftpd is never left behind.
    stopping = threading.Event()

    def stop(*_):
        stopping.set()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    if args.exit_with_parent and not exit_with_parent():
        return 1

    own_root = args.root is None
    root = tempfile.mkdtemp(prefix="music-index-") if own_root else os.path.abspath(args.root)
    os.makedirs(root, exist_ok=True)

    vsftpd = None
    ftp_port = -1
    if args.ftp_port >= 0:
        if not os.access(VSFTPD, os.X_OK):
            sys.stderr.write(f"music-index: {VSFTPD} is not installed\n")
        else:
            ftp_port = args.ftp_port or free_port()
            vsftpd = start_vsftpd(root, ftp_port)
        if vsftpd is None:
            ftp_port = -1
            if args.require_ftp:
                if own_root:
                    shutil.rmtree(root, ignore_errors=True)
                return 1
            sys.stderr.write("music-index: going on without FTP results\n")

    try:
        httpd = Server(("127.0.0.1", args.port), Handler)
    except OSError as error:
        sys.stderr.write(f"music-index: cannot listen on port {args.port}: {error}\n")
        if vsftpd:
            vsftpd.terminate()
            vsftpd.wait()
        return 1
    httpd.quiet = args.quiet
    httpd.site = Site(httpd.server_address[1], ftp_port)

    if args.watch_stdin:
        def watch():
            while sys.stdin.buffer.read(4096):
                pass
            stop()
        threading.Thread(target=watch, daemon=True).start()

    print(f"HTTP_PORT={httpd.server_address[1]}\nFTP_PORT={ftp_port}\nREADY", flush=True)
    serving = threading.Thread(target=httpd.serve_forever, kwargs={"poll_interval": 0.5})
    serving.start()
    try:
        while not stopping.wait(0.5):
            pass
    finally:
        httpd.shutdown()
        serving.join()
        httpd.server_close()
        if vsftpd:
            vsftpd.terminate()
            try:
                vsftpd.wait(timeout=5)
            except subprocess.TimeoutExpired:
                vsftpd.kill()
                vsftpd.wait()
        if own_root:
            shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
