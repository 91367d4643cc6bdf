// The status windows: small frames with one line of text that the stub
// shows while it works, the copying window ("Copying Files...") and the
// extraction window ("Extracting, N% complete", whose text line the archive
// driver rewrites). The caller hides a frame with ShowWindow(SW_HIDE) when
// its phase is over; nothing destroys them: they go with the process.
#pragma once

#include <windows.h>

// Creates, shows and paints the copying window; returns its frame.
HWND ShowCopyingWindow();

// The same for the extraction window; its text line becomes the engine's
// extraction text control before the frame is returned.
HWND ShowExtractionWindow();
