#pragma once
// The web engine's start. The engine starts with the first web view of the process, which the
// HTML editor and the preview create only when they are first needed; the program's window
// comes up without it. The views come from the web-engine module (WebViewModule.h), which is
// loaded at that moment: the program itself does not link the engine.
#include "htmleditor/WebViewModule.h"

namespace htmleditor {

// Runs before the first web view is made. Where the window system offers no OpenGL (the
// offscreen platform, a server without a display), the engine is told to run without the GPU
// instead of failing to create its shared OpenGL context.
void PrepareWebEngine();

// The web-engine module, loaded (after PrepareWebEngine) on the first call: beside the program
// first, then where the build put it. Raises a readable error when no usable module is found.
const TWebViewModule& WebEngineModule();

// The module's file name.
constexpr const char* kWebEngineModuleName = "quillory-webengine.so";

// True once this process made a web view (the engine and its helper processes started).
bool WebEngineStarted();

} // namespace htmleditor
