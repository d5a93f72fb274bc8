#!/usr/bin/env python3
# Renders the HTML part of one e-mail in headless Chromium, once with its inline picture
# (the cid: link made a data: URL) and once with images blocked, to OUT_DIR/mail-html.png
# and OUT_DIR/mail-html-images-blocked.png. Exit 0 when both screenshots were taken and
# show more than a blank page; 77 when there is no Chromium.
# Usage: render_mail.py MAIL OUT_DIR
import base64
import email
import email.policy
import os
import shutil
import subprocess
import sys
import tempfile

from png_colours import png_colours


def main(mail, out_dir):
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        print("no chromium: not rendered")
        return 77
    msg = email.message_from_binary_file(open(mail, "rb"), policy=email.policy.default)
    html = msg.get_body(preferencelist=("html",)).get_content()
    blocked = html
    for part in msg.walk():
        if part["Content-ID"]:
            cid = "cid:" + part["Content-ID"].strip("<>")
            data = base64.b64encode(part.get_content()).decode()
            html = html.replace(cid, f"data:{part.get_content_type()};base64,{data}")
            blocked = blocked.replace(cid, "blocked:")
    os.makedirs(out_dir, exist_ok=True)
    with tempfile.TemporaryDirectory() as profile:
        for name, page in (("mail-html", html), ("mail-html-images-blocked", blocked)):
            page_file = os.path.join(profile, name + ".html")
            open(page_file, "w", encoding="utf-8").write(page)
            shot = os.path.join(out_dir, name + ".png")
            run = subprocess.run([chromium, "--headless=new", "--no-sandbox", "--disable-gpu",
                                  "--user-data-dir=" + profile, "--hide-scrollbars",
                                  "--window-size=480,640", "--screenshot=" + shot,
                                  "file://" + page_file], capture_output=True, timeout=120)
            if run.returncode != 0 or not os.path.exists(shot):
                print(f"{name}: chromium exit {run.returncode}: {run.stderr.decode()[-500:]}")
                return 1
            colours = png_colours(shot)
            print(f"{name}: {colours} colours")
            if colours < 16:
                return 1
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("Usage: render_mail.py MAIL OUT_DIR")
    sys.exit(main(sys.argv[1], sys.argv[2]))
