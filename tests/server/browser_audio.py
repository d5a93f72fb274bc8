#!/usr/bin/env python3
# Plays an audio file in headless Chromium and Firefox ESR as a recipient's browser would:
# a page served from a local HTTP server asks canPlayType, decodes the file with
# decodeAudioData and reports back by a request. Exit 0 when every browser that ran played
# it at the expected length (within 0.1 s), 1 when one did not, 2 when no browser could run.
# Usage: browser_audio.py FILE MIME-TYPE SECONDS
import concurrent.futures
import http.server
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import urllib.parse

PAGE = b"""<!doctype html><script>
const report = (fields) => fetch('/result?' + new URLSearchParams(fields));
(async () => {
  const can = new Audio().canPlayType(TYPE);
  try {
    const data = await (await fetch('/audio')).arrayBuffer();
    const audio = await new OfflineAudioContext(1, 1, 44100).decodeAudioData(data);
    await report({can, seconds: audio.duration});
  } catch (error) {
    await report({can, error: String(error)});
  }
})();
</script>"""
BROWSERS = {
    "chromium": lambda profile, url: ["chromium", "--headless=new", "--no-sandbox",
                                      "--disable-gpu", "--user-data-dir=" + profile, url],
    "firefox-esr": lambda profile, url: ["firefox-esr", "--headless", "--profile", profile,
                                         "--no-remote", url],
}
TIMEOUT = 20  # seconds a browser gets from start to report


def serve(audio, mime):
    state = {"asked": threading.Event(), "done": threading.Event(), "result": None}

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            path, _, query = self.path.partition("?")
            if path == "/":
                state["asked"].set()
                body, kind = PAGE.replace(b"TYPE", json.dumps(mime).encode()), "text/html"
            elif path == "/audio":
                body, kind = audio, mime
            elif path == "/result":
                state["result"] = dict(urllib.parse.parse_qsl(query))
                state["done"].set()
                body, kind = b"", "text/plain"
            else:
                self.send_error(404)
                return
            self.send_response(200)
            self.send_header("Content-Type", kind)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, state


# (ran, problem): ran is False when the browser never asked for the page.
def run(browser, audio, mime):
    if shutil.which(browser) is None:
        return False, "not installed"
    server, state = serve(audio, mime)
    url = f"http://127.0.0.1:{server.server_address[1]}/"
    with tempfile.TemporaryDirectory() as profile:
        process = subprocess.Popen(BROWSERS[browser](profile, url), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            state["done"].wait(TIMEOUT)
        finally:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            server.shutdown()
    result = state["result"]
    if result is None:
        asked = state["asked"].is_set()
        return asked, "loaded the page but never reported" if asked else "did not start"
    return True, result


def main(path, mime, seconds):
    with open(path, "rb") as f:
        audio = f.read()
    # Side by side: each takes seconds to start.
    with concurrent.futures.ThreadPoolExecutor() as pool:
        results = list(pool.map(lambda browser: run(browser, audio, mime), BROWSERS))
    ran = failed = 0
    for browser, (started, result) in zip(BROWSERS, results):
        ran += started
        if not started:
            print(f"{browser}: skipped, {result}")
            continue
        ok = (isinstance(result, dict) and result.get("can") and "seconds" in result
              and abs(float(result["seconds"]) - seconds) <= 0.1)
        failed += not ok
        print(f"{browser}: {'ok' if ok else 'FAILED'} {result}")
    return 1 if failed else 0 if ran else 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], float(sys.argv[3])))
