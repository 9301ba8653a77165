// The one way a modal dialog of the program is run, from the language choice at start-up to the
// message boxes: placed, run (or handed to a test's hook), and its result code returned.
#pragma once

#include <functional>

class QDialog;
class QWidget;

namespace pz {

void CenterOnScreen(QWidget& window);

// Where a modal dialog appears: centred on its screen, or where the window system puts it over
// its parent (the message boxes).
enum class DialogPlacement { ScreenCentre, OverParent };

// Tests install a hook that receives every modal dialog in place of exec(): the dialog is shown
// (not run in a nested event loop), the hook fills its fields and clicks its buttons, and the
// dialog's result is whatever done() it reached (Rejected when the hook closes nothing).
using DialogHook = std::function<void(QDialog& dialog)>;
void SetDialogHook(DialogHook hook);

// The caller owns the dialog.
int RunModal(QDialog& dialog, DialogPlacement placement = DialogPlacement::ScreenCentre);

}  // namespace pz
