#pragma once
// The web engine's start. The engine starts with the first web view of the process, which the
// HTML editor and the preview create only when they are first needed; the program's window
// comes up without it.
namespace htmleditor {

// Runs before the first web view is made. Where the window system offers no OpenGL (the
// offscreen platform, a server without a display), the engine is told to run without the GPU
// instead of failing to create its shared OpenGL context.
void PrepareWebEngine();

// True once this process made a web view (the engine and its helper processes started).
bool WebEngineStarted();

} // namespace htmleditor
