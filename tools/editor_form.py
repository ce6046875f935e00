#!/usr/bin/python3
"""The stand-in compose window's parser editors: an HTML body as a real HTML
parser reads it and writes it out again.

    editor_form.py html5|libxml PORT

Started by the stand-in Outlook (host/outlook/editor.cpp) under Wine, which starts
Linux programs directly. The program connects to 127.0.0.1:PORT, reads the
body as UTF-8 until the stand-in shuts its side, and answers "OK\\n" and the
parser's form, or "ERR\\n" and what went wrong (a missing package, say), then
closes. It connects before importing the parser, so that a missing package is
reported rather than waited for.

  html5  html5lib (Debian's python3-html5lib): the HTML5 parsing algorithm,
         the document serialised with every optional tag written out and
         attribute values in double quotes.
  libxml libxml2's HTML parser through lxml (Debian's python3-lxml), the
         document serialised by libxml2 as HTML.
"""
import socket
import sys


def html5_form(text):
    import html5lib
    document = html5lib.parse(text, treebuilder="etree", namespaceHTMLElements=False)
    return html5lib.serialize(document, tree="etree", omit_optional_tags=False, quote_attr_values="always")


def libxml_form(text):
    import lxml.etree
    root = lxml.etree.fromstring(text, lxml.etree.HTMLParser()) if text.strip() else None
    # libxml2 finds no document in an empty text.
    return "" if root is None else lxml.etree.tostring(root, method="html", encoding="unicode")


FORMS = {"html5": html5_form, "libxml": libxml_form}


def receive_all(connection):
    chunks = []
    while True:
        chunk = connection.recv(65536)
        if not chunk:
            return b"".join(chunks)
        chunks.append(chunk)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in FORMS:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with socket.create_connection(("127.0.0.1", int(sys.argv[2])), timeout=120) as connection:
        text = receive_all(connection).decode("utf-8", "surrogatepass")
        try:
            answer = b"OK\n" + FORMS[sys.argv[1]](text).encode("utf-8", "surrogatepass")
        except Exception as error:  # reported to the stand-in, which fails the write
            answer = f"ERR\n{sys.argv[1]}: {type(error).__name__}: {error}".encode("utf-8", "replace")
        connection.sendall(answer)
    return 0


if __name__ == "__main__":
    sys.exit(main())
