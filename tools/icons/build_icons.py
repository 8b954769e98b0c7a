#!/usr/bin/env python3
"""Renders the tree/list image strips and the application icon from Fluent UI System Icons.

Needs python3, rsvg-convert and ImageMagick's convert (apt-get install librsvg2-bin imagemagick)
and the icon set unpacked somewhere outside the repository:

    mkdir -p /tmp/fluent && cd /tmp/fluent && npm install @fluentui/svg-icons@1.1.343
    python3 tools/icons/build_icons.py /tmp/fluent/node_modules/@fluentui/svg-icons/icons

Writes resources/icons/img16_{16,24,32}.bmp, img32_{32,48,64}.bmp and quillmark.ico. The outputs
are committed, so building the program needs neither the icon set nor this script.

Strips are bottom-up 32-bit BI_RGB bitmaps, the images side by side, with straight (not
premultiplied) alpha, which is what ImageList_Add expects for ILC_COLOR32 lists.
"""
import os
import struct
import subprocess
import sys
import tempfile

IMG16_COUNT = 66
IMG32_COUNT = 37
IMG16_SIZES = (16, 24, 32)
IMG32_SIZES = (32, 48, 64)
ICO_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)

# Two-tone colours (outline, fill) from the Fluent palette for glyphs that have no colour design.
TONES = {
    "blue": ("#0F6CBD", "#CFE4FA"),
    "teal": ("#03787C", "#C2EEEF"),
    "green": ("#107C10", "#CAEAD0"),
    "amber": ("#A96D00", "#FFD66B"),
    "orange": ("#C43E1C", "#FDD5C5"),
    "purple": ("#5C2E91", "#E0D3F0"),
    "grey": ("#605E5C", "#E1DFDD"),
    "brown": ("#8E562E", "#EEDCCB"),
}

# What each image shows. Source: "name" is the set's colour design of that glyph;
# "name/tone" is its filled shape in the tone's light colour under its outline in the dark one.
# The check mark badge of the "on" document is composed in render_source.
NEUTRAL = "window/grey"
IMAGES = [
    # img16 indexes, img32 indexes, source, what it stands for
    ([0], [], "person", "User Restrictions"),
    ([2], [], "document", "tweak off: blank document"),
    ([21], [], "document+check", "tweak on: document with green check mark"),
    ([3], [0], "globe/blue", "Internet"),
    ([4], [7], "connected/teal", "Network"),
    ([5], [8], "person_key", "Login and Authentication"),
    ([6], [1], "apps_add_in/blue", "Add-Remove Programs"),
    ([7], [2], "toolbox", "Control Panel Applets"),
    ([9], [3], "print/grey", "Printers"),
    ([10], [5], "laptop", "System"),
    ([11], [4], "desktop/blue", "Display settings"),
    ([12], [6], "settings", "Control Panel"),
    ([23], [9], "image", "Active Desktop"),
    ([24], [10], "wrench_screwdriver", "Control panel restrictions"),
    ([25], [11], "folder/amber", "Desktop and Explorer"),
    ([26], [12], "window_apps/blue", "Start Menu and Taskbar"),
    ([27], [13], "document_folder", "Documents and Folders"),
    ([28], [14], "folder_person/amber", "User Folder Locations"),
    ([29], [15], "apps", "Software"),
    ([30], [16], "globe_desktop/blue", "Internet Explorer"),
    ([31], [17], "paint_brush", "Internet Explorer appearance"),
    ([32], [18], "plug_connected/teal", "Network and Connections"),
    ([33], [20], "search/blue", "Search Features"),
    ([34], [19], "shield", "Security, conferencing policies"),
    ([35], [21], "hard_drive/grey", "Drives restrictions"),
    ([36], [22], "arrow_circle_left/blue", "Internet Explorer toolbar buttons"),
    ([37], [23], "people_team", "Netmeeting"),
    ([38], [24], "contact_card", "User parameters for Netmeeting"),
    ([39], [25], "play_circle/orange", "Media Player"),
    ([40], [26], "mail", "Outlook Express"),
    ([41], [27], "chat_multiple", "Windows Messenger"),
    ([44], [30], "briefcase", "Office applications"),
    ([45], [31], "box/brown", "Windows Installer"),
    ([46], [32], "calendar_clock", "Task Scheduler"),
    ([47], [33], "storage/grey", "File System"),
    ([65], [36], "prohibited/orange", "Restrict applications users can run"),
]


def design_sizes(icons, name, style):
    sizes = []
    for n in (10, 12, 16, 20, 24, 28, 32, 48):
        if os.path.exists(os.path.join(icons, f"{name}_{n}_{style}.svg")):
            sizes.append(n)
    if not sizes:
        sys.exit(f"build_icons: no {style} design of '{name}'")
    return sizes


def pick_design(sizes, px):
    """The design drawn for px: exact, else the largest smaller one, else the smallest."""
    if px in sizes:
        return px
    smaller = [s for s in sizes if s < px]
    return max(smaller) if smaller else min(sizes)


def svg_body(path, prefix):
    """The inner markup of an SVG file and its view box size; ids made unique with prefix."""
    text = open(path, encoding="utf-8").read()
    start = text.index(">", text.index("<svg")) + 1
    end = text.rindex("</svg>")
    head = text[text.index("<svg"):start]
    box = float(head.split('viewBox="')[1].split('"')[0].split()[2])
    body = text[start:end].replace('id="', f'id="{prefix}').replace("url(#", f"url(#{prefix}")
    return body, box


def layer(icons, name, style, px, x, y, size, fill=None, key="l"):
    """One nested <svg> placing a design at (x, y) with the given size, inside a px canvas."""
    design = pick_design(design_sizes(icons, name, style), px if size == px else round(size))
    body, box = svg_body(os.path.join(icons, f"{name}_{design}_{style}.svg"), f"{key}{design}")
    paint = f' fill="{fill}"' if fill else ""
    return (f'<svg x="{x}" y="{y}" width="{size}" height="{size}" viewBox="0 0 {box} {box}"{paint}>'
            f"{body}</svg>")


def render_source(icons, source, px):
    """SVG text of one image at px pixels."""
    layers = []
    if source == "document+check":
        layers.append(layer(icons, "document", "color", px, 0, 0, px, key="d"))
        # Badge in the lower right corner, on a white disc so it stands off the page.
        badge = px * 0.625
        at = px - badge
        r = badge / 2
        layers.append(f'<circle cx="{at + r}" cy="{at + r}" r="{r}" fill="#FFFFFF"/>')
        inner = badge * 0.9
        layers.append(layer(icons, "checkmark_circle", "filled", px, at + (badge - inner) / 2,
                            at + (badge - inner) / 2, inner, fill="#107C10", key="c"))
    elif "/" in source:
        name, tone = source.split("/")
        dark, light = TONES[tone]
        layers.append(layer(icons, name, "filled", px, 0, 0, px, fill=light, key="f"))
        layers.append(layer(icons, name, "regular", px, 0, 0, px, fill=dark, key="r"))
    else:
        layers.append(layer(icons, source, "color", px, 0, 0, px))
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{px}" height="{px}" '
            f'viewBox="0 0 {px} {px}">' + "".join(layers) + "</svg>")


def render_png(icons, source, px, tmp):
    svg = os.path.join(tmp, "in.svg")
    png = os.path.join(tmp, f"out_{px}.png")
    with open(svg, "w", encoding="utf-8") as f:
        f.write(render_source(icons, source, px))
    subprocess.run(["rsvg-convert", "-w", str(px), "-h", str(px), "-o", png, svg], check=True)
    return png


def rgba_pixels(png, px):
    """Straight-alpha RGBA rows, top first."""
    raw = subprocess.run(["convert", png, "-depth", "8", "rgba:-"], check=True,
                         capture_output=True).stdout
    if len(raw) != px * px * 4:
        sys.exit(f"build_icons: {png} is not {px}x{px}")
    return [raw[y * px * 4:(y + 1) * px * 4] for y in range(px)]


def bgra_row(rgba):
    out = bytearray(len(rgba))
    out[0::4], out[1::4], out[2::4], out[3::4] = rgba[2::4], rgba[1::4], rgba[0::4], rgba[3::4]
    return bytes(out)


def write_strip(path, images, px):
    """images: list of RGBA row lists, each px by px; written as one bottom-up 32-bit BMP."""
    width = px * len(images)
    rows = []
    for y in range(px):
        rows.append(b"".join(bgra_row(img[y]) for img in images))
    bits = b"".join(reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, width, px, 1, 32, 0, len(bits), 3780, 3780, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + bits)


def ico_dib(rows, px):
    """An icon directory entry's DIB: 32-bit colour with alpha, then the 1-bit AND mask."""
    xor = b"".join(bgra_row(r) for r in reversed(rows))
    stride = ((px + 31) // 32) * 4
    mask = bytearray()
    for r in reversed(rows):
        line = bytearray(stride)
        for x in range(px):
            if r[x * 4 + 3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    info = struct.pack("<IiiHHIIiiII", 40, px, px * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + bytes(mask)


def write_ico(path, entries):
    """entries: (px, data) with data a DIB or, for 256, a PNG file's bytes."""
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for px, data in entries:
        dim = 0 if px >= 256 else px
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(d for _, d in entries))


def strip_sources(count, column):
    sources = [None] * count
    for entry in IMAGES:
        for index in entry[column]:
            if index >= count or sources[index] is not None:
                sys.exit(f"build_icons: index {index} out of range or given twice")
            sources[index] = entry[2]
    sources = [s or NEUTRAL for s in sources]
    return sources


# The application's own icon: the set's colour shield with a check mark.
APP_ICON_SOURCE = "shield_checkmark"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    icons = sys.argv[1]
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "icons")
    out = os.path.normpath(out)
    with tempfile.TemporaryDirectory() as tmp:
        for name, count, column, sizes in (("img16", IMG16_COUNT, 0, IMG16_SIZES),
                                           ("img32", IMG32_COUNT, 1, IMG32_SIZES)):
            sources = strip_sources(count, column)
            for px in sizes:
                images = [rgba_pixels(render_png(icons, s, px, tmp), px) for s in sources]
                write_strip(os.path.join(out, f"{name}_{px}.bmp"), images, px)
        entries = []
        for px in ICO_SIZES:
            png = render_png(icons, APP_ICON_SOURCE, px, tmp)
            if px >= 256:
                entries.append((px, open(png, "rb").read()))
            else:
                entries.append((px, ico_dib(rgba_pixels(png, px), px)))
        write_ico(os.path.join(out, "quillmark.ico"), entries)


if __name__ == "__main__":
    main()
