#!/usr/bin/python3
"""Turns the API reference (Markdown) into one self-contained HTML page."""
import sys

import markdown

PAGE = """<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>{title}</title>
<style>
body {{ font-family: sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em; line-height: 1.4; }}
table {{ border-collapse: collapse; margin: 1em 0; }}
th, td {{ border: 1px solid #999; padding: 0.2em 0.5em; vertical-align: top; text-align: left; }}
th {{ background: #eee; }}
code, pre {{ background: #f4f4f4; }}
pre {{ padding: 0.5em; overflow-x: auto; }}
</style></head>
<body>
{body}
</body></html>
"""


def main(source, output):
    with open(source, encoding="utf-8") as f:
        text = f.read()
    md = markdown.Markdown(extensions=["tables", "fenced_code", "toc"])
    body = md.convert(text)
    title = next((line[2:].strip() for line in text.splitlines() if line.startswith("# ")), "API reference")
    with open(output, "w", encoding="utf-8") as f:
        f.write(PAGE.format(title=title, body=body))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: api_html.py <api.md> <api.html>")
    main(sys.argv[1], sys.argv[2])
