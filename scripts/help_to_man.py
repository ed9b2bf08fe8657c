#!/usr/bin/env python3
"""Writes a manual page (roff) from a program's --help text, so that the page
and the program never tell different options.

    help_to_man.py --program build/bin/fennick-convert --name fennick-convert \
        --summary "convert video and audio files" --version 4.0 --date 2026-12-07 \
        [--section "SEE ALSO" "fennick(1)"]... --output fennick-convert.1

The help text is read in blocks separated by blank lines:
  "Usage: ..."          the synopsis (lines starting with the program's name;
                        indented lines go on the one before), then any text
                        below it is description
  "Heading:" + "  -x"   a group of options: an option line starts with two
                        blanks and "-", its term fills the columns up to 26
                        (a longer one ends at two blanks), its text goes on
                        in the lines below it
  "Exit status: ..."    the EXIT STATUS section
  anything else         a paragraph of the DESCRIPTION
"""
import argparse
import re
import subprocess
import sys

TEXT_COLUMN = 26


def escape(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text[:1] in (".", "'") else text


def term_roff(term):
    """'-o, --output-folder DIR' -> bold option names, italic value names."""
    parts = []
    for alternative in term.split(", "):
        words = alternative.split(" ", 1)
        piece = "\\fB" + escape(words[0]) + "\\fR"
        if len(words) > 1:
            piece += " \\fI" + escape(words[1]) + "\\fR"
        parts.append(piece)
    return ", ".join(parts)


def split_option_line(line):
    """'  -o, --output-folder DIR where ...' -> [term, text]. The text starts
    at column 26; a longer term ends at the first two blanks, or the line."""
    if len(line) <= TEXT_COLUMN or line[TEXT_COLUMN - 1] == " ":
        return [line[2:TEXT_COLUMN].strip(), line[TEXT_COLUMN:].strip()]
    term, _, text = line[2:].partition("  ")
    return [term.strip(), text.strip()]


def parse(help_text, name):
    synopsis, description, groups, exit_status = [], [], [], []
    blocks = [b.split("\n") for b in re.split(r"\n\s*\n", help_text.strip("\n"))]
    for lines in blocks:
        first = lines[0]
        if first.startswith("Usage:"):
            rest = [first[len("Usage:"):]] + lines[1:]
            text = []
            for line in rest:
                stripped = line.strip()
                if not stripped:
                    continue
                if stripped.startswith(name + " ") or stripped == name:
                    synopsis.append(stripped)
                elif line.startswith(" ") and synopsis and not text:
                    synopsis[-1] += " " + stripped
                else:
                    text.append(stripped)
            if text:
                description.append(" ".join(text))
        elif first.startswith("Exit status:"):
            exit_status.append(" ".join(l.strip() for l in lines)[len("Exit status:"):].strip())
        elif first.endswith(":") and not first.startswith(" ") and len(lines) > 1 and lines[1].startswith("  -"):
            options = []
            for line in lines[1:]:
                if line.startswith("  -"):
                    options.append(split_option_line(line))
                elif options:
                    options[-1][1] += " " + line.strip()
            groups.append((first[:-1], options))
        else:
            description.append(" ".join(l.strip() for l in lines))
    return synopsis, description, groups, exit_status


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--name", required=True)
    parser.add_argument("--summary", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--date", required=True)
    parser.add_argument("--section", nargs=2, action="append", default=[], metavar=("TITLE", "TEXT"))
    parser.add_argument("--output", required=True)
    args = parser.parse_args()

    help_text = subprocess.run([args.program, "--help"], check=True, capture_output=True, text=True).stdout
    synopsis, description, groups, exit_status = parse(help_text, args.name)
    if not synopsis or not groups:
        sys.exit(f"help_to_man: no usage or no options found in the --help text of {args.program}")

    out = [
        f'.TH {args.name.upper()} 1 "{args.date}" "Fennick Video Converter {args.version}" "User Commands"',
        ".SH NAME",
        f"{escape(args.name)} \\- {escape(args.summary)}",
        ".SH SYNOPSIS",
    ]
    for index, line in enumerate(synopsis):
        if index:
            out.append(".br")
        command, _, rest = line.partition(" ")
        out.append(f"\\fB{escape(command)}\\fR {escape(rest)}".rstrip())
    out.append(".SH DESCRIPTION")
    for index, paragraph in enumerate(description):
        if index:
            out.append(".PP")
        out.append(escape(paragraph))
    out.append(".SH OPTIONS")
    for heading, options in groups:
        if heading.lower() != "options":
            out.append(f".SS {escape(heading)}")
        for term, text in options:
            out += [".TP", term_roff(term), escape(text)]
    if exit_status:
        out += [".SH EXIT STATUS", escape(" ".join(exit_status))]
    for title, text in args.section:
        out += [f".SH {title.upper()}", escape(text)]
    with open(args.output, "w", encoding="utf-8") as page:
        page.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
