// Raising and lowering the shell's soft input panel around the dialogs that take typing.
#pragma once

// Both read the panel's record first and hand it back with only SIPF_ON changed; when the
// record cannot be read nothing happens.
void ShowInputPanel();
void HideInputPanel();
