#!/usr/bin/env python3
"""Writes the SVG sources of the editor's artwork into this directory.

The drawings are described here rather than by hand because much of their geometry is
computed: the knob scales follow the 300-degree knob sweep, the wave pictures plot the
engine's own wave functions, the graphs' preset icons plot the shapes their zones load,
and every caption is placed against the control rectangles of the editor layout.
regenerate.sh runs this script and then renders the SVGs with rsvg-convert.
"""
import math
import os

OUT = os.path.dirname(os.path.abspath(__file__))

CAP = "#aab4c2"      # caption text
CAP_HI = "#dde4ee"
ACC = "#426eaa"      # slider fill colour of the editor
ACC_LT = "#7aa6e0"
GOLD = "#e0b453"
FONT = "Liberation Sans"

def svg(w, h, body, defs=""):
    return (f'<?xml version="1.0" encoding="UTF-8"?>\n'
            f'<!-- Written by make_svg.py: edit that script, then run ../regenerate.sh -->\n'
            f'<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" '
            f'width="{w}" height="{h}" viewBox="0 0 {w} {h}">\n<defs>\n{defs}</defs>\n{body}</svg>\n')

def text(x, y, s, size=8.5, anchor="middle", fill=CAP, weight="bold", spacing=1.0, family=FONT, extra=""):
    return (f'  <text x="{x}" y="{y}" font-family="{family}" font-size="{size}" font-weight="{weight}" '
            f'letter-spacing="{spacing}" text-anchor="{anchor}" fill="{fill}"{extra}>{s}</text>\n')

def f(v):
    return f"{v:.2f}".rstrip("0").rstrip(".")

# ---------------------------------------------------------------- background
def ticks(cx, cy, r0, r1, n=11, major_extra=1.5, col="#56606d", colmaj="#8894a3"):
    out = f'  <g stroke-linecap="round">\n'
    for i in range(n):
        a = math.radians(-150 + 300 * i / (n - 1))
        major = i in (0, n - 1, (n - 1) // 2)
        rr0 = r0 - (major_extra if major else 0)
        x0, y0 = cx + rr0 * math.sin(a), cy - rr0 * math.cos(a)
        x1, y1 = cx + r1 * math.sin(a), cy - r1 * math.cos(a)
        out += (f'    <line x1="{f(x0)}" y1="{f(y0)}" x2="{f(x1)}" y2="{f(y1)}" '
                f'stroke="{colmaj if major else col}" stroke-width="{1.4 if major else 1}"/>\n')
    return out + '  </g>\n'

def range_marks(cx, cy, r, lo, hi):
    """Small end-of-range figures just outside the first and last tick."""
    dx, dy = r * math.sin(math.radians(150)), r * math.cos(math.radians(150))
    return (text(f(cx - dx - 1), f(cy - dy + 5), lo, size=6.5, fill="#6a7584", weight="normal", spacing=0.3)
            + text(f(cx + dx + 2), f(cy - dy + 5), hi, size=6.5, fill="#6a7584", weight="normal", spacing=0.3))

def plate(x0, y0, x1, y1):
    return (f'  <rect x="{x0+.5}" y="{y0+.5}" width="{x1-x0-1}" height="{y1-y0-1}" rx="5" '
            f'fill="url(#plate)" stroke="#0a0c0f"/>\n'
            f'  <path d="M{x0+5} {y0+1.5}H{x1-5}" stroke="#ffffff" stroke-opacity="0.07"/>\n')

def inset(x0, y0, x1, y1, rx=3, fill="#0b0e12"):
    return (f'  <rect x="{x0+.5}" y="{y0+.5}" width="{x1-x0-1}" height="{y1-y0-1}" rx="{rx}" '
            f'fill="{fill}" stroke="#05070a"/>\n'
            f'  <path d="M{x0+rx} {y1+.5}H{x1-rx}" stroke="#ffffff" stroke-opacity="0.08"/>\n')

def vgroove(cx, y0, y1):
    return (f'  <rect x="{cx-2.5}" y="{y0-1}" width="5" height="{y1-y0+2}" rx="2.5" fill="#06080a" '
            f'stroke="#000" stroke-opacity="0.6"/>\n'
            f'  <path d="M{cx-2} {y1+1.5}H{cx+2}" stroke="#fff" stroke-opacity="0.09"/>\n')

def hgroove(x0, x1, cy):
    return (f'  <rect x="{x0-1}" y="{cy-2}" width="{x1-x0+2}" height="4" rx="2" fill="#06080a" '
            f'stroke="#000" stroke-opacity="0.6"/>\n'
            f'  <path d="M{x0} {cy+2.6}H{x1}" stroke="#fff" stroke-opacity="0.08"/>\n')

def env_curve(a, t, c, u):
    if abs(c) < 1e-4:
        return a + (t - a) * u
    return a + (t - a) * (math.exp(c * u) - 1) / (math.exp(c) - 1)

def path_from(points):
    return "M" + " L".join(f"{f(x)} {f(y)}" for x, y in points)

def zone_icons(R, T, freq):
    out = ""
    for k in range(5):
        cx, cy = R - 13.5, T + 13.5 + 30 * k
        x0, x1, y0, y1 = cx - 8, cx + 8, cy - 7, cy + 7
        out += (f'  <rect x="{f(cx-11)}" y="{f(cy-11)}" width="22" height="22" rx="3" fill="#12161c" '
                f'stroke="#232a34"/>\n')
        pts = []
        if freq:
            c = [-6, -3, 0, 3, 6][k]
            for i in range(41):
                u = i / 40
                pts.append((x0 + 16 * u, y1 - 14 * env_curve(0, 1, c, u)))
        else:
            p1, p3 = [(0.35, 0.65), (0.3, 0.7), (0.25, 0.75), (0.2, 0.8), (0.15, 0.85)][k]
            segs = [(0, p1, 0, .5, 4), (p1, .5, .5, 1, -4), (.5, p3, 1, .5, 4), (p3, 1, .5, 0, -4)]
            for s0, s1, a, t, c in segs:
                for i in range(21):
                    u = i / 20
                    pts.append((x0 + 16 * (s0 + (s1 - s0) * u), y1 - 14 * env_curve(a, t, c, u)))
        out += (f'  <path d="{path_from(pts)}" fill="none" stroke="#7d8a9b" stroke-width="1.3" '
                f'stroke-linejoin="round" stroke-linecap="round"/>\n')
    return out

def graph_panel(L, T, R, B, freq, title):
    pl, pt, pr, pb = L + 6, T + 7, R - 36, B - 7
    out = f'  <!-- {title} graph -->\n'
    out += (f'  <rect x="{L-1.5}" y="{T-1.5}" width="{R-L+3}" height="{B-T+3}" rx="3" fill="#07090c" '
            f'stroke="#040506"/>\n'
            f'  <rect x="{L+.5}" y="{T+.5}" width="{R-L-1}" height="{B-T-1}" fill="url(#graphbg)" '
            f'stroke="#2a323d"/>\n')
    # plot grid: quarters of the range, eighths of the cycle
    out += '  <g stroke="#1b222b" stroke-width="1">\n'
    for i in range(1, 4):
        y = round(pb - (pb - pt) * i / 4) + .5
        out += f'    <path d="M{pl} {y}H{pr}"/>\n'
    for i in range(1, 8):
        x = round(pl + (pr - pl) * i / 8) + .5
        out += f'    <path d="M{x} {pt}V{pb}"/>\n'
    out += '  </g>\n'
    out += (f'  <path d="M{pl} {pt+.5}H{pr}M{pl} {pb-.5}H{pr}" stroke="#26303b" stroke-dasharray="2 2"/>\n')
    # strip under the plot where the tone windows are drawn
    out += f'  <rect x="{L+1}" y="{pb}" width="{R-L-2}" height="{B-pb-1}" fill="#0d1116"/>\n'
    # preset column
    out += (f'  <path d="M{R-32.5} {T+4}V{B-4}" stroke="#222a34"/>\n')
    out += zone_icons(R, T, freq)
    return out

def bg():
    d = '''  <linearGradient id="panel" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#1d222a"/><stop offset="1" stop-color="#12151a"/>
  </linearGradient>
  <linearGradient id="plate" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#262c35"/><stop offset="1" stop-color="#1b1f26"/>
  </linearGradient>
  <linearGradient id="header" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#15181d"/><stop offset="1" stop-color="#0d0f13"/>
  </linearGradient>
  <linearGradient id="graphbg" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#0f1319"/><stop offset="1" stop-color="#0a0d11"/>
  </linearGradient>
  <linearGradient id="accentline" x1="0" y1="0" x2="1" y2="0">
    <stop offset="0" stop-color="#426eaa" stop-opacity="0"/>
    <stop offset="0.3" stop-color="#426eaa" stop-opacity="0.9"/>
    <stop offset="0.7" stop-color="#d4a64a" stop-opacity="0.8"/>
    <stop offset="1" stop-color="#d4a64a" stop-opacity="0"/>
  </linearGradient>
  <linearGradient id="btnface" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#2c323b"/><stop offset="1" stop-color="#1a1e24"/>
  </linearGradient>
  <radialGradient id="lfoglow" cx="0.5" cy="1" r="0.9">
    <stop offset="0" stop-color="#426eaa" stop-opacity="0.25"/><stop offset="1" stop-color="#426eaa" stop-opacity="0"/>
  </radialGradient>
'''
    b = '  <rect width="600" height="475" fill="url(#panel)"/>\n'
    # header
    b += '  <!-- header: version label at (50,12)-(95,30), title over the product-page area -->\n'
    b += '  <rect width="600" height="50" fill="url(#header)"/>\n'
    b += '  <rect y="50" width="600" height="1" fill="url(#accentline)"/>\n'
    b += '  <rect y="51" width="600" height="1" fill="#000" fill-opacity="0.5"/>\n'
    # logo mark: a pulse inside a ring
    b += ('  <g transform="translate(29 25)" fill="none" stroke-linecap="round">\n'
          '    <circle r="13" stroke="#426eaa" stroke-width="1.6"/>\n'
          '    <circle r="13" stroke="#d4a64a" stroke-width="1.6" stroke-dasharray="16 66" transform="rotate(-90)"/>\n')
    pts = [(-9 + 18 * i / 40, -6 * math.sin(2 * math.pi * 1.5 * i / 40) * math.sin(math.pi * i / 40)) for i in range(41)]
    b += f'    <path d="{path_from(pts)}" stroke="#dde4ee" stroke-width="1.5"/>\n  </g>\n'
    b += text(247, 34, "Caldrith", size=31, fill="#eef2f7", weight="200", spacing=5, family="DejaVu Sans")
    b += text(248, 46, "ISOCHRONIC TONE GENERATOR", size=6.5, fill="#6f9bd6", spacing=2.6)
    # rising tone stack motif on the right of the header
    b += '  <g stroke-linecap="round" stroke-width="1.6">\n'
    for i in range(9):
        x = 392 + 22 * i
        op = 0.15 + 0.75 * math.sin(math.pi * (i + 0.5) / 9) ** 2
        col = "#426eaa" if i % 2 == 0 else "#7aa6e0"
        b += f'    <path d="M{x} 41L{x+34} 11" stroke="{col}" stroke-opacity="{op:.2f}"/>\n'
    b += '  </g>\n'
    # status display
    b += '  <!-- status line (200,58)-(400,76) -->\n'
    b += inset(196, 56, 404, 78, rx=4, fill="#080a0d")
    # plates
    b += plate(8, 84, 198, 288) + plate(202, 84, 398, 288) + plate(402, 84, 592, 288)
    b += plate(8, 291, 592, 470)

    # ---- left plate: balance sliders, low freq, spread, rate, play anyway
    b += '  <!-- balance sliders: tracks (29,135)-(45,193), (55,..), (81,..) -->\n'
    b += text(63, 117, "BALANCE", size=7.5, fill="#7f8a99", spacing=1.6)
    b += '  <path d="M21 114.5H36M90 114.5H105" stroke="#3a434f"/>\n'
    for cx, name in ((37, "LOW"), (63, "MID"), (89, "HIGH")):
        b += text(cx, 131, name, size=7.5)
        b += vgroove(cx, 143, 192)
        for yy in (143, 167.5, 192):
            b += f'  <path d="M{cx-9} {yy}H{cx-6}" stroke="#4a5462"/>\n'
    b += '  <!-- low freq knob, centre (165,155) -->\n'
    b += text(165, 117, "LOW FREQ")
    b += ticks(165, 155, 26.5, 30)
    b += range_marks(165, 155, 33, "5", "10k")
    b += '  <!-- spread slider (32,198)-(94,214) -->\n'
    b += hgroove(40, 86, 206)
    b += '  <path d="M40 211V213M63 211V213M86 211V213" stroke="#4a5462"/>\n'
    b += text(100, 209.5, "SPREAD", anchor="start")
    b += '  <!-- rate knob, centre (111,263) -->\n'
    b += text(111, 234, "RATE")
    b += ticks(111, 263, 20, 23)
    b += '  <!-- play anyway button (144,223)-(176,264) -->\n'
    b += play_button(144, 223, lit=False)
    b += text(160, 280, "PLAY ANYWAY", size=7.5, spacing=0.8)

    # ---- centre plate: sweep direction, status, band, isochronic knob
    b += '  <!-- sweep direction graph (274,92)-(320,138) -->\n'
    b += ('  <rect x="271.5" y="89.5" width="51" height="51" rx="4" fill="#07090c" stroke="#040506"/>\n'
          '  <rect x="274.5" y="92.5" width="45" height="45" fill="#0b0e12" stroke="#2a323d"/>\n'
          '  <rect x="275" y="93" width="44" height="44" fill="url(#lfoglow)"/>\n'
          '  <path d="M297.5 95V135" stroke="#1f2731"/>\n'
          '  <path d="M282 115.5H285M310 115.5H313" stroke="#1f2731"/>\n')
    # chevrons either side: the direction can be swapped
    b += ('  <g fill="none" stroke="#5d6a7a" stroke-width="1.4" stroke-linecap="round" stroke-linejoin="round">\n'
          '    <path d="M259 108L263 104L267 108M259 113L263 109L267 113"/>\n'
          '    <path d="M327 117L331 121L335 117M327 122L331 126L335 122"/>\n  </g>\n')
    b += text(297, 151, "SWEEP", size=7, fill="#7f8a99", spacing=1.6)
    b += '  <!-- band label (204,172)-(268,190), right-aligned -->\n'
    b += inset(202, 171, 272, 192, rx=3, fill="#080a0d")
    b += text(206, 168, "BAND", size=6.5, anchor="start", fill="#6a7584", spacing=1.2)
    b += '  <!-- isochronic knob, centre (300,242) -->\n'
    b += text(300, 169, "ISOCHRONIC", size=10.5, fill=CAP_HI, spacing=1.6)
    b += ticks(300, 242, 40.5, 45, n=21, major_extra=2)
    b += text(262, 287, "0.01", size=6.5, fill="#6a7584", weight="normal", spacing=0.3)
    b += text(338, 287, "1000 Hz", size=6.5, fill="#6a7584", weight="normal", spacing=0.3)

    # ---- right plate: high freq, wave, pulse type, mix, tones, volume
    b += '  <!-- high freq knob, centre (435,155) -->\n'
    b += text(435, 117, "HIGH FREQ")
    b += ticks(435, 155, 26.5, 30)
    b += range_marks(435, 155, 33, "5", "10k")
    b += '  <!-- wave picture (498,145)-(552,180) and wave slider (556,135)-(572,193) -->\n'
    b += text(535, 131, "WAVE")
    b += inset(495, 142, 555, 183, rx=3, fill="#080a0d")
    b += vgroove(564, 143, 185)
    for k in range(7):
        yy = 135 + 8 + 42 * (1 - k / 6)
        b += f'  <path d="M574 {f(yy)}H{578 if k % 3 == 0 else 576.5}" stroke="#5d6a7a"/>\n'
    b += '  <!-- pulse type button (496,185)-(531,221) -->\n'
    b += golden_button(496, 185, lit=False)
    b += text(492, 201, "PULSE", size=7.5, anchor="end", spacing=0.8)
    b += text(492, 211, "TYPE", size=7.5, anchor="end", spacing=0.8)
    b += '  <!-- isochronic mix (435,225)-(497,241) and tones (435,258)-(497,274) sliders -->\n'
    b += hgroove(443, 489, 233)
    b += hgroove(443, 489, 266)
    b += '  <path d="M443 238V240M466 238V240M489 238V240" stroke="#4a5462"/>\n'
    b += '  <g stroke="#4a5462">\n'
    for i in range(16):
        x = 443 + 46 * i / 15
        b += f'    <path d="M{f(round(x)+.5)} 271V{273 if i in (0, 15) else 272}"/>\n'
    b += '  </g>\n'
    b += text(436, 236.5, "MIX", anchor="end", size=8, spacing=0.6)
    b += text(436, 269.5, "TONES", anchor="end", size=8, spacing=0.6)
    b += '  <!-- volume knob, centre (537,263) -->\n'
    b += text(537, 234, "VOLUME")
    b += ticks(537, 263, 20, 23)

    # ---- graphs
    b += graph_panel(13, 294, 299, 442, True, "frequency")
    b += graph_panel(303, 294, 589, 442, False, "volume")
    b += '  <!-- graph captions and the frequency-graph switch at (202,445)-(280,461) -->\n'
    b += text(18, 457, "FREQUENCY SWEEP", anchor="start", size=8.5, fill=CAP_HI, spacing=1.4)
    b += text(208, 457, "LFO POS", anchor="end", size=7.5)
    b += text(275, 457, "REAL FREQ", anchor="start", size=7.5)
    b += text(584, 457, "VOLUME ENVELOPE", anchor="end", size=8.5, fill=CAP_HI, spacing=1.4)
    return svg(600, 475, b, d)

# ---------------------------------------------------------------- buttons
def play_button(x, y, lit):
    """32 x 41: an indicator lamp over a square key with a play symbol."""
    s = f'  <g transform="translate({x} {y})">\n'
    s += ('    <rect x="0.5" y="9.5" width="31" height="31" rx="4" fill="#07090c"/>\n'
          '    <rect x="1.5" y="10.5" width="29" height="29" rx="3.5" fill="url(#btnface)" stroke="#3b434e"/>\n'
          '    <path d="M5 11.5H27" stroke="#fff" stroke-opacity="0.12"/>\n')
    if lit:
        s += ('    <rect x="1.5" y="10.5" width="29" height="29" rx="3.5" fill="url(#btnlit)" stroke="#5f8fd0"/>\n'
              '    <path d="M12.5 18.5L22.5 25L12.5 31.5Z" fill="#e9f1fb" stroke="#bcd4f2" stroke-linejoin="round" filter="url(#glow)"/>\n'
              '    <rect x="9" y="2" width="14" height="4" rx="2" fill="#9cc4ff" filter="url(#glow)"/>\n'
              '    <rect x="10" y="2.5" width="12" height="3" rx="1.5" fill="#e4efff"/>\n')
    else:
        s += ('    <path d="M12.5 18.5L22.5 25L12.5 31.5Z" fill="#5a6472" stroke="#6b7584" stroke-linejoin="round"/>\n'
              '    <rect x="8.5" y="1.5" width="15" height="5" rx="2.5" fill="#0a0c0f" stroke="#000"/>\n'
              '    <rect x="10" y="2.5" width="12" height="3" rx="1.5" fill="#1d2a3b"/>\n')
    return s + '  </g>\n'

def golden_button(x, y, lit):
    """35 x 36: a key showing the golden ratio sign, lit when the golden pulse is chosen."""
    s = f'  <g transform="translate({x} {y})">\n'
    s += ('    <rect x="0.5" y="0.5" width="34" height="35" rx="4" fill="#07090c"/>\n'
          '    <rect x="1.5" y="1.5" width="32" height="33" rx="3.5" fill="url(#btnface)" stroke="#3b434e"/>\n'
          '    <path d="M5 2.5H30" stroke="#fff" stroke-opacity="0.12"/>\n')
    phi = ('<ellipse cx="17.5" cy="15" rx="6.5" ry="5" fill="none" stroke-width="1.8"/>'
           '<path d="M17.5 6.5V23.5" stroke-width="1.8" stroke-linecap="round"/>')
    if lit:
        s += ('    <rect x="1.5" y="1.5" width="32" height="33" rx="3.5" fill="url(#btngold)" stroke="#c99a3c"/>\n'
              f'    <g stroke="#ffe2a0" filter="url(#glow)">{phi}</g>\n'
              f'    <g stroke="#fff4d6">{phi}</g>\n')
        s += text(17.5, 31, "GOLDEN", size=6.2, fill="#ffe7b0", spacing=0.4).replace("  <text", "    <text")
    else:
        s += f'    <g stroke="#6b7584">{phi}</g>\n'
        s += text(17.5, 31, "GOLDEN", size=6.2, fill="#6b7584", spacing=0.4).replace("  <text", "    <text")
    return s + '  </g>\n'

BTN_DEFS = '''  <linearGradient id="btnface" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#2c323b"/><stop offset="1" stop-color="#1a1e24"/>
  </linearGradient>
  <linearGradient id="btnlit" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#4d7dbf"/><stop offset="1" stop-color="#2b4f82"/>
  </linearGradient>
  <linearGradient id="btngold" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#8a6a2a"/><stop offset="1" stop-color="#54401a"/>
  </linearGradient>
  <filter id="glow" x="-50%" y="-50%" width="200%" height="200%">
    <feGaussianBlur stdDeviation="1.4"/>
  </filter>
'''

def but_play():
    return svg(32, 41, play_button(0, 0, lit=True), BTN_DEFS)

def but_ig():
    return svg(35, 36, golden_button(0, 0, lit=True), BTN_DEFS)

# ---------------------------------------------------------------- knobs
def knob(size, body, face, ridge_in, ptr0, ptr1, ptr_w, n_ridges, halo=False):
    """Two halves side by side: left = the part that turns (grip ridges and pointer),
    right = the part that stays (shadow, lit body), both centred in their half."""
    c = size / 2
    d = f'''  <radialGradient id="shadow" cx="0.5" cy="0.5" r="0.5">
    <stop offset="0.78" stop-color="#000" stop-opacity="0.7"/><stop offset="1" stop-color="#000" stop-opacity="0"/>
  </radialGradient>
  <linearGradient id="body" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#4a525e"/><stop offset="0.5" stop-color="#2a3038"/><stop offset="1" stop-color="#15181d"/>
  </linearGradient>
  <linearGradient id="face" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#1c2026"/><stop offset="1" stop-color="#30363f"/>
  </linearGradient>
  <radialGradient id="sheen" cx="0.35" cy="0.25" r="0.8">
    <stop offset="0" stop-color="#fff" stop-opacity="0.16"/><stop offset="0.6" stop-color="#fff" stop-opacity="0"/>
  </radialGradient>
  <filter id="pglow" x="-50%" y="-50%" width="200%" height="200%"><feGaussianBlur stdDeviation="{max(0.8, ptr_w*0.45):.2f}"/></filter>
'''
    # left half: turning parts
    b = f'  <g transform="translate({c} {c})">\n'
    b += f'    <g stroke="#0b0d10" stroke-opacity="0.75" stroke-width="{max(1.0, size/70):.2f}">\n'
    for i in range(n_ridges):
        a = 2 * math.pi * i / n_ridges
        x0, y0 = ridge_in * math.sin(a), -ridge_in * math.cos(a)
        x1, y1 = (body - 0.8) * math.sin(a), -(body - 0.8) * math.cos(a)
        b += f'      <line x1="{f(x0)}" y1="{f(y0)}" x2="{f(x1)}" y2="{f(y1)}"/>\n'
    b += '    </g>\n'
    b += (f'    <line x1="0" y1="{-ptr0}" x2="0" y2="{-ptr1}" stroke="{ACC_LT}" stroke-width="{ptr_w*1.6:.2f}" '
          f'stroke-linecap="round" filter="url(#pglow)"/>\n'
          f'    <line x1="0" y1="{-ptr0}" x2="0" y2="{-ptr1}" stroke="#eef4fb" stroke-width="{ptr_w}" stroke-linecap="round"/>\n')
    b += '  </g>\n'
    # right half: fixed parts
    b += f'  <g transform="translate({size + c} {c})">\n'
    b += f'    <circle cy="{size*0.03:.2f}" r="{body + size*0.07:.2f}" fill="url(#shadow)"/>\n'
    if halo:
        # the main knob sits in a faint ring of light
        b += (f'    <circle r="{body + 2}" fill="none" stroke="{ACC}" stroke-opacity="0.55" '
              f'stroke-width="2" filter="url(#pglow)"/>\n')
    b += f'    <circle r="{body}" fill="url(#body)" stroke="#08090b" stroke-width="1"/>\n'
    b += f'    <circle r="{body - 0.9:.2f}" fill="none" stroke="#fff" stroke-opacity="0.10"/>\n'
    b += f'    <circle r="{face}" fill="url(#face)" stroke="#0e1014" stroke-width="1"/>\n'
    b += f'    <circle r="{face}" fill="url(#sheen)"/>\n'
    # fine concentric turning marks on the cap; they look the same at every angle
    b += f'    <g fill="none" stroke="#fff" stroke-opacity="0.035">\n'
    for frac in (0.3, 0.5, 0.68, 0.84):
        b += f'      <circle r="{face * frac:.2f}"/>\n'
    b += '    </g>\n'
    b += '  </g>\n'
    return svg(2 * size, size, b, d)

# ---------------------------------------------------------------- slider handles
HANDLE_DEFS = '''  <linearGradient id="cap" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#d9dee5"/><stop offset="0.5" stop-color="#9aa3ae"/><stop offset="1" stop-color="#5d6570"/>
  </linearGradient>
'''

def slider_vert():
    b = ('  <rect x="0.5" y="3" width="15" height="11" rx="2.5" fill="#000" fill-opacity="0.45"/>\n'
         '  <rect x="1" y="2.5" width="14" height="10.5" rx="2.5" fill="url(#cap)" stroke="#1a1d22" stroke-width="0.8"/>\n'
         '  <path d="M2.5 7.75H13.5" stroke="#2e5a94" stroke-width="1.6" stroke-linecap="round"/>\n'
         '  <path d="M3 4H13" stroke="#fff" stroke-opacity="0.5" stroke-width="0.7"/>\n')
    return svg(16, 16, b, HANDLE_DEFS)

def slider_h():
    b = ('  <rect x="3" y="0.5" width="11" height="15" rx="2.5" fill="#000" fill-opacity="0.45"/>\n'
         '  <rect x="2.5" y="0.8" width="11" height="14" rx="2.5" fill="url(#cap)" stroke="#1a1d22" stroke-width="0.8"/>\n'
         '  <path d="M8 2.5V13.3" stroke="#2e5a94" stroke-width="1.6" stroke-linecap="round"/>\n'
         '  <path d="M4 2H12" stroke="#fff" stroke-opacity="0.5" stroke-width="0.7"/>\n')
    return svg(16, 16, b, HANDLE_DEFS)

# ---------------------------------------------------------------- switch
def gph_show():
    d = '''  <linearGradient id="lever" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#c9d0d9"/><stop offset="1" stop-color="#6c7580"/>
  </linearGradient>
  <filter id="glow" x="-50%" y="-50%" width="200%" height="200%"><feGaussianBlur stdDeviation="1"/></filter>
'''
    b = ''
    for k in range(2):
        y = 16 * k
        b += f'  <g transform="translate(0 {y})">\n'
        b += ('    <rect x="0.5" y="1.5" width="56" height="13" rx="6.5" fill="#07090c" stroke="#38404b"/>\n'
              '    <path d="M7 13.8H50" stroke="#fff" stroke-opacity="0.07"/>\n')
        lx = 2 if k == 0 else 29
        b += (f'    <rect x="{lx}" y="3" width="26" height="10" rx="5" fill="url(#lever)" stroke="#1a1d22" stroke-width="0.8"/>\n'
              f'    <circle cx="{lx+13}" cy="8" r="2.2" fill="{ACC_LT}" filter="url(#glow)"/>\n'
              f'    <circle cx="{lx+13}" cy="8" r="1.5" fill="#e8f1fc"/>\n')
        b += '  </g>\n'
    return svg(57, 32, b, d)

# ---------------------------------------------------------------- preset highlight
def preset():
    b = ('  <rect x="1.5" y="1.5" width="24" height="24" rx="4" fill="#426eaa" fill-opacity="0.22" '
         'stroke="#7aa6e0" stroke-width="1.2"/>\n'
         '  <rect x="0.5" y="0.5" width="26" height="26" rx="5" fill="none" stroke="#7aa6e0" stroke-opacity="0.3"/>\n')
    return svg(27, 27, b)

# ---------------------------------------------------------------- waves
G = 0.6179999709129333
TWO_PI = 2 * math.pi

def wave(k, x):
    def wrap(v):
        return v - TWO_PI if v > TWO_PI else v
    if k == 0:
        return math.sin(x)
    if k == 1:
        t = wrap(x + math.pi / 2); y = t * (1 / (math.pi / 2))
        return 3 - y if t >= math.pi else y - 1
    if k == 2:
        t = wrap(x + math.pi); return t / math.pi - 1
    if k == 3:
        B = (1 - G) * TWO_PI; C1 = 0.5 / (1 - G); C2 = 0.5 / G; D = (1 - 2 * (1 - G)) * math.pi / G
        t = x - G * math.pi
        if t < 0: t += TWO_PI
        w = t * C1 if t < B else t * C2 + D
        return math.sin(w + math.pi / 2)
    if k == 4:
        B = G * TWO_PI; C1 = 0.25 / G; C2 = 0.25 / (1 - G); D = (1 - 2 * G) * math.pi / (1 - G) * 0.5
        t = wrap(x + 1.294336264)
        w = t * C1 if t < B else t * C2 + D
        return 2 * math.sin(w) - 1
    if k == 5:
        B = G * TWO_PI; C1 = 2 / (G * TWO_PI); C2 = (G + 1) / (1 - G); D = (1 / math.pi) / (1 - G)
        t = wrap(x + 1.941504077)
        return t * C1 - 1 if t < B else C2 - t * D
    return 1.0 if x < G * TWO_PI else -1.0

WAVE_LABELS = ["SINE", "TRIANGLE", "SAW", "GOLDEN SINE", "GOLD. HALF", "GOLD. TRI", "GOLD. SQUARE"]

def waves():
    d = '''  <filter id="glow" x="-20%" y="-50%" width="140%" height="200%"><feGaussianBlur stdDeviation="1.1"/></filter>
'''
    b = ''
    x0, x1, amp = 5.0, 49.0, 8.5
    for k in range(7):
        top = 35 * k
        cy = top + 13.5
        golden = k >= 3
        col = "#f1cf85" if golden else "#a9c8f0"
        glow = GOLD if golden else ACC_LT
        pts = []
        n = 440
        for i in range(n + 1):
            u = i / n
            ph = (2 * TWO_PI * u) % TWO_PI
            pts.append((x0 + (x1 - x0) * u, cy - amp * wave(k, ph)))
        p = path_from(pts)
        b += f'  <g><!-- {WAVE_LABELS[k]} -->\n'
        b += f'    <path d="M{x0} {cy}H{x1}" stroke="#fff" stroke-opacity="0.10" stroke-dasharray="1 2"/>\n'
        b += (f'    <path d="{p}" fill="none" stroke="{glow}" stroke-opacity="0.7" stroke-width="2.6" '
              f'stroke-linejoin="round" filter="url(#glow)"/>\n'
              f'    <path d="{p}" fill="none" stroke="{col}" stroke-width="1.3" stroke-linejoin="round"/>\n')
        b += text(27, top + 31.5, WAVE_LABELS[k], size=6, fill="#c3ccd8" if not golden else "#e7c98a",
                  spacing=0.3, family="DejaVu Sans Condensed").replace("  <text", "    <text")
        b += '  </g>\n'
    return svg(54, 245, b, d)

# ---------------------------------------------------------------- cursors
def cursor(up):
    # a plain arrow with a soft shadow; the descending one is the same arrow flipped
    pts = [(16, 1.5), (26.5, 13), (19.5, 13), (19.5, 29.5), (12.5, 29.5), (12.5, 13), (5.5, 13)]
    if not up:
        pts = [(x, 32 - y) for x, y in pts]
    arrow = "M" + " L".join(f"{f(x)} {f(y)}" for x, y in pts) + "Z"
    b = (f'  <path d="{arrow}" fill="#000" fill-opacity="0.35" transform="translate(1 1)"/>\n'
         f'  <path d="{arrow}" fill="#ffffff" stroke="#000" stroke-width="1.5" stroke-linejoin="round"/>\n')
    return svg(32, 32, b)

files = {
    "bg.svg": bg(), "but_play.svg": but_play(), "but_ig.svg": but_ig(),
    "knob.svg": knob(92, 34, 28, 29, 11, 26, 3.2, 28, halo=True),
    "knob2.svg": knob(64, 23.5, 19, 19.5, 7.5, 17.5, 2.6, 24),
    "knob3.svg": knob(48, 17.5, 14, 14.5, 5, 12.5, 2.2, 20),
    "slider.svg": slider_h(), "slider_vert.svg": slider_vert(), "gph_show.svg": gph_show(),
    "preset.svg": preset(), "waves.svg": waves(),
    "cursor_ascend.svg": cursor(True), "cursor_descend.svg": cursor(False),
}
for name, content in files.items():
    with open(os.path.join(OUT, name), "w") as fh:
        fh.write(content)
