// Builds a dialog from its numbered layout in the resource module, directly into the dialog
// object itself, so the controls become its children, found by their ids (object names).
#pragma once

class QDialog;

// False when the module has no layout of that number or it cannot be read.
bool LoadDialogTemplate(QDialog* host, int templateId);
