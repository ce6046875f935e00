#!/usr/bin/env python3
"""What a mail gateway would decide for each message of an outbox.

    tools/gateway_view.py MESSAGE.eml [MESSAGE.eml ...]

Reads each message with Python's standard e-mail parser and prints its
selection headers and the decision: "encrypt" for x-rdz-select: select,
"send in the clear" for x-rdz-unselect: unselect, "no instruction" when
neither is present. A message that carries both is reported as a conflict
(and encrypted, the safe choice). Exits 1 when a file cannot be read.
"""
import email
import email.policy
import html.parser
import sys

# The footer's claim as a reader sees it. Outlook's editor writes the body
# in its own form (quotes, spans and line breaks of its own), so the claim is
# looked for in the text shown, not in the bytes.
CLAIM = "This message was secured by KestrinCorp"


def decision(message):
    select = [v.strip().lower() for v in message.get_all("x-rdz-select", [])]
    unselect = [v.strip().lower() for v in message.get_all("x-rdz-unselect", [])]
    wants_encrypt = "select" in select
    wants_clear = "unselect" in unselect
    if wants_encrypt and wants_clear:
        return "conflict: both selection headers; encrypt"
    if wants_encrypt:
        return "encrypt"
    if wants_clear:
        return "send in the clear"
    return "no instruction"


class _Text(html.parser.HTMLParser):
    BLOCKS = {"p", "div", "br", "li", "tr", "td", "th", "table", "h1", "h2", "h3", "h4", "h5", "h6", "body", "html"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts, self.skip = [], 0

    def handle_starttag(self, tag, attrs):
        self.skip += tag in ("style", "script", "title")
        if tag in self.BLOCKS:
            self.parts.append(" ")

    def handle_endtag(self, tag):
        if self.skip and tag in ("style", "script", "title"):
            self.skip -= 1
        if tag in self.BLOCKS:
            self.parts.append(" ")

    def handle_data(self, data):
        if not self.skip:
            self.parts.append(data)


def visible_text(body):
    """The body's text as a reader sees it, blanks collapsed."""
    reader = _Text()
    reader.feed(body)
    reader.close()
    return " ".join("".join(reader.parts).split())


def html_part(message):
    for part in message.walk():
        if part.get_content_type() == "text/html":
            return part.get_content()
    return None


def main(paths):
    status = 0
    for path in paths:
        try:
            with open(path, "rb") as f:
                message = email.message_from_binary_file(f, policy=email.policy.default)
        except OSError as error:
            print(f"{path}: cannot read: {error}")
            status = 1
            continue
        print(f"{path}")
        print(f"  Subject: {message.get('Subject', '')}")
        print(f"  To: {message.get('To', '')}")
        for name in ("x-rdz-select", "x-rdz-unselect"):
            for value in message.get_all(name, []):
                print(f"  {name}: {value}")
        body = html_part(message) or ""
        print(f"  branded: {'yes' if CLAIM in visible_text(body) else 'no'}")
        print(f"  gateway decision: {decision(message)}")
    return status


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__.strip())
        sys.exit(2)
    sys.exit(main(sys.argv[1:]))
