#pragma once

// The entry point of the window module (quillmere-gui.so), as the program
// calls it: int quillmere_gui_run(int argc, char **argv). It returns the
// program's exit code, or quillmereGuiNoDisplay, before it has done anything,
// when there is no display to show windows on.
inline constexpr int quillmereGuiNoDisplay = -0x5157;
inline constexpr char quillmereGuiEntry[] = "quillmere_gui_run";
