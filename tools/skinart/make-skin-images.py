#!/usr/bin/python3
"""Draws the installer's skin images (app/skin/img/) from vector shapes with
cairo. The PNGs are committed; run this only to change them:

    /usr/bin/python3 tools/skinart/make-skin-images.py [OUT_DIR]

Needs Debian's python3-cairo (hence /usr/bin/python3). Every image is drawn
from numbers in this file, so a colour or a size is changed here and the
images are made again, each at 1x and at 2x ("name@2x.png", for windows
at a desktop scale above 1). Strips hold the states of one control side by side
(normal, hot, pushed, disabled, ...); the skin cuts them with `source`.
"""

import math
import os
import sys

import cairo

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "app", "skin", "img")
FACE = "WenQuanYi Micro Hei"

# The palette: a night-blue window with a warm gold accent.
NIGHT = (0.055, 0.082, 0.137)
DUSK = (0.106, 0.165, 0.263)
TEAL = (0.149, 0.392, 0.478)
GOLD = (0.953, 0.757, 0.310)
GOLD_DARK = (0.710, 0.490, 0.129)
MIST = (0.820, 0.870, 0.929)


def rgb(c, a=1.0):
    return (c[0], c[1], c[2], a)


# Image pixels per skin unit of the set being drawn: 1, then 2 for the
# "name@2x.png" variants a scaled window picks. Every shape is drawn in skin
# units, so the 2x images are the same drawing, not an enlarged bitmap.
DENSITY = 1


def surface(w, h):
    s = cairo.ImageSurface(cairo.FORMAT_ARGB32, w * DENSITY, h * DENSITY)
    cr = cairo.Context(s)
    cr.scale(DENSITY, DENSITY)
    return s, cr


def rounded(cr, x, y, w, h, r):
    cr.new_sub_path()
    cr.arc(x + w - r, y + r, r, -math.pi / 2, 0)
    cr.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
    cr.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
    cr.arc(x + r, y + r, r, math.pi, 3 * math.pi / 2)
    cr.close_path()


def save(s, name):
    os.makedirs(OUT, exist_ok=True)
    if DENSITY != 1:
        stem, ext = os.path.splitext(name)
        name = "%s@%gx%s" % (stem, DENSITY, ext)
    s.write_to_png(os.path.join(OUT, name))


def ridge(cr, w, base, points, colour):
    """A mountain range: a polyline of (x fraction, height) filled down to the bottom."""
    cr.move_to(0, base)
    for fx, hgt in points:
        cr.line_to(fx * w, base - hgt)
    cr.line_to(w, base)
    cr.line_to(w, 644)
    cr.line_to(0, 644)
    cr.close_path()
    cr.set_source_rgba(*colour)
    cr.fill()


def background():
    w, h = 1090, 644
    s, cr = surface(w, h)
    sky = cairo.LinearGradient(0, 0, 0, h)
    sky.add_color_stop_rgba(0.0, *rgb(NIGHT))
    sky.add_color_stop_rgba(0.45, *rgb(DUSK))
    sky.add_color_stop_rgba(1.0, *rgb(NIGHT))
    cr.set_source(sky)
    cr.paint()
    # A low moon with a halo behind the ranges.
    halo = cairo.RadialGradient(800, 190, 10, 800, 190, 260)
    halo.add_color_stop_rgba(0, *rgb(GOLD, 0.35))
    halo.add_color_stop_rgba(1, *rgb(GOLD, 0.0))
    cr.set_source(halo)
    cr.paint()
    cr.arc(800, 190, 46, 0, 2 * math.pi)
    cr.set_source_rgba(*rgb((1.0, 0.93, 0.74), 0.95))
    cr.fill()
    # Stars, placed by a fixed rule so the picture is the same every time.
    for i in range(70):
        x = (i * 397) % w
        y = 45 + (i * 151) % 220
        r = 0.6 + (i % 3) * 0.45
        cr.arc(x, y, r, 0, 2 * math.pi)
        cr.set_source_rgba(1, 1, 1, 0.25 + (i % 4) * 0.12)
        cr.fill()
    ridge(cr, w, 330, [(0, 40), (0.12, 110), (0.22, 60), (0.35, 150), (0.46, 80), (0.6, 130), (0.74, 70),
                       (0.86, 120), (1, 60)], rgb(TEAL, 0.55))
    ridge(cr, w, 340, [(0, 20), (0.1, 60), (0.2, 30), (0.3, 85), (0.42, 40), (0.55, 75), (0.7, 35), (0.82, 70),
                       (0.93, 25), (1, 45)], rgb(DUSK, 0.95))
    # The lower panel where the controls sit.
    panel = cairo.LinearGradient(0, 330, 0, h)
    panel.add_color_stop_rgba(0, *rgb(NIGHT, 0.92))
    panel.add_color_stop_rgba(1, *rgb((0.035, 0.05, 0.09), 1.0))
    cr.rectangle(0, 330, w, h - 330)
    cr.set_source(panel)
    cr.fill()
    cr.rectangle(0, 330, w, 2)
    cr.set_source_rgba(*rgb(GOLD, 0.6))
    cr.fill()
    # The caption band.
    cr.rectangle(0, 0, w, 40)
    cr.set_source_rgba(0, 0, 0, 0.35)
    cr.fill()
    # The game's name as a logo.
    cr.select_font_face(FACE, cairo.FONT_SLANT_NORMAL, cairo.FONT_WEIGHT_BOLD)
    cr.set_font_size(60)
    text = "Tolvar Realms"
    ext = cr.text_extents(text)
    x, y = 70, 215
    cr.move_to(x + 3, y + 3)
    cr.set_source_rgba(0, 0, 0, 0.5)
    cr.show_text(text)
    grad = cairo.LinearGradient(0, y - ext.height, 0, y)
    grad.add_color_stop_rgba(0, *rgb((1.0, 0.9, 0.62)))
    grad.add_color_stop_rgba(1, *rgb(GOLD_DARK))
    cr.move_to(x, y)
    cr.set_source(grad)
    cr.show_text(text)
    cr.set_font_size(20)
    cr.move_to(x + 4, y + 38)
    cr.set_source_rgba(*rgb(MIST, 0.85))
    cr.show_text("托尔瓦王国 · 客户端安装")
    save(s, "bg.png")


def strip(name, w, h, states, draw):
    s, cr = surface(w * len(states), h)
    for i, state in enumerate(states):
        cr.save()
        cr.translate(i * w, 0)
        draw(cr, w, h, state)
        cr.restore()
    save(s, name)


def caption_button(cr, w, h, state, glyph, hot_colour):
    if state != "normal":
        rounded(cr, 2, 2, w - 4, h - 4, 4)
        cr.set_source_rgba(*rgb(hot_colour, 0.9 if state == "hot" else 0.7))
        cr.fill()
    cr.set_source_rgba(1, 1, 1, 0.9)
    cr.set_line_width(2)
    cx, cy = w / 2, h / 2
    if glyph == "close":
        cr.move_to(cx - 6, cy - 6)
        cr.line_to(cx + 6, cy + 6)
        cr.move_to(cx + 6, cy - 6)
        cr.line_to(cx - 6, cy + 6)
    else:
        cr.move_to(cx - 7, cy + 1)
        cr.line_to(cx + 7, cy + 1)
    cr.stroke()


def edition_card(cr, w, h, state):
    rounded(cr, 1, 1, w - 2, h - 2, 8)
    fills = {"normal": (DUSK, 0.85), "hot": (TEAL, 0.85), "selected": (TEAL, 1.0), "selectedhot": (TEAL, 1.0)}
    colour, alpha = fills[state]
    cr.set_source_rgba(*rgb(colour, alpha))
    cr.fill_preserve()
    selected = state.startswith("selected")
    cr.set_source_rgba(*rgb(GOLD if selected else MIST, 1.0 if selected else 0.35))
    cr.set_line_width(2 if selected else 1)
    cr.stroke()
    # The radio mark at the left.
    cr.arc(22, h / 2, 8, 0, 2 * math.pi)
    cr.set_source_rgba(*rgb(MIST, 0.9))
    cr.set_line_width(1.5)
    cr.stroke()
    if selected:
        cr.arc(22, h / 2, 4.5, 0, 2 * math.pi)
        cr.set_source_rgba(*rgb(GOLD))
        cr.fill()


def gold_button(cr, w, h, state, radius):
    rounded(cr, 1, 1, w - 2, h - 2, radius)
    top, bottom = {"normal": (GOLD, GOLD_DARK), "hot": ((1.0, 0.84, 0.45), GOLD), "pushed": (GOLD_DARK, GOLD_DARK),
                   "disabled": ((0.45, 0.47, 0.5), (0.32, 0.34, 0.38))}[state]
    g = cairo.LinearGradient(0, 0, 0, h)
    g.add_color_stop_rgba(0, *rgb(top))
    g.add_color_stop_rgba(1, *rgb(bottom))
    cr.set_source(g)
    cr.fill_preserve()
    cr.set_source_rgba(0, 0, 0, 0.35)
    cr.set_line_width(1)
    cr.stroke()


def plain_button(cr, w, h, state):
    rounded(cr, 1, 1, w - 2, h - 2, 5)
    colour = {"normal": DUSK, "hot": TEAL, "pushed": NIGHT, "disabled": (0.3, 0.32, 0.36)}[state]
    cr.set_source_rgba(*rgb(colour))
    cr.fill_preserve()
    cr.set_source_rgba(*rgb(MIST, 0.45))
    cr.set_line_width(1)
    cr.stroke()


def field():
    s, cr = surface(40, 34)
    rounded(cr, 0.5, 0.5, 39, 33, 5)
    cr.set_source_rgba(*rgb((0.97, 0.975, 0.985)))
    cr.fill_preserve()
    cr.set_source_rgba(*rgb(TEAL))
    cr.set_line_width(1)
    cr.stroke()
    save(s, "edit_bk.png")


def progress():
    s, cr = surface(40, 12)
    rounded(cr, 0, 0, 40, 12, 6)
    cr.set_source_rgba(1, 1, 1, 0.12)
    cr.fill()
    save(s, "progress_bk.png")
    s, cr = surface(40, 12)
    rounded(cr, 0, 0, 40, 12, 6)
    g = cairo.LinearGradient(0, 0, 0, 12)
    g.add_color_stop_rgba(0, *rgb((1.0, 0.86, 0.5)))
    g.add_color_stop_rgba(1, *rgb(GOLD_DARK))
    cr.set_source(g)
    cr.fill()
    save(s, "progress_fore.png")


def msgbox_background():
    w, h = 440, 230
    s, cr = surface(w, h)
    g = cairo.LinearGradient(0, 0, 0, h)
    g.add_color_stop_rgba(0, *rgb(DUSK))
    g.add_color_stop_rgba(1, *rgb(NIGHT))
    cr.set_source(g)
    cr.paint()
    cr.rectangle(0, 0, w, 35)
    cr.set_source_rgba(0, 0, 0, 0.35)
    cr.fill()
    cr.rectangle(0, 35, w, 1)
    cr.set_source_rgba(*rgb(GOLD, 0.6))
    cr.fill()
    cr.rectangle(0.5, 0.5, w - 1, h - 1)
    cr.set_source_rgba(*rgb(GOLD, 0.5))
    cr.set_line_width(1)
    cr.stroke()
    save(s, "msgbox_bg.png")


def main():
    global DENSITY
    for DENSITY in (1, 2):
        draw_all()


def draw_all():
    background()
    strip("close.png", 32, 28, ["normal", "hot", "pushed"],
          lambda cr, w, h, st: caption_button(cr, w, h, st, "close", (0.78, 0.2, 0.18)))
    strip("min.png", 32, 28, ["normal", "hot", "pushed"],
          lambda cr, w, h, st: caption_button(cr, w, h, st, "min", TEAL))
    strip("edition.png", 190, 56, ["normal", "hot", "selected", "selectedhot"], edition_card)
    strip("start.png", 220, 60, ["normal", "hot", "pushed", "disabled"],
          lambda cr, w, h, st: gold_button(cr, w, h, st, 10))
    strip("button.png", 110, 34, ["normal", "hot", "pushed", "disabled"], plain_button)
    strip("ok.png", 110, 34, ["normal", "hot", "pushed", "disabled"],
          lambda cr, w, h, st: gold_button(cr, w, h, st, 6))
    field()
    progress()
    msgbox_background()


if __name__ == "__main__":
    main()
