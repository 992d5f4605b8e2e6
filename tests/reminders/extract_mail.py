#!/usr/bin/python3
"""extract_mail.py MAIL.eml OUTDIR: writes the decoded parts of a message.

OUTDIR/headers: From, To and Subject decoded, one a line; OUTDIR/body: the
text part; OUTDIR/attachment-name and OUTDIR/attachment: the attached file.
"""
import email
import email.header
import email.policy
import os
import sys

msg = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=email.policy.default)
out = sys.argv[2]
with open(os.path.join(out, "headers"), "w", encoding="utf-8") as f:
    for h in ("From", "To", "Subject"):
        f.write("%s: %s\n" % (h, str(msg[h])))
for part in msg.walk():
    if part.is_multipart():
        continue
    name = part.get_filename()
    if name:
        with open(os.path.join(out, "attachment-name"), "w", encoding="utf-8") as f:
            f.write(name)
        with open(os.path.join(out, "attachment"), "wb") as f:
            f.write(part.get_payload(decode=True))
    elif part.get_content_type() == "text/plain":
        with open(os.path.join(out, "body"), "w", encoding="utf-8") as f:
            f.write(part.get_content())
