#pragma once
// A small plug-in with a few parameters of each kind that records the edit notifications,
// and a headless editor around it, for control-level tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/controls.h"
#include "editor/graphics.h"
#include "editor/headless.h"
#include "framework/plug_base.h"
#include "raster/raster.h"
#include "tests/framework/lock_breach_fails.h"

enum TestParams { kGain = 0, kMode, kChoice, kCount, kTestParams };

class RecordingPlug : public IPlugBase {
 public:
  RecordingPlug()
      : IPlugBase(kTestParams, "0-2", 1, "Recorder", "", "Maker", 0x10000, 1, 2, 0, false, false,
                  true, kAPIVST3) {
    ParamAt(kGain)->DefineDouble("Gain", 50.0, 0.0, 100.0, 0.1, "%");
    ParamAt(kMode)->DefineEnum("Mode", 0, 2);
    ParamAt(kMode)->AddValueText(0, "Off");
    ParamAt(kMode)->AddValueText(1, "On");
    ParamAt(kChoice)->DefineEnum("Choice", 0, 12);
    for (int i = 0; i < 12; ++i) {
      ParamAt(kChoice)->AddValueText(i, ("Item " + std::to_string(i)).c_str());
    }
    ParamAt(kCount)->DefineInt("Count", 7, 1, 16);
  }

  void BeginParamEdit(int idx) override { log.push_back("begin " + std::to_string(idx)); }
  void EndParamEdit(int idx) override { log.push_back("end " + std::to_string(idx)); }
  void ReportParamEdit(int idx, double n) override {
    log.push_back("report " + std::to_string(idx));
    lastReported = n;
  }
  void ShowParamStatus(int idx) override { log.push_back("status " + std::to_string(idx)); }
  void HandleParamChange(int idx) override { log.push_back("change " + std::to_string(idx)); }

  int Count(const std::string& entry) const {
    int n = 0;
    for (const auto& e : log) n += e == entry;
    return n;
  }

  std::vector<std::string> log;
  double lastReported = -1.0;
};

// A control that counts its paints and mouse calls.
class ProbeControl : public IControl {
 public:
  ProbeControl(IPlugBase* plug, const IBox& r, int param = -1) : IControl(plug, r, param) {}
  bool Paint(IGraphics* g) override {
    (void)g;
    ++paints;
    return true;
  }
  void MouseDown(int x, int y, const IInputMods& m) override {
    ++downs;
    IControl::MouseDown(x, y, m);
  }
  void MouseUp(int, int, const IInputMods&) override { ++ups; }
  void MouseDrag(int x, int y, int dx, int dy, const IInputMods&) override {
    drags.push_back({x, y, dx, dy});
  }
  void MouseOver(int, int, const IInputMods&) override { ++overs; }
  void MouseOut() override { ++outs; }

  struct Drag {
    int x, y, dx, dy;
  };
  int paints = 0, downs = 0, ups = 0, overs = 0, outs = 0;
  std::vector<Drag> drags;
};

// PNG bytes of a generated bitmap: w x h, each row band of `frames` frames in its own colour.
inline std::vector<unsigned char> StripPng(int w, int h, int frames, bool vertical = true) {
  raster::Bitmap b(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int f = vertical ? y * frames / h : x * frames / w;
      b.Set(x, y, raster::Argb(255, 40 * f + 10, 255 - 30 * f, 7 * f));
    }
  }
  std::vector<uint8_t> png;
  raster::EncodePng(b, &png);
  return std::vector<unsigned char>(png.begin(), png.end());
}

inline const IInputMods kLeft(true, false);
inline const IInputMods kRight(false, true);
inline const IInputMods kLeftShift(true, false, true);

// An editor of 600 x 475 with four generated strips (ids 910-913) under a probe that
// covers it all; Install() opens it.
class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gui = new IGraphicsHeadless(&plug, 600, 475);
    gui->SetImageOverride(910, StripPng(16, 16, 1));
    gui->SetImageOverride(911, StripPng(20, 14, 2));
    gui->SetImageOverride(912, StripPng(20, 49, 7));
    gui->SetImageOverride(913, StripPng(32, 41, 1));
    gui->AddControl(new ProbeControl(&plug, IBox(0, 0, 600, 475)));
  }
  void Install() {
    plug.InstallEditor(gui);
    gui->CreateEditorWindow(nullptr);
    plug.log.clear();
  }
  // A left click through the host, as the window delivers it.
  void Click(int x, int y, const IInputMods& m = kLeft) {
    gui->MouseDown(x, y, m);
    gui->MouseUp(x, y, m);
  }

  RecordingPlug plug;
  IGraphicsHeadless* gui = nullptr;
};
