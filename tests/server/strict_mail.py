#!/usr/bin/env python3
# Reads one e-mail file the strictest way Python's e-mail package can and prints what
# it found as JSON, each attachment written into OUT_DIR when given. Exit 0 when it parsed
# (defects are listed, not fatal); nonzero when parsing itself raised.
# Usage: strict_mail.py FILE [OUT_DIR]
import email
import email.policy
import json
import os
import sys

MAX_LINE = 998  # octets, without the line end


def line_defects(raw):
    found = []
    for number, line in enumerate(raw.split(b"\n"), 1):
        line = line[:-1] if line.endswith(b"\r") else line
        if b"\r" in line:
            found.append(f"line {number}: bare CR")
        if len(line) > MAX_LINE:
            found.append(f"line {number}: {len(line)} octets")
    return found


def main(path, out_dir=None):
    with open(path, "rb") as f:
        raw = f.read()
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.strict)
    defects = line_defects(raw)
    headers, text, html, attachments, content_ids = {}, None, None, [], []
    for part in msg.walk():
        defects += [f"{part.get_content_type()}: {d!r}" for d in part.defects]
        for name, value in part.items():  # each header parsed here, lazily
            defects += [f"{name}: {d!r}" for d in value.defects]
            if part is msg:
                headers.setdefault(name, []).append(str(value))
        if part.is_multipart():
            continue
        if part["Content-ID"]:
            content_ids.append(part["Content-ID"].strip("<>"))
        if part.get_content_disposition() == "attachment":
            # The parameter itself: get_filename() strips blanks.
            disposition = part["Content-Disposition"].params
            attachments.append({"filename": disposition.get("filename", part.get_filename()),
                                "type": part.get_content_type(),
                                "description": part.get("Content-Description", ""),
                                "size": len(part.get_content())})
            if out_dir:
                with open(os.path.join(out_dir, part.get_filename()), "wb") as out:
                    out.write(part.get_payload(decode=True))
        elif part.get_content_type() == "text/plain" and text is None:
            text = part.get_content()
        elif part.get_content_type() == "text/html" and html is None:
            html = part.get_content()

    def structure(part):
        inner = ",".join(structure(p) for p in part.iter_parts()) if part.is_multipart() else ""
        return part.get_content_type() + (f"({inner})" if inner else "")

    def mailboxes(name):
        return [[a.display_name, a.addr_spec] for a in msg[name].addresses] if name in msg else []

    json.dump({"headers": headers, "from": mailboxes("From"), "reply_to": mailboxes("Reply-To"),
               "to": [addr for _, addr in mailboxes("To")], "text": text,
               "attachments": attachments, "structure": structure(msg), "html": html,
               "content_ids": content_ids, "defects": defects}, sys.stdout, ensure_ascii=False)
    print()


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit("Usage: strict_mail.py FILE [OUT_DIR]")
    try:
        main(*sys.argv[1:])
    except Exception as error:  # the strict policy raises on the first message defect
        sys.exit(f"{sys.argv[1]}: {type(error).__name__}: {error}")
