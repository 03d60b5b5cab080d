#!/usr/bin/env python3
"""Plants one small fault at a time and tells which ones the tests notice.

Each mutation replaces one exact piece of text in one source file (a flipped comparison, a
constant off by one, a dropped statement, a swapped operand). The script rebuilds only the test
binary of the file's layer, runs it, restores the file and reports "caught" (the tests failed or
crashed) or "MISSED" (they passed). Not part of ./dev test: it takes a while.

  scripts/mutate.py                 every mutation, build tree ./build
  scripts/mutate.py raster tools    only these layers
  scripts/mutate.py --check         only verify that every mutation still applies
  scripts/mutate.py --list          print the mutations
Options: --build DIR, --jobs N, --only ID[,ID...], --set all|first|second|third|fourth|fifth|sixth|seventh,
--report FILE (one line per mutation).
"""
import argparse
import os
import subprocess
import sys
import time
from collections import OrderedDict

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The test binary that mirrors each layer.
TARGETS = OrderedDict([
    ("raster", "test_raster"),
    ("framework", "test_framework"),
    ("engine", "test_engine"),
    ("editor", "test_editor"),
    ("vst3", "test_vst3"),
    ("instrument", "test_instrument"),
    ("tools", "test_tools"),
    ("x11", "test_x11"),
])

# (id, file, original text, faulty text). The original must occur exactly once in the file.
MUTATIONS = [
    # ---- raster
    ("r01", "raster/pixel_ops.h", "x += 128;\n  return (x + (x >> 8)) >> 8;",
     "x += 127;\n  return (x + (x >> 8)) >> 8;"),
    ("r02", "raster/pixel_ops.h", "if (sa == 255) return s;", "if (sa >= 254) return s;"),
    ("r03", "raster/pixel_ops.h", "if (a == 255) return Pack(255, r, g, b);",
     "if (a >= 254) return Pack(255, r, g, b);"),
    ("r04", "raster/blit.cpp", "const uint32_t t = Div255(sa * da);", "const uint32_t t = sa;"),
    ("r05", "raster/blit.cpp", "return std::min<uint32_t>(255, (cb * 255 + den / 2) / den);",
     "return std::min<uint32_t>(255, (cb * 255) / den);"),
    ("r06", "raster/blit.cpp", "out |= ((c + 32768) >> 16) << sh;", "out |= (c >> 16) << sh;"),
    ("r07", "raster/blit.cpp", "const double l = std::floor(cx - ex) - 1,",
     "const double l = std::floor(cx - ex),"),
    ("r08", "raster/blit.cpp", "const uint32_t a = sa + Div255((d >> 24) * (255 - sa));",
     "const uint32_t a = sa + Div255((d >> 24) * (256 - sa));"),
    ("r09", "raster/bitmap.cpp",
     "auto un = [a](uint32_t v) { return std::min<uint32_t>(255, (v * 255 + a / 2) / a); };",
     "auto un = [a](uint32_t v) { return std::min<uint32_t>(255, (v * 255) / a); };"),
    ("r10", "raster/draw.cpp", "y = y1 + FloorDiv(2 * t * dy + dx, 2 * dx);",
     "y = y1 + FloorDiv(2 * t * dy + dx - 1, 2 * dx);"),
    ("r11", "raster/draw.cpp", "err += 2 * y + 1;", "err += 2 * y;"),
    ("r12", "raster/draw.cpp", "const double cov = fill ? r + 0.5 - d : 1.0 - std::fabs(d - r);",
     "const double cov = fill ? r + 0.4 - d : 1.0 - std::fabs(d - r);"),
    ("r13", "raster/png_io.cpp", "if (depth == 16) png_set_scale_16(st.png);",
     "if (depth == 16) png_set_strip_16(st.png);"),
    ("r14", "raster/text.cpp", "off = spare >= 0 ? spare / 2 : -((-spare + 1) / 2);",
     "off = spare >= 0 ? (spare + 1) / 2 : -((-spare + 1) / 2);"),
    ("r15", "raster/png_io.cpp", "if ((s[x] >> 24) != 255) {", "if ((s[x] >> 24) < 254) {"),
    # ---- framework
    ("f01", "framework/plug_param.cpp",
     "if (mKind != kTypeDouble) v = std::floor(v / mStep + 0.5) * mStep;",
     "if (mKind != kTypeDouble) v = std::floor(v / mStep) * mStep;"),
    ("f02", "framework/plug_param.cpp", "if (mDecimals >= 6) break;", "if (mDecimals >= 5) break;"),
    ("f03", "framework/plug_param.cpp", "double r = x >= 0.0 ? x + 0.5 : x - 0.5;",
     "double r = x + 0.5;"),
    ("f04", "framework/plug_param.cpp", "} else if (x == 0.0 || std::isnan(x)) {",
     "} else if (std::isnan(x)) {"),
    ("f05", "framework/plug_param.cpp", "? maxValue : minValue + step;", "? maxValue : maxValue;"),
    ("f06", "framework/plug_base.cpp",
     "    mCurrentPresetIdx = idx;  // before restoring, so the instrument's locks see the new preset\n",
     ""),
    ("f07", "framework/plug_base.cpp", "  return n + 1;\n}", "  return n;\n}"),
    ("f08", "framework/plug_base.cpp", "mVersion >> 16, (mVersion >> 8) & 0xff",
     "mVersion >> 16, (mVersion >> 4) & 0xff"),
    ("f09", "framework/plug_base.cpp", "if ((nIn < 0 || nIn == pair.inputs)",
     "if ((nIn <= 0 || nIn == pair.inputs)"),
    ("f10", "framework/plug_base.cpp", "if (!PresetAppliesParam(i, mCurrentPresetIdx)) continue;",
     "if (!PresetAppliesParam(i, mCurrentPresetIdx)) break;"),
    ("f11", "framework/plug_base.cpp", "mInData[i] = scratch ? bound : bound + offset;",
     "mInData[i] = bound;"),
    ("f12", "framework/state_chunk.cpp", "static_cast<size_t>(pos) + 8 > mBytes.size()",
     "static_cast<size_t>(pos) + 8 >= mBytes.size()"),
    ("f13", "framework/plug_param.cpp", "  if (index < 0 || index >= ValueTextCount()) return \"\";",
     "  if (index < 0 || index > ValueTextCount()) return \"\";"),
    # ---- engine
    ("e01", "engine/segment_envelope.cpp", "if (mBreak[j] > x) {", "if (mBreak[j] >= x) {"),
    ("e02", "engine/segment_envelope.cpp",
     "const int n = stepsFloat >= 2147483520.0f ? 2147483520 : static_cast<int>(stepsFloat);",
     "const int n = stepsFloat >= 2147483520.0f ? 2147483520 : static_cast<int>(stepsFloat + 0.5f);"),
    ("e03", "engine/dsp_math.h", "return negative ? 1.0 / r : r;", "return r;"),
    ("e04", "engine/dsp_math.h", "double y = x >= 0.0 ? x + 0.5 : x - 0.5;", "double y = x + 0.5;"),
    ("e05", "engine/segment_envelope.h", "if (mHold-- <= 1) {", "if (mHold-- <= 0) {"),
    ("e06", "engine/segment_envelope.cpp",
     "mHoldCount[k] = RoundHalfAway(static_cast<double>(b * S));",
     "mHoldCount[k] = static_cast<int>(b * S);"),
    ("e07", "engine/tone_engine.cpp", "if (m - 0.5f <= fi && fi <= m + 0.5f) {",
     "if (m - 0.5f < fi && fi < m + 0.5f) {"),
    ("e08", "engine/tone_engine.cpp", "      if (a < 0.0f) a += 1.0f;\n", ""),
    ("e09", "engine/tone_engine.cpp", "static_cast<float>(n - 1 - i) * h * spread",
     "static_cast<float>(n - i) * h * spread"),
    ("e10", "engine/tone_engine.cpp", "if (target == 0.0 && master < 1e-11) {",
     "if (target == 0.0 && master < 1e-3) {"),
    ("e11", "engine/tone_engine.cpp", "      probe.SetCurvature(0, s0.Curvature(0));\n", ""),
    ("e12", "engine/wave_shaper.cpp", "if (wave >= kWaveCount) wave = kWaveCount - 1;",
     "if (wave >= kWaveCount) wave = 0;"),
    ("e13", "engine/tone_engine.cpp", "if (p >= 1.0f) p -= 1.0f;", "if (p > 1.0f) p -= 1.0f;"),
    # ---- editor
    ("d01", "editor/controls.cpp", "int k = static_cast<int>((mImage.N - 1) * mValue + 0.5) + 1;",
     "int k = static_cast<int>((mImage.N - 1) * mValue) + 1;"),
    ("d02", "editor/graphics.cpp",
     "sy = static_cast<int>(static_cast<double>(image.H) * (frame - 1) / image.N + 0.5);",
     "sy = static_cast<int>(static_cast<double>(image.H) * (frame - 1) / image.N);"),
    ("d03", "editor/controls.cpp", "x <= mHitArea.R && mHitArea.T <= y",
     "x < mHitArea.R && mHitArea.T <= y"),
    ("d04", "editor/controls.cpp", "step = 0.5 / p->ValueTextCount();",
     "step = 1.0 / p->ValueTextCount();"),
    ("d05", "editor/controls.cpp", "if (mods.S || mods.C) gearing *= 10.0;",
     "if (mods.S) gearing *= 10.0;"),
    ("d06", "editor/controls.cpp", "    if (left <= 5) {\n      left = 6;",
     "    if (left < 5) {\n      left = 6;"),
    ("d07", "editor/controls.cpp", "  } else if (v == mValue) {\n    return;\n  }", "  }"),
    ("d08", "editor/controls.cpp", "if (mods.S || mods.C) step /= 10.0;",
     "if (mods.S || mods.C) step /= 5.0;"),
    ("d09", "editor/graphics.cpp", "if (popupIdx < idx) mCapturedControl = --idx;",
     "if (popupIdx > idx) mCapturedControl = --idx;"),
    ("d10", "editor/graphics.cpp", "const int leftW = static_cast<int>(image->W * fraction);",
     "const int leftW = static_cast<int>(image->W * fraction + 0.5);"),
    ("d11", "editor/controls.cpp", "  if (!(mValue > mLowLimit)) {", "  if (mValue < mLowLimit) {"),
    ("d12", "editor/graphics.cpp", "if (idx < 0 || idx >= NControls()) return nullptr;",
     "if (idx < 0 || idx > NControls()) return nullptr;"),
    # ---- vst3
    ("v01", "vst3/plug_vst3.cpp",
     "return static_cast<int>(static_cast<double>(PresetCount() - 1) * normalized + 0.5);",
     "return static_cast<int>(static_cast<double>(PresetCount() - 1) * normalized);"),
    ("v02", "vst3/plug_vst3.cpp", "!(setup.sampleRate <= kMaxSampleRate)",
     "!(setup.sampleRate < kMaxSampleRate)"),
    ("v03", "vst3/plug_vst3.cpp", "msg.data2 = static_cast<uint8_t>(static_cast<int>(velocity * 127.f));",
     "msg.data2 = static_cast<uint8_t>(static_cast<int>(velocity * 127.f + 0.5f));"),
    ("v04", "vst3/plug_vst3.cpp", "  if (pos > 0) state->seek(pos, IBStream::kIBSeekSet, nullptr);\n",
     ""),
    ("v05", "vst3/plugin_factory.cpp", "    instance->release();\n", ""),
    ("v06", "vst3/plugin_factory.cpp", "  if (mHostContext) mHostContext->release();\n  mHostContext = context;",
     "  mHostContext = context;"),
    ("v07", "vst3/plug_vst3.cpp", "  if (app) app->release();\n", ""),
    ("v08", "vst3/plug_vst3.cpp", "SetBypassed(value > 0.5);", "SetBypassed(value >= 0.5);"),
    ("v09", "vst3/host/host_support.cpp", "if (mCount >= kMaxPoints) return kResultFalse;",
     "if (mCount > kMaxPoints) return kResultFalse;"),
    ("v10", "vst3/plug_vst3.cpp", ": (st & ProcessContext::kRecording) ? 2",
     ": (st & ProcessContext::kRecording) ? 1"),
    ("v11", "vst3/plug_vst3.cpp", "if (chunk.Size() >= kMaxStateBytes) break;",
     "if (chunk.Size() > kMaxStateBytes + 4096) break;"),
    ("v12", "vst3/plugin_factory.cpp", "if (index < 0 || index >= static_cast<int32>(mClasses.size())) return nullptr;",
     "if (index < 0 || index > static_cast<int32>(mClasses.size())) return nullptr;"),
    ("v13", "vst3/plug_vst3.cpp", "process(ProcessData& data) {\n  Lock lock(Mutex());\n",
     "process(ProcessData& data) {\n"),
    # ---- instrument
    ("i01", "instrument/ready_gate.cpp",
     "if (idx >= 0 && idx < kSize && gMarks[idx].exchange(1, std::memory_order_acq_rel) == 0) {",
     "if (idx >= 0 && idx < kSize) {"),
    ("i02", "instrument/ready_gate.cpp", "return gCountdown.load(std::memory_order_acquire) <= 0;",
     "return gCountdown.load(std::memory_order_acquire) <= 1;"),
    ("i03", "instrument/caldrith.cpp", "  if (r < 14.0f) return \"ALPHA\";",
     "  if (r <= 14.0f) return \"ALPHA\";"),
    ("i04", "instrument/caldrith.cpp",
     "return paramIdx == kLowFreq || paramIdx == kHighFreq || paramIdx == kQfreq;",
     "return paramIdx == kLowFreq || paramIdx == kHighFreq;"),
    ("i05", "instrument/caldrith.cpp", "      return paramIdx >= kXvol1;", "      return paramIdx > kXvol1;"),
    ("i06", "instrument/caldrith.cpp", "    case kXvol3:\n      return 10.0;", "      return 10.0;"),
    ("i07", "instrument/caldrith.cpp", "transport == 1 || transport == 2) ? mToneAmp",
     "transport == 1) ? mToneAmp"),
    ("i08", "instrument/caldrith.cpp", "if (mStatusDeadline != 0 && Now() >= mStatusDeadline) {",
     "if (mStatusDeadline != 0 && Now() > mStatusDeadline) {"),
    ("i09", "instrument/caldrith.cpp", "mEngine.gate.SetGolden(key > 0);",
     "mEngine.gate.SetGolden(key != 0);\n      mPulseType = 1;"),
    ("i10", "instrument/caldrith.cpp", "    mApplied[kRate] = -1;\n", ""),
    ("i11", "instrument/caldrith.cpp", "static_cast<double>(key) * 0.008 + 0.0001",
     "static_cast<double>(key) * 0.008"),
    ("i12", "instrument/product_controls.cpp", "if (mSteps > 0) mValue = std::floor(mSteps * mValue + 0.5) / mSteps;",
     "if (mSteps > 0) mValue = std::floor(mSteps * mValue) / mSteps;"),
    ("i13", "instrument/graphs.cpp", "const double lo = k == 0 ? mMinGap :",
     "const double lo = k == 0 ? 0.0 :"),
    ("i14", "instrument/caldrith.cpp",
     "if (Mutex().try_lock()) {\n            ClearAllVoices();\n            RequestRestart();\n            Mutex().unlock();",
     "{\n            ClearAllVoices();\n            RequestRestart();"),
    # ---- tools
    ("t01", "tools/render_options.cpp", "if (!ParseInt(v, &x) || x < lo || x > hi) {",
     "if (!ParseInt(v, &x) || x <= lo || x > hi) {"),
    ("t02", "tools/render_options.cpp", "if (!ParseInt(v, &x) || x < lo || x > hi) {",
     "if (!ParseInt(v, &x) || x < lo || x >= hi) {"),
    ("t03", "tools/render_options.cpp", "s <= 0.0 || s > 86400.0", "s <= 0.0 || s >= 86400.0"),
    ("t04", "tools/render_options.cpp", "s <= 0.0 || s > 86400.0", "s < 0.0 || s > 86400.0"),
    ("t05", "tools/render_options.cpp", "return IntOption(v, 1, 65536, &o.block, \"--block\");",
     "return IntOption(v, 1, 65535, &o.block, \"--block\");"),
    ("t06", "tools/render_options.cpp",
     "  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;\n  char* end = nullptr;\n  errno = 0;\n  double",
     "  if (text.empty()) return false;\n  char* end = nullptr;\n  errno = 0;\n  double"),
    ("t07", "tools/render_options.cpp", "(a[i - 1] == b[j - 1] ? 0 : 1)", "(a[i - 1] == b[j - 1] ? 0 : 2)"),
    ("t08", "tools/render_options.cpp", "if (!key.empty() && Lower(c).find(key) != std::string::npos) d -= 1.0;",
     "if (!key.empty() && Lower(c).find(key) != std::string::npos) d -= 0.1;"),
    ("t09", "tools/render_options.cpp", "NameDistance(arg, near[0]) <= 3", "NameDistance(arg, near[0]) < 3"),
    ("t10", "tools/caldrith_render.cpp", "static_cast<int64>(std::llround(seconds * opts.rate))",
     "static_cast<int64>(seconds * opts.rate)"),
    ("t11", "tools/session_file.cpp",
     "if (value < std::min(param.min, param.max) || value > std::max(param.min, param.max)) {",
     "if (value <= std::min(param.min, param.max) || value > std::max(param.min, param.max)) {"),
    ("t12", "tools/session_timeline.cpp", "double f = static_cast<double>(mPos - g.from)",
     "double f = static_cast<double>(mPos - g.from + 1)"),
    ("t13", "tools/render_options.cpp", "if (eq == std::string::npos || eq == 0 || eq + 1 == v.size()) {",
     "if (eq == std::string::npos || eq + 1 == v.size()) {"),
    # ---- x11 (the Linux editor window and the view that hosts it)
    ("x01", "editor/x11/graphics_x11.cpp", "value8 >> (8 - bits)", "value8 >> (9 - bits)"),
    ("x02", "editor/x11/graphics_x11.cpp", "time - mLastPressTime <= kDoubleClickMs",
     "time - mLastPressTime <= 4 * kDoubleClickMs"),
    ("x03", "editor/x11/graphics_x11.cpp",
     "KeysymFor(keycode, state & static_cast<uint16_t>(~kShiftMask))", "KeysymFor(keycode, state)"),
    ("x04", "editor/x11/graphics_x11.cpp", "  if (!mRouted) return;\n", ""),
    ("x05", "editor/x11/graphics_x11.cpp",
     "const bool box = mBox.IsOpen() && r.Overlaps(mBox.Box());", "const bool box = false;"),
    ("x06", "editor/x11/text_entry.cpp",
     "if (static_cast<int>(mText.size()) - selected >= kMaxLength) return false;",
     "if (static_cast<int>(mText.size()) - selected > kMaxLength) return false;"),
    ("x07", "vst3/plug_vst3_view.cpp", "if (mGui && mGui->ConnectionBroken()) UnregisterHandler();",
     ""),
    ("x08", "vst3/plug_vst3_view.cpp", "    if (OwnsEditorWindow()) {", "    if (true) {"),
    ("x09", "vst3/plug_vst3_view.cpp",
     "  // The descriptor leaves the run loop before the connection behind it can close.\n  LeaveRunLoop();",
     ""),
    # ---- a second set, written down after the tests above were strengthened and run once
    # against them before any test was written for it (ids starting with "h")
    ("hr1", "raster/bitmap.cpp", "if (width == mW && height == mH && OwnsPixels()) return true;",
     "if (width == mW && height == mH) return true;"),
    ("hr2", "raster/draw.cpp", "  if (a == 255) {\n    const uint32_t v = Pack(255, cr, cg, cb);",
     "  if (a >= 254) {\n    const uint32_t v = Pack(255, cr, cg, cb);"),
    ("hr3", "raster/draw.cpp", "  if (span < 0.0) span += kTwoPi;\n", ""),
    ("hr4", "raster/text.cpp", "e.desc.size == desc.size && e.desc.orientation == desc.orientation &&",
     "e.desc.size == desc.size &&"),
    ("hr5", "raster/draw.cpp", "const double gap = 1.0 - Frac(x1 + 0.5);",
     "const double gap = Frac(x1 + 0.5);"),
    ("hf1", "framework/plug_param.cpp", "  if (std::isnan(x)) x = mMin;\n", ""),
    ("hf2", "framework/plug_param.cpp", "  if (std::isnan(v)) return Value();\n  return v;",
     "  return v;"),
    ("hf3", "framework/plug_param.cpp", "for (; i < dstSize - 1 && src[i]; ++i)",
     "for (; i < dstSize && src[i]; ++i)"),
    ("hf4", "framework/plug_base.cpp", "if (idx < 0 || idx >= kMaxBusLabels) return;",
     "if (idx < 0 || idx > kMaxBusLabels) return;"),
    ("hf5", "framework/plug_base.cpp", "if (mPendingEditEnd >= 0) {", "if (mPendingEditEnd > 0) {"),
    ("he1", "engine/wave_shaper.cpp", "mConst.c2 = 0.5 / g;", "mConst.c2 = 0.5 / (1.0 - g);"),
    ("he2", "engine/segment_envelope.cpp", "if (k >= 0 && k < mSegments && c == c) mCurvature[k] = c;",
     "if (k >= 0 && k < mSegments) mCurvature[k] = c;"),
    ("he3", "engine/tone_engine.cpp",
     "        if (lanes.fAct[c][i]) lanes.fStart[c][i] = lanes.fLast[c][i];\n", ""),
    ("he4", "engine/tone_engine.cpp", "      lanes.vStart[c][i] = 0.0;\n", ""),
    ("he5", "engine/tone_engine.cpp", "std::fabs(diff) > 1e-11 ? diff / nFrames : 0.0;",
     "std::fabs(diff) > 1e-11 ? diff / (nFrames + 1) : 0.0;"),
    ("hd1", "editor/controls.cpp", "  if (mResetValue >= 0.0) {", "  if (mResetValue > 0.0) {"),
    ("hd2", "editor/controls.cpp", "if (p->Kind() == kTypeEnum && p->ValueTextCount() > 0) {",
     "if (p->Kind() == kTypeEnum && p->ValueTextCount() > 1) {"),
    ("hd3", "editor/graphics.cpp", "const int left = cx - image.W / 2 - srcX;",
     "const int left = cx - image.W / 2 + srcX;"),
    ("hd4", "editor/controls.cpp", "  if (mResetValue < 0.0) {\n    mResetValue = v;",
     "  if (mResetValue <= 0.0) {\n    mResetValue = v;"),
    ("hd5", "editor/graphics.cpp", "  if (mCapturedControl >= 0) ++mCapturedControl;\n  if (mHoverControl >= 0) ++mHoverControl;",
     "  if (mHoverControl >= 0) ++mHoverControl;"),
    ("hv1", "vst3/plug_vst3.cpp", "for (; i < dstSize - 1 && i < 128 && src[i]; ++i)",
     "for (; i < dstSize && i < 128 && src[i]; ++i)"),
    ("hv2", "vst3/plug_vst3.cpp", "return numIns <= 1 ? kResultOk : kResultFalse;",
     "return numIns <= 2 ? kResultOk : kResultFalse;"),
    ("hv3", "vst3/plug_vst3.cpp", "msg.data1 = static_cast<uint8_t>(e.noteOn.pitch & 0x7F);",
     "msg.data1 = static_cast<uint8_t>(e.noteOn.pitch & 0xFF);"),
    ("hv4", "vst3/plug_vst3.cpp",
     "      for (int ch = 0; ch < data.outputs[j].numChannels; ++ch)\n        zeroHostBuffer(data.outputs[j], ch, blockF32);\n",
     ""),
    ("hv5", "vst3/plug_vst3.cpp", "SetMaxFrames(std::min(setup.maxSamplesPerBlock, kMaxScratchFrames));",
     "SetMaxFrames(std::min(setup.maxSamplesPerBlock, kMaxScratchFrames - 1));"),
    ("hi1", "instrument/caldrith.cpp",
     "      mToneAmp = static_cast<double>(mVolume / std::sqrt(static_cast<float>(n)));\n      if (started) {",
     "      mToneAmp = static_cast<double>(mVolume / static_cast<float>(n));\n      if (started) {"),
    ("hi2", "instrument/caldrith.cpp", "  if (mSpread == 0.0f) return;\n", ""),
    ("hi3", "instrument/caldrith.cpp", "if (!(sr >= 1.0 && sr <= 10000000.0)) sr =",
     "if (!(sr >= 1.0)) sr ="),
    ("hi4", "instrument/graphs.cpp", "std::floor(static_cast<double>(y - z0.T) / static_cast<double>(z0.B - z0.T))",
     "std::round(static_cast<double>(y - z0.T) / static_cast<double>(z0.B - z0.T))"),
    ("hi5", "instrument/caldrith.cpp", "    case kHighFreq:\n      mHighFreq = static_cast<float>(key) * 0.1f;\n      RecomputeWindows();",
     "    case kHighFreq:\n      mHighFreq = static_cast<float>(key) * 0.1f;"),
    ("ht1", "tools/render_options.cpp", "errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;",
     "errno == ERANGE) return false;"),
    ("ht2", "tools/render_options.cpp", "if (left.size() < 30) left.resize(30, ' ');",
     "if (left.size() < 28) left.resize(28, ' ');"),
    ("ht3", "tools/session_timeline.cpp", "static_cast<int>(std::floor(rate * 0.005))",
     "static_cast<int>(std::floor(rate * 0.004))"),
    ("ht4", "tools/render_options.cpp", "if (n < 5 || (v.compare(n - 4, 4, \".png\") != 0",
     "if (n < 4 || (v.compare(n - 4, 4, \".png\") != 0"),
    ("ht5", "tools/render_options.cpp", "exeDir + \"/../lib/vst3\" + name, exeDir + \"/..\" + name,",
     "exeDir + \"/..\" + name, exeDir + \"/../lib/vst3\" + name,"),
    # ---- a third set, written down after the tests for the second one and measured before
    # any test was written for it (ids starting with "k")
    ("kr1", "raster/text_freetype.cpp", "l = std::min(l, x0), t = std::min(t, y0);",
     "l = std::min(l, x0), t = std::max(t, y0);"),
    ("kr2", "raster/bitmap.cpp", "  if (&other == this) return !Empty();\n", ""),
    ("kr3", "raster/blit.cpp", "  if (clip) c = c.Intersect(*clip);\n", ""),
    ("kf1", "framework/plug_param.cpp", "\"%.*f\", mDecimals, x);", "\"%.*f\", mDecimals + 1, x);"),
    ("kf2", "framework/plug_base.cpp", "  maxIn = std::min(maxIn, kMaxChannels);\n", ""),
    ("kf3", "framework/plug_base.cpp",
     "mGraphics->PushParamToControls(i, mParams[static_cast<size_t>(i)]->Value(), false);",
     "mGraphics->PushParamToControls(i, mParams[static_cast<size_t>(i)]->NormalizedValue(), false);"),
    ("ke1", "engine/tone_engine.cpp",
     "      if (!lanes.fAct[c][i]) lanes.fStart[c][i] = lanes.curFreq[c][i];\n", ""),
    ("ke2", "engine/wave_shaper.cpp", "mConst.c1 = 1.0 / (kPi / 2.0);", "mConst.c1 = 1.0 / (kPi / 2.1);"),
    ("ke3", "engine/tone_engine.cpp", "  if (!(sampleRate > 0.0)) return;\n", ""),
    ("kd1", "editor/controls.cpp", "mMasked.assign(std::min<size_t>(mText.size(), 254), '*');",
     "mMasked.assign(std::min<size_t>(mText.size(), 254), '#');"),
    ("kd2", "editor/graphics.cpp", "    else if (mHoverControl > idx)\n      --mHoverControl;\n", ""),
    ("kd3", "editor/controls.cpp", "  if (v != mValue) mValue = v;\n  MarkDirty(true);\n  mRepaintAgain = true;",
     "  if (v != mValue) mValue = v;\n  MarkDirty(true);"),
    ("kv1", "vst3/plug_vst3.cpp", "{\"reaper\", 1},", "{\"reaper\", 2},"),
    ("kv2", "vst3/plug_vst3.cpp", "return r == kResultOk && written == chunk.Size() ? kResultOk : kResultFalse;",
     "return r == kResultOk ? kResultOk : kResultFalse;"),
    ("kv3", "vst3/plug_vst3.cpp", "SetBypassed(value > 0.5);", "SetBypassed(value > 0.25);"),
    ("ki1", "instrument/product_controls.cpp", "if (mValue > 1.001) mValue = 0.0;",
     "if (mValue > 1.0) mValue = 0.0;"),
    ("ki2", "instrument/factory_presets.cpp", "constexpr int kKundaliniSlot = 79;",
     "constexpr int kKundaliniSlot = 80;"),
    ("ki3", "instrument/caldrith.cpp", "  SetParamFromEngine(kHighFreq, high, false);\n  RecomputeWindows();\n",
     "  SetParamFromEngine(kHighFreq, high, false);\n"),
    ("kt1", "tools/caldrith_render.cpp",
     "  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));\n", ""),
    ("kt2", "tools/render_options.cpp", "        if (i + 1 >= argc)", "        if (i + 2 >= argc)"),
    ("kt3", "tools/session_file.cpp", "    if (a.time < mLastTime) {", "    if (a.time <= mLastTime) {"),
    # ---- fourth set: drawn at random (seeded) from every layer's operators, constants and
    # statements by a generator, not chosen by hand, to measure the tests on faults nobody aimed at
    ('q01', 'raster/text_freetype.cpp', '    if (FcPatternGetInteger(match, FC_INDEX, 0, &idx) == FcResultMatch) out->index = idx;\n', ''),
    ('q02', 'raster/blit.cpp', '    for (int i = 0; i < 3; ++i) {\n', '    for (int i = 0; i <= 3; ++i) {\n'),
    ('q03', 'raster/pixel_ops.h', '  return Pack(Div255((s >> 24) * w), Div255(((s >> 16) & 255) * w), Div255(((s >> 8) & 255) * w),\n', '  return Pack(Div255((s >> 24) * w), Div255(((s >> 17) & 255) * w), Div255(((s >> 8) & 255) * w),\n'),
    ('q04', 'raster/blit.cpp', '      if (u <= -65536 || v <= -65536 || u >= wLimit || v >= hLimit) continue;\n', '      if (u <= -65537 || v <= -65536 || u >= wLimit || v >= hLimit) continue;\n'),
    ('q05', 'raster/text.h', '  virtual ~Font() = default;\n', ''),
    ('q06', 'framework/plug_base.cpp', '    ch->floatDest = buffers ? buffers[b++] : nullptr;\n', '    ch->floatDest = buffers ? buffers[b--] : nullptr;\n'),
    ('q07', 'framework/plug_base.h', '  int32_t mDoesMIDI = 0;\n', ''),
    ('q08', 'framework/plug_base.cpp', '  if (idx < 0 || idx >= PresetCount()) return "";\n', '  if (idx < 0 || idx > PresetCount()) return "";\n'),
    ('q09', 'framework/plug_base.cpp', '  return idx >= 0 && idx < NOutChannels() && mOutChannels[static_cast<size_t>(idx)]->connected;\n', '  return idx >= 0 && idx <= NOutChannels() && mOutChannels[static_cast<size_t>(idx)]->connected;\n'),
    ('q10', 'framework/plug_base.cpp', '  return false;\n', '  return true;\n'),
    ('q11', 'engine/tone_engine.cpp', '      lanes.weight[i] = k * (static_cast<double>(high) - 0.5) / gd + 0.5;\n', '      lanes.weight[i] = k * (static_cast<double>(high) - 0.6) / gd + 0.5;\n'),
    ('q12', 'engine/tone_engine.cpp', '  if (n < 1 || n > kMaxTones) return;\n', '  if (n < 1 && n > kMaxTones) return;\n'),
    ('q13', 'engine/tone_engine.h', '  alignas(64) double chunkGate[kRenderChunk];\n', '  alignas(65) double chunkGate[kRenderChunk];\n'),
    ('q14', 'engine/tone_engine.cpp', '  if (target == 0.0 && master < 1e-11) {\n', '  if (target == 0.0 || master < 1e-11) {\n'),
    ('q15', 'engine/wave_shaper.h', 'constexpr double kGoldenD = static_cast<double>(kGolden);\n', ''),
    ('q16', 'editor/controls.cpp', '  mDirty = true;\n', ''),
    ('q17', 'editor/graphics.cpp', '  if (d.Empty() || d.W() <= 0 || d.H() <= 0) return true;\n', ''),
    ('q18', 'editor/graphics.cpp', '      if (bmp && bmp->Empty()) {\n', '      if (bmp || bmp->Empty()) {\n'),
    ('q19', 'editor/types.h', '  kKeyDown = 2,\n', '  kKeyDown = 3,\n'),
    ('q20', 'editor/graphics.cpp', '    return true;\n', '    return false;\n'),
    ('q21', 'vst3/plug_vst3.cpp', '  info->lastBar = pc.barPositionMusic;\n', ''),
    ('q22', 'vst3/plug_vst3.cpp', '      {"aulab", 14},     {"forte", 15},      {"chainer", 16}, {"audition", 17},   {"orion", 18},\n', '      {"aulab", 14},     {"forte", 15},      {"chainer", 16}, {"audition", 17},   {"orion", 19},\n'),
    ('q23', 'vst3/plug_vst3_params.cpp', '  value = Clamp01(value);\n', ''),
    ('q24', 'vst3/plug_vst3.cpp', '                                       reinterpret_cast<void**>(&handler3)) != kResultOk ||\n', '                                       reinterpret_cast<void**>(&handler3)) != kResultOk &&\n'),
    ('q25', 'vst3/plug_vst3.cpp', '    for (int ch = connected ? std::max(0, NOutChannels() - c) : 0; ch < nch; ++ch) {\n', '    for (int ch = connected ? std::max(0, NOutChannels() - c) : 0; ch < nch; --ch) {\n'),
    ('q26', 'instrument/graphs.cpp', '    double step = dy * (std::fabs(q) * 0.25 * 0.06666667 + 0.05) / std::sqrt(l - m);\n', '    double step = dy * (std::fabs(q) * 0.26 * 0.06666667 + 0.05) / std::sqrt(l - m);\n'),
    ('q27', 'instrument/layout.cpp', '  l->statusLine = new ITextControl(plug, IBox(200, 58, 400, 76), StatusTextStyle(), "");\n', '  l->statusLine = new ITextControl(plug, IBox(200, 58, 401, 76), StatusTextStyle(), "");\n'),
    ('q28', 'instrument/product_controls.cpp', '  if (x < mTrack.L || x > mTrack.R || y < mTrack.T || y > mTrack.B) return;\n', '  if (x < mTrack.L || x > mTrack.R && y < mTrack.T || y > mTrack.B) return;\n'),
    ('q29', 'instrument/caldrith.cpp', '      return paramIdx == kLowFreq || paramIdx == kHighFreq || paramIdx == kQfreq;\n', '      return paramIdx == kLowFreq || paramIdx == kHighFreq && paramIdx == kQfreq;\n'),
    ('q30', 'instrument/layout.cpp', '  g->SetAnimatedArea(IBox(13, 294, 589, 442));\n', '  g->SetAnimatedArea(IBox(13, 294, 590, 442));\n'),
    ('q31', 'instrument/caldrith.cpp', '  if (v > p->Max()) v = p->Max();\n', '  if (v >= p->Max()) v = p->Max();\n'),
    ('q32', 'tools/session_plot.cpp', '  if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi) || maxTicks < 2) return ticks;\n', '  if (!(hi >= lo) || !std::isfinite(lo) || !std::isfinite(hi) || maxTicks < 2) return ticks;\n'),
    ('q33', 'tools/caldrith_bundle_info.cpp', "    while (mPath.size() > 1 && mPath.back() == '/') mPath.pop_back();\n", "    while (mPath.size() >= 1 && mPath.back() == '/') mPath.pop_back();\n"),
    ('q34', 'tools/plugin_host.cpp', '  mFactory = mModule.Factory();\n', ''),
    ('q35', 'tools/session_render.cpp', '    mChanges.Clear();\n', ''),
    ('q36', 'tools/session_plot.cpp', '    raster::DrawLine(*out, x, bottom.B, x, bottom.B + 4, kFrame, 1.f, false);\n', '    raster::DrawLine(*out, x, bottom.B, x, bottom.B + 5, kFrame, 1.f, false);\n'),
    ('q37', 'tools/session_file.cpp', '    e->message = std::move(message);\n', ''),
    ('q38', 'editor/x11/graphics_x11.cpp', '  if (!stillHeld) mRouted = false;\n', ''),
    ('q39', 'editor/x11/graphics_x11.h', '  enum EditState : int { kEditNone = 0, kEditing = 1, kEditCancel = 2, kEditCommit = 3 };\n', ''),
    ('q40', 'editor/x11/text_entry.cpp', '  if (caret - mScroll > inner - 1) mScroll = caret - (inner - 1);\n', '  if (caret - mScroll > inner - 1) mScroll = caret - (inner );\n'),
    # ---- fifth set: drawn the same way with another seed after the tests the fourth set
    # called for, to see whether they generalise
    ('z01', 'raster/png_io.cpp', '  if (png_get_rowbytes(st.png, st.info) != size_t(w) * 4) return false;\n', '  if (png_get_rowbytes(st.png, st.info) == size_t(w) * 4) return false;\n'),
    ('z02', 'raster/draw.cpp', '  return Circle(dst, cx, cy, radius, a1, a2, colour, opacity, antialias, false, true);\n', '  return Circle(dst, cx, cy, radius, a1, a2, colour, opacity, antialias, true, true);\n'),
    ('z03', 'raster/blit.cpp', '      for (int i = 0; i < w; ++i) d[i] = op(d[i], s[i]);\n', ''),
    ('z04', 'raster/blit.cpp', '  y1 = std::min<int64_t>(y1, c.B);\n', ''),
    ('z05', 'raster/blit.cpp', '    const uint32_t g = std::min(a, ((d >> 8) & 255) + ((s >> 8) & 255));\n', '    const uint32_t g = std::min(a, ((d >> 8) & 255) + ((s >> 8) & 256));\n'),
    ('z06', 'framework/plug_param.cpp', '  mDecimals = other.mDecimals;\n', ''),
    ('z07', 'framework/state_chunk.cpp', '  if (!data || size <= 0) return Size();\n', '  if (!data || size < 0) return Size();\n'),
    ('z08', 'framework/plug_base.cpp', '  if (nFrames <= 0) return;\n', ''),
    ('z09', 'framework/plug_base.h', 'constexpr int kPlugNameSize = 128;\n', 'constexpr int kPlugNameSize = 129;\n'),
    ('z10', 'framework/plug_base.cpp', '  PresetRecord& slot = mPresets[static_cast<size_t>(idx)];\n', ''),
    ('z11', 'engine/segment_envelope.cpp', '      mInc[k] = 0.0;\n', ''),
    ('z12', 'engine/tone_engine.cpp', '  m.val[i] = v;\n', ''),
    ('z13', 'engine/segment_envelope.h', '  bool Rising(int k) const { return k >= 0 && k < mSegments && mRising[k] != 0; }\n', '  bool Rising(int k) const { return k >= 0 && k <= mSegments && mRising[k] != 0; }\n'),
    ('z14', 'engine/tone_engine.cpp', '    if (nFrames > 0) {\n', '    if (nFrames >= 0) {\n'),
    ('z15', 'editor/graphics.cpp', '  if (style->align == kAlignFar) align = raster::TextAlign::kRight;\n', ''),
    ('z16', 'editor/controls.cpp', '  return (mPlugin && mParamIdx >= 0) ? mPlugin->ParamAt(mParamIdx) : nullptr;\n', '  return (mPlugin && mParamIdx > 0) ? mPlugin->ParamAt(mParamIdx) : nullptr;\n'),
    ('z17', 'editor/graphics.cpp', '  if (image.N >= 2 && frame >= 2) {\n', '  if (image.N > 2 && frame >= 2) {\n'),
    ('z18', 'editor/graphics.cpp', '    style->font = raster::FontCache::Instance().Get(style->face, style->size, style->style & 3,\n', '    style->font = raster::FontCache::Instance().Get(style->face, style->size, style->style & 4,\n'),
    ('z19', 'editor/controls.cpp', '      mThumb = static_cast<int>(1.5 * mRowHeight);\n', ''),
    ('z20', 'vst3/plug_vst3.cpp', '    mInitialized = true;\n', '    mInitialized = false;\n'),
    ('z21', 'vst3/plug_vst3_params.cpp', '    if (PresetCount() > 0) SetCurrentPresetIdx(PresetIndexFor(value));\n', '    if (PresetCount() >= 0) SetCurrentPresetIdx(PresetIndexFor(value));\n'),
    ('z22', 'vst3/plug_vst3.cpp', '    if (r != kResultOk && HostId() != kHostWaveLab) break;\n', '    if (r != kResultOk && HostId() == kHostWaveLab) break;\n'),
    ('z23', 'vst3/plug_vst3.cpp', '    for (; i < 127 && src[i]; ++i) dst[i] = static_cast<TChar>(static_cast<unsigned char>(src[i]));\n', '    for (; i < 128 && src[i]; ++i) dst[i] = static_cast<TChar>(static_cast<unsigned char>(src[i]));\n'),
    ('z24', 'vst3/plug_vst3_params.cpp', '  WidenText(groups[static_cast<size_t>(unitIndex - 1)].c_str(), info.name);\n', '  WidenText(groups[static_cast<size_t>(unitIndex )].c_str(), info.name);\n'),
    ('z25', 'instrument/layout.cpp', '        new ISwitchLbl(plug, kFreqGraph, 202, 445, graphSwitch, value, 0, 78, false, 0.2f));\n', '        new ISwitchLbl(plug, kFreqGraph, 202, 445, graphSwitch, value, 0, 79, false, 0.2f));\n'),
    ('z26', 'instrument/graphs.cpp', '    mCurveY[static_cast<size_t>(c)] = static_cast<float>(mPlot.B - span * drawn);\n', ''),
    ('z27', 'instrument/layout.cpp', '    l->waveControl = g->AddControl(new IBitmapControl(plug, 498, 145, -1, waves, kBlendNone));\n', '    l->waveControl = g->AddControl(new IBitmapControl(plug, 499, 145, -1, waves, kBlendNone));\n'),
    ('z28', 'instrument/graphs.cpp', '        if (x > mPlot.L && x < mPlot.R) {\n', '        if (x > mPlot.L && x <= mPlot.R) {\n'),
    ('z29', 'instrument/graphs.h', '  static constexpr int kQfreqParam = 15;\n', '  static constexpr int kQfreqParam = 16;\n'),
    ('z30', 'instrument/factory_presets.cpp', '                                     24,         -24,  24,     -24, 25.0, 50.0, 75.0};\n', '                                     24,         -24,  25,     -24, 25.0, 50.0, 75.0};\n'),
    ('z31', 'tools/session_file.cpp', '  char buf[64];\n', '  char buf[65];\n'),
    ('z32', 'tools/plugin_host.cpp', '  mController->setParamNormalized(mPresetTag, normalized);\n', ''),
    ('z33', 'tools/session_plot.cpp', 'constexpr int kLeft = 96, kRight = 24, kTop = 40, kBottom = 56, kGap = 16;\n', 'constexpr int kLeft = 96, kRight = 25, kTop = 40, kBottom = 56, kGap = 16;\n'),
    ('z34', 'tools/caldrith_bundle_info.cpp', '      if (r.vendor.empty()) r.vendor = factoryVendor;\n', ''),
    ('z35', 'tools/session_file.cpp', '    fields[count++] = v;\n', ''),
    ('z36', 'tools/caldrith_bundle_info.cpp', '    if (!snapshot) return false;\n', '    if (!snapshot) return true;\n'),
    ('z37', 'editor/x11/graphics_x11.cpp', '                        std::abs(y - mLastPressY) <= 4;\n', '                        std::abs(y - mLastPressY) <= 5;\n'),
    ('z38', 'editor/x11/graphics_x11.cpp', '  if (!control || !param || mBox.IsOpen()) return;\n', '  if (!control && !param || mBox.IsOpen()) return;\n'),
    ('z39', 'editor/x11/cursor_image.cpp', '  result.hotY = hotY < h ? hotY : h - 1;\n', '  result.hotY = hotY < h ? hotY : h ;\n'),
    # ---- sixth set: a third random draw, after the tests the fifth called for
    ('w01', 'raster/draw.cpp', '  if (e1 >= 0) (e1 < 2 ? nx2 : ny2) = edge[e1];\n', ''),
    ('w02', 'raster/draw.cpp', '                int64_t(std::floor(e[2] + 0.5)), int64_t(std::floor(e[3] + 0.5)));\n', '                int64_t(std::floor(e[2] + 0.6)), int64_t(std::floor(e[3] + 0.5)));\n'),
    ('w03', 'raster/png_io.cpp', '    rows[y] = d;\n', ''),
    ('w04', 'raster/blit.cpp', '  for (int y = area.T; y < area.B; ++y) {\n', '  for (int y = area.T; y < area.B; --y) {\n'),
    ('w05', 'raster/png_io.cpp', '      if (ch == 4) d[3] = uint8_t(c >> 24);\n', '      if (ch == 4) d[3] = uint8_t(c >> 25);\n'),
    ('w06', 'framework/plug_param.cpp', '  mMax = other.mMax;\n', ''),
    ('w07', 'framework/plug_base.cpp', '  for (int i = 0; i < ParamCount() && values && i < count; ++i) slot->state.PutDouble(values[i]);\n', '  for (int i = 0; i < ParamCount() && values || i < count; ++i) slot->state.PutDouble(values[i]);\n'),
    ('w08', 'framework/plug_base.cpp', '    slot.initialised = true;\n', ''),
    ('w09', 'framework/plug_param.cpp', '  if (mKind == kTypeNone) mKind = kTypeDouble;\n', '  if (mKind != kTypeNone) mKind = kTypeDouble;\n'),
    ('w10', 'framework/plug_base.cpp', '    mOutputBusLabels.resize(static_cast<size_t>(idx) + 1);\n', ''),
    ('w11', 'engine/segment_envelope.cpp', '  if (k >= 0 && k < mSegments - 1 && x == x) mBreak[k] = x;\n', '  if (k >= 0 && k <= mSegments - 1 && x == x) mBreak[k] = x;\n'),
    ('w12', 'engine/wave_shaper.cpp', '  static const SineThresholds t = {ReductionBoundary(1), ReductionBoundary(2), ReductionBoundary(3),\n', '  static const SineThresholds t = {ReductionBoundary(1), ReductionBoundary(2), ReductionBoundary(4),\n'),
    ('w13', 'engine/dsp_math.h', '  if (y >= 2147483647.0) return 2147483647;\n', '  if (y >= 2147483647.0) return 2147483648;\n'),
    ('w14', 'engine/segment_envelope.cpp', '  const int n = stepsFloat >= 2147483520.0f ? 2147483520 : static_cast<int>(stepsFloat);\n', '  const int n = stepsFloat >= 2147483520.0f ? 2147483521 : static_cast<int>(stepsFloat);\n'),
    ('w15', 'editor/headless.cpp', '  if (!found || !data || size <= 7) return nullptr;\n', '  if (!found && !data || size <= 7) return nullptr;\n'),
    ('w16', 'editor/controls.cpp', '  if (!(mValue > mLowLimit)) {\n', '  if (!(mValue >= mLowLimit)) {\n'),
    ('w17', 'editor/controls.cpp', '  if (!text) text = "";\n', ''),
    ('w18', 'editor/graphics.h', '  IRgba mPopupBg{245, 50, 50, 50};\n', '  IRgba mPopupBg{245, 50, 50, 51};\n'),
    ('w19', 'editor/controls.cpp', '    if (mColumns > 1 && hover >= 0 && FirstVisible() + hover >= Count()) hover = -1;\n', '    if (mColumns > 1 && hover > 0 && FirstVisible() + hover >= Count()) hover = -1;\n'),
    ('w20', 'vst3/plug_vst3.cpp', '  for (; i < 127 && hostName[i]; ++i) {\n', '  for (; i < 128 && hostName[i]; ++i) {\n'),
    ('w21', 'vst3/plug_vst3.cpp', '      if (IPlugEditor* gui = GetGUI()) gui->PushParamToControls(idx, value, true);\n', '      if (IPlugEditor* gui = GetGUI()) gui->PushParamToControls(idx, value, false);\n'),
    ('w22', 'vst3/plug_vst3.cpp', '    if (chunk.Size() >= kMaxStateBytes) break;\n', ''),
    ('w23', 'vst3/plug_vst3.cpp', '    } else if (bus.channelBuffers64 && bus.channelBuffers64[ch]) {\n', '    } else if (bus.channelBuffers64 || bus.channelBuffers64[ch]) {\n'),
    ('w24', 'vst3/plug_vst3.cpp', '      if (PresetCount() > 0) SelectPreset(PresetIndexFor(value));\n', '      if (PresetCount() >= 0) SelectPreset(PresetIndexFor(value));\n'),
    ('w25', 'instrument/factory_presets.cpp', '     {{kPlayAnyway, 0}, {kXvol1, 37.5}, {kXvol2, 62.5}, {kXvol3, 87.5}}},\n', '     {{kPlayAnyway, 0}, {kXvol1, 37.6}, {kXvol2, 62.5}, {kXvol3, 87.5}}},\n'),
    ('w26', 'instrument/caldrith.cpp', '  mEngine.Render(nFrames > 0 ? outputs[0] : nullptr, nFrames > 0 ? outputs[1] : nullptr, nFrames,\n', '  mEngine.Render(nFrames >= 0 ? outputs[0] : nullptr, nFrames > 0 ? outputs[1] : nullptr, nFrames,\n'),
    ('w27', 'instrument/caldrith.cpp', '  for (int i = 0; i < kNumParams; ++i) mApplied[i] = -101;\n', '  for (int i = 0; i <= kNumParams; ++i) mApplied[i] = -101;\n'),
    ('w28', 'instrument/caldrith.cpp', '  PlugParam* p = ParamAt(paramIdx);\n', ''),
    ('w29', 'instrument/product_controls.cpp', '  mDragging = false;\n', '  mDragging = true;\n'),
    ('w30', 'instrument/graphs.cpp', '  if (mShowWindows && mTones > 0) {\n', '  if (mShowWindows || mTones > 0) {\n'),
    ('w31', 'tools/audio_output.cpp', '    if (mSaved >= 0 && null >= 0) dup2(null, STDERR_FILENO);\n', '    if (mSaved >= 0 && null > 0) dup2(null, STDERR_FILENO);\n'),
    ('w32', 'tools/session_render.cpp', '    mPeak[c] = peak;\n', ''),
    ('w33', 'tools/render_options.cpp', '         o.seconds = s;\n', ''),
    ('w34', 'tools/audio_output.h', '  int mChannels = 2;\n', '  int mChannels = 3;\n'),
    ('w35', 'tools/session_file.cpp', '      unsigned char c = static_cast<unsigned char>(raw[i]);\n', ''),
    ('w36', 'tools/session_timeline.cpp', '                mActive.end());\n', ''),
    ('w37', 'editor/x11/graphics_x11.cpp', '    mUploadBuffer.resize((rowBytes * rows + 3) / 4);\n', ''),
    ('w38', 'editor/x11/text_entry.cpp', '  if (mCaret >= static_cast<int>(mText.size())) return false;\n', '  if (mCaret >= static_cast<int>(mText.size())) return true;\n'),
    ('w39', 'editor/x11/graphics_x11.cpp', '        const uint32_t p = boxRow && ex >= boxL && ex < boxR ? boxRow[ex - boxL] : src[x];\n', '        const uint32_t p = boxRow && ex > boxL && ex < boxR ? boxRow[ex - boxL] : src[x];\n'),
    # ---- seventh set: a fourth random draw
    ('s01', 'raster/text.cpp', '  if (!text || !*text) return true;\n', '  if (!text && !*text) return true;\n'),
    ('s02', 'raster/text_freetype.cpp', '    if (FT_Load_Glyph(mFace, idx, LoadFlags()) != 0) return false;\n', '    if (FT_Load_Glyph(mFace, idx, LoadFlags()) == 0) return false;\n'),
    ('s03', 'raster/draw.cpp', '    const double ym = (y1 + y2) * 0.5, gap = dx;\n', '    const double ym = (y1 + y2) * 0.6, gap = dx;\n'),
    ('s04', 'framework/plug_base.cpp', '  RunBlock(nFrames, BlockKind::kPassThrough, false);\n', '  RunBlock(nFrames, BlockKind::kPassThrough, true);\n'),
    ('s05', 'framework/plug_param.cpp', '  mValueTexts = other.mValueTexts;\n', ''),
    ('s06', 'framework/plug_base.cpp', '        param->IsIntegerKind() ? static_cast<double>(va_arg(args, int)) : va_arg(args, double);\n', ''),
    ('s07', 'framework/plug_base.cpp', '  return idx >= 0 && idx < NInChannels() && mInChannels[static_cast<size_t>(idx)]->connected;\n', '  return idx >= 0 && idx < NInChannels() || mInChannels[static_cast<size_t>(idx)]->connected;\n'),
    ('s08', 'framework/plug_base.cpp', '      if (scratch && ch->connected && ch->floatSrc) {\n', '      if (scratch || ch->connected && ch->floatSrc) {\n'),
    ('s09', 'engine/tone_engine.cpp', '          a = static_cast<float>(i) / static_cast<float>(kRephaseSteps);\n', ''),
    ('s10', 'engine/segment_envelope.h', '    if (mRising[k] ? mValue >= mTarget[k] : mValue <= mTarget[k]) {\n', '    if (mRising[k] ? mValue > mTarget[k] : mValue <= mTarget[k]) {\n'),
    ('s11', 'engine/segment_envelope.h', '  float Curvature(int k) const { return (k >= 0 && k < mSegments) ? mCurvature[k] : 0.0f; }\n', '  float Curvature(int k) const { return (k >= 0 && k <= mSegments) ? mCurvature[k] : 0.0f; }\n'),
    ('s12', 'engine/wave_shaper.h', '  const double half = n * 0.5;\n', '  const double half = n * 0.6;\n'),
    ('s13', 'editor/graphics.cpp', '  mControls.reserve(4096 / sizeof(void*));\n', '  mControls.reserve(4097 / sizeof(void*));\n'),
    ('s14', 'editor/graphics.cpp', '  const bool top = corners == 4 || corners == 2;\n', '  const bool top = corners == 5 || corners == 2;\n'),
    ('s15', 'editor/types.h', '           (static_cast<uint32_t>(G & 255) << 8) | static_cast<uint32_t>(B & 255);\n', '           (static_cast<uint32_t>(G & 255) << 9) | static_cast<uint32_t>(B & 255);\n'),
    ('s16', 'editor/controls.cpp', '  if (mThumb > 0) {\n', '  if (mThumb >= 0) {\n'),
    ('s17', 'editor/graphics.cpp', '    if (mHoverControl == idx)\n', '    if (mHoverControl != idx)\n'),
    ('s18', 'vst3/plug_vst3.cpp', '    if (!bus || CountBits(bus->getArrangement()) == channels) return;\n', '    if (!bus || CountBits(bus->getArrangement()) != channels) return;\n'),
    ('s19', 'vst3/single_component_effect.cpp', '  if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue) return kResultFalse;\n', '  if (canProcessSampleSize(setup.symbolicSampleSize) == kResultTrue) return kResultFalse;\n'),
    ('s20', 'vst3/plug_vst3_view.cpp', '      link->release();\n', ''),
    ('s21', 'vst3/plug_vst3_params.cpp', '      while (g < groups.size() && groups[g] != group) ++g;\n', ''),
    ('s22', 'vst3/plug_vst3.cpp', '  for (uint64 a = static_cast<uint64>(arr); a; a &= a - 1) ++n;\n', '  for (uint64 a = static_cast<uint64>(arr); a; a &= a - 1) --n;\n'),
    ('s23', 'instrument/caldrith.cpp', '  if (nFrames > 0 && (outputs == nullptr || outputs[0] == nullptr || outputs[1] == nullptr)) return;\n', '  if (nFrames > 0 && (outputs != nullptr || outputs[0] == nullptr || outputs[1] == nullptr)) return;\n'),
    ('s24', 'instrument/product_controls.cpp', '  mCx = static_cast<float>(rect.L + rect.R) / 2.0f;\n', ''),
    ('s25', 'instrument/factory_presets.cpp', '    {"Healing - Adrenals, thyroid & parathyroid (492.8)", 492.8},\n', '    {"Healing - Adrenals, thyroid & parathyroid (492.9)", 492.8},\n'),
    ('s26', 'instrument/graphs.cpp', '    if (!whole && (seg < first || seg > last)) continue;\n', '    if (!whole && (seg < first || seg >= last)) continue;\n'),
    ('s27', 'instrument/factory_presets.cpp', '    {"Psychic - Confusion (0.4)", 0.4},\n', '    {"Psychic - Confusion (0.4)", 0.5},\n'),
    ('s28', 'instrument/layout.cpp', '  g->AddControl(l->freqGraph);\n', ''),
    ('s29', 'tools/caldrith_render.cpp', "      line.resize(static_cast<size_t>(width - 1), ' ');\n", ''),
    ('s30', 'tools/session_file.cpp', "  return c == ' ' || c == '\\t';\n", "  return c == ' ' || c != '\\t';\n"),
    ('s31', 'tools/render_options.cpp', '         o.precision = v == "32" ? 32 : 64;\n', ''),
    ('s32', 'tools/plugin_host.cpp', '      mSeparateController = true;\n', ''),
    ('s33', 'tools/render_options.cpp', '       "render a session: timed lines such as \\"0:30 Volume -> 60\\" (see the README)",\n', '       "render a session: timed lines such as \\"0:31 Volume -> 60\\" (see the README)",\n'),
    ('s34', 'tools/plugin_host.cpp', '      mController->initialize(static_cast<IHostApplication*>(mHost.get()));\n', ''),
    ('s35', 'editor/x11/cursor_image.cpp', '  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;\n', '  if (bpp != 1 && bpp != 4 || bpp != 8 && bpp != 24 && bpp != 32) return false;\n'),
    ('s36', 'editor/x11/graphics_x11.cpp', '  for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem;\n', ''),
    ('s37', 'editor/x11/cursor_image.cpp', '  const size_t maskStride = ((static_cast<size_t>(w) + 31) / 32) * 4;\n', '  const size_t maskStride = ((static_cast<size_t>(w) + 31) / 32) * 5;\n'),
]


def set_of(mid):
    return {"h": "second", "k": "third", "q": "fourth", "z": "fifth", "w": "sixth", "s": "seventh"}.get(mid[0], "first")


def layer_of(path):
    # The X11 window and the view that registers it with the host run in test_x11, against
    # a virtual X server.
    if path.startswith("editor/x11/") or path == "vst3/plug_vst3_view.cpp":
        return "x11"
    return path.split("/", 1)[0]


def run(cmd, cwd, timeout):
    try:
        p = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=timeout)
        return p.returncode, p.stdout.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return None, "timed out"


def test_binary(build, layer):
    return os.path.join(build, "tests", layer, TARGETS[layer])


def build_target(build, layer, jobs):
    rc, out = run(["cmake", "--build", build, "--target", TARGETS[layer], "-j%d" % jobs], ROOT,
                  1800)
    return rc == 0, out


def run_tests(build, layer):
    binary = test_binary(build, layer)
    # A planted fault may hang a test: a timeout counts as caught.
    rc, out = run([binary, "--gtest_brief=1"], os.path.dirname(binary), 600)
    if rc is None:
        return True, "timeout"
    return rc != 0, out


def first_failure(out):
    for line in out.splitlines():
        if line.startswith("[  FAILED  ]"):
            return line[len("[  FAILED  ]"):].strip()
    return out.strip().splitlines()[-1] if out.strip() else ""


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("layers", nargs="*")
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--only", default="")
    ap.add_argument("--check", action="store_true")
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--report", default="")
    ap.add_argument("--set", choices=["all", "first", "second", "third", "fourth", "fifth", "sixth", "seventh"], default="all",
                    help="one set of mutations: the first, the second (ids starting with h) or "
                    "the third (k)")
    args = ap.parse_args()

    chosen = [m for m in MUTATIONS
              if (not args.layers or layer_of(m[1]) in args.layers) and
              (not args.only or m[0] in args.only.split(",")) and
              (args.set == "all" or set_of(m[0]) == args.set)]
    if args.list:
        for mid, path, old, new in chosen:
            print("%s %s\n  - %s\n  + %s" % (mid, path, old.strip(), new.strip() or "(dropped)"))
        return 0

    problems = 0
    for mid, path, old, _ in chosen:
        with open(os.path.join(ROOT, path)) as f:
            n = f.read().count(old)
        if n != 1:
            print("%s: %s holds the original %d times" % (mid, path, n))
            problems += 1
    if args.check:
        print("%d mutations, %d do not apply" % (len(chosen), problems))
        return 1 if problems else 0

    layers = OrderedDict()
    for m in chosen:
        layers.setdefault(layer_of(m[1]), []).append(m)
    # The unmutated tree must build and pass, or nothing below means anything.
    for layer in layers:
        ok, out = build_target(args.build, layer, args.jobs)
        if not ok:
            sys.exit("%s does not build:\n%s" % (TARGETS[layer], out[-3000:]))
        failed, out = run_tests(args.build, layer)
        if failed:
            sys.exit("%s fails without any mutation:\n%s" % (TARGETS[layer], out[-3000:]))

    results = OrderedDict((layer, [0, 0, 0]) for layer in layers)  # caught, missed, not built
    lines = []
    for layer, muts in layers.items():
        for mid, path, old, new in muts:
            full = os.path.join(ROOT, path)
            with open(full) as f:
                original = f.read()
            if original.count(old) != 1:
                lines.append("%s %-10s skipped (does not apply)" % (mid, layer))
                print(lines[-1], flush=True)
                continue
            t0 = time.time()
            try:
                with open(full, "w") as f:
                    f.write(original.replace(old, new, 1))
                ok, out = build_target(args.build, layer, args.jobs)
                if not ok:
                    verdict, why = "not built", ""
                    results[layer][2] += 1
                else:
                    failed, out = run_tests(args.build, layer)
                    verdict = "caught" if failed else "MISSED"
                    why = first_failure(out) if failed else ""
                    results[layer][0 if failed else 1] += 1
            finally:
                with open(full, "w") as f:
                    f.write(original)
            lines.append("%s %-10s %-9s %5.0fs  %s: %s  %s" %
                         (mid, layer, verdict, time.time() - t0, path, new.strip()[:60], why[:70]))
            print(lines[-1], flush=True)
    # Leave the build matching the sources again.
    for layer in layers:
        build_target(args.build, layer, args.jobs)

    print("\nlayer       caught / planted")
    total = [0, 0]
    for layer, (caught, missed, _) in results.items():
        print("%-10s  %3d / %3d" % (layer, caught, caught + missed))
        total[0] += caught
        total[1] += caught + missed
    print("%-10s  %3d / %3d  (%.0f%%)" % ("all", total[0], total[1],
                                          100.0 * total[0] / max(1, total[1])))
    if args.report:
        with open(args.report, "w") as f:
            f.write("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
