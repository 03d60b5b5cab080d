#!/usr/bin/env python3
"""Composes a mock-up of the whole editor from the committed images, with every control
at its place and a few sample values, to judge the artwork as a whole.

  preview.py OUT.svg [alt]    (render with rsvg-convert; see preview.sh)

With "alt" the buttons are shown off (the play button as under the mouse), the switch in
its second state and the wave picture at its last frame.
"""
import base64
import math
import sys

IMG = "img/"


def uri(name):
    with open(IMG + name, "rb") as f:
        return "data:image/png;base64," + base64.b64encode(f.read()).decode()


def crop(name, sx, sy, w, h, dx, dy, opacity=1.0, rotate=None):
    """Draws the (sx, sy, w, h) part of an image at (dx, dy), optionally turned about its centre."""
    tr = f' transform="rotate({rotate[0]} {rotate[1]} {rotate[2]})"' if rotate else ""
    return (f'<g{tr} opacity="{opacity}"><svg x="{dx}" y="{dy}" width="{w}" height="{h}" '
            f'viewBox="{sx} {sy} {w} {h}"><image href="{uri(name)}" x="0" y="0"/></svg></g>\n')


def knob(name, size, cx, cy, value):
    angle = 300 * (value - 0.5)
    x, y = cx - size // 2, cy - size // 2
    return crop(name, size, 0, size, size, x, y) + crop(name, 0, 0, size, size, x, y,
                                                        rotate=(angle, cx, cy))


def vslider(rect, p, bar=True):
    L, T, R, B = rect
    cx = (L + R) / 2
    travel = 58 - 16
    out = ""
    if bar:
        d = travel * (1 - p)
        out += (f'<rect x="{round(cx - 1)}" y="{T + d + 8}" width="2" '
                f'height="{T + travel + 16 - 1 - (T + d + 8)}" fill="rgb(66,110,170)"/>\n')
    out += crop("slider_vert.png", 0, 0, 16, 16, round(cx - 8), round(T + travel * (1 - p)), 0.8)
    return out


def hslider(rect, p):
    L, T, R, B = rect
    cx = (L + R) / 2
    tl = round(cx - 31)
    return crop("slider.png", 0, 0, 16, 16, round(tl + 46 * p), T, 0.8)


def text(x, y, s, size, alpha, anchor):
    return (f'<text x="{x}" y="{y}" font-family="Liberation Sans" font-size="{size}" '
            f'fill="#ffffff" fill-opacity="{alpha / 255:.3f}" text-anchor="{anchor}">{s}</text>\n')


def curve(L, T, R, B, pts_fn):
    pl, pt, pr, pb = L + 6, T + 7, R - 36, B - 7
    W = pr - pl
    pts = [(pl + c, pb - (pb - pt) * pts_fn(c / W)) for c in range(W + 1)]
    d = "M" + " L".join(f"{x:.1f} {y:.1f}" for x, y in pts)
    return (f'<path d="{d}" fill="none" stroke="rgb(180,180,180)" stroke-width="2.2"/>\n'
            f'<circle cx="{pts[0][0]}" cy="{pts[0][1]}" r="5" fill="rgb(180,180,180)"/>\n'
            f'<circle cx="{pts[-1][0]}" cy="{pts[-1][1]:.1f}" r="5" fill="rgb(180,180,180)"/>\n')


def env(a, t, c, u):
    return a + (t - a) * (math.exp(c * u) - 1) / (math.exp(c) - 1)


def vol(u):
    segs = [(0, .25, 0, .5, 4), (.25, .5, .5, 1, -4), (.5, .75, 1, .5, 4), (.75, 1, .5, 0, -4)]
    for s0, s1, a, t, c in segs:
        if u <= s1:
            return env(a, t, c, (u - s0) / (s1 - s0))
    return 0


def main(out, alt):
    b = f'<image href="{uri("bg.png")}" x="0" y="0"/>\n'
    b += text(50, 25, "v1.00 i", 13, 100, "start").replace("Liberation Sans", "DejaVu Sans")
    b += text(300, 72, "Isochronic: 11.00Hz", 14, 160, "middle")
    b += text(268, 187, "ALPHA", 15, 200, "end")
    b += knob("knob.png", 92, 300, 242, 0.105)
    b += knob("knob2.png", 64, 165, 155, 0.0)
    b += knob("knob2.png", 64, 435, 155, 0.39)
    b += knob("knob3.png", 48, 111, 263, 0.58)
    b += knob("knob3.png", 48, 537, 263, 0.5)
    for rect, p in (((29, 135, 45, 193), 0.5), ((55, 135, 71, 193), 0.8), ((81, 135, 97, 193), 0.3)):
        b += vslider(rect, p)
    b += hslider((32, 198, 94, 214), 0.5)
    b += hslider((435, 225, 497, 241), 0.6)
    b += hslider((435, 258, 497, 274), 6 / 15)
    wave = 6 if alt else 3
    b += crop("waves.png", 0, 35 * wave, 54, 35, 498, 145)
    b += vslider((556, 135, 572, 193), wave / 6, bar=False)
    b += crop("but_play.png", 0, 0, 32, 41, 144, 223, 0.1 if alt else 1.0)
    if not alt:
        b += crop("but_ig.png", 0, 0, 35, 36, 496, 185)
    b += crop("gph_show.png", 0, 16 if alt else 0, 57, 16, 213, 445)
    b += curve(13, 294, 299, 442, lambda u: env(0, 1, 3, u))
    b += curve(303, 294, 589, 442, vol)
    b += crop("preset.png", 0, 0, 27, 27, 589 - 27, 294 + 60)
    for i in range(7):
        p = (i + 0.4) / 7
        b += (f'<circle cx="297" cy="{136 - 42 * p:.1f}" r="2" fill="#fff" '
              f'fill-opacity="{0.6 * min(1, p * 5):.2f}"/>\n')
    with open(out, "w") as f:
        f.write('<svg xmlns="http://www.w3.org/2000/svg" width="600" height="475">\n' + b + "</svg>\n")


if __name__ == "__main__":
    main(sys.argv[1], len(sys.argv) > 2)
