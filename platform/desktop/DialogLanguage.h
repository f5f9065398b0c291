#pragma once

// Whether a file dialog of the desktop's own (GTK's, or a desktop portal's)
// would speak Japanese to this program: only when the language its messages
// are in is Japanese (LANGUAGE, when set, and the messages locale that
// LC_ALL, LC_MESSAGES or LANG choose). Elsewhere the file dialogs are Qt's
// own, whose texts the program has in Japanese.
bool desktopDialogsSpeakJapanese();
