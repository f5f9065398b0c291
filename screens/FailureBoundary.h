#pragma once

#include <functional>

class MessageBox;

// Runs one screen handler. A failure that escapes it (a PlatformError from the
// database, grid, printer, or any other exception) ends the handler at that
// step and is shown as one message (critical, titled "Zabrelo") with the
// failure's description; then control returns to the screen. Rows already
// stored stay as they are. A failure whose outcome is unknown (a write that
// may have been done, PlatformError::outcomeUnknown) is shown as the message
// that says so, whatever was added to it on the way. Returns false when the
// handler failed.
bool runHandler(MessageBox& messages, const std::function<void()>& handler);
