#pragma once
// Pictures of an instance's editor for tools: drawn through the ordinary timer path of the
// headless platform, exactly what a window would show.
class IPlugBase;

// Opens the editor (if it is not open), optionally rests the mouse on the control of the
// parameter named `hoverParam` (case-insensitive; null or "" for none), lets the timer run
// until the picture is settled and writes it to `pngPath`. A window that was closed is
// closed again. False when the instance has no headless editor, the name matches no control
// or the file cannot be written.
// `scale` above 0 draws the picture at that scale (clamped to 1..3) and puts the editor's
// own scale back afterwards.
bool WriteEditorPicture(IPlugBase* plug, const char* hoverParam, const char* pngPath,
                        double scale = 0.0);

// The control index under which the parameter named `name` is shown; -1 when none.
int ControlForParamName(IPlugBase* plug, const char* name);
