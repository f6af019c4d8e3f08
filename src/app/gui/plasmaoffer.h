#pragma once

// Lets the settings window offer "Add to panel" on Plasma, through the
// scripting interface of the running plasmashell.
void offerPlasmaWidget();
