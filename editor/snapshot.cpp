#include "editor/snapshot.h"

#include <cctype>

#include "editor/controls.h"
#include "editor/headless.h"
#include "framework/plug_base.h"
#include "raster/raster.h"

namespace {

bool SameName(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) !=
        std::tolower(static_cast<unsigned char>(*b)))
      return false;
  }
  return *a == *b;
}

}  // namespace

int ControlForParamName(IPlugBase* plug, const char* name) {
  IGraphics* g = PlugGraphics(plug);
  if (!g || !name) return -1;
  for (int i = 0; i < g->NControls(); ++i) {
    const IControl* c = g->GetControl(i);
    const PlugParam* p = c->Param();
    if (p && !c->IsHidden() && SameName(p->NameText(), name)) return i;
  }
  return -1;
}

bool WriteEditorPicture(IPlugBase* plug, const char* hoverParam, const char* pngPath,
                        double scale) {
  auto* g = plug ? dynamic_cast<IGraphicsHeadless*>(plug->GetGUI()) : nullptr;
  if (!g || !pngPath) return false;
  int hover = -1;
  if (hoverParam && hoverParam[0]) {
    hover = ControlForParamName(plug, hoverParam);
    if (hover < 0) return false;
  }
  const bool wasOpen = g->HasWindow();
  if (!wasOpen) {
    g->CreateEditorWindow(nullptr);
    plug->EditorOpened();
  }
  // A picture shows the asked scale (else the host's), never the zoom the person who runs
  // the tool chose for their own windows; both are put back below.
  const double userZoom = g->UserZoom(), hostScale = g->ScaleFactor();
  const bool rescale = scale > 0.0 || userZoom > 0.0;
  if (rescale) {
    g->SetUserZoom(0.0);
    g->SetScaleFactor(scale > 0.0 ? scale : hostScale);
  }
  if (hover >= 0) {
    const IBox r = g->ToPixels(g->GetControl(hover)->Rect());
    g->MouseOver((r.L + r.R) / 2, (r.T + r.B) / 2, IInputMods());
  }
  // A change shows on the tick after it is posted and is repainted on the next one.
  for (int i = 0; i < 3; ++i) g->Tick();
  const bool ok = raster::SavePngFile(g->Screen(), pngPath);
  if (rescale) {
    g->SetScaleFactor(hostScale);
    g->SetUserZoom(userZoom);
  }
  if (!wasOpen) {
    plug->EditorClosed();
    g->DestroyEditorWindow();
  }
  return ok;
}
