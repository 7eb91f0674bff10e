#pragma once

// The widget toolkit's tray icon and beep, installed for runs and recordings
// (which cannot reach the toolkit themselves). Call once at program start.
void installDesktopShell();
