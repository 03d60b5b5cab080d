// The X11 editor's parts that need no X server: the text-entry box, cursor files and key
// symbols.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "editor/x11/cursor_image.h"
#include "editor/x11/text_entry.h"
#include "editor/x11/x11_keys.h"
#include "raster/raster.h"
#include "resources/embedded.h"

namespace {

// ---- text entry ----

TextEntry Opened(const char* text, bool readOnly = false) {
  TextEntry e;
  TextEntry::Options o;
  o.readOnly = readOnly;
  e.Open(IBox(10, 20, 110, 36), text, o);
  return e;
}

TEST(TextEntry, TypingReplacesTheSelectionAndEditsAroundTheCaret) {
  TextEntry e = Opened("11.00");
  EXPECT_EQ(e.SelectionStart(), 0);
  EXPECT_EQ(e.SelectionEnd(), 5);
  EXPECT_TRUE(e.Type('4'));
  EXPECT_EQ(e.Text(), "4");
  EXPECT_FALSE(e.HasSelection());
  EXPECT_TRUE(e.Type('4'));
  EXPECT_TRUE(e.Type('0'));
  EXPECT_EQ(e.Text(), "440");
  EXPECT_EQ(e.Caret(), 3);
  EXPECT_FALSE(e.Delete());  // nothing after the caret
  EXPECT_TRUE(e.MoveCaret(-2, false));
  EXPECT_TRUE(e.Backspace());
  EXPECT_EQ(e.Text(), "40");
  EXPECT_EQ(e.Caret(), 0);
  EXPECT_FALSE(e.Backspace());  // nothing before it
  EXPECT_TRUE(e.Delete());
  EXPECT_EQ(e.Text(), "0");
  EXPECT_FALSE(e.Type('\0'));
  EXPECT_EQ(e.Text(), "0");
}

TEST(TextEntry, CaretMovesCollapseOrExtendTheSelection) {
  TextEntry e = Opened("abcdef");
  // An arrow without Shift collapses the selection to its side.
  EXPECT_TRUE(e.MoveCaret(-1, false));
  EXPECT_EQ(e.Caret(), 0);
  EXPECT_FALSE(e.HasSelection());
  e.SelectAll();
  EXPECT_TRUE(e.MoveCaret(1, false));
  EXPECT_EQ(e.Caret(), 6);
  EXPECT_FALSE(e.MoveCaret(1, false));  // already at the end
  EXPECT_TRUE(e.MoveCaret(-2, true));
  EXPECT_EQ(e.SelectionStart(), 4);
  EXPECT_EQ(e.SelectionEnd(), 6);
  EXPECT_TRUE(e.Home(true));
  EXPECT_EQ(e.SelectionStart(), 0);
  EXPECT_EQ(e.SelectionEnd(), 6);
  EXPECT_TRUE(e.Backspace());
  EXPECT_EQ(e.Text(), "");
  EXPECT_FALSE(e.Home(false));
  EXPECT_FALSE(e.End(false));
  EXPECT_FALSE(e.MoveCaret(-1, true));
}

TEST(TextEntry, HoldsAtMostAThousandCharactersAndRespectsReadOnly) {
  const std::string longer(1200, 'x');
  TextEntry e = Opened(longer.c_str());
  EXPECT_EQ(e.Text().size(), 1000u);
  // With all of it selected a character replaces it.
  EXPECT_TRUE(e.Type('a'));
  EXPECT_EQ(e.Text(), "a");

  const std::string almost(999, 'y');
  TextEntry f = Opened(almost.c_str());
  f.End(false);
  EXPECT_TRUE(f.Type('z'));  // the thousandth
  EXPECT_FALSE(f.Type('z'));
  EXPECT_EQ(f.Text().size(), 1000u);
  EXPECT_TRUE(f.MoveCaret(-1, true));
  EXPECT_TRUE(f.Type('q'));  // replacing one keeps it at a thousand
  EXPECT_EQ(f.Text().back(), 'q');

  TextEntry r = Opened("fixed", true);
  EXPECT_FALSE(r.Type('a'));
  EXPECT_FALSE(r.Backspace());
  EXPECT_FALSE(r.Delete());
  EXPECT_EQ(r.Text(), "fixed");
  EXPECT_TRUE(r.MoveCaret(-1, false));

  TextEntry closed;
  EXPECT_FALSE(closed.Type('a'));
  EXPECT_FALSE(closed.PlaceCaretAt(0, false));
}

TEST(TextEntry, ClicksPlaceTheCaretAtTheNearestBoundary) {
  TextEntry e = Opened("12345");
  EXPECT_TRUE(e.PlaceCaretAt(-500, false));
  EXPECT_EQ(e.Caret(), 0);
  EXPECT_FALSE(e.HasSelection());
  EXPECT_TRUE(e.PlaceCaretAt(5000, true));
  EXPECT_EQ(e.SelectionStart(), 0);
  EXPECT_EQ(e.SelectionEnd(), 5);
  int last = -1;
  for (int x = 0; x < 120; ++x) {
    e.PlaceCaretAt(x, false);
    EXPECT_GE(e.Caret(), last);
    last = e.Caret();
    // The chosen boundary is drawn no further from x than its neighbours.
    const int here = std::abs(e.CaretX() - x);
    if (e.Caret() > 0) {
      e.MoveCaret(-1, false);
      EXPECT_GE(std::abs(e.CaretX() - x), here);
      e.MoveCaret(1, false);
    }
  }
  EXPECT_EQ(last, 5);
}

TEST(TextEntry, PaintsFieldSelectionAndCaret) {
  raster::Bitmap dst(200, 100);
  dst.Clear(raster::Argb(255, 10, 20, 30));
  TextEntry e;
  TextEntry::Options o;
  o.align = kAlignCenter;
  e.Open(IBox(50, 40, 150, 56), "440", o);
  e.SetFocused(true);
  // Painted with the editor's origin at (20, 10) of the bitmap.
  e.Paint(dst, -20, -10);
  EXPECT_EQ(dst.At(70, 50), 0xFFFFFFFFu);                    // the field's corner
  EXPECT_EQ(dst.At(169, 65), 0xFFFFFFFFu);                   // and the opposite one
  EXPECT_EQ(dst.At(69, 50), raster::Argb(255, 10, 20, 30));  // not one pixel more
  EXPECT_EQ(dst.At(170, 65), raster::Argb(255, 10, 20, 30));
  // The selected text sits on the highlight, centred.
  int highlight = 0, minX = 1000, maxX = -1;
  for (int y = 50; y < 66; ++y)
    for (int x = 70; x < 170; ++x)
      if (dst.At(x, y) == 0xFF0078D7u) {
        ++highlight;
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
      }
  EXPECT_GT(highlight, 50);
  EXPECT_LE(std::abs((minX + maxX) / 2 - 120), 2);

  // Collapsed, unfocused: no highlight, no caret; focused in the on phase: a black caret.
  e.End(false);
  e.SetFocused(false);
  e.Paint(dst, -20, -10);
  const int caretX = e.CaretX() + 20;
  int caretInk = 0;
  for (int y = 51; y < 65; ++y) caretInk += dst.At(caretX, y) == 0xFF000000u;
  EXPECT_EQ(caretInk, 0);
  e.SetFocused(true);
  e.SetBlinkOn(true);
  e.Paint(dst, -20, -10);
  caretInk = 0;
  for (int y = 51; y < 65; ++y) caretInk += dst.At(caretX, y) == 0xFF000000u;
  EXPECT_EQ(caretInk, 14);
  e.SetBlinkOn(false);
  e.Paint(dst, -20, -10);
  EXPECT_NE(dst.At(caretX, 58), 0xFF000000u);
  for (int y = 50; y < 66; ++y)
    for (int x = 70; x < 170; ++x) EXPECT_NE(dst.At(x, y), 0xFF0078D7u);
}

TEST(TextEntry, LongTextScrollsToKeepTheCaretInsideAndPasswordsHideTheText) {
  TextEntry e;
  TextEntry::Options o;
  e.Open(IBox(0, 0, 40, 16), "1234567890123456789012345", o);
  e.End(false);
  // Scrolled just enough: the caret on the last column inside the 1-pixel margin (40 - 1 - 1).
  EXPECT_EQ(e.CaretX(), 38);
  e.Home(false);
  EXPECT_EQ(e.CaretX(), 1);
  e.End(false);
  EXPECT_EQ(e.CaretX(), 38);

  TextEntry plain, secret;
  TextEntry::Options p;
  plain.Open(IBox(0, 0, 200, 16), "WWWW", p);
  p.password = true;
  secret.Open(IBox(0, 0, 200, 16), "WWWW", p);
  plain.End(false);
  secret.End(false);
  EXPECT_EQ(secret.Text(), "WWWW");            // the value itself is kept
  EXPECT_LT(secret.CaretX(), plain.CaretX());  // four stars are narrower than four W
}

// ---- cursor files ----

void Put16(std::vector<unsigned char>& v, size_t at, uint32_t x) {
  v[at] = x & 255;
  v[at + 1] = (x >> 8) & 255;
}
void Put32(std::vector<unsigned char>& v, size_t at, uint32_t x) {
  Put16(v, at, x & 0xFFFF);
  Put16(v, at + 2, x >> 16);
}

// A cursor file of one w x h image at `bpp` bits, with room for a palette of `colours`.
std::vector<unsigned char> CursorFile(int w, int h, int bpp, int colours, int hotX, int hotY) {
  const size_t colourStride = ((static_cast<size_t>(w) * bpp + 31) / 32) * 4;
  const size_t maskStride = ((static_cast<size_t>(w) + 31) / 32) * 4;
  const size_t image = 40 + 4 * colours + colourStride * h + maskStride * h;
  std::vector<unsigned char> f(6 + 16 + image, 0);
  Put16(f, 2, 2);  // cursor
  Put16(f, 4, 1);
  f[6] = static_cast<unsigned char>(w);
  f[7] = static_cast<unsigned char>(h);
  Put16(f, 10, hotX);
  Put16(f, 12, hotY);
  Put32(f, 14, static_cast<uint32_t>(image));
  Put32(f, 18, 22);
  Put32(f, 22, 40);
  Put32(f, 26, w);
  Put32(f, 30, 2 * h);
  Put16(f, 34, 1);
  Put16(f, 36, bpp);
  Put32(f, 54, colours);
  return f;
}

uint32_t Premul(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  auto m = [a](uint32_t c) { return (c * a + 127) / 255; };
  return a << 24 | m(r) << 16 | m(g) << 8 | m(b);
}

TEST(CursorFile, ThirtyTwoBitRowsComeBottomUpWithTheirAlpha) {
  std::vector<unsigned char> f = CursorFile(2, 2, 32, 0, 1, 0);
  // Stored rows: bottom first. B, G, R, A per pixel.
  const unsigned char bottom[8] = {0x00, 0x00, 0xFF, 0xFF, 0x40, 0x80, 0xFF, 0x80};
  const unsigned char top[8] = {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
  std::memcpy(&f[62], bottom, 8);
  std::memcpy(&f[70], top, 8);
  CursorImage img;
  ASSERT_TRUE(DecodeCursorFile(f.data(), f.size(), &img));
  EXPECT_EQ(img.width, 2);
  EXPECT_EQ(img.height, 2);
  EXPECT_EQ(img.hotX, 1);
  EXPECT_EQ(img.hotY, 0);
  ASSERT_EQ(img.argb.size(), 4u);
  EXPECT_EQ(img.argb[0], 0u);
  EXPECT_EQ(img.argb[1], 0xFFFFFFFFu);
  EXPECT_EQ(img.argb[2], 0xFFFF0000u);
  EXPECT_EQ(img.argb[3], Premul(0x80, 0xFF, 0x80, 0x40));
  EXPECT_EQ(img.argb[3], 0x80804020u);

  // Every shorter file is refused, and the output is left alone.
  for (size_t n = 0; n < f.size(); ++n) {
    CursorImage untouched;
    untouched.width = 7;
    EXPECT_FALSE(DecodeCursorFile(f.data(), n, &untouched)) << n;
    EXPECT_EQ(untouched.width, 7);
  }
  // At 32 bits the alpha says everything, so a file may leave the mask out; one byte less
  // than the pixels is still refused.
  std::vector<unsigned char> maskless(f.begin(), f.end() - 8);
  Put32(maskless, 14, static_cast<uint32_t>(maskless.size() - 22));
  EXPECT_TRUE(DecodeCursorFile(maskless.data(), maskless.size(), &img));
  EXPECT_EQ(img.argb[3], 0x80804020u);
  maskless.pop_back();
  Put32(maskless, 14, static_cast<uint32_t>(maskless.size() - 22));
  EXPECT_FALSE(DecodeCursorFile(maskless.data(), maskless.size(), &img));
}

TEST(CursorFile, MaskedPaletteAndTrueColourImages) {
  // 1 bit per pixel, 2 x 1: palette black and white, the AND mask hides the first pixel.
  std::vector<unsigned char> f = CursorFile(2, 1, 1, 2, 0, 0);
  const size_t palette = 22 + 40;
  f[palette + 4] = f[palette + 5] = f[palette + 6] = 0xFF;  // entry 1 white
  f[palette + 8] = 0x40;                                    // pixels: 0 (black), 1 (white)
  f[palette + 12] = 0x80;                                   // mask: first pixel transparent
  CursorImage img;
  ASSERT_TRUE(DecodeCursorFile(f.data(), f.size(), &img));
  ASSERT_EQ(img.argb.size(), 2u);
  EXPECT_EQ(img.argb[0], 0u);
  EXPECT_EQ(img.argb[1], 0xFFFFFFFFu);

  // 24 bits: opaque but where the mask says otherwise.
  std::vector<unsigned char> t = CursorFile(1, 2, 24, 0, 0, 1);
  const size_t pixels = 22 + 40;
  t[pixels + 2] = 0xFF;      // bottom row: red
  t[pixels + 4 + 1] = 0xFF;  // top row: green
  t[pixels + 8] = 0x80;      // mask, bottom row: transparent
  ASSERT_TRUE(DecodeCursorFile(t.data(), t.size(), &img));
  EXPECT_EQ(img.argb[0], 0xFF00FF00u);
  EXPECT_EQ(img.argb[1], 0u);
  EXPECT_EQ(img.hotY, 1);
  // A hot spot past the picture is pulled onto its last column and row.
  std::vector<unsigned char> off = CursorFile(3, 2, 32, 0, 3, 9);
  ASSERT_TRUE(DecodeCursorFile(off.data(), off.size(), &img));
  EXPECT_EQ(img.hotX, 2);
  EXPECT_EQ(img.hotY, 1);
  std::vector<unsigned char> edge = CursorFile(3, 2, 32, 0, 2, 1);
  ASSERT_TRUE(DecodeCursorFile(edge.data(), edge.size(), &img));
  EXPECT_EQ(img.hotX, 2);
  EXPECT_EQ(img.hotY, 1);

  // A palette index past the palette, an icon instead of a cursor, odd sizes.
  std::vector<unsigned char> bad = CursorFile(2, 1, 4, 2, 0, 0);
  bad[22 + 40 + 8] = 0x20;  // second pixel uses entry 2 of 2
  EXPECT_FALSE(DecodeCursorFile(bad.data(), bad.size(), &img));
  std::vector<unsigned char> icon = f;
  Put16(icon, 2, 1);
  EXPECT_FALSE(DecodeCursorFile(icon.data(), icon.size(), &img));
  std::vector<unsigned char> odd = f;
  Put32(odd, 30, 3);
  EXPECT_FALSE(DecodeCursorFile(odd.data(), odd.size(), &img));
  std::vector<unsigned char> far = f;
  Put32(far, 18, 0x7FFFFFF0);
  EXPECT_FALSE(DecodeCursorFile(far.data(), far.size(), &img));
  EXPECT_FALSE(DecodeCursorFile(nullptr, 100, &img));
}

TEST(CursorFile, TheModulesTwoCursorsDecode) {
  for (int id : {98, 99}) {
    SCOPED_TRACE(id);
    const unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_TRUE(CaldrithFindCursor(id, &data, &size));
    CursorImage img;
    ASSERT_TRUE(DecodeCursorFile(data, size, &img));
    EXPECT_EQ(img.width, 32);
    EXPECT_EQ(img.height, 32);
    EXPECT_EQ(img.hotX, static_cast<int>(data[10] | data[11] << 8));
    EXPECT_EQ(img.hotY, static_cast<int>(data[12] | data[13] << 8));
    EXPECT_EQ(img.argb[0], 0u);  // a transparent corner
    // Premultiplied: no channel above its alpha.
    for (uint32_t p : img.argb) {
      EXPECT_LE(raster::RedOf(p), raster::AlphaOf(p));
      EXPECT_LE(raster::BlueOf(p), raster::AlphaOf(p));
    }
    EXPECT_GT(raster::AlphaOf(img.argb[static_cast<size_t>(img.hotY) * 32 + img.hotX]), 0u);
  }
}

// ---- keys ----

TEST(Keys, EditorCodesForSpaceArrowsDigitsAndLetters) {
  struct Case {
    uint32_t keysym;
    int code;
  };
  const Case cases[] = {
      {0x20, 0},    {0xff52, 1},  {0xff54, 2},  {0xff51, 3}, {0xff53, 4},  {0xff97, 1},  {0x2f, -1},
      {0x30, 6},    {0x39, 15},   {0x3a, -1},   {0xffb0, 6}, {0xffb9, 15}, {0xffba, -1}, {0x40, -1},
      {0x41, 16},   {0x5a, 41},   {0x5b, -1},   {0x60, -1},  {0x61, 16},   {0x7a, 41},   {0x7b, -1},
      {0xff0d, -1}, {0xff1b, -1}, {0xff08, -1}, {0x21, -1},  {0xffbe, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(EditorKeyCode(c.keysym), c.code) << std::hex << c.keysym;
}

TEST(Keys, TypedCharacters) {
  EXPECT_EQ(TypedCharacter(0x1f), 0);
  EXPECT_EQ(TypedCharacter(0x20), ' ');
  EXPECT_EQ(TypedCharacter(0x34), '4');
  EXPECT_EQ(TypedCharacter(0x7e), '~');
  EXPECT_EQ(TypedCharacter(0x7f), 0);
  EXPECT_EQ(TypedCharacter(0x9f), 0);
  EXPECT_EQ(TypedCharacter(0xa0), static_cast<char>(0xa0));
  EXPECT_EQ(TypedCharacter(0xe9), static_cast<char>(0xe9));
  EXPECT_EQ(TypedCharacter(0xff), static_cast<char>(0xff));
  EXPECT_EQ(TypedCharacter(0x100), 0);
  EXPECT_EQ(TypedCharacter(0xffb4), '4');
  EXPECT_EQ(TypedCharacter(0xffae), '.');
  EXPECT_EQ(TypedCharacter(0xffad), '-');
  EXPECT_EQ(TypedCharacter(0xff0d), 0);
  EXPECT_EQ(TypedCharacter(0x20ac), 0);  // the euro sign is no Latin-1 character
}

}  // namespace
