// Builds a dialog from its numbered layout in the resource module, directly into the dialog
// object itself, so the controls become its children, found by their ids (object names).
#pragma once

class QDialog;

// False when the module has no layout of that number or it cannot be read.
bool LoadDialogTemplate(QDialog* host, int templateId);

class QWidget;
// Puts `dialog` (at its size to be shown) over the middle of `over`'s window; a layout's own
// position is at the screen's corner.
void CentreOnWindow(QWidget* dialog, QWidget* over);
