// No window system is shared with the host here: without the host's handler
// a dialog ends at once, as closed.
#include "dialog.h"

intptr_t RunSystemDialog(HWND, const DialogLayout&, DialogEvents&) { return IDCANCEL; }
