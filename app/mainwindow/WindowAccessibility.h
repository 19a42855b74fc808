#pragma once

// Screen readers are told that the main and history windows are windows and the "Go to command"
// box a dialog: as plain widgets and frames at the top they would otherwise be exposed as client
// areas and groupings. Installs itself once.
void InstallWindowAccessibility();
